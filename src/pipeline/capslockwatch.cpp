#include "pipeline/capslockwatch.h"

#include <wtsapi32.h>

#include "pipeline/sendkey.h"

namespace dorvane {

namespace {

// While keys go out the key is sampled this often; a press lasts tens of milliseconds. A press
// the hook saw go down is looked at as often, for at most kConfirmForMs, until it counts.
constexpr DWORD kSampleMs = 10;
constexpr DWORD kConfirmForMs = 1000;
// A read of the toggle that the system could not answer (no window in front yet, a window of a
// higher program) is tried again this often until it can.
constexpr DWORD kRereadTryMs = 250;
// The typing thread waits this long at most for a read it asked for.
constexpr DWORD kRereadWaitMs = 200;
// A registration for the session's notices refused at logon (its services not up yet) is
// tried again after this long.
constexpr DWORD kSessionRetryMs = 2000;

// Posted to the watch thread by the typing thread.
constexpr UINT kRereadMessage = WM_APP + 1;
constexpr UINT kTurnedOffMessage = WM_APP + 2;

// The watch whose thread delivers the hook's and the system's events; null while no hook is
// meant to be set (the follower) or before the thread runs (the watch). Only the watch's thread
// sets them or reads them (the callbacks run there).
CCapsLockFollower* g_pFollower = nullptr;
CCapsLockWatch* g_pWatch = nullptr;
bool g_bSessionNotices = false;
DWORD g_dwSessionTry = 0;

// Refused at logon until the session's services are up: tried again every kSessionRetryMs.
// https://learn.microsoft.com/windows/win32/api/wtsapi32/nf-wtsapi32-wtsregistersessionnotification
void AskForSessionNotices(HWND hwnd) {
    g_dwSessionTry = GetTickCount();
    g_bSessionNotices = WTSRegisterSessionNotification(hwnd, NOTIFY_FOR_THIS_SESSION) != FALSE;
}

}  // namespace

std::optional<bool> CCapsLockWatch::ToggleInFront() {
    // A thread's key state follows only the keyboard messages it removes from its own queue
    // (GetKeyboardState): the window in front has read the user's keys, and threads attached
    // with AttachThreadInput share one keyboard state, so the toggle is read attached to it.
    // No window is in front on the lock screen or another secure desktop, a thread cannot be
    // attached to one on another desktop, and a window of a higher program gets keys the hook
    // does not see: none of them is read.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getkeyboardstate
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-attachthreadinput
    HWND front = GetForegroundWindow();
    DWORD process = 0;
    const DWORD theirs = front != nullptr ? GetWindowThreadProcessId(front, &process) : 0;
    if (theirs == 0 || RunsHigher(process)) {
        return std::nullopt;
    }
    const DWORD self = GetCurrentThreadId();
    const bool attached = theirs != self && AttachThreadInput(self, theirs, TRUE);
    if (theirs != self && !attached) {
        return std::nullopt;
    }
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

void CALLBACK CCapsLockWatch::OnSystemEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG, LONG, DWORD, DWORD) {
    // https://learn.microsoft.com/windows/win32/winauto/event-constants
    if (g_pWatch == nullptr) {
        return;
    }
    if (event == EVENT_SYSTEM_DESKTOPSWITCH) {
        g_pWatch->m_follower.DesktopChanged();
    } else if (event == EVENT_SYSTEM_FOREGROUND) {
        DWORD process = 0;
        const bool seen =
            hwnd != nullptr && GetWindowThreadProcessId(hwnd, &process) != 0 && !RunsHigher(process);
        g_pWatch->m_follower.FrontChanged(seen);
    }
}

LRESULT CALLBACK CCapsLockWatch::OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // The session's notices come to the windows registered for them alone, a message-only
    // window included (it misses only broadcasts).
    // https://learn.microsoft.com/windows/win32/termserv/wm-wtssession-change
    // https://learn.microsoft.com/windows/win32/winmsg/window-features#message-only-windows
    if (message == WM_WTSSESSION_CHANGE && g_pWatch != nullptr &&
        (wParam == WTS_SESSION_UNLOCK || wParam == WTS_CONSOLE_CONNECT || wParam == WTS_REMOTE_CONNECT)) {
        g_pWatch->m_follower.DesktopChanged();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
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

uint16_t CCapsLockWatch::AsyncKeyState(uint8_t vk) {
    // Bit 15: down now; bit 0: pressed since the last call, which another program's call can
    // take first. Zero on another desktop or with a higher program's window in front.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getasynckeystate
    return static_cast<uint16_t>(GetAsyncKeyState(vk));
}

void CCapsLockWatch::ReadShiftLockSetting() {
    // "Press the SHIFT key to turn off Caps Lock" lives in the user's profile (ActivateKeyboard-
    // Layout, KLF_RESET with KLF_SHIFTLOCK): the KLF_SHIFTLOCK bit of the "Attributes" value of
    // HKEY_CURRENT_USER\Keyboard Layout. The notice of a change is asked for before the read,
    // and again after each: it tells of one change only.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-activatekeyboardlayout
    // https://learn.microsoft.com/windows/win32/api/winreg/nf-winreg-regnotifychangekeyvalue
    if (m_hLayoutKey == nullptr) {
        return;
    }
    if (m_hLayoutChanged != nullptr &&
        RegNotifyChangeKeyValue(m_hLayoutKey, FALSE, REG_NOTIFY_CHANGE_LAST_SET, m_hLayoutChanged, TRUE) !=
            ERROR_SUCCESS) {
        CloseHandle(m_hLayoutChanged);
        m_hLayoutChanged = nullptr;
    }
    DWORD attributes = 0;
    DWORD size = sizeof attributes;
    const bool read = RegGetValueW(m_hLayoutKey, nullptr, L"Attributes", RRF_RT_REG_DWORD, nullptr,
                                   &attributes, &size) == ERROR_SUCCESS;
    m_follower.SetShiftLock(read && (attributes & KLF_SHIFTLOCK) != 0);
}

void CCapsLockWatch::WatchSystem() {
    g_pWatch = this;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Keyboard Layout", 0, KEY_QUERY_VALUE | KEY_NOTIFY,
                      &m_hLayoutKey) != ERROR_SUCCESS) {
        m_hLayoutKey = nullptr;
    } else {
        m_hLayoutChanged = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        ReadShiftLockSetting();
    }
    // The desktop switches (lock, UAC, Ctrl+Alt+Del and back) and the foreground, announced
    // on this thread as it takes its messages.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-setwineventhook
    m_hDesktopEvents = SetWinEventHook(EVENT_SYSTEM_DESKTOPSWITCH, EVENT_SYSTEM_DESKTOPSWITCH, nullptr,
                                       OnSystemEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
    m_hFrontEvents = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, OnSystemEvent,
                                     0, 0, WINEVENT_OUTOFCONTEXT);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OnWindowMessage;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Dorvane.CapsLockWatch";
    RegisterClassExW(&wc);  // fails harmlessly once it exists
    m_hWnd = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                             nullptr);
    if (m_hWnd != nullptr) {
        AskForSessionNotices(m_hWnd);
    }
}

void CCapsLockWatch::UnwatchSystem() {
    if (m_hWnd != nullptr) {
        if (g_bSessionNotices) {
            WTSUnRegisterSessionNotification(m_hWnd);
            g_bSessionNotices = false;
        }
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    for (HWINEVENTHOOK* hook : {&m_hDesktopEvents, &m_hFrontEvents}) {
        if (*hook != nullptr) {
            UnhookWinEvent(*hook);
            *hook = nullptr;
        }
    }
    if (m_hLayoutKey != nullptr) {
        RegCloseKey(m_hLayoutKey);
        m_hLayoutKey = nullptr;
    }
    if (m_hLayoutChanged != nullptr) {
        CloseHandle(m_hLayoutChanged);
        m_hLayoutChanged = nullptr;
    }
    g_pWatch = nullptr;
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

void CCapsLockWatch::Reread() {
    const DWORD thread = m_dwThreadId;
    if (thread == 0 || m_hRereadDone == nullptr) {
        return;
    }
    const LONG asked = ++m_nRereadsAsked;
    if (!PostThreadMessageW(thread, kRereadMessage, 0, 0)) {
        return;
    }
    const DWORD since = GetTickCount();
    for (DWORD waited = 0; m_nRereadsDone < asked && waited < kRereadWaitMs;
         waited = GetTickCount() - since) {
        WaitForSingleObject(m_hRereadDone, kRereadWaitMs - waited);
    }
}

void CCapsLockWatch::TurnedOffByTyping() {
    if (const DWORD thread = m_dwThreadId; thread != 0) {
        PostThreadMessageW(thread, kTurnedOffMessage, 0, 0);
    }
}

void CCapsLockWatch::Wake() {
    if (const DWORD thread = m_dwThreadId; thread != 0) {
        PostThreadMessageW(thread, WM_NULL, 0, 0);
    }
}

void CCapsLockWatch::Follow() {
    MSG msg;
    DWORD confirmingSince = 0;
    for (;;) {
        DWORD timeout = INFINITE;
        const DWORD now = GetTickCount();
        confirmingSince = m_follower.Confirming() ? (confirmingSince != 0 ? confirmingSince : now | 1) : 0;
        if (m_follower.Sampling() || (confirmingSince != 0 && now - confirmingSince < kConfirmForMs)) {
            timeout = kSampleMs;
        } else if (m_follower.RereadDue()) {
            timeout = kRereadTryMs;
        } else if (!g_bSessionNotices && m_hWnd != nullptr) {
            timeout = kSessionRetryMs;
        }
        const DWORD handles = m_hLayoutChanged != nullptr ? 1 : 0;
        const DWORD woke = MsgWaitForMultipleObjectsEx(handles, &m_hLayoutChanged, timeout, QS_ALLINPUT,
                                                       MWMO_INPUTAVAILABLE);
        if (handles != 0 && woke == WAIT_OBJECT_0) {
            ReadShiftLockSetting();
        }
        // The hook's events are sent messages: taking messages delivers them, and the system's
        // events with them.
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                return;
            }
            if (msg.hwnd == nullptr && msg.message == kRereadMessage) {
                const LONG asked = m_nRereadsAsked;
                m_follower.MayHaveMissed();
                m_follower.Reread();
                m_nRereadsDone = asked;
                SetEvent(m_hRereadDone);
            } else if (msg.hwnd == nullptr && msg.message == kTurnedOffMessage) {
                m_follower.TurnedOffByTyping();
            } else {
                DispatchMessageW(&msg);
            }
        }
        // While sampling the watch wakes every few ms: an arrival whose keys never came ends.
        if (m_plan.Out(GetTickCount())) {
            m_follower.KeysGoOut();
        } else {
            m_follower.KeysStopped();
        }
        m_follower.Sample();
        m_follower.Confirm();
        m_follower.Reread();  // one that the system could not answer before
        if (!g_bSessionNotices && m_hWnd != nullptr && GetTickCount() - g_dwSessionTry >= kSessionRetryMs) {
            AskForSessionNotices(m_hWnd);
        }
    }
}

DWORD WINAPI CCapsLockWatch::WatchThread(LPVOID param) {
    auto* self = static_cast<CCapsLockWatch*>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for the attach and the quit
    self->m_bHooked = self->m_follower.Start();
    SetEvent(self->m_hStarted);
    if (self->m_bHooked) {
        self->WatchSystem();
        self->Follow();
        self->UnwatchSystem();
    }
    self->m_follower.Stop();
    return 0;
}

bool CCapsLockWatch::Start() {
    if (m_hThread != nullptr) {
        return m_bHooked;
    }
    if (m_hRereadDone == nullptr &&
        (m_hRereadDone = CreateEventW(nullptr, FALSE, FALSE, nullptr)) == nullptr) {
        return false;
    }
    m_hStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_hStarted == nullptr) {
        return false;
    }
    DWORD id = 0;
    m_hThread = CreateThread(nullptr, 0, WatchThread, this, 0, &id);
    m_dwThreadId = id;
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
    PostThreadMessageW(m_dwThreadId.exchange(0), WM_QUIT, 0, 0);
    WaitForSingleObject(m_hThread, 5000);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    if (m_hRereadDone != nullptr) {
        CloseHandle(m_hRereadDone);
        m_hRereadDone = nullptr;
    }
}

}  // namespace dorvane
