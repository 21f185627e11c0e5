// What the tray shows of the service: one value for its state, and the tooltip composed from
// it. The window fills the value and renders the text; nothing here touches the shell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "pipeline/core/pipelineports.h"

namespace dorvane {

struct ServiceView {
    bool enabled = false;
    bool record = false;
    std::u16string port;
    uint32_t comReads = 0;
    uint32_t sentKeys = 0;
    uint32_t waiting = 0;  // readings waiting for the chosen program
    std::u16string waitingFor;
    uint32_t dropped = 0;  // readings dropped while they waited
    uint32_t refused = 0;  // readings a check refused since the enable
    std::u16string heldFor;
    bool waitingForCopy = false;
    bool watchingPort = false;  // disabled, waiting for a lost device
    std::u16string watchedPort;
    // While waiting: the device picked for the port is absent, or not told apart from another.
    bool deviceAbsent = false;
    bool deviceAmbiguous = false;
    std::u16string fault;  // a fault present while enabled (CFaultBoard::Tip)
};

// The shell shows at most this many characters of a tooltip (NOTIFYICONDATA's szTip holds 128
// with its terminating null).
// https://learn.microsoft.com/windows/win32/api/shellapi/ns-shellapi-notifyicondataw
inline constexpr size_t kTrayTipChars = 127;

// The picture the state calls for: enabled or disabled; none while readings wait, were dropped
// or wait for another copy, when the tray keeps the picture the readings' handling last showed.
std::optional<TrayPicture> StatePicture(const ServiceView& state);

// profile: the profile this copy runs for; empty for the default settings (no name in front).
std::u16string ComposeTrayTip(const ServiceView& state, const std::u16string& profile);

}  // namespace dorvane
