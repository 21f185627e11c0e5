#include "pipeline/core/keysynthesizer.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace dorvane {

const CKeySynthesizer::ModifierSlot CKeySynthesizer::kSlots[3] = {
    {0x01, kVkShift, &CKeySynthesizer::m_bShiftDown},
    {0x02, kVkControl, &CKeySynthesizer::m_bCtrlDown},
    {0x04, kVkRMenu, &CKeySynthesizer::m_bThirdDown},
};

namespace {

constexpr uint8_t kShiftBit = 0x01;
constexpr char16_t kSpace = u' ';
constexpr ScanCode kScanUnknown = 0xFFFF;

}  // namespace

void CKeySynthesizer::BeginItem(const TypingTarget& target) {
    const bool sameLayout = !m_lookups.empty() && target.layout == m_target.layout;
    m_target = target;
    if (!sameLayout) {
        m_lookups.clear();
        m_outputs.clear();
        std::fill(std::begin(m_scanCodes), std::end(m_scanCodes), kScanUnknown);
    }
}

int16_t CKeySynthesizer::Lookup(char16_t ch) {
    const auto known = m_lookups.find(ch);
    if (known != m_lookups.end()) {
        return known->second;
    }
    return m_lookups[ch] = m_layout.LookupKeyIn(ch, m_target.layout);
}

KeyOutput CKeySynthesizer::OutputOf(uint8_t vk, uint8_t state, bool capsLock) {
    const uint32_t key = vk | static_cast<uint32_t>(state) << 8 | (capsLock ? 1u << 16 : 0u);
    const auto known = m_outputs.find(key);
    if (known != m_outputs.end()) {
        return known->second;
    }
    return m_outputs[key] = m_layout.Output(vk, state, capsLock, m_target.layout);
}

KeyStroke CKeySynthesizer::Stroke(uint8_t vk, bool keyUp) {
    if (m_scanCodes[vk] == kScanUnknown) {
        m_scanCodes[vk] = m_layout.ScanCodeOf(vk, m_target.layout);
    }
    return KeyStroke{vk, keyUp, m_scanCodes[vk]};
}

bool CKeySynthesizer::InjectOne(uint8_t vk, bool keyUp) {
    const KeyStroke stroke = Stroke(vk, keyUp);
    return m_injector.Inject(&stroke, 1) == 1;
}

bool CKeySynthesizer::ChordArmedAfterPress() const {
    return m_bShiftDown && (m_bCtrlDown || m_bThirdDown);
}

bool CKeySynthesizer::PressFirstFormsChord(uint8_t state) const {
    bool held[3] = {m_bShiftDown, m_bCtrlDown, m_bThirdDown};
    bool armed = m_bChordArmed;
    for (int i = 0; i < 3; ++i) {
        if ((state & kSlots[i].stateBit) && !held[i]) {
            held[i] = true;
            armed = armed || (held[0] && (held[1] || held[2]));
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (!(state & kSlots[i].stateBit) && held[i] && armed) {
            return true;
        }
    }
    return false;
}

void CKeySynthesizer::ShiftWentDown() {
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-activatekeyboardlayout
    if (m_target.shiftLock) {
        m_target.capsLock = false;
    }
}

bool CKeySynthesizer::TapShift() {
    // Nothing else held: Shift let go after Ctrl or Alt with no key between switches the input
    // language.
    if (!ReleaseUnneeded(0) || !InjectOne(kVkShift, false)) {
        return false;
    }
    ShiftWentDown();
    if (!InjectOne(kVkShift, true)) {
        m_bShiftDown = true;  // released later
        return false;
    }
    return true;
}

bool CKeySynthesizer::PressModifiers(uint8_t state) {
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if ((state & slot.stateBit) && !held) {
            if (!InjectOne(slot.vk, false)) {
                return false;
            }
            held = true;
            if (slot.vk == kVkShift) {
                ShiftWentDown();
            }
            m_bChordArmed = m_bChordArmed || ChordArmedAfterPress();
        }
    }
    return true;
}

bool CKeySynthesizer::ReleaseUnneeded(uint8_t state) {
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if (!(state & slot.stateBit) && held) {
            if (!InjectOne(slot.vk, true)) {
                return false;  // still down: released later
            }
            held = false;
        }
    }
    return true;
}

bool CKeySynthesizer::TypeKey(uint8_t vk, uint8_t state) {
    // The design's order, all presses before all releases, keeps a modifier that the next
    // character still needs from bouncing. Where it would release Shift, Ctrl or Alt from a
    // Shift+Ctrl or Shift+Alt chord with no key between (the language hotkeys), the releases
    // go first instead.
    const bool releaseFirst = PressFirstFormsChord(state);
    const bool settled = releaseFirst ? ReleaseUnneeded(state) && PressModifiers(state)
                                      : PressModifiers(state) && ReleaseUnneeded(state);
    if (!settled) {
        return false;  // the key itself without its modifiers would be another character
    }
    const KeyStroke key[2] = {Stroke(vk, false), Stroke(vk, true)};
    const size_t taken = m_injector.Inject(key, 2);
    if (taken == 0) {
        return false;
    }
    m_bChordArmed = false;
    if (taken == 1) {
        // The key is down in the target: the character is there, its release is due.
        m_bKeyUpDue = true;
        m_keyUpDue = key[1];
        SendDue();
    }
    return true;
}

bool CKeySynthesizer::SendDue() {
    if (m_bKeyUpDue) {
        if (m_injector.Inject(&m_keyUpDue, 1) != 1) {
            return false;
        }
        m_bKeyUpDue = false;
    }
    if (m_bSpaceDue) {
        const int16_t space = Lookup(kSpace);
        m_bSpaceDue = false;
        if (space != -1 &&
            !TypeKey(static_cast<uint8_t>(space & 0xFF), static_cast<uint8_t>((space >> 8) & 0xFF))) {
            m_bSpaceDue = true;
            return false;
        }
    }
    return true;
}

KeyResult CKeySynthesizer::SendKey(char16_t ch) {
    const int16_t scan = Lookup(ch);
    if (scan == -1) {
        return m_bUnicodeFallback ? TypeUnicode(ch) : KeyResult::kNoKey;
    }
    if (!SendDue()) {
        return KeyResult::kNotInjected;
    }
    const uint8_t vk = static_cast<uint8_t>(scan & 0xFF);
    uint8_t state = static_cast<uint8_t>((scan >> 8) & 0xFF);

    // Caps Lock on: a key it affects gives the other case, so the Shift state that gives ch with
    // Caps Lock on is typed (Caps Lock itself is never pressed).
    bool capsLock = m_target.capsLock;
    if (capsLock) {
        const uint8_t looked = state;
        const KeyOutput asLooked = OutputOf(vk, state, true);
        if (asLooked.ch != 0 && asLooked.ch != ch && OutputOf(vk, state ^ kShiftBit, true).ch == ch) {
            state ^= kShiftBit;
        }
        // With the Shift-lock setting no Shift can go down without turning Caps Lock off, before
        // the key is read: the key is typed as with it off, after a Shift of its own where it
        // takes none then.
        if (m_target.shiftLock && (state & kShiftBit) && !m_bShiftDown) {
            state = looked;
            capsLock = false;
            if (!(state & kShiftBit) && !TapShift()) {
                return KeyResult::kNotInjected;
            }
        }
    }
    const bool dead = OutputOf(vk, state, capsLock).dead;
    if (!TypeKey(vk, state)) {
        return KeyResult::kNotInjected;
    }
    m_nSentKey.fetch_add(1, std::memory_order_relaxed);
    if (dead) {
        // A dead key waits for the next character; a Space after it gives the character itself
        // on every layout that has dead keys. Refused, it is sent before the next character.
        m_bSpaceDue = true;
        SendDue();
        return KeyResult::kTypedDeadKey;
    }
    return KeyResult::kTyped;
}

namespace {

// The releases among strokes[taken, end) of keys that went down in strokes[0, taken).
std::vector<KeyStroke> ReleasesAfter(const std::vector<KeyStroke>& strokes, size_t taken) {
    std::vector<KeyStroke> releases;
    for (size_t i = taken; i < strokes.size(); ++i) {
        for (size_t j = 0; j < taken && strokes[i].keyUp; ++j) {
            if (!strokes[j].keyUp && strokes[j].vk == strokes[i].vk) {
                releases.push_back(strokes[i]);
                break;
            }
        }
    }
    return releases;
}

}  // namespace

KeyResult CKeySynthesizer::SendNamedKey(uint8_t vk, uint8_t modifiers) {
    if (!SendDue() || !ReleaseModifierKeys()) {
        return KeyResult::kNotInjected;
    }
    constexpr uint8_t kVkLMenu = 0xA4;
    const uint8_t order[3][2] = {{kShiftBit, kVkShift}, {2, kVkControl}, {4, kVkLMenu}};
    std::vector<KeyStroke> strokes;
    for (const auto& [bit, modifier] : order) {
        if (modifiers & bit) {
            strokes.push_back(Stroke(modifier, false));
        }
    }
    const size_t keyAt = strokes.size();
    strokes.push_back(Stroke(vk, false));
    strokes.push_back(Stroke(vk, true));
    for (size_t i = keyAt; i-- > 0;) {
        strokes.push_back(Stroke(strokes[i].vk, true));
    }
    const size_t taken = m_injector.Inject(strokes.data(), strokes.size());
    if ((modifiers & kShiftBit) && taken > 0) {
        ShiftWentDown();  // the first stroke
    }
    if (taken < strokes.size()) {
        // Let go of what went down, so that no key stays held for the target.
        const std::vector<KeyStroke> releases = ReleasesAfter(strokes, taken);
        if (!releases.empty()) {
            m_injector.Inject(releases.data(), releases.size());
        }
        if (taken <= keyAt) {
            return KeyResult::kNotInjected;  // the key itself did not go down
        }
    }
    m_bChordArmed = false;
    m_nSentKey.fetch_add(1, std::memory_order_relaxed);
    return KeyResult::kTyped;
}

KeyResult CKeySynthesizer::TypeUnicode(char16_t ch) {
    // A held Shift or Ctrl would reach the target together with the packet's character.
    if (!SendDue() || !ReleaseModifierKeys()) {
        return KeyResult::kNotInjected;
    }
    // The system posts WM_KEYDOWN with VK_PACKET, and TranslateMessage gives WM_CHAR with the
    // unit; a character outside the BMP goes as its two surrogates, one packet each.
    // https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-keybdinput (Remarks)
    const KeyStroke packet[2] = {{0, false, ch, true}, {0, true, ch, true}};
    const size_t taken = m_injector.Inject(packet, 2);
    if (taken == 0) {
        return KeyResult::kNotInjected;
    }
    if (taken == 1) {
        m_bKeyUpDue = true;
        m_keyUpDue = packet[1];
        SendDue();
    }
    m_bChordArmed = false;
    m_nSentKey.fetch_add(1, std::memory_order_relaxed);
    return KeyResult::kTypedUnicode;
}

void CKeySynthesizer::SendKeys(const char16_t* text) {
    if (text == nullptr) {
        return;
    }
    for (; *text != u'\0'; ++text) {
        SendKey(*text);
    }
}

bool CKeySynthesizer::ReleaseModifierKeys() {
    bool released = true;
    if (m_bKeyUpDue) {
        released = m_injector.Inject(&m_keyUpDue, 1) == 1;
        m_bKeyUpDue = !released;
    }
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if (held) {
            held = !InjectOne(slot.vk, true);
            released = released && !held;
        }
    }
    m_bChordArmed = m_bChordArmed && (m_bShiftDown || m_bCtrlDown || m_bThirdDown);
    return released;
}

bool CKeySynthesizer::ReleaseKeys(const std::vector<uint8_t>& vks) {
    std::vector<KeyStroke> releases;
    for (uint8_t vk : vks) {
        releases.push_back(Stroke(vk, true));
    }
    return releases.empty() || m_injector.Inject(releases.data(), releases.size()) == releases.size();
}

}  // namespace dorvane
