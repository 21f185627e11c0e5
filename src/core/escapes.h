// How the program shows text that holds control characters (the Data page's sample and preview,
// the log file): \r \n \t \\ by name, other control characters as \xHH; the escapes the settings
// texts read back.
#pragma once

#include <string>
#include <string_view>

namespace dorvane {

// Two upper-case hexadecimal digits.
inline void AppendHexByte(std::u16string& out, unsigned byte) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    out += kHex[(byte >> 4) & 0xF];
    out += kHex[byte & 0xF];
}

inline void AppendHexEscape(std::u16string& out, unsigned byte) {
    out += u"\\x";
    AppendHexByte(out, byte);
}

// Appends `c` escaped; false (nothing appended) when it needs no escape.
inline bool AppendEscape(std::u16string& out, char32_t c) {
    switch (c) {
        case u'\r':
            out += u"\\r";
            return true;
        case u'\n':
            out += u"\\n";
            return true;
        case u'\t':
            out += u"\\t";
            return true;
        case u'\\':
            out += u"\\\\";
            return true;
        default:
            break;
    }
    if (c < 0x20 || c == 0x7F) {
        AppendHexEscape(out, static_cast<unsigned>(c));
        return true;
    }
    return false;
}

inline std::u16string EscapeControls(std::u16string_view text) {
    std::u16string out;
    for (const char16_t c : text) {
        if (!AppendEscape(out, c)) {
            out += c;
        }
    }
    return out;
}

}  // namespace dorvane
