// Message boxes for the user, captioned with the application's name.
#pragma once

#include <windows.h>

// Shows a message box with the given system flags and returns the button pressed.
// helpId is kept for callers' symmetry with the framework's box; the program passes 0.
int MsgBox(LPCWSTR text, UINT type, UINT helpId);
