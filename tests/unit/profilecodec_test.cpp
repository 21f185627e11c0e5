// Conversions between stored bytes or INI text and settings.
#include <cstdint>
#include <vector>

#include "doctest/doctest.h"
#include "settings/core/profilecodec.h"

using namespace dorvane;

TEST_SUITE("profile encodings") {
    TEST_CASE("INI integers are signed decimal over the whole 32-bit range") {
        CHECK(IniIntText(0) == u"0");
        CHECK(IniIntText(-5) == u"-5");
        CHECK(IniIntText(2147483647) == u"2147483647");
        CHECK(IniIntText(INT32_MIN) == u"-2147483648");
    }

    TEST_CASE("INI binary text: low nibble first, every byte survives the round trip") {
        const uint8_t dcb[] = {0x1C, 0x00, 0x00, 0x00, 0x80, 0x25};
        CHECK(IniBinaryText(dcb, 6) == u"MBAAAAAAAIFC");
        std::vector<uint8_t> all(256);
        for (int i = 0; i < 256; ++i) {
            all[i] = static_cast<uint8_t>(i);
        }
        std::vector<uint8_t> back;
        CHECK(DecodeIniBinary(IniBinaryText(all.data(), all.size()), back));
        CHECK(back == all);
    }

    TEST_CASE("INI binary text that is not a whole encoding decodes to nothing") {
        std::vector<uint8_t> out{1, 2};
        CHECK_FALSE(DecodeIniBinary(u"", out));
        CHECK(out.empty());
        CHECK_FALSE(DecodeIniBinary(u"MBA", out));
        CHECK_FALSE(DecodeIniBinary(u"MBAQ", out));
        CHECK_FALSE(DecodeIniBinary(u"mbaa", out));
        CHECK_FALSE(DecodeIniBinary(u"MB@A", out));
        CHECK(out.empty());
    }
}
