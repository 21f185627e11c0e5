#include "framework/foreground.h"

#include <atomic>

namespace framework {

namespace {

std::atomic<HWND> g_hLastUserWnd{nullptr};
std::atomic<unsigned> g_nForegroundChanges{0};
HWINEVENTHOOK g_hForegroundHook = nullptr;

// Hidden windows of this program or of another copy: the system activates such a window when a
// menu or dialog of its closes, and no one types there.
bool IsOwnHiddenWindow(HWND hwnd) {
    return IsOwnWindow(hwnd) && !IsWindowVisible(hwnd);
}

bool IsUserWindow(HWND hwnd) {
    return hwnd != nullptr && IsWindow(hwnd) && KindOfWindow(hwnd) == dorvane::WindowKind::kUserWindow;
}

// The window a keeper gives the foreground back to: the user's, or a visible one of this process
// (the settings sheet under a box of its). Never another copy's: that copy keeps its own.
bool IsWindowToKeep(HWND hwnd) {
    if (hwnd == nullptr) {
        return false;
    }
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    return process == GetCurrentProcessId() ? IsWindowVisible(hwnd) != FALSE : IsUserWindow(hwnd);
}

// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-setwineventhook
// (out of context: called on the installing thread from its message loop).
void CALLBACK OnForegroundEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG objectId, LONG, DWORD, DWORD) {
    ++g_nForegroundChanges;
    if (objectId == OBJID_WINDOW && IsUserWindow(hwnd)) {
        g_hLastUserWnd = hwnd;
    }
}

}  // namespace

void StartTrackingUserWindow() {
    if (g_hForegroundHook != nullptr) {
        return;
    }
    HWND now = GetForegroundWindow();
    if (IsUserWindow(now)) {
        g_hLastUserWnd = now;
    }
    g_hForegroundHook = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                                        OnForegroundEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
}

void StopTrackingUserWindow() {
    if (g_hForegroundHook != nullptr) {
        UnhookWinEvent(g_hForegroundHook);
        g_hForegroundHook = nullptr;
    }
}

unsigned ForegroundChanges() {
    return g_nForegroundChanges;
}

HWND LastUserWindow() {
    HWND last = g_hLastUserWnd;
    return last != nullptr && IsWindow(last) ? last : nullptr;
}

CForegroundKeeper::CForegroundKeeper() : m_hUserWnd(GetForegroundWindow()) {
    if (!IsWindowToKeep(m_hUserWnd)) {
        m_hUserWnd = LastUserWindow();
    }
}

CForegroundKeeper::~CForegroundKeeper() {
    if (m_hUserWnd == nullptr || !IsWindow(m_hUserWnd)) {
        return;
    }
    HWND now = GetForegroundWindow();
    if (now == nullptr || IsOwnHiddenWindow(now) || IsShellWindow(now)) {
        SetForegroundWindow(m_hUserWnd);
    }
}

HWND ActiveModalWindow(HWND owner) {
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    const DWORD thread = GetWindowThreadProcessId(owner, nullptr);
    EnumThreadWindows(
        thread,
        [](HWND hwnd, LPARAM param) {
            auto* s = reinterpret_cast<Search*>(param);
            // Every window of the chain but its last is disabled by the modal window above it.
            if (hwnd != s->owner && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
                GetAncestor(hwnd, GA_ROOTOWNER) == s->owner) {
                s->found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace framework
