// What kind of window is in front, as far as typing goes: the facts a window gives away without
// a message to it, handed to the portable KindOfWindow.
#pragma once

#include <windows.h>

#include <string>

#include "framework/core/windowkind.h"

namespace framework {

dorvane::WindowKind KindOfWindow(HWND hwnd);
// The taskbar, its notification area and overflow, the desktop, a menu, Start, Search and the
// shell's other surfaces: windows that come to the front and are never a typing target.
bool IsShellWindow(HWND hwnd);
// A window of this process or of another copy of Dorvane running beside it.
bool IsOwnWindow(HWND hwnd);
// The full path of the executable that shows the window; empty when it cannot be read.
std::u16string ExePathOfWindow(HWND hwnd);

}  // namespace framework
