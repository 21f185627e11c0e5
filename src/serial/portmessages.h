// Window messages the serial floor's helpers post to the windows above it, numbered here so
// that the frame (app/appmessages.h) and the settings sheet's General page agree on them.
#pragma once

#include <windows.h>

// A port try has answered (CPortTryRunner): the window that started it (the frame waiting for
// the device, or the settings sheet's General page) takes the answers from its runner (the
// message carries nothing).
constexpr UINT WM_PORT_TRIED = WM_APP + 4;
