// Fakes around the keystroke pipeline: a host that records what the frame would show, a
// platform with a clock the test moves, and a keyboard whose typed text can be read back.
// The worker thread is real.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "eventually.h"
#include "fakeregistry.h"
#include "pipeline/core/keysynthesizer.h"
#include "pipeline/core/processhooks.h"
#include "settings/core/settingkeys.h"

namespace dorvane::testing {

class FakePipelineHost : public IPipelineHost {
public:
    std::mutex mutex;
    std::vector<std::u16string> traces;
    std::vector<std::pair<std::u16string, bool>> errors;  // text, with a box
    std::vector<int> icons;
    int offRequests = 0;
    bool refuseIcons = false;  // the tray change cannot be handed on
    // An error box stays open until the test answers it or the stop dismisses it.
    bool holdBoxes = false;
    bool boxOpen = false;
    std::condition_variable boxChanged;

    void Trace(const std::u16string& line) override {
        std::lock_guard lock(mutex);
        traces.push_back(line);
    }
    void ReportError(const char16_t* text, bool showBox) override {
        std::unique_lock lock(mutex);
        errors.emplace_back(text, showBox);
        if (showBox && holdBoxes) {
            boxOpen = true;
            boxChanged.notify_all();
            boxChanged.wait(lock, [this] { return !boxOpen; });
        }
    }
    bool ShowTrayIcon(int iconId) override {
        std::lock_guard lock(mutex);
        if (refuseIcons) {
            return false;
        }
        icons.push_back(iconId);
        return true;
    }
    void PostServiceOff() override {
        std::lock_guard lock(mutex);
        ++offRequests;
    }
    void DismissReports() override { AnswerBox(); }
    std::vector<std::u16string> notices;
    void ShowNotice(const std::u16string& title, const std::u16string&) override {
        std::lock_guard lock(mutex);
        notices.push_back(title);
    }

    void AnswerBox() {
        std::lock_guard lock(mutex);
        boxOpen = false;
        boxChanged.notify_all();
    }
    bool WaitForBox() {
        std::unique_lock lock(mutex);
        return boxChanged.wait_for(lock, std::chrono::seconds(5), [this] { return boxOpen; });
    }
    bool Traced(const std::u16string& line) { return TraceCount(line) > 0; }
    size_t TraceCount(const std::u16string& line) {
        std::lock_guard lock(mutex);
        return static_cast<size_t>(std::count(traces.begin(), traces.end(), line));
    }
    template <class T>
    T Read(const T& field) {
        std::lock_guard lock(mutex);
        return field;
    }
};

// Items written to the recording file, one entry per Write.
struct RecordedItems {
    std::mutex mutex;
    std::vector<std::u16string> items;
    int opens = 0;
    bool diskFull = false;  // writes fail and nothing arrives
};

class FakeRecordWriter : public IRecordWriter {
public:
    explicit FakeRecordWriter(RecordedItems& out) : m_out(out) {}
    bool Write(const std::u16string& text) override {
        std::lock_guard lock(m_out.mutex);
        if (m_out.diskFull) {
            return false;
        }
        m_out.items.push_back(text);
        return true;
    }

private:
    RecordedItems& m_out;
};

class FakePipelinePlatform : public IPipelinePlatform {
public:
    std::atomic<uint32_t> now{0};
    RecordedItems recorded;
    bool failEvent = false;
    bool failThread = false;
    std::atomic<bool> ownWindowInFront{false};
    // The length of every worker pause, as the stop signal let it run.
    std::mutex pauseMutex;
    std::vector<bool> pausesCutShort;

    uint32_t TickCount() override { return now; }
    // The pause is part of the worker's real timing; tests need not wait for it, only know
    // whether a stop signal was already there to cut it short.
    void WorkerPause(IAutoResetEvent& stopSignal, uint32_t) override {
        const bool signalled = stopSignal.Wait(1);
        std::lock_guard lock(pauseMutex);
        pausesCutShort.push_back(signalled);
    }
    bool OwnWindowInFront() override { return ownWindowInFront; }
    TypingTarget CurrentTypingTarget() override {
        std::lock_guard lock(targetMutex);
        return target;
    }
    void SetTarget(uintptr_t window, bool elevated) {
        std::lock_guard lock(targetMutex);
        target.window = window;
        target.elevated = elevated;
    }
    std::mutex targetMutex;
    TypingTarget target;
    // Latin-1: every byte is the code point of the same number.
    std::u16string AnsiToUtf16(const char* text) override {
        std::u16string out;
        for (; *text != '\0'; ++text) {
            out.push_back(static_cast<unsigned char>(*text));
        }
        return out;
    }
    std::unique_ptr<IRecordWriter> OpenRecordFile(const std::u16string& path) override {
        std::lock_guard lock(recorded.mutex);
        ++recorded.opens;
        return path.empty() ? nullptr : std::make_unique<FakeRecordWriter>(recorded);
    }
    std::unique_ptr<IAutoResetEvent> CreateAutoResetEvent() override {
        return failEvent ? nullptr : IPipelinePlatform::CreateAutoResetEvent();
    }
    std::unique_ptr<IWorkerThread> StartThread(std::function<void()> body) override {
        return failThread ? nullptr : IPipelinePlatform::StartThread(std::move(body));
    }
};

// Every character has its own key, numbered like the character, with no modifier; `shifted`
// (if set) is typed with Shift.
class IdentityLayout : public IKeyboardLayout {
public:
    char16_t shifted = 0;
    int16_t LookupKey(char16_t ch) override {
        if (ch >= 0x100) {
            return -1;
        }
        return static_cast<int16_t>(ch == shifted && ch != 0 ? 0x100 | ch : ch);
    }
};

// Collects the typed characters (key-downs); an optional gate holds the first key until opened.
class TypedText : public IKeyInjector {
public:
    size_t Inject(const KeyStroke* strokes, size_t count) override {
        std::unique_lock lock(m_mutex);
        m_bAtGate = m_bGateClosed;
        m_gateChanged.wait(lock, [this] { return !m_bGateClosed; });
        m_bAtGate = false;
        for (size_t i = 0; i < count; ++i) {
            m_strokes.push_back(strokes[i]);
            if (!strokes[i].keyUp) {
                m_text.push_back(static_cast<char16_t>(strokes[i].vk));
            }
        }
        return count;
    }
    // Whether a stroke is held at the closed gate now.
    bool AtGate() {
        std::lock_guard lock(m_mutex);
        return m_bAtGate;
    }
    // Every stroke, key-ups included.
    std::vector<KeyStroke> Strokes() {
        std::lock_guard lock(m_mutex);
        return m_strokes;
    }
    void CloseGate() {
        std::lock_guard lock(m_mutex);
        m_bGateClosed = true;
    }
    void OpenGate() {
        std::lock_guard lock(m_mutex);
        m_bGateClosed = false;
        m_gateChanged.notify_all();
    }
    std::u16string Text() {
        std::lock_guard lock(m_mutex);
        return m_text;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_gateChanged;
    bool m_bGateClosed = false;
    bool m_bAtGate = false;
    std::u16string m_text;
    std::vector<KeyStroke> m_strokes;
};

// One pipeline as the frame would drive it, on an in-memory store.
struct PipelineRig {
    FakeRegistry registry;
    FakePrivateProfile ini;
    CAppProfile profile{u"Velmora", u"DORVANE", registry, ini};
    FakePipelineHost host;
    FakePipelinePlatform platform;
    IdentityLayout layout;
    TypedText typed;
    CKeySynthesizer keys{layout, typed};
    CSendService service{host, platform, keys, profile};

    PipelineRig() { ResetServiceState(); }
    ~PipelineRig() { Disable(); }

    void Set(const IntSetting& key, int value) { WriteSetting(profile, key, value); }
    void Set(const StringSetting& key, const std::u16string& value) { WriteSetting(profile, key, value); }

    // What the frame does to enable and disable the service.
    bool Enable() {
        if (!service.SetService()) {
            return false;
        }
        g_bServiceEnabled = true;
        g_bReceiving = false;
        g_bSending = false;
        service.RestartIdleTime();
        service.UpdateStatusIcon(0);
        return true;
    }
    void Disable() {
        service.RemoveService();
        keys.ReleaseModifierKeys();
        g_bServiceEnabled = g_bReceiving = g_bSending = false;
        service.UpdateStatusIcon(0);
    }

    void Burst(std::string_view bytes) { service.OnCommRead(bytes.size(), std::string(bytes).c_str()); }
    // Moves the clock on and runs the timer, as the 500 ms tick would.
    void Tick(uint32_t ms = 500) {
        platform.now += ms;
        service.OnTimer();
    }
    // Waits until the worker has taken every queued item.
    void Drain() {
        for (int i = 0; i < 500 && service.QueuedItems() > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::vector<std::u16string> Recorded() {
        std::lock_guard lock(platform.recorded.mutex);
        return platform.recorded.items;
    }
    template <class Check>
    bool Eventually(Check check) {
        return testing::Eventually(check);
    }
};

}  // namespace dorvane::testing
