// The tray icon's tooltip: what state the service is in, and while it runs, what keeps it
// from doing all it should.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dorvane {

struct TrayState {
    std::u16string profile;  // empty: the default settings, no name in front
    bool enabled = false;
    bool record = false;
    std::u16string port;
    uint32_t comReads = 0;
    uint32_t sentKeys = 0;
    uint32_t waiting = 0;  // readings waiting for the chosen program
    std::u16string waitingFor;
    uint32_t dropped = 0;  // readings dropped while they waited
    std::u16string heldFor;
    bool waitingForCopy = false;
    bool watchingPort = false;  // disabled, waiting for a lost device
    std::u16string watchedPort;
    std::u16string fault;  // a fault present while enabled (CFaultBoard::Tip)
};

// The shell shows at most this many characters of a tooltip (NOTIFYICONDATA's szTip holds 128
// with its terminating null).
// https://learn.microsoft.com/windows/win32/api/shellapi/ns-shellapi-notifyicondataw
inline constexpr size_t kTrayTipChars = 127;

std::u16string ComposeTrayTip(const TrayState& state);

}  // namespace dorvane
