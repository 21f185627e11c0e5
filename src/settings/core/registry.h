// The registry operations the profile store needs, as an interface: the Win32 adapter makes
// the real calls under HKEY_CURRENT_USER, the tests use an in-memory tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dorvane {

// Numbering of the registry's own value types.
enum class RegType : uint32_t {
    None = 0,
    String = 1,
    ExpandString = 2,
    Binary = 3,
    Dword = 4,
    MultiString = 7
};

struct RegValue {
    RegType type = RegType::None;
    std::vector<uint8_t> bytes;
};

// An open key; 0 is "no key".
using RegKey = uintptr_t;

class IRegistry {
public:
    virtual ~IRegistry() = default;
    // HKEY_CURRENT_USER\software, opened (never created) for reading and writing.
    virtual RegKey OpenSoftwareKey() = 0;
    // Opens the subkey, creating it (non-volatile, default security) when missing.
    virtual RegKey CreateKey(RegKey parent, std::u16string_view name) = 0;
    virtual void CloseKey(RegKey key) = 0;
    // Reads a value's type and bytes. Fails when the value is missing or holds more than
    // maxBytes bytes.
    virtual bool QueryValue(RegKey key, std::u16string_view name, size_t maxBytes, RegValue& out) = 0;
    virtual bool SetValue(RegKey key, std::u16string_view name, RegType type, const uint8_t* data,
                          size_t size) = 0;
    virtual bool DeleteValue(RegKey key, std::u16string_view name) = 0;
    // Deletes a subkey that has no subkeys of its own.
    virtual bool DeleteKey(RegKey parent, std::u16string_view name) = 0;
};

// The system's private-profile (INI file) calls. Write: a null entry deletes the section, a null
// value deletes the entry. Read: the entry's text as the system gives it back (blanks around
// it and one pair of quotes enclosing it dropped), none when the file has no such entry.
class IPrivateProfile {
public:
    virtual ~IPrivateProfile() = default;
    virtual bool WriteString(const char16_t* section, const char16_t* entry, const char16_t* value,
                             const char16_t* fileName) = 0;
    virtual std::optional<std::u16string> GetString(const char16_t* section, const char16_t* entry,
                                                    const char16_t* fileName) = 0;
    // Every entry of a section, in file order, as the system gives them back.
    virtual std::vector<std::pair<std::u16string, std::u16string>> GetSection(const char16_t* section,
                                                                              const char16_t* fileName) = 0;
};

}  // namespace dorvane
