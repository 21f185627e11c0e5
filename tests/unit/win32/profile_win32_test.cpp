// The profile store on the real (Wine) registry and real INI files, under a scratch company
// key so that nothing of a user's own settings is touched.
#include <windows.h>

#include <string>
#include <vector>

#include "doctest/doctest.h"
#include "settings/appprofile.h"

using namespace dorvane;

namespace {

constexpr wchar_t kScratchPath[] = L"software\\DorvaneUnitTest";
constexpr wchar_t kSettingsPath[] = L"software\\DorvaneUnitTest\\DORVANE\\Settings";

struct Scratch {
    CWin32Registry registry;
    CWin32PrivateProfile ini;
    CAppProfile profile{u"DorvaneUnitTest", u"DORVANE", registry, ini};
    Scratch() { RegDeleteTreeW(HKEY_CURRENT_USER, kScratchPath); }
    ~Scratch() { RegDeleteTreeW(HKEY_CURRENT_USER, kScratchPath); }

    // A value exactly as some other program might have stored it.
    void Raw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                nullptr) == ERROR_SUCCESS);
        CHECK(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS);
        RegCloseKey(key);
    }
    // Type and size of a stored value; type REG_NONE when it is missing.
    std::pair<DWORD, DWORD> Stored(const wchar_t* name) {
        DWORD type = REG_NONE, size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, kSettingsPath, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                         &size) != ERROR_SUCCESS) {
            return {REG_NONE, 0};
        }
        return {type, size};
    }
};

}  // namespace

TEST_SUITE("profile store on the registry (Win32)") {
    TEST_CASE("defaults are written back with the registry's own types and sizes") {
        Scratch s;
        CHECK(s.profile.GetInt(u"Settings", u"SENDKB_CRLF", 1) == 1);
        CHECK(s.Stored(L"SENDKB_CRLF") == std::pair<DWORD, DWORD>{REG_DWORD, 4});
        CHECK(s.profile.GetString(u"Settings", u"RECORDDATA_FILENAME", u"") == u"");
        CHECK(s.Stored(L"RECORDDATA_FILENAME") == std::pair<DWORD, DWORD>{REG_SZ, 2});
        CHECK(s.profile.GetString(u"Settings", u"NOTHING", nullptr) == u"");
        CHECK(s.Stored(L"NOTHING").first == REG_NONE);
        std::vector<uint8_t> data{1};
        CHECK_FALSE(s.profile.GetBinary(u"Settings", u"COM1_DCB", data));
        CHECK(data.empty());
        CHECK(s.Stored(L"COM1_DCB").first == REG_NONE);
    }

    TEST_CASE("values written are read back, -1 as 4294967295") {
        Scratch s;
        CHECK(s.profile.WriteInt(u"Settings", u"N", -1));
        CHECK(s.profile.GetInt(u"Settings", u"N", 0) == 4294967295u);
        CHECK(s.profile.WriteString(u"Settings", u"COMPORT", u"COM12"));
        CHECK(s.Stored(L"COMPORT") == std::pair<DWORD, DWORD>{REG_SZ, 12});
        CHECK(s.profile.GetString(u"Settings", u"COMPORT", u"COM1") == u"COM12");
        const uint8_t dcb[28] = {28, 0, 0, 0, 0x80, 0x25};
        CHECK(s.profile.WriteBinary(u"Settings", u"COM12_DCB", dcb, sizeof(dcb)));
        std::vector<uint8_t> back;
        CHECK(s.profile.GetBinary(u"Settings", u"COM12_DCB", back));
        CHECK(back == std::vector<uint8_t>(dcb, dcb + sizeof(dcb)));
    }

    TEST_CASE("deleting an entry and a section") {
        Scratch s;
        s.profile.WriteInt(u"Settings", u"A", 1);
        CHECK(s.profile.WriteString(u"Settings", u"A", nullptr));
        CHECK(s.Stored(L"A").first == REG_NONE);
        CHECK(s.profile.WriteString(u"Settings", nullptr, nullptr));
        HKEY key = nullptr;
        CHECK(RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsPath, 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("what a user's registry may really hold") {
        Scratch s;
        const wchar_t noZero[] = {L'C', L'O', L'M', L'3'};
        s.Raw(L"NoZero", REG_SZ, noZero, sizeof(noZero));
        s.Raw(L"Odd", REG_SZ, L"COM4", 7);
        const unsigned long long wide = 0x1122334455667788ull;
        s.Raw(L"Qword", REG_QWORD, &wide, sizeof(wide));
        s.Raw(L"LongDword", REG_BINARY, &wide, sizeof(wide));
        s.Raw(L"TextNumber", REG_SZ, L"5", 4);
        std::vector<uint8_t> huge(1 << 20, 0xA5);
        s.Raw(L"Huge", REG_BINARY, huge.data(), static_cast<DWORD>(huge.size()));

        CHECK(s.profile.GetString(u"Settings", u"NoZero", u"d") == u"COM3");
        CHECK(s.profile.GetString(u"Settings", u"Odd", u"d") == u"COM");
        CHECK(s.profile.GetInt(u"Settings", u"Qword", 9) == 9);
        CHECK(s.Stored(L"Qword") == std::pair<DWORD, DWORD>{REG_DWORD, 4});
        CHECK(s.profile.GetInt(u"Settings", u"LongDword", 9) == 9);
        CHECK(s.profile.GetInt(u"Settings", u"TextNumber", 9) == 9);
        std::vector<uint8_t> data;
        CHECK(s.profile.GetBinary(u"Settings", u"Huge", data));
        CHECK(data == huge);
        CHECK_FALSE(s.profile.GetBinary(u"Settings", u"NoZero", data));
    }
}

TEST_SUITE("profile store on an INI file (Win32)") {
    TEST_CASE("letters, signed decimal, defaults written by reads, and every value read back") {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        const std::wstring file = std::wstring(dir) + L"dorvane-unit.ini";
        DeleteFileW(file.c_str());
        CWin32Registry registry;
        CWin32PrivateProfile ini;
        const std::u16string name(reinterpret_cast<const char16_t*>(file.c_str()));
        CAppProfile profile(nullptr, name.c_str(), registry, ini);

        const uint8_t a[] = {0x1C, 0x00}, b[] = {0x00, 0xFF};
        CHECK(profile.WriteBinary(u"Settings", u"A", a, 2));
        CHECK(profile.WriteBinary(u"Settings", u"B", b, 2));
        CHECK(profile.WriteInt(u"Settings", u"N", -5));
        CHECK(profile.GetInt(u"Settings", u"SENDKB_CRLF", 1) == 1);
        std::vector<uint8_t> data;
        CHECK(profile.GetBinary(u"Settings", u"A", data));
        CHECK(data == std::vector<uint8_t>{0x1C, 0x00});
        CHECK(profile.GetInt(u"Settings", u"N", 9) == static_cast<uint32_t>(-5));
        // The system drops blanks around a value and quotes enclosing it; the store's quoting
        // brings them back.
        for (const char16_t* value : {u" {TAB}", u"kg ", u"\"x\"", u"plain"}) {
            CHECK(profile.WriteString(u"Settings", u"S", value));
            CHECK(profile.GetString(u"Settings", u"S", u"-") == value);
        }
        CHECK(ini.GetSection(u"Settings", name.c_str()).size() == 5);

        wchar_t text[64];
        auto read = [&](const wchar_t* entry) {
            GetPrivateProfileStringW(L"Settings", entry, L"<missing>", text, 64, file.c_str());
            return std::wstring(text);
        };
        CHECK(read(L"A") == L"MBAA");
        CHECK(read(L"B") == L"AAPP");
        CHECK(read(L"N") == L"-5");
        CHECK(read(L"SENDKB_CRLF") == L"1");

        CHECK(profile.WriteString(u"Settings", u"N", nullptr));
        CHECK(read(L"N") == L"<missing>");
        CHECK(profile.WriteString(u"Settings", nullptr, nullptr));
        CHECK(read(L"A") == L"<missing>");
        DeleteFileW(file.c_str());
    }

    TEST_CASE("a file that starts as UTF-16 keeps characters beyond the ANSI code page") {
        // The system writes a file it creates in the ANSI code page, and keeps a file that
        // starts with the UTF-16 mark in UTF-16 (WritePrivateProfileString reference page):
        // the portable copy ships such a file.
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        const std::wstring file = std::wstring(dir) + L"dorvane-unicode.ini";
        CHECK(CreateUtf16IniFile(file.c_str()));
        CWin32Registry registry;
        CWin32PrivateProfile ini;
        const std::u16string name(reinterpret_cast<const char16_t*>(file.c_str()));
        CAppProfile profile(nullptr, name.c_str(), registry, ini);
        CHECK(profile.WriteString(u"Settings", u"DATA_SUFFIX", u"\u20ac\u0142\u4e2d"));
        CHECK(profile.GetString(u"Settings", u"DATA_SUFFIX", u"") == u"\u20ac\u0142\u4e2d");
        DeleteFileW(file.c_str());
    }
}
