#include <doctest/doctest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/core/readingsview.h"

using namespace dorvane;

namespace {

constexpr LocalTime kToday{2026, 12, 10, 0, 0, 0, 0};

JournalEntry Reading(std::string raw, std::u16string typed, Outcome outcome = Outcome::kTyped) {
    JournalEntry entry;
    entry.raw = std::move(raw);
    entry.typed = std::move(typed);
    entry.outcome = outcome;
    return entry;
}

std::vector<uint64_t> Ids(std::initializer_list<uint64_t> ids) {
    return ids;
}

}  // namespace

TEST_CASE("readings window: a reading's row, its time with the date only on another day") {
    struct Case {
        const char* what;
        LocalTime completed;
        Outcome outcome;
        std::u16string reason, typed, program;
        ReadingRow row;
    };
    const Case cases[] = {
        {"typed today", {2026, 12, 10, 9, 5, 7, 45}, Outcome::kTyped, u"", u"4006381333931\r\n", u"till.exe",
         {u"09:05:07.045", u"typed", u"4006381333931\\r\\n", u"till.exe"}},
        {"skipped by a rule: its reason, nothing typed", {2026, 12, 10, 23, 59, 59, 999}, Outcome::kSkipped,
         u"no match", u"", u"", {u"23:59:59.999", u"skipped: no match", u"", u""}},
        {"yesterday's, held for a program", {2026, 12, 9, 18, 0, 1, 2}, Outcome::kWaiting,
         u"the chosen program is not in front", u"12.345{TAB}", u"notepad.exe",
         {u"2026-12-09 18:00:01.002", u"waiting: the chosen program is not in front", u"12.345{TAB}", u"notepad.exe"}},
        {"a tab and a backslash in the text are shown escaped", {2026, 12, 10, 1, 2, 3, 4}, Outcome::kRecorded, u"",
         u"A\tB\\C", u"app.exe", {u"01:02:03.004", u"recorded", u"A\\tB\\\\C", u"app.exe"}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        JournalEntry entry = Reading("", c.typed, c.outcome);
        entry.completed = c.completed;
        entry.reason = c.reason;
        entry.program = c.program;
        CHECK(RowOf(entry, kToday) == c.row);
    }
}

TEST_CASE("readings window: raw bytes by their names and in hexadecimal") {
    struct Case {
        std::string raw;
        std::u16string named, hex;
    };
    const Case cases[] = {
        {"12345\r\n", u"12345<CR><LF>", u"31 32 33 34 35 0D 0A"},
        {"\x02" "0104\x1d" "21AB\x03", u"<STX>0104<GS>21AB<ETX>", u"02 30 31 30 34 1D 32 31 41 42 03"},
        {std::string("\0\x1f\x7f ~", 5), u"<NUL><US><DEL> ~", u"00 1F 7F 20 7E"},
        {"Z\xe4hl<CR>", u"Z<xE4>hl<CR>", u"5A E4 68 6C 3C 43 52 3E"},  // literal "<CR>" only hex tells apart
        {"\x80\xff", u"<x80><xFF>", u"80 FF"},
        {"", u"", u""},
    };
    for (const Case& c : cases) {
        CAPTURE(c.raw);
        CHECK(RawBytesText(c.raw) == c.named);
        CHECK(RawBytesHex(c.raw) == c.hex);
    }
}

TEST_CASE("readings window: Copy gives one line per reading, as listed, without their line ends") {
    struct Case {
        const char* what;
        std::vector<std::u16string> typed;
        std::u16string clipboard;
    };
    const Case cases[] = {
        {"one reading: no line end at all", {u"4006381333931\r\n"}, u"4006381333931"},
        {"newest first as listed", {u"3\r", u"2\n", u"1\r\n"}, u"3\r\n2\r\n1"},
        {"named keys stay, other controls are escaped", {u"12.3{TAB}", u"a\tb\r\nc\r\n"},
         u"12.3{TAB}\r\na\\tb\\r\\nc"},
        {"a reading that typed nothing keeps its line", {u"x", u"", u"y"}, u"x\r\n\r\ny"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        std::vector<JournalEntry> readings;
        for (const std::u16string& typed : c.typed) {
            readings.push_back(Reading("", typed));
        }
        CHECK(CopyText(readings) == c.clipboard);
    }
}

TEST_CASE("readings window: Save As writes the log's columns, oldest first, UTF-8 with its mark and CR LF") {
    JournalEntry newer = Reading("8\xe4\r\n", u"8\u00e4\r\n");
    newer.completed = {2026, 12, 10, 14, 3, 7, 125};
    newer.port = u"COM12";
    newer.program = u"C:\\Apps\\till.exe";
    JournalEntry older = Reading("A,1\r", u"", Outcome::kSkipped);
    older.completed = {2026, 12, 10, 14, 3, 6, 0};
    older.port = u"COM12";
    CHECK(ReadingsFileBytes({newer, older}, u"Scale 2") ==
          "\xEF\xBB\xBF"
          "time,profile,port,outcome,typed,raw,program\r\n"
          "2026-12-10T14:03:06.000,Scale 2,COM12,skipped,,\"A,1\\r\",\r\n"
          "2026-12-10T14:03:07.125,Scale 2,COM12,typed,8\xC3\xA4\\r\\n,8\\xE4\\r\\n,till.exe\r\n");
    CHECK(ReadingsFileBytes({}, u"") == "\xEF\xBB\xBF" "time,profile,port,outcome,typed,raw,program\r\n");
}

TEST_CASE("readings window: a refresh keeps the selection, the focus and the top row by reading, not by row") {
    struct Case {
        const char* what;
        std::vector<uint64_t> ids;  // newest first, after the refresh
        ListState before;
        ListRows rows;
    };
    const Case cases[] = {
        {"two new readings on top move the selected ones down", Ids({7, 6, 5, 4, 3}),
         {{5, 3}, 5, std::nullopt, false}, {{2, 4}, 2, 0}},
        {"a selected reading that left the journal is let go", Ids({9, 8, 7}), {{7, 2}, 2, std::nullopt, false},
         {{2}, std::nullopt, 0}},
        {"scrolled down: its top reading stays at the top", Ids({12, 11, 10, 9, 8, 7}), {{}, {}, 9, false},
         {{}, std::nullopt, 3}},
        {"scrolled down to a reading that left: the next older one", Ids({12, 11, 8, 7}), {{}, {}, 9, false},
         {{}, std::nullopt, 2}},
        {"scrolled down past every reading left: the last one", Ids({12, 11}), {{}, {}, 3, false},
         {{}, std::nullopt, 1}},
        {"nothing selected stays so", Ids({4, 3}), {{}, {}, {}, false}, {{}, std::nullopt, 0}},
        {"the first readings in an empty list: the newest is selected", Ids({2, 1}), {{}, {}, {}, true},
         {{0}, 0, 0}},
        {"an empty journal: nothing", Ids({}), {{4}, 4, 4, false}, {{}, std::nullopt, 0}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(FollowRows(c.ids, c.before) == c.rows);
    }
}

TEST_CASE("readings window: its place is kept as text and read back only when it is one") {
    struct Case {
        std::u16string text;
        std::optional<WindowPlace> place;
    };
    const Case cases[] = {
        {u"120,80,720,480,96", WindowPlace{120, 80, 720, 480, 96, false}},
        {u"-1910,-20,1200,900,144,max", WindowPlace{-1910, -20, 1200, 900, 144, true}},
        {u"", std::nullopt},
        {u"120,80,720,480", std::nullopt},            // no DPI
        {u"120,80,0,480,96", std::nullopt},           // no width
        {u"120,80,720,480,96,min", std::nullopt},
        {u"120,80,720,480,20000", std::nullopt},      // no monitor has it
        {u"99999999,80,720,480,96", std::nullopt},    // beyond any screen
        {u"120,80,7x0,480,96", std::nullopt},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.text.begin(), c.text.end()));
        CHECK(ParsePlace(c.text) == c.place);
        if (c.place) {
            CHECK(FormatPlace(*c.place) == c.text);
        }
    }
}

TEST_CASE("readings window: a remembered place comes back whole on the screen, scaled to the DPI") {
    const ScreenRect work{0, 0, 1920, 1040};
    struct Case {
        const char* what;
        WindowPlace place;
        uint32_t dpi;
        ScreenRect rect;
    };
    const Case cases[] = {
        {"where it was", {100, 50, 700, 400, 96, false}, 96, {100, 50, 800, 450}},
        {"its monitor gone: back on the work area", {2500, 1200, 700, 400, 96, false}, 96, {1220, 640, 1920, 1040}},
        {"left of the work area", {-800, -30, 700, 400, 96, false}, 96, {0, 0, 700, 400}},
        {"at 150 % now, kept at 100 %", {100, 50, 700, 400, 96, false}, 144, {100, 50, 1150, 650}},
        {"larger than the work area: no larger", {10, 10, 4000, 3000, 96, false}, 96, {0, 0, 1920, 1040}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(PlaceOnScreen(c.place, c.dpi, work) == c.rect);
    }
}
