// What Dorvane sends to the device: the request (DEVICE_COMMAND) and the acknowledgement after
// each reading (DEVICE_ACK), written as text with escapes, and the hotkey that sends the request.
// Nothing is ever written to the port while both texts are empty.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

// The longest request or acknowledgement, in bytes once decoded.
inline constexpr size_t kMaxDeviceCommandBytes = 256;
// DEVICE_POLL_MS's range when it is not 0.
inline constexpr uint32_t kMinPollMs = 100;
inline constexpr uint32_t kMaxPollMs = 3600000;

// Text to the bytes the port sends, in the code page received bytes are read in.
using EncodeText = std::function<std::vector<uint8_t>(std::u16string_view text)>;

// "P\r\n" and the like: escapes \r \n \t \xHH \\ , the rest encoded. On a value that cannot
// work, the error text for the user (naming `setting`, ending in "!").
std::optional<std::u16string> DecodeDeviceText(std::u16string_view text, const char16_t* setting,
                                              const EncodeText& encode, std::vector<uint8_t>& bytes);

// DEVICE_POLL_MS: 0 (off) or 100 to 3 600 000.
std::optional<std::u16string> CheckPollPeriod(uint32_t ms);

// A hotkey as RegisterHotKey takes it: MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4, MOD_WIN 8.
struct Hotkey {
    uint32_t modifiers = 0;
    uint8_t vk = 0;
    bool operator==(const Hotkey&) const = default;
};

// "CTRL+SHIFT+W", "F9", "SHIFT+F12": modifiers CTRL ALT SHIFT WIN, then one key (a letter, a
// digit, F1..F24). A letter or digit needs Ctrl, Alt or Win: alone or with Shift it would take
// a key the user types; F12 alone is the debugger's; CTRL+ALT with a letter or digit is AltGr
// on many keyboards; CTRL+C, V, X, Z, A and ALT+F4 are every program's. Empty text: no hotkey.
std::optional<std::u16string> ParseHotkey(std::u16string_view text, Hotkey& hotkey);

}  // namespace dorvane
