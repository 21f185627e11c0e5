// Fakes around the keystroke pipeline: a host that records what the frame would show, a
// platform with a clock the test moves, and a keyboard whose typed text can be read back.
// The worker thread is real.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "eventually.h"
#include "fakeregistry.h"
#include "pipeline/core/capslock.h"
#include "pipeline/core/keysynthesizer.h"
#include "pipeline/core/readingpipeline.h"
#include "settings/core/settingkeys.h"

namespace dorvane::testing {

class FakePipelineHost : public IPipelineHost {
public:
    std::mutex mutex;
    std::vector<std::u16string> traces;
    std::vector<std::pair<std::u16string, bool>> errors;  // text, with a box
    std::vector<TrayPicture> pictures;
    int offRequests = 0;
    bool refusePictures = false;  // the tray change cannot be handed on
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
    bool ShowTrayPicture(TrayPicture picture) override {
        std::lock_guard lock(mutex);
        if (refusePictures) {
            return false;
        }
        pictures.push_back(picture);
        return true;
    }
    void PostServiceOff() override {
        std::lock_guard lock(mutex);
        ++offRequests;
    }
    // Asked while a stop waits for the worker: the stop has been requested.
    std::atomic<int> dismissals{0};
    void DismissReports() override {
        ++dismissals;
        AnswerBox();
    }
    std::vector<std::u16string> notices;
    std::atomic<int> waitingChanges{0};
    void WaitingChanged() override { ++waitingChanges; }
    std::atomic<size_t> readingsHandled{0};
    void ReadingsHandled(size_t count) override { readingsHandled += count; }
    void ShowNotice(const std::u16string& title, const std::u16string&) override {
        std::lock_guard lock(mutex);
        notices.push_back(title);
    }
    // As the program does: the notice once a run, the fault kept for the tooltip.
    CFaultBoard faults;
    void RaiseFault(const FaultReport& report) override {
        if (faults.Raise(report.fault, report.tip) == CFaultBoard::Raised::kAnnounce) {
            ShowNotice(report.title, report.text);
        }
    }
    void ClearFault(Fault fault) override { faults.Clear(fault); }

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

// The desktop as Windows keeps it for typing: one foreground window, which gets every injected
// key event; none while the workstation is locked or a secure screen is up, and then SendInput
// takes nothing. Foreground changes are announced (the system's foreground event) except for
// the lock, which switches desktops instead. A test can make the next injections fail too.
// Caps Lock is the system's toggle: a low-level hook sees every key event, injected ones
// included, and the asynchronous key state tells a press since the last look; the key state of
// a thread that removes no keyboard messages stays as it was when its queue was made. The
// system calls the hooks before it updates a key's asynchronous state, ours first (it was set
// last), and another program's hook after it may take a key out: ours saw it, the system did
// not. Neither the hook nor the asynchronous state tells anything while the workstation is
// locked (another desktop) or a window of a higher program is in front (UIPI), and the toggle
// cannot be read there; presses there change the toggle all the same. With "Press the SHIFT key
// to turn off Caps Lock" Caps Lock only turns it on and any Shift that goes down, an injected
// one too, turns it off. What a window reads from its keys follows the toggle and Shift: the
// keys 'A' to 'Z' give letters in the case they make, '1' with Shift gives '!'.
class FakeDesktop : public ICapsLockSource {
public:
    static constexpr uintptr_t kUserWindow = 1;
    static constexpr uint8_t kVkLShift = 0xA0;
    // What the program's watch is told of: a desktop switch or the session's unlock, an
    // announced foreground change, a change of the user's Shift-lock setting.
    enum class SystemEvent { kDesktopChanged, kFrontChanged, kSettingChanged };

    // Puts a window in front, now or once `afterStrokes` more events were delivered; from then
    // on the next `refusals` injections fail. `announced` false: the system's foreground event
    // has not reached the program yet (it comes through a busy user-interface thread).
    void Show(FrontKind kind, uintptr_t window, size_t afterStrokes = 0, int refusals = 0, bool announced = true) {
        std::unique_lock lock(m_mutex);
        m_bPendingAnnounced = announced;
        m_pending = FrontWindow{kind, window};
        m_nPendingRefusals = refusals;
        m_nSwitchAfter = afterStrokes;
        if (afterStrokes == 0) {
            SwitchLocked();
        }
        TellEvents(lock);
    }
    // The workstation locks (the lock screen's desktop becomes the input desktop) and unlocks;
    // `announced` false: the unlock's notices reach the program late, after its typing went on.
    void Lock() {
        std::unique_lock lock(m_mutex);
        m_bLocked = true;
        m_beforeLock = m_front;
        m_front = FrontWindow{FrontKind::kNoWindow, 0};
        m_events.push_back(SystemEvent::kDesktopChanged);
        TellEvents(lock);
    }
    void Unlock(bool announced = true) {
        std::unique_lock lock(m_mutex);
        m_bLocked = false;
        m_pending = m_beforeLock;
        m_bPendingAnnounced = announced;
        m_nPendingRefusals = 0;
        SwitchLocked();
        if (announced) {
            m_events.push_back(SystemEvent::kDesktopChanged);
        }
        TellEvents(lock);
    }
    void Close(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        m_closed.push_back(window);
    }
    void SetIdentity(uintptr_t window, std::u16string exePath, std::u16string title) {
        std::lock_guard lock(m_mutex);
        m_identities[window] = WindowIdentity{std::move(exePath), std::move(title)};
    }
    WindowIdentity IdentityOf(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        return m_identities[window];
    }
    void SetElevated(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        m_elevated.push_back(window);
    }
    // What SendInput does with a batch: the number of events the system took.
    size_t Deliver(const KeyStroke* strokes, size_t count) {
        std::unique_lock lock(m_mutex);
        if (m_front.kind == FrontKind::kNoWindow || m_nRefusals > 0) {
            m_nRefusals = std::max(0, m_nRefusals - 1);
            return 0;
        }
        bool capsLockPressed = false;
        for (size_t i = 0; i < count; ++i) {
            m_strokes[m_front.window].push_back(strokes[i]);
            if (const uint8_t side = SideOf(strokes[i].vk); side != 0) {
                if (!strokes[i].keyUp && !m_modifiersDown[side]) {
                    KeyGoesDownLocked(side);
                }
                m_modifiersDown[side] = !strokes[i].keyUp;
            } else if (!strokes[i].keyUp) {
                m_chars[m_front.window].push_back(CharLocked(strokes[i].vk));
            }
            m_nHookedStrokes += m_bHookSet ? 1 : 0;
            if (m_nSwitchAfter > 0 && --m_nSwitchAfter == 0) {
                SwitchLocked();
            }
            if (m_nCapsLockAfter > 0 && --m_nCapsLockAfter == 0) {
                capsLockPressed = true;
            }
        }
        TellEvents(lock);
        if (capsLockPressed) {
            PressCapsLock();
        }
        return count;
    }
    // What a window read from its keys, as the toggle and Shift made them.
    std::u16string CharsOf(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        return m_chars[window];
    }
    // The characters (key-downs of keys other than modifiers) a window received.
    std::u16string TextOf(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        std::u16string text;
        for (const KeyStroke& stroke : m_strokes[window]) {
            if (!stroke.keyUp && SideOf(stroke.vk) == 0) {
                text.push_back(stroke.vk);
            }
        }
        return text;
    }
    // GetAsyncKeyState's "down" for Shift, Ctrl and Alt, left and right: what the injected
    // events left down, whoever sent them.
    std::vector<uint8_t> ModifiersDown() {
        std::lock_guard lock(m_mutex);
        std::vector<uint8_t> down;
        for (const auto& [vk, isDown] : m_modifiersDown) {
            if (isDown) {
                down.push_back(vk);
            }
        }
        return down;
    }
    std::vector<KeyStroke> StrokesOf(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        return m_strokes[window];
    }
    FrontWindow Front() {
        std::lock_guard lock(m_mutex);
        ++m_nFrontQueries;
        return m_front;
    }
    // GetForegroundWindow: the window alone, not counted as a look at what is in front.
    uintptr_t ForegroundWindow() {
        std::lock_guard lock(m_mutex);
        return m_front.window;
    }
    int FrontQueries() {
        std::lock_guard lock(m_mutex);
        return m_nFrontQueries;
    }
    uint32_t Changes() const { return m_nChanges; }
    bool Exists(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        return std::find(m_closed.begin(), m_closed.end(), window) == m_closed.end();
    }
    bool Elevated(uintptr_t window) {
        std::lock_guard lock(m_mutex);
        return std::find(m_elevated.begin(), m_elevated.end(), window) != m_elevated.end();
    }

    // The user presses Caps Lock (a quick tap), now or once `afterStrokes` more events were
    // delivered.
    void PressCapsLock(size_t afterStrokes = 0) {
        if (afterStrokes != 0) {
            std::lock_guard lock(m_mutex);
            m_nCapsLockAfter = afterStrokes;
            return;
        }
        TapKey(kVkCapital, false);
    }
    // A tap of Caps Lock that another program's hook, called after ours, takes out.
    void PressCapsLockSwallowed() { TapKey(kVkCapital, true); }
    void PressShift() { TapKey(kVkLShift, false); }
    bool CapsLockToggle() {
        std::lock_guard lock(m_mutex);
        return m_bCapsLock;
    }
    // The user's setting "Press the SHIFT key to turn off Caps Lock" changes.
    void SetShiftLock(bool on) {
        std::unique_lock lock(m_mutex);
        m_bShiftLock = on;
        m_events.push_back(SystemEvent::kSettingChanged);
        TellEvents(lock);
    }
    bool ShiftLock() {
        std::lock_guard lock(m_mutex);
        return m_bShiftLock;
    }
    // Whether the hook and the asynchronous state see the keys of the window in front.
    bool FrontSeen() {
        std::lock_guard lock(m_mutex);
        return SeenLocked() && m_front.kind != FrontKind::kNoWindow;
    }
    // Where a low-level hook's events go (on the hook's thread), and the system's notices.
    void OnHookEvent(std::function<void(uint8_t, bool)> event) { m_hookEvent = std::move(event); }
    void OnSystemEvent(std::function<void(SystemEvent)> event) { m_systemEvent = std::move(event); }
    bool SetHook() override {
        std::lock_guard lock(m_mutex);
        m_bHookSet = true;
        return true;
    }
    void RemoveHook() override {
        std::lock_guard lock(m_mutex);
        m_bHookSet = false;
    }
    uint16_t AsyncKeyState(uint8_t vk) override {
        std::lock_guard lock(m_mutex);
        if (!SeenLocked()) {
            return 0;  // the bit that a press there set stays for a later look
        }
        const bool down = vk == kVkShift ? m_modifiersDown[kVkLShift] || m_modifiersDown[0xA1] : m_keyDown[vk];
        return static_cast<uint16_t>((down ? 0x8000 : 0) | (std::exchange(m_pressedBit[vk], false) ? 1 : 0));
    }
    std::optional<bool> ToggleInFront() override {
        std::lock_guard lock(m_mutex);
        if (!SeenLocked() || m_front.kind == FrontKind::kNoWindow) {
            return std::nullopt;
        }
        return m_bCapsLock;
    }
    bool HookSet() {
        std::lock_guard lock(m_mutex);
        return m_bHookSet;
    }
    // Injected events a hook was called for (each a round trip to the hook's thread).
    size_t HookedStrokes() {
        std::lock_guard lock(m_mutex);
        return m_nHookedStrokes;
    }
    // GetKeyState(VK_CAPITAL) on the calling thread: the thread gets no keyboard messages, so
    // it stays what it was when the thread first asked (its queue was made).
    bool CallingThreadCapsLock() {
        std::lock_guard lock(m_mutex);
        return m_threadCapsLock.try_emplace(std::this_thread::get_id(), m_bCapsLock).first->second;
    }

private:
    // The sided key a modifier's event moves (Shift, Ctrl and Alt without a side are the left
    // ones, as their scan codes say); 0 for every other key.
    static uint8_t SideOf(uint8_t vk) {
        switch (vk) {
            case kVkShift:
                return 0xA0;
            case kVkControl:
                return 0xA2;
            case kVkMenu:
                return 0xA4;
            default:
                return vk >= 0xA0 && vk <= 0xA5 ? vk : 0;
        }
    }
    void SwitchLocked() {
        m_front = m_pending;
        m_nRefusals = m_nPendingRefusals;
        if (m_front.kind != FrontKind::kNoWindow && m_bPendingAnnounced) {
            ++m_nChanges;
        }
        if (m_bPendingAnnounced) {
            m_events.push_back(SystemEvent::kFrontChanged);
        }
    }
    // Tells the notices that are due, without the desktop's lock (they look at it).
    void TellEvents(std::unique_lock<std::mutex>& lock) {
        std::vector<SystemEvent> events = std::exchange(m_events, {});
        lock.unlock();
        for (SystemEvent event : events) {
            if (m_systemEvent) {
                m_systemEvent(event);
            }
        }
    }
    bool SeenLocked() const {
        return !m_bLocked && std::find(m_elevated.begin(), m_elevated.end(), m_front.window) == m_elevated.end();
    }
    // What the system does as a key goes down: its state, and the toggle's rules.
    void KeyGoesDownLocked(uint8_t vk) {
        const bool shift = vk == kVkLShift || vk == 0xA1;
        m_pressedBit[shift ? kVkShift : vk] = true;
        if (vk == kVkCapital) {
            m_bCapsLock = m_bShiftLock || !m_bCapsLock;
        } else if (shift && m_bShiftLock) {
            m_bCapsLock = false;
        }
    }
    char16_t CharLocked(uint8_t vk) {
        const bool shift = m_modifiersDown[kVkLShift] || m_modifiersDown[0xA1];
        if (vk >= 'A' && vk <= 'Z') {
            return static_cast<char16_t>(shift != m_bCapsLock ? vk : vk - 'A' + 'a');
        }
        return vk == '1' && shift ? u'!' : vk;
    }
    // A tap by the user: the hooks see each event before the system takes it, ours first.
    void TapKey(uint8_t vk, bool swallowed) {
        const bool shift = vk == kVkLShift;
        for (bool up : {false, true}) {
            std::unique_lock lock(m_mutex);
            const bool hooked = m_bHookSet && SeenLocked();
            lock.unlock();
            if (hooked) {  // the hook's thread takes its events as they come
                m_hookEvent(vk, up);
            }
            lock.lock();
            if (!swallowed) {
                if (!up) {
                    KeyGoesDownLocked(vk);
                }
                (shift ? m_modifiersDown[vk] : m_keyDown[vk]) = !up;
            }
        }
    }

    std::mutex m_mutex;
    FrontWindow m_front{FrontKind::kUserWindow, kUserWindow};
    FrontWindow m_pending;
    bool m_bPendingAnnounced = true;
    size_t m_nSwitchAfter = 0;
    int m_nPendingRefusals = 0;
    int m_nRefusals = 0;
    int m_nFrontQueries = 0;
    std::atomic<uint32_t> m_nChanges{0};
    std::vector<uintptr_t> m_closed;
    std::vector<uintptr_t> m_elevated;
    std::map<uintptr_t, WindowIdentity> m_identities;
    std::map<uintptr_t, std::vector<KeyStroke>> m_strokes;
    std::map<uint8_t, bool> m_modifiersDown;
    bool m_bCapsLock = false;
    bool m_bShiftLock = false;
    bool m_bLocked = false;
    FrontWindow m_beforeLock;
    std::map<uint8_t, bool> m_keyDown;
    std::map<uint8_t, bool> m_pressedBit;
    std::map<uintptr_t, std::u16string> m_chars;
    std::vector<SystemEvent> m_events;
    std::function<void(SystemEvent)> m_systemEvent;
    size_t m_nCapsLockAfter = 0;
    bool m_bHookSet = false;
    size_t m_nHookedStrokes = 0;
    std::function<void(uint8_t, bool)> m_hookEvent;
    std::map<std::thread::id, bool> m_threadCapsLock;
};

// The named mutexes the copies of a session share: the typing lock and the windows' claims.
// Each is owned by one copy at a time (a copy is a number here, its worker the owning thread);
// a copy that ended owning one leaves it abandoned, and the next taker is told so. One made by
// an elevated copy with the default security refuses every other copy (access denied) until
// that copy has ended. Waits are real: a busy try waits up to its time for a release.
class FakeCopyLocks {
public:
    static constexpr const char* kTyping = "typing";

    TypingLockTry Try(const std::string& name, int copy, uint32_t waitMs) {
        std::unique_lock lock(m_mutex);
        if (m_denied.count(name) != 0) {
            ++m_nRefusals;
            return TypingLockTry::kUnavailable;
        }
        Lock& named = m_locks[name];
        if (named.owner != 0 && named.owner != copy) {
            ++m_nBusy;
            m_released.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return named.owner == 0; });
        }
        if (named.owner != 0 && named.owner != copy) {
            return TypingLockTry::kBusy;
        }
        named.owner = copy;
        ++named.takes;
        return std::exchange(named.abandoned, false) ? TypingLockTry::kTakenAbandoned : TypingLockTry::kTaken;
    }
    void Release(const std::string& name, int copy) {
        std::lock_guard lock(m_mutex);
        Lock& named = m_locks[name];
        if (named.owner == copy) {
            named.owner = 0;
            m_released.notify_all();
        }
    }
    // The copy's process ended: what it owned is abandoned.
    void End(int copy) {
        std::lock_guard lock(m_mutex);
        for (auto& [name, named] : m_locks) {
            if (named.owner == copy) {
                named.owner = 0;
                named.abandoned = true;
            }
        }
        m_released.notify_all();
    }
    // An elevated copy made the lock with the default security / has ended.
    void Deny(const std::string& name) {
        std::lock_guard lock(m_mutex);
        m_denied.insert(name);
    }
    void Allow(const std::string& name) {
        std::lock_guard lock(m_mutex);
        m_denied.erase(name);
    }
    int Owner(const std::string& name) {
        std::lock_guard lock(m_mutex);
        return m_locks[name].owner;
    }
    int Takes(const std::string& name) {
        std::lock_guard lock(m_mutex);
        return m_locks[name].takes;
    }
    int BusyAnswers() {
        std::lock_guard lock(m_mutex);
        return m_nBusy;
    }
    int Refusals() {
        std::lock_guard lock(m_mutex);
        return m_nRefusals;
    }

private:
    struct Lock {
        int owner = 0;
        bool abandoned = false;
        int takes = 0;
    };
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::map<std::string, Lock> m_locks;
    std::set<std::string> m_denied;
    int m_nBusy = 0;
    int m_nRefusals = 0;
};

inline std::string ClaimName(uintptr_t window) {
    return "window " + std::to_string(window);
}

class FakePipelinePlatform : public IPipelinePlatform {
public:
    FakePipelinePlatform() : desktop(m_ownDesktop) {}
    // Another copy on the same desktop, sharing the copies' locks as copy number `copyNumber`.
    FakePipelinePlatform(FakeDesktop& shared, FakeCopyLocks& sharedLocks, int copyNumber)
        : desktop(shared), locks(&sharedLocks), copy(copyNumber) {}

    std::atomic<uint32_t> now{0};
    RecordedItems recorded;
    bool failEvent = false;
    bool failThread = false;
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
private:
    FakeDesktop m_ownDesktop;

public:
    FakeDesktop& desktop;
    // The copies' locks; without them every try succeeds at once, as for a single copy.
    FakeCopyLocks* locks = nullptr;
    int copy = 1;
    TypingLockTry TryLockTyping(uint32_t waitMs) override {
        return locks ? locks->Try(FakeCopyLocks::kTyping, copy, waitMs) : TypingLockTry::kTaken;
    }
    // Lets go of the typing lock with Shift, Ctrl or Alt still down: another copy's keys would
    // come out with them.
    std::atomic<int> unlocksWithModifiersDown{0};
    void UnlockTyping() override {
        if (!desktop.ModifiersDown().empty()) {
            ++unlocksWithModifiersDown;
        }
        if (locks) {
            locks->Release(FakeCopyLocks::kTyping, copy);
        }
    }
    std::optional<uintptr_t> claimed;  // the worker's
    TypingLockTry TryClaimWindow(uintptr_t window, uint32_t waitMs) override {
        const TypingLockTry got = locks ? locks->Try(ClaimName(window), copy, waitMs) : TypingLockTry::kTaken;
        if (got == TypingLockTry::kTaken || got == TypingLockTry::kTakenAbandoned) {
            claimed = window;
        }
        return got;
    }
    void ReleaseWindowClaim() override {
        if (locks && claimed) {
            locks->Release(ClaimName(*claimed), copy);
        }
        claimed.reset();
    }
    std::vector<uint8_t> ModifiersDown() override { return desktop.ModifiersDown(); }
    // The Caps Lock watch: its thread is whichever calls under the mutex; a sample is taken
    // whenever the typing asks (the real watch samples every few milliseconds).
    std::mutex capsLockMutex;
    CCapsLockFollower capsLock{desktop};
    void StartCapsLock() {
        if (&desktop != &m_ownDesktop) {
            std::lock_guard lock(capsLockMutex);
            capsLock.Start();  // the desktop's hook and notices are the first copy's
            return;
        }
        desktop.OnHookEvent([this](uint8_t vk, bool up) {
            std::lock_guard lock(capsLockMutex);
            capsLock.OnKeyEvent(vk, up);
        });
        // What the watch does with the system's notices.
        desktop.OnSystemEvent([this](FakeDesktop::SystemEvent event) {
            std::lock_guard lock(capsLockMutex);
            switch (event) {
                case FakeDesktop::SystemEvent::kDesktopChanged: capsLock.DesktopChanged(); break;
                case FakeDesktop::SystemEvent::kFrontChanged: capsLock.FrontChanged(desktop.FrontSeen()); break;
                case FakeDesktop::SystemEvent::kSettingChanged: capsLock.SetShiftLock(desktop.ShiftLock()); break;
            }
        });
        std::lock_guard lock(capsLockMutex);
        capsLock.SetShiftLock(desktop.ShiftLock());
        capsLock.Start();
    }
    // Caps Lock as the typing thread's own key state had it when a target was taken.
    std::atomic<bool> typingThreadCapsLock{false};
    FrontWindow CurrentFront() override { return desktop.Front(); }
    std::optional<uintptr_t> ForegroundWindow() override { return desktop.ForegroundWindow(); }
    uint32_t FrontChanges() override { return desktop.Changes(); }
    bool WindowExists(uintptr_t window) override { return desktop.Exists(window); }
    std::atomic<int> targetLookups{0};
    TypingTarget TypingTargetFor(uintptr_t window) override {
        ++targetLookups;
        typingThreadCapsLock = desktop.CallingThreadCapsLock();
        TypingTarget target;
        target.window = window;
        target.elevated = desktop.Elevated(window);
        return target;
    }
    bool CapsLockOn() override {
        std::lock_guard lock(capsLockMutex);
        capsLock.Sample();
        return capsLock.IsOn();
    }
    void CapsLockMayHaveChanged() override {
        std::lock_guard lock(capsLockMutex);
        capsLock.MayHaveMissed();
        capsLock.Reread();
    }
    bool ShiftTurnsCapsLockOff() override { return capsLock.ShiftLock(); }
    void CapsLockTurnedOffByTyping() override {
        std::lock_guard lock(capsLockMutex);
        capsLock.TurnedOffByTyping();
    }
    // The watch's thread looks at the plan whenever it is told something or samples.
    CKeysOutPlan keysOut;
    void KeysGoOut() override {
        keysOut.ItemStarts(now);
        WatchLooks();
    }
    void KeysStopped() override {
        keysOut.ItemEnds();
        WatchLooks();
    }
    void ReadingArrives() override {
        keysOut.ReadingArrives(now);
        WatchLooks();
    }
    void WatchLooks() {
        std::lock_guard lock(capsLockMutex);
        if (keysOut.Out(now)) {
            capsLock.KeysGoOut();
        } else {
            capsLock.KeysStopped();
        }
    }
    WindowIdentity IdentityOf(uintptr_t window) override { return desktop.IdentityOf(window); }
    // The user's short formats, fixed.
    std::u16string LocalDateTime(bool time) override { return time ? u"14:05" : u"10.12.2026"; }
    std::atomic<int> criticalStops{0};
    std::atomic<int> beeps{0};
    void PlaySignal(bool typed) override { ++(typed ? beeps : criticalStops); }
    // The clock's milliseconds on a fixed day, so that readings' times follow the test's clock.
    LocalTime LocalNow() override {
        const uint32_t ms = now;
        return LocalTime{2026, 12, 10, static_cast<uint16_t>(ms / 3600000 % 24), static_cast<uint16_t>(ms / 60000 % 60),
                         static_cast<uint16_t>(ms / 1000 % 60), static_cast<uint16_t>(ms % 1000)};
    }
    // DATA_EXTRACT's matcher: the real one unless a test puts its own in.
    std::function<std::shared_ptr<const IExpression>(std::u16string_view)> compile;
    std::shared_ptr<const IExpression> CompileExpression(std::u16string_view pattern) override {
        return compile ? compile(pattern) : IPipelinePlatform::CompileExpression(pattern);
    }
    // Latin-1: every byte is the code point of the same number.
    // The code page: Latin-1, or with `utf8` UTF-8 (code page 65001), where a sequence cut short
    // becomes U+FFFD as MultiByteToWideChar makes it.
    std::atomic<bool> utf8{false};
    std::u16string AnsiToUtf16(const char* text) override {
        std::u16string out;
        for (; *text != '\0'; ++text) {
            const auto byte = static_cast<unsigned char>(*text);
            if (!utf8 || byte < 0x80) {
                out.push_back(byte);
            } else if ((byte & 0xE0) == 0xC0 && (static_cast<unsigned char>(text[1]) & 0xC0) == 0x80) {
                out.push_back(static_cast<char16_t>(((byte & 0x1F) << 6) | (text[1] & 0x3F)));
                ++text;
            } else {
                out.push_back(u'\uFFFD');  // the test's text needs no longer sequences
            }
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
// (if set) is typed with Shift. With `letterKeys` letters and '!' are typed as on a US keyboard
// (the keys 'A' to 'Z', Shift for capitals, '!' Shift+'1'), and the layout tells what Caps Lock
// makes of them, as the desktop's windows read them.
class IdentityLayout : public IKeyboardLayout {
public:
    char16_t shifted = 0;
    char16_t altGr = 0;  // typed with Ctrl+Alt, as AltGr layouts report it
    bool letterKeys = false;
    int16_t LookupKey(char16_t ch) override {
        if (ch >= 0x100) {
            return -1;
        }
        if (letterKeys && ch >= u'a' && ch <= u'z') {
            return static_cast<int16_t>(ch - u'a' + u'A');
        }
        if (letterKeys && ((ch >= u'A' && ch <= u'Z') || ch == u'!')) {
            return static_cast<int16_t>(0x100 | (ch == u'!' ? u'1' : ch));
        }
        if (ch == altGr && ch != 0) {
            return static_cast<int16_t>(0x600 | ch);
        }
        return static_cast<int16_t>(ch == shifted && ch != 0 ? 0x100 | ch : ch);
    }
    // Caps Lock as the synthesiser last asked about it.
    std::atomic<bool> capsLockAsked{false};
    KeyOutput Output(uint8_t vk, uint8_t state, bool capsLock, LayoutId) override {
        capsLockAsked = capsLock;
        const bool shift = (state & 0x01) != 0;
        if (letterKeys && vk >= 'A' && vk <= 'Z') {
            return {static_cast<char16_t>(shift != capsLock ? vk : vk - 'A' + 'a'), false};
        }
        return letterKeys && vk == '1' ? KeyOutput{shift ? u'!' : u'1', false} : KeyOutput{};
    }
};

// Collects the typed characters (key-downs); an optional gate holds the first key until opened.
// Strokes go through the desktop, which says how many the system took; only those are kept.
class TypedText : public IKeyInjector {
public:
    explicit TypedText(FakeDesktop& desktop) : m_desktop(desktop) {}
    size_t Inject(const KeyStroke* strokes, size_t count) override {
        std::unique_lock lock(m_mutex);
        m_bAtGate = m_bGateClosed;
        m_gateChanged.wait(lock, [this] { return !m_bGateClosed; });
        m_bAtGate = false;
        count = m_desktop.Deliver(strokes, count);
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
    FakeDesktop& m_desktop;
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
    TypedText typed{platform.desktop};
    CKeySynthesizer keys{layout, typed};
    CReadingPipeline service{host, platform, keys, profile};

    PipelineRig() {
        ResetServiceState();
        platform.StartCapsLock();
    }
    // The first of several copies, typing through the locks they share.
    explicit PipelineRig(FakeCopyLocks& locks) : PipelineRig() { platform.locks = &locks; }
    // A second copy (another profile) on the first one's desktop; the copies' locks shared.
    // Each copy has its own buffer and queue; the process-wide flags (service on, receiving,
    // sending, recording) are shared, so both copies run with the same ones.
    PipelineRig(PipelineRig& first, FakeCopyLocks& locks, int copyNumber)
        : platform(first.platform.desktop, locks, copyNumber) {
        platform.StartCapsLock();
    }
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
        service.UpdateStatusIcon();
        return true;
    }
    void Disable() {
        service.RemoveService();
        keys.ReleaseModifierKeys();
        g_bServiceEnabled = g_bReceiving = g_bSending = false;
        service.UpdateStatusIcon();
    }

    void Burst(std::string_view bytes) { service.OnCommRead(bytes.size(), std::string(bytes).c_str()); }
    // Sends a burst, then waits until the worker has handled `handled` items in all.
    bool BurstHandled(std::string_view bytes, size_t handled) {
        Burst(bytes);
        return Eventually([&] { return service.HandledItems() == handled; });
    }
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
