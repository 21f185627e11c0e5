// The Win32 side of the device requests: the serial link's writer, the ANSI code page, the
// poll timer and the hotkey on the main window, traces, and faults through the frame.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "serial/core/devicerequests.h"

class CDeviceRequestHost : public dorvane::IDeviceRequestHost {
public:
    CDeviceRequestHost(std::function<void(const dorvane::FaultReport&)> raise, std::function<void(dorvane::Fault)> clear)
        : m_raise(std::move(raise)), m_clear(std::move(clear)) {}

    // The window that owns the timer and receives WM_HOTKEY; set once it exists.
    void Attach(HWND window) { m_hWnd = window; }

    dorvane::SendResult Send(std::vector<uint8_t> bytes, bool skipWhenBusy) override;
    std::vector<uint8_t> Encode(std::u16string_view text) override;
    bool StartPollTimer(uint32_t ms) override;
    void StopPollTimer() override;
    bool RegisterHotkey(const dorvane::Hotkey& hotkey) override;
    void UnregisterHotkey() override;
    std::u16string ErrorText(uint32_t code) override;
    void Trace(const std::u16string& line) override;
    void RaiseFault(const dorvane::FaultReport& report) override { m_raise(report); }
    void ClearFault(dorvane::Fault fault) override { m_clear(fault); }

private:
    HWND m_hWnd = nullptr;
    std::function<void(const dorvane::FaultReport&)> m_raise;
    std::function<void(dorvane::Fault)> m_clear;
};
