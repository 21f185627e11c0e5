#include "framework/wnd.h"

#include <cwchar>
#include <map>
#include <string>
#include <tuple>

namespace framework {

namespace {

// The object whose CreateEx is running: the system calls the window procedure before
// CreateWindowEx returns, and the window must reach its object from its first message.
thread_local CWnd* t_creating = nullptr;

}  // namespace

CWnd::~CWnd() {
    // Only a window bound to this object goes with it. A held control (an edit) was destroyed
    // with its parent already, and its old handle must not be touched.
    if (m_hWnd != nullptr && IsWindow(m_hWnd) &&
        GetWindowLongPtrW(m_hWnd, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(this)) {
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);  // the window must not call into it any more
        ::DestroyWindow(m_hWnd);
    }
}

LPCWSTR CWnd::RegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    static std::map<std::tuple<UINT, HCURSOR, HBRUSH, HICON>, std::wstring> registered;
    const auto key = std::make_tuple(classStyle, cursor, background, icon);
    if (auto found = registered.find(key); found != registered.end()) {
        return found->second.c_str();
    }
    std::wstring name = L"Dorvane:" + std::to_wstring(registered.size());
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = StaticWndProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name.c_str();
    if (RegisterClassExW(&wc) == 0) {
        return nullptr;
    }
    return registered.emplace(key, std::move(name)).first->second.c_str();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTW& cs) {
    if (cs.lpszClass == nullptr) {
        cs.lpszClass = RegisterWndClass(CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW), nullptr, nullptr);
    }
    return cs.lpszClass != nullptr;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, const RECT& rect,
                    HWND parent, UINT_PTR idOrMenu) {
    CREATESTRUCTW cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = title;
    cs.style = static_cast<LONG>(style);
    cs.x = rect.left;
    cs.y = rect.top;
    cs.cx = rect.right - rect.left;
    cs.cy = rect.bottom - rect.top;
    cs.hwndParent = parent;
    cs.hMenu = reinterpret_cast<HMENU>(idOrMenu);
    cs.hInstance = GetModuleHandleW(nullptr);
    if (!PreCreateWindow(cs)) {
        return FALSE;
    }
    m_bNcDestroyed = false;
    CWnd* const outer = t_creating;
    t_creating = this;
    HWND hwnd = CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                                cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, nullptr);
    t_creating = outer;
    if (hwnd == nullptr) {
        return FALSE;
    }
    m_hWnd = hwnd;  // already set for bound windows; system-class windows are only held
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    return m_hWnd != nullptr && ::DestroyWindow(m_hWnd);
}

BOOL CWnd::OnCmdMsg(UINT, CCmdUI*) {
    return FALSE;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) {
    return ::SetTimer(m_hWnd, id, elapseMs, nullptr);
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    return ::KillTimer(m_hWnd, id);
}

LRESULT CWnd::Default() {
    return DefWindowProcW(m_hWnd, m_nMsg, m_wParam, m_lParam);
}

int CWnd::OnCreate(CREATESTRUCTW*) {
    return static_cast<int>(Default());
}

void CWnd::OnSize(UINT, int, int) {
    Default();
}

void CWnd::OnPaint() {
    Default();
}

void CWnd::OnClose() {
    Default();
}

void CWnd::OnTimer(UINT_PTR) {
    Default();
}

void CWnd::OnInitMenuPopup(HMENU popup, UINT, BOOL sysMenu) {
    if (sysMenu) {
        return;
    }
    // Each item asks its handler how it looks; an item that no one handles cannot be chosen.
    const int count = GetMenuItemCount(popup);
    for (int index = 0; index < count; ++index) {
        const UINT id = GetMenuItemID(popup, index);
        if (id == 0 || id == static_cast<UINT>(-1)) {
            continue;  // separator or sub-menu
        }
        CCmdUI ui(popup, static_cast<UINT>(index));
        ui.Enable(TRUE);
        if (!OnCmdMsg(id, &ui)) {
            ui.Enable(FALSE);
        }
    }
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
        case WM_SIZE:
            OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_CLOSE:
            OnClose();
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
            return 0;
        case WM_INITMENUPOPUP:
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_COMMAND:
            // Menu items and accelerators (no control window) are commands for the handlers.
            if (lParam == 0 && OnCmdMsg(LOWORD(wParam), nullptr)) {
                return 0;
            }
            break;
        default:
            break;
    }
    return Default();
}

LRESULT CALLBACK CWnd::StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* wnd = reinterpret_cast<CWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (wnd == nullptr && t_creating != nullptr && (message == WM_NCCREATE || message == WM_GETMINMAXINFO)) {
        wnd = t_creating;
        t_creating = nullptr;
        wnd->m_hWnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
    }
    if (wnd == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    // Handlers may send messages to their own window: keep the outer message for Default().
    const UINT outerMsg = wnd->m_nMsg;
    const WPARAM outerW = wnd->m_wParam;
    const LPARAM outerL = wnd->m_lParam;
    wnd->m_nMsg = message;
    wnd->m_wParam = wParam;
    wnd->m_lParam = lParam;
    ++wnd->m_nDispatchDepth;
    const LRESULT result = wnd->WindowProc(message, wParam, lParam);
    --wnd->m_nDispatchDepth;
    wnd->m_nMsg = outerMsg;
    wnd->m_wParam = outerW;
    wnd->m_lParam = outerL;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        wnd->m_hWnd = nullptr;
        wnd->m_bNcDestroyed = true;
    }
    // A window destroyed from inside one of its own handlers (Exit destroys the frame while its
    // WM_COMMAND runs) is ended only once the outermost handler has returned: PostNcDestroy may
    // delete the object, and the handlers still running below would use freed memory.
    if (wnd->m_bNcDestroyed && wnd->m_nDispatchDepth == 0) {
        wnd->m_bNcDestroyed = false;
        wnd->PostNcDestroy();  // wnd may be gone from here on
    }
    return result;
}

}  // namespace framework
