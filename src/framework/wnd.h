// A window object bound to one HWND, with one dispatch point (WindowProc) that calls handler
// methods. Derived classes override the handlers they need and route commands through OnCmdMsg.
#pragma once

#include <windows.h>

#include "framework/cmdui.h"

namespace framework {

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Creates the window. Windows of classes registered by RegisterWndClass are bound to this
    // object and reach WindowProc; windows of system classes (an edit control) are only held.
    // PreCreateWindow may change the style, the extended style and the class first.
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, const RECT& rect, HWND parent,
                  UINT_PTR idOrMenu);
    BOOL DestroyWindow();

    // Command handling: TRUE when this object (or one it routes to) handles id. With ui given,
    // only the menu item's look is asked for.
    virtual BOOL OnCmdMsg(UINT id, CCmdUI* ui);

    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    BOOL KillTimer(UINT_PTR id);

    // Registers (once) a window class with these traits and returns its name.
    static LPCWSTR RegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon);

    HWND m_hWnd = nullptr;

protected:
    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
    // The one dispatch point of every message of this window.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone (WM_NCDESTROY) and no handler of it runs any more;
    // m_hWnd is already null. The object may delete itself here.
    virtual void PostNcDestroy() {}

    // Handlers; each default does what the system would do.
    virtual int OnCreate(CREATESTRUCTW* cs);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnPaint();
    virtual void OnClose();
    virtual void OnDestroy() {}
    virtual void OnTimer(UINT_PTR id);
    virtual void OnInitMenuPopup(HMENU popup, UINT index, BOOL sysMenu);

    LRESULT Default();

private:
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // The message being handled, for Default().
    UINT m_nMsg = 0;
    WPARAM m_wParam = 0;
    LPARAM m_lParam = 0;
    // Handlers of this window running now (nested when a handler sends to its own window), and
    // whether the window is gone while some still ran.
    int m_nDispatchDepth = 0;
    bool m_bNcDestroyed = false;
};

}  // namespace framework
