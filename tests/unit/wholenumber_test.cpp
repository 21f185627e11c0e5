#include <doctest/doctest.h>

#include <climits>
#include <string>

#include "framework/core/wholenumber.h"

using dorvane::ParseWholeNumber;

TEST_CASE("whole numbers typed with spaces and a sign are read") {
    CHECK(ParseWholeNumber(u"0") == 0);
    CHECK(ParseWholeNumber(u"  42 ") == 42);
    CHECK(ParseWholeNumber(u"\t-7") == -7);
    CHECK(ParseWholeNumber(u"+15") == 15);
    CHECK(ParseWholeNumber(u"2147483647") == INT_MAX);
    CHECK(ParseWholeNumber(u"-2147483648") == INT_MIN);
}

TEST_CASE("anything but a whole number is refused, so the page can ask again") {
    for (auto text : {u"", u"   ", u"-", u"12a", u"1.5", u"1 2", u"0x10", u"2147483648", u"-2147483649",
                      u"99999999999999999999", u"\uff11"}) {
        CAPTURE(std::u16string(text).size());
        CHECK_FALSE(ParseWholeNumber(text).has_value());
    }
}
