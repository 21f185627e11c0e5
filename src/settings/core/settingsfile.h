// Settings to roll out: every setting of a store's section copied to an INI file in the
// portable format (integers as text, line settings as letter pairs), and such a file checked
// and copied into a store.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/core/appprofile.h"
#include "settings/core/settingchecks.h"
#include "settings/core/settingkeys.h"
#include "settings/core/settingstext.h"

namespace dorvane {

// Copies every setting of `from`'s settings section (each with its default where it is
// missing) and the line settings of every port COM1..COM255 it holds into `to`'s section.
// False when a write failed.
bool ExportSettings(CAppProfile& from, CAppProfile& to);

// Whether every entry can be stored as the settings sheet would store it: a known name, a
// whole number where one belongs, no text longer than the sheet's field for it, reading rules
// and device texts that work, a port name and line settings Windows takes (`checks` judges
// what the store cannot). The first fault, naming the entry, ends in "!".
std::optional<std::u16string> CheckImport(const SettingEntries& entries, const ISettingChecks& checks);

// Stores checked entries in `to`'s settings section; false when a write failed.
bool ImportSettings(const SettingEntries& entries, CAppProfile& to);

// A text longer than the setting's field takes: "NAME is longer than N characters!".
std::optional<std::u16string> CheckLength(const StringSetting& setting, std::u16string_view text);

struct ImportOutcome {
    bool imported = false;
    std::u16string text;  // for the box: what was done or why not
};

// Dorvane.exe /import FILE (`path` in full): the file read whole by the program itself in
// whatever encoding it was saved (the profile functions would read UTF-8 as ANSI), its section
// for `to`'s settings or else the default's, checked, then stored. A file over
// kMaxSettingsFileBytes is refused unread; a file with one fault changes nothing.
ImportOutcome ImportSettingsFile(IPrivateProfile& files, std::u16string_view path, CAppProfile& to,
                                 const ISettingChecks& checks, const DecodeAnsi& ansi);

}  // namespace dorvane
