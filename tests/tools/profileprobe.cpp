// Runs the program's settings store (theProfile) through the reads and writes a fresh
// installation sees, for the end-to-end tests that look at the registry from outside.
// Writes one "name value" line per step to OUT_FILE, and "done" last.
//   profileprobe.exe OUT_FILE
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/widestr.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"
#include "toolio.h"

using namespace dorvane;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc < 2) {
        return 2;
    }
    toolio::LineFile out(__wargv[1]);
    auto write = [&](const char* name, const std::string& value) {
        std::string line = name;
        line.append(" ").append(value);
        out.Write(line);
    };
    // Bracketed, so that an empty text is visible.
    auto text = [](const std::u16string& s) {
        std::string bracketed = "[";
        bracketed.append(toolio::Escape(AsWide(s.c_str()))).append("]");
        return bracketed;
    };

    write("crlf", std::to_string(ReadSetting(theProfile, SENDKB_CRLF)));
    write("filename", text(ReadSetting(theProfile, RECORDDATA_FILENAME)));
    write("nulldefault", text(theProfile.GetString(kSettingsSection, u"NULL_DEFAULT", nullptr)));
    std::vector<uint8_t> data{1};
    const bool found = theProfile.GetBinary(kSettingsSection, DcbEntryName(u"COM1").c_str(), data);
    write("dcb", found ? "TRUE" : "FALSE");
    write("dcbsize", std::to_string(data.size()));
    theProfile.WriteInt(kSettingsSection, u"MINUS_ONE", -1);
    write("minusone", std::to_string(theProfile.GetInt(kSettingsSection, u"MINUS_ONE", 0)));
    theProfile.WriteString(kSettingsSection, u"DELETE_ME", u"x");
    write("deleted", theProfile.WriteString(kSettingsSection, u"DELETE_ME", nullptr) ? "TRUE" : "FALSE");
    out.Write("done");
    return 0;
}
