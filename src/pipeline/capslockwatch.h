// Follows Caps Lock for the typing thread: a thread of its own holds a low-level keyboard hook
// (its own, so that a busy user-interface thread never makes the system drop the hook) and feeds
// every key event to the tracker. Start, Stop on one thread; Pause, Resume on the typing thread.
#pragma once

#include <windows.h>

#include "pipeline/core/capslock.h"

namespace dorvane {

class CCapsLockWatch {
public:
    CCapsLockWatch() = default;
    ~CCapsLockWatch() { Stop(); }
    CCapsLockWatch(const CCapsLockWatch&) = delete;
    CCapsLockWatch& operator=(const CCapsLockWatch&) = delete;

    // Takes the toggle as the window in front sees it and follows it from then on. One watch
    // per process; false when the hook cannot be set (the toggle then stays as taken).
    bool Start();
    void Stop();
    bool IsOn() const { return m_tracker.IsOn(); }

    // The system calls a low-level hook for every key event, injected ones too, and the
    // injecting thread waits for it: while a reading is typed the hook is taken off (Pause, which
    // does not wait), and set again by Resume, which takes the toggle anew as the window in front
    // sees it (a Caps Lock press meanwhile is in it) before it returns, at most 200 ms later.
    void Pause();
    void Resume();

private:
    static constexpr UINT kPauseMessage = WM_APP + 1;
    static constexpr UINT kResumeMessage = WM_APP + 2;
    static constexpr DWORD kResumeWaitMs = 200;

    static DWORD WINAPI WatchThread(LPVOID self);
    static LRESULT CALLBACK OnKeyboardEvent(int code, WPARAM message, LPARAM event);
    static bool ToggleInFront();

    CCapsLockTracker m_tracker;
    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    HANDLE m_hStarted = nullptr;
    HANDLE m_hResumed = nullptr;  // set by the watch thread once the hook is back
    bool m_bHooked = false;
    bool m_bPaused = false;  // the typing thread's only
};

}  // namespace dorvane
