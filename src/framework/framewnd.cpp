#include "framework/framewnd.h"

#include "framework/winapp.h"

namespace framework {

BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD style) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_nIDResource = resourceId;
    wchar_t title[256] = {};
    LoadStringW(instance, resourceId, title, 256);
    m_hAccelTable = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resourceId));
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(resourceId));
    const RECT rect{CW_USEDEFAULT, CW_USEDEFAULT, 0, 0};
    if (!CreateEx(0, nullptr, title, style, rect, nullptr, reinterpret_cast<UINT_PTR>(menu))) {
        if (menu != nullptr) {
            DestroyMenu(menu);
        }
        return FALSE;
    }
    return TRUE;
}

BOOL CFrameWnd::OnCmdMsg(UINT id, CCmdUI* ui) {
    if (CWnd::OnCmdMsg(id, ui)) {
        return TRUE;
    }
    CWinApp* app = GetApp();
    return app != nullptr && app->OnCmdMsg(id, ui);
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTW& cs) {
    if (cs.lpszClass == nullptr) {
        cs.lpszClass = RegisterWndClass(
            CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
            LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDResource)));
    }
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return CWnd::PreCreateWindow(cs);
}

void CFrameWnd::OnSize(UINT, int cx, int cy) {
    if (HWND pane = GetDlgItem(m_hWnd, kFirstPaneId)) {
        MoveWindow(pane, 0, 0, cx, cy, TRUE);
    }
}

void CFrameWnd::OnClose() {
    DestroyWindow();
}

void CFrameWnd::OnDestroy() {
    // The main window's end is the application's end.
    CWinApp* app = GetApp();
    if (app != nullptr && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
        PostQuitMessage(0);
    }
}

void CFrameWnd::PostNcDestroy() {
    // A frame whose creation failed gets no WM_DESTROY under every system: the application
    // must not keep (and delete again) a frame that is gone.
    CWinApp* app = GetApp();
    if (app != nullptr && app->m_pMainWnd == this) {
        app->m_pMainWnd = nullptr;
    }
    delete this;
}

}  // namespace framework
