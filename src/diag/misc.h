// Message boxes for the user, captioned with the application's name.
#pragma once

#include <windows.h>

// Shows a message box with the given system flags and returns the button pressed.
// helpId is kept for callers' symmetry with the framework's box; the program passes 0.
// On the thread of the window given to SetMessageBoxOwner, the box is owned by that window, or
// by the dialog or sheet of it that is open: the box is then modal to what raised it, and the
// owner sees (by being disabled) that a box is up. Elsewhere (the send-key worker) it has no owner.
// When the box closes, the user's window gets the foreground back.
int MsgBox(LPCWSTR text, UINT type, UINT helpId);

// The program's main window, or null when it is gone.
void SetMessageBoxOwner(HWND owner);
