// The settings store: integer, string and binary values in sections, kept under
// HKEY_CURRENT_USER\software\<company>\<application>\<section>, or in a private profile (INI)
// file when built without a company key (a portable copy): a value written there is read back. It holds no
// open handle and no cache: every call opens what it needs and closes it before returning. On an INI file
// every call is made holding the copies' lock on it (IPrivateProfile::LockFile): a read and the default it
// writes back are one step, and without the lock a read gives the default without writing it and a write
// fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/core/registry.h"

namespace dorvane {

class CAppProfile {
public:
    // registryKey null selects the INI back end, with profileName as the file name.
    CAppProfile(const char16_t* registryKey, const char16_t* profileName, IRegistry& registry,
                IPrivateProfile& privateProfile);
    CAppProfile(const CAppProfile&) = delete;
    CAppProfile& operator=(const CAppProfile&) = delete;

    void SetNames(const char16_t* registryKey, const char16_t* profileName);
    // The INI back end on a file that cannot be written: values are read, nothing is written
    // (every write reports failure), and a missing value reads as its default.
    void SetReadOnly(bool readOnly) { m_bReadOnly = readOnly; }
    bool UsesIniFile() const { return !UsesRegistry(); }
    // The section the program's settings are in (empty: the default one); a profile's own.
    void SetSettingsSection(std::u16string section) { m_settingsSection = std::move(section); }
    const std::u16string& SettingsSection() const { return m_settingsSection; }
    const std::u16string& IniFileName() const { return m_pszProfileName; }

    // The application or section key, opened or created; the caller closes it. 0 on failure.
    RegKey OpenAppKey();
    RegKey OpenSectionKey(const char16_t* section);

    // A missing (or unreadable) value is written with the default, which is returned.
    uint32_t GetInt(const char16_t* section, const char16_t* entry, int32_t defaultValue);
    // As GetInt, but a missing value is not written: for settings added after stores were made,
    // whose absence must leave a store as it was.
    uint32_t GetIntIfStored(const char16_t* section, const char16_t* entry, int32_t defaultValue);
    // As GetInt; a null default writes nothing and returns the empty string.
    std::u16string GetString(const char16_t* section, const char16_t* entry, const char16_t* defaultValue);
    // Never writes. False, with no data, when the value is missing or not binary.
    bool GetBinary(const char16_t* section, const char16_t* entry, std::vector<uint8_t>& data);

    bool WriteInt(const char16_t* section, const char16_t* entry, int32_t value);
    // entry null deletes the section (if it has no subkeys); value null deletes the entry.
    bool WriteString(const char16_t* section, const char16_t* entry, const char16_t* value);
    bool WriteBinary(const char16_t* section, const char16_t* entry, const uint8_t* data, size_t count);

private:
    // The stored value, if there is one that reads as a number; `unread` when the settings file
    // could not be locked for the read.
    std::optional<uint32_t> StoredInt(const char16_t* section, const char16_t* entry, bool& unread);
    bool UsesRegistry() const { return m_pszRegistryKey.has_value(); }

    std::optional<std::u16string> m_pszRegistryKey;  // none: INI back end
    std::u16string m_pszProfileName;
    bool m_bReadOnly = false;
    std::u16string m_settingsSection;
    IRegistry& m_registry;
    IPrivateProfile& m_privateProfile;
};

}  // namespace dorvane
