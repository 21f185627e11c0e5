// Settings to roll out: every setting of a store's section copied to an INI file in the
// portable format (integers as text, line settings as letter pairs), and such a file checked
// and copied into a store.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serial/core/devicecommand.h"
#include "settings/core/appprofile.h"

namespace dorvane {

// An INI section's entries as the file holds them: name and text.
using SettingEntries = std::vector<std::pair<std::u16string, std::u16string>>;

// Copies every setting of `from`'s settings section (each with its default where it is
// missing) and the line settings of every port COM1..COM255 it holds into `to`'s section.
// False when a write failed.
bool ExportSettings(CAppProfile& from, CAppProfile& to);

// Whether every entry can be stored as the settings sheet would store it: a known name, a
// whole number where one belongs, reading rules and device texts that work, a port name and
// line settings Windows takes. The first fault, naming the entry, ends in "!".
std::optional<std::u16string> CheckImport(const SettingEntries& entries, const EncodeText& encode);

// Stores checked entries in `to`'s settings section; false when a write failed.
bool ImportSettings(const SettingEntries& entries, CAppProfile& to);

}  // namespace dorvane
