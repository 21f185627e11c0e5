// The recording file and the code-page conversion on the real C runtime and system.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "doctest/doctest.h"
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
