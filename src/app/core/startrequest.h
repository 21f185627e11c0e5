// What Dorvane.exe is started to do, from its command line: run (for the default settings or a
// profile's), or export or import the settings of one to or from a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

struct StartRequest {
    enum class Action { kRun, kExport, kImport };
    Action action = Action::kRun;
    std::u16string profile;  // empty: the default settings
    std::u16string file;     // with kExport and kImport
    bool quiet = false;      // "/quiet": the outcome only as the exit code (a silent installer)
};

// The words after the program's name: "/profile NAME", "/export FILE", "/import FILE", "/quiet"
// (the switches in any case, "-" for "/"), at most one of export and import. A profile name
// is taken without the blanks at its ends. On a line that cannot
// be followed, the error text for the user (ending in "!").
std::optional<std::u16string> ParseStartRequest(const std::vector<std::u16string>& words, StartRequest& request);

// A profile name: letters, digits, space, "-" and "_", 1 to 32 characters.
std::optional<std::u16string> CheckProfileName(std::u16string_view name);

// The settings section of a profile: "Settings" for the default, "Profiles\NAME" for a profile.
std::u16string SettingsSectionFor(std::u16string_view profile);

// The single-instance claim's name: one running copy per profile (names compared without
// regard to case, as the registry does).
std::u16string InstanceNameFor(std::u16string_view profile);

}  // namespace dorvane
