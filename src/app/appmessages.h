// The main window's message, timer and hotkey numbers, in one place.
#pragma once

#include <windows.h>

#include "serial/portmessages.h"

// The tray icon's callback; wParam the icon identifier, lParam the mouse message.
constexpr UINT WM_TRAY_NOTIFY = WM_USER + 1;
// A burst of received bytes, sent synchronously by the serial reader; wParam the byte count,
// lParam the bytes (a NUL follows them), valid during the call only. Taken only as the reader's
// own hand-off (TakeHandOff): the window is top-level and any program can send it this number.
constexpr UINT WM_COMM_READ = WM_USER + 3;
// Discards the bytes in the receive buffer.
constexpr UINT WM_CLEAR_BUFFER = WM_USER + 15;
// Answered 1 with no effect.
constexpr UINT WM_USER_16 = WM_USER + 16;
// Turns the service off if it is on, and never on (a toggle would switch a service the user had
// just turned off back on). Dorvane's own threads (auto-disable, the reader that lost its port)
// ask through the task queue; this number is for other programs (a script, the end-to-end
// tests), which may post it with wParam kOffIdle (as auto-disable) or kOffPortLost (as a lost
// device: then waited for, if AUTORECONNECT allows), lParam 0.
constexpr UINT WM_SERVICE_OFF = WM_APP + 2;
constexpr WPARAM kOffIdle = 0;
constexpr WPARAM kOffPortLost = 1;
// The task queue has work: the window runs the tasks other threads posted (the message carries
// nothing).
constexpr UINT WM_RUN_TASKS = WM_APP + 3;
// WM_APP + 4: WM_PORT_TRIED, in serial/portmessages.h (the General page takes it too). Not a
// task: a try on a slow Bluetooth port may end after its window and queue are gone, and a
// message to a window that is gone is dropped by the system.

// The main window's timers (the tray icon's add retry is CSystemTray::kAddRetryTimer).
constexpr UINT_PTR kServiceTimer = 1;  // the 500 ms service tick
constexpr UINT kServiceTimerMs = 500;
constexpr UINT_PTR kPortWatchTimer = 3;  // while the device is gone, the port is tried this often
constexpr UINT kPortWatchMs = 2000;
constexpr UINT_PTR kPollTimer = 4;  // the device requests' poll
constexpr UINT_PTR kPictureTimer = 5;  // a state picture waits this long (CTrayView)
constexpr UINT kPictureDelayMs = 10;
// The main window's hotkey: the device requests' "Send Command".
constexpr int kHotkeyId = 1;
