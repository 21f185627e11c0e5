// When Dorvane writes to the device: the request at enable, on the poll timer, on the hotkey
// and from the tray menu, and the acknowledgement after each handled reading. The settings are
// taken at each enable; a stored value that cannot work is traced and shown once, and that
// text is then never sent. With every setting at its default nothing is written.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/faults.h"
#include "serial/core/commport.h"
#include "serial/core/devicecommand.h"
#include "serial/core/seriallink.h"
#include "settings/core/appprofile.h"

namespace dorvane {

struct DeviceRequestSettings {
    std::u16string command;
    bool commandAtEnable = false;
    uint32_t pollMs = 0;
    std::u16string hotkey;
    std::u16string ack;
};

// Reads every key with the table's default (a missing value is written back by the store).
DeviceRequestSettings LoadDeviceRequestSettings(CAppProfile& profile);

// What the requests need of the program: the link's write side, a timer and a hotkey on the
// user-interface thread, the system's text for an error code, traces and faults.
class IDeviceRequestHost {
public:
    virtual ~IDeviceRequestHost() = default;
    virtual SendResult Send(std::vector<uint8_t> bytes, bool skipWhenBusy) = 0;
    virtual std::vector<uint8_t> Encode(std::u16string_view text) = 0;
    virtual bool StartPollTimer(uint32_t ms) = 0;
    virtual void StopPollTimer() = 0;
    virtual bool RegisterHotkey(const Hotkey& hotkey) = 0;
    virtual void UnregisterHotkey() = 0;
    // "error-ID = <code>\n<text>" for a system error code.
    virtual std::u16string ErrorText(uint32_t code) = 0;
    virtual void Trace(const std::u16string& line) = 0;
    // A fault that lasts until ClearFault: the tooltip tells it, its notice is shown once a run.
    virtual void RaiseFault(const FaultReport& report) = 0;
    virtual void ClearFault(Fault fault) = 0;
};

// The system's code for a write that did not end in time (ERROR_TIMEOUT).
inline constexpr uint32_t kWriteTimedOutError = 1460;

class CDeviceRequests {
public:
    explicit CDeviceRequests(IDeviceRequestHost& host) : m_host(host) {}

    // At enable, once the port is open and before readings are handled.
    void Start(const DeviceRequestSettings& settings);
    // At disable, before the port closes; nothing is sent afterwards.
    void Stop();
    // The tray's "Send Command": enabled while this runs with a request set.
    bool CanSendCommand() const;
    // The tray command and the hotkey: the request, queued behind any write under way.
    void SendCommand();
    // The poll timer's tick: skipped while the last request is still being written, and while
    // readings wait to be typed (the device keeps its data meanwhile).
    void OnPollTimer(bool readingsWait = false);
    // From the worker thread: `count` readings were typed, recorded or skipped.
    void OnReadingsHandled(size_t count);
    // From the writer thread: how a write ended.
    void OnWriteEnded(WriteOutcome outcome, uint32_t error);

private:
    // Decodes one stored text; a value that cannot work is reported and gives nothing.
    std::vector<uint8_t> Decode(const std::u16string& text, const char16_t* setting);
    void ReportSetting(const std::u16string& error);

    IDeviceRequestHost& m_host;
    mutable std::mutex m_cs;  // the worker and the writer call in
    bool m_bRunning = false;
    std::vector<uint8_t> m_command;
    std::vector<uint8_t> m_ack;
    bool m_bPolling = false;
    bool m_bHotkey = false;
    bool m_bSkipTraced = false;
    bool m_bWaitSkipTraced = false;  // once per waiting period
    std::atomic<bool> m_bAckDropTraced{false};  // the worker's
    bool m_bSettingShown = false;
};

}  // namespace dorvane
