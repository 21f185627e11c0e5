// Keeps the user's typing target. The program's windows are hidden; when one of its menus or
// dialogs closes, the system activates the hidden owner, and keystrokes sent later would be
// lost. This gives the foreground back to the window the user was working in.
#pragma once

#include <windows.h>

namespace framework {

class CForegroundKeeper {
public:
    // Remembers the current foreground window, unless it is one of this program's hidden windows.
    CForegroundKeeper();
    // Gives the foreground back when it has ended up on a hidden window of this program (or nowhere).
    ~CForegroundKeeper();
    CForegroundKeeper(const CForegroundKeeper&) = delete;
    CForegroundKeeper& operator=(const CForegroundKeeper&) = delete;

private:
    HWND m_hUserWnd;
};

}  // namespace framework
