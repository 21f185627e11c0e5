// Keystroke synthesis: turns UTF-16 text into key-down/key-up events through the keyboard
// layout, holding Shift, Ctrl and Alt across characters that need them.
// Portable: the layout lookup and the injector are interfaces; the Win32 adapters live in
// pipeline/sendkey.h.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace dorvane {

inline constexpr uint8_t kVkShift = 0x10;
inline constexpr uint8_t kVkControl = 0x11;
inline constexpr uint8_t kVkMenu = 0x12;   // Alt, either side
inline constexpr uint8_t kVkRMenu = 0xA5;  // right Alt (AltGr on layouts that have it)

// A scan code with the extended-key prefix in its high byte (0xE0 or 0xE1), as
// MapVirtualKeyEx(MAPVK_VK_TO_VSC_EX) gives it; 0 when the layout has none for the key.
using ScanCode = uint16_t;
inline constexpr bool IsExtendedScan(ScanCode scan) {
    return (scan >> 8) == 0xE0 || (scan >> 8) == 0xE1;
}

struct KeyStroke {
    uint8_t vk;
    bool keyUp;
    ScanCode scan = 0;
    // A Unicode key packet (vk 0): `scan` holds the UTF-16 code unit the target receives.
    bool unicode = false;
    bool operator==(const KeyStroke&) const = default;
};

// A keyboard layout of the system (an HKL on Windows); 0 is the calling thread's own.
using LayoutId = uintptr_t;

// What a key gives in a shift state: a character, a dead key (it waits to combine with the next
// character), or nothing known (ch 0, not dead).
struct KeyOutput {
    char16_t ch = 0;
    bool dead = false;
};

// The window keystrokes go to, taken once per item: its thread's layout, whether Caps Lock is on
// for it, and whether its process runs at a higher integrity level (an elevated program drops
// injected input without a word). With the user's setting "Press the SHIFT key to turn off Caps
// Lock" (shiftLock), a Shift that goes down turns Caps Lock off, ours too.
struct TypingTarget {
    uintptr_t window = 0;
    LayoutId layout = 0;
    bool capsLock = false;
    bool elevated = false;
    bool shiftLock = false;
};

// How one character went.
enum class KeyResult {
    kTyped,
    kTypedDeadKey,  // a dead key, typed with a Space after it to give the character itself
    kNoKey,         // the layout has no key for it: skipped
    kTypedUnicode,  // the layout has no key for it: typed as a Unicode key packet
    // The system took none of the character's key (no window in front, a locked workstation):
    // nothing of it arrived, the held modifiers are as the flags say, and it may be sent again.
    kNotInjected,
};

// The layout lookup with the contract of VkKeyScanW: low byte the virtual key, high byte the
// shift state (bit 1 Shift, bit 2 Ctrl, bit 4 Alt), -1 when the layout has no key for ch.
class IKeyboardLayout {
public:
    virtual ~IKeyboardLayout() = default;
    // In the calling thread's layout.
    virtual int16_t LookupKey(char16_t ch) = 0;
    // In the given layout (VkKeyScanExW); layout 0 is the calling thread's.
    virtual int16_t LookupKeyIn(char16_t ch, LayoutId layout) {
        (void)layout;
        return LookupKey(ch);
    }
    // What vk gives in `state` (the lookup's shift bits) with Caps Lock on or off, in the layout.
    // Nothing known by default: then no rule below changes what is typed.
    virtual KeyOutput Output(uint8_t vk, uint8_t state, bool capsLock, LayoutId layout) {
        (void)vk, (void)state, (void)capsLock, (void)layout;
        return {};
    }
    // The scan code of vk in the layout. Remote-desktop, Citrix and virtual-machine windows pass
    // scan codes on, not virtual keys, so every injected key carries one.
    virtual ScanCode ScanCodeOf(uint8_t vk, LayoutId layout) {
        (void)vk, (void)layout;
        return 0;
    }
};

// Delivers strokes, in order, as one injection into the system's input stream, and returns how
// many the system took.
class IKeyInjector {
public:
    virtual ~IKeyInjector() = default;
    virtual size_t Inject(const KeyStroke* strokes, size_t count) = 0;
};

class CKeySynthesizer {
public:
    CKeySynthesizer(IKeyboardLayout& layout, IKeyInjector& injector) : m_layout(layout), m_injector(injector) {
        BeginItem(TypingTarget{});
    }
    CKeySynthesizer(const CKeySynthesizer&) = delete;
    CKeySynthesizer& operator=(const CKeySynthesizer&) = delete;

    // The target of the next characters: its layout and Caps Lock (default: the calling
    // thread's layout, Caps Lock off).
    void BeginItem(const TypingTarget& target);
    // Types one UTF-16 code unit; a unit the layout cannot type, or that the system did not
    // take, is not counted.
    KeyResult SendKey(char16_t ch);
    // A unit the layout has no key for is typed as a Unicode key packet instead of skipped.
    // Off by default: some programs (games, terminals, older remote sessions) read keys, not
    // characters, and a packet carries no key.
    void SetUnicodeFallback(bool on) { m_bUnicodeFallback = on; }
    // Types a named key (Tab, Enter, F5, ...) as its virtual key, never through the character
    // lookup, with `modifiers` (the lookup's bits: Shift 1, Ctrl 2, Alt 4) held around it; no
    // modifier is held afterwards. Alt is the left one here: a combination such as Alt+F4 is a
    // command, and right Alt is AltGr on many layouts.
    KeyResult SendNamedKey(uint8_t vk, uint8_t modifiers);
    // Types every code unit up to the terminating NUL.
    void SendKeys(const char16_t* text);
    // Lets go of every modifier this synthesiser holds down (and of a key whose release the
    // system did not take); false when the system refused a release, which stays due.
    bool ReleaseModifierKeys();
    // Lets go of keys the system has down that this synthesiser did not press (the modifiers a
    // copy that ended while typing left down), in one injection; false when the system did not
    // take every release.
    bool ReleaseKeys(const std::vector<uint8_t>& vks);

    // "Sent Key": characters typed since the process started. Written by the typing thread,
    // read by the user-interface thread for the tooltip.
    uint32_t SentKeyCount() const { return m_nSentKey.load(std::memory_order_relaxed); }

    bool IsShiftDown() const { return m_bShiftDown; }
    // Caps Lock as the keys typed so far left it: on as the item began, unless a Shift of ours
    // turned it off (shiftLock).
    bool CapsLockOn() const { return m_target.capsLock; }

private:
    struct ModifierSlot {
        uint8_t stateBit;
        uint8_t vk;
        bool CKeySynthesizer::*held;
    };
    // The third slot is the right Alt key on state bit 4. Layouts that type characters with
    // AltGr report them as Ctrl+Alt (bit 2 + bit 4), and AltGr is the right Alt key, which the
    // system itself turns into Ctrl + right Alt: holding Ctrl and right Alt gives the target what
    // a user's AltGr gives. Right Alt is also outside Windows' Left Alt+Shift language hotkey.
    static const ModifierSlot kSlots[3];

    KeyStroke Stroke(uint8_t vk, bool keyUp);
    bool InjectOne(uint8_t vk, bool keyUp);
    // Presses and releases the modifiers for state, then the key; false when the key did not go
    // in (then nothing of it did).
    bool TypeKey(uint8_t vk, uint8_t state);
    bool PressModifiers(uint8_t state);
    // Shift alone, down and up, with nothing else held: it turns Caps Lock off (shiftLock).
    bool TapShift();
    void ShiftWentDown();
    bool ReleaseUnneeded(uint8_t state);
    // Whether the design's order (presses, then releases) would let go of Shift, Ctrl or Alt
    // while Shift and Ctrl or Alt are down with no key pressed since: Windows' default hotkeys
    // (Left Alt+Shift, Ctrl+Shift) switch the input language on such a release.
    bool PressFirstFormsChord(uint8_t state) const;
    bool ChordArmedAfterPress() const;
    // Sends what an earlier refusal left due (a key's release, the Space after a dead key);
    // false while the system still refuses it.
    bool SendDue();

    IKeyboardLayout& m_layout;
    IKeyInjector& m_injector;
    TypingTarget m_target;
    bool m_bShiftDown = false;
    bool m_bCtrlDown = false;
    bool m_bThirdDown = false;
    // Shift and Ctrl or Alt went down together and no key has been pressed since.
    bool m_bChordArmed = false;
    // A key went down but the system refused its release; a dead key went in without its Space.
    bool m_bKeyUpDue = false;
    KeyStroke m_keyUpDue{0, true};
    bool m_bSpaceDue = false;
    bool m_bUnicodeFallback = false;
    KeyResult TypeUnicode(char16_t ch);
    // What the target's layout answers, asked once per character or key while the layout stays:
    // the system's layout calls are the costly part of typing a character.
    int16_t Lookup(char16_t ch);
    KeyOutput OutputOf(uint8_t vk, uint8_t state, bool capsLock);
    std::unordered_map<char16_t, int16_t> m_lookups;
    std::unordered_map<uint32_t, KeyOutput> m_outputs;
    ScanCode m_scanCodes[256];
    std::atomic<uint32_t> m_nSentKey{0};
};

}  // namespace dorvane
