#include <doctest/doctest.h>

#include <functional>

#include "app/core/serviceview.h"
#include "core/faults.h"

using namespace dorvane;

namespace {

ServiceView Enabled() {
    ServiceView state;
    state.enabled = true;
    state.port = u"COM7";
    state.comReads = 12;
    state.sentKeys = 340;
    return state;
}

}  // namespace

TEST_CASE("tray tooltip: each state, a fault while enabled, and never more than the shell shows") {
    const std::u16string rules = u"not typing: DATA_EXTRACT: the expression is not valid";
    const std::u16string longPort(120, u'P');
    struct Case {
        const char* what;
        std::function<void(ServiceView&)> change;
        std::u16string tip;
        std::u16string profile = {};
    };
    const Case cases[] = {
        {"enabled, no fault: as it always was", [](ServiceView&) {},
         u"DORVANE [Send], Enabled @ COM7\nCOM read: 12, Sent Key: 340"},
        {"recording", [](ServiceView& s) { s.record = true; }, u"DORVANE [Record], Enabled @ COM7"},
        {"readings refused by a check are counted", [](ServiceView& s) { s.refused = 2; },
         u"DORVANE [Send], Enabled @ COM7\nCOM read: 12, Sent Key: 340, Refused: 2"},
        {"a fault follows the state, the counters after it",
         [&](ServiceView& s) { s.fault = rules; },
         u"DORVANE [Send], Enabled @ COM7, " + rules + u"\nCOM read: 12, Sent Key: 340"},
        {"the profile's name in front",
         [&](ServiceView& s) { s.fault = u"hotkey F9 taken by another program"; },
         u"Scale 2: DORVANE [Send], Enabled @ COM7, hotkey F9 taken by another program\nCOM read: 12, Sent Key: 340",
         u"Scale 2"},
        {"no room: the counters go first",
         [&](ServiceView& s) { s.fault = rules + u" (the first group)"; },
         u"Warehouse desk 4: DORVANE [Send], Enabled @ COM7, " + rules + u" (the first group)", u"Warehouse desk 4"},
        {"still no room: the fault is cut, and says so",
         [&](ServiceView& s) { s.port = longPort; s.fault = rules; },
         u"DORVANE [Send], Enabled @ " + longPort.substr(0, 53) + u", " +
             rules.substr(0, 127 - 79 - 2 - 1) + u"\u2026"},
        {"a long port without a fault is cut where it always was",
         [&](ServiceView& s) { s.port = longPort; },
         u"DORVANE [Send], Enabled @ " + longPort.substr(0, 53)},
        {"waiting readings: the fault on a line of its own",
         [&](ServiceView& s) { s.waiting = 2; s.waitingFor = u"notepad.exe"; s.fault = u"hotkey F9 taken by another program"; },
         u"DORVANE, 2 readings waiting for notepad.exe\nhotkey F9 taken by another program"},
        {"dropped readings", [](ServiceView& s) { s.dropped = 1; s.heldFor = u"notepad.exe"; s.waiting = 1000; },
         u"DORVANE, 1 reading dropped: waiting for notepad.exe"},
        {"another copy typing", [](ServiceView& s) { s.waitingForCopy = true; },
         u"DORVANE, waiting for another copy's typing"},
        {"disabled: no fault, no counts", [&](ServiceView& s) { s.enabled = false; s.fault = rules; s.waiting = 3; },
         u"DORVANE, Disabled"},
        {"waiting for a lost device",
         [](ServiceView& s) { s.enabled = false; s.watchingPort = true; s.watchedPort = u"COM7"; },
         u"DORVANE, waiting for COM7"},
        {"waiting for a device picked for its port",
         [](ServiceView& s) { s.enabled = false; s.watchingPort = true; s.watchedPort = u"COM7"; s.deviceAbsent = true; },
         u"DORVANE, waiting for COM7: its device is absent"},
        {"waiting, two devices alike",
         [](ServiceView& s) { s.enabled = false; s.watchingPort = true; s.watchedPort = u"COM7"; s.deviceAmbiguous = true; },
         u"DORVANE, waiting for COM7: two devices could be its device"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        ServiceView state = Enabled();
        c.change(state);
        const std::u16string tip = ComposeTrayTip(state, c.profile);
        CHECK(tip == c.tip);
        CHECK(tip.size() <= kTrayTipChars);
    }
}

TEST_CASE("the state's picture: enabled or disabled, none while readings wait (their handling's picture stays)") {
    ServiceView state = Enabled();
    CHECK(StatePicture(state) == TrayPicture::kEnabled);
    state.waiting = 1;
    CHECK(StatePicture(state) == std::nullopt);
    state.waiting = 0;
    state.dropped = 3;
    CHECK(StatePicture(state) == std::nullopt);
    state.dropped = 0;
    state.waitingForCopy = true;
    CHECK(StatePicture(state) == std::nullopt);
    state.enabled = false;  // counts left over from the run before do not count
    CHECK(StatePicture(state) == TrayPicture::kDisabled);
}

TEST_CASE("faults: the first present in order is told, each announced once a run however often it comes back") {
    using Raised = CFaultBoard::Raised;
    CFaultBoard board;
    CHECK(board.Tip().empty());
    CHECK(board.Raise(Fault::kHotkey, u"hotkey F9 taken by another program") == Raised::kAnnounce);
    CHECK(board.Raise(Fault::kReadingRules, u"not typing: DATA_CASE must be 0, 1 or 2") == Raised::kAnnounce);
    CHECK(board.Raise(Fault::kReadingRules, u"not typing: DATA_CASE must be 0, 1 or 2") == Raised::kUnchanged);
    CHECK(board.Tip() == u"not typing: DATA_CASE must be 0, 1 or 2");
    CHECK(board.Clear(Fault::kReadingRules));
    CHECK_FALSE(board.Clear(Fault::kReadingRules));
    CHECK(board.Tip() == u"hotkey F9 taken by another program");
    CHECK(board.Raise(Fault::kReadingRules, u"not typing: DATA_CASE must be 0, 1 or 2") == Raised::kChanged);  // a reconnection
    CHECK(board.Raise(Fault::kReadingRules, u"not typing: DATA_NUMBER must be 0, 1 or 2") == Raised::kAnnounce);
    CHECK(FaultTip(u"DATA_CASE must be 0, 1 or 2!") == u"DATA_CASE must be 0, 1 or 2");
}
