#include <doctest/doctest.h>

#include <string>

#include "settingspages/core/pathsplit.h"

using namespace dorvane;

namespace {

std::pair<std::u16string, std::u16string> Split(const std::u16string& path, size_t chars = 260) {
    std::u16string folder(chars, u'#'), name(chars, u'#');
    GetPathFolder(path.c_str(), folder.data(), chars, u'\\');
    GetPathFileName(path.c_str(), name.data(), chars, u'\\');
    return {folder.c_str(), name.c_str()};
}

}  // namespace

TEST_CASE("a recording path splits at its last backslash") {
    CHECK(Split(u"D:\\data\\scan.log") == std::pair<std::u16string, std::u16string>{u"D:\\data", u"scan.log"});
    CHECK(Split(u"scan.log") == std::pair<std::u16string, std::u16string>{u"", u"scan.log"});
    CHECK(Split(u"D:\\scan.log") == std::pair<std::u16string, std::u16string>{u"D:", u"scan.log"});
    CHECK(Split(u"D:\\data\\") == std::pair<std::u16string, std::u16string>{u"D:\\data", u""});
    CHECK(Split(u"") == std::pair<std::u16string, std::u16string>{u"", u""});
}

TEST_CASE("a part longer than its buffer is left out, never copied past it") {
    const std::u16string longFolder = u"C:\\" + std::u16string(300, u'f');
    char16_t small[4];
    CHECK(GetPathFolder((longFolder + u"\\x.txt").c_str(), small, 4, u'\\') == nullptr);
    CHECK(small[0] == u'\0');
    CHECK(GetPathFileName(u"C:\\abcd", small, 4, u'\\') == nullptr);
    CHECK(GetPathFileName(u"C:\\abc", small, 4, u'\\') == std::u16string_view(u"abc"));
}
