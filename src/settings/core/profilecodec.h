// How the profile store turns stored bytes and texts into settings and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/core/registry.h"

namespace dorvane {

// An integer setting: a REG_DWORD of exactly 4 bytes. Any other type or size counts as
// missing, so the reader's default replaces it; taking the raw bytes of a REG_SZ "5" would
// give 53, a value nobody stored.
std::optional<uint32_t> IntFromRegistry(const RegValue& value);

// A string setting: REG_SZ, or REG_EXPAND_SZ taken as it is (a path a user typed with
// %VARIABLES% should not be overwritten by the default). The text ends at its first zero
// or at the end of the stored bytes, whichever comes first; an odd last byte is dropped.
std::optional<std::u16string> StringFromRegistry(const RegValue& value);

// A binary setting: REG_BINARY only.
bool IsBinaryRegistryValue(const RegValue& value);

// INI integer text: signed decimal, as "%d" formats it.
std::u16string IniIntText(int32_t value);

// Reads IniIntText back: signed decimal within int32, or unsigned up to 4294967295 (a DWORD
// written by other means). Anything else counts as missing.
std::optional<uint32_t> IntFromIniText(std::u16string_view text);

// A string as the INI file must hold it to be read back unchanged: the system drops blanks
// around a value and one pair of quotes enclosing it, so such a value is written in quotes.
// None for a value with a line break, which a line-based file cannot hold.
std::optional<std::u16string> IniStringText(std::u16string_view value);

// INI binary text: per byte 'A' + low four bits, then 'A' + high four bits.
std::u16string IniBinaryText(const uint8_t* data, size_t count);

// Decodes IniBinaryText. An empty text, an odd length or a letter outside A..P gives false
// and no bytes: a half-decoded line-settings record must never reach a port.
bool DecodeIniBinary(std::u16string_view text, std::vector<uint8_t>& out);

}  // namespace dorvane
