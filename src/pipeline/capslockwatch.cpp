#include "pipeline/capslockwatch.h"

namespace dorvane {

namespace {

// While keys go out the key is sampled this often; a press lasts tens of milliseconds.
constexpr DWORD kSampleMs = 10;

// The follower the hook's events go to; null while no hook is meant to be set. Only the
// watch's thread sets it or reads it (the hook procedure runs there).
CCapsLockFollower* g_pFollower = nullptr;

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
    if (code == HC_ACTION && g_pFollower != nullptr) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(event);
        const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
        g_pFollower->OnKeyEvent(static_cast<uint8_t>(key->vkCode), up);
    }
    return CallNextHookEx(nullptr, code, message, event);
}

bool CCapsLockWatch::SetHook() {
    // The hook procedure runs on the thread that set it, which must keep taking messages.
    m_hHook = SetWindowsHookExW(WH_KEYBOARD_LL, OnKeyboardEvent, GetModuleHandleW(nullptr), 0);
    g_pFollower = m_hHook != nullptr ? &m_follower : nullptr;
    return m_hHook != nullptr;
}

void CCapsLockWatch::RemoveHook() {
    g_pFollower = nullptr;
    if (m_hHook != nullptr) {
        UnhookWindowsHookEx(m_hHook);
        m_hHook = nullptr;
    }
}

uint16_t CCapsLockWatch::AsyncKeyState() {
    // Bit 15: down now; bit 0: pressed since the last call, which another program's call can
    // take first. Zero on another desktop or with a higher program's window in front.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getasynckeystate
    return static_cast<uint16_t>(GetAsyncKeyState(VK_CAPITAL));
}

void CCapsLockWatch::KeysGoOut() {
    if (m_plan.ItemStarts(GetTickCount())) {
        Wake();
    }
}

void CCapsLockWatch::KeysStopped() {
    if (m_plan.ItemEnds()) {
        Wake();
    }
}

void CCapsLockWatch::ReadingArrives() {
    if (m_plan.ReadingArrives(GetTickCount())) {
        Wake();
    }
}

void CCapsLockWatch::Wake() {
    if (m_dwThreadId != 0) {
        PostThreadMessageW(m_dwThreadId, WM_NULL, 0, 0);
    }
}

void CCapsLockWatch::Follow() {
    MSG msg;
    for (;;) {
        const DWORD timeout = m_follower.Sampling() ? kSampleMs : INFINITE;
        MsgWaitForMultipleObjectsEx(0, nullptr, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        // The hook's events are sent messages: taking messages delivers them.
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return;
            }
            DispatchMessageW(&msg);
        }
        // While sampling the watch wakes every few ms: an arrival whose keys never came ends.
        if (m_plan.Out(GetTickCount())) {
            m_follower.KeysGoOut();
        } else {
            m_follower.KeysStopped();
        }
        m_follower.Sample();
    }
}

DWORD WINAPI CCapsLockWatch::WatchThread(LPVOID param) {
    auto* self = static_cast<CCapsLockWatch*>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for the attach and the quit
    self->m_bHooked = self->m_follower.Start(ToggleInFront());
    SetEvent(self->m_hStarted);
    if (self->m_bHooked) {
        self->Follow();
    }
    self->m_follower.Stop();
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
