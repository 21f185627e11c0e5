// The program's one settings store and the Win32 back ends it runs on.
#pragma once

#include "settings/core/appprofile.h"
#include "settings/core/registry.h"

namespace dorvane {

// The registry below HKEY_CURRENT_USER, every key opened with KEY_READ | KEY_WRITE.
class CWin32Registry : public IRegistry {
public:
    RegKey OpenSoftwareKey() override;
    RegKey CreateKey(RegKey parent, std::u16string_view name) override;
    void CloseKey(RegKey key) override;
    bool QueryValue(RegKey key, std::u16string_view name, size_t maxBytes, RegValue& out) override;
    bool SetValue(RegKey key, std::u16string_view name, RegType type, const uint8_t* data,
                  size_t size) override;
    bool DeleteValue(RegKey key, std::u16string_view name) override;
    bool DeleteKey(RegKey parent, std::u16string_view name) override;
};

// WritePrivateProfileStringW and GetPrivateProfileStringW.
class CWin32PrivateProfile : public IPrivateProfile {
public:
    bool WriteString(const char16_t* section, const char16_t* entry, const char16_t* value,
                     const char16_t* fileName) override;
    std::optional<std::u16string> GetString(const char16_t* section, const char16_t* entry,
                                            const char16_t* fileName) override;
    std::vector<std::pair<std::u16string, std::u16string>> GetSection(const char16_t* section,
                                                                      const char16_t* fileName) override;
};

// Starts an INI file as UTF-16 (its mark alone) unless it already holds something: the system
// then keeps it in UTF-16, where a file it creates itself would be in the ANSI code page.
bool CreateUtf16IniFile(const wchar_t* path);

}  // namespace dorvane

// Settings under HKEY_CURRENT_USER\software\Velmora\DORVANE, or in Dorvane.ini beside the
// program (ChooseSettingsStore). Built during static initialisation, before any start-up code
// runs.
extern dorvane::CAppProfile theProfile;

namespace dorvane {

// The back ends theProfile runs on, for stores of other files (export and import).
IRegistry& TheRegistry();
IPrivateProfile& ThePrivateProfile();

enum class SettingsStore { kRegistry, kIniFile, kReadOnlyIniFile };
// A file Dorvane.ini in the folder of Dorvane.exe itself (not the working folder) makes this a
// portable copy: every profile's settings go to that file and nothing to the registry.
SettingsStore ChooseSettingsStore();

}  // namespace dorvane
