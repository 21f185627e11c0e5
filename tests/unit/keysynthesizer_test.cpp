// Press/release order of the keystroke synthesiser, checked call by call against a fake
// layout shaped like the common Latin ones (CR is Enter, LF is Ctrl+Enter).
#include <deque>
#include <map>
#include <string_view>
#include <utility>
#include <thread>
#include <string>
#include <vector>

#include "doctest/doctest.h"
#include "pipeline/core/keysynthesizer.h"
#include "pipeline/core/readingrules.h"

using namespace dorvane;

namespace {

constexpr uint8_t kVkReturn = 0x0D;
constexpr int16_t kShift = 0x100, kCtrl = 0x200, kAlt = 0x400;

class FakeLayout : public IKeyboardLayout {
public:
    std::map<char16_t, int16_t> keys = {
        {u'A', kShift | 'A'},
        {u'B', kShift | 'B'},
        {u'a', 'A'},
        {u'b', 'B'},
        {u'1', '1'},
        {u'\r', kVkReturn},
        {u'\n', kCtrl | kVkReturn},
        {u'\x01', kCtrl | 'A'},                      // Ctrl+A
        {u'@', kCtrl | kAlt | 'Q'},                  // AltGr+Q on a German layout
        {u'~', static_cast<int16_t>(0x0800 | 'T')},  // a state bit no slot tracks
        {u'|', kShift | kCtrl | kAlt | 0xDC},
    };
    std::u16string looked;
    // Scan codes of a made-up layout: right Alt has the extended prefix.
    static ScanCode Scan(uint8_t vk) { return vk == kVkRMenu ? ScanCode{0xE038} : ScanCode(0x100 + vk); }
    bool withScanCodes = false;
    ScanCode ScanCodeOf(uint8_t vk, LayoutId) override { return withScanCodes ? Scan(vk) : 0; }
    int16_t LookupKey(char16_t ch) override {
        looked.push_back(ch);
        auto it = keys.find(ch);
        return it == keys.end() ? int16_t{-1} : it->second;
    }
};

using Call = std::vector<KeyStroke>;

class RecordingInjector : public IKeyInjector {
public:
    std::vector<Call> calls;
    size_t Inject(const KeyStroke* strokes, size_t count) override {
        calls.emplace_back(strokes, strokes + count);
        return count;
    }
};

Call Down(uint8_t vk) {
    return {{vk, false}};
}
Call Up(uint8_t vk) {
    return {{vk, true}};
}
Call Key(uint8_t vk) {
    return {{vk, false}, {vk, true}};
}

struct Rig {
    FakeLayout layout;
    RecordingInjector injector;
    CKeySynthesizer synth{layout, injector};
};

}  // namespace

TEST_SUITE("keystroke synthesis") {
    TEST_CASE("capital then small letter: Shift is released before the small letter") {
        Rig rig;
        rig.synth.SendKeys(u"Ab");
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkShift), Key('A'), Up(kVkShift), Key('B')});
        CHECK_FALSE(rig.synth.IsShiftDown());
    }

    TEST_CASE("two capitals hold Shift until the modifiers are released") {
        Rig rig;
        rig.synth.SendKeys(u"AB");
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkShift), Key('A'), Key('B')});
        CHECK(rig.synth.IsShiftDown());

        rig.synth.ReleaseModifierKeys();
        CHECK(rig.injector.calls.back() == Up(kVkShift));
        CHECK_FALSE(rig.synth.IsShiftDown());

        const size_t before = rig.injector.calls.size();
        rig.synth.ReleaseModifierKeys();
        CHECK(rig.injector.calls.size() == before);
    }

    TEST_CASE("CR LF: Enter, then Ctrl held for Enter until released") {
        Rig rig;
        rig.synth.SendKeys(u"\r\n");
        CHECK(rig.injector.calls == std::vector<Call>{Key(kVkReturn), Down(kVkControl), Key(kVkReturn)});
        rig.synth.ReleaseModifierKeys();
        CHECK(rig.injector.calls.back() == Up(kVkControl));
    }

    // Windows switches the input language when Left Alt+Shift or Ctrl+Shift go down together
    // and one is released with no other key between. Where the design's order (presses before
    // releases) would do that, the releases come first; elsewhere the order stays.
    TEST_CASE("modifier changes never release a Shift+Ctrl or Shift+Alt chord without a key") {
        struct Case {
            const char16_t* text;
            std::vector<Call> calls;
        };
        const Case cases[] = {
            // Ctrl then Shift: Ctrl up before Shift down.
            {u"\x01"
             u"B",
             {Down(kVkControl), Key('A'), Up(kVkControl), Down(kVkShift), Key('B')}},
            // Shift then Ctrl (A, then LF as Ctrl+Enter).
            {u"A\n", {Down(kVkShift), Key('A'), Up(kVkShift), Down(kVkControl), Key(kVkReturn)}},
            // Shift then AltGr, AltGr then Shift.
            {u"A@",
             {Down(kVkShift), Key('A'), Up(kVkShift), Down(kVkControl), Down(kVkRMenu), Key('Q')}},
            {u"@B",
             {Down(kVkControl), Down(kVkRMenu), Key('Q'), Up(kVkControl), Up(kVkRMenu), Down(kVkShift), Key('B')}},
            // No chord forms: the design's order, presses first.
            {u"A|", {Down(kVkShift), Key('A'), Down(kVkControl), Down(kVkRMenu), Key(0xDC)}},
            {u"|B", {Down(kVkShift), Down(kVkControl), Down(kVkRMenu), Key(0xDC), Up(kVkControl), Up(kVkRMenu), Key('B')}},
            {u"@\x01", {Down(kVkControl), Down(kVkRMenu), Key('Q'), Up(kVkRMenu), Key('A')}},
        };
        for (const Case& c : cases) {
            CAPTURE(std::u16string_view(c.text).size());
            Rig rig;
            rig.synth.SendKeys(c.text);
            CHECK(rig.injector.calls == c.calls);
        }
    }

    TEST_CASE("AltGr characters hold Ctrl and right Alt, released in Shift, Ctrl, Alt order") {
        Rig rig;
        rig.synth.SendKeys(u"@@a");
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkControl), Down(kVkRMenu), Key('Q'), Key('Q'),
                                                      Up(kVkControl), Up(kVkRMenu), Key('A')});

        rig.injector.calls.clear();
        rig.synth.SendKeys(u"|");
        rig.synth.ReleaseModifierKeys();
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkShift), Down(kVkControl), Down(kVkRMenu),
                                                      Key(0xDC), Up(kVkShift), Up(kVkControl), Up(kVkRMenu)});
    }

    TEST_CASE("every injected event carries the layout's scan code, right Alt its extended prefix") {
        Rig rig;
        rig.layout.withScanCodes = true;
        rig.synth.SendKeys(u"Ab@\r");
        rig.synth.ReleaseModifierKeys();
        size_t strokes = 0;
        for (const Call& call : rig.injector.calls) {
            for (const KeyStroke& stroke : call) {
                CHECK(stroke.scan == FakeLayout::Scan(stroke.vk));
                ++strokes;
            }
        }
        CHECK(strokes == 14);
        CHECK(IsExtendedScan(FakeLayout::Scan(kVkRMenu)));
    }

    TEST_CASE("state bits without a tracked modifier are ignored") {
        Rig rig;
        rig.synth.SendKeys(u"~");
        CHECK(rig.injector.calls == std::vector<Call>{Key('T')});
    }

    TEST_CASE("nothing to type injects nothing and changes nothing") {
        Rig rig;
        rig.synth.SendKeys(u"A");  // leaves Shift held
        const auto callsBefore = rig.injector.calls;
        const uint32_t sentBefore = rig.synth.SentKeyCount();

        rig.synth.SendKeys(u"");
        rig.synth.SendKeys(nullptr);
        rig.synth.SendKeys(u"\x4e2d\x6587\xd83d\xde00");  // CJK and a surrogate pair: no keys here

        CHECK(rig.injector.calls == callsBefore);
        CHECK(rig.synth.SentKeyCount() == sentBefore);
        CHECK(rig.synth.IsShiftDown());
    }

    TEST_CASE("a surrogate pair is looked up one unit at a time, each character once per layout") {
        Rig rig;
        rig.synth.SendKeys(
            u"1\xd83d\xde00"
            u"1");
        CHECK(rig.layout.looked == u"1\xd83d\xde00");
        CHECK(rig.synth.SentKeyCount() == 2);
    }

    TEST_CASE("Sent Key counts typed characters, not events, and only mappable ones") {
        Rig rig;
        rig.synth.SendKeys(u"Ab\r\n1");
        CHECK(rig.synth.SentKeyCount() == 5);
        rig.synth.SendKeys(u"A\x4e2d");
        CHECK(rig.synth.SentKeyCount() == 6);
        rig.synth.ReleaseModifierKeys();
        CHECK(rig.synth.SentKeyCount() == 6);
    }
}

TEST_SUITE("keystroke synthesis, threads") {
    // The typing thread counts while the user-interface thread reads the count for the tooltip.
    TEST_CASE("Sent Key can be read while another thread types") {
        Rig rig;
        constexpr uint32_t kChars = 20000;
        std::thread typist([&] {
            for (uint32_t i = 0; i < kChars; ++i) {
                rig.synth.SendKey(i % 2 ? u'A' : u'b');
            }
        });
        uint32_t last = 0;
        bool monotonic = true;
        while (last < kChars) {
            const uint32_t now = rig.synth.SentKeyCount();
            monotonic = monotonic && now >= last;
            last = now;
        }
        typist.join();
        CHECK(monotonic);
        CHECK(rig.synth.SentKeyCount() == kChars);
    }
}

namespace {

// Two layouts as the system keeps them per thread: 1 is US-International (' is a dead key;
// letters follow Caps Lock, digits do not), 2 is German (y and z swapped, '-' where US has it,
// ^ a dead key). Output() answers like ToUnicodeEx.
class LayoutTable : public IKeyboardLayout {
public:
    static constexpr LayoutId kUsIntl = 1, kGerman = 2;

    int16_t LookupKey(char16_t ch) override { return LookupKeyIn(ch, kUsIntl); }
    int16_t LookupKeyIn(char16_t ch, LayoutId layout) override {
        if (ch >= u'a' && ch <= u'z') {
            return Letter(static_cast<char16_t>(ch - u'a' + u'A'), layout);
        }
        if (ch >= u'A' && ch <= u'Z') {
            return static_cast<int16_t>(kShift | Letter(ch, layout));
        }
        switch (ch) {
            case u'1': return '1';
            case u'!': return kShift | '1';
            case u' ': return 0x20;
            case u'\'': return layout == kUsIntl ? kVkQuote : int16_t{-1};
            case u'^': return layout == kGerman ? kVkCaret : int16_t{-1};
            default: return -1;
        }
    }
    KeyOutput Output(uint8_t vk, uint8_t state, bool capsLock, LayoutId layout) override {
        const bool shift = state & 0x01;
        if (vk >= 'A' && vk <= 'Z') {
            const char16_t upper = Letter(vk, layout) & 0xFF;  // the swap is its own inverse
            return {shift != capsLock ? upper : static_cast<char16_t>(upper - u'A' + u'a'), false};
        }
        if (vk == '1') {
            return {shift ? u'!' : u'1', false};  // Caps Lock leaves the digit row alone
        }
        if (vk == kVkQuote && layout == kUsIntl && !shift) {
            return {u'\'', true};
        }
        if (vk == kVkCaret && layout == kGerman && !shift) {
            return {u'^', true};
        }
        return vk == 0x20 ? KeyOutput{u' ', false} : KeyOutput{};
    }

    static constexpr uint8_t kVkQuote = 0xDE, kVkCaret = 0xDC;

private:
    static int16_t Letter(char16_t upper, LayoutId layout) {
        if (layout == kGerman && (upper == u'Y' || upper == u'Z')) {
            return upper == u'Y' ? 'Z' : 'Y';
        }
        return static_cast<int16_t>(upper);
    }
};

// Takes every event, except that the next calls take at most `limits` events each, in turn.
class RefusingInjector : public RecordingInjector {
public:
    std::deque<size_t> limits;
    size_t Inject(const KeyStroke* strokes, size_t count) override {
        size_t taken = count;
        if (!limits.empty()) {
            taken = std::min(count, limits.front());
            limits.pop_front();
        }
        if (taken > 0) {
            RecordingInjector::Inject(strokes, taken);  // what reached the system
        }
        return taken;
    }
};

struct TargetRig {
    LayoutTable layout;
    RefusingInjector injector;
    CKeySynthesizer synth{layout, injector};

    std::vector<Call> Type(std::u16string_view text, TypingTarget target, std::vector<KeyResult>* results = nullptr) {
        injector.calls.clear();
        synth.BeginItem(target);
        for (char16_t ch : text) {
            const KeyResult result = synth.SendKey(ch);
            if (results != nullptr) {
                results->push_back(result);
            }
        }
        synth.ReleaseModifierKeys();
        return injector.calls;
    }
};

TypingTarget Target(LayoutId layout, bool capsLock = false) {
    TypingTarget target;
    target.layout = layout;
    target.capsLock = capsLock;
    return target;
}

}  // namespace

TEST_SUITE("keystroke synthesis on real keyboards") {
    TEST_CASE("the target's layout: y and z come from the German keys") {
        TargetRig rig;
        CHECK(rig.Type(u"yz", Target(LayoutTable::kGerman)) == std::vector<Call>{Key('Z'), Key('Y')});
        CHECK(rig.Type(u"yz", Target(LayoutTable::kUsIntl)) == std::vector<Call>{Key('Y'), Key('Z')});
    }

    TEST_CASE("Caps Lock on: letters take the other Shift state, digits and symbols keep theirs") {
        TargetRig rig;
        CHECK(rig.Type(u"Ab1!", Target(LayoutTable::kUsIntl, true)) ==
              std::vector<Call>{Key('A'), Down(kVkShift), Key('B'), Up(kVkShift), Key('1'), Down(kVkShift),
                                Key('1'), Up(kVkShift)});
        // Caps Lock off: exactly the plain sequence.
        CHECK(rig.Type(u"Ab1!", Target(LayoutTable::kUsIntl)) ==
              std::vector<Call>{Down(kVkShift), Key('A'), Up(kVkShift), Key('B'), Key('1'), Down(kVkShift),
                                Key('1'), Up(kVkShift)});
    }

    TEST_CASE("with Shift turning Caps Lock off, a Shift of ours turns it off before its key is read") {
        struct Case {
            const char16_t* text;
            std::vector<Call> calls;
            bool capsLockAfter;
        };
        const Case cases[] = {
            {u"AB1", {Key('A'), Key('B'), Key('1')}, true},  // no Shift needed: it stays on
            // A small letter needs it off: Shift alone first, then the letter as with it off.
            {u"Ab1", {Key('A'), Down(kVkShift), Up(kVkShift), Key('B'), Key('1')}, false},
            // '!' takes Shift anyway: it goes off as Shift goes down, and the a comes plain.
            {u"A!a", {Key('A'), Down(kVkShift), Key('1'), Up(kVkShift), Key('A')}, false},
            {u"aB", {Down(kVkShift), Up(kVkShift), Key('A'), Down(kVkShift), Key('B'), Up(kVkShift)}, false},
        };
        for (const Case& c : cases) {
            CAPTURE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
            TargetRig rig;
            TypingTarget target = Target(LayoutTable::kUsIntl, true);
            target.shiftLock = true;
            CHECK(rig.Type(c.text, target) == c.calls);
            CHECK(rig.synth.CapsLockOn() == c.capsLockAfter);
        }
        // The Shift's release refused: nothing of the letter went in, and once the system takes
        // keys again Shift is let go and the letter typed as with Caps Lock off.
        TargetRig rig;
        TypingTarget target = Target(LayoutTable::kUsIntl, true);
        target.shiftLock = true;
        rig.synth.BeginItem(target);
        rig.injector.limits = {1, 0};
        CHECK(rig.synth.SendKey(u'b') == KeyResult::kNotInjected);
        CHECK_FALSE(rig.synth.CapsLockOn());
        CHECK(rig.synth.SendKey(u'b') == KeyResult::kTyped);
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkShift), Up(kVkShift), Key('B')});
        // A named key's Shift does it too.
        rig.synth.BeginItem(target);
        CHECK(rig.synth.SendNamedKey(0x09, kWithShift) == KeyResult::kTyped);
        CHECK_FALSE(rig.synth.CapsLockOn());
    }

    TEST_CASE("a dead key is followed by Space, once per character, and counts once") {
        TargetRig rig;
        std::vector<KeyResult> results;
        CHECK(rig.Type(u"'a", Target(LayoutTable::kUsIntl), &results) ==
              std::vector<Call>{Key(LayoutTable::kVkQuote), Key(0x20), Key('A')});
        CHECK(results == std::vector<KeyResult>{KeyResult::kTypedDeadKey, KeyResult::kTyped});
        CHECK(rig.synth.SentKeyCount() == 2);
        // The same character on a layout where it is no dead key, and one the layout lacks.
        results.clear();
        CHECK(rig.Type(u"^'", Target(LayoutTable::kGerman), &results) ==
              std::vector<Call>{Key(LayoutTable::kVkCaret), Key(0x20)});
        CHECK(results == std::vector<KeyResult>{KeyResult::kTypedDeadKey, KeyResult::kNoKey});
    }

    TEST_CASE("a named key: its own virtual key, modifiers held around it only, let go when the system refused part") {
        TargetRig rig;
        rig.synth.BeginItem(Target(LayoutTable::kUsIntl));
        constexpr uint8_t kTab = 0x09, kLAlt = 0xA4, kF4 = 0x73;
        REQUIRE(rig.synth.SendKey(u'A') == KeyResult::kTyped);  // Shift held from a capital
        CHECK(rig.synth.SendNamedKey(kTab, 0) == KeyResult::kTyped);
        CHECK(rig.synth.SendNamedKey(kTab, kWithShift | kWithCtrl) == KeyResult::kTyped);
        CHECK(rig.injector.calls ==
              std::vector<Call>{Down(kVkShift), Key('A'), Up(kVkShift), Key(kTab),
                                {{kVkShift, false}, {kVkControl, false}, {kTab, false}, {kTab, true}, {kVkControl, true},
                                 {kVkShift, true}}});
        CHECK_FALSE(rig.synth.IsShiftDown());
        // Alt down taken, the key refused: Alt is let go at once and the key may be sent again.
        rig.injector.calls.clear();
        rig.injector.limits = {1};
        CHECK(rig.synth.SendNamedKey(kF4, kWithAlt) == KeyResult::kNotInjected);
        CHECK(rig.injector.calls == std::vector<Call>{Down(kLAlt), Up(kLAlt)});
        CHECK(rig.synth.SentKeyCount() == 3);
    }

    TEST_CASE("with the Unicode fallback a character the layout lacks goes as a packet, no modifier held") {
        TargetRig rig;
        rig.synth.BeginItem(Target(LayoutTable::kUsIntl));
        CHECK(rig.synth.SendKey(u'\x4e2d') == KeyResult::kNoKey);  // off by default: skipped
        rig.synth.SetUnicodeFallback(true);
        REQUIRE(rig.synth.SendKey(u'A') == KeyResult::kTyped);  // Shift held from a capital
        CHECK(rig.synth.SendKey(u'\x4e2d') == KeyResult::kTypedUnicode);
        const Call packet = {{0, false, 0x4e2d, true}, {0, true, 0x4e2d, true}};
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkShift), Key('A'), Up(kVkShift), packet});
        // The packet's release refused: it is due, and goes before the next character.
        rig.injector.calls.clear();
        rig.injector.limits = {1, 0};
        CHECK(rig.synth.SendKey(u'\x20ac') == KeyResult::kTypedUnicode);
        CHECK(rig.synth.SendKey(u'1') == KeyResult::kTyped);
        CHECK(rig.injector.calls ==
              std::vector<Call>{{{0, false, 0x20ac, true}}, {{0, true, 0x20ac, true}}, Key('1')});
        CHECK(rig.synth.SentKeyCount() == 4);
    }

    TEST_CASE("what the system refused is never half typed: no key without its Shift, releases stay due") {
        TargetRig rig;
        rig.synth.BeginItem(Target(LayoutTable::kUsIntl));
        // The key itself refused: nothing of the character arrived, and it is not counted.
        rig.injector.limits = {0};
        CHECK(rig.synth.SendKey(u'a') == KeyResult::kNotInjected);
        CHECK(rig.injector.calls.empty());
        // Shift's press refused: the key is not sent without it (it would be a small letter).
        rig.injector.limits = {0};
        CHECK(rig.synth.SendKey(u'A') == KeyResult::kNotInjected);
        CHECK(rig.injector.calls.empty());
        CHECK(rig.synth.SendKey(u'A') == KeyResult::kTyped);
        // Shift's release refused: it stays held and is released when that is next asked for.
        rig.injector.limits = {0};
        CHECK(rig.synth.SendKey(u'b') == KeyResult::kNotInjected);
        CHECK(rig.synth.IsShiftDown());
        CHECK(rig.synth.SendKey(u'b') == KeyResult::kTyped);
        // Only the key's press taken: the character is there, its release goes before the next.
        rig.injector.limits = {1, 0};  // and the release tried at once is refused too
        CHECK(rig.synth.SendKey(u'1') == KeyResult::kTyped);
        CHECK(rig.synth.SendKey(u'1') == KeyResult::kTyped);
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkShift), Key('A'), Up(kVkShift), Key('B'), Down('1'),
                                                      Up('1'), Key('1')});
        CHECK(rig.synth.SentKeyCount() == 4);
    }
}
