#include "framework/placement.h"

#include <algorithm>

namespace framework {

void KeepOnScreen(HWND window) {
    RECT rect{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetWindowRect(window, &rect) ||
        !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return;
    }
    const RECT& work = monitor.rcWork;
    const LONG left = std::max(work.left, std::min(rect.left, work.right - (rect.right - rect.left)));
    const LONG top = std::max(work.top, std::min(rect.top, work.bottom - (rect.bottom - rect.top)));
    if (left != rect.left || top != rect.top) {
        SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace framework
