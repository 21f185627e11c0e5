// The view that fills the main window: one read-only multi-line edit control.
#pragma once

#include "framework/wnd.h"

class CChildView : public framework::CWnd {
public:
    // Empties the edit control.
    void ClearText();

    framework::CWnd m_wndEdit;

protected:
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    int OnCreate(CREATESTRUCTW* cs) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnPaint() override;
};
