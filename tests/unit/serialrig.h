// A scripted serial port and platform around the serial link. Bytes the test "sends" queue in
// the port; the reader thread is real. Hand-offs can be delivered at once or, like a
// synchronous window message, only when the test's "user-interface thread" serves them.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>
#include <string>
#include <vector>

#include "eventually.h"
#include "fakeregistry.h"
#include "serial/core/linesettings.h"
#include "serial/core/seriallink.h"
#include "settings/core/settingkeys.h"

namespace dorvane::testing {

// What Windows' SetCommState refuses, written from its documentation independently of the
// program's own mending: a length field other than 28, the same XON and XOFF character, a byte
// size outside 5..8, parity beyond space, stop bits beyond two, and the invalid combinations of
// the DCB reference (5 data bits with 2 stop bits, 6 to 8 with 1.5).
inline bool WindowsRefuses(const LineSettings& r) {
    const uint32_t length = r[0] | r[1] << 8 | r[2] << 16 | static_cast<uint32_t>(r[3]) << 24;
    const uint8_t byteSize = r[18], parity = r[19], stopBits = r[20], xon = r[21], xoff = r[22];
    return length != 28 || xon == xoff || byteSize < 5 || byteSize > 8 || parity > 4 || stopBits > 2 ||
           (byteSize == 5 && stopBits == 2) || (byteSize >= 6 && stopBits == 1);
}

struct FakeCommWrite;

struct PortScript {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<uint8_t> queued;
    size_t readChunk = SIZE_MAX;  // bytes one read returns at most
    uint32_t lineErrors = 0;
    bool unplugged = false;
    uint32_t writeMsPerByte = 0;  // the write time-out the system was given
    // How the port was opened. Both model Windows: an overlapped wait is ended by a mask change
    // and waited on together with the stop signal; a synchronous wait ends only when the device
    // does something, and a mask change from another thread blocks until it has (KB Q105302).
    bool overlapped = true;
    bool pending = false;    // a wait is in progress
    bool waitEnded = false;  // the pending wait was ended by a mask change
    bool stop = false;       // the stop signal of the port now open
    bool failRead = false;
    // A driver that does not end a pending wait on a mask change (only a cancel ends it), one
    // that ignores the cancel too, and one whose waits fail while its status query succeeds.
    bool maskEndsWait = true;
    bool cancelEndsWait = true;
    bool waitsFail = false;
    int cancels = 0;
    int waits = 0;
    LineSettings applied{};
    int builds = 0;
    bool failGetState = false;  // a port that cannot report its state leaves the record as it was
    bool exists = true;
    // The write side: what the device took, and a device that takes nothing (its buffer full,
    // flow control holding), which keeps a write pending until its time is up or the stop.
    std::vector<uint8_t> written;
    bool deviceReads = true;
    int writes = 0;
    // The driver's side of writes, as on Windows: the stop signal only wakes the writer; a cancel
    // ends a pending write (unless the driver ignores it) but returns before; closing the port
    // ends one too, except with a driver that completes it only later, when the test calls
    // CompleteHeldWrites(), writing its status into the record and taking its bytes then.
    bool cancelEndsWrite = true;
    bool closeEndsWrite = true;
    std::vector<FakeCommWrite*> held;  // started and not yet completed by the driver
    int liveWrites = 0;      // records that exist
    int closes = 0;
    int freedWhileHeld = 0;  // records freed while the driver could still write them

    inline void CompleteHeldWrites();
    inline void PumpWrites();  // with mutex held: completes the writes the device takes now
};

// A write's record as the fake driver writes it: the status and count it stores at completion.
struct FakeCommWrite : ICommWrite {
    FakeCommWrite(PortScript& s, std::vector<uint8_t> b) : script(s), bytes(std::move(b)) {
        std::lock_guard lock(script.mutex);
        ++script.liveWrites;
    }
    ~FakeCommWrite() override {
        std::lock_guard lock(script.mutex);
        --script.liveWrites;
        if (std::find(script.held.begin(), script.held.end(), this) != script.held.end()) {
            ++script.freedWhileHeld;  // stays listed: the driver writes it when it completes
        }
    }
    bool AwaitDone(uint32_t ms) override {
        std::unique_lock lock(script.mutex);
        return script.changed.wait_for(lock, std::chrono::milliseconds(ms), [this] {
            script.PumpWrites();
            return !started || done;
        });
    }
    // With the script's mutex held.
    void Complete(uint32_t error) {
        done = true;
        status = error;
        taken = error == 0 ? bytes.size() : 0;
        if (error == 0) {
            script.written.insert(script.written.end(), bytes.begin(), bytes.end());
        }
        std::erase(script.held, this);
        script.changed.notify_all();
    }

    PortScript& script;
    std::vector<uint8_t> bytes;
    bool started = false;
    bool done = false;
    uint32_t status = 0;
    size_t taken = 0;
};

inline void PortScript::PumpWrites() {
    const bool takes = deviceReads && (overlapped || !pending);
    if (!takes && !unplugged) {
        return;
    }
    const std::vector<FakeCommWrite*> now = held;
    for (FakeCommWrite* write : now) {
        write->Complete(unplugged ? 21 : 0);
    }
}

inline void PortScript::CompleteHeldWrites() {
    std::lock_guard lock(mutex);
    const std::vector<FakeCommWrite*> now = held;
    for (FakeCommWrite* write : now) {
        write->Complete(0);  // the late completion: the record and the bytes are used now
    }
}

class FakeCommPort : public ICommPort {
public:
    explicit FakeCommPort(PortScript& script) : m_script(script) {
        std::lock_guard lock(m_script.mutex);
        m_script.stop = m_script.pending = m_script.waitEnded = false;
    }
    ~FakeCommPort() override {
        std::lock_guard lock(m_script.mutex);
        ++m_script.closes;
        m_script.changed.notify_all();
        if (m_script.closeEndsWrite) {
            const std::vector<FakeCommWrite*> now = m_script.held;
            for (FakeCommWrite* write : now) {
                write->Complete(995);  // ERROR_OPERATION_ABORTED
            }
        }
    }

    bool GetState(LineSettings& settings) override {
        std::lock_guard lock(m_script.mutex);
        if (m_script.failGetState) {
            return false;
        }
        if (m_script.applied[0] != 0) {
            settings = m_script.applied;
        } else {
            settings[4] = 0x4B;  // 75 baud: what an unconfigured port might hold
        }
        return true;
    }
    // Refuses what Windows refuses (Wine would take it).
    bool SetState(const LineSettings& settings) override {
        std::lock_guard lock(m_script.mutex);
        if (WindowsRefuses(settings)) {
            return false;
        }
        m_script.applied = settings;
        return true;
    }
    bool BuildState(const char16_t*, LineSettings& settings) override {
        std::lock_guard lock(m_script.mutex);
        ++m_script.builds;
        settings[4] = 0x80;  // 9600 = 0x2580
        settings[5] = 0x25;
        return true;
    }
    void ClearAbortOnError(LineSettings&) override {}
    void ReadTimeouts() override {}
    void SetTimeouts(uint32_t writeMsPerByte, uint32_t) override {
        std::lock_guard lock(m_script.mutex);
        m_script.writeMsPerByte = writeMsPerByte;
    }
    void SetEventMask(uint32_t) override {
        PortScript& script = m_script;  // a test's stop thread may outlive this port object
        std::unique_lock lock(script.mutex);
        if (!script.overlapped) {
            script.changed.wait(lock, [&script] { return !script.pending; });
            return;
        }
        if (m_script.pending && m_script.maskEndsWait) {
            m_script.waitEnded = true;
            m_script.changed.notify_all();
        }
    }
    WaitStart StartWait() override {
        std::unique_lock lock(m_script.mutex);
        ++m_script.waits;
        if (m_script.unplugged || m_script.waitsFail) {
            return WaitStart::kFailed;
        }
        if (HasEvent()) {
            return WaitStart::kSignalled;
        }
        m_script.pending = true;
        if (m_script.overlapped) {
            return WaitStart::kPending;
        }
        m_script.changed.wait(lock, [this] { return HasEvent() || m_script.unplugged; });
        m_script.pending = false;
        m_script.changed.notify_all();
        return m_script.unplugged ? WaitStart::kFailed : WaitStart::kSignalled;
    }
    bool AwaitWaitOrStop() override {
        std::unique_lock lock(m_script.mutex);
        m_script.changed.wait(lock, [this] { return WaitOver() || m_script.stop; });
        return WaitOver();
    }
    bool AwaitWaitEnd(uint32_t ms) override {
        std::unique_lock lock(m_script.mutex);
        return m_script.changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return WaitOver(); });
    }
    void CancelWait() override {
        std::lock_guard lock(m_script.mutex);
        ++m_script.cancels;
        if (m_script.pending && m_script.cancelEndsWait) {
            m_script.waitEnded = true;
            m_script.changed.notify_all();
        }
    }
    void AbandonWait() override {}
    bool FinishWait() override {
        std::unique_lock lock(m_script.mutex);
        m_script.changed.wait(lock, [this] { return WaitOver(); });
        m_script.pending = false;
        const bool ended = std::exchange(m_script.waitEnded, false);
        m_script.changed.notify_all();
        return !ended && !m_script.unplugged;
    }
    void SignalStop() override {
        std::lock_guard lock(m_script.mutex);
        m_script.stop = true;
        m_script.changed.notify_all();
    }
    bool ClearError(CommStatus& status) override {
        std::lock_guard lock(m_script.mutex);
        if (m_script.unplugged) {
            return false;
        }
        status.errors = std::exchange(m_script.lineErrors, 0);
        status.queued = static_cast<uint32_t>(m_script.queued.size());
        return true;
    }
    bool Read(uint8_t* buffer, size_t size, size_t& read) override {
        std::lock_guard lock(m_script.mutex);
        if (m_script.failRead) {
            m_script.failRead = false;
            return false;
        }
        read = std::min({size, m_script.readChunk, m_script.queued.size()});
        for (size_t i = 0; i < read; ++i) {
            buffer[i] = m_script.queued.front();
            m_script.queued.pop_front();
        }
        return true;
    }
    std::unique_ptr<ICommWrite> NewWrite(std::vector<uint8_t> bytes) override {
        return std::make_unique<FakeCommWrite>(m_script, std::move(bytes));
    }
    bool StartWrite(ICommWrite& write) override {
        auto& record = static_cast<FakeCommWrite&>(write);
        std::lock_guard lock(m_script.mutex);
        ++m_script.writes;
        record.started = true;
        m_script.held.push_back(&record);
        m_script.PumpWrites();
        return true;
    }
    // Windows: an overlapped write goes beside a pending wait; on a synchronous handle the
    // write waits behind the other thread's WaitCommEvent until the device sends (KB Q105302).
    WriteWait AwaitWrite(ICommWrite& write, uint32_t ms) override {
        auto& record = static_cast<FakeCommWrite&>(write);
        std::unique_lock lock(m_script.mutex);
        m_script.changed.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            m_script.PumpWrites();
            return record.done || m_script.stop;
        });
        return record.done ? WriteWait::kDone : m_script.stop ? WriteWait::kStopped : WriteWait::kTimedOut;
    }
    void CancelWrite(ICommWrite& write) override {
        auto& record = static_cast<FakeCommWrite&>(write);
        std::lock_guard lock(m_script.mutex);
        if (m_script.cancelEndsWrite && !record.done) {
            record.Complete(995);
        }
    }
    bool FinishWrite(ICommWrite& write, size_t& written) override {
        auto& record = static_cast<FakeCommWrite&>(write);
        std::lock_guard lock(m_script.mutex);
        written = record.taken;
        return record.status == 0;
    }
    uint32_t LastError() override { return 21; }

private:
    bool HasEvent() const { return !m_script.queued.empty() || m_script.lineErrors != 0; }
    bool WaitOver() const { return HasEvent() || m_script.unplugged || m_script.waitEnded; }

    PortScript& m_script;
};

class FakeSerialPlatform : public ISerialPlatform {
public:
    PortScript port;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> traces;
    std::vector<std::pair<std::string, bool>> errors;
    std::vector<std::string> bursts;
    std::vector<int> sleeps;  // in order, with -1 for each hand-off
    int serviceOffs = 0;
    std::string openedPath;
    FakeCommPort* lastOpened = nullptr;  // valid while the link holds it
    // Synchronous hand-offs: the reader waits until the test's thread serves its burst.
    bool handOffsNeedServing = false;
    const uint8_t* pending = nullptr;
    size_t pendingCount = 0;
    std::function<void(const uint8_t*, size_t)> receiver;
    // Runs in the reader's second-chance pause, so a test can add bytes exactly then.
    std::function<void()> duringSecondChance;

    std::unique_ptr<ICommPort> Open(const std::u16string& devicePath) override {
        std::lock_guard lock(mutex);
        openedPath.assign(devicePath.begin(), devicePath.end());
        if (!port.exists) {
            return nullptr;
        }
        auto opened = std::make_unique<FakeCommPort>(port);
        lastOpened = opened.get();
        return opened;
    }
    void Trace(const std::u16string& line) override {
        std::lock_guard lock(mutex);
        traces.emplace_back(line.begin(), line.end());
    }
    void ReportError(const char16_t* text, bool showBox) override {
        std::lock_guard lock(mutex);
        std::u16string t(text);
        errors.emplace_back(std::string(t.begin(), t.end()), showBox);
    }
    void Sleep(uint32_t ms) override {
        {
            std::lock_guard lock(mutex);
            sleeps.push_back(static_cast<int>(ms));
        }
        if (ms == 100 && duringSecondChance) {
            duringSecondChance();
        }
    }
    void DeliverBurst(const uint8_t* bytes, size_t count) override {
        std::unique_lock lock(mutex);
        if (!handOffsNeedServing) {
            Receive(bytes, count);
            return;
        }
        pending = bytes;
        pendingCount = count;
        changed.notify_all();
        changed.wait(lock, [this] { return pending == nullptr; });
    }
    // The receiving thread's side: handles a waiting hand-off, if any.
    void ServeHandOffs(uint32_t ms) override {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return pending != nullptr; });
        if (pending != nullptr) {
            const uint8_t* bytes = pending;
            const size_t count = pendingCount;
            lock.unlock();
            if (receiver) {
                receiver(bytes, count);
            }
            lock.lock();
            pending = nullptr;
            changed.notify_all();
        }
    }
    void CountServiceOff() {
        std::lock_guard lock(mutex);
        ++serviceOffs;
    }

    void Send(const std::string& bytes) {
        std::lock_guard lock(port.mutex);
        port.queued.insert(port.queued.end(), bytes.begin(), bytes.end());
        port.changed.notify_all();
    }
    template <class T>
    T Read(const T& field) {
        std::lock_guard lock(mutex);
        return field;
    }

private:
    void Receive(const uint8_t* bytes, size_t count) {
        bursts.emplace_back(reinterpret_cast<const char*>(bytes), count);
        sleeps.push_back(-1);
        if (bytes[count] != 0) {
            bursts.back() += "<no NUL>";
        }
    }
};

struct SerialRig {
    FakeRegistry registry;
    FakePrivateProfile ini;
    CAppProfile profile{u"Velmora", u"DORVANE", registry, ini};
    FakeSerialPlatform platform;
    std::mutex outcomesMutex;
    std::vector<WriteOutcome> outcomes;  // how each write ended, once RecordWriteOutcomes is called
    CSerialLink link{platform, profile};

    SerialRig() { link.SetLossObserver([this] { platform.CountServiceOff(); }); }

    template <class Check>
    bool Eventually(Check check) {
        return testing::Eventually(check);
    }
    template <class T>
    T Port(T PortScript::*field) {
        std::lock_guard lock(platform.port.mutex);
        return platform.port.*field;
    }
    // Waits until the reader waits on the line.
    bool ReaderWaits() {
        return Eventually([&] { return Port(&PortScript::pending); });
    }
    void RecordWriteOutcomes() {
        link.SetWriteObserver([this](WriteOutcome outcome, uint32_t) {
            std::lock_guard lock(outcomesMutex);
            outcomes.push_back(outcome);
        });
    }
    std::vector<WriteOutcome> WriteOutcomes() {
        std::lock_guard lock(outcomesMutex);
        return outcomes;
    }
    std::vector<std::string> Bursts() { return platform.Read(platform.bursts); }
    bool Traced(const std::string& line) {
        auto traces = platform.Read(platform.traces);
        return std::find(traces.begin(), traces.end(), line) != traces.end();
    }
};

}  // namespace dorvane::testing
