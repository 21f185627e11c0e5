#include <doctest/doctest.h>

#include <string>
#include <utility>
#include <vector>

#include "pipeline/core/readingrules.h"
#include "settingspages/core/rulepreview.h"

using namespace dorvane;

namespace {

std::u16string U(const char* text) {
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string FixedDateTime(bool time) {
    return time ? u"14:05" : u"09.12.2026";
}

// Each reading as the settings page would show it, "(skipped)" for one that types nothing.
std::vector<std::u16string> Shown(const CReadingRules& rules, const std::u16string& item) {
    std::vector<std::u16string> shown;
    for (const ShapedReading& reading : rules.Apply(item, FixedDateTime)) {
        shown.push_back(reading.skipped   ? u"(skipped)"
                        : reading.refused ? u"(refused: " + reading.refusal + u")"
                                          : DescribePieces(reading.pieces));
    }
    return shown;
}

// The default settings, changed as `change` does.
template <class Change>
ReadingRuleSettings With(Change change) {
    ReadingRuleSettings settings;
    change(settings);
    return settings;
}

}  // namespace

TEST_CASE("reading rules off: every item comes out as it came in, split after its line ends") {
    CReadingRules rules;
    REQUIRE_FALSE(rules.Set({}));
    CHECK(rules.AllOff());
    for (const char* item : {"4006381333931\r\n", "abc", "a\rb\nc\r\n\n", "", "\r\n"}) {
        std::u16string joined;
        for (const ShapedReading& reading : rules.Apply(U(item), FixedDateTime)) {
            CHECK_FALSE(reading.skipped);
            for (const TypedPiece& piece : reading.pieces) {
                CHECK(piece.vk == 0);
                joined += piece.text;
            }
        }
        CHECK(joined == U(item));
    }
    CHECK(Shown(rules, u"a\rb\nc\r\n\nd") == std::vector<std::u16string>{u"a\r", u"b\n", u"c\r\n", u"\n", u"d"});
}

TEST_CASE("reading rules on real device lines, applied in order: replace, strip, extract, number, decimal, case, checks, prefix and suffix") {
    struct Case {
        const char* device;
        ReadingRuleSettings settings;
        const char* line;
        std::vector<std::u16string> typed;
    };
    const Case cases[] = {
        {"scanner, Tab instead of the line end",
         With([](auto& s) { s.suffix = u"{TAB}", s.keepLineEnd = false; }), "4006381333931\r\n", {u"4006381333931{TAB}"}},
        {"scanner with an AIM prefix", With([](auto& s) { s.extract = u"^\\][A-Za-z][0-9](.*)$"; }), "]E04006381333931\r",
         {u"4006381333931\r"}},
        {"scale, weight with a decimal comma", With([](auto& s) { s.number = 2, s.decimal = u","; }),
         "ST,GS,+0012.345kg\r\n", {u"12,345\r\n"}},
        {"scale, negative in pounds", With([](auto& s) { s.number = 2; }), "  -000.50 lb\r", {u"-0.50\r"}},
        {"scale, whole grams kept as sent", With([](auto& s) { s.number = 1; }), "W +0007 g\n", {u"+0007\n"}},
        {"scale, the field after its label", With([](auto& s) { s.extract = u"N: *([^ ]+)", s.number = 2, s.decimal = u"."; }),
         "G: 1,20 N: 0001,05 kg\r", {u"1.05\r"}},
        {"RFID reader framed by STX and ETX", With([](auto& s) { s.strip = u"\\x02\\x03", s.textCase = 2; }),
         "\x02" "0A1B2C3D\x03\r\n", {u"0a1b2c3d\r\n"}},
        {"a line with several numbers", With([](auto& s) { s.number = 1; }), "T=21.5C H=40%\r", {u"21.5\r"}},
        {"no match: nothing typed, its line end neither, the next one typed",
         With([](auto& s) { s.extract = u"^[0-9]+$"; }), "ABC\r123\r", {u"(skipped)", u"123\r"}},
        {"no number", With([](auto& s) { s.number = 1; }), "ERR\r", {u"(skipped)"}},
        {"date, time, braces and a combination", With([](auto& s) {
             s.prefix = u"{date} {TIME} {{", s.suffix = u"}}{ctrl+shift+tab}{F12}", s.textCase = 1;
         }),
         "ab\r", {u"09.12.2026 14:05 {{AB}}{SHIFT+CTRL+TAB}{F12}\r"}},
        {"a line end alone gets no prefix or suffix", With([](auto& s) { s.prefix = u"P", s.suffix = u"{TAB}"; }),
         "x\r\n\n", {u"Px{TAB}\r\n", u"\n"}},
        {"MT-SICS balance: the stable weight typed, an unsettled one skipped",
         With([](auto& s) { s.extract = u"^S S\\s+(\\S+)"; }), "S S      12.345 g\r\nS D      12.301 g\r\n",
         {u"12.345\r\n", u"(skipped)"}},
        {"GS1 DataMatrix: each group separator becomes Tab", With([](auto& s) { s.replace = u"\\x1d={TAB}"; }),
         "0104006381333931\x1d" "10ABC\x1d" "21XYZ\r\n", {u"0104006381333931{TAB}10ABC{TAB}21XYZ\r\n"}},
        {"GS1 DataMatrix: the separator shown by name, ESC dropped, then upper case",
         With([](auto& s) { s.replace = u"\\x1d=<GS>;\\x1b=", s.textCase = 1; }), "01a\x1d\x1b" "10b\r", {u"01A<GS>10B\r"}},
        {"a plain pair before a pair with keys: each its own", With([](auto& s) { s.replace = u"a=b;\\x1d={TAB}"; }),
         "a\x1d" "c\r", {u"b{TAB}c\r"}},
        {"replacements in one pass: what one wrote is not replaced again", With([](auto& s) { s.replace = u"a=b;b=c"; }),
         "ab\r", {u"bc\r"}},
        {"a replacement's key goes through the expression and the case as one character",
         With([](auto& s) { s.replace = u"\\x1d={TAB};\\;=\\=", s.extract = u"^01(.*)$", s.textCase = 2; }),
         "01AB\x1d" "CD;\r", {u"ab{TAB}cd=\r"}},
        {"GTIN: a valid EAN-13 is typed, a wrong check digit is refused, other text untouched",
         With([](auto& s) { s.checkGtin = true, s.suffix = u"{TAB}"; }), "4006381333931\r4006381333932\rABC\r",
         {u"4006381333931{TAB}\r", u"(refused: check digit)", u"ABC{TAB}\r"}},
        {"GTIN judged after the rules: the code a scale's label carries",
         With([](auto& s) { s.checkGtin = true, s.strip = u" "; }), "400 6381 333932\r", {u"(refused: check digit)"}},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.device));
        CReadingRules rules;
        REQUIRE_FALSE(rules.Set(c.settings));
        CHECK_FALSE(rules.AllOff());
        CHECK(Shown(rules, U(c.line)) == c.typed);
    }
    // A noncharacter that came in (UTF-8 carries them) is never taken for a replacement's keys.
    for (const auto& [replace, typed] : {std::pair{u"x={TAB}", u"\uFFFD{TAB}!\r"}, std::pair{u"", u"\uFDD0x!\r"}}) {
        CReadingRules rules;
        REQUIRE_FALSE(rules.Set(With([&](auto& s) { s.replace = replace, s.suffix = u"!"; })));
        CHECK(Shown(rules, u"\uFDD0x\r") == std::vector<std::u16string>{typed});
    }

    // Named keys carry what a recording writes for them: a tab, a line end, nothing for the rest.
    CReadingRules rules;
    REQUIRE_FALSE(rules.Set(With([](auto& s) { s.suffix = u"{TAB}{ENTER}{ESC}{ALT+F4}"; })));
    const std::vector<TypedPiece> expected{{u"7", 0, 0}, {u"\t", 0x09, 0}, {u"\n", 0x0D, 0}, {u"", 0x1B, 0},
                                           {u"", 0x73, kWithAlt}};
    CHECK(rules.Apply(u"7", FixedDateTime).at(0).pieces == expected);
}

TEST_CASE("reading rules that cannot work are refused with a text for the user, and the rules stay as they were") {
    struct Case {
        ReadingRuleSettings settings;
        const char16_t* error;
    };
    const Case cases[] = {
        {With([](auto& s) { s.strip = u"\\q"; }), u"DATA_STRIP: unknown escape (use \\t \\r \\n \\xHH or \\\\)!"},
        {With([](auto& s) { s.strip = u"\\x0"; }), u"DATA_STRIP: \\x needs two hexadecimal digits!"},
        {With([](auto& s) { s.extract = u"([0-9]"; }), u"DATA_EXTRACT: the expression is not valid!"},
        {With([](auto& s) { s.prefix = u"{TAB"; }), u"DATA_PREFIX: a \"{\" without its \"}\"!"},
        {With([](auto& s) { s.suffix = u"x}"; }), u"DATA_SUFFIX: a \"}\" without its \"{\"!"},
        {With([](auto& s) { s.suffix = u"{F25}"; }), u"DATA_SUFFIX: unknown key name {F25}!"},
        {With([](auto& s) { s.prefix = u"{WIN+R}"; }), u"DATA_PREFIX: unknown key name {WIN+R}!"},
        {With([](auto& s) { s.prefix = u"{A}"; }), u"DATA_PREFIX: unknown key name {A}!"},  // a plain character is text
        {With([](auto& s) { s.number = 3; }), u"DATA_NUMBER must be 0, 1 or 2!"},
        {With([](auto& s) { s.decimal = u";"; }), u"DATA_DECIMAL must be \",\" or \".\"!"},
        {With([](auto& s) { s.textCase = 7; }), u"DATA_CASE must be 0, 1 or 2!"},
        {With([](auto& s) { s.replace = u"\\x1d"; }), u"DATA_REPLACE: a pair without \"=\"!"},
        {With([](auto& s) { s.replace = u"a=b;=c"; }), u"DATA_REPLACE: nothing to replace before \"=\"!"},
        {With([](auto& s) { s.replace = u"a=b=c"; }), u"DATA_REPLACE: a pair with a second \"=\" (\\= is the character)!"},
        {With([](auto& s) { s.replace = u"\\q=x"; }), u"DATA_REPLACE: unknown escape (use \\t \\r \\n \\xHH \\\\ \\; or \\=)!"},
        {With([](auto& s) { s.replace = u"\\x1=x"; }), u"DATA_REPLACE: \\x needs two hexadecimal digits!"},
        {With([](auto& s) { s.replace = u"a=\\t"; }),
         u"DATA_REPLACE: after \"=\" keys go in braces ({TAB}); \\; \\= and \\\\ are its only escapes!"},
        {With([](auto& s) { s.replace = u"a={TABB}"; }), u"DATA_REPLACE: unknown key name {TABB}!"},
    };
    for (const Case& c : cases) {
        CReadingRules rules;
        REQUIRE_FALSE(rules.Set(With([](auto& s) { s.suffix = u"!"; })));
        CHECK(rules.Set(c.settings) == std::optional<std::u16string>(c.error));
        CHECK(Shown(rules, u"a\r") == std::vector<std::u16string>{u"a!\r"});
    }
}

TEST_CASE("the settings page's sample: the last reading with text, shown with escapes, previewed as typed") {
    // The sample is the item's last reading that has text, its line end kept.
    for (const auto& [item, last] : std::vector<std::pair<const char*, const char*>>{
             {"ST,GS,+0012.345kg\r\n", "ST,GS,+0012.345kg\r\n"},
             {"A1\rB2\r\n\n", "B2\r\n"},
             {"\n", ""},
             {"partial", "partial"}}) {
        CHECK(LastReadingOf(U(item)) == U(last));
    }
    // Controls and backslashes shown as escapes and read back; a backslash that starts no escape
    // (still being typed) stays itself.
    const std::u16string raw = u"\x02" u"ab\\c\t\r\n\x7f";
    CHECK(EscapedSample(raw) == u"\\x02ab\\\\c\\t\\r\\n\\x7F");
    CHECK(UnescapedSample(EscapedSample(raw)) == raw);
    CHECK(UnescapedSample(u"a\\qb\\x4") == u"a\\qb\\x4");

    // Keys in braces, line ends as escapes, a reading that is not typed told; a rule that cannot
    // work shows its refusal.
    ReadingRuleSettings scale;
    scale.number = 1;
    scale.suffix = u"{TAB}";
    CHECK(PreviewOf(scale, u"W 7\\r\\nno weight\\r", FixedDateTime) == u"7{TAB}\\r\\n(not typed: no match)");
    scale.extract = u"(";
    CHECK(PreviewOf(scale, u"1", FixedDateTime) == CReadingRules().Set(scale).value_or(u"accepted"));

    ReadingRuleSettings checked;
    checked.checkGtin = true;
    CHECK(PreviewOf(checked, u"4006381333932\\r\\n", FixedDateTime) == u"(refused: check digit)");
}

TEST_CASE("the GS1 check digit of EAN-8, UPC-A, EAN-13 and GTIN-14, other text not judged") {
    struct Case {
        const char16_t* text;
        bool fits;
    };
    const Case cases[] = {
        {u"96385074", true},       {u"96385075", false},        // EAN-8
        {u"036000291452", true},   {u"036000291453", false},    // UPC-A
        {u"4006381333931", true},  {u"4006381333932", false},   // EAN-13
        {u"10012345678902", true}, {u"10012345678903", false},  // GTIN-14
        {u"00012345678905", true},                              // a UPC-A as GTIN-14
        {u"12345670", true},       {u"12345671", false},        // a check digit of 0
        {u"1234567", true},        {u"123456789", true},        // other lengths
        {u"400638133393X", true},  {u"4006381333 93", true},    // not all digits
        {u"", true},
    };
    for (const Case& c : cases) {
        CAPTURE(&c - cases);
        CHECK(GtinCheckDigitFits(c.text) == c.fits);
    }
}
