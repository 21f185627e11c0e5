// The service switch: the one place the service is turned on or off, always in the same order,
// for whatever reason, and what each reason leads to. While a lost device is waited for, the
// port is tried again now and then; as soon as it opens the service is enabled again exactly as
// the menu does. Tries are quiet: one trace line per change of state, never one per try, and no
// box. A device the user picked by its identity is found again under another COM name, and a
// name that now leads to another device is never opened. Every step is a call to the host, so
// the orders and their undo are facts a test records.
#pragma once

#include <string>
#include <vector>

#include "serial/core/portidentity.h"

namespace dorvane {

// What a system device notice says (WM_DEVICECHANGE, decoded by the window).
enum class DeviceNotice { kPortArrived, kPortRemoved, kDevicesChanged, kOther };

// What the notices mean for the port the service has open: the device was removed (a port of
// that name), or devices changed and the port no longer answers. Port names compare without
// regard to case.
bool NoticeMeansPortLost(DeviceNotice notice, const std::u16string& removedPort, const std::u16string& openPort,
                         bool openPortResponds);

// Why the service goes off.
enum class OffReason {
    kIdle,       // auto-disable: no data for the set time
    kPortLost,   // the device is gone: waited for when AUTORECONNECT allows
    kQuit,       // the user's Exit
    kInstaller,  // an installer replacing the program: no question was asked
};

class IServiceSwitchHost {
public:
    virtual ~IServiceSwitchHost() = default;

    // The enable's steps, in this order. A step that fails stops the enable and the steps
    // taken before it are undone.
    virtual bool OpenPort() = 0;
    virtual bool StartPipeline() = 0;  // false: the pipeline has reported why
    virtual bool StartTick() = 0;      // the service timer
    virtual void RestartIdleTime() = 0;
    virtual void StartRequests() = 0;  // polls, hotkey and acknowledgements to the device

    // The disable's steps, in this order.
    virtual void StopRequests() = 0;
    virtual void ClosePort() = 0;
    virtual void StopPipeline() = 0;  // returns once the worker has ended
    virtual void ReleaseModifierKeys() = 0;
    virtual void StopTick() = 0;

    // A box the user answers; a report of the last system error (traced, no box).
    virtual void ShowError(const std::u16string& text) = 0;
    virtual void ReportSystemError(const std::u16string& text) = 0;
    virtual void Trace(const std::u16string& line) = 0;
    // The tray's picture follows the new state (after every switch).
    virtual void ShowStatePicture() = 0;
    // The tray's tooltip, menu and picture follow the new state (after a change the user did not
    // make at the tray: a lost or returned device, auto-disable, new settings while waiting).
    virtual void ShowState() = 0;

    // The configured port and the device picked for it (empty: the name alone), read anew each
    // time (the settings may change while waiting).
    virtual std::u16string ConfiguredPort() = 0;
    virtual std::u16string ConfiguredDevice() = 0;
    // The ports the device tree lists now; asked only when a device is configured.
    virtual std::vector<TreePort> PortsInTree() = 0;
    // The configured device is present under another name: the settings follow it (the port,
    // and its line settings where the new name has none).
    virtual void StorePortMove(const std::u16string& from, const std::u16string& to) = 0;
    // A balloon the user need not answer.
    virtual void ShowNotice(const std::u16string& title, const std::u16string& text) = 0;
    // AUTORECONNECT: a lost device is waited for.
    virtual bool ReconnectsAfterLoss() = 0;
    // The open port still answers the status query.
    virtual bool PortResponds() = 0;
    // Starts finding out whether the port opens and answers now, on a thread of its own
    // (opening a Bluetooth port connects to the device, which takes seconds when it is out of
    // range); the answer comes back on the window thread through OnPortTried.
    virtual void StartPortTry(const std::u16string& name) = 0;
    // The periodic tries: started while waiting, stopped otherwise.
    virtual void StartTries() = 0;
    virtual void StopTries() = 0;
    // A box, dialog or the sheet of ours is open: the port is not taken back under it (the
    // sheet must not share the settings with a running service); the next try after it does.
    virtual bool OurWindowOpen() = 0;
};

class CServiceSwitch {
public:
    explicit CServiceSwitch(IServiceSwitchHost& host) : m_host(host) {}

    bool IsEnabled() const;
    // Enabled, or waiting for its device: the menu offers "Disable Com Port".
    bool IsOnOrWaiting() const { return IsEnabled() || m_bWaiting; }
    bool IsWaitingForPort() const { return m_bWaiting; }
    const std::u16string& WaitedPort() const { return m_strPort; }
    // While waiting: the configured device is absent, or two or more devices could be it
    // (kAbsent, kAmbiguous); otherwise kByName.
    PortChoice::Outcome MissingDevice() const { return m_missing; }

    // The menu's "Enable Com Port" / "Disable Com Port" (also posted at start-up): a toggle. While
    // a lost device is waited for, the user wants it off: the waiting ends.
    void Toggle();
    // Turns the service on (true) or off (false), whatever state it is in.
    void Switch(bool enable);
    // Only ever off: a request that comes after the user turned the service off leaves it off
    // (a toggle would switch it on again).
    void TurnOff(OffReason reason);

    // A device notice, a resume from sleep: the open port's device may be gone, or a port
    // waited for may be back.
    void OnDeviceNotice(DeviceNotice notice, const std::u16string& portName);
    void OnResume();
    // The periodic try while waiting: a try is started unless one runs.
    void TryPort();
    // The answer of a try: if the port waited for opens, the waiting ends and the service is
    // enabled.
    void OnPortTried(const std::u16string& name, bool opens);
    // The settings may name another port now: wait for that one, and try at once.
    void OnSettingsChanged();

private:
    void Enable();
    void Disable();
    void StartWaiting();
    void StopWaiting();
    // Where the configured port and device are now; the tree is asked only for a device.
    PortChoice ChooseNow();
    // Before the port is opened: follows a moved device. kAbsent or kAmbiguous when the device
    // is missing, else kByName.
    PortChoice::Outcome FollowDevice();

    IServiceSwitchHost& m_host;
    bool m_bWaiting = false;
    bool m_bTryRunning = false;
    bool m_bTryAgain = false;  // a try was asked for while one ran
    std::u16string m_strPort;  // the port waited for
    PortChoice::Outcome m_missing = PortChoice::Outcome::kByName;
};

}  // namespace dorvane
