#include <doctest/doctest.h>

#include <chrono>
#include <climits>
#include <random>

#include "core/faults.h"
#include "pipeline/core/pipelinesettings.h"
#include "pipeline/core/readingrules.h"
#include "pipeline/core/targetprogram.h"
#include "pipelinerig.h"

using namespace dorvane;
using dorvane::testing::FakeDesktop;
using dorvane::testing::PipelineRig;

namespace {

std::u16string U16(std::string_view bytes) {
    return std::u16string(bytes.begin(), bytes.end());
}

// Recording mode shows where one flushed item ends and the next begins.
void RecordTo(PipelineRig& rig) {
    rig.Set(RECORDDATA, 1);
    rig.Set(RECORDDATA_FILENAME, u"C:\\scans.txt");
}

}  // namespace

TEST_CASE("the flush threshold and the scaled times") {
    CHECK(DeriveFlushChars(false, 8, 3072) == 2048);  // count rule off: two thirds of the buffer
    CHECK(DeriveFlushChars(true, 5000, 3072) == 2048);
    CHECK(DeriveFlushChars(true, 3000, 3072) == 3000);
    CHECK(DeriveFlushChars(true, -4, 3072) == -4);
    CHECK(ScaleClamped(1, 1000) == 1000);
    CHECK(ScaleClamped(3000000, 1000) == INT_MAX);
    CHECK(ScaleClamped(-3000000, 60000) == INT_MIN);

    PipelineRig rig;
    const PipelineSettings defaults = LoadPipelineSettings(rig.profile);
    CHECK(defaults.bufferSize == 3072);
    CHECK((defaults.sendOnCrLf && !defaults.sendOnChars && defaults.flushChars == 8));
    CHECK((defaults.flushTimeoutMs == 1000 && !defaults.recordData && defaults.recordFile.empty()));
    CHECK((!defaults.autoDisable && defaults.autoDisableMs == 600000));
}

TEST_CASE("line ends flush the whole buffer as one item, across bursts too") {
    PipelineRig rig;
    RecordTo(rig);
    REQUIRE(rig.Enable());
    const int looks = rig.platform.desktop.FrontQueries();
    rig.service.OnBytesArriving();  // nothing is typed: no look at the front, Caps Lock left to the hook
    rig.Burst("12");
    rig.platform.now += 200;
    rig.Burst("\r\n");
    rig.Burst("123\r\n45");
    rig.Drain();
    rig.Burst("\n");
    CHECK(rig.Eventually([&] { return rig.Recorded().size() == 3; }));
    CHECK(rig.Recorded() == std::vector<std::u16string>{u"12\r\n", u"123\r\n45", u"\n"});
    CHECK(rig.service.ComReadCount() == 12);
    CHECK(rig.platform.desktop.FrontQueries() == looks);
    CHECK(rig.platform.desktop.HookSet());
}

TEST_CASE("the count rule: N=8 waits for 3+4+1 bytes, N of 0 or less flushes every burst") {
    for (int n : {8, 0, -3}) {
        CAPTURE(n);
        PipelineRig rig;
        RecordTo(rig);
        rig.Set(SENDKB_CRLF, 0);
        rig.Set(SENDKB_RCVCHARS, 1);
        rig.Set(SENDKB_RCVCHARSNUMBER, n);
        REQUIRE(rig.Enable());
        rig.Burst("abc");
        rig.Burst("defg");
        rig.Burst("h");
        const auto expected = n == 8 ? std::vector<std::u16string>{u"abcdefgh"}
                                     : std::vector<std::u16string>{u"abc", u"defg", u"h"};
        CHECK(rig.Eventually([&] { return rig.Recorded().size() == expected.size(); }));
        CHECK(rig.Recorded() == expected);
    }
}

TEST_CASE("a burst that does not fit is dropped whole but counted, what fits exactly is kept") {
    PipelineRig rig;
    RecordTo(rig);
    rig.Set(SENDKB_CRLF, 0);
    rig.Set(SENDKB_RCVCHARS, 1);
    rig.Set(SENDKB_RCVCHARSNUMBER, 3071);  // above what can be held: only the time-out flushes
    REQUIRE(rig.Enable());
    rig.Burst(std::string(3000, 'x'));
    rig.Burst(std::string(71, 'y'));  // 3000 + 71 + 1 = 3072: no room for the NUL
    CHECK(rig.service.ComReadCount() == 3071);
    CHECK(rig.host.Read(rig.host.errors) ==
          std::vector<std::pair<std::u16string, bool>>{{u"comm buffer overflow!", false}});
    rig.Burst(std::string(70, 'z'));  // 3000 + 70 + 1 = 3071 < 3072
    CHECK(rig.service.BufferedBytes() == 3070);
    rig.Tick(1001);
    CHECK(rig.Eventually([&] { return rig.Recorded().size() == 1; }));
    CHECK(rig.Recorded()[0] == U16(std::string(3000, 'x') + std::string(70, 'z')));
}

TEST_CASE("the time-out flushes at the first tick more than a second after the last burst") {
    for (uint32_t phase : {0u, 1u, 250u, 499u}) {
        CAPTURE(phase);
        PipelineRig rig;
        RecordTo(rig);
        rig.Set(SENDKB_CRLF, 0);
        REQUIRE(rig.Enable());
        rig.platform.now += phase;
        rig.Burst("xy");
        uint32_t waited = 0;
        rig.Tick(500 - phase);
        waited += 500 - phase;
        while (rig.service.BufferedBytes() > 0 && waited < 3000) {
            rig.Tick(500);
            waited += 500;
        }
        CHECK(waited > 1000);
        CHECK(waited <= 1500);
    }
}

TEST_CASE("clearing the buffer drops its bytes, and the icon follows the state") {
    PipelineRig rig;
    rig.Set(SENDKB_CRLF, 0);
    CHECK(rig.Enable());
    rig.Burst("abc");
    rig.Tick(400);  // receiving ends 300 ms after the burst: bytes are waiting
    rig.service.OnClearBuffer();
    rig.Tick(2000);
    CHECK(rig.typed.Text().empty());
    CHECK(rig.host.Read(rig.host.pictures) ==
          std::vector<TrayPicture>{TrayPicture::kEnabled, TrayPicture::kReceiving, TrayPicture::kWaiting,
                                   TrayPicture::kEnabled});

    // The choice table, and a request for the receiving picture while sending.
    rig.host.pictures.clear();
    g_bSending = true;
    rig.service.UpdateStatusIcon();
    rig.service.UpdateStatusIcon(TrayPicture::kReceiving);
    g_bReceiving = true;
    rig.service.UpdateStatusIcon();
    g_bSending = false;
    rig.service.UpdateStatusIcon();
    rig.service.UpdateStatusIcon();  // unchanged: the tray is not touched
    g_bServiceEnabled = false;
    rig.service.UpdateStatusIcon();
    CHECK(rig.host.pictures == std::vector<TrayPicture>{TrayPicture::kSending, TrayPicture::kSendingReceiving,
                                                        TrayPicture::kReceiving, TrayPicture::kDisabled});
}

TEST_CASE("auto-disable posts the off request once, at the first tick after the idle time") {
    PipelineRig rig;
    rig.Set(AUTODISABLE, 1);
    rig.Set(AUTODISABLE_MINUTES, 1);
    rig.Set(SENDKB_CRLF, 0);
    rig.Set(FLUSHBUFFER_SECOND, 1000);
    REQUIRE(rig.Enable());
    uint32_t elapsed = 0;
    while (rig.host.Read(rig.host.offRequests) == 0 && elapsed < 70000) {
        rig.Tick();
        elapsed += 500;
    }
    CHECK(elapsed == 60500);
    for (int i = 0; i < 10; ++i) {
        rig.Tick();
    }
    CHECK(rig.host.Read(rig.host.offRequests) == 1);

    // Bytes waiting in the buffer hold the idle time off.
    rig.Disable();
    REQUIRE(rig.Enable());
    rig.Burst("a");
    for (int i = 0; i < 240; ++i) {
        rig.Tick();
    }
    CHECK(rig.host.Read(rig.host.offRequests) == 1);
}

TEST_CASE("disabling drops queued items and abandons the item being typed, counters survive") {
    PipelineRig rig;
    REQUIRE(rig.Enable());
    rig.typed.CloseGate();
    rig.Burst("abc\r");
    REQUIRE(rig.Eventually([&] { return rig.service.QueuedItems() == 0 && g_bSending; }));
    rig.Burst("def\r");
    rig.Burst("ghi\r");
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        rig.typed.OpenGate();
    });
    rig.Disable();
    opener.join();
    CHECK(rig.typed.Text() == u"a");  // the key being injected finishes; the rest is abandoned
    CHECK(rig.service.QueuedItems() == 0);
    CHECK(rig.service.ComReadCount() == 12);

    REQUIRE(rig.Enable());
    rig.Burst("jk\r");
    CHECK(rig.Eventually([&] { return rig.typed.Text() == u"ajk\r"; }));
    CHECK(rig.service.ComReadCount() == 15);
    CHECK(rig.keys.SentKeyCount() == 4);
}

TEST_CASE("a recording file that cannot be opened is reported once and recording stays off") {
    PipelineRig rig;
    rig.Set(RECORDDATA, 1);
    rig.host.holdBoxes = true;
    REQUIRE(rig.Enable());
    rig.Burst("A\r\n");
    REQUIRE(rig.host.WaitForBox());
    rig.Burst("B\r\n");
    CHECK(rig.service.QueuedItems() == 1);  // waits while the box is up
    rig.host.AnswerBox();
    rig.Drain();
    rig.Burst("C\r\n");
    rig.Drain();
    rig.Disable();
    CHECK(rig.service.RecordingDisabled());
    CHECK(rig.typed.Text().empty());
    CHECK(rig.platform.recorded.opens == 1);
    const auto errors = rig.host.Read(rig.host.errors);
    REQUIRE(errors.size() == 1);
    CHECK(errors[0] == std::pair<std::u16string, bool>{
                           u"Open recording file failed!\nRecord data has been disabled!", true});

    // It stays off across enables: the file is not tried again.
    const uint32_t handled = rig.service.HandledItems();
    REQUIRE(rig.Enable());
    CHECK(rig.BurstHandled("E\r\n", handled + 1));
    rig.Disable();
    CHECK(rig.service.RecordingDisabled());
    CHECK(rig.platform.recorded.opens == 1);
    CHECK(rig.host.Read(rig.host.errors).size() == 1);

    // Stopping while the box is up ends the box instead of waiting for the user (a new
    // pipeline, as in the next run of the program, tries the file again).
    PipelineRig next;
    next.Set(RECORDDATA, 1);
    next.host.holdBoxes = true;
    REQUIRE(next.Enable());
    next.Burst("D\r\n");
    REQUIRE(next.host.WaitForBox());
    next.Disable();
    CHECK_FALSE(next.host.Read(next.host.boxOpen));
}

TEST_CASE("a failed start reports why with a box, releases everything and can be retried") {
    struct Failure {
        const char16_t* text;
        void (*arrange)(PipelineRig&);
    };
    const Failure failures[] = {
        {u"Allocate memory failed!", [](PipelineRig& r) { r.Set(BUFFERSIZE_KB, 1000000); }},
        {u"Allocate memory failed!", [](PipelineRig& r) { r.Set(BUFFERSIZE_KB, -1); }},
        {u"Create event failed!", [](PipelineRig& r) { r.platform.failEvent = true; }},
        {u"Create thread failed!", [](PipelineRig& r) { r.platform.failThread = true; }},
    };
    for (const Failure& failure : failures) {
        CAPTURE(std::string(failure.text, failure.text + std::char_traits<char16_t>::length(failure.text)));
        PipelineRig rig;
        failure.arrange(rig);
        CHECK_FALSE(rig.service.SetService());
        CHECK(rig.host.errors == std::vector<std::pair<std::u16string, bool>>{{failure.text, true}});
        CHECK_FALSE(rig.service.IsSet());
        CHECK(rig.host.traces.back() == u"remove service, done");

        rig.Set(BUFFERSIZE_KB, 1);
        rig.platform.failEvent = rig.platform.failThread = false;
        REQUIRE(rig.Enable());
        rig.Burst("ok\n");
        CHECK(rig.Eventually([&] { return rig.typed.Text() == u"ok\n"; }));
    }
}

// Random bursts, gaps and rules: what is typed or recorded is exactly what a plain reading of the
// rules says, in order, once each -- nothing lost, nothing doubled.
TEST_CASE("random readings arrive exactly once, in order, under every rule") {
    std::mt19937 random(20261208);
    const std::string alphabet = "0123456789ABCxyz\r\n";
    for (int round = 0; round < 24; ++round) {
        CAPTURE(round);
        const bool crlf = random() % 2, count = random() % 2, record = random() % 2;
        const int n = static_cast<int>(random() % 40) - 2;
        PipelineRig rig;
        rig.Set(SENDKB_CRLF, crlf);
        rig.Set(SENDKB_RCVCHARS, count);
        rig.Set(SENDKB_RCVCHARSNUMBER, n);
        if (record) {
            RecordTo(rig);
        }
        REQUIRE(rig.Enable());

        // The model: a buffer of 3072 bytes, flushed by the rules in their order.
        const int size = 3072, threshold = DeriveFlushChars(count, n, size);
        std::string buffer;
        uint32_t lastBurst = 0;
        std::vector<std::u16string> expected;
        auto flush = [&] {
            expected.push_back(U16(buffer));
            buffer.clear();
        };
        auto check = [&](uint32_t now) {
            if (!buffer.empty() && crlf && buffer.find_first_of("\r\n") != std::string::npos) {
                flush();
            }
            if (!buffer.empty() && static_cast<int>(buffer.size()) >= threshold) {
                flush();
            }
            if (!buffer.empty() && now - lastBurst > 1000) {
                flush();
            }
        };

        // Each flushed item is handled before the clock moves on: the worker's take renews the
        // flush time-out, so a late take would move the model's time-outs.
        const uint32_t handledBefore = rig.service.HandledItems();
        auto settle = [&] {
            REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() - handledBefore == expected.size(); }));
        };
        uint32_t nextTick = 500;
        for (int burst = 0; burst < 40; ++burst) {
            for (uint32_t until = rig.platform.now + random() % 1600; nextTick <= until; nextTick += 500) {
                rig.platform.now = nextTick;
                rig.service.OnTimer();
                check(nextTick);
                settle();
            }
            std::string bytes(random() % 5 == 0 ? 400 + random() % 2200 : random() % 12, ' ');
            for (char& byte : bytes) {
                byte = random() % 50 == 0 ? '\0' : alphabet[random() % alphabet.size()];
            }
            rig.Burst(bytes);
            std::erase(bytes, '\0');  // left out, the rest kept
            if (static_cast<int64_t>(buffer.size() + bytes.size()) + 1 < size) {
                buffer += bytes;
                lastBurst = rig.platform.now;
                check(rig.platform.now);
            } else {
                lastBurst = rig.platform.now;
            }
            settle();
        }
        rig.platform.now = nextTick + 2000;
        rig.service.OnTimer();
        check(rig.platform.now);
        settle();

        if (record) {
            CHECK(rig.Recorded() == expected);
        } else {
            std::u16string all;
            for (const auto& item : expected) {
                all += item;
            }
            CHECK(rig.typed.Text() == all);
        }
    }
}

TEST_CASE("an icon change the tray did not take is shown again at the next update") {
    PipelineRig rig;
    rig.host.refusePictures = true;
    rig.service.UpdateStatusIcon();
    rig.host.refusePictures = false;
    rig.service.UpdateStatusIcon();
    rig.service.UpdateStatusIcon();
    // A picture set past the choice (a mouse event over the icon) is put right by the next one.
    rig.service.ForgetStatusIcon();
    rig.service.UpdateStatusIcon();
    CHECK(rig.host.pictures == std::vector<TrayPicture>{TrayPicture::kDisabled, TrayPicture::kDisabled});
}

TEST_CASE("the first pause after a re-enable is not cut short by the previous stop") {
    PipelineRig rig;
    REQUIRE(rig.Enable());
    rig.Disable();  // the worker was waiting for items, not pausing: the stop signal stays unused
    REQUIRE(rig.Enable());
    rig.Burst("a\r");
    auto pauses = [&] {
        std::lock_guard lock(rig.platform.pauseMutex);
        return rig.platform.pausesCutShort;
    };
    REQUIRE(rig.Eventually([&] { return !pauses().empty(); }));
    CHECK_FALSE(pauses().front());
}

TEST_CASE("while a window of ours is in front, readings wait with no key held and are typed afterwards") {
    PipelineRig rig;
    FakeDesktop& desktop = rig.platform.desktop;
    REQUIRE(rig.Enable());

    // A reading that arrives while our box is in front waits, without the sending picture.
    desktop.Show(FrontKind::kOwnWindow, 50);
    rig.Burst("1\r");
    rig.Burst("2\r");
    REQUIRE(rig.Eventually([&] { return rig.host.Traced(u"send-key held: a window of this program is in front"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    CHECK(rig.typed.Text().empty());
    const auto pictures = rig.host.Read(rig.host.pictures);
    CHECK(std::find(pictures.begin(), pictures.end(), TrayPicture::kSending) == pictures.end());
    desktop.Show(FrontKind::kUserWindow, FakeDesktop::kUserWindow);
    CHECK(rig.Eventually([&] { return desktop.TextOf(FakeDesktop::kUserWindow) == u"1\r2\r"; }));
}

namespace {

const KeyStroke kShiftDown{kVkShift, false}, kShiftUp{kVkShift, true};
KeyStroke Down(char16_t ch) {
    return {static_cast<uint8_t>(ch), false};
}
KeyStroke Up(char16_t ch) {
    return {static_cast<uint8_t>(ch), true};
}

}  // namespace

// A reading "SSab" CR where something else takes the front after "S" went in (Shift down, S down,
// S up): the rest waits, Shift is let go, nothing reaches another window but that release, and
// once the user's window is back the rest goes there, whole, once and in order.
TEST_CASE("the taskbar, no window, another window or refused keys mid-reading: the rest waits for the user's window") {
    struct Case {
        const char* name;
        FrontKind kind;
        uintptr_t window;
        int refusals;  // the system takes no events this many times, with the user's window in front
        const char16_t* trace;
        bool announced = true;
    };
    const Case cases[] = {
        {"taskbar", FrontKind::kShell, 2, 0, u"send-key held: the taskbar or the desktop is in front"},
        {"locked", FrontKind::kNoWindow, 0, 0, u"send-key held: no window is in front"},
        {"another program", FrontKind::kUserWindow, 3, 0,
         u"send-key held: the window the reading started in is not in front"},
        {"another program, its event not here yet", FrontKind::kUserWindow, 7, 0,
         u"send-key held: the window the reading started in is not in front", false},
        {"refused", FrontKind::kUserWindow, FakeDesktop::kUserWindow, 4, u"send-key held: the system took no key events"},
    };
    for (const Case& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        PipelineRig rig;
        FakeDesktop& desktop = rig.platform.desktop;
        rig.layout.shifted = u'S';
        REQUIRE(rig.Enable());
        desktop.Show(c.kind, c.window, 3, c.refusals, c.announced);
        rig.Burst("SSab\r");
        REQUIRE(rig.Eventually([&] { return rig.host.Traced(c.trace); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(120));  // a few polls of the hold
        if (c.window != FakeDesktop::kUserWindow) {
            CHECK(desktop.TextOf(FakeDesktop::kUserWindow) == u"S");
            // The only thing another window may get is the release of the held Shift.
            const auto others = desktop.StrokesOf(c.window);
            CHECK(std::all_of(others.begin(), others.end(), [](const KeyStroke& k) { return k == kShiftUp; }));
            CHECK_FALSE(g_bSending.load());
            desktop.Show(FrontKind::kUserWindow, FakeDesktop::kUserWindow);
        }
        REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() == 1; }));
        // Where the system refused keys, it refused the release of Shift too: Shift was still
        // down when typing went on. Elsewhere Shift went up in the other window first.
        const bool refusedRelease = c.kind == FrontKind::kNoWindow || c.refusals > 0;
        std::vector<KeyStroke> expected{kShiftDown, Down('S'), Up('S')};
        if (!refusedRelease) {
            expected.push_back(kShiftDown);
        }
        for (const KeyStroke& k : {Down('S'), Up('S'), kShiftUp, Down('a'), Up('a'), Down('b'), Up('b'),
                                   Down('\r'), Up('\r')}) {
            expected.push_back(k);
        }
        CHECK(desktop.StrokesOf(FakeDesktop::kUserWindow) == expected);
        CHECK(rig.keys.SentKeyCount() == 5);
        CHECK(rig.host.TraceCount(c.trace) == 1);
        CHECK(rig.host.TraceCount(u"send-key goes on") == 1);
    }
}

TEST_CASE("a reading whose window is closed while it waits is cut short once, the next one goes to the new window") {
    PipelineRig rig;
    FakeDesktop& desktop = rig.platform.desktop;
    REQUIRE(rig.Enable());
    desktop.Show(FrontKind::kShell, 2, 2);
    rig.Burst("abc\r");
    REQUIRE(rig.Eventually([&] { return rig.host.Traced(u"send-key held: the taskbar or the desktop is in front"); }));
    desktop.Close(FakeDesktop::kUserWindow);
    REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() == 1; }));
    CHECK(rig.host.TraceCount(u"send-key: a reading was cut short, its window was closed") == 1);
    CHECK(rig.host.Read(rig.host.notices) == std::vector<std::u16string>{u"DORVANE"});
    desktop.Show(FrontKind::kUserWindow, 4);
    rig.Burst("de\r");
    CHECK(rig.Eventually([&] { return desktop.TextOf(4) == u"de\r"; }));
    CHECK(desktop.TextOf(FakeDesktop::kUserWindow) == u"a");
}

TEST_CASE("the chosen program: executable names and title patterns, case-blind") {
    const CTargetPrograms targets(u" EXCEL.EXE ;;*SAP Logon*;Kasse ? *;notepad.exe");
    struct Case {
        const char16_t* exe;
        const char16_t* title;
        bool matches;
    };
    const Case cases[] = {
        {u"C:\\Program Files\\Office\\excel.exe", u"Book1", true},
        {u"excel.exe.bak", u"Book1", false},
        {u"C:\\SAP\\saplogon.exe", u"SAP Logon 770", true},
        {u"other.exe", u"sap logon", true},
        {u"other.exe", u"Kasse ? 3", true},   // "?" is a character here, not a wildcard
        {u"other.exe", u"Kasse 1 3", false},
        {u"NOTEPAD.EXE", u"", true},
        {u"", u"notepad.exe", false},        // an .exe entry names the program, not a title
        {u"", u"", false},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.title, c.title + std::char_traits<char16_t>::length(c.title)));
        CHECK(targets.Matches(c.exe, c.title) == c.matches);
    }
    CHECK(targets.Describe() == u"EXCEL.EXE or *SAP Logon* or Kasse ? * or notepad.exe");
    CHECK_FALSE(CTargetPrograms(u" ; ").Any());
    CHECK(WildcardMatch(u"a*b*c", u"aXbYbZc"));
    CHECK_FALSE(WildcardMatch(u"a*b*c", u"aXbYbZ"));
    CHECK(WildcardMatch(u"**", u""));
    // "Pick..." on the settings page adds a program once.
    CHECK(WithProgramAdded(u"", u"notepad.exe") == u"notepad.exe");
    CHECK(WithProgramAdded(u" EXCEL.EXE ; ", u"notepad.exe") == u"EXCEL.EXE;notepad.exe");
    CHECK(WithProgramAdded(u"EXCEL.EXE;*SAP*", u"excel.exe") == u"EXCEL.EXE;*SAP*");
    CHECK(WithProgramAdded(u"*SAP*", u"saplogon.exe") == u"*SAP*;saplogon.exe");
}

TEST_CASE("readings wait for the chosen program: never typed elsewhere, counted for the tray, dropped only by the discard") {
    PipelineRig rig;
    FakeDesktop& desktop = rig.platform.desktop;
    constexpr uintptr_t kNotepad = FakeDesktop::kUserWindow, kExcel = 5, kSap = 6;
    desktop.SetIdentity(kNotepad, u"C:\\Windows\\notepad.exe", u"Untitled - Notepad");
    desktop.SetIdentity(kExcel, u"C:\\Office\\EXCEL.EXE", u"Book1");
    desktop.SetIdentity(kSap, u"C:\\SAP\\saplogon.exe", u"SAP Logon 770");
    WriteSetting(rig.profile, TARGET_PROGRAM, u"excel.exe;*SAP Logon*");
    REQUIRE(rig.Enable());
    CHECK(rig.service.WaitingFor() == u"excel.exe or *SAP Logon*");

    rig.Burst("ab\r");
    rig.Burst("cd\r");
    REQUIRE(rig.Eventually([&] { return rig.service.WaitingReadings() == 2; }));
    CHECK(rig.host.waitingChanges.load() >= 2);
    desktop.Show(FrontKind::kUserWindow, kExcel);
    REQUIRE(rig.Eventually([&] { return desktop.TextOf(kExcel) == u"ab\rcd\r"; }));
    CHECK(rig.service.WaitingReadings() == 0);
    CHECK(rig.Eventually([&] { return rig.host.readingsHandled == 2; }));
    CHECK(desktop.StrokesOf(kNotepad).empty());

    // The tray menu comes in front to discard: the waiting (and its count) lasts meanwhile.
    desktop.Show(FrontKind::kUserWindow, kNotepad);
    rig.Burst("ef\r");
    rig.Burst("gh\r");
    REQUIRE(rig.Eventually([&] { return rig.service.WaitingReadings() == 2; }));
    desktop.Show(FrontKind::kShell, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    CHECK(rig.service.WaitingReadings() == 2);
    rig.service.DiscardWaitingReadings();
    REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() == 4; }));
    CHECK(rig.service.WaitingReadings() == 0);
    CHECK(rig.host.TraceCount(u"send-key: 2 waiting readings discarded") == 1);
    CHECK(rig.Eventually([&] { return rig.host.readingsHandled == 4; }));  // discarded, still acknowledged
    CHECK(rig.host.TraceCount(u"send-key held: the chosen program is not in front") == 2);
    CHECK(rig.host.Read(rig.host.notices) == std::vector<std::u16string>{u"DORVANE", u"DORVANE"});

    rig.service.DiscardWaitingReadings();  // none waits: the next reading is not dropped for it
    desktop.Show(FrontKind::kUserWindow, kSap);
    rig.Burst("ij\r");
    CHECK(rig.Eventually([&] { return desktop.TextOf(kSap) == u"ij\r"; }));
    CHECK(desktop.StrokesOf(kNotepad).empty());
    CHECK(desktop.StrokesOf(2).empty());
}

TEST_CASE("the window in front is asked about once per item and after announced changes, not per character") {
    PipelineRig rig;
    FakeDesktop& desktop = rig.platform.desktop;
    REQUIRE(rig.Enable());
    const int before = desktop.FrontQueries();
    REQUIRE(rig.BurstHandled(std::string(2000, 'x') + "\r", 1));
    CHECK(desktop.FrontQueries() - before == 1);
    CHECK(desktop.TextOf(FakeDesktop::kUserWindow).size() == 2001);
}

TEST_CASE("a look ahead while the reading arrives serves its item only while the same window is still in front") {
    enum class Meanwhile {
        kNothing,
        kAnnouncedSwitch,
        kAnnouncedBackAgain,  // away and back: the window may not be the one looked at
        kUnannouncedSwitch,
        kUnannouncedTaskbar,
        kTooLong,
        kAskedAgainSoon,  // the reader asks on every read; a look a quarter second at most
    };
    struct Case {
        Meanwhile meanwhile;
        uintptr_t typedInto;
        int looks;  // at the window in front and at its target, each
    };
    const Case cases[] = {
        {Meanwhile::kNothing, FakeDesktop::kUserWindow, 1},
        {Meanwhile::kAnnouncedSwitch, 2, 2},
        {Meanwhile::kAnnouncedBackAgain, FakeDesktop::kUserWindow, 2},
        {Meanwhile::kUnannouncedSwitch, 2, 2},
        {Meanwhile::kUnannouncedTaskbar, FakeDesktop::kUserWindow, 2},  // held until the user's window is back
        {Meanwhile::kTooLong, FakeDesktop::kUserWindow, 2},
        {Meanwhile::kAskedAgainSoon, FakeDesktop::kUserWindow, 1},
    };
    for (const Case& c : cases) {
        CAPTURE(static_cast<int>(c.meanwhile));
        PipelineRig rig;
        FakeDesktop& desktop = rig.platform.desktop;
        REQUIRE(rig.Enable());
        const int queries = desktop.FrontQueries();
        rig.service.OnBytesArriving();
        REQUIRE(rig.Eventually([&] { return desktop.FrontQueries() == queries + 1; }));
        switch (c.meanwhile) {
            case Meanwhile::kNothing: break;
            case Meanwhile::kAnnouncedSwitch: desktop.Show(FrontKind::kUserWindow, 2); break;
            case Meanwhile::kUnannouncedSwitch: desktop.Show(FrontKind::kUserWindow, 2, 0, 0, false); break;
            case Meanwhile::kUnannouncedTaskbar: desktop.Show(FrontKind::kShell, 9, 0, 0, false); break;
            case Meanwhile::kAnnouncedBackAgain: desktop.Show(FrontKind::kUserWindow, FakeDesktop::kUserWindow); break;
            case Meanwhile::kTooLong: rig.platform.now += 500; break;
            case Meanwhile::kAskedAgainSoon: rig.platform.now += 249, rig.service.OnBytesArriving(); break;
        }
        rig.Burst("ab\r");
        if (c.meanwhile == Meanwhile::kUnannouncedTaskbar) {
            REQUIRE(rig.Eventually([&] { return rig.host.TraceCount(u"send-key held: the taskbar or the desktop is in front") == 1; }));
            desktop.Show(FrontKind::kUserWindow, FakeDesktop::kUserWindow);
        }
        REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() == 1; }));
        CHECK(desktop.TextOf(c.typedInto) == u"ab\r");
        CHECK(desktop.TextOf(9).empty());
        if (c.meanwhile != Meanwhile::kUnannouncedTaskbar) {  // the hold asks every poll
            CHECK(desktop.FrontQueries() - queries == c.looks);
            CHECK(rig.platform.targetLookups == c.looks);
        }
    }
}

TEST_CASE("Caps Lock switched while the service runs reaches the typing, though the typing thread's key state does not follow") {
    PipelineRig rig;
    FakeDesktop& desktop = rig.platform.desktop;
    REQUIRE(rig.Enable());
    REQUIRE(rig.BurstHandled("a\r", 1));
    CHECK_FALSE(rig.layout.capsLockAsked.load());

    desktop.PressCapsLock();
    REQUIRE(rig.BurstHandled("b\r", 2));
    CHECK(rig.layout.capsLockAsked.load());
    CHECK_FALSE(rig.platform.typingThreadCapsLock.load());  // what a GetKeyState there would say

    desktop.PressCapsLock();
    REQUIRE(rig.BurstHandled("c\r", 3));
    CHECK_FALSE(rig.layout.capsLockAsked.load());

    // Pressed while a reading is typed: the hook is off then (the system would call it for
    // every injected key) and the key's state is sampled; the rest of the reading and the next
    // one follow the press, and the hook is back once the keys stopped.
    const size_t hookedBefore = desktop.HookedStrokes();
    desktop.PressCapsLock(10);
    REQUIRE(rig.BurstHandled(std::string(20, 'd') + "\r", 4));
    CHECK(desktop.HookedStrokes() == hookedBefore);
    CHECK(rig.layout.capsLockAsked.load());
    REQUIRE(rig.BurstHandled("e\r", 5));
    CHECK(rig.layout.capsLockAsked.load());
    desktop.PressCapsLock();
    REQUIRE(rig.BurstHandled("f\r", 6));
    CHECK_FALSE(rig.layout.capsLockAsked.load());

    // A reading that begins to arrive takes the hook off ahead of its keys, which hand it back.
    REQUIRE(desktop.HookSet());
    rig.service.OnBytesArriving();
    CHECK_FALSE(desktop.HookSet());
    REQUIRE(rig.BurstHandled("g\r", 7));
    CHECK(desktop.HookSet());
    CHECK(desktop.HookedStrokes() == hookedBefore);
}

TEST_CASE("a failed recording write is traced each time and shown once per enable") {
    PipelineRig rig;
    RecordTo(rig);
    rig.platform.recorded.diskFull = true;
    REQUIRE(rig.Enable());
    rig.Burst("A\r");
    rig.Drain();
    REQUIRE(rig.BurstHandled("B\r", 2));
    rig.Disable();
    REQUIRE(rig.Enable());
    REQUIRE(rig.BurstHandled("C\r", 3));  // each counts as handled
    using Report = std::pair<std::u16string, bool>;
    CHECK(rig.host.Read(rig.host.errors) == std::vector<Report>{{u"Write recording file failed!", true},
                                                                {u"Write recording file failed!", false},
                                                                {u"Write recording file failed!", true}});
}

TEST_CASE("a window of an elevated program in front: nothing typed or counted, one trace and notice per window") {
    PipelineRig rig;
    const std::u16string line = u"send-key: the window in front belongs to a program running as administrator, nothing typed";
    FakeDesktop& desktop = rig.platform.desktop;
    desktop.SetElevated(7);
    desktop.SetElevated(8);
    REQUIRE(rig.Enable());
    desktop.Show(FrontKind::kUserWindow, 7);
    rig.Burst("ab\r");
    REQUIRE(rig.BurstHandled("cd\r", 2));
    desktop.Show(FrontKind::kUserWindow, 8);  // another such window
    REQUIRE(rig.BurstHandled("ef\r", 3));
    CHECK(rig.typed.Text().empty());
    CHECK(rig.keys.SentKeyCount() == 0);
    CHECK(rig.host.TraceCount(line) == 2);
    CHECK(rig.host.Read(rig.host.notices) == std::vector<std::u16string>{u"DORVANE cannot type here", u"DORVANE cannot type here"});

    desktop.Show(FrontKind::kUserWindow, 9);  // the user's own window again
    rig.Burst("gh\r");
    CHECK(rig.Eventually([&] { return rig.typed.Text() == u"gh\r"; }));
}

TEST_CASE("the reading rules shape what is typed and recorded, and a rule that cannot work stops typing, told once") {
    const auto withRules = [](PipelineRig& rig) {
        WriteSetting(rig.profile, DATA_NUMBER, 2);
        WriteSetting(rig.profile, DATA_DECIMAL, u",");
        WriteSetting(rig.profile, DATA_SUFFIX, u"{TAB}");
        WriteSetting(rig.profile, DATA_TERMINATOR, 0);
    };
    SUBCASE("typed: the number with a comma, then Tab as its key, no line end") {
        PipelineRig rig;
        withRules(rig);
        REQUIRE(rig.Enable());
        REQUIRE(rig.BurstHandled("W 7.5\r\nERR\r\n", 2));
        CHECK(rig.platform.desktop.TextOf(FakeDesktop::kUserWindow) == u"7,5\t");
        CHECK(rig.host.TraceCount(u"reading skipped, no match") == 1);
        // Each reading is acknowledged, the skipped one too; a line end alone is no reading.
        CHECK(rig.host.readingsHandled == 2);
        REQUIRE(rig.BurstHandled("\n", 3));
        CHECK(rig.host.readingsHandled == 2);
    }
    SUBCASE("recorded: the Tab as a tab") {
        PipelineRig rig;
        withRules(rig);
        RecordTo(rig);
        REQUIRE(rig.Enable());
        REQUIRE(rig.BurstHandled("ST,GS,-000.50kg\r\n", 1));
        CHECK(rig.platform.recorded.items == std::vector<std::u16string>{u"-0,50\t"});
    }
    SUBCASE("a disable cuts a slow pace short") {
        PipelineRig rig;
        rig.Set(TYPE_DELAY_MS, 1000);
        REQUIRE(rig.Enable());
        rig.Burst("abc\r");
        REQUIRE(rig.Eventually([&] { return rig.platform.desktop.TextOf(FakeDesktop::kUserWindow) == u"a"; }));
        const auto start = std::chrono::steady_clock::now();
        rig.Disable();
        CHECK(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500));
        CHECK(rig.platform.desktop.TextOf(FakeDesktop::kUserWindow) == u"a");
    }
    SUBCASE("a stored pace over a second stops typing like a rule that cannot work") {
        PipelineRig rig;
        rig.Set(TYPE_DELAY_MS, 1001);
        REQUIRE(rig.Enable());
        REQUIRE(rig.BurstHandled("123\r", 1));
        CHECK(rig.platform.desktop.StrokesOf(FakeDesktop::kUserWindow).empty());
        CHECK(rig.host.faults.Tip() == u"not typing: TYPE_DELAY_MS must be 0 to 1000");
    }
    SUBCASE("a stored expression that does not compile: nothing typed, unshaped neither") {
        PipelineRig rig;
        ReadingRuleSettings broken;
        broken.extract = u"([0-9]";
        const std::u16string refusal = CReadingRules().Set(broken).value_or(u"accepted");
        WriteSetting(rig.profile, DATA_EXTRACT, broken.extract);
        REQUIRE(rig.Enable());
        REQUIRE(rig.BurstHandled("123\r", 1));
        CHECK(rig.platform.desktop.StrokesOf(FakeDesktop::kUserWindow).empty());
        CHECK(rig.host.TraceCount(u"reading rules refused: " + refusal) == 1);
        CHECK(rig.host.faults.Tip() == u"not typing: " + FaultTip(refusal));
        rig.Disable();  // a reconnection: the fault again, told in the tooltip only
        REQUIRE(rig.Enable());
        CHECK(rig.host.Read(rig.host.notices) == std::vector<std::u16string>{u"DORVANE"});
        CHECK(rig.host.faults.Has(Fault::kReadingRules));
        rig.Disable();
        WriteSetting(rig.profile, DATA_EXTRACT, u"([0-9]+)");
        REQUIRE(rig.Enable());
        CHECK(rig.host.faults.Tip().empty());
    }
}
