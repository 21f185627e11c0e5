// Dorvane.exe /export FILE and /import FILE: the running copy's settings (the default's or a
// profile's) to or from an INI file. The outcome is a box (none when quiet) and the exit code,
// 0 on success and 1 on failure, for the scripts that roll settings out.
#pragma once

#include <string>

int ExportSettingsTo(const std::u16string& file, bool quiet);
int ImportSettingsFrom(const std::u16string& file, bool quiet);
