// Line-end and length rules of trace lines.
#include <string>

#include "diag/core/tracetext.h"
#include "doctest/doctest.h"

using namespace dorvane;

namespace {

std::u16string Finish(std::u16string text) {
    std::u16string buffer(kTraceBufferChars, u'#');
    const size_t length = std::min(text.size(), kTraceBufferChars - 1);
    text.copy(buffer.data(), length);
    const size_t finished = FinishTraceLine(buffer.data(), length);
    REQUIRE(buffer[finished] == u'\0');
    return buffer.substr(0, finished);
}

}  // namespace

TEST_SUITE("trace text") {
    TEST_CASE("a line end is added unless the text ends with LF") {
        CHECK(Finish(u"x") == u"x\r\n");
        CHECK(Finish(u"x\n") == u"x\n");
        CHECK(Finish(u"x\r\n") == u"x\r\n");
        CHECK(Finish(u"x\r") == u"x\r\r\n");
        CHECK(Finish(u"") == u"\r\n");
    }

    TEST_CASE("a long text is cut at the formatter's limit and still ends the line") {
        std::u16string text;
        for (int i = 0; i < 2000; ++i) {
            text.push_back(static_cast<char16_t>(u'a' + i % 26));
        }
        const std::u16string line = Finish(text);
        CHECK(line.size() == kTraceTextLimit + 2);
        CHECK(line.substr(0, kTraceTextLimit) == text.substr(0, kTraceTextLimit));
        CHECK(line.substr(kTraceTextLimit) == u"\r\n");
    }

    TEST_CASE("a LF beyond the limit does not count as the line end") {
        std::u16string text(kTraceTextLimit, u'y');
        text += u"\n";
        CHECK(Finish(text) == std::u16string(kTraceTextLimit, u'y') + u"\r\n");

        std::u16string exact(kTraceTextLimit - 1, u'z');
        exact += u"\n";
        CHECK(Finish(exact) == exact);
    }
}
