// Keystroke synthesis: turns UTF-16 text into key-down/key-up events through the keyboard
// layout, holding Shift, Ctrl and Alt across characters that need them.
// Portable: the layout lookup and the injector are interfaces; the Win32 adapters live in
// pipeline/sendkey.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace dorvane {

inline constexpr uint8_t kVkShift = 0x10;
inline constexpr uint8_t kVkControl = 0x11;
inline constexpr uint8_t kVkMenu = 0x12;  // Alt

struct KeyStroke {
    uint8_t vk;
    bool keyUp;
    bool operator==(const KeyStroke&) const = default;
};

// The layout lookup with the contract of VkKeyScanW: low byte the virtual key, high byte the
// shift state (bit 1 Shift, bit 2 Ctrl, bit 4 Alt), -1 when the layout has no key for ch.
class IKeyboardLayout {
public:
    virtual ~IKeyboardLayout() = default;
    virtual int16_t LookupKey(char16_t ch) = 0;
};

// Delivers strokes, in order, as one injection into the system's input stream.
class IKeyInjector {
public:
    virtual ~IKeyInjector() = default;
    virtual void Inject(const KeyStroke* strokes, size_t count) = 0;
};

class CKeySynthesizer {
public:
    CKeySynthesizer(IKeyboardLayout& layout, IKeyInjector& injector)
        : m_layout(layout), m_injector(injector) {}
    CKeySynthesizer(const CKeySynthesizer&) = delete;
    CKeySynthesizer& operator=(const CKeySynthesizer&) = delete;

    // Types one UTF-16 code unit; a unit the layout cannot type is skipped and not counted.
    void SendKey(char16_t ch);
    // Types every code unit up to the terminating NUL.
    void SendKeys(const char16_t* text);
    // Lets go of every modifier this synthesiser holds down.
    void ReleaseModifierKeys();

    // "Sent Key": characters typed since the process started. Written by the typing thread,
    // read by the user-interface thread for the tooltip.
    uint32_t SentKeyCount() const { return m_nSentKey.load(std::memory_order_relaxed); }

    bool IsShiftDown() const { return m_bShiftDown; }

private:
    struct ModifierSlot {
        uint8_t stateBit;
        uint8_t vk;
        bool CKeySynthesizer::*held;
    };
    // The third slot is Alt on state bit 4: layouts that type characters with AltGr report
    // them as Ctrl+Alt (bit 2 + bit 4), so holding Ctrl alone would type the wrong character
    // or none; with Alt tracked too, '@' on a German layout comes out as '@'.
    static const ModifierSlot kSlots[3];

    void InjectOne(uint8_t vk, bool keyUp);

    IKeyboardLayout& m_layout;
    IKeyInjector& m_injector;
    bool m_bShiftDown = false;
    bool m_bCtrlDown = false;
    bool m_bThirdDown = false;
    std::atomic<uint32_t> m_nSentKey{0};
};

}  // namespace dorvane
