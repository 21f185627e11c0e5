// What the pipeline needs from the outside, as small interfaces: the frame that owns it (trace,
// error reports, tray icon, the toggle command) and the platform (clock, code page, recording
// file, event, thread). The Win32 build fills them with the real calls; tests with fakes.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/faults.h"
#include "core/workerthread.h"
#include "pipeline/core/expression.h"
#include "pipeline/core/keysynthesizer.h"
#include "pipeline/core/readingjournal.h"

namespace dorvane {

// The kind of window in front, as far as typing goes.
enum class FrontKind {
    kUserWindow,  // an application window of another program: typing goes there
    kOwnWindow,   // a question, box or dialog of this program: a CR would answer it
    kShell,       // the taskbar, its notification area or overflow, the desktop
    kNoWindow,    // none: the workstation is locked, or a UAC or Ctrl+Alt+Del screen is up
};

struct FrontWindow {
    FrontKind kind = FrontKind::kUserWindow;
    uintptr_t window = 0;
};

// What a try for a lock the copies share gave.
enum class TypingLockTry {
    kTaken,
    kTakenAbandoned,  // from a copy that ended holding it: keys it held may still be down
    kBusy,            // another copy holds it
    kUnavailable,     // it cannot be had (made by a copy running higher, without our access)
};

// What the tray icon should show: the state of the service and what it is doing.
enum class TrayPicture {
    kEnabled,           // on, nothing going on
    kDisabled,          // off
    kReceiving,         // bytes came in lately
    kSending,           // a reading is being typed or recorded
    kSendingReceiving,  // both
    kWaiting,           // bytes wait in the receive buffer for their flush
};

class IPipelineHost {
public:
    virtual ~IPipelineHost() = default;
    virtual void Trace(const std::u16string& line) = 0;
    // An error report with the last system error's text; with a box, it returns once the user
    // has answered it (or DismissReports ended it).
    virtual void ReportError(const char16_t* text, bool showBox) = 0;
    // Asks for a picture in the tray; false when the request could not even be handed on (the
    // picture then is not taken as shown).
    virtual bool ShowTrayPicture(TrayPicture picture) = 0;
    // Posts a request that only ever turns the service off; it runs after the current handler.
    // (A toggle would switch the service on again when the user had turned it off meanwhile.)
    virtual void PostServiceOff() = 0;
    // Ends an error box another thread is showing, so that a stop never waits for the user.
    virtual void DismissReports() {}
    // A notice the user sees without having to answer it (a balloon at the tray icon).
    virtual void ShowNotice(const std::u16string& title, const std::u16string& text) {
        (void)title, (void)text;
    }
    // A fault that lasts until ClearFault: the tooltip tells it, its notice is shown once a run.
    virtual void RaiseFault(const FaultReport& report) { ShowNotice(report.title, report.text); }
    virtual void ClearFault(Fault fault) { (void)fault; }
    // The count of readings waiting for the chosen program changed (CReadingPipeline::
    // WaitingReadings), or the waiting for another copy's typing began or ended
    // (CReadingPipeline::WaitingForCopy); the tray's tooltip and menu follow it.
    virtual void WaitingChanged() {}
    // From the worker: `count` readings are done with (typed, recorded, skipped or discarded);
    // the device may want an acknowledgement for each.
    virtual void ReadingsHandled(size_t count) { (void)count; }
};

// The recording file: writes one item and flushes; closed when released.
class IRecordWriter {
public:
    virtual ~IRecordWriter() = default;
    // False when the item did not reach the file (the write or the flush failed).
    virtual bool Write(const std::u16string& text) = 0;
};

class IAutoResetEvent {
public:
    virtual ~IAutoResetEvent() = default;
    virtual void Set() = 0;
    // True when signalled, false after timeoutMs; a signal is consumed by one waiter.
    virtual bool Wait(uint32_t timeoutMs) = 0;
};

// What a window belongs to, for the chosen-program rule.
struct WindowIdentity {
    std::u16string exePath;  // the program's executable, a full path; empty when unknown
    std::u16string title;
};

class IPipelinePlatform {
public:
    virtual ~IPipelinePlatform() = default;
    // Milliseconds, wrapping at 2^32.
    virtual uint32_t TickCount() = 0;
    // The bytes up to their NUL, read in the single-byte code page in force.
    virtual std::u16string AnsiToUtf16(const char* text) = 0;
    // Null when the file cannot be opened (an empty name included).
    virtual std::unique_ptr<IRecordWriter> OpenRecordFile(const std::u16string& path) = 0;
    // The worker's pause before it looks at the queue once more; a stop signal ends it early.
    virtual void WorkerPause(IAutoResetEvent& stopSignal, uint32_t ms) { stopSignal.Wait(ms); }
    // What is in front now. Keystrokes go to the foreground window: only an application
    // window of another program is a place to type.
    virtual FrontWindow CurrentFront() { return {}; }
    // The foreground window alone, one quick question asked before every character: the
    // announcement of a change comes through the user-interface thread and may come late, and
    // keys sent meanwhile would go to the new window. Null when the platform cannot tell.
    virtual std::optional<uintptr_t> ForegroundWindow() { return std::nullopt; }
    // Counts the foreground changes the system announced. The worker asks CurrentFront again
    // when it moved (and at least every few hundred ms), not for every character.
    virtual uint32_t FrontChanges() { return 0; }
    // Whether a window still exists (a reading waits for its own window to come back).
    virtual bool WindowExists(uintptr_t window) {
        (void)window;
        return true;
    }
    // The target keystrokes for `window` would have (its layout, whether its program runs
    // higher); called once per item.
    virtual TypingTarget TypingTargetFor(uintptr_t window) {
        TypingTarget target;
        target.window = window;
        return target;
    }
    // The program and title of a window: for the chosen-program rule, and for the journal once
    // a reading went in.
    virtual WindowIdentity IdentityOf(uintptr_t window) {
        (void)window;
        return {};
    }
    // The system's sound for a reading that was not typed ("critical stop"), or its default beep
    // for one that was (SIGNAL_SOUND); it plays on its own, the caller does not wait.
    virtual void PlaySignal(bool typed) { (void)typed; }
    // The date or the time now, in the user's short format ({DATE}, {TIME} of the reading rules).
    virtual std::u16string LocalDateTime(bool time) {
        (void)time;
        return {};
    }
    // The local time now, to the millisecond: when a reading was complete.
    virtual LocalTime LocalNow() { return {}; }
    // Whether Caps Lock is on for the user's input, as the system's keyboard events tell it
    // (never the typing thread's own key state, which does not follow the keyboard).
    virtual bool CapsLockOn() { return false; }
    // Caps Lock may have changed where neither could see it (no window, a shell window such as
    // the lock screen's, or a window of a higher program was in front): it is read again where
    // the system keeps it, if it tells it now, before this returns.
    virtual void CapsLockMayHaveChanged() {}
    // The user's setting "Press the SHIFT key to turn off Caps Lock".
    virtual bool ShiftTurnsCapsLockOff() { return false; }
    // A Shift of the typing's own turned Caps Lock off (with that setting).
    virtual void CapsLockTurnedOffByTyping() {}
    // An item's keys go out from now / no longer (the end of the item, or a hold). What
    // follows Caps Lock through every key event would cost a round trip for each injected
    // one, so it follows the key another way meanwhile. Either may be called again as it is.
    virtual void KeysGoOut() {}
    virtual void KeysStopped() {}
    // From the reader's thread: a reading that will be typed is arriving, its keys follow once
    // it is complete; Caps Lock may be followed the keys' way from now.
    virtual void ReadingArrives() {}
    // Locks every running copy shares (one per profile may run), so that two devices' readings
    // never interleave: the typing lock, held while keys go out, and a window's claim, held by
    // a reading from its first key to its last. Each try waits at most waitMs.
    virtual TypingLockTry TryLockTyping(uint32_t waitMs) {
        (void)waitMs;
        return TypingLockTry::kTaken;
    }
    virtual void UnlockTyping() {}
    virtual TypingLockTry TryClaimWindow(uintptr_t window, uint32_t waitMs) {
        (void)window, (void)waitMs;
        return TypingLockTry::kTaken;
    }
    virtual void ReleaseWindowClaim() {}
    // The modifier keys the system has down now (Shift, Ctrl and Alt, left and right, as
    // virtual keys), whoever pressed them.
    virtual std::vector<uint8_t> ModifiersDown() { return {}; }
    // DATA_EXTRACT's matcher; null when the pattern cannot be used.
    virtual std::shared_ptr<const IExpression> CompileExpression(std::u16string_view pattern) {
        return dorvane::CompileExpression(pattern);
    }
    // Null on failure.
    virtual std::unique_ptr<IAutoResetEvent> CreateAutoResetEvent();
    virtual std::unique_ptr<IWorkerThread> StartThread(std::function<void()> body);
};

// An auto-reset event on the standard library, for every platform.
class CAutoResetEvent : public IAutoResetEvent {
public:
    void Set() override;
    bool Wait(uint32_t timeoutMs) override;
    // Drops a signal nobody consumed.
    void Reset();

private:
    std::mutex m_mutex;
    std::condition_variable m_signal;
    bool m_bSignalled = false;
};

}  // namespace dorvane
