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

// The window a modal chain that starts at owner ends in: the enabled, visible window of
// owner's thread that owner owns directly or through other windows (a box over the sheet over
// owner gives the box). Null when none is open.
HWND ActiveModalWindow(HWND owner);

}  // namespace framework
