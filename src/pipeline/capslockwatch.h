// Follows Caps Lock for the typing thread: a thread of its own takes the keyboard's raw input
// (every key event of the session, typed or injected) and feeds the key events to the tracker.
// Start and Stop on one thread; IsOn from any.
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
    // per process; false when the keyboard's raw input cannot be had (the toggle then stays as
    // taken).
    bool Start();
    void Stop();
    // The toggle after every key event the system has delivered so far (the watch thread reads
    // what is waiting before it answers, within 200 ms).
    bool IsOn();

private:
    static DWORD WINAPI WatchThread(LPVOID self);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static bool ToggleInFront();
    // Reads every raw key event waiting in the watch thread's queue, in order.
    void TakeKeyEvents();

    CCapsLockTracker m_tracker;
    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    HANDLE m_hStarted = nullptr;
    HWND m_hWindow = nullptr;  // the watch thread's message-only window, the raw input's target
    bool m_bWatching = false;
};

}  // namespace dorvane
