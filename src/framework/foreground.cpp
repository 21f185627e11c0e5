#include "framework/foreground.h"

namespace framework {

namespace {

bool IsOwnHiddenWindow(HWND hwnd) {
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    return process == GetCurrentProcessId() && !IsWindowVisible(hwnd);
}

}  // namespace

CForegroundKeeper::CForegroundKeeper() : m_hUserWnd(GetForegroundWindow()) {
    if (m_hUserWnd != nullptr && IsOwnHiddenWindow(m_hUserWnd)) {
        m_hUserWnd = nullptr;
    }
}

CForegroundKeeper::~CForegroundKeeper() {
    if (m_hUserWnd == nullptr || !IsWindow(m_hUserWnd)) {
        return;
    }
    HWND now = GetForegroundWindow();
    if (now == nullptr || IsOwnHiddenWindow(now)) {
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
