#include "serial/core/devicecommand.h"

#include "core/decimal.h"
#include "core/hexdigit.h"
#include "core/textcase.h"

namespace dorvane {

std::optional<std::u16string> DecodeDeviceText(std::u16string_view text, const char16_t* setting,
                                              const EncodeText& encode, std::vector<uint8_t>& bytes) {
    bytes.clear();
    std::u16string run;  // text between escapes, encoded as one piece
    const auto flush = [&] {
        if (!run.empty()) {
            const std::vector<uint8_t> encoded = encode(run);
            bytes.insert(bytes.end(), encoded.begin(), encoded.end());
            run.clear();
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            run.push_back(text[i]);
            continue;
        }
        const char16_t next = i + 1 < text.size() ? text[i + 1] : u'\0';
        flush();
        switch (next) {
            case u'r':
                bytes.push_back('\r');
                break;
            case u'n':
                bytes.push_back('\n');
                break;
            case u't':
                bytes.push_back('\t');
                break;
            case u'\\':
                bytes.push_back('\\');
                break;
            case u'x': {
                const int high = i + 2 < text.size() ? HexDigitValue(text[i + 2]) : -1;
                const int low = i + 3 < text.size() ? HexDigitValue(text[i + 3]) : -1;
                if (high < 0 || low < 0) {
                    return std::u16string(setting) + u": \\x needs two hexadecimal digits!";
                }
                bytes.push_back(static_cast<uint8_t>(high * 16 + low));  // a raw byte, not encoded
                i += 2;
                break;
            }
            default:
                return std::u16string(setting) + u": unknown escape (use \\r \\n \\t \\xHH or \\\\)!";
        }
        ++i;
    }
    flush();
    if (bytes.size() > kMaxDeviceCommandBytes) {
        return std::u16string(setting) + u" is longer than " + DecimalText(kMaxDeviceCommandBytes) + u" bytes!";
    }
    return std::nullopt;
}

std::optional<std::u16string> CheckPollPeriod(uint32_t ms) {
    if (ms != 0 && (ms < kMinPollMs || ms > kMaxPollMs)) {
        return u"DEVICE_POLL_MS must be 0 or 100 to 3600000!";
    }
    return std::nullopt;
}

std::optional<std::u16string> ParseHotkey(std::u16string_view text, Hotkey& hotkey) {
    hotkey = Hotkey{};
    if (text.empty()) {
        return std::nullopt;
    }
    std::u16string upper(text);
    for (char16_t& c : upper) {
        c = UpperCase(c);
    }
    std::u16string_view rest = upper;
    constexpr uint32_t kAlt = 1, kControl = 2, kShift = 4, kWin = 8;
    const std::u16string refusal = u"DEVICE_HOTKEY: \"" + std::u16string(text) + u"\" cannot be a hotkey!";
    uint32_t modifiers = 0;
    for (size_t plus; (plus = rest.find(u'+')) != std::u16string_view::npos;) {
        const std::u16string_view name = rest.substr(0, plus);
        const uint32_t bit = name == u"CTRL" ? kControl : name == u"ALT" ? kAlt : name == u"SHIFT" ? kShift
                                                        : name == u"WIN"  ? kWin : 0;
        if (bit == 0 || (modifiers & bit) != 0) {
            return refusal;
        }
        modifiers |= bit;
        rest.remove_prefix(plus + 1);
    }
    uint8_t vk = 0;
    if (rest.size() == 1 && ((rest[0] >= u'A' && rest[0] <= u'Z') || (rest[0] >= u'0' && rest[0] <= u'9'))) {
        if ((modifiers & (kControl | kAlt | kWin)) == 0) {
            return refusal;  // it would take a key the user types
        }
        vk = static_cast<uint8_t>(rest[0]);  // letters' and digits' keys are their own codes
    } else if (rest.size() >= 2 && rest.size() <= 3 && rest[0] == u'F' && rest[1] != u'0') {
        uint32_t number = 0;
        for (char16_t c : rest.substr(1)) {
            if (c < u'0' || c > u'9') {
                return refusal;
            }
            number = number * 10 + (c - u'0');
        }
        // F12 alone is kept for debuggers, even when none runs:
        // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-registerhotkey
        if (number < 1 || number > 24 || (number == 12 && modifiers == 0)) {
            return refusal;
        }
        vk = static_cast<uint8_t>(0x6F + number);  // VK_F1 is 0x70
    } else {
        return refusal;
    }
    const uint32_t chord = modifiers & ~kShift;
    if (chord == (kControl | kAlt) && vk <= 'Z') {
        // Ctrl+Alt is AltGr on German, French, Polish... keyboards: the hotkey would take a
        // character such as @ or € from every program.
        return u"DEVICE_HOTKEY: \"" + std::u16string(text) + u"\" is AltGr on many keyboards (@, €): use another key!";
    }
    // The editing and closing shortcuts every program uses.
    constexpr Hotkey kEveryonesShortcuts[] = {{kControl, 'C'}, {kControl, 'V'}, {kControl, 'X'},
                                              {kControl, 'Z'}, {kControl, 'A'}, {kAlt, 0x73}};  // Alt+F4
    for (const Hotkey& taken : kEveryonesShortcuts) {
        if (Hotkey{modifiers, vk} == taken) {
            return u"DEVICE_HOTKEY: \"" + std::u16string(text) + u"\" is a shortcut every program uses: use another key!";
        }
    }
    hotkey = Hotkey{modifiers, vk};
    return std::nullopt;
}

}  // namespace dorvane
