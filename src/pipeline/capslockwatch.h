// Follows Caps Lock for the typing thread: a thread of its own holds a low-level keyboard hook
// (its own, so that a busy user-interface thread never makes the system drop the hook) and feeds
// every key event to the tracker.
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

private:
    static DWORD WINAPI WatchThread(LPVOID self);
    static LRESULT CALLBACK OnKeyboardEvent(int code, WPARAM message, LPARAM event);
    static bool ToggleInFront();

    CCapsLockTracker m_tracker;
    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    HANDLE m_hStarted = nullptr;
    bool m_bHooked = false;
};

}  // namespace dorvane
