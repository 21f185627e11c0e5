#include <doctest/doctest.h>

#include "pipeline/core/recordencoding.h"

using namespace dorvane;

TEST_CASE("recording bytes: UTF-16LE with one mark on an empty file, LF as CR LF, a UTF-8 file stays UTF-8") {
    using namespace std::string_literals;
    CHECK(EncodeRecordItem(u"A\r\n", RecordEncoding::kUtf16Le, true) == "\xFF\xFE" "A\0\r\0\r\0\n\0"s);
    CHECK(EncodeRecordItem(u"\u00e9\n", RecordEncoding::kUtf16Le, false) == "\xE9\0\r\0\n\0"s);

    const uint8_t utf8Mark[] = {0xEF, 0xBB, 0xBF};
    const uint8_t utf16Mark[] = {0xFF, 0xFE, 0x41};
    CHECK(EncodingForAppend(utf8Mark, 3) == RecordEncoding::kUtf8);
    CHECK(EncodingForAppend(utf16Mark, 3) == RecordEncoding::kUtf16Le);
    CHECK(EncodingForAppend(utf8Mark, 2) == RecordEncoding::kUtf16Le);  // too short to be the mark
    CHECK(EncodeRecordItem(u"\u00e9\n\U0001F600\xD800", RecordEncoding::kUtf8, false) ==
          "\xC3\xA9\r\n\xF0\x9F\x98\x80\xEF\xBF\xBD"s);
}
