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

}  // namespace framework
