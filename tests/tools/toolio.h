// Shared by the test helper programs: a line file the tests can read while it grows, and the
// escaping that keeps one record on one line (\\, \r, \n, \t and \xHH for other controls).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace toolio {

inline std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

// Text in the given code page (CP_UTF8, CP_ACP, ...) as UTF-16.
inline std::wstring Decode(UINT codePage, std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

inline std::string Escape(std::wstring_view text) {
    std::wstring escaped;
    for (wchar_t ch : text) {
        switch (ch) {
            case L'\\':
                escaped += L"\\\\";
                break;
            case L'\r':
                escaped += L"\\r";
                break;
            case L'\n':
                escaped += L"\\n";
                break;
            case L'\t':
                escaped += L"\\t";
                break;
            default:
                if (ch < L' ') {
                    wchar_t hex[8];
                    wsprintfW(hex, L"\\x%02x", static_cast<unsigned>(ch));
                    escaped += hex;
                } else {
                    escaped += ch;
                }
        }
    }
    return ToUtf8(escaped);
}

// Appends lines to a file with one unbuffered write each, so that a reader polling the file
// never sees half a line and sees every line as soon as it is written.
class LineFile {
public:
    explicit LineFile(const wchar_t* path) {
        m_file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~LineFile() {
        if (ok()) {
            CloseHandle(m_file);
        }
    }
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    bool ok() const { return m_file != INVALID_HANDLE_VALUE; }
    void Write(const std::string& line) {
        const std::string withEnd = line + "\n";
        DWORD written = 0;
        if (ok()) {
            WriteFile(m_file, withEnd.data(), static_cast<DWORD>(withEnd.size()), &written, nullptr);
        }
    }

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// Microseconds of the performance counter, which under Wine follows the host's
// CLOCK_MONOTONIC_RAW: both sides of a latency measurement can stamp on it.
inline long long NowMicroseconds() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<long long>(counter.QuadPart / frequency.QuadPart * 1000000 +
                                  counter.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

}  // namespace toolio
