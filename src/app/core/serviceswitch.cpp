#include "app/core/serviceswitch.h"

#include <utility>

#include "core/textcase.h"
#include "pipeline/core/servicestate.h"

namespace dorvane {

namespace {

void SetActivityFlags(bool enabled) {
    g_bServiceEnabled = enabled;
    g_bReceiving = false;
    g_bSending = false;
}

}  // namespace

bool NoticeMeansPortLost(DeviceNotice notice, const std::u16string& removedPort, const std::u16string& openPort,
                         bool openPortResponds) {
    switch (notice) {
        case DeviceNotice::kPortRemoved:
            return SameTextIgnoringCase(removedPort, openPort);
        case DeviceNotice::kDevicesChanged:
            return !openPortResponds;
        case DeviceNotice::kPortArrived:
        case DeviceNotice::kOther:
            break;
    }
    return false;
}

bool CServiceSwitch::IsEnabled() const {
    return g_bServiceEnabled.load();
}

void CServiceSwitch::Toggle() {
    if (m_bWaiting) {
        StopWaiting();
        m_host.ShowState();
        return;
    }
    Switch(!IsEnabled());
}

void CServiceSwitch::Switch(bool enable) {
    try {
        m_host.Trace(u".");
        if (enable) {
            Enable();
        } else {
            Disable();
        }
    } catch (...) {
        m_host.Trace(u"enable/disable dorvane, exception");
    }
    m_host.ShowStatePicture();
    m_host.Trace(u"enable/disable dorvane, done");
}

void CServiceSwitch::Enable() {
    m_host.Trace(u"enable dorvane");
    if (!m_host.OpenPort()) {
        m_host.ShowError(u"Enable comm service failed!\t");
        return;
    }
    if (!m_host.StartPipeline()) {
        m_host.ClosePort();
        m_host.ShowError(u"Enable send service failed!\t");
        return;
    }
    if (!m_host.StartTick()) {
        // Without the tick there is no time-out flush, no auto-disable and no picture refresh:
        // a service that cannot tick is not started.
        m_host.ReportSystemError(u"SetTimer failed!");
        m_host.ClosePort();
        m_host.StopPipeline();
        m_host.ShowError(u"Enable send service failed!\t");
        return;
    }
    SetActivityFlags(true);
    m_host.RestartIdleTime();
    // The port is open and the worker runs: requests may go out, answers come in.
    m_host.StartRequests();
}

void CServiceSwitch::Disable() {
    m_host.Trace(u"disable dorvane");
    m_host.StopRequests();  // no poll, hotkey or acknowledgement from here on
    m_host.ClosePort();
    m_host.StopPipeline();
    m_host.ReleaseModifierKeys();  // the worker has ended: nobody else touches the modifiers
    SetActivityFlags(false);
    m_host.StopTick();
}

void CServiceSwitch::TurnOff(OffReason reason) {
    switch (reason) {
        case OffReason::kIdle:
        case OffReason::kPortLost:
            if (!IsEnabled()) {
                return;  // the user turned it off meanwhile: it stays off
            }
            Switch(false);
            if (reason == OffReason::kPortLost && m_host.ReconnectsAfterLoss()) {
                StartWaiting();
            }
            m_host.ShowState();
            return;
        case OffReason::kInstaller:
            m_host.Trace(u"quit requested");
            [[fallthrough]];
        case OffReason::kQuit:
            StopWaiting();
            Switch(false);
            return;
    }
}

void CServiceSwitch::OnDeviceNotice(DeviceNotice notice, const std::u16string& portName) {
    // A port arrived (a USB adapter plugged in) or devices changed: the port waited for may be
    // back.
    if (notice == DeviceNotice::kPortArrived || notice == DeviceNotice::kDevicesChanged) {
        TryPort();
    }
    // Some drivers keep answering the status query after a surprise removal, or never end the
    // reader's pending wait: the system's removal notice is taken as the loss too.
    if (!IsEnabled() || (notice != DeviceNotice::kPortRemoved && notice != DeviceNotice::kDevicesChanged)) {
        return;
    }
    const bool responds = notice == DeviceNotice::kDevicesChanged ? m_host.PortResponds() : true;
    if (NoticeMeansPortLost(notice, portName, m_host.ConfiguredPort(), responds)) {
        m_host.Trace(u"com-port removed");
        TurnOff(OffReason::kPortLost);
    }
}

void CServiceSwitch::OnResume() {
    // A port whose device did not survive the sleep no longer answers: as if it was pulled out.
    if (IsEnabled() && !m_host.PortResponds()) {
        m_host.Trace(u"com-port lost at resume");
        TurnOff(OffReason::kPortLost);
    }
}

void CServiceSwitch::StartWaiting() {
    m_strPort = m_host.ConfiguredPort();
    if (!m_bWaiting) {
        m_bWaiting = true;
        m_host.StartTries();
    }
    m_host.Trace(u"waiting for " + m_strPort);
}

void CServiceSwitch::TryPort() {
    if (!m_bWaiting) {
        return;
    }
    if (m_bTryRunning) {
        m_bTryAgain = true;  // the answer may be for a port no longer waited for
        return;
    }
    m_strPort = m_host.ConfiguredPort();
    m_bTryRunning = true;
    m_host.StartPortTry(m_strPort);
}

void CServiceSwitch::OnPortTried(const std::u16string& name, bool opens) {
    m_bTryRunning = false;
    const bool again = std::exchange(m_bTryAgain, false);
    if (!m_bWaiting) {
        return;
    }
    if (!opens || m_host.OurWindowOpen() || name != m_host.ConfiguredPort()) {
        if (again) {
            TryPort();
        }
        return;
    }
    m_bWaiting = false;
    m_host.StopTries();
    m_host.Trace(u"port " + m_strPort + u" is back");
    Switch(true);
    m_host.ShowState();
}

void CServiceSwitch::StopWaiting() {
    if (!m_bWaiting) {
        return;
    }
    m_bWaiting = false;
    m_host.StopTries();
    m_host.Trace(u"waiting for " + m_strPort + u" ended");
}

void CServiceSwitch::OnSettingsChanged() {
    if (!m_bWaiting) {
        return;
    }
    if (m_host.ConfiguredPort() != m_strPort) {
        StartWaiting();
    }
    TryPort();
}

}  // namespace dorvane
