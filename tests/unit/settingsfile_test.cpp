// Settings files in whatever encoding they were saved: their text as the program decodes it,
// a section read as the profile functions read it, /import of such files, the portable
// Dorvane.ini at start, and copies that share one file.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "doctest/doctest.h"
#include "fakeregistry.h"
#include "pipeline/core/importchecks.h"
#include "settings/core/appprofile.h"
#include "settings/core/pathcheck.h"
#include "settings/core/portablefile.h"
#include "settings/core/settingkeys.h"
#include "settings/core/settingsfile.h"
#include "settings/core/settingstext.h"

using namespace dorvane;
using dorvane::testing::FakePrivateProfile;
using dorvane::testing::FakeRegistry;

namespace {

// "Zählung" as each encoding saves it.
const std::string kUtf8 = "Z\xC3\xA4hlung";
const std::string kLatin1 = "Z\xE4hlung";
const std::u16string kWord = u"Z\u00e4hlung";

std::string Utf16Le(std::u16string_view text) {
    return "\xFF\xFE" + FakePrivateProfile::Utf16Bytes(text);
}
std::string Utf16Be(std::u16string_view text) {
    std::string bytes = "\xFE\xFF";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c >> 8));
        bytes.push_back(static_cast<char>(c & 0xFF));
    }
    return bytes;
}
std::string Narrow(std::u16string_view ascii) {
    return std::string(ascii.begin(), ascii.end());
}

// "[Settings]" and DATA_SUFFIX, then `count` keys more.
std::string ManyKeys(int count) {
    std::string text = "[Settings]\r\nDATA_SUFFIX=x\r\n";
    for (int i = 0; i < count; ++i) {
        text.append("KEY").append(std::to_string(i)).append("=1\r\n");
    }
    return text;
}

std::vector<uint8_t> AsciiBytes(std::u16string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The program's checks, with the device texts sent as ASCII.
const CImportChecks& AsciiChecks() {
    static const CImportChecks checks(AsciiBytes);
    return checks;
}

// A copy's registry store and the disk the files are on.
struct ImportRig {
    FakeRegistry registry;
    FakePrivateProfile disk;
    CAppProfile profile{u"Velmora", u"DORVANE", registry, disk};

    ImportOutcome Import(const std::u16string& file, std::string bytes) {
        disk.Put(file, std::move(bytes));
        return ImportSettingsFile(disk, file, profile, AsciiChecks(), FakePrivateProfile::Latin1);
    }
    std::u16string Stored(const StringSetting& setting) {
        return profile.GetString(SettingsSectionOf(profile), setting.name, nullptr);
    }
};

}  // namespace

TEST_SUITE("settings file text") {
    TEST_CASE("an encoding is told by its mark, else UTF-8 when the bytes are valid UTF-8, else ANSI") {
        struct Case {
            std::string bytes;
            TextEncoding encoding;
            std::u16string text;
        };
        const Case cases[] = {
            {Utf16Le(kWord), TextEncoding::kUtf16Le, kWord},
            {Utf16Be(kWord), TextEncoding::kUtf16Be, kWord},
            {"\xEF\xBB\xBF" + kUtf8, TextEncoding::kUtf8Mark, kWord},
            {kUtf8, TextEncoding::kUtf8, kWord},
            {kLatin1, TextEncoding::kAnsi, kWord},
            {"[Settings]\r\nCOMPORT=COM7", TextEncoding::kAnsi, u"[Settings]\r\nCOMPORT=COM7"},
            {"", TextEncoding::kAnsi, u""},
            {"\xF0\x9F\x98\x80", TextEncoding::kUtf8, u"\U0001F600"},  // four bytes: a surrogate pair
            // Not UTF-8: overlong, a surrogate, beyond U+10FFFF, cut short, a lone continuation.
            {"\xC0\xAF", TextEncoding::kAnsi, u"\u00c0\u00af"},
            {"\xED\xA0\x80", TextEncoding::kAnsi, u"\u00ed\u00a0\u0080"},
            {"\xF4\x90\x80\x80", TextEncoding::kAnsi, u"\u00f4\u0090\u0080\u0080"},
            {"ab\xC3", TextEncoding::kAnsi, u"ab\u00c3"},
            {"\x80z", TextEncoding::kAnsi, u"\u0080z"},
            // With a mark, broken bytes stand out, and an odd last byte of UTF-16 is dropped.
            {"\xEF\xBB\xBF"
             "a\xFF"
             "b",
             TextEncoding::kUtf8Mark, u"a\ufffdb"},
            {Utf16Le(u"ab") + "c", TextEncoding::kUtf16Le, u"ab"},
        };
        for (const Case& c : cases) {
            CAPTURE(c.bytes);
            CHECK(DetectEncoding(c.bytes) == c.encoding);
            CHECK(DecodeText(c.bytes, c.encoding, FakePrivateProfile::Latin1) == c.text);
        }
        CHECK(EncodingName(TextEncoding::kUtf8) == u"UTF-8");
        CHECK(EncodingName(TextEncoding::kUtf8Mark) == u"UTF-8 with BOM");
    }

    TEST_CASE("a section is read as the profile functions read it") {
        struct Case {
            const char16_t* text;
            const char16_t* section;
            std::optional<SettingEntries> entries;
        };
        const Case cases[] = {
            {u"[Settings]\r\nCOMPORT=COM7\r\nDATA_PREFIX= \" >\" \r\n", u"Settings",
             SettingEntries{{u"COMPORT", u"COM7"}, {u"DATA_PREFIX", u" >"}}},
            // Names of sections without regard to case or to blanks at their ends.
            {u"[ profiles\\Scale  ]\nA=1\n[Settings]\nB=2\n", u"Profiles\\Scale ",
             SettingEntries{{u"A", u"1"}}},
            {u"[Settings]\rA=1\rB = two \r", u"SETTINGS", SettingEntries{{u"A", u"1"}, {u"B", u"two"}}},
            // Comments, blank lines, a name without '=', no name, a name given twice (the first
            // counts), quotes only when they enclose the whole value.
            {u"[Settings]\n; note\n\nFLAG\n=orphan\nA=1\na=2\nQ='x'\nR=\"y\nS=\"\n", u"Settings",
             SettingEntries{{u"FLAG", u""}, {u"A", u"1"}, {u"Q", u"x"}, {u"R", u"\"y"}, {u"S", u"\""}}},
            // Entries before any section belong to none; a second section of the name is not read.
            {u"A=0\n[Settings]\nA=1\n[Other]\nB=1\n[settings]\nC=1\n", u"Settings",
             SettingEntries{{u"A", u"1"}}},
            {u"[Settings]\n[Other]\nA=1\n", u"Settings", SettingEntries{}},
            {u"[Other]\nA=1\n", u"Settings", std::nullopt},
            {u"[Other]\n[Settings\nA=1\n[a]b]\nB=1\n", u"a]b", SettingEntries{{u"B", u"1"}}},
            // The UTF-8 mark read as ANSI hides the first section, as on Windows.
            {u"\u00ef\u00bb\u00bf[Settings]\nA=1\n", u"Settings", std::nullopt},
        };
        for (const Case& c : cases) {
            CAPTURE(std::u16string(c.text).size());
            CHECK(IniSection(c.text, c.section) == c.entries);
        }
    }

    TEST_CASE("a file of many keys is read in time proportional to its size") {
        std::u16string text = u"[Settings]\n";
        for (int i = 0; i < 150000; ++i) {
            const std::string digits = std::to_string(i);
            text.append(u"K").append(digits.begin(), digits.end()).append(u"=1\n");
        }
        const auto start = std::chrono::steady_clock::now();
        const auto entries = IniSection(text, u"Settings");
        const auto took = std::chrono::steady_clock::now() - start;
        REQUIRE(entries.has_value());
        CHECK(entries->size() == 150000);
        CHECK(took < std::chrono::seconds(60));  // comparing each name with every other took 12 minutes
    }
}

TEST_SUITE("settings file import") {
    TEST_CASE("a file in any encoding imports with its characters, a profile's own section first") {
        struct Case {
            const char* name;
            std::string bytes;
        };
        const std::string lines = "[Settings]\r\nCOMPORT=com7\r\nDATA_PREFIX=";
        const Case cases[] = {
            {"UTF-8", lines + kUtf8 + "\r\n"},
            {"UTF-8 with BOM", "\xEF\xBB\xBF" + lines + kUtf8 + "\r\n"},
            {"UTF-16 LE", Utf16Le(u"[Settings]\r\nCOMPORT=com7\r\nDATA_PREFIX=" + kWord)},
            {"UTF-16 BE", Utf16Be(u"[Settings]\r\nCOMPORT=com7\r\nDATA_PREFIX=" + kWord)},
            {"ANSI", lines + kLatin1 + "\r\n"},
        };
        for (const Case& c : cases) {
            CAPTURE(c.name);
            ImportRig rig;
            const ImportOutcome outcome = rig.Import(u"C:\\in.ini", c.bytes);
            CHECK(outcome.imported);
            CHECK(outcome.text == u"The settings are imported from\nC:\\in.ini");
            CHECK(rig.Stored(DATA_PREFIX) == kWord);
            CHECK(rig.Stored(COMPORT) == u"COM7");
        }

        ImportRig rig;
        rig.profile.SetSettingsSection(u"Profiles\\Scale");
        REQUIRE(rig.Import(u"C:\\p.ini", "[Settings]\nDATA_PREFIX=a\n[Profiles\\Scale ]\nDATA_PREFIX=b\n")
                    .imported);
        CHECK(rig.Stored(DATA_PREFIX) == u"b");
    }

    TEST_CASE("a file that cannot be imported changes nothing and says why") {
        struct Case {
            std::string bytes;
            const char16_t* text;
        };
        const Case cases[] = {
            // The reported files: a prefix of a million characters, a file of 400 000 keys.
            {"[Settings]\nDATA_PREFIX=" + std::string(1000000, 'x') + "\n",
             u"Import settings refused!\t\nDATA_PREFIX is longer than 256 characters!"},
            {ManyKeys(400000), u"Import settings refused!\t\nC:\\in.ini is larger than 1 MiB."},
            {"[Settings]\nDATA_PREFIX=" + std::string(257, 'x') + "\n",
             u"Import settings refused!\t\nDATA_PREFIX is longer than 256 characters!"},
            {"[Settings]\nDATA_SUFFIX=x\nDATA_CASE=7\n",
             u"Import settings refused!\t\nDATA_CASE must be 0, 1 or 2!"},
            {"[Settings]\nDATA_SUFFIX=x\nLOG_FILE=C:\\logs\\scan?.csv\n",
             u"Import settings refused!\t\nLOG_FILE: \"C:\\logs\\scan?.csv\" is not a file path!"},
            {"[Settings]\nDATA_SUFFIX=x\nSIGNAL_SOUND=3\n", u"Import settings refused!\t\nSIGNAL_SOUND must be 0, 1 or 2!"},
            {"[Settings]\nDATA_SUFFIX=x\nDATA_REPEAT_MS=60001\n",
             u"Import settings refused!\t\nDATA_REPEAT_MS must be 0 to 60000!"},
            {"[Settings]\nDATA_SUFFIX=x\nDATA_REPLACE=\\x1d\n", u"Import settings refused!\t\nDATA_REPLACE: a pair without \"=\"!"},
            {"[Other]\nDATA_SUFFIX=x\n", u"Import settings failed!\t\nC:\\in.ini holds no settings."},
            {"\xEF\xBB\xBF", u"Import settings failed!\t\nC:\\in.ini holds no settings."},
        };
        for (const Case& c : cases) {
            CAPTURE(c.bytes.substr(0, 40));
            ImportRig rig;
            const ImportOutcome outcome = rig.Import(u"C:\\in.ini", c.bytes);
            CHECK_FALSE(outcome.imported);
            CHECK(outcome.text == c.text);
            CHECK(rig.Stored(DATA_SUFFIX).empty());
            CHECK(rig.Stored(DATA_PREFIX).empty());
        }
        ImportRig rig;
        CHECK(
            ImportSettingsFile(rig.disk, u"C:\\none.ini", rig.profile, AsciiChecks(), FakePrivateProfile::Latin1)
                .text == u"Import settings failed!\t\nC:\\none.ini cannot be read.");
    }

    TEST_CASE("a file path setting names a file: no wildcard, pipe, control character, stray colon or folder") {
        struct Case {
            const char16_t* path;
            bool taken;
        };
        const Case cases[] = {
            {u"", true},
            {u"scans.csv", true},
            {u"C:\\Logs\\scans.csv", true},
            {u"\\\\server\\share\\scans.csv", true},
            {u"logs/scans.csv", true},
            {u"C:\\Logs\\scan*.csv", false},
            {u"C:\\Logs\\a|b.csv", false},
            {u"C:\\Logs\\\"scans\".csv", false},
            {u"C:\\Logs\\scans\t.csv", false},
            {u"C:\\Logs\\scans:2.csv", false},
            {u"1:\\scans.csv", false},
            {u"C:\\Logs\\", false},
        };
        for (const Case& c : cases) {
            CAPTURE(&c - cases);
            CHECK(!CheckFilePath(LOG_FILE, c.path).has_value() == c.taken);
        }
    }

    TEST_CASE("no text is longer than the settings sheet's field for it") {
        for (const StringSetting* setting : kStringSettings) {
            CAPTURE(Narrow(setting->name));
            CHECK(setting->maxLength >= std::u16string_view(setting->defaultValue).size());
            CHECK_FALSE(CheckLength(*setting, std::u16string(setting->maxLength, u'x')));
            const auto refusal = CheckLength(*setting, std::u16string(setting->maxLength + 1, u'x'));
            REQUIRE(refusal);
            CHECK(refusal->find(setting->name) == 0);
            CHECK(refusal->back() == u'!');
        }
        CHECK(CheckImport({{u"TARGET_PROGRAM", std::u16string(1025, u'a')}}, AsciiChecks()) ==
              std::optional<std::u16string>(u"TARGET_PROGRAM is longer than 1024 characters!"));
        CHECK(CheckImport({{u"DATA_SUFFIX", std::u16string(256, u'a')}}, AsciiChecks()) == std::nullopt);
    }
}

TEST_SUITE("portable settings file") {
    struct PortableRig {
        FakeRegistry registry;
        FakePrivateProfile disk;
        CAppProfile profile{nullptr, u"E:\\Dorvane.ini", registry, disk};
        std::vector<uint32_t> pauses;

        PortableFileUse Open(std::string bytes) {
            disk.Put(u"E:\\Dorvane.ini", std::move(bytes));
            return OpenPortableFile(disk, u"E:\\Dorvane.ini", [this](uint32_t ms) { pauses.push_back(ms); });
        }
    };

    TEST_CASE("what the start reads from Dorvane.ini is what the file holds, or the file is refused") {
        struct Case {
            const char* name;
            std::string bytes;
            PortableFileUse::Use use;
            const char16_t* refusal;  // how the box names the encoding
        };
        const std::string lines = "[Settings]\r\nCOMPORT=COM7\r\nDATA_PREFIX=";
        using U = PortableFileUse::Use;
        const Case cases[] = {
            {"UTF-16 LE", Utf16Le(u"[Settings]\r\nCOMPORT=COM7\r\nDATA_PREFIX=" + kWord + u"\r\n"),
             U::kWritable, nullptr},
            {"ANSI", lines + kLatin1 + "\r\n", U::kWritable, nullptr},
            {"UTF-8", lines + kUtf8 + "\r\n", U::kRefused, u"is saved as UTF-8, which"},
            {"UTF-8 with BOM", "\xEF\xBB\xBF" + lines + kUtf8 + "\r\n", U::kRefused,
             u"is saved as UTF-8 with BOM,"},
            {"UTF-16 BE", Utf16Be(u"[Settings]\r\nCOMPORT=COM7\r\nDATA_PREFIX=" + kWord + u"\r\n"),
             U::kRefused, u"is saved as UTF-16 BE,"},
        };
        for (const Case& c : cases) {
            CAPTURE(c.name);
            PortableRig rig;
            const PortableFileUse use = rig.Open(c.bytes);
            CHECK(use.use == c.use);
            CHECK_FALSE(use.busy);
            if (use.use == U::kRefused) {
                CHECK(use.refusal.find(u"Setting file ") == 0);
                CHECK(use.refusal.find(c.refusal) != std::u16string::npos);
                CHECK(use.refusal.find(u"E:\\Dorvane.ini") != std::u16string::npos);
                CHECK(use.refusal.find(u"UTF-16 LE") != std::u16string::npos);  // how to save it
                CHECK(rig.disk.Bytes(u"E:\\Dorvane.ini") == c.bytes);
                continue;
            }
            // Read through the system's profile functions, as the copy will.
            CHECK(ReadSetting(rig.profile, DATA_PREFIX) == kWord);
            CHECK(ReadSetting(rig.profile, COMPORT) == u"COM7");
        }
    }

    TEST_CASE("an empty Dorvane.ini is given the UTF-16 mark before its first write") {
        PortableRig rig;
        REQUIRE(rig.Open("").use == PortableFileUse::Use::kWritable);
        CHECK(rig.disk.Bytes(u"E:\\Dorvane.ini") == "\xFF\xFE");
        REQUIRE(WriteSetting(rig.profile, DATA_SUFFIX, u"\u0142\u20ac"));
        CHECK(ReadSetting(rig.profile, DATA_SUFFIX) == u"\u0142\u20ac");

        // A file that cannot be written is left as it is.
        PortableRig readOnly;
        readOnly.disk.failWrites = true;
        CHECK(readOnly.Open("").use == PortableFileUse::Use::kReadOnly);
        CHECK(readOnly.disk.Bytes(u"E:\\Dorvane.ini").empty());
    }

    TEST_CASE("a file held open by another program is tried again and is not taken as read-only") {
        // Looks that find it held (the probe and the read count), then the pauses and the outcome.
        const std::tuple<int, size_t, bool> cases[] = {
            {0, 0, false}, {3, 2, false}, {1000, kBusyTries - 1, true}};
        for (const auto& [held, pauses, busy] : cases) {
            CAPTURE(held);
            PortableRig rig;
            rig.disk.busyTries = held;
            const PortableFileUse use = rig.Open(Utf16Le(u"[Settings]\r\nCOMPORT=COM7\r\n"));
            CHECK(use.use == PortableFileUse::Use::kWritable);
            CHECK(use.busy == busy);
            CHECK(rig.pauses.size() == pauses);
        }
        PortableRig large;
        const PortableFileUse use = large.Open(std::string(kMaxSettingsFileBytes + 1, ' '));
        CHECK(use.use == PortableFileUse::Use::kRefused);
        CHECK(use.refusal.find(u"Setting file is larger than 1 MiB!") == 0);
    }
}

TEST_SUITE("copies sharing one settings file") {
    TEST_CASE(
        "a copy reading while another rewrites the file waits for it and never writes a default over a "
        "value") {
        FakeRegistry registry;
        FakePrivateProfile disk;
        const char16_t* file = u"E:\\Dorvane.ini";
        disk.Put(file, Utf16Le(u"[Profiles\\A]\r\nSENDKB_CRLF=1\r\n[Profiles\\B]\r\nCOMPORT=COM7\r\n"));
        CAppProfile a(nullptr, file, registry, disk), b(nullptr, file, registry, disk);
        a.SetSettingsSection(u"Profiles\\A");
        b.SetSettingsSection(u"Profiles\\B");

        // While copy A's write has the file half rewritten, copy B starts and reads its port.
        std::atomic<bool> bDone{false};
        std::u16string bPort;
        std::thread bThread;
        const std::thread::id aId = std::this_thread::get_id();
        disk.onRewrite = [&] {
            if (std::this_thread::get_id() != aId || bThread.joinable()) {
                return;
            }
            bThread = std::thread([&] {
                bPort = ReadSetting(b, COMPORT);
                bDone = true;
            });
            // Until B has read, or waits for the lock A holds.
            while (!bDone && disk.Waiting() == 0) {
                std::this_thread::yield();
            }
        };
        REQUIRE(WriteSetting(a, SENDKB_CRLF, 0));
        REQUIRE(bThread.joinable());
        bThread.join();
        disk.onRewrite = nullptr;
        CHECK(bPort == u"COM7");
        CHECK(ReadSetting(b, COMPORT) == u"COM7");
        CHECK(ReadSetting(a, SENDKB_CRLF) == 0);
    }

    TEST_CASE("while another copy keeps the lock, reads give defaults without writing them and writes fail") {
        FakeRegistry registry;
        FakePrivateProfile disk;
        const std::string bytes = Utf16Le(u"[Settings]\r\nCOMPORT=COM7\r\n");
        disk.Put(u"E:\\Dorvane.ini", bytes);
        CAppProfile profile(nullptr, u"E:\\Dorvane.ini", registry, disk);
        disk.lockFails = true;
        CHECK(ReadSetting(profile, SENDKB_CRLF) == 1);
        CHECK(ReadSetting(profile, RECORDDATA_FILENAME).empty());
        CHECK_FALSE(WriteSetting(profile, COMPORT, u"COM3"));
        CHECK_FALSE(profile.WriteBinary(u"Settings", u"COM3_DCB", reinterpret_cast<const uint8_t*>("a"), 1));
        CHECK(disk.writes.empty());
        CHECK(disk.Bytes(u"E:\\Dorvane.ini") == bytes);
    }
}
