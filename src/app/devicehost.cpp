#include "app/devicehost.h"

#include "app/appmessages.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "serial/serialport.h"

using namespace dorvane;

SendResult CDeviceRequestHost::Send(std::vector<uint8_t> bytes, bool skipWhenBusy) {
    return TheSerialLink().Send(std::move(bytes), skipWhenBusy);
}

std::vector<uint8_t> CDeviceRequestHost::Encode(std::u16string_view text) {
    return AnsiBytesOf(text);
}

bool CDeviceRequestHost::StartPollTimer(uint32_t ms) {
    // WM_TIMER is made by GetMessage only when nothing else is queued, so a busy user-interface
    // thread delays a poll but never piles polls up.
    // https://learn.microsoft.com/windows/win32/winmsg/wm-timer
    return SetTimer(m_hWnd, kPollTimer, ms, nullptr) != 0;
}

void CDeviceRequestHost::StopPollTimer() {
    KillTimer(m_hWnd, kPollTimer);
}

bool CDeviceRequestHost::RegisterHotkey(const Hotkey& hotkey) {
    // System-wide; fails when another program holds the same keys. MOD_NOREPEAT: a key held
    // down sends the request once, not at the auto-repeat rate.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-registerhotkey
    return RegisterHotKey(m_hWnd, kHotkeyId, hotkey.modifiers | MOD_NOREPEAT, hotkey.vk) != FALSE;
}

void CDeviceRequestHost::UnregisterHotkey() {
    UnregisterHotKey(m_hWnd, kHotkeyId);
}

std::u16string CDeviceRequestHost::ErrorText(uint32_t code) {
    return std::u16string(AsUtf16View(GetErrorText(code, nullptr)));
}

void CDeviceRequestHost::Trace(const std::u16string& line) {
    DebugPrintf(L"%s", AsWide(line.c_str()));
}
