// The recording file, the code-page conversion and the copies' locks on the real C runtime and
// system.
#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "doctest/doctest.h"
#include "eventually.h"
#include "pipeline/capslockwatch.h"
#include "framework/copylock.h"
#include "pipeline/win32logfile.h"
#include "pipeline/win32pipeline.h"

using namespace dorvane;

namespace {

struct TempFile {
    std::wstring path;
    TempFile() {
        wchar_t dir[MAX_PATH], name[MAX_PATH];
        GetTempPathW(MAX_PATH, dir);
        GetTempFileNameW(dir, L"dv", 0, name);  // creates it empty
        path = name;
    }
    ~TempFile() { DeleteFileW(path.c_str()); }
    std::u16string Utf16Path() const { return std::u16string(path.begin(), path.end()); }
    std::vector<unsigned char> Bytes() const {
        std::vector<unsigned char> bytes;
        if (FILE* in = _wfopen(path.c_str(), L"rb")) {
            for (int c; (c = fgetc(in)) != EOF;) {
                bytes.push_back(static_cast<unsigned char>(c));
            }
            fclose(in);
        }
        return bytes;
    }
};

std::vector<unsigned char> Le(std::initializer_list<unsigned> units) {
    std::vector<unsigned char> bytes;
    for (unsigned unit : units) {
        bytes.push_back(static_cast<unsigned char>(unit));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

}  // namespace

TEST_CASE("the recording file: one mark on an empty file, LF stored as CR LF, no separators") {
    CWin32PipelinePlatform platform;
    TempFile file;
    {
        auto writer = platform.OpenRecordFile(file.Utf16Path());
        REQUIRE(writer);
        writer->Write(u"AB\r\n");
        CHECK(file.Bytes() == Le({0xFEFF, 'A', 'B', '\r', '\r', '\n'}));  // flushed per item
        writer->Write(u"C");
    }
    {
        auto writer = platform.OpenRecordFile(file.Utf16Path());  // appending: no second mark
        REQUIRE(writer);
        writer->Write(u"\u00e9");
    }
    CHECK(file.Bytes() == Le({0xFEFF, 'A', 'B', '\r', '\r', '\n', 'C', 0xE9}));
}

TEST_CASE("the log file: the header only on an empty file, appends at the end, a folder that is missing fails with its error") {
    TempFile log;  // made empty
    CWin32LogFile file;
    uint32_t error = 0;
    REQUIRE(file.Append(log.Utf16Path(), "H\r\n", "a\r\n", error));
    REQUIRE(file.Append(log.Utf16Path(), "H\r\n", "b\r\n", error));
    const std::vector<unsigned char> bytes = log.Bytes();
    CHECK(std::string(bytes.begin(), bytes.end()) == "H\r\na\r\nb\r\n");
    CHECK_FALSE(file.Append(log.Utf16Path() + u".missing\\log.csv", "H\r\n", "c\r\n", error));
    CHECK(error == ERROR_PATH_NOT_FOUND);
}

TEST_CASE("a recording file that cannot be opened gives no writer") {
    CWin32PipelinePlatform platform;
    CHECK_FALSE(platform.OpenRecordFile(u""));
    CHECK_FALSE(platform.OpenRecordFile(u"Z:\\no such folder\\x\\scan.txt"));
}

TEST_CASE("received bytes are read in the ANSI code page and end at a NUL") {
    CWin32PipelinePlatform platform;
    wchar_t expected[2] = {};
    const char high[] = "\xe9";
    MultiByteToWideChar(CP_ACP, 0, high, 1, expected, 1);
    CHECK(platform.AnsiToUtf16("a\xe9\r\n\0zz") == std::u16string(u"a") + char16_t(expected[0]) + u"\r\n");
    CHECK(platform.AnsiToUtf16("").empty());
}

// Asked through the platform, as the worker asks it for a reading's rules.
TEST_CASE("{DATE} and {TIME} are today and this minute in the user's short formats, without seconds") {
    CWin32PipelinePlatform real;
    IPipelinePlatform& platform = real;
    SYSTEMTIME before;
    GetLocalTime(&before);
    const std::u16string date = platform.LocalDateTime(false);
    const std::u16string time = platform.LocalDateTime(true);
    SYSTEMTIME after;
    GetLocalTime(&after);
    const auto twoDigits = [](unsigned value) {
        return std::u16string{static_cast<char16_t>(u'0' + value / 10 % 10), static_cast<char16_t>(u'0' + value % 10)};
    };
    CAPTURE(std::string(date.begin(), date.end()));
    CAPTURE(std::string(time.begin(), time.end()));
    CHECK(date.find(twoDigits(before.wYear)) != std::u16string::npos);  // "yy" or "yyyy" in every short format
    CHECK((time.find(twoDigits(before.wMinute)) != std::u16string::npos ||
           time.find(twoDigits(after.wMinute)) != std::u16string::npos));
    CHECK(std::count(time.begin(), time.end(), u':') == 1);  // hours and minutes only
}

// What an elevated copy's lock does to a normal one cannot be shown here (Wine has no integrity
// levels): the descriptor the lock is made with, and the rights a copy asks for, can.
TEST_CASE("a lock of the copies is made for the user with only the rights to wait on and release it") {
    wchar_t name[64];
    _snwprintf(name, 64, L"Local\\Velmora.DORVANE.Test.%lu", GetCurrentProcessId());
    HANDLE made = framework::OpenCopyLock(name);
    REQUIRE(made != nullptr);
    HANDLE opened = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name);
    REQUIRE(opened != nullptr);
    CHECK(WaitForSingleObject(opened, 0) == WAIT_OBJECT_0);
    CHECK(ReleaseMutex(opened));
    HANDLE again = framework::OpenCopyLock(name);  // there already: opened with the same rights
    REQUIRE(again != nullptr);
    CHECK(WaitForSingleObject(again, 0) == WAIT_OBJECT_0);
    CHECK(ReleaseMutex(again));

    // One entry in its DACL: the user, SYNCHRONIZE | MUTEX_MODIFY_STATE.
    HANDLE reader = OpenMutexW(READ_CONTROL, FALSE, name);  // the owner may read it
    REQUIRE(reader != nullptr);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    REQUIRE(GetSecurityInfo(reader, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                            &descriptor) == ERROR_SUCCESS);
    REQUIRE(dacl != nullptr);
    CHECK(dacl->AceCount == 1);
    void* ace = nullptr;
    REQUIRE(GetAce(dacl, 0, &ace));
    const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    CHECK(allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE);
    CHECK(allowed->Mask == (SYNCHRONIZE | MUTEX_MODIFY_STATE));
    HANDLE token = nullptr;
    REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE user[256];
    DWORD size = sizeof user;
    REQUIRE(GetTokenInformation(token, TokenUser, user, size, &size));
    CHECK(EqualSid(reinterpret_cast<PSID>(const_cast<DWORD*>(&allowed->SidStart)),
                   reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
    CloseHandle(token);
    LocalFree(descriptor);
    for (HANDLE handle : {made, opened, again, reader}) {
        CloseHandle(handle);
    }
}

TEST_CASE("the typing lock left by a copy's thread that ended is taken as abandoned; a window's claim is one copy's") {
    CWin32PipelinePlatform ended, next;
    std::thread([&] { CHECK(ended.TryLockTyping(0) == TypingLockTry::kTaken); }).join();
    CHECK(next.TryLockTyping(0) == TypingLockTry::kTakenAbandoned);
    next.UnlockTyping();
    CHECK(next.TryLockTyping(0) == TypingLockTry::kTaken);
    next.UnlockTyping();

    CHECK(next.TryClaimWindow(0x1234, 0) == TypingLockTry::kTaken);
    std::thread([&] {
        CWin32PipelinePlatform other;
        CHECK(other.TryClaimWindow(0x1234, 0) == TypingLockTry::kBusy);
        CHECK(other.TryClaimWindow(0x5678, 0) == TypingLockTry::kTaken);  // another window
        other.ReleaseWindowClaim();
    }).join();
    next.ReleaseWindowClaim();
    std::thread([&] {
        CWin32PipelinePlatform other;
        CHECK(other.TryClaimWindow(0x1234, 20) == TypingLockTry::kTaken);
        other.ReleaseWindowClaim();
    }).join();
}

TEST_CASE("the Caps Lock watch takes the Shift-lock setting from the user's profile and follows its changes") {
    HKEY key = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, L"Keyboard Layout", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS);
    DWORD saved = 0, size = sizeof saved;
    const bool had =
        RegGetValueW(key, nullptr, L"Attributes", RRF_RT_REG_DWORD, nullptr, &saved, &size) == ERROR_SUCCESS;
    const auto set = [key](DWORD value) {
        RegSetValueExW(key, L"Attributes", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    };
    set(KLF_SHIFTLOCK);
    {
        CCapsLockWatch watch;
        REQUIRE(watch.Start());
        CHECK(testing::Eventually([&] { return watch.ShiftLock(); }));
        set(0);
        CHECK(testing::Eventually([&] { return !watch.ShiftLock(); }));
        set(0x1 | KLF_SHIFTLOCK);  // another bit beside it
        CHECK(testing::Eventually([&] { return watch.ShiftLock(); }));
        // A read the typing asks for comes back within its bound.
        const DWORD since = GetTickCount();
        watch.Reread();
        CHECK(GetTickCount() - since < 1000);
    }
    if (had) {
        set(saved);
    } else {
        RegDeleteValueW(key, L"Attributes");
    }
    RegCloseKey(key);
}
