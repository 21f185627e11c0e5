#include "pipeline/core/keysynthesizer.h"

namespace dorvane {

const CKeySynthesizer::ModifierSlot CKeySynthesizer::kSlots[3] = {
    {0x01, kVkShift, &CKeySynthesizer::m_bShiftDown},
    {0x02, kVkControl, &CKeySynthesizer::m_bCtrlDown},
    {0x04, kVkMenu, &CKeySynthesizer::m_bThirdDown},
};

namespace {

constexpr uint8_t kShiftBit = 0x01;
constexpr char16_t kSpace = u' ';

}  // namespace

bool CKeySynthesizer::InjectOne(uint8_t vk, bool keyUp) {
    const KeyStroke stroke{vk, keyUp};
    return m_injector.Inject(&stroke, 1) == 1;
}

bool CKeySynthesizer::TypeKey(uint8_t vk, uint8_t state) {
    bool taken = true;
    // All presses come before all releases, so a modifier that the next character still
    // needs never bounces.
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if ((state & slot.stateBit) && !held) {
            held = InjectOne(slot.vk, false);
            taken &= held;
        }
    }
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if (!(state & slot.stateBit) && held) {
            taken &= InjectOne(slot.vk, true);
            held = false;
        }
    }
    const KeyStroke key[2] = {{vk, false}, {vk, true}};
    return m_injector.Inject(key, 2) == 2 && taken;
}

KeyResult CKeySynthesizer::SendKey(char16_t ch) {
    const LayoutId layout = m_target.layout;
    const int16_t scan = m_layout.LookupKeyIn(ch, layout);
    if (scan == -1) {
        return KeyResult::kNoKey;
    }
    const uint8_t vk = static_cast<uint8_t>(scan & 0xFF);
    uint8_t state = static_cast<uint8_t>((scan >> 8) & 0xFF);

    // Caps Lock on: a key it affects gives the other case, so the Shift state that gives ch with
    // Caps Lock on is typed (Caps Lock itself is left as the user set it).
    if (m_target.capsLock) {
        const KeyOutput asLooked = m_layout.Output(vk, state, true, layout);
        if (asLooked.ch != 0 && asLooked.ch != ch &&
            m_layout.Output(vk, state ^ kShiftBit, true, layout).ch == ch) {
            state ^= kShiftBit;
        }
    }
    const bool dead = m_layout.Output(vk, state, m_target.capsLock, layout).dead;
    bool taken = TypeKey(vk, state);
    if (dead) {
        // A dead key waits for the next character; a Space after it gives the character itself
        // on every layout that has dead keys.
        const int16_t space = m_layout.LookupKeyIn(kSpace, layout);
        if (space != -1) {
            taken &= TypeKey(static_cast<uint8_t>(space & 0xFF), static_cast<uint8_t>((space >> 8) & 0xFF));
        }
    }
    if (!taken) {
        return KeyResult::kNotInjected;
    }
    m_nSentKey.fetch_add(1, std::memory_order_relaxed);
    return dead ? KeyResult::kTypedDeadKey : KeyResult::kTyped;
}

void CKeySynthesizer::SendKeys(const char16_t* text) {
    if (text == nullptr) {
        return;
    }
    for (; *text != u'\0'; ++text) {
        SendKey(*text);
    }
}

void CKeySynthesizer::ReleaseModifierKeys() {
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if (held) {
            InjectOne(slot.vk, true);
            held = false;
        }
    }
}

}  // namespace dorvane
