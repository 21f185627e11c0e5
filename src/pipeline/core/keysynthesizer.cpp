#include "pipeline/core/keysynthesizer.h"

namespace dorvane {

const CKeySynthesizer::ModifierSlot CKeySynthesizer::kSlots[3] = {
    {0x01, kVkShift, &CKeySynthesizer::m_bShiftDown},
    {0x02, kVkControl, &CKeySynthesizer::m_bCtrlDown},
    {0x04, kVkMenu, &CKeySynthesizer::m_bThirdDown},
};

void CKeySynthesizer::InjectOne(uint8_t vk, bool keyUp) {
    const KeyStroke stroke{vk, keyUp};
    m_injector.Inject(&stroke, 1);
}

void CKeySynthesizer::SendKey(char16_t ch) {
    const int16_t scan = m_layout.LookupKey(ch);
    if (scan == -1) {
        return;
    }
    const uint8_t vk = static_cast<uint8_t>(scan & 0xFF);
    const uint8_t state = static_cast<uint8_t>((scan >> 8) & 0xFF);

    // All presses come before all releases, so a modifier that the next character still
    // needs never bounces.
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if ((state & slot.stateBit) && !held) {
            InjectOne(slot.vk, false);
            held = true;
        }
    }
    for (const ModifierSlot& slot : kSlots) {
        bool& held = this->*slot.held;
        if (!(state & slot.stateBit) && held) {
            InjectOne(slot.vk, true);
            held = false;
        }
    }

    const KeyStroke key[2] = {{vk, false}, {vk, true}};
    m_injector.Inject(key, 2);
    m_nSentKey.fetch_add(1, std::memory_order_relaxed);
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
