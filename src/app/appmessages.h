// Messages of the main frame, shared by the parts that send them.
#pragma once

#include <windows.h>

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
// The frame's own: shows the tray icon resource in wParam (the pipeline's icon changes, queued so
// that only the user-interface thread calls the shell).
constexpr UINT WM_STATUS_ICON = WM_APP + 1;
// Turns the service off if it is on, and never on: what a lost device and auto-disable ask for.
// (The toggle command would switch a service the user had just turned off back on.)
// wParam says why: kOffIdle (auto-disable) or kOffPortLost (the device is gone: the service
// then waits for it, if AUTORECONNECT allows).
constexpr UINT WM_SERVICE_OFF = WM_APP + 2;
constexpr WPARAM kOffIdle = 0;
constexpr WPARAM kOffPortLost = 1;
// Shows the balloon notices the worker queued at the tray icon (the message carries nothing).
constexpr UINT WM_TRAY_NOTICE = WM_APP + 3;
// A port try has answered: the window that started it (the frame waiting for the device, or the
// settings sheet's General page) takes the answers from its runner (the message carries nothing).
constexpr UINT WM_PORT_TRIED = WM_APP + 4;
// The count of readings waiting for the chosen program changed: the tray's tooltip and menu
// follow CSendService::WaitingReadings (the message carries nothing).
constexpr UINT WM_WAITING_CHANGED = WM_APP + 5;
