#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "pipeline/core/journalcsv.h"
#include "pipeline/core/readingjournal.h"

using namespace dorvane;

namespace {

JournalEntry Reading(std::string raw, Outcome outcome) {
    JournalEntry entry;
    entry.raw = std::move(raw);
    entry.outcome = outcome;
    return entry;
}

}  // namespace

TEST_CASE("the journal keeps the last 500 settled readings, every waiting one until it is settled, and logs each once") {
    CReadingJournal journal;
    std::vector<std::string> logged;
    int changes = 0;
    journal.SetObservers([&] { ++changes; }, [&](const JournalEntry& entry) {
        std::string line = entry.raw;
        line += ' ';
        line += std::to_string(static_cast<int>(entry.outcome));
        logged.push_back(line);
    });
    const uint64_t held = journal.Add(Reading("held", Outcome::kWaiting));
    CHECK(logged.empty());  // not final yet: not logged
    for (int i = 0; i < 600; ++i) {
        std::string name = "r";  // (not "r" + ...: GCC 12's -O3 sees a false overlap in it)
        name += std::to_string(i);
        journal.Add(Reading(name, Outcome::kTyped));
    }
    CHECK(journal.Size() == CReadingJournal::kCapacity);
    std::vector<JournalEntry> entries = journal.Entries();
    CHECK(entries.front().raw == "r599");  // newest first
    CHECK(entries.back().raw == "held");   // the waiting one stayed, the oldest typed ones left
    CHECK(entries[entries.size() - 2].raw == "r101");

    CHECK(journal.SetTarget(held, u"C:\\Apps\\till.exe", u"Till"));
    CHECK(journal.Settle(held, Outcome::kTyped));
    CHECK_FALSE(journal.Settle(held, Outcome::kDiscarded));  // final: nothing changes it
    CHECK_FALSE(journal.SetTarget(held, u"other.exe", u"Other"));
    CHECK_FALSE(journal.Settle(999999, Outcome::kLost));
    CHECK(logged.size() == 601);
    CHECK(logged.back().rfind("held ", 0) == 0);
    CHECK(changes == 1 + 600 + 2);
    entries = journal.Entries();
    CHECK(entries.back().program == u"C:\\Apps\\till.exe");
    CHECK(entries.back().outcome == Outcome::kTyped);

    // All waiting: none can leave, and the journal holds them all (the waiting bound limits them).
    CReadingJournal waiting;
    for (int i = 0; i < 520; ++i) {
        waiting.Add(Reading("w", Outcome::kWaiting));
    }
    CHECK(waiting.Size() == 520);
    waiting.Settle(1, Outcome::kDropped);
    waiting.Add(Reading("next", Outcome::kSkipped));
    CHECK(waiting.Size() == 520);  // the settled one left for it
    CHECK(waiting.Entries().back().id == 2);
}

TEST_CASE("log lines: the time, quoting as RFC 4180 asks, control characters and foreign bytes escaped") {
    JournalEntry entry;
    entry.completed = LocalTime{2026, 12, 10, 14, 3, 7, 125};
    entry.outcome = Outcome::kTyped;
    entry.program = u"C:\\Program Files\\Till\\till.exe";
    struct Case {
        const char* what;
        std::string raw;
        std::u16string typed;
        std::u16string profile;
        std::u16string line;
    };
    const Case cases[] = {
        {"a plain reading", "4006381333931\r\n", u"4006381333931{ENTER}", u"",
         u"2026-12-10T14:03:07.125,,COM5,typed,4006381333931{ENTER},4006381333931\\r\\n,till.exe"},
        {"a scale line with a comma", "ST,GS,+0012.345kg\r\n", u"12,345", u"Scale 2",
         u"2026-12-10T14:03:07.125,Scale 2,COM5,typed,\"12,345\",\"ST,GS,+0012.345kg\\r\\n\",till.exe"},
        {"quotes are doubled", "say \"hi\"", u"say \"hi\"", u"",
         u"2026-12-10T14:03:07.125,,COM5,typed,\"say \"\"hi\"\"\",\"say \"\"hi\"\"\",till.exe"},
        {"GS1 with group separators; a backslash and a tab told apart in both columns", std::string("\x02]d2010\x1d" "21AB\\\t", 14),
         u"]d2010\x1d" u"21AB\\\t", u"",
         u"2026-12-10T14:03:07.125,,COM5,typed,]d2010\\x1D21AB\\\\\\t,\\x02]d2010\\x1D21AB\\\\\\t,till.exe"},
        {"bytes above 0x7E and text beyond ASCII", "\xB0\xE9", u"\u00B0\u00E9\u20AC", u"Z\u00E4hlung",
         u"2026-12-10T14:03:07.125,Z\u00E4hlung,COM5,typed,\u00B0\u00E9\u20AC,\\xB0\\xE9,till.exe"},
        {"blanks at the ends are kept by quotes", "  7 ", u"  7 ", u"",
         u"2026-12-10T14:03:07.125,,COM5,typed,\"  7 \",\"  7 \",till.exe"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        entry.raw = c.raw;
        entry.typed = c.typed;
        CHECK(LogLine(entry, c.profile, u"COM5") == c.line);
    }
    entry.outcome = Outcome::kSkipped;
    entry.typed.clear();
    entry.program.clear();
    entry.raw = "S D      12.345 g\r\n";
    entry.completed = LocalTime{2027, 1, 2, 3, 4, 5, 6};
    CHECK(LogLine(entry, u"", u"COM12") == u"2027-01-02T03:04:05.006,,COM12,skipped,,S D      12.345 g\\r\\n,");
}
