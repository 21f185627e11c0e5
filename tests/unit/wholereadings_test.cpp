// Whole readings: however the line and the flush rules cut a reading, what works per reading
// (the rules, the prefix and the date, the acknowledgement, the holds) sees it whole.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "pipeline/core/readingassembler.h"
#include "pipelinerig.h"

using namespace dorvane;
using dorvane::testing::FakeDesktop;
using dorvane::testing::PipelineRig;

namespace {

// Every burst is flushed as an item of its own, so a reading cut into bursts reaches the
// worker in pieces.
void FlushEveryBurst(PipelineRig& rig) {
    rig.Set(SENDKB_RCVCHARS, 1);
    rig.Set(SENDKB_RCVCHARSNUMBER, 0);
}

struct Typed {
    std::vector<KeyStroke> strokes;
    size_t acks = 0;
};

// Sends the pieces as bursts, each handled before the next arrives, then lets the line be quiet.
Typed TypeInPieces(const std::function<void(PipelineRig&)>& settings, const std::vector<std::string>& pieces,
                   const std::vector<KeyStroke>* expected) {
    PipelineRig rig;
    FlushEveryBurst(rig);
    settings(rig);
    REQUIRE(rig.Enable());
    for (const std::string& piece : pieces) {
        rig.Burst(piece);
        rig.Drain();
    }
    rig.Tick(1001);
    if (expected != nullptr) {
        rig.Eventually([&] { return rig.platform.desktop.StrokesOf(FakeDesktop::kUserWindow) == *expected; });
    }
    rig.Eventually([&] { return rig.host.readingsHandled >= 1 && rig.service.QueuedItems() == 0; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // nothing more may follow
    return Typed{rig.platform.desktop.StrokesOf(FakeDesktop::kUserWindow), rig.host.readingsHandled};
}

// A matcher that does not return until the test lets it.
class StuckExpression : public IExpression {
public:
    mutable std::atomic<bool> entered{false};
    mutable std::atomic<bool> released{false};
    MatchOutcome Search(std::u16string_view text, std::u16string& kept) const override {
        entered = true;
        while (!released) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kept.assign(text);
        return MatchOutcome::kMatched;
    }
};

}  // namespace

TEST_CASE("readings out of items: line ends, a CR LF cut between its two, the 64 KiB cut") {
    struct Case {
        std::vector<std::u16string> items;
        std::vector<AssembledReading> readings;
        std::u16string rest;
    };
    const std::u16string longLine(kMaxReadingChars + 10, u'7');
    const Case cases[] = {
        {{u"ab", u"c\r\nde\n", u"f"}, {{u"abc\r\n"}, {u"de\n"}}, u"f"},
        {{u"ab\r", u"\ncd\r"}, {{u"ab\r"}, {u"\n", true}, {u"cd\r"}}, u""},
        {{u"ab\r", u"x\n"}, {{u"ab\r"}, {u"x\n"}}, u""},           // a CR alone ends its line
        {{u"ab\r", u"", u"\n"}, {{u"ab\r"}, {u"\n", true}}, u""},  // an empty item changes nothing
        {{u"\r\n\r\n"}, {{u"\r\n"}, {u"\r\n"}}, u""},
        {{longLine + u"\r\n"},
         {{longLine.substr(0, kMaxReadingChars), false, true}, {longLine.substr(kMaxReadingChars) + u"\r\n"}},
         u""},
        {{longLine.substr(0, kMaxReadingChars - 1), u"\r\n"},
         {{longLine.substr(0, kMaxReadingChars - 1) + u"\r\n"}},
         u""},
    };
    for (const Case& c : cases) {
        CAPTURE(c.readings.size());
        CReadingAssembler assembler;
        std::vector<AssembledReading> readings;
        for (const std::u16string& item : c.items) {
            for (AssembledReading& reading : assembler.Add(item)) {
                readings.push_back(std::move(reading));
            }
        }
        CHECK(readings == c.readings);
        CHECK(assembler.WaitingChars() == c.rest.size());
        const std::optional<AssembledReading> rest = assembler.TakeRest();
        CHECK(rest.has_value() == !c.rest.empty());
        CHECK((rest ? rest->text : u"") == c.rest);
    }
}

TEST_CASE("a reading cut into two bursts at every place types the same keys and is acknowledged once") {
    struct Case {
        const char* device;
        std::function<void(PipelineRig&)> settings;
        std::string reading;
    };
    const Case cases[] = {
        {"scanner, date in front, CR LF kept", [](PipelineRig& rig) { rig.Set(DATA_PREFIX, u"{DATE} "); },
         "4006381333931\r\n"},
        {"scale, plain number and Tab",
         [](PipelineRig& rig) {
             rig.Set(DATA_NUMBER, 2);
             rig.Set(DATA_SUFFIX, u"{TAB}");
             rig.Set(DATA_TERMINATOR, 0);
         },
         "ST,GS,+0012.345kg\r\n"},
        {"RFID reader, framing stripped, whole tag extracted, Enter",
         [](PipelineRig& rig) {
             rig.Set(DATA_STRIP, u"\\x02\\x03");
             rig.Set(DATA_EXTRACT, u"^([0-9A-F]{10})$");
             rig.Set(DATA_SUFFIX, u"{ENTER}");
             rig.Set(DATA_TERMINATOR, 0);
         },
         "\x02"
         "0A1B2C3D4E\x03\r"},
        {"a weight with no line end, ended by the time-out, acknowledged",
         [](PipelineRig& rig) { rig.Set(DEVICE_ACK, u"\\x06"); }, "W:1234.5"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.device);
        const Typed whole = TypeInPieces(c.settings, {c.reading}, nullptr);
        REQUIRE(whole.acks == 1);
        REQUIRE_FALSE(whole.strokes.empty());
        std::vector<std::vector<std::string>> cuts;
        for (size_t at = 1; at < c.reading.size(); ++at) {
            cuts.push_back({c.reading.substr(0, at), c.reading.substr(at)});
        }
        cuts.emplace_back();
        for (char byte : c.reading) {
            cuts.back().push_back(std::string(1, byte));  // and byte by byte
        }
        for (const std::vector<std::string>& pieces : cuts) {
            CAPTURE(pieces.front().size());
            CAPTURE(pieces.size());
            const Typed cut = TypeInPieces(c.settings, pieces, &whole.strokes);
            CHECK(cut.strokes == whole.strokes);
            CHECK(cut.acks == 1);
        }
    }
}

TEST_CASE("with every rule at its default an item is typed as it is flushed, before its line ends") {
    PipelineRig rig;
    FlushEveryBurst(rig);
    REQUIRE(rig.Enable());
    rig.Burst("first half ");
    CHECK(rig.Eventually([&] { return rig.typed.Text() == u"first half "; }));
    rig.Burst("second\r\n");
    CHECK(rig.Eventually([&] { return rig.typed.Text() == u"first half second\r\n"; }));
    // The journal takes each item as a reading (a line end alone would be none).
    rig.Burst("\r\n");
    CHECK(rig.Eventually([&] { return rig.typed.Text() == u"first half second\r\n\r\n"; }));
    std::vector<std::string> raws;
    for (const JournalEntry& entry : rig.service.Journal().Entries()) {
        CHECK(entry.outcome == Outcome::kTyped);
        raws.push_back(entry.raw);
    }
    CHECK(raws == std::vector<std::string>{"second\r\n", "first half "});
}

TEST_CASE("bytes are assembled into readings before they are read as text: a character cut between bursts is whole") {
    PipelineRig rig;
    FlushEveryBurst(rig);
    rig.Set(DATA_CASE, 1);  // a rule: readings are assembled
    rig.platform.utf8 = true;
    REQUIRE(rig.Enable());
    rig.Burst("\xC3");  // the first byte of "\u00e9" in UTF-8
    rig.Drain();
    rig.Burst("\xA9\r");
    CHECK(rig.Eventually([&] { return rig.typed.Text() == u"\u00c9\r"; }));
    CHECK(rig.service.Journal().Entries().front().raw == "\xC3\xA9\r");
}

TEST_CASE("a reading longer than 64 KiB is cut there once, traced, and the rest is the next reading") {
    PipelineRig rig;
    rig.Set(BUFFERSIZE_KB, 32);
    rig.Set(RECORDDATA, 1);
    rig.Set(RECORDDATA_FILENAME, u"C:\\scans.txt");
    rig.Set(DATA_CASE, 1);
    REQUIRE(rig.Enable());
    rig.Burst(std::string(70000, 'x') + "\r");
    REQUIRE(rig.Eventually([&] { return rig.Recorded().size() == 2; }));
    CHECK(rig.Recorded()[0] == std::u16string(kMaxReadingChars, u'X'));
    CHECK(rig.Recorded()[1] == std::u16string(70000 - kMaxReadingChars, u'X') + u"\r");
    CHECK(rig.host.TraceCount(u"reading cut at 65536 characters") == 1);
}

TEST_CASE("each way a reading ends: acknowledged when typed, recorded, skipped or discarded, never when lost, and journaled so") {
    using Step = std::function<void(PipelineRig&)>;
    struct Case {
        const char* what;
        Step before;  // before the enable
        std::string reading;
        Step meanwhile;  // after the reading came
        size_t acks;
        const char16_t* trace;
        Outcome outcome;
        const char16_t* reason;
        const char16_t* typed;
        const char16_t* program;
    };
    const Case cases[] = {
        {"typed", nullptr, "ab\r", nullptr, 1, nullptr, Outcome::kTyped, u"", u"ab\r", u"NOTEPAD.EXE"},
        {"recorded",
         [](PipelineRig& rig) {
             rig.Set(RECORDDATA, 1);
             rig.Set(RECORDDATA_FILENAME, u"C:\\scans.txt");
         },
         "ab\r", nullptr, 1, nullptr, Outcome::kRecorded, u"", u"ab\r", u""},
        {"skipped by the expression", [](PipelineRig& rig) { rig.Set(DATA_EXTRACT, u"^W:"); }, "ab\r", nullptr, 1,
         u"reading skipped, no match", Outcome::kSkipped, u"no match", u"", u"NOTEPAD.EXE"},
        {"discarded while it waited for the chosen program",
         [](PipelineRig& rig) { rig.Set(TARGET_PROGRAM, u"EXCEL.EXE"); }, "ab\r",
         [](PipelineRig& rig) {
             REQUIRE(rig.Eventually([&] { return rig.service.WaitingReadings() == 1; }));
             rig.service.DiscardWaitingReadings();
         },
         1, u"send-key: 1 waiting reading discarded", Outcome::kDiscarded, u"", u"", u"EXCEL.EXE"},
        {"an elevated window in front",
         [](PipelineRig& rig) { rig.platform.desktop.SetElevated(FakeDesktop::kUserWindow); }, "ab\r", nullptr, 0,
         u"send-key: the window in front belongs to a program running as administrator, nothing typed",
         Outcome::kLost, u"the window belongs to a program running as administrator", u"", u"NOTEPAD.EXE"},
        {"a stored rule that cannot work", [](PipelineRig& rig) { rig.Set(DATA_EXTRACT, u"([0-9]"); }, "12\r",
         nullptr, 0, u"send-key: a reading not typed, the reading rules cannot work", Outcome::kLost,
         u"the reading rules cannot work", u"", u"NOTEPAD.EXE"},
        {"its window closed in the middle",
         [](PipelineRig& rig) { rig.platform.desktop.Show(FrontKind::kShell, 2, 2); }, "abc\r",
         [](PipelineRig& rig) {
             REQUIRE(rig.Eventually(
                 [&] { return rig.host.Traced(u"send-key held: the taskbar or the desktop is in front"); }));
             rig.platform.desktop.Close(FakeDesktop::kUserWindow);
         },
         0, u"send-key: a reading was cut short, its window was closed", Outcome::kLost, u"its window was closed", u"",
         u"NOTEPAD.EXE"},
        {"a stop in the middle", [](PipelineRig& rig) { rig.typed.CloseGate(); }, "abc\r",
         [](PipelineRig& rig) {
             REQUIRE(rig.Eventually([&] { return rig.typed.AtGate(); }));
             std::thread opener([&] {  // once the stop is asked for, however late
                 rig.Eventually([&] { return rig.host.dismissals > 0; });
                 rig.typed.OpenGate();
             });
             rig.Disable();
             opener.join();
         },
         0, u"send-key: a reading lost, the service stopped while it was typed", Outcome::kLost,
         u"the service stopped", u"", u"NOTEPAD.EXE"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        PipelineRig rig;
        rig.Set(DEVICE_ACK, u"\\x06");
        rig.platform.desktop.SetIdentity(FakeDesktop::kUserWindow, u"C:\\Windows\\NOTEPAD.EXE", u"Untitled");
        rig.Set(COMPORT, u"COM7");
        rig.platform.now = 3723004;  // 01:02:03.004
        if (c.before) {
            c.before(rig);
        }
        REQUIRE(rig.Enable());
        rig.Burst(c.reading);
        if (c.meanwhile) {
            c.meanwhile(rig);
        }
        if (c.trace != nullptr) {
            CHECK(rig.Eventually([&] { return rig.host.Traced(c.trace); }));
        }
        rig.Eventually([&] { return rig.host.readingsHandled >= c.acks && rig.service.QueuedItems() == 0; });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        CHECK(rig.host.readingsHandled == c.acks);
        CHECK(rig.Eventually([&] {
            const std::vector<JournalEntry> entries = rig.service.Journal().Entries();
            return entries.size() == 1 && IsFinal(entries.front().outcome);
        }));
        const std::vector<JournalEntry> journal = rig.service.Journal().Entries();
        REQUIRE(journal.size() == 1);
        const JournalEntry& entry = journal.front();
        CHECK(entry.outcome == c.outcome);
        CHECK(entry.reason == c.reason);
        CHECK(entry.typed == c.typed);
        CHECK(entry.program == c.program);
        CHECK(entry.port == u"COM7");
        CHECK(entry.raw.find('\r') == entry.raw.size() - 1);  // the bytes as received, line end included
        CHECK(entry.completed == LocalTime{2026, 12, 10, 1, 2, 3, 4});
    }
}

TEST_CASE(
    "readings that wait are bounded in number and size, beyond, new ones are dropped, traced, counted, told "
    "once") {
    struct Case {
        size_t readingChars;
        size_t sent;
        size_t kept;  // the one held by the worker and those queued behind it
    };
    const Case cases[] = {
        {1, kMaxWaitingReadings + 5, 1 + kMaxWaitingReadings},
        {2047, 300, 1 + kMaxWaitingBytes / (2048 * sizeof(char16_t))},
    };
    for (const Case& c : cases) {
        CAPTURE(c.readingChars);
        PipelineRig rig;
        rig.Set(BUFFERSIZE_KB, 4);
        rig.Set(TARGET_PROGRAM, u"EXCEL.EXE");
        REQUIRE(rig.Enable());
        const std::string reading = std::string(c.readingChars, 'r') + "\r";
        rig.Burst(reading);
        REQUIRE(rig.Eventually([&] { return rig.service.WaitingReadings() == 1; }));
        CHECK(rig.service.ReadingsWait());
        for (size_t i = 1; i < c.sent; ++i) {
            rig.Burst(reading);
        }
        const size_t dropped = c.sent - c.kept;
        CHECK(rig.service.QueuedItems() == c.kept - 1);
        CHECK(rig.service.DroppedReadings() == dropped);
        CHECK(rig.host.TraceCount(u"send-key: a reading dropped, too many readings wait") == dropped);
        // The journal keeps every waiting reading beyond its 500; a dropped one is settled at once.
        const JournalEntry newest = rig.service.Journal().Entries().front();
        CHECK((newest.outcome == Outcome::kDropped && newest.reason == u"too many readings waited"));
        CHECK(rig.service.Journal().Size() == std::max(c.kept + 1, std::min(c.sent, CReadingJournal::kCapacity)));
        CHECK(rig.Eventually([&] { return rig.service.WaitingReadings() == c.kept; }));
        CHECK(rig.host.Read(rig.host.notices).size() == 2);  // the waiting, the first drop

        // A reading ended by CR alone is dropped; its LF, coming apart, goes with it uncounted.
        rig.Burst("zz\r");
        rig.Burst("\n");
        CHECK(rig.service.DroppedReadings() == dropped + 1);

        rig.service.DiscardWaitingReadings();
        CHECK(rig.Eventually(
            [&] { return rig.service.DroppedReadings() == 0 && !rig.service.ReadingsWait(); }));
        const std::vector<JournalEntry> settled = rig.service.Journal().Entries();
        CHECK(std::none_of(settled.begin(), settled.end(),
                           [](const JournalEntry& entry) { return entry.outcome == Outcome::kWaiting; }));
        rig.platform.desktop.SetIdentity(FakeDesktop::kUserWindow, u"C:\\Office\\EXCEL.EXE", u"Book1");
        rig.Burst("ok\r");
        CHECK(rig.Eventually([&] { return rig.typed.Text() == u"ok\r"; }));
    }
}

TEST_CASE("with the defaults a full queue drops whole readings, never a piece of one") {
    PipelineRig rig;
    FlushEveryBurst(rig);
    REQUIRE(rig.Enable());
    rig.platform.desktop.Show(FrontKind::kOwnWindow, 3);  // a box of ours: typing holds
    constexpr size_t kSent = kMaxWaitingReadings + 10;
    for (size_t i = 0; i < kSent; ++i) {
        rig.Burst("abc");
        rig.Burst("def\r");
        if (i == 0) {
            REQUIRE(rig.Eventually([&] { return rig.service.ReadingsWait(); }));
        }
    }
    const size_t kept = 1 + kMaxWaitingReadings;  // the one held, the ones behind it
    CHECK(rig.service.DroppedReadings() == kSent - kept);
    rig.platform.desktop.Show(FrontKind::kUserWindow, FakeDesktop::kUserWindow);
    std::u16string expected;
    for (size_t i = 0; i < kept; ++i) {
        expected += u"abcdef\r";
    }
    CHECK(rig.Eventually([&] { return rig.typed.Text() == expected; }));
}

TEST_CASE(
    "the LF of a CR LF that came apart goes only into its reading's window, and never holds the next "
    "reading") {
    PipelineRig rig;
    FakeDesktop& desktop = rig.platform.desktop;
    FlushEveryBurst(rig);
    rig.Set(DEVICE_ACK, u"\\x06");
    REQUIRE(rig.Enable());
    rig.Burst("ab\r");
    REQUIRE(rig.Eventually([&] { return desktop.TextOf(FakeDesktop::kUserWindow) == u"ab\r"; }));
    desktop.Show(FrontKind::kUserWindow, 7);  // the CR moved the user on
    rig.Burst("\n");
    rig.Burst("cd\r\n");
    CHECK(rig.Eventually([&] { return desktop.TextOf(7) == u"cd\r\n"; }));
    CHECK(rig.host.TraceCount(u"send-key: a line end left out, its reading's window is no longer in front") ==
          1);
    CHECK(desktop.TextOf(FakeDesktop::kUserWindow) == u"ab\r");
    CHECK(rig.host.readingsHandled == 2);
}

TEST_CASE("a stop while a reading is matched ends at once, the reading is lost, traced, not acknowledged") {
    PipelineRig rig;
    auto stuck = std::make_shared<StuckExpression>();
    rig.platform.compile = [&](std::u16string_view) { return stuck; };
    rig.Set(DATA_EXTRACT, u"(.*)");
    rig.Set(DEVICE_ACK, u"\\x06");
    REQUIRE(rig.Enable());
    rig.Burst("12\r");
    REQUIRE(rig.Eventually([&] { return stuck->entered.load(); }));
    const auto start = std::chrono::steady_clock::now();
    rig.Disable();
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(1));
    CHECK(rig.host.TraceCount(u"send-key: a reading lost, the service stopped while it was shaped") == 1);
    CHECK(rig.host.readingsHandled == 0);

    // The next enable shapes on a thread of its own; the abandoned one ends once its match does.
    auto quick = std::make_shared<StuckExpression>();
    quick->released = true;
    rig.platform.compile = [&](std::u16string_view) { return quick; };
    REQUIRE(rig.Enable());
    rig.Burst("34\r");
    CHECK(rig.Eventually([&] { return rig.typed.Text() == u"34\r"; }));
    stuck->released = true;
}

TEST_CASE("a NUL from the device is left out, the bytes after it are handled, traced once per enable") {
    PipelineRig rig;
    rig.Set(RECORDDATA, 1);
    rig.Set(RECORDDATA_FILENAME, u"C:\\scans.txt");
    REQUIRE(rig.Enable());
    rig.Burst(std::string("ab\0c\r\n", 6));  // the line end after the NUL flushes
    REQUIRE(rig.Eventually([&] { return rig.Recorded().size() == 1; }));
    rig.Burst(std::string("\0d\0\r", 4));
    REQUIRE(rig.Eventually([&] { return rig.Recorded().size() == 2; }));
    CHECK(rig.Recorded() == std::vector<std::u16string>{u"abc\r\n", u"d\r"});
    CHECK(rig.service.ComReadCount() == 10);
    CHECK(rig.host.TraceCount(u"comm read: NUL bytes from the device are left out") == 1);
}

TEST_CASE("Type Again: a lost reading's bytes go through the rules and the holds once more, as a reading of their own, never a repeat, never acknowledged") {
    PipelineRig rig;
    rig.Set(DATA_SUFFIX, u"{TAB}");
    rig.Set(DATA_REPEAT_MS, 60000);
    rig.Set(DEVICE_ACK, u"\\x06");
    rig.Set(DATA_TERMINATOR, 0);
    rig.platform.desktop.SetElevated(FakeDesktop::kUserWindow);
    REQUIRE(rig.Enable());
    rig.Burst("4006381333931\r\n");
    REQUIRE(rig.Eventually([&] {
        const std::vector<JournalEntry> journal = rig.service.Journal().Entries();
        return journal.size() == 1 && journal.front().outcome == Outcome::kLost;
    }));
    const std::string raw = rig.service.Journal().Entries().front().raw;
    CHECK(raw == "4006381333931\r\n");

    // The user's window takes keys now; a window of ours is in front until the user goes back.
    rig.platform.desktop.Show(FrontKind::kOwnWindow, 7);
    REQUIRE(rig.service.TypeAgain(raw));
    CHECK(rig.Eventually([&] { return rig.service.Journal().Entries().front().reason == u"a window of this program is in front"; }));
    CHECK(rig.typed.Text().empty());
    rig.platform.desktop.Show(FrontKind::kUserWindow, 2);
    CHECK(rig.Eventually([&] { return rig.platform.desktop.TextOf(2) == u"4006381333931\t"; }));
    // Settled once its keys are in.
    CHECK(rig.Eventually([&] { return IsFinal(rig.service.Journal().Entries().front().outcome); }));
    const std::vector<JournalEntry> journal = rig.service.Journal().Entries();
    REQUIRE(journal.size() == 2);
    CHECK((journal.front().outcome == Outcome::kTyped && journal.front().typed == u"4006381333931{TAB}"));
    CHECK(journal.front().raw == raw);
    // Asked for again at once: the user's own wish, not the device reading twice.
    REQUIRE(rig.service.TypeAgain(raw));
    CHECK(rig.Eventually([&] { return rig.platform.desktop.TextOf(2) == u"4006381333931\t4006381333931\t"; }));
    REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() == 3; }));
    CHECK(rig.host.readingsHandled == 0);  // the device sent none of them

    rig.Disable();
    CHECK_FALSE(rig.service.TypeAgain(raw));
    CHECK(rig.service.Journal().Size() == 3);
}

TEST_CASE("the repeat check: the same reading within DATA_REPEAT_MS of the last one typed is refused, acknowledged, signalled") {
    struct Case {
        const char* what;
        uint32_t start;  // the tick of the first reading
        std::vector<std::pair<uint32_t, const char*>> readings;  // ms after the one before, the line
        std::u16string typed;
        uint32_t refused;
    };
    const Case cases[] = {
        {"inside the window", 1000, {{0, "A1\r"}, {300, "A1\r"}}, u"A1\r", 1},
        {"on its edge", 1000, {{0, "A1\r"}, {1000, "A1\r"}}, u"A1\r", 1},
        {"outside it", 1000, {{0, "A1\r"}, {1001, "A1\r"}}, u"A1\rA1\r", 0},
        {"a different reading between", 1000, {{0, "A1\r"}, {100, "B2\r"}, {100, "A1\r"}}, u"A1\rB2\rA1\r", 0},
        {"a refused repeat does not renew the window", 1000, {{0, "A1\r"}, {600, "A1\r"}, {600, "A1\r"}}, u"A1\rA1\r", 1},
        {"across the tick's wrap", 0xFFFFFF00u, {{0, "A1\r"}, {0x200, "A1\r"}}, u"A1\r", 1},
        {"outside it, across the wrap", 0xFFFFFF00u, {{0, "A1\r"}, {1001, "A1\r"}}, u"A1\rA1\r", 0},
        {"inside it, its end past the wrap", 0xFFFFFD00u, {{0, "A1\r"}, {0x200, "A1\r"}}, u"A1\r", 1},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        PipelineRig rig;
        rig.Set(DATA_REPEAT_MS, 1000);
        rig.Set(SIGNAL_SOUND, 1);
        rig.Set(DEVICE_ACK, u"\\x06");
        REQUIRE(rig.Enable());
        rig.platform.now = c.start;
        size_t sent = 0;
        for (const auto& [after, line] : c.readings) {
            rig.platform.now += after;
            rig.Burst(line);
            ++sent;
            REQUIRE(rig.Eventually([&] { return rig.host.readingsHandled == sent; }));
        }
        CHECK(rig.typed.Text() == c.typed);
        CHECK(rig.service.RefusedReadings() == c.refused);
        CHECK(rig.host.TraceCount(u"reading refused, repeat") == c.refused);
        CHECK(rig.platform.criticalStops == static_cast<int>(c.refused));
        CHECK(rig.platform.beeps == 0);
        const std::vector<JournalEntry> journal = rig.service.Journal().Entries();
        CHECK(static_cast<uint32_t>(std::count_if(journal.begin(), journal.end(), [](const JournalEntry& entry) {
                  return entry.outcome == Outcome::kRefused && entry.reason == u"repeat";
              })) == c.refused);
    }
}

TEST_CASE("SIGNAL_SOUND: 1 sounds for a reading not typed, 2 also beeps for each typed one, 0 is silent") {
    for (uint32_t sound : {0u, 1u, 2u}) {
        CAPTURE(sound);
        PipelineRig rig;
        rig.Set(DATA_EXTRACT, u"^([0-9]+)$");
        if (sound != 0) {
            rig.Set(SIGNAL_SOUND, static_cast<int32_t>(sound));
        }
        REQUIRE(rig.Enable());
        rig.Burst("12\rab\r34\r");
        REQUIRE(rig.Eventually([&] { return rig.typed.Text() == u"12\r34\r" && rig.service.QueuedItems() == 0; }));
        const int stops = sound == 0 ? 0 : 1;
        const int beeps = sound == 2 ? 2 : 0;
        CHECK(rig.Eventually([&] { return rig.platform.criticalStops == stops && rig.platform.beeps == beeps; }));
        rig.Disable();  // the worker has ended: nothing more can sound
        CHECK(rig.platform.criticalStops == stops);
        CHECK(rig.platform.beeps == beeps);
    }
    PipelineRig rig;
    rig.Set(SIGNAL_SOUND, 3);
    CHECK(rig.Enable());  // the enable goes on; nothing is typed until it is mended
    CHECK(rig.host.Traced(u"reading rules refused: SIGNAL_SOUND must be 0, 1 or 2!"));
}
