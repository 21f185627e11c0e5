// The error reporter's fixed texts.
#include <string>

#include "diag/core/errortext.h"
#include "doctest/doctest.h"

using namespace dorvane;

TEST_SUITE("error text") {
    TEST_CASE("error-ID lines in unsigned decimal") {
        CHECK(ErrorIdText(0) == u"error-ID = 0");
        CHECK(ErrorIdText(2) == u"error-ID = 2");
        CHECK(ErrorIdText(0xFFFFFFFFu) == u"error-ID = 4294967295");
    }

    TEST_CASE("the system text follows on its own line without its trailing line end") {
        CHECK(ErrorIdText(5, u"Access denied.\r\n") == u"error-ID = 5\nAccess denied.");
        CHECK(ErrorIdText(5, u"Two\r\nlines. \t\r\n") == u"error-ID = 5\nTwo\r\nlines. ");
        CHECK(ErrorIdText(5, u"\r\n\x01") == u"error-ID = 5\n");
        CHECK(ErrorIdText(5, u"") == u"error-ID = 5\n");
    }

    TEST_CASE("report text: message, tab, line feed, error text") {
        CHECK(ErrorReportText(u"Open com-port failed!", u"error-ID = 2\nFile not found.") ==
              u"*Error: Open com-port failed!\t\nerror-ID = 2\nFile not found.");
        // A message holding format markers is carried as plain text.
        CHECK(ErrorReportText(u"50% %s %n", u"error-ID = 0") == u"*Error: 50% %s %n\t\nerror-ID = 0");
    }

    TEST_CASE("fallback text names the code in lower-case hexadecimal without leading zeros") {
        CHECK(FormatFailureText(0xDEADBEEF, u"why", 2048) ==
              u"FormatMessage failed on error 0xdeadbeef for the following reason: why");
        CHECK(FormatFailureText(0x13D, u"x", 2048) ==
              u"FormatMessage failed on error 0x13d for the following reason: x");
        CHECK(FormatFailureText(0, u"", 2048) ==
              u"FormatMessage failed on error 0x0 for the following reason: ");
    }

    TEST_CASE("fallback text never outgrows its block") {
        const std::u16string reason(5000, u'r');
        const std::u16string text = FormatFailureText(7, reason, 2048);
        CHECK(text.size() == 2047);
        CHECK(text.rfind(u"FormatMessage failed on error 0x7 for the following reason: r", 0) == 0);
        CHECK(FormatFailureText(7, reason, 1).empty());
        CHECK(FormatFailureText(7, reason, 0).empty());
    }
}
