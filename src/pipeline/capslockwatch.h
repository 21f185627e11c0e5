// Follows Caps Lock for the typing thread: a thread of its own (so that a busy user-interface
// thread never makes the system drop the hook) holds a low-level keyboard hook while no keys go
// out, and samples the key while they do.
#pragma once

#include <windows.h>

#include <atomic>

#include "pipeline/core/capslock.h"

namespace dorvane {

class CCapsLockWatch : private ICapsLockSource {
public:
    CCapsLockWatch() = default;
    ~CCapsLockWatch() { Stop(); }
    CCapsLockWatch(const CCapsLockWatch&) = delete;
    CCapsLockWatch& operator=(const CCapsLockWatch&) = delete;

    // Takes the toggle as the window in front sees it and follows it from then on. One watch
    // per process; false when the hook cannot be set (the toggle then stays as taken).
    bool Start();
    void Stop();
    bool IsOn() const { return m_follower.IsOn(); }
    // From the typing thread: an item's keys go out from now / no longer.
    void KeysGoOut();
    void KeysStopped();
    // From the reader: a reading is arriving, its keys will follow.
    void ReadingArrives();

private:
    static DWORD WINAPI WatchThread(LPVOID self);
    static LRESULT CALLBACK OnKeyboardEvent(int code, WPARAM message, LPARAM event);
    static bool ToggleInFront();
    void Follow();
    // The watch looks at the plan when it wakes.
    void Wake();
    bool SetHook() override;
    void RemoveHook() override;
    uint16_t AsyncKeyState() override;

    CCapsLockFollower m_follower{*this};
    CKeysOutPlan m_plan;
    HHOOK m_hHook = nullptr;
    HANDLE m_hThread = nullptr;
    DWORD m_dwThreadId = 0;
    HANDLE m_hStarted = nullptr;
    bool m_bHooked = false;
};

}  // namespace dorvane
