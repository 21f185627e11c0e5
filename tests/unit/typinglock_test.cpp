// Several copies (one per profile) typing through the locks they share: readings never split
// each other, a held reading keeps no other copy waiting, and the lock's troubles (a copy that
// ended holding it, one that made it out of reach) never let keys go out wrong.
#include <doctest/doctest.h>

#include <chrono>
#include <string>
#include <vector>

#include "pipeline/core/pipelinesettings.h"
#include "pipelinerig.h"

using namespace dorvane;
using dorvane::testing::ClaimName;
using dorvane::testing::FakeCopyLocks;
using dorvane::testing::FakeDesktop;
using dorvane::testing::IdentityLayout;
using dorvane::testing::PipelineRig;
using dorvane::testing::TypedText;

namespace {

constexpr uintptr_t kOtherWindow = 3;
constexpr uintptr_t kTaskbar = 2;

KeyStroke Down(char16_t ch) {
    return {static_cast<uint8_t>(ch), false};
}
KeyStroke Up(char16_t ch) {
    return {static_cast<uint8_t>(ch), true};
}

}  // namespace

// Copy A's reading "abcd" CR is under way in the user's window when something happens; copy B's
// reading "wxyz" CR comes meanwhile. Each reading goes whole into one window, and B waits for A
// only where it would otherwise go into A's unfinished reading.
TEST_CASE("two copies: readings never split each other, and a held reading keeps the other copy waiting only for its window") {
    struct Case {
        const char* name;
        FrontKind kind;          // what comes to the front after A's first character
        uintptr_t window;
        uint32_t typeDelayMs;    // A's pace
        const char16_t* bHeld;   // B's trace while it cannot type; null: B types at once
        std::u16string userWindowText;  // what the user's window has in the end
        std::u16string otherText;       // and the window that came in front
    };
    const Case cases[] = {
        // B's reading goes into the window the user went to while A's waits for its own.
        {"another program in front", FrontKind::kUserWindow, kOtherWindow, 0, nullptr, u"abcd\r", u"wxyz\r"},
        // Both wait for the user's window; B's then goes in after A's, not into its middle.
        {"the taskbar in front", FrontKind::kShell, kTaskbar, 0, u"send-key held: the taskbar or the desktop is in front",
         u"abcd\rwxyz\r", u""},
        // A's slow pace lets keys rest between characters: still nothing of B's comes between.
        {"a slow pace, nothing in front changes", FrontKind::kUserWindow, FakeDesktop::kUserWindow, 30, nullptr,
         u"abcd\rwxyz\r", u""},
    };
    for (const Case& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        FakeCopyLocks locks;
        PipelineRig a(locks);
        a.Set(TYPE_DELAY_MS, static_cast<int>(c.typeDelayMs));
        PipelineRig b(a, locks, 2);
        FakeDesktop& desktop = a.platform.desktop;
        REQUIRE(a.Enable());
        REQUIRE(b.Enable());

        desktop.Show(c.kind, c.window, 2);  // after 'a' went in
        a.Burst("abcd\r");
        if (c.window != FakeDesktop::kUserWindow) {
            REQUIRE(a.Eventually([&] { return a.service.ReadingsWait(); }));
        } else {
            REQUIRE(a.Eventually([&] { return desktop.TextOf(FakeDesktop::kUserWindow).size() >= 1; }));
        }
        b.Burst("wxyz\r");
        if (c.kind == FrontKind::kUserWindow && c.window != FakeDesktop::kUserWindow) {
            // While A's reading waits for the user's window, B's is typed where the user is.
            CHECK(b.Eventually([&] { return b.service.HandledItems() == 1; }));
            CHECK(desktop.TextOf(kOtherWindow) == c.otherText);
            CHECK(a.service.HandledItems() == 0);
        }
        if (c.bHeld != nullptr) {
            REQUIRE(b.Eventually([&] { return b.host.Traced(c.bHeld); }));
        }
        desktop.Show(FrontKind::kUserWindow, FakeDesktop::kUserWindow);
        REQUIRE(a.Eventually([&] { return a.service.HandledItems() == 1 && b.service.HandledItems() == 1; }));
        CHECK(desktop.TextOf(FakeDesktop::kUserWindow) == c.userWindowText);
        CHECK(desktop.TextOf(c.window == FakeDesktop::kUserWindow ? kOtherWindow : c.window) == c.otherText);
        CHECK(desktop.ModifiersDown().empty());
        CHECK(locks.Owner(FakeCopyLocks::kTyping) == 0);
        CHECK(locks.Owner(ClaimName(FakeDesktop::kUserWindow)) == 0);
        CHECK_FALSE(a.service.WaitingForCopy());
        CHECK_FALSE(b.service.WaitingForCopy());
    }
}

// Held across characters, Shift would be down for the next copy's first keys were the lock let
// go first.
TEST_CASE("an item that ends on a shifted character lets Shift go before the typing lock") {
    FakeCopyLocks locks;
    PipelineRig rig(locks);
    rig.layout.shifted = u'B';
    rig.Set(SENDKB_CRLF, 0);
    rig.Set(SENDKB_RCVCHARS, 1);
    rig.Set(SENDKB_RCVCHARSNUMBER, 2);
    REQUIRE(rig.Enable());
    REQUIRE(rig.BurstHandled("aB", 1));
    CHECK(locks.Takes(FakeCopyLocks::kTyping) == 1);
    CHECK(locks.Owner(FakeCopyLocks::kTyping) == 0);
    CHECK(rig.platform.unlocksWithModifiersDown == 0);
}

TEST_CASE("a reading that waits more than 2 s for another copy says so, a stop ends the wait at once") {
    FakeCopyLocks locks;
    PipelineRig rig(locks);
    FakeDesktop& desktop = rig.platform.desktop;
    REQUIRE(rig.Enable());
    const std::string claim = ClaimName(FakeDesktop::kUserWindow);

    // Another copy's long reading is going into the user's window.
    REQUIRE(locks.Try(claim, 2, 0) == TypingLockTry::kTaken);
    rig.Burst("1\r");
    REQUIRE(rig.Eventually([&] { return locks.BusyAnswers() > 0; }));
    rig.platform.now += 1900;
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    CHECK_FALSE(rig.service.WaitingForCopy());  // a short wait is not worth a word
    rig.platform.now += 200;
    REQUIRE(rig.Eventually([&] { return rig.service.WaitingForCopy(); }));
    CHECK(rig.host.waitingChanges > 0);
    CHECK(rig.service.ReadingsWait());  // no requests to the device meanwhile
    CHECK(desktop.TextOf(FakeDesktop::kUserWindow).empty());

    // Its reading is done: ours goes in, and the tray hears that the waiting is over.
    const int changes = rig.host.waitingChanges;
    locks.Release(claim, 2);
    REQUIRE(rig.Eventually([&] { return desktop.TextOf(FakeDesktop::kUserWindow) == u"1\r"; }));
    CHECK_FALSE(rig.service.WaitingForCopy());
    CHECK(rig.host.waitingChanges > changes);

    // Waiting again, for the typing lock this time, a disable ends it at once.
    REQUIRE(locks.Try(FakeCopyLocks::kTyping, 2, 0) == TypingLockTry::kTaken);
    const int busy = locks.BusyAnswers();
    rig.Burst("2\r");
    REQUIRE(rig.Eventually([&] { return locks.BusyAnswers() > busy; }));
    rig.platform.now += 2500;
    REQUIRE(rig.Eventually([&] { return rig.service.WaitingForCopy(); }));
    const auto start = std::chrono::steady_clock::now();
    rig.Disable();
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(400));
    CHECK_FALSE(rig.service.WaitingForCopy());
    CHECK(desktop.TextOf(FakeDesktop::kUserWindow) == u"1\r");
    CHECK(locks.Owner(claim) == 0);  // the claim it had taken went with the stop
}

// A copy ended in the middle of its typing (its process killed, say): the typing lock is
// abandoned, and whatever modifiers its last character held are still down in the system.
TEST_CASE("a lock left by a copy that ended: the modifiers it left down are released before the first key") {
    struct Case {
        const char* name;
        std::u16string deadTyped;
        std::vector<KeyStroke> releases;  // what goes in before the reading
        const char16_t* trace;
    };
    const KeyStroke lShiftUp{0xA0, true}, lCtrlUp{0xA2, true}, rAltUp{0xA5, true};
    const Case cases[] = {
        {"a shifted character last", u"xY", {lShiftUp}, u"send-key: another copy ended while it typed, its modifier keys released"},
        {"an AltGr character last", u"x@", {lCtrlUp, rAltUp}, u"send-key: another copy ended while it typed, its modifier keys released"},
        {"a plain character last", u"xy", {}, u"send-key: another copy ended while it typed"},
    };
    for (const Case& c : cases) {
        const std::string name = c.name;
        CAPTURE(name);
        FakeCopyLocks locks;
        PipelineRig rig(locks);
        FakeDesktop& desktop = rig.platform.desktop;
        REQUIRE(rig.Enable());

        IdentityLayout deadLayout;
        deadLayout.shifted = u'Y';
        deadLayout.altGr = u'@';
        TypedText deadInjector{desktop};
        CKeySynthesizer deadKeys{deadLayout, deadInjector};
        REQUIRE(locks.Try(FakeCopyLocks::kTyping, 2, 0) == TypingLockTry::kTaken);
        deadKeys.SendKeys(c.deadTyped.c_str());
        locks.End(2);
        const std::vector<KeyStroke> dead = desktop.StrokesOf(FakeDesktop::kUserWindow);

        REQUIRE(rig.BurstHandled("ab\r", 1));
        std::vector<KeyStroke> expected = dead;
        expected.insert(expected.end(), c.releases.begin(), c.releases.end());
        for (const KeyStroke& k : {Down('a'), Up('a'), Down('b'), Up('b'), Down('\r'), Up('\r')}) {
            expected.push_back(k);
        }
        CHECK(desktop.StrokesOf(FakeDesktop::kUserWindow) == expected);
        CHECK(desktop.ModifiersDown().empty());
        CHECK(rig.host.TraceCount(c.trace) == 1);
    }
}

// An elevated copy made the lock with Windows' default security (an older Dorvane): this copy
// cannot open it. It must not type without it.
TEST_CASE("a lock out of reach: the reading is held with one trace and a fault, nothing typed until the lock can be had") {
    const std::string locksToDeny[] = {FakeCopyLocks::kTyping, ClaimName(FakeDesktop::kUserWindow)};
    for (const std::string& denied : locksToDeny) {
        CAPTURE(denied);
        FakeCopyLocks locks;
        PipelineRig rig(locks);
        FakeDesktop& desktop = rig.platform.desktop;
        REQUIRE(rig.Enable());
        locks.Deny(denied);

        rig.Burst("ab\r");
        rig.Burst("cd\r");
        const std::u16string held = u"send-key held: the typing lock of the other copies cannot be had";
        REQUIRE(rig.Eventually([&] { return rig.host.Traced(held); }));
        REQUIRE(rig.Eventually([&] { return locks.Refusals() >= 4; }));  // asked again, not given up
        CHECK(desktop.StrokesOf(FakeDesktop::kUserWindow).empty());
        CHECK(rig.service.HandledItems() == 0);
        CHECK(rig.host.faults.Tip() == u"not typing: another copy's typing lock is out of reach");

        locks.Allow(denied);  // the elevated copy has ended: the lock is made anew, within reach
        REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() == 2; }));
        CHECK(desktop.TextOf(FakeDesktop::kUserWindow) == u"ab\rcd\r");
        CHECK(rig.host.TraceCount(held) == 1);
        CHECK(rig.host.faults.Tip().empty());
    }
}
