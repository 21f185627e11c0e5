#include "app/settingsexchange.h"

#include <windows.h>

#include "core/widestr.h"
#include "diag/misc.h"
#include "pipeline/core/importchecks.h"
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
    // The export starts the file anew: onto the store it reads from, it would empty that
    // first and write back the defaults.
    if (theProfile.UsesIniFile() && IsSameFile(path.c_str(), AsWide(theProfile.IniFileName().c_str()))) {
        return Outcome(
            false, L"Export settings refused!\t\n" + path + L" is the settings file DORVANE runs on.", quiet);
    }
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
    const std::u16string path(AsUtf16View(FullPath(file)));
    const CImportChecks checks(AnsiBytesOf);
    const ImportOutcome outcome = ImportSettingsFile(ThePrivateProfile(), path, theProfile, checks, AnsiText);
    return Outcome(outcome.imported, ToWide(outcome.text), quiet);
}
