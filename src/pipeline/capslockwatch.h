// Follows Caps Lock for the typing thread: a thread of its own (so that a busy user-interface
// thread never makes the system drop the hook) holds a low-level keyboard hook while no keys go
// out, and samples the key while they do. It reads the toggle again where the system keeps it
// when presses may have gone unseen: at a desktop switch, at the session's unlock, once a window
// of a higher program has left the front, and when the typing asks.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>

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
    // "Press the SHIFT key to turn off Caps Lock", as the user's profile keeps it.
    bool ShiftLock() const { return m_follower.ShiftLock(); }
    // From the typing thread: an item's keys go out from now / no longer.
    void KeysGoOut();
    void KeysStopped();
    // From the reader: a reading is arriving, its keys will follow.
    void ReadingArrives();
    // From the typing thread: presses may have gone unseen; returns once the watch has read
    // the toggle again (or tried to), at most a fraction of a second later.
    void Reread();
    // From the typing thread: a Shift of its own turned Caps Lock off (ShiftLock).
    void TurnedOffByTyping();

private:
    static DWORD WINAPI WatchThread(LPVOID self);
    static LRESULT CALLBACK OnKeyboardEvent(int code, WPARAM message, LPARAM event);
    static void CALLBACK OnSystemEvent(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG object, LONG child,
                                       DWORD thread, DWORD time);
    static LRESULT CALLBACK OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Follow();
    // The desktop switches, the session's unlock, the foreground and the user's setting.
    void WatchSystem();
    void UnwatchSystem();
    void ReadShiftLockSetting();
    // The watch looks at the plan when it wakes.
    void Wake();
    bool SetHook() override;
    void RemoveHook() override;
    uint16_t AsyncKeyState(uint8_t vk) override;
    std::optional<bool> ToggleInFront() override;

    CCapsLockFollower m_follower{*this};
    CKeysOutPlan m_plan;
    HHOOK m_hHook = nullptr;
    HANDLE m_hThread = nullptr;
    std::atomic<DWORD> m_dwThreadId{0};
    HANDLE m_hStarted = nullptr;
    bool m_bHooked = false;
    // The watch thread's: its window for the session's notices, its event hooks, and the
    // registry key of the user's keyboard layouts with the event that tells of a change.
    HWND m_hWnd = nullptr;
    HWINEVENTHOOK m_hDesktopEvents = nullptr;
    HWINEVENTHOOK m_hFrontEvents = nullptr;
    HKEY m_hLayoutKey = nullptr;
    HANDLE m_hLayoutChanged = nullptr;
    // The typing thread's reads: asked, and answered by the watch thread.
    HANDLE m_hRereadDone = nullptr;
    std::atomic<LONG> m_nRereadsAsked{0};
    std::atomic<LONG> m_nRereadsDone{0};
};

}  // namespace dorvane
