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

// A file's bytes, read whole.
struct FileBytes {
    enum class Status { kRead, kUnreadable, kTooLarge, kBusy };
    Status status = Status::kUnreadable;
    std::string bytes;
};

// Whether a file can be written: kBusy when another program has it open (a sharing violation),
// which says nothing about whether it could be written a moment later.
enum class FileAccess { kWritable, kReadOnly, kBusy };

// The system's private-profile (INI file) calls. Write: a null entry deletes the section, a null
// value deletes the entry. Read: the entry's text as the system gives it back (blanks around
// it and one pair of quotes enclosing it dropped), none when the file has no such entry.
// The system reads a file without the UTF-16 mark in the ANSI code page, and writes a file in
// UTF-16 only when it starts with that mark. Each write rewrites the whole file.
// Around them, what the file itself needs: the lock the copies share, its bytes, its access.
class IPrivateProfile {
public:
    virtual ~IPrivateProfile() = default;
    // The lock the copies of Dorvane hold around every call on a settings file, so that none
    // reads a file another is rewriting; one lock may serve every file. Taken again by the
    // thread that holds it, released as often as taken. False when it could not be had within
    // a few seconds (then it is not held).
    virtual bool LockFile(const char16_t* fileName) = 0;
    virtual void UnlockFile(const char16_t* fileName) = 0;
    // The file whole, unless it is larger than maxBytes (then not read at all).
    virtual FileBytes ReadBytes(const char16_t* fileName, size_t maxBytes) = 0;
    virtual FileAccess WriteAccess(const char16_t* fileName) = 0;
    // Gives an empty file the UTF-16 mark, so that the system writes it in UTF-16; a file that
    // holds something is left as it is.
    virtual bool MarkEmptyFileUtf16(const char16_t* fileName) = 0;
    virtual bool WriteString(const char16_t* section, const char16_t* entry, const char16_t* value,
                             const char16_t* fileName) = 0;
    virtual std::optional<std::u16string> GetString(const char16_t* section, const char16_t* entry,
                                                    const char16_t* fileName) = 0;
};

}  // namespace dorvane
