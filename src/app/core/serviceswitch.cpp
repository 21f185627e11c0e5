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

PortChoice CServiceSwitch::ChooseNow() {
    const std::u16string device = m_host.ConfiguredDevice();
    if (device.empty()) {
        return {PortChoice::Outcome::kByName, m_host.ConfiguredPort()};  // no device walk at all
    }
    return ChoosePort(m_host.ConfiguredPort(), device, m_host.PortsInTree());
}

PortChoice::Outcome CServiceSwitch::FollowDevice() {
    const std::u16string stored = m_host.ConfiguredPort();
    const PortChoice choice = ChooseNow();
    switch (choice.outcome) {
        case PortChoice::Outcome::kByName:
        case PortChoice::Outcome::kSame:
            return PortChoice::Outcome::kByName;
        case PortChoice::Outcome::kMoved:
            m_host.StorePortMove(stored, choice.port);
            m_host.Trace(u"device moved from " + stored + u" to " + choice.port);
            m_host.ShowNotice(u"The scanner moved from " + stored + u" to " + choice.port,
                              u"Dorvane opens " + choice.port + u" now, with the line settings of " + stored + u".");
            return PortChoice::Outcome::kByName;
        case PortChoice::Outcome::kAbsent:
            m_host.Trace(u"device of " + stored + u" absent: not opened");
            break;
        case PortChoice::Outcome::kAmbiguous:
            m_host.Trace(u"device of " + stored + u" not told apart from another: not opened");
            break;
    }
    return choice.outcome;
}

void CServiceSwitch::Enable() {
    m_host.Trace(u"enable dorvane");
    if (const PortChoice::Outcome missing = FollowDevice(); missing != PortChoice::Outcome::kByName) {
        // The device the user picked is not here (or not told apart): its port name is never
        // opened for it. It is waited for like a lost one; the tooltip says why.
        if (m_host.ReconnectsAfterLoss()) {
            StartWaiting();
            m_missing = missing;
            m_host.ShowState();
        } else {
            m_host.ShowError(u"Enable comm service failed!\t");
        }
        return;
    }
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
    const PortChoice choice = ChooseNow();
    const PortChoice::Outcome missing =
        choice.outcome == PortChoice::Outcome::kAbsent || choice.outcome == PortChoice::Outcome::kAmbiguous
            ? choice.outcome
            : PortChoice::Outcome::kByName;
    if (std::exchange(m_missing, missing) != missing) {
        m_host.ShowState();
    }
    if (missing != PortChoice::Outcome::kByName) {
        return;  // nothing to try until the device is here (its arrival tries at once)
    }
    m_bTryRunning = true;
    m_host.StartPortTry(choice.port);
}

void CServiceSwitch::OnPortTried(const std::u16string& name, bool opens) {
    m_bTryRunning = false;
    const bool again = std::exchange(m_bTryAgain, false);
    if (!m_bWaiting) {
        return;
    }
    const PortChoice choice = opens ? ChooseNow() : PortChoice{};
    const bool stillTheOne = choice.outcome != PortChoice::Outcome::kAbsent &&
                             choice.outcome != PortChoice::Outcome::kAmbiguous && choice.port == name;
    if (!opens || m_host.OurWindowOpen() || !stillTheOne) {
        if (again) {
            TryPort();
        }
        return;
    }
    m_bWaiting = false;
    m_missing = PortChoice::Outcome::kByName;
    m_host.StopTries();
    m_host.Trace(u"port " + name + u" is back");
    Switch(true);
    m_host.ShowState();
}

void CServiceSwitch::StopWaiting() {
    if (!m_bWaiting) {
        return;
    }
    m_bWaiting = false;
    m_missing = PortChoice::Outcome::kByName;
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
