// The profile store's rules: key path and handles, default write-back, value types, what a
// user's registry may really hold, and the INI back end.
#include <string>
#include <vector>

#include "app/core/startrequest.h"
#include "doctest/doctest.h"
#include "fakeregistry.h"
#include "pipeline/core/importchecks.h"
#include "serial/core/linesettings.h"
#include "settings/core/appprofile.h"
#include "settings/core/profilecodec.h"
#include "settings/core/settingkeys.h"
#include "settings/core/settingsfile.h"

using namespace dorvane;
using dorvane::testing::FakePrivateProfile;
using dorvane::testing::FakeRegistry;

namespace {

const FakeRegistry::Path kSettings = FakeRegistry::PathOf({u"software", u"Velmora", u"DORVANE", u"Settings"});

struct RegistryRig {
    FakeRegistry registry;
    FakePrivateProfile ini;
    CAppProfile profile{u"Velmora", u"DORVANE", registry, ini};

    void Store(const char16_t* entry, RegType type, std::vector<uint8_t> bytes) {
        registry.keys[kSettings][entry] = RegValue{type, std::move(bytes)};
    }
    const RegValue* Stored(const char16_t* entry) const { return registry.Find(kSettings, entry); }
};

std::vector<uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

}  // namespace

TEST_SUITE("profile store, registry") {
    TEST_CASE("a first read creates the key path and the value with its default, and closes every key") {
        RegistryRig rig;
        CHECK(rig.profile.GetInt(u"Settings", u"SENDKB_CRLF", 1) == 1);
        const RegValue* value = rig.Stored(u"SENDKB_CRLF");
        REQUIRE(value != nullptr);
        CHECK(value->type == RegType::Dword);
        CHECK(value->bytes == std::vector<uint8_t>{1, 0, 0, 0});
        CHECK(rig.registry.open.empty());
        CHECK(rig.profile.GetInt(u"Settings", u"SENDKB_CRLF", 7) == 1);
        CHECK(rig.registry.open.empty());
    }

    TEST_CASE("without a software key nothing is created, reads give defaults and writes fail") {
        RegistryRig rig;
        rig.registry.softwareExists = false;
        rig.registry.keys.clear();
        CHECK(rig.profile.GetInt(u"Settings", u"BUFFERSIZE_KB", 1) == 1);
        CHECK(rig.profile.GetString(u"Settings", u"COMPORT", u"COM1") == u"COM1");
        std::vector<uint8_t> data{9};
        CHECK_FALSE(rig.profile.GetBinary(u"Settings", u"COM1_DCB", data));
        CHECK(data.empty());
        CHECK_FALSE(rig.profile.WriteInt(u"Settings", u"X", 1));
        CHECK_FALSE(rig.profile.WriteString(u"Settings", nullptr, nullptr));
        CHECK(rig.registry.keys.empty());
        CHECK(rig.registry.open.empty());
    }

    TEST_CASE("-1 is stored with all 32 bits set and read back as 4294967295") {
        RegistryRig rig;
        CHECK(rig.profile.WriteInt(u"Settings", u"N", -1));
        CHECK(rig.Stored(u"N")->bytes == std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF});
        CHECK(rig.profile.GetInt(u"Settings", u"N", 0) == 4294967295u);
        CHECK(static_cast<int32_t>(rig.profile.GetInt(u"Settings", u"N", 0)) == -1);
    }

    TEST_CASE("an integer stored with the wrong type or size is replaced by the default") {
        RegistryRig rig;
        rig.Store(u"A", RegType::String, Utf16Bytes(u"5\0"));
        rig.Store(u"B", RegType::Dword, {1, 2, 3, 4, 5, 6, 7, 8});
        rig.Store(u"C", RegType::Dword, {7, 0});
        rig.Store(u"D", RegType::Binary, {7, 0, 0, 0});
        for (const char16_t* entry : {u"A", u"B", u"C", u"D"}) {
            CAPTURE(std::string(entry, entry + 1));
            CHECK(rig.profile.GetInt(u"Settings", entry, 42) == 42);
            CHECK(rig.Stored(entry)->type == RegType::Dword);
            CHECK(rig.Stored(entry)->bytes == std::vector<uint8_t>{42, 0, 0, 0});
        }
        rig.Store(u"E", RegType::Dword, {5, 0, 0, 0});
        CHECK(rig.profile.GetInt(u"Settings", u"E", 0) == 5);  // a switch of 5 reads as 5 (on)
    }

    TEST_CASE("a missing string with an empty default is stored as the terminating zero alone") {
        RegistryRig rig;
        CHECK(rig.profile.GetString(u"Settings", u"RECORDDATA_FILENAME", u"") == u"");
        REQUIRE(rig.Stored(u"RECORDDATA_FILENAME") != nullptr);
        CHECK(rig.Stored(u"RECORDDATA_FILENAME")->type == RegType::String);
        CHECK(rig.Stored(u"RECORDDATA_FILENAME")->bytes == std::vector<uint8_t>{0, 0});

        CHECK(rig.profile.WriteString(u"Settings", u"COMPORT", u"COM12"));
        CHECK(rig.Stored(u"COMPORT")->bytes == Utf16Bytes(std::u16string_view(u"COM12", 6)));
        CHECK(rig.profile.GetString(u"Settings", u"COMPORT", u"COM1") == u"COM12");
    }

    TEST_CASE("a missing string with a null default writes nothing") {
        RegistryRig rig;
        CHECK(rig.profile.GetString(u"Settings", u"X", nullptr) == u"");
        CHECK(rig.Stored(u"X") == nullptr);
    }

    TEST_CASE("strings end inside what was stored, whatever the registry holds") {
        RegistryRig rig;
        rig.Store(u"NoZero", RegType::String, Utf16Bytes(u"COM3"));
        rig.Store(u"Odd", RegType::String, {'C', 0, 'O', 0, 'M', 0, '4'});
        rig.Store(u"Inner", RegType::String, Utf16Bytes(std::u16string_view(u"COM5\0junk", 9)));
        rig.Store(u"Empty", RegType::String, {});
        rig.Store(u"Expand", RegType::ExpandString,
                  Utf16Bytes(std::u16string_view(u"%TEMP%\\scan.log\0", 16)));
        CHECK(rig.profile.GetString(u"Settings", u"NoZero", u"d") == u"COM3");
        CHECK(rig.profile.GetString(u"Settings", u"Odd", u"d") == u"COM");
        CHECK(rig.profile.GetString(u"Settings", u"Inner", u"d") == u"COM5");
        CHECK(rig.profile.GetString(u"Settings", u"Empty", u"d") == u"");
        CHECK(rig.profile.GetString(u"Settings", u"Expand", u"d") == u"%TEMP%\\scan.log");

        rig.Store(u"Number", RegType::Dword, {1, 0, 0, 0});
        CHECK(rig.profile.GetString(u"Settings", u"Number", u"COM1") == u"COM1");
        CHECK(rig.Stored(u"Number")->type == RegType::String);
    }

    TEST_CASE("binary values: read whole, never written by a read") {
        RegistryRig rig;
        std::vector<uint8_t> data{1, 2, 3};
        CHECK_FALSE(rig.profile.GetBinary(u"Settings", u"COM1_DCB", data));
        CHECK(data.empty());
        CHECK(rig.Stored(u"COM1_DCB") == nullptr);

        std::vector<uint8_t> huge(1 << 20);
        for (size_t i = 0; i < huge.size(); ++i) {
            huge[i] = static_cast<uint8_t>(i * 7);
        }
        CHECK(rig.profile.WriteBinary(u"Settings", u"Huge", huge.data(), huge.size()));
        CHECK(rig.profile.GetBinary(u"Settings", u"Huge", data));
        CHECK(data == huge);

        rig.Store(u"Text", RegType::String, Utf16Bytes(u"AB"));
        CHECK_FALSE(rig.profile.GetBinary(u"Settings", u"Text", data));
        CHECK(data.empty());
        CHECK(rig.registry.open.empty());
    }

    TEST_CASE("a null value deletes the entry, a null entry deletes a section without subkeys") {
        RegistryRig rig;
        rig.profile.WriteInt(u"Settings", u"A", 1);
        CHECK(rig.profile.WriteString(u"Settings", u"A", nullptr));
        CHECK(rig.Stored(u"A") == nullptr);
        CHECK_FALSE(rig.profile.WriteString(u"Settings", u"A", nullptr));

        CHECK(rig.profile.WriteString(u"Settings", nullptr, nullptr));
        CHECK(rig.registry.keys.count(kSettings) == 0);

        rig.profile.WriteInt(u"Outer", u"A", 1);
        rig.profile.WriteInt(u"Outer\\Inner", u"A", 1);
        CHECK_FALSE(rig.profile.WriteString(u"Outer", nullptr, nullptr));
        CHECK(rig.registry.open.empty());
    }

    TEST_CASE("null section or entry never reaches the registry") {
        RegistryRig rig;
        CHECK(rig.profile.GetInt(nullptr, u"A", 3) == 3);
        CHECK(rig.profile.GetInt(u"Settings", nullptr, 3) == 3);
        CHECK(rig.profile.GetString(u"Settings", nullptr, u"x") == u"x");
        CHECK_FALSE(rig.profile.WriteBinary(u"Settings", nullptr, nullptr, 0));
        CHECK(rig.registry.keys[kSettings].empty());
    }
}

TEST_SUITE("profile store, INI file") {
    struct IniRig {
        FakeRegistry registry;
        FakePrivateProfile ini;
        CAppProfile profile{nullptr, u"C:\\dorvane.ini", registry, ini};
    };

    TEST_CASE("binary values as letter pairs, integers as signed decimal") {
        IniRig rig;
        const uint8_t a[] = {0x1C, 0x00}, b[] = {0x00, 0xFF};
        CHECK(rig.profile.WriteBinary(u"Settings", u"A", a, 2));
        CHECK(rig.profile.WriteBinary(u"Settings", u"B", b, 2));
        CHECK(rig.profile.WriteInt(u"Settings", u"N", -5));
        REQUIRE(rig.ini.writes.size() == 3);
        CHECK(rig.ini.writes[0].value == u"MBAA");
        CHECK(rig.ini.writes[1].value == u"AAPP");
        CHECK(rig.ini.writes[2].value == u"-5");
        CHECK(rig.ini.writes[2].file == u"C:\\dorvane.ini");
        CHECK(rig.registry.opens == 0);
    }

    TEST_CASE("reads return their default and write it, a binary read writes nothing") {
        IniRig rig;
        CHECK(rig.profile.GetInt(u"Settings", u"SENDKB_CRLF", 1) == 1);
        CHECK(rig.profile.GetString(u"Settings", u"COMPORT", u"COM1") == u"COM1");
        CHECK(rig.profile.GetString(u"Settings", u"X", nullptr) == u"");
        std::vector<uint8_t> data{1};
        CHECK_FALSE(rig.profile.GetBinary(u"Settings", u"COM1_DCB", data));
        CHECK(data.empty());
        REQUIRE(rig.ini.writes.size() == 2);
        CHECK(rig.ini.writes[0].entry == u"SENDKB_CRLF");
        CHECK(rig.ini.writes[0].value == u"1");
        CHECK(rig.ini.writes[1].value == u"COM1");
    }

    TEST_CASE("what is written is read back, every type, though the system trims blanks and quotes") {
        IniRig rig;
        const char16_t* texts[] = {u"COM12", u"", u" {TAB}", u"kg ", u"\"quoted\"", u"'", u"a\"b", u"\\x02\\x03"};
        for (const char16_t* text : texts) {
            CAPTURE(std::u16string(text).size());
            CHECK(rig.profile.WriteString(u"Settings", u"S", text));
            CHECK(rig.profile.GetString(u"Settings", u"S", u"default") == text);
        }
        CHECK_FALSE(rig.profile.WriteString(u"Settings", u"S", u"two\nlines"));  // a line-based file cannot hold it
        for (const int32_t value : {0, 7, -1, INT32_MIN, INT32_MAX}) {
            CHECK(rig.profile.WriteInt(u"Settings", u"N", value));
            CHECK(rig.profile.GetInt(u"Settings", u"N", 99) == static_cast<uint32_t>(value));
        }
        const uint8_t record[] = {0x1C, 0x00, 0x00, 0x00, 0x80, 0x25, 0xFF};
        CHECK(rig.profile.WriteBinary(u"Settings", u"COM12_DCB", record, sizeof record));
        std::vector<uint8_t> data;
        CHECK(rig.profile.GetBinary(u"Settings", u"COM12_DCB", data));
        CHECK(data == std::vector<uint8_t>(std::begin(record), std::end(record)));

        // Values a person or another tool wrote: a DWORD as unsigned text is taken, text that is
        // no number reads as missing and gets the default.
        rig.ini.WriteString(u"Settings", u"D", u"4294967295", u"C:\\dorvane.ini");
        CHECK(rig.profile.GetInt(u"Settings", u"D", 1) == 4294967295u);
        rig.ini.WriteString(u"Settings", u"E", u"12abc", u"C:\\dorvane.ini");
        CHECK(rig.profile.GetInt(u"Settings", u"E", 1) == 1);
        CHECK(rig.ini.GetString(u"Settings", u"E", u"C:\\dorvane.ini") == u"1");

        // A file that cannot be written: stored values are read, nothing is written.
        rig.profile.SetReadOnly(true);
        const size_t writes = rig.ini.writes.size();
        CHECK(rig.profile.GetString(u"Settings", u"S", u"default") == texts[std::size(texts) - 1]);
        CHECK(rig.profile.GetInt(u"Settings", u"MISSING", 5) == 5);
        CHECK_FALSE(rig.profile.WriteInt(u"Settings", u"N", 1));
        CHECK(rig.ini.writes.size() == writes);
    }

    TEST_CASE("null entry and null value are handed to the system's write as null") {
        IniRig rig;
        rig.profile.WriteString(u"Settings", u"A", nullptr);
        rig.profile.WriteString(u"Settings", nullptr, nullptr);
        REQUIRE(rig.ini.writes.size() == 2);
        CHECK(rig.ini.writes[0].valueNull);
        CHECK_FALSE(rig.ini.writes[0].entryNull);
        CHECK(rig.ini.writes[1].entryNull);
    }
}

TEST_SUITE("settings keys") {
    TEST_CASE("reading the service's settings on an empty store leaves each with its default") {
        RegistryRig rig;
        for (const IntSetting* key : {&BUFFERSIZE_KB, &SENDKB_CRLF, &SENDKB_RCVCHARS, &SENDKB_RCVCHARSNUMBER,
                                      &FLUSHBUFFER_SECOND, &RECORDDATA, &AUTODISABLE, &AUTODISABLE_MINUTES}) {
            CHECK(ReadSetting(rig.profile, *key) == static_cast<uint32_t>(key->defaultValue));
            CHECK(IntFromRegistry(*rig.Stored(key->name)) == static_cast<uint32_t>(key->defaultValue));
        }
        CHECK(ReadSetting(rig.profile, COMPORT) == u"COM1");
        CHECK(StringFromRegistry(*rig.Stored(u"COMPORT")) == u"COM1");
        CHECK(DcbEntryName(u"COM12") == u"COM12_DCB");
    }
}

TEST_SUITE("profiles and settings files") {
    TEST_CASE("the command line: profiles, export and import, and what is refused") {
        struct Case {
            std::vector<std::u16string> words;
            bool valid;
            StartRequest::Action action;
            const char16_t* profile;
            const char16_t* file;
        };
        using A = StartRequest::Action;
        const Case cases[] = {
            {{}, true, A::kRun, u"", u""},
            {{u"/profile", u"Scale 2"}, true, A::kRun, u"Scale 2", u""},
            {{u"-PROFILE", u"bench_A-1"}, true, A::kRun, u"bench_A-1", u""},
            {{u"/export", u"C:\\s.ini", u"/profile", u"Scale"}, true, A::kExport, u"Scale", u"C:\\s.ini"},
            {{u"/Import", u"s.ini", u"/quiet"}, true, A::kImport, u"", u"s.ini"},
            {{u"/profile", std::u16string(32, u'x')}, true, A::kRun, nullptr, u""},
            // A settings file's sections trim the blanks at a name's ends: "A " is the profile "A".
            {{u"/profile", u" Scale 2  "}, true, A::kRun, u"Scale 2", u""},
            {{u"/profile", u"   "}, false, A::kRun, u"", u""},
            {{u"/profile", u" " + std::u16string(32, u'x') + u" "}, true, A::kRun, nullptr, u""},
            {{u"/profile", std::u16string(33, u'x')}, false, A::kRun, u"", u""},
            {{u"/profile", u"a/b"}, false, A::kRun, u"", u""},
            {{u"/profile", u""}, false, A::kRun, u"", u""},
            {{u"/profile"}, false, A::kRun, u"", u""},
            {{u"/profile", u"a", u"/profile", u"b"}, false, A::kRun, u"", u""},
            {{u"/export", u"a", u"/import", u"b"}, false, A::kRun, u"", u""},
            {{u"/s"}, false, A::kRun, u"", u""},
        };
        for (const Case& c : cases) {
            CAPTURE(c.words.size());
            StartRequest request;
            const auto error = ParseStartRequest(c.words, request);
            CHECK(error.has_value() == !c.valid);
            if (error) {
                CHECK(error->back() == u'!');
                continue;
            }
            CHECK(request.action == c.action);
            if (c.profile != nullptr) {
                CHECK(request.profile == c.profile);
            }
            CHECK(request.file == c.file);
        }
        CHECK(SettingsSectionFor(u"") == u"Settings");
        CHECK(SettingsSectionFor(u"Scale") == u"Profiles\\Scale");
        CHECK(InstanceNameFor(u"") == u"Local\\Velmora.DORVANE.SingleInstance");
        CHECK(InstanceNameFor(u"scale") == InstanceNameFor(u"SCALE"));
        CHECK(InstanceNameFor(u"scale") != InstanceNameFor(u""));
    }

    TEST_CASE("a profile's settings live in their own key, the default's stay where they were") {
        RegistryRig rig;
        rig.profile.SetSettingsSection(SettingsSectionFor(u"Scale"));
        WriteSetting(rig.profile, COMPORT, u"COM7");
        CHECK(rig.Stored(u"COMPORT") == nullptr);
        CHECK(rig.registry.Find(FakeRegistry::PathOf({u"software", u"Velmora", u"DORVANE", u"Profiles", u"Scale"}),
                                u"COMPORT") != nullptr);
        rig.profile.SetSettingsSection(u"");
        CHECK(ReadSetting(rig.profile, COMPORT) == u"COM1");
    }

    TEST_CASE("export then import gives every value back, a file with a fault is refused whole") {
        const CImportChecks checks(
            [](std::u16string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); });
        RegistryRig source;
        WriteSetting(source.profile, COMPORT, u"COM12");
        // A device this PC may not have: carried all the same.
        WriteSetting(source.profile, COMPORT_DEVICE, u"USB\\VID_0403&PID_6001\\A50285BI");
        WriteSetting(source.profile, DATA_SUFFIX, u" {TAB}");
        WriteSetting(source.profile, DATA_NUMBER, 2);
        WriteSetting(source.profile, DEVICE_COMMAND, u"P\\r\\n");
        WriteSetting(source.profile, AUTODISABLE_MINUTES, -1);
        LineSettings record{};
        record[0] = kLineSettingsSize;
        WriteLineFields(record, LineFields{19200, 7, 2, 2, FlowControl::kRtsCts});
        source.profile.WriteBinary(u"Settings", u"COM12_DCB", record.data(), record.size());

        FakePrivateProfile file;
        FakeRegistry unused;
        CAppProfile exported(nullptr, u"C:\\roll-out.ini", unused, file);
        REQUIRE(ExportSettings(source.profile, exported));
        // The settings that came after stores were made are exported, and still not stored here.
        for (const char16_t* later : {LOG_FILE.name, READINGS_WINDOW.name, DATA_REPLACE.name, DATA_CHECK_GTIN.name,
                                      DATA_REPEAT_MS.name, SIGNAL_SOUND.name}) {
            CHECK(source.Stored(later) == nullptr);
        }
        const SettingEntries entries = file.GetSection(u"Settings", u"C:\\roll-out.ini");
        CHECK(entries.size() == std::size(kIntSettings) + std::size(kStringSettings) + 1);
        REQUIRE_FALSE(CheckImport(entries, checks));

        RegistryRig target;
        target.profile.SetSettingsSection(SettingsSectionFor(u"Scale"));
        REQUIRE(ImportSettings(entries, target.profile));
        for (const IntSetting* key : kIntSettings) {
            CHECK(ReadSetting(target.profile, *key) == ReadSetting(source.profile, *key));
        }
        for (const StringSetting* key : kStringSettings) {
            CHECK(ReadSetting(target.profile, *key) == ReadSetting(source.profile, *key));
        }
        std::vector<uint8_t> imported;
        CHECK(target.profile.GetBinary(u"Profiles\\Scale", u"COM12_DCB", imported));
        CHECK(imported == std::vector<uint8_t>(record.begin(), record.end()));
        // A port is stored as the General page lists it, whatever case the file gives it.
        const SettingEntries lowerCase = {{u"COMPORT", u"com7"}, {u"com7_dcb", IniBinaryText(record.data(), record.size())}};
        REQUIRE_FALSE(CheckImport(lowerCase, checks));
        REQUIRE(ImportSettings(lowerCase, target.profile));
        CHECK(ReadSetting(target.profile, COMPORT) == u"COM7");
        CHECK(target.profile.GetBinary(u"Profiles\\Scale", u"COM7_DCB", imported));

        struct Refusal {
            SettingEntries entries;
            std::u16string error;
        };
        LineSettings refused = record;
        refused[dcb::kStopBits] = 1;  // 1.5 stop bits with 7 data bits
        const Refusal refusals[] = {
            {{{u"COMPORT", u"COM12"}, {u"NOT_A_SETTING", u"1"}},
             u"NOT_A_SETTING is not a setting Dorvane knows!"},
            {{{std::u16string(65, u'N'), u"1"}},
             std::u16string(64, u'N') + u"... is not a setting Dorvane knows!"},
            {{{u"SENDKB_CRLF", u"yes"}}, u"SENDKB_CRLF must be a whole number!"},
            {{{u"COMPORT", u"LPT1"}}, u"COMPORT: \"LPT1\" is not a port name (COM1 to COM255)!"},
            {{{u"COMPORT_DEVICE", u"USB\\VID_0403&PID_6001\\A5\t0285BI"}}, u"COMPORT_DEVICE holds a control character!"},
            {{{u"DATA_EXTRACT", u"("}}, u"DATA_EXTRACT: the expression is not valid!"},
            {{{u"DATA_CASE", u"3"}}, u"DATA_CASE must be 0, 1 or 2!"},
            {{{u"TYPE_DELAY_MS", u"5000"}}, u"TYPE_DELAY_MS must be 0 to 1000!"},
            {{{u"DEVICE_POLL_MS", u"10"}}, u"DEVICE_POLL_MS must be 0 or 100 to 3600000!"},
            {{{u"DEVICE_HOTKEY", u"Q"}}, u"DEVICE_HOTKEY: \"Q\" cannot be a hotkey!"},
            {{{u"COM3_DCB", u"ABC"}}, u"COM3_DCB is not a line-settings record!"},
            {{{u"COM3_DCB", IniBinaryText(refused.data(), refused.size())}},
             u"COM3_DCB holds line settings Windows does not take!"},
        };
        for (const Refusal& r : refusals) {
            CHECK(CheckImport(r.entries, checks) == std::optional<std::u16string>(r.error));
        }
    }
}
