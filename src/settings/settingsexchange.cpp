#include "settings/settingsexchange.h"

#include <windows.h>

#include "core/widestr.h"
#include "diag/misc.h"
#include "serial/serialport.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"
#include "settings/core/settingsfile.h"

using namespace dorvane;

namespace {

std::wstring FullPath(const std::u16string& file) {
    const std::wstring name = ToWide(file);
    const DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return name;
    }
    std::wstring path(size, L'\0');
    const DWORD length = GetFullPathNameW(name.c_str(), size, path.data(), nullptr);
    path.resize(length < size ? length : 0);
    return path.empty() ? name : path;
}

int Outcome(bool ok, const std::wstring& text, bool quiet) {
    if (!quiet) {
        MsgBox(text.c_str(), (ok ? MB_ICONINFORMATION : MB_ICONERROR) | MB_OK, 0);
    }
    return ok ? 0 : 1;
}

}  // namespace

int ExportSettingsTo(const std::u16string& file, bool quiet) {
    const std::wstring path = FullPath(file);
    // A new file each time, started as UTF-16 so that every character survives.
    DeleteFileW(path.c_str());
    if (!CreateUtf16IniFile(path.c_str())) {
        return Outcome(false, L"Export settings failed!\t\n" + path + L" cannot be written.", quiet);
    }
    const std::u16string name(AsUtf16View(path));
    CAppProfile target(nullptr, name.c_str(), TheRegistry(), ThePrivateProfile());
    target.SetSettingsSection(theProfile.SettingsSection());
    if (!ExportSettings(theProfile, target)) {
        return Outcome(false, L"Export settings failed!\t\n" + path + L" cannot be written.", quiet);
    }
    return Outcome(true, L"The settings are exported to\n" + path, quiet);
}

int ImportSettingsFrom(const std::u16string& file, bool quiet) {
    const std::wstring path = FullPath(file);
    const std::u16string name(AsUtf16View(path));
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return Outcome(false, L"Import settings failed!\t\n" + path + L" cannot be read.", quiet);
    }
    // The file's section for this profile; a file exported from the default settings serves
    // any profile.
    SettingEntries entries = ThePrivateProfile().GetSection(SettingsSectionOf(theProfile), name.c_str());
    if (entries.empty()) {
        entries = ThePrivateProfile().GetSection(kSettingsSection, name.c_str());
    }
    if (entries.empty()) {
        return Outcome(false, L"Import settings failed!\t\n" + path + L" holds no settings.", quiet);
    }
    // Every value is checked before the first is written: a refused file changes nothing.
    if (const std::optional<std::u16string> refusal = CheckImport(entries, AnsiBytesOf)) {
        return Outcome(false, L"Import settings refused!\t\n" + ToWide(*refusal), quiet);
    }
    if (!ImportSettings(entries, theProfile)) {
        return Outcome(false, L"Import settings failed!\t\nThe settings could not be stored.", quiet);
    }
    return Outcome(true, L"The settings are imported from\n" + path, quiet);
}
