// The Win32 side of the keystroke pipeline: tick count, ANSI code page, the recording file,
// and the frame-independent half of the host (traces and error boxes).
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "pipeline/capslockwatch.h"
#include "pipeline/core/pipelineports.h"

namespace dorvane {

class CWin32PipelinePlatform : public IPipelinePlatform {
public:
    uint32_t TickCount() override;
    std::u16string AnsiToUtf16(const char* text) override;
    // UTF-16LE (or UTF-8 where the file starts with its mark), a byte-order mark only on a new
    // or empty file, LF as CR LF: the bytes "a, ccs=UNICODE" gives, composed by the program.
    std::unique_ptr<IRecordWriter> OpenRecordFile(const std::u16string& path) override;
    FrontWindow CurrentFront() override;
    uint32_t FrontChanges() override;
    std::optional<uintptr_t> ForegroundWindow() override {
        return reinterpret_cast<uintptr_t>(GetForegroundWindow());
    }
    bool WindowExists(uintptr_t window) override;
    TypingTarget TypingTargetFor(uintptr_t window) override;
    WindowIdentity IdentityOf(uintptr_t window) override;
    LocalTime LocalNow() override;
    void PlaySignal(bool typed) override;
    std::u16string LocalDateTime(bool time) override;
    bool CapsLockOn() override { return m_capsLock.IsOn(); }
    void KeysGoOut() override { m_capsLock.KeysGoOut(); }
    void KeysStopped() override { m_capsLock.KeysStopped(); }
    void ReadingArrives() override { m_capsLock.ReadingArrives(); }
    void CapsLockMayHaveChanged() override { m_capsLock.Reread(); }
    bool ShiftTurnsCapsLockOff() override { return m_capsLock.ShiftLock(); }
    void CapsLockTurnedOffByTyping() override { m_capsLock.TurnedOffByTyping(); }
    // Starts following Caps Lock; the user-interface thread calls it once the program runs.
    void StartCapsLockWatch();
    void StopCapsLockWatch() { m_capsLock.Stop(); }
    TypingLockTry TryLockTyping(uint32_t waitMs) override;
    void UnlockTyping() override;
    TypingLockTry TryClaimWindow(uintptr_t window, uint32_t waitMs) override;
    void ReleaseWindowClaim() override;
    std::vector<uint8_t> ModifiersDown() override;
    ~CWin32PipelinePlatform() override;

private:
    CCapsLockWatch m_capsLock;
    // The worker's: made and taken on its thread.
    HANDLE m_hTypingLock = nullptr;
    HANDLE m_hWindowClaim = nullptr;
    uintptr_t m_claimedWindow = 0;
};

// The name of the claim a reading holds on its window while it goes in.
std::wstring WindowClaimName(uintptr_t window);

// Today's date or the time now in the user's short formats ({DATE}, {TIME}).
std::u16string UserDateTimeText(bool time);

// The program (its executable's full path) and caption of a window.
WindowIdentity IdentityOfWindow(HWND hwnd);

// Traces go to the debugger output, errors through ReportError. A box shown by the worker
// can be ended from the stopping thread.
class CWin32PipelineHost : public IPipelineHost {
public:
    void Trace(const std::u16string& line) override;
    void ReportError(const char16_t* text, bool showBox) override;
    void DismissReports() override;

private:
    std::atomic<DWORD> m_dwBoxThread{0};
};

}  // namespace dorvane
