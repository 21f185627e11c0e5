// Error texts and trace formatting against the real system (run under Wine). Expected texts
// come from the system itself at run time, never from Windows' wording.
#include <windows.h>

#include <string>

#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "doctest/doctest.h"

namespace {

constexpr DWORD kCodeWithoutText = 0x20001234;  // customer bit set: the system has no text

// The system's raw English text for a code, or "" with *failure set.
std::wstring SystemText(DWORD code, DWORD* failure = nullptr) {
    LPWSTR text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0x0409, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (n == 0) {
        if (failure != nullptr) {
            *failure = GetLastError();
        }
        return L"";
    }
    std::wstring result(text);
    LocalFree(text);
    return result;
}

std::wstring Stripped(std::wstring text) {
    while (!text.empty() && text.back() < L' ') {
        text.pop_back();
    }
    return text;
}

std::wstring TakeBlock(HLOCAL block) {
    REQUIRE(block != nullptr);
    std::wstring text(static_cast<LPCWSTR>(block));
    CHECK(LocalFree(block) == nullptr);
    return text;
}

std::wstring Format(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    std::wstring text = FormatTraceText(format, args);
    va_end(args);
    return text;
}

}  // namespace

TEST_SUITE("error texts (Win32)") {
    TEST_CASE("FormatLastError returns the system's own text for a known code") {
        const std::wstring expected = SystemText(ERROR_FILE_NOT_FOUND);
        REQUIRE_FALSE(expected.empty());
        CHECK(TakeBlock(FormatLastError(ERROR_FILE_NOT_FOUND)) == expected);
    }

    TEST_CASE("a code without text gives the reason the system could not format it") {
        DWORD failure = 0;
        REQUIRE(SystemText(kCodeWithoutText, &failure).empty());
        REQUIRE(failure != 0);
        const std::wstring reason = SystemText(failure);
        REQUIRE_FALSE(reason.empty());

        const std::wstring text = TakeBlock(FormatLastError(kCodeWithoutText));
        CHECK(text == L"FormatMessage failed on error 0x20001234 for the following reason: " + reason);
        CHECK(GetErrorText(kCodeWithoutText, nullptr) == L"error-ID = 536875572\n" + Stripped(text));
    }

    TEST_CASE("a text with insert markers comes back raw instead of reading missing arguments") {
        // 317's own text carries %1 and %2 markers.
        const std::wstring raw = SystemText(ERROR_MR_MID_NOT_FOUND);
        REQUIRE(raw.find(L"%1") != std::wstring::npos);
        CHECK(TakeBlock(FormatLastError(ERROR_MR_MID_NOT_FOUND)) == raw);
    }

    TEST_CASE("GetErrorText with code 0 uses and reports the thread's last error") {
        DWORD code = 12345;
        SetLastError(0);
        CHECK(GetErrorText(0, &code) == L"error-ID = 0");
        CHECK(code == 0);

        code = 12345;
        SetLastError(ERROR_FILE_NOT_FOUND);
        CHECK(GetErrorText(0, &code) == L"error-ID = 2\n" + Stripped(SystemText(ERROR_FILE_NOT_FOUND)));
        CHECK(code == ERROR_FILE_NOT_FOUND);
    }

    TEST_CASE("GetErrorText with a code leaves the place for the code untouched") {
        DWORD code = 12345;
        const std::wstring text = GetErrorText(ERROR_ACCESS_DENIED, &code);
        CHECK(text == L"error-ID = 5\n" + Stripped(SystemText(ERROR_ACCESS_DENIED)));
        CHECK(text.back() >= L' ');
        CHECK(code == 12345);
    }
}

TEST_SUITE("trace formatting (Win32)") {
    TEST_CASE("TraceLog's formatting takes wide strings for %s and has no length limit") {
        CHECK(Format(L"open com-port [%s], failed!", L"COM12") == L"open com-port [COM12], failed!");
        CHECK(Format(L"comm read: %d, %u", -7, 4000000000u) == L"comm read: -7, 4000000000");
        const std::wstring longText(5000, L'q');
        CHECK(Format(L"%s", longText.c_str()) == longText);
        CHECK(Format(L"") == L"");
    }
}
