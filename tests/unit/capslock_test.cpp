// Following Caps Lock: the follower against a scripted system, and the whole pipeline against
// the fake desktop where presses go unseen or are taken out, with "Press the SHIFT key to turn
// off Caps Lock" too.
#include <doctest/doctest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pipeline/core/capslock.h"
#include "pipelinerig.h"

using namespace dorvane;
using dorvane::testing::FakeDesktop;
using dorvane::testing::PipelineRig;

namespace {

constexpr uint8_t kVkShiftKey = 0x10;

// The system's side of Caps Lock as a script drives it. As Windows does it, a key event goes to
// the hook before the system takes it: it waits until the watch's thread takes its messages
// again (before the script's next step), and only then does the key's state change, unless
// another program's hook took it out. Without the hook the system takes it at once; a removed
// hook passes none of the events still waiting, which the system takes unseen.
struct ScriptedCapsLock : ICapsLockSource {
    struct Event {
        uint8_t vk;
        bool up;
        bool swallowed;
    };
    CCapsLockFollower follower{*this};
    bool hooked = false;
    std::map<uint8_t, bool> down, pressedBit;
    char onHookSet = 0;  // the key goes down (J, K) or is tapped (j, k) just before / after the hook is set
    int refusedHookSets = 0;  // the system refuses this many more hooks
    std::vector<Event> pending;

    void Key(uint8_t vk, bool goesDown, bool swallowed = false) {
        if (hooked) {
            pending.push_back(Event{vk, !goesDown, swallowed});
        } else if (!swallowed) {
            Take(vk, goesDown);
        }
    }
    void Tap(uint8_t vk, bool swallowed = false) { Key(vk, true, swallowed), Key(vk, false, swallowed); }
    void Take(uint8_t vk, bool goesDown) {
        pressedBit[vk] = pressedBit[vk] || (goesDown && !down[vk]);
        down[vk] = goesDown;
    }
    // The watch's thread takes its messages.
    void Deliver() {
        for (const Event& event : std::exchange(pending, {})) {
            follower.OnKeyEvent(event.vk, event.up);
            if (!event.swallowed) {
                Take(event.vk, !event.up);
            }
        }
    }
    bool SetHook() override {
        if (refusedHookSets > 0) {
            --refusedHookSets;
            return false;
        }
        const char press = std::exchange(onHookSet, 0);
        const auto pressIf = [&](char down, char tap) {
            if (press == down || press == tap) {
                Key(kVkCapital, true);
            }
            if (press == tap) {
                Key(kVkCapital, false);
            }
        };
        pressIf('J', 'j');
        hooked = true;
        pressIf('K', 'k');
        return true;
    }
    void RemoveHook() override {
        hooked = false;
        for (const Event& event : std::exchange(pending, {})) {
            if (!event.swallowed) {
                Take(event.vk, !event.up);
            }
        }
    }
    uint16_t AsyncKeyState(uint8_t vk) override {
        return static_cast<uint16_t>((down[vk] ? 0x8000 : 0) | (std::exchange(pressedBit[vk], false) ? 1 : 0));
    }
    std::optional<bool> ToggleInFront() override { return false; }
};

}  // namespace

// Steps at a tick: A a reading arrives, S/E an item starts/ends, L a look (the watch waking).
TEST_CASE("keys out: while an item is typed, and from a reading's arrival until its keys went out or half a second passed") {
    struct Step {
        char what;
        uint32_t at;
        bool out;  // what a look finds after the step
    };
    constexpr uint32_t kLate = CKeysOutPlan::kArrivalMs;
    const std::vector<std::vector<Step>> cases = {
        {{'A', 0, true}, {'L', kLate - 1, true}, {'L', kLate, false}},
        {{'A', 0, true}, {'A', 400, true}, {'L', 400 + kLate - 1, true}},  // each read renews it
        {{'A', 0, true}, {'S', 100, true}, {'E', 120, false}, {'E', 130, false}},  // its keys came and went
        {{'S', 0, true}, {'A', 10, true}, {'E', 20, false}},               // the next one's come later
        {{'A', 0, true}, {'L', kLate, false}, {'A', 2000, true}},          // one lapsed, the next counts
        {{'S', 0, true}, {'L', 5000, true}, {'E', 5000, false}},           // a long item
        {{'A', 0xFFFFFF00u, true}, {'L', 0xF0, true}, {'L', 0x100, false}},  // across the tick's wrap
    };
    for (const std::vector<Step>& steps : cases) {
        CKeysOutPlan plan;
        std::string script;
        for (const Step& step : steps) {
            script += step.what;
            CAPTURE(script);
            const bool before = plan.Out(step.at);
            bool woken = false;
            switch (step.what) {
                case 'A': woken = plan.ReadingArrives(step.at); break;
                case 'S': woken = plan.ItemStarts(step.at); break;
                case 'E': woken = plan.ItemEnds(); break;
                default: break;
            }
            CHECK(plan.Out(step.at) == step.out);
            if (step.what != 'L') {
                // The watch is told of every change it cannot find by itself, and woken for
                // nothing else (it wakes the hook's thread).
                CHECK(woken == (before != step.out));
            }
        }
    }
}

// Steps: D/U Caps Lock goes down/up, T a tap (both), X a tap another program's hook takes out,
// H a tap of Shift, c the watch looks at a press that waits; P keys go out (hook off, samples),
// S a sample, R keys stopped (hook set again), J/K (j/k) the next hook set comes just after/before a
// press (tap); M the Shift-lock setting is turned on; Q a tap whose events still wait for the hook
// when keys go out; F the system refuses the next hook.
TEST_CASE("Caps Lock between the hook and the samples: every press the system took counted once") {
    struct Case {
        const char* script;
        bool on;
    };
    const Case cases[] = {
        {"T", true},
        {"TT", false},
        {"PDSSUSR", true},  // held over several samples
        {"PSTSR", true},    // a tap between two samples, told by the "pressed since" bit
        {"TPSR", true},     // a press the hook saw is not counted again when the samples start
        {"DPSUSR", true},   // held down as the hook comes off
        {"PDSRU", true},    // held down as the hook comes back: its release changes nothing
        {"PDURS", true},    // a tap after the last sample, before the hook is set again
        {"PSJR", true},     // pressed just before the hook is set: only a look after it sees it
        {"PSKRU", true},    // pressed just after: the look and the hook's event count it once
        {"PSjR", true},     // tapped just before: only the "pressed since" bit tells it
        {"PSkR", true},     // tapped just after: it waits for the hook, which counts it once
        {"D", false},       // the hook saw it go down, the system has not taken it yet
        {"Dc", true},       // taken since: it counts before the key is released
        {"DcU", true},      // and once
        {"X", false},       // taken out by another program's hook: the system never saw it
        {"TX", true},
        {"MTT", true},      // Shift-lock: Caps Lock turns it on, and again leaves it on
        {"MTH", false},     // and Shift turns it off
        {"TH", true},       // without it Shift changes nothing
        {"MTPSHSR", false}, // Shift seen by the samples
        {"MTPSHR", false},  // by the last one
        {"Q", true},        // the hook comes off with the tap's events waiting: the samples count it
        {"QR", true},
        {"PFRTSR", true},   // the hook refused: the samples go on, and count the tap
        {"PFRDSUR", true},
    };
    for (const Case& c : cases) {
        const std::string script = c.script;
        CAPTURE(script);
        ScriptedCapsLock system;
        CCapsLockFollower& follower = system.follower;
        REQUIRE(follower.Start());
        for (char step : script) {
            system.Deliver();
            switch (step) {
                case 'D': system.Key(kVkCapital, true); break;
                case 'U': system.Key(kVkCapital, false); break;
                case 'T': system.Tap(kVkCapital); break;
                case 'X': system.Tap(kVkCapital, true); break;
                case 'H': system.Tap(kVkShiftKey); break;
                case 'c': follower.Confirm(); break;
                case 'P': follower.KeysGoOut(); break;
                case 'S': follower.Sample(); break;
                case 'R': follower.KeysStopped(); break;
                case 'J': case 'K': case 'j': case 'k': system.onHookSet = step; break;
                case 'M': follower.SetShiftLock(true); break;
                case 'Q': system.Tap(kVkCapital), follower.KeysGoOut(); break;
                case 'F': ++system.refusedHookSets; break;
            }
        }
        system.Deliver();
        CHECK(follower.IsOn() == c.on);
        CHECK(system.hooked == !follower.Sampling());
    }
}

// Steps: C the user taps Caps Lock, X a tap another program's hook takes out, S a tap of Shift,
// K the user turns on "Press the SHIFT key to turn off Caps Lock"; L the workstation locks, U/u
// it unlocks, its notices announced / late; E/e a higher program's window comes to the front,
// announced / not, W/w the user's window is back, announced / not; R a reading "Ab1" CR.
TEST_CASE("Caps Lock pressed where no hook sees it, taken out by another hook, or turned off by Shift: readings come out as typed") {
    struct Case {
        const char* script;
        const char16_t* typed;
    };
    const Case cases[] = {
        {"CR", u"Ab1\r"},
        {"LCUR", u"Ab1\r"},         // pressed on the lock screen: the unlock's notices
        {"LRCuR", u"Ab1\rAb1\r"},   // a reading held over the lock: the end of the hold
        {"ECWR", u"Ab1\r"},         // pressed in a higher program's window, read once it left
        {"eRCwR", u"Ab1\r"},        // the same unannounced: the reading it could not type
        {"XR", u"Ab1\r"},
        {"CXR", u"Ab1\r"},
        {"KCRR", u"Ab1\rAb1\r"},    // our own Shift for the b turns it off
        {"KCCR", u"Ab1\r"},
        {"KCSR", u"Ab1\r"},         // the user's Shift turns it off
        {"CSR", u"Ab1\r"},          // without the setting Shift does not
    };
    constexpr uintptr_t kHigher = 7;
    for (const Case& c : cases) {
        const std::string script = c.script;
        CAPTURE(script);
        PipelineRig rig;
        FakeDesktop& desktop = rig.platform.desktop;
        desktop.SetElevated(kHigher);
        rig.layout.letterKeys = true;
        REQUIRE(rig.Enable());
        uint32_t readings = 0;
        bool locked = false;
        for (char step : script) {
            const size_t holds = rig.host.TraceCount(u"send-key held: no window is in front");
            switch (step) {
                case 'C': desktop.PressCapsLock(); break;
                case 'X': desktop.PressCapsLockSwallowed(); break;
                case 'S': desktop.PressShift(); break;
                case 'K': desktop.SetShiftLock(true); break;
                case 'L': desktop.Lock(), locked = true; break;
                case 'U': case 'u': desktop.Unlock(step == 'U'), locked = false; break;
                case 'E': case 'e': desktop.Show(FrontKind::kUserWindow, kHigher, 0, 0, step == 'E'); break;
                case 'W': case 'w':
                    desktop.Show(FrontKind::kUserWindow, FakeDesktop::kUserWindow, 0, 0, step == 'W');
                    break;
                case 'R': rig.Burst("Ab1\r"), ++readings; break;
            }
            if (locked && step == 'R') {
                REQUIRE(rig.Eventually([&] { return rig.host.TraceCount(u"send-key held: no window is in front") > holds; }));
            } else if (!locked) {
                REQUIRE(rig.Eventually([&] { return rig.service.HandledItems() == readings; }));
            }
        }
        CHECK(desktop.CharsOf(FakeDesktop::kUserWindow) == c.typed);
        CHECK(desktop.CharsOf(kHigher).empty());
        CHECK(rig.platform.CapsLockOn() == desktop.CapsLockToggle());  // nothing drifted
    }
}
