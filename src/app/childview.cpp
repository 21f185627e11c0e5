#include "app/childview.h"

#include "resource.h"

BOOL CChildView::PreCreateWindow(CREATESTRUCTW& cs) {
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    cs.style &= ~WS_BORDER;
    cs.lpszClass = RegisterWndClass(CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                                    reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
    return CWnd::PreCreateWindow(cs);
}

int CChildView::OnCreate(CREATESTRUCTW* cs) {
    if (CWnd::OnCreate(cs) == -1) {
        return -1;
    }
    const RECT empty{};
    if (m_wndEdit.CreateEx(0, L"EDIT", L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL, empty, m_hWnd,
                           IDC_VIEW_EDIT)) {
        SendMessageW(m_wndEdit.m_hWnd, EM_SETREADONLY, TRUE, 0);
    }
    return 0;  // the view stands also without its edit control
}

void CChildView::OnSize(UINT type, int cx, int cy) {
    CWnd::OnSize(type, cx, cy);
    if (m_wndEdit.m_hWnd != nullptr && IsWindow(m_wndEdit.m_hWnd)) {
        MoveWindow(m_wndEdit.m_hWnd, 0, 0, cx, cy, TRUE);
    }
}

void CChildView::OnPaint() {
    // The edit control covers the view: accept the paint request, draw nothing.
    PAINTSTRUCT ps;
    BeginPaint(m_hWnd, &ps);
    EndPaint(m_hWnd, &ps);
}

void CChildView::ClearText() {
    SetWindowTextW(m_wndEdit.m_hWnd, L"");
}
