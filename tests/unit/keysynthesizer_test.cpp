// Press/release order of the keystroke synthesiser, checked call by call against a fake
// layout shaped like the common Latin ones (CR is Enter, LF is Ctrl+Enter).
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "doctest/doctest.h"
#include "pipeline/core/keysynthesizer.h"

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
    void Inject(const KeyStroke* strokes, size_t count) override {
        calls.emplace_back(strokes, strokes + count);
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

    TEST_CASE("a Ctrl character then a Shift character: all presses come before all releases") {
        Rig rig;
        rig.synth.SendKeys(
            u"\x01"
            u"B");
        CHECK(rig.injector.calls ==
              std::vector<Call>{Down(kVkControl), Key('A'), Down(kVkShift), Up(kVkControl), Key('B')});
    }

    TEST_CASE("AltGr characters hold Ctrl and Alt, released in Shift, Ctrl, Alt order") {
        Rig rig;
        rig.synth.SendKeys(u"@@a");
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkControl), Down(kVkMenu), Key('Q'), Key('Q'),
                                                      Up(kVkControl), Up(kVkMenu), Key('A')});

        rig.injector.calls.clear();
        rig.synth.SendKeys(u"|");
        rig.synth.ReleaseModifierKeys();
        CHECK(rig.injector.calls == std::vector<Call>{Down(kVkShift), Down(kVkControl), Down(kVkMenu),
                                                      Key(0xDC), Up(kVkShift), Up(kVkControl), Up(kVkMenu)});
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

    TEST_CASE("a surrogate pair is looked up one unit at a time") {
        Rig rig;
        rig.synth.SendKeys(
            u"1\xd83d\xde00"
            u"1");
        CHECK(rig.layout.looked ==
              u"1\xd83d\xde00"
              u"1");
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
