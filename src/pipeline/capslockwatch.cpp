#include "pipeline/capslockwatch.h"

#include <atomic>

namespace dorvane {

namespace {

std::atomic<CCapsLockTracker*> g_pTracker{nullptr};

}  // namespace

bool CCapsLockWatch::ToggleInFront() {
    // A thread's key state follows only the keyboard messages it removes from its own queue
    // (GetKeyboardState): the window in front has read the user's keys, and threads attached
    // with AttachThreadInput share one keyboard state, so the toggle is read attached to it.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getkeyboardstate
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-attachthreadinput
    const DWORD self = GetCurrentThreadId();
    HWND front = GetForegroundWindow();
    const DWORD theirs = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
    const bool attached = theirs != 0 && theirs != self && AttachThreadInput(self, theirs, TRUE);
    GetAsyncKeyState(VK_CAPITAL);  // Wine brings the thread's state up to date only after it
    const bool on = (GetKeyState(VK_CAPITAL) & 0x01) != 0;
    if (attached) {
        AttachThreadInput(self, theirs, FALSE);
    }
    return on;
}

LRESULT CALLBACK CCapsLockWatch::OnKeyboardEvent(int code, WPARAM message, LPARAM event) {
    // https://learn.microsoft.com/windows/win32/winmsg/lowlevelkeyboardproc
    if (code == HC_ACTION) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
        const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
        if (CCapsLockTracker* tracker = g_pTracker.load()) {
            tracker->OnKeyEvent(static_cast<uint8_t>(key->vkCode), up);
        }
    }
    return CallNextHookEx(nullptr, code, message, event);
}

DWORD WINAPI CCapsLockWatch::WatchThread(LPVOID param) {
    auto* self = static_cast<CCapsLockWatch*>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for the attach and the quit
    self->m_tracker.Reset(ToggleInFront());
    g_pTracker = &self->m_tracker;
    // The hook procedure runs on this thread, which must keep taking messages.
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, OnKeyboardEvent, GetModuleHandleW(nullptr), 0);
    self->m_bHooked = hook != nullptr;
    SetEvent(self->m_hStarted);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    if (hook != nullptr) {
        UnhookWindowsHookEx(hook);
    }
    g_pTracker = nullptr;
    return 0;
}

bool CCapsLockWatch::Start() {
    if (m_hThread != nullptr) {
        return m_bHooked;
    }
    m_hStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_hStarted == nullptr) {
        return false;
    }
    m_hThread = CreateThread(nullptr, 0, WatchThread, this, 0, &m_dwThreadId);
    if (m_hThread != nullptr) {
        WaitForSingleObject(m_hStarted, 5000);
    }
    CloseHandle(m_hStarted);
    m_hStarted = nullptr;
    return m_hThread != nullptr && m_bHooked;
}

void CCapsLockWatch::Stop() {
    if (m_hThread == nullptr) {
        return;
    }
    PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(m_hThread, 5000);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
}

}  // namespace dorvane
