// The registered messages other programs send the main window, and letting them through when
// this program runs elevated.
#pragma once

#include <windows.h>

// "Velmora.DORVANE.Quit", broadcast by the installer and uninstaller.
UINT QuitRequestMessage();

// Lets the shell's "TaskbarCreated" and the installer's quit request reach `window` even when
// this program runs elevated: UIPI drops registered messages from a lower integrity level unless
// the receiver allows them. FALSE when one could not be allowed.
using MessageFilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, PCHANGEFILTERSTRUCT);
BOOL AllowShellAndInstallerMessages(HWND window, MessageFilterFn filter = ChangeWindowMessageFilterEx);
