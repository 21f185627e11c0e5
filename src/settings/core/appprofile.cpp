#include "settings/core/appprofile.h"

#include <limits>

#include "settings/core/profilecodec.h"

namespace dorvane {

namespace {

constexpr size_t kAnySize = std::numeric_limits<size_t>::max();

// Closes a key when the scope ends, so that no handle outlives the call that opened it.
class ScopedKey {
public:
    ScopedKey(IRegistry& registry, RegKey key) : m_registry(registry), m_key(key) {}
    ~ScopedKey() {
        if (m_key != 0) {
            m_registry.CloseKey(m_key);
        }
    }
    ScopedKey(const ScopedKey&) = delete;
    ScopedKey& operator=(const ScopedKey&) = delete;
    explicit operator bool() const { return m_key != 0; }
    RegKey get() const { return m_key; }

private:
    IRegistry& m_registry;
    RegKey m_key;
};

// The copies' lock on the INI file for the length of one call: a read and the default it
// writes back are one step for the other copies.
class FileLock {
public:
    FileLock(IPrivateProfile& files, const std::u16string& fileName)
        : m_files(files), m_fileName(fileName), m_bHeld(files.LockFile(fileName.c_str())) {}
    ~FileLock() {
        if (m_bHeld) {
            m_files.UnlockFile(m_fileName.c_str());
        }
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    explicit operator bool() const { return m_bHeld; }

private:
    IPrivateProfile& m_files;
    const std::u16string& m_fileName;
    bool m_bHeld;
};

}  // namespace

CAppProfile::CAppProfile(const char16_t* registryKey, const char16_t* profileName, IRegistry& registry,
                         IPrivateProfile& privateProfile)
    : m_registry(registry), m_privateProfile(privateProfile) {
    SetNames(registryKey, profileName);
}

void CAppProfile::SetNames(const char16_t* registryKey, const char16_t* profileName) {
    m_pszRegistryKey = registryKey != nullptr ? std::optional<std::u16string>(registryKey) : std::nullopt;
    m_pszProfileName = profileName != nullptr ? profileName : u"";
}

RegKey CAppProfile::OpenAppKey() {
    if (!UsesRegistry()) {
        return 0;
    }
    ScopedKey software(m_registry, m_registry.OpenSoftwareKey());
    if (!software) {
        return 0;
    }
    ScopedKey company(m_registry, m_registry.CreateKey(software.get(), *m_pszRegistryKey));
    if (!company) {
        return 0;
    }
    return m_registry.CreateKey(company.get(), m_pszProfileName);
}

RegKey CAppProfile::OpenSectionKey(const char16_t* section) {
    if (section == nullptr) {
        return 0;
    }
    ScopedKey app(m_registry, OpenAppKey());
    if (!app) {
        return 0;
    }
    return m_registry.CreateKey(app.get(), section);
}

std::optional<uint32_t> CAppProfile::StoredInt(const char16_t* section, const char16_t* entry, bool& unread) {
    unread = false;
    if (!UsesRegistry() && section != nullptr && entry != nullptr) {
        FileLock lock(m_privateProfile, m_pszProfileName);
        if (!lock) {
            unread = true;
            return std::nullopt;
        }
        if (const auto text = m_privateProfile.GetString(section, entry, m_pszProfileName.c_str())) {
            return IntFromIniText(*text);
        }
        return std::nullopt;
    }
    if (UsesRegistry() && entry != nullptr) {
        ScopedKey key(m_registry, OpenSectionKey(section));
        RegValue value;
        if (key && m_registry.QueryValue(key.get(), entry, sizeof(uint32_t), value)) {
            return IntFromRegistry(value);
        }
    }
    return std::nullopt;
}

uint32_t CAppProfile::GetInt(const char16_t* section, const char16_t* entry, int32_t defaultValue) {
    bool unread = false;
    if (const std::optional<uint32_t> stored = StoredInt(section, entry, unread)) {
        return *stored;
    }
    // Unread: the stored value may be there, so the default is not written over it.
    if (!unread) {
        WriteInt(section, entry, defaultValue);
    }
    return static_cast<uint32_t>(defaultValue);
}

uint32_t CAppProfile::GetIntIfStored(const char16_t* section, const char16_t* entry, int32_t defaultValue) {
    bool unread = false;
    return StoredInt(section, entry, unread).value_or(static_cast<uint32_t>(defaultValue));
}

std::u16string CAppProfile::GetString(const char16_t* section, const char16_t* entry,
                                      const char16_t* defaultValue) {
    if (!UsesRegistry() && section != nullptr && entry != nullptr) {
        FileLock lock(m_privateProfile, m_pszProfileName);
        if (!lock) {
            return defaultValue != nullptr ? defaultValue : u"";
        }
        if (auto text = m_privateProfile.GetString(section, entry, m_pszProfileName.c_str())) {
            return std::move(*text);
        }
        if (defaultValue == nullptr) {
            return {};
        }
        WriteString(section, entry, defaultValue);
        return defaultValue;
    }
    if (UsesRegistry() && entry != nullptr) {
        ScopedKey key(m_registry, OpenSectionKey(section));
        RegValue value;
        if (key && m_registry.QueryValue(key.get(), entry, kAnySize, value)) {
            if (auto stored = StringFromRegistry(value)) {
                return std::move(*stored);
            }
        }
    }
    if (defaultValue == nullptr) {
        return {};
    }
    WriteString(section, entry, defaultValue);
    return defaultValue;
}

bool CAppProfile::GetBinary(const char16_t* section, const char16_t* entry, std::vector<uint8_t>& data) {
    data.clear();
    if (section == nullptr || entry == nullptr) {
        return false;
    }
    if (!UsesRegistry()) {
        return DecodeIniBinary(GetString(section, entry, nullptr), data);
    }
    ScopedKey key(m_registry, OpenSectionKey(section));
    RegValue value;
    if (!key || !m_registry.QueryValue(key.get(), entry, kAnySize, value) || !IsBinaryRegistryValue(value)) {
        return false;
    }
    data = std::move(value.bytes);
    return true;
}

bool CAppProfile::WriteInt(const char16_t* section, const char16_t* entry, int32_t value) {
    if (section == nullptr || entry == nullptr) {
        return false;
    }
    if (!UsesRegistry()) {
        FileLock lock(m_privateProfile, m_pszProfileName);
        return lock && !m_bReadOnly &&
               m_privateProfile.WriteString(section, entry, IniIntText(value).c_str(),
                                            m_pszProfileName.c_str());
    }
    ScopedKey key(m_registry, OpenSectionKey(section));
    const uint32_t bits = static_cast<uint32_t>(value);
    const uint8_t bytes[4] = {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
                              static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
    return key && m_registry.SetValue(key.get(), entry, RegType::Dword, bytes, sizeof(bytes));
}

bool CAppProfile::WriteString(const char16_t* section, const char16_t* entry, const char16_t* value) {
    if (section == nullptr) {
        return false;
    }
    if (!UsesRegistry()) {
        FileLock lock(m_privateProfile, m_pszProfileName);
        if (!lock || m_bReadOnly) {
            return false;
        }
        if (value == nullptr) {
            return m_privateProfile.WriteString(section, entry, nullptr, m_pszProfileName.c_str());
        }
        const std::optional<std::u16string> text = IniStringText(value);
        return text && m_privateProfile.WriteString(section, entry, text->c_str(), m_pszProfileName.c_str());
    }
    if (entry == nullptr) {
        ScopedKey app(m_registry, OpenAppKey());
        return app && m_registry.DeleteKey(app.get(), section);
    }
    ScopedKey key(m_registry, OpenSectionKey(section));
    if (!key) {
        return false;
    }
    if (value == nullptr) {
        return m_registry.DeleteValue(key.get(), entry);
    }
    // The text with its terminating zero, as little-endian UTF-16.
    std::vector<uint8_t> bytes;
    for (const char16_t* unit = value;; ++unit) {
        bytes.push_back(static_cast<uint8_t>(*unit));
        bytes.push_back(static_cast<uint8_t>(*unit >> 8));
        if (*unit == u'\0') {
            break;
        }
    }
    return m_registry.SetValue(key.get(), entry, RegType::String, bytes.data(), bytes.size());
}

bool CAppProfile::WriteBinary(const char16_t* section, const char16_t* entry, const uint8_t* data,
                              size_t count) {
    if (section == nullptr || entry == nullptr || (data == nullptr && count != 0)) {
        return false;
    }
    if (!UsesRegistry()) {
        FileLock lock(m_privateProfile, m_pszProfileName);
        return lock && !m_bReadOnly &&
               m_privateProfile.WriteString(section, entry, IniBinaryText(data, count).c_str(),
                                            m_pszProfileName.c_str());
    }
    ScopedKey key(m_registry, OpenSectionKey(section));
    return key && m_registry.SetValue(key.get(), entry, RegType::Binary, data, count);
}

}  // namespace dorvane
