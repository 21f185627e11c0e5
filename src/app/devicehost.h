// The Win32 side of the device requests: the serial link's writer, the ANSI code page, the
// poll timer and the hotkey on the main window, traces, and balloons through the frame.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "serial/core/devicerequests.h"

class CDeviceRequestHost : public dorvane::IDeviceRequestHost {
public:
    using NoticeSink = std::function<void(const std::u16string& title, const std::u16string& text)>;
    explicit CDeviceRequestHost(NoticeSink notice) : m_notice(std::move(notice)) {}

    // The window that owns the timer and receives WM_HOTKEY; set once it exists.
    void Attach(HWND window) { m_hWnd = window; }

    // The main window's timer and hotkey ids.
    static constexpr UINT_PTR kPollTimer = 4;
    static constexpr int kHotkeyId = 1;

    dorvane::SendResult Send(std::vector<uint8_t> bytes, bool skipWhenBusy) override;
    std::vector<uint8_t> Encode(std::u16string_view text) override;
    bool StartPollTimer(uint32_t ms) override;
    void StopPollTimer() override;
    bool RegisterHotkey(const dorvane::Hotkey& hotkey) override;
    void UnregisterHotkey() override;
    std::u16string ErrorText(uint32_t code) override;
    void Trace(const std::u16string& line) override;
    void ShowNotice(const std::u16string& title, const std::u16string& text) override { m_notice(title, text); }

private:
    HWND m_hWnd = nullptr;
    NoticeSink m_notice;
};
