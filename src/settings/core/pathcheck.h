// A file path as a setting holds it (LOG_FILE): checked alike by the settings sheet and by an
// import, before anything tries to open it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/core/settingkeys.h"

namespace dorvane {

// The refusal for the user ("...!", naming the setting) when `path` cannot name a file: a
// control character, one of < > " | ? *, a colon anywhere but after a drive letter, or a
// trailing separator (a folder). Empty is a path: no file. Whether the folder exists is asked
// when the file is written, not here: a share may be away for now.
// https://learn.microsoft.com/windows/win32/fileio/naming-a-file
std::optional<std::u16string> CheckFilePath(const StringSetting& setting, std::u16string_view path);

}  // namespace dorvane
