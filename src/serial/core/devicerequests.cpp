#include "serial/core/devicerequests.h"

#include <utility>

#include "settings/core/settingkeys.h"

namespace dorvane {

DeviceRequestSettings LoadDeviceRequestSettings(CAppProfile& profile) {
    DeviceRequestSettings settings;
    settings.command = ReadSetting(profile, DEVICE_COMMAND);
    settings.commandAtEnable = ReadSetting(profile, DEVICE_COMMAND_AT_ENABLE) != 0;
    settings.pollMs = ReadSetting(profile, DEVICE_POLL_MS);
    settings.hotkey = ReadSetting(profile, DEVICE_HOTKEY);
    settings.ack = ReadSetting(profile, DEVICE_ACK);
    return settings;
}

void CDeviceRequests::Start(const DeviceRequestSettings& settings) {
    Stop();
    m_bSkipTraced = false;
    m_bWaitSkipTraced = false;
    m_bAckDropTraced = false;
    m_bSettingShown = false;
    // Each is told again if it is still there; a notice already shown is not shown again.
    m_host.ClearFault(Fault::kDeviceSettings);
    m_host.ClearFault(Fault::kDeviceWrite);
    std::vector<uint8_t> command = Decode(settings.command, DEVICE_COMMAND.name);
    std::vector<uint8_t> ack = Decode(settings.ack, DEVICE_ACK.name);
    const std::optional<std::u16string> pollError = CheckPollPeriod(settings.pollMs);
    if (pollError) {
        ReportSetting(*pollError);
    }
    Hotkey hotkey;
    const std::optional<std::u16string> hotkeyError = ParseHotkey(settings.hotkey, hotkey);
    if (hotkeyError) {
        ReportSetting(*hotkeyError);
    }
    {
        std::lock_guard lock(m_cs);
        m_command = std::move(command);
        m_ack = std::move(ack);
        m_bRunning = true;
    }
    if (m_command.empty()) {
        return;  // nothing to ask the device: no timer, no hotkey
    }
    if (settings.commandAtEnable) {
        SendCommand();
    }
    if (!pollError && settings.pollMs != 0) {
        m_bPolling = m_host.StartPollTimer(settings.pollMs);
        if (!m_bPolling) {
            m_host.Trace(u"device poll not started, no timer!");
        }
    }
    if (!hotkeyError && hotkey.vk != 0) {
        m_bHotkey = m_host.RegisterHotkey(hotkey);
        if (!m_bHotkey) {
            m_host.Trace(u"hotkey " + settings.hotkey + u" not registered: another program holds it!");
            m_host.RaiseFault(FaultReport{Fault::kHotkey, u"hotkey " + settings.hotkey + u" taken by another program",
                                          u"DORVANE hotkey not available",
                                          u"Another program already uses " + settings.hotkey +
                                              u". \"Send Command\" in the tray menu still sends the request."});
        }
    }
}

void CDeviceRequests::Stop() {
    if (m_bPolling) {
        m_host.StopPollTimer();
        m_bPolling = false;
    }
    if (m_bHotkey) {
        m_host.UnregisterHotkey();
        m_bHotkey = false;
    }
    m_host.ClearFault(Fault::kHotkey);
    std::lock_guard lock(m_cs);
    m_bRunning = false;
    m_command.clear();
    m_ack.clear();
}

bool CDeviceRequests::CanSendCommand() const {
    std::lock_guard lock(m_cs);
    return m_bRunning && !m_command.empty();
}

void CDeviceRequests::SendCommand() {
    std::vector<uint8_t> command;
    {
        std::lock_guard lock(m_cs);
        if (!m_bRunning || m_command.empty()) {
            return;
        }
        command = m_command;
    }
    if (m_host.Send(std::move(command), false) == SendResult::kBusy) {
        m_host.Trace(u"device request dropped, too many writes waiting!");
    }
}

void CDeviceRequests::OnPollTimer(bool readingsWait) {
    std::vector<uint8_t> command;
    {
        std::lock_guard lock(m_cs);
        if (!m_bRunning || !m_bPolling) {
            // A tick queued before the stop; more than one would mean the timer still runs.
            m_host.Trace(u"device poll tick after the stop");
            return;
        }
        command = m_command;
    }
    if (readingsWait) {
        if (!std::exchange(m_bWaitSkipTraced, true)) {
            m_host.Trace(u"device poll skipped while readings wait to be typed");
        }
        return;
    }
    m_bWaitSkipTraced = false;
    // A slow device must not collect a backlog of requests it would answer long after.
    if (m_host.Send(std::move(command), true) == SendResult::kBusy && !m_bSkipTraced) {
        m_bSkipTraced = true;
        m_host.Trace(u"device poll skipped, the last request is still being written");
    }
}

void CDeviceRequests::OnReadingsHandled(size_t count) {
    std::vector<uint8_t> ack;
    {
        std::lock_guard lock(m_cs);
        if (!m_bRunning || m_ack.empty()) {
            return;
        }
        ack = m_ack;
    }
    for (size_t i = 0; i < count; ++i) {
        const SendResult sent = m_host.Send(ack, false);
        if (sent != SendResult::kQueued) {
            // A device that takes nothing fills the queue; traced once, not for every reading.
            // (Not open: the port is closing, nothing more goes out.)
            if (sent == SendResult::kBusy && !m_bAckDropTraced.exchange(true)) {
                m_host.Trace(u"device acknowledgements dropped, too many writes waiting!");
            }
            return;
        }
    }
}

void CDeviceRequests::OnWriteEnded(WriteOutcome outcome, uint32_t error) {
    if (outcome == WriteOutcome::kWritten) {
        m_host.ClearFault(Fault::kDeviceWrite);  // the device takes what is sent again
        return;
    }
    if (outcome != WriteOutcome::kFailed && outcome != WriteOutcome::kTimedOut) {
        return;  // ended by the stop
    }
    const std::u16string text = m_host.ErrorText(outcome == WriteOutcome::kTimedOut ? kWriteTimedOutError : error);
    m_host.Trace(u"com-port write, error! " + text);
    m_host.RaiseFault(FaultReport{Fault::kDeviceWrite, u"the device does not take what is written",
                                  u"DORVANE cannot write to the device",
                                  u"The device did not take what was sent; reading goes on.\n" + text});
}

std::vector<uint8_t> CDeviceRequests::Decode(const std::u16string& text, const char16_t* setting) {
    std::vector<uint8_t> bytes;
    const std::optional<std::u16string> error =
        DecodeDeviceText(text, setting, [this](std::u16string_view run) { return m_host.Encode(run); }, bytes);
    if (error) {
        ReportSetting(*error);
        return {};
    }
    return bytes;
}

void CDeviceRequests::ReportSetting(const std::u16string& error) {
    m_host.Trace(u"device settings: " + error);
    if (!m_bSettingShown) {
        m_bSettingShown = true;  // the first of the settings at fault
        m_host.RaiseFault(FaultReport{Fault::kDeviceSettings, u"not writing to the device: " + FaultTip(error),
                                      u"DORVANE does not write to the device",
                                      error + u"\nFix it on the Device page of the settings."});
    }
}

}  // namespace dorvane
