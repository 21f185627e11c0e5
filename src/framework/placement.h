// Keeps a window on its monitor's work area. The program's dialogs are owned by a hidden main
// window at the screen's right edge, and a dialog centred on it could hang off the screen.
#pragma once

#include <windows.h>

namespace framework {

void KeepOnScreen(HWND window);

}  // namespace framework
