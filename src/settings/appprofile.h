// The program's one settings store and the Win32 back ends it runs on.
#pragma once

#include <windows.h>

#include <string_view>

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

// WritePrivateProfileStringW and GetPrivateProfileStringW; the files' lock is the named mutex
// kSettingsFileLockName, one for every settings file of the session.
class CWin32PrivateProfile : public IPrivateProfile {
public:
    bool WriteString(const char16_t* section, const char16_t* entry, const char16_t* value,
                     const char16_t* fileName) override;
    std::optional<std::u16string> GetString(const char16_t* section, const char16_t* entry,
                                            const char16_t* fileName) override;
    bool LockFile(const char16_t* fileName) override;
    void UnlockFile(const char16_t* fileName) override;
    FileBytes ReadBytes(const char16_t* fileName, size_t maxBytes) override;
    FileAccess WriteAccess(const char16_t* fileName) override;
    bool MarkEmptyFileUtf16(const char16_t* fileName) override;

private:
    SRWLOCK m_guard = SRWLOCK_INIT;  // over m_hLock's making
    HANDLE m_hLock = nullptr;        // made at the first LockFile, kept to the end
    bool m_bLockTried = false;
};

// The settings files' lock: copies of every profile and folder of the user's session share it.
inline constexpr wchar_t kSettingsFileLockName[] = L"Local\\Velmora.DORVANE.SettingsFile";
// How long a copy waits for another one's profile call on a settings file.
inline constexpr DWORD kSettingsFileLockWaitMs = 5000;

// Bytes in the ANSI code page as UTF-16.
std::u16string AnsiText(std::string_view bytes);

// Whether two names (full paths) name one file: the same text but for case, or for a file that
// exists the same volume and file index (a short name, a mapped drive or a link to it).
bool IsSameFile(const wchar_t* first, const wchar_t* second);

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

enum class SettingsStore { kRegistry, kIniFile, kReadOnlyIniFile, kRefusedIniFile };
// A file Dorvane.ini in the folder of Dorvane.exe itself (not the working folder) makes this a
// portable copy: every profile's settings go to that file and nothing to the registry. A file
// the profile functions would misread is refused, with a box saying why unless quiet.
SettingsStore ChooseSettingsStore(bool quiet);

}  // namespace dorvane
