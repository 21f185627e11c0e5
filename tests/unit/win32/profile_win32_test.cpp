// The profile store on the real (Wine) registry and real INI files, under a scratch company
// key so that nothing of a user's own settings is touched.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "doctest/doctest.h"
#include "serial/serialport.h"
#include "settings/appprofile.h"
#include "settings/core/settingstext.h"

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
        // The program's own reading of the file (an import's) finds what the system wrote.
        const FileBytes bytes = ini.ReadBytes(name.c_str(), kMaxSettingsFileBytes);
        const auto entries =
            IniSection(DecodeText(bytes.bytes, DetectEncoding(bytes.bytes), AnsiText), u"Settings");
        REQUIRE(entries.has_value());
        CHECK(entries->size() == 5);
        CHECK(entries->back() == std::pair<std::u16string, std::u16string>(u"S", u"plain"));

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

TEST_SUITE("settings files (Win32)") {
    std::wstring TempFile(const wchar_t* name) {
        wchar_t dir[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        return std::wstring(dir) + name;
    }
    void WriteBytes(const std::wstring& path, const std::string& bytes) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        REQUIRE(file != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        CHECK(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        CloseHandle(file);
    }
    const char16_t* U(const std::wstring& path) {
        return reinterpret_cast<const char16_t*>(path.c_str());
    }

    TEST_CASE(
        "the files' lock is one named mutex of the session: another copy waits, its holder takes it again") {
        CWin32PrivateProfile first, second;  // two copies
        REQUIRE(first.LockFile(u"C:\\a\\Dorvane.ini"));
        HANDLE named = OpenMutexW(SYNCHRONIZE, FALSE, kSettingsFileLockName);
        CHECK(named != nullptr);
        if (named != nullptr) {
            CloseHandle(named);
        }
        REQUIRE(first.LockFile(u"C:\\a\\Dorvane.ini"));
        std::atomic<bool> had{false};
        std::thread other([&] {
            CHECK(second.LockFile(u"C:\\b\\Dorvane.ini"));  // one lock for every file
            had = true;
            second.UnlockFile(u"C:\\b\\Dorvane.ini");
        });
        Sleep(300);
        CHECK_FALSE(had);
        first.UnlockFile(u"C:\\a\\Dorvane.ini");
        Sleep(300);
        CHECK_FALSE(had);  // taken twice, released once
        first.UnlockFile(u"C:\\a\\Dorvane.ini");
        other.join();
        CHECK(had);
    }

    TEST_CASE("a file is read whole or not at all, and a busy file is told from a read-only one") {
        const std::wstring path = TempFile(L"dorvane-bytes.ini");
        CWin32PrivateProfile files;
        WriteBytes(path, std::string("\xEF\xBB\xBF[S]\r\n", 8));
        FileBytes read = files.ReadBytes(U(path), 8);
        CHECK(read.status == FileBytes::Status::kRead);
        CHECK(read.bytes == std::string("\xEF\xBB\xBF[S]\r\n", 8));
        read = files.ReadBytes(U(path), 7);
        CHECK(read.status == FileBytes::Status::kTooLarge);
        CHECK(read.bytes.empty());
        CHECK(files.WriteAccess(U(path)) == FileAccess::kWritable);

        // Another program holding the file open without sharing it.
        HANDLE held =
            CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(held != INVALID_HANDLE_VALUE);
        CHECK(files.WriteAccess(U(path)) == FileAccess::kBusy);
        CHECK(files.ReadBytes(U(path), 100).status == FileBytes::Status::kBusy);
        CloseHandle(held);
        CHECK(files.WriteAccess(U(path)) == FileAccess::kWritable);

        CHECK(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
        CHECK(files.WriteAccess(U(path)) == FileAccess::kReadOnly);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
        CHECK(files.ReadBytes(U(path), 100).status == FileBytes::Status::kUnreadable);
    }

    TEST_CASE("only an empty file is given the UTF-16 mark") {
        const std::wstring path = TempFile(L"dorvane-mark.ini");
        CWin32PrivateProfile files;
        for (const std::string& before : {std::string(), std::string("[S]\r\n")}) {
            WriteBytes(path, before);
            CHECK(files.MarkEmptyFileUtf16(U(path)));
            CHECK(files.ReadBytes(U(path), 100).bytes == (before.empty() ? std::string("\xFF\xFE") : before));
        }
        DeleteFileW(path.c_str());
    }

    TEST_CASE("two names of one file are one file") {
        const std::wstring path = TempFile(L"dorvane-same.ini");
        const std::wstring other = TempFile(L"dorvane-other.ini");
        WriteBytes(path, "x");
        WriteBytes(other, "x");
        std::wstring upper = path;
        CharUpperW(upper.data());
        const std::wstring dotted = TempFile(L"sub\\..\\dorvane-same.ini");
        CreateDirectoryW(TempFile(L"sub").c_str(), nullptr);
        CHECK(IsSameFile(path.c_str(), upper.c_str()));
        CHECK(IsSameFile(path.c_str(), dotted.c_str()));
        CHECK_FALSE(IsSameFile(path.c_str(), other.c_str()));
        CHECK_FALSE(IsSameFile(TempFile(L"none-a.ini").c_str(), TempFile(L"none-b.ini").c_str()));
        DeleteFileW(path.c_str());
        DeleteFileW(other.c_str());
        RemoveDirectoryW(TempFile(L"sub").c_str());
    }

    TEST_CASE("ANSI text comes back as the system's code page encodes it") {
        CHECK(AnsiText(std::string_view()).empty());
        const std::vector<uint8_t> bytes = AnsiBytesOf(u"Z\u00e4hlung");
        CHECK(AnsiText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())) ==
              u"Z\u00e4hlung");
    }
}
