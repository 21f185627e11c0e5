// Keeps the user's typing target. The program's windows are hidden; when one of its menus or
// dialogs closes, the system activates the hidden owner, and keystrokes sent later would be
// lost. This gives the foreground back to the window the user was working in.
#pragma once

#include <windows.h>

#include "framework/windowfacts.h"

namespace framework {

// Follows which application window the user works in, from the system's foreground events: a
// real click on the tray icon makes the taskbar the foreground window before any menu of ours
// opens, and "the window in front" then is no longer the user's. Call on the user-interface
// thread (its message loop delivers the events); Stop before that thread ends.
void StartTrackingUserWindow();
void StopTrackingUserWindow();
// The last application window in front that is neither the shell's nor a copy of Dorvane's.
HWND LastUserWindow();
// How many times the foreground window changed since tracking started, as the system announced
// it (any window, this program's included): a cheap way for another thread to know whether it
// must look at the foreground again.
unsigned ForegroundChanges();

class CForegroundKeeper {
public:
    // Remembers the user's window: the current foreground window, or when that is the shell, a
    // hidden window of this program or any window of another copy of Dorvane, the last
    // application window the user had in front.
    CForegroundKeeper();
    // Gives the foreground back when it has ended up on a hidden window of this program, on the
    // shell, or nowhere.
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
