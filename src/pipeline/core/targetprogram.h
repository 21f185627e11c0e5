// The programs readings may be typed into (setting TARGET_PROGRAM): a list separated by ";" of
// executable names ("EXCEL.EXE") and window titles with "*" wildcards ("*SAP Logon*").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

class CTargetPrograms {
public:
    CTargetPrograms() = default;
    explicit CTargetPrograms(std::u16string_view setting);

    // No entry: readings go to whatever window is in front.
    bool Any() const { return !m_exeNames.empty() || !m_titlePatterns.empty(); }
    // Whether a window of the program `exePath` (a full path or a bare name) with this title
    // is one to type into. Case does not matter in either.
    bool Matches(std::u16string_view exePath, std::u16string_view title) const;
    // The entries for the user, "EXCEL.EXE or *SAP Logon*".
    std::u16string Describe() const;

private:
    std::vector<std::u16string> m_exeNames;
    std::vector<std::u16string> m_titlePatterns;
    std::vector<std::u16string> m_entries;  // as written, in order
};

// The setting with `exeName` added as the last entry, unless it names that program already.
std::u16string WithProgramAdded(std::u16string_view setting, std::u16string_view exeName);

// The executable name at the end of a path ("C:\\Office\\EXCEL.EXE" gives "EXCEL.EXE").
std::u16string_view ExeNameOf(std::u16string_view path);

// `text` matched against `pattern`, where "*" stands for any run of characters; case-blind.
bool WildcardMatch(std::u16string_view pattern, std::u16string_view text);

}  // namespace dorvane
