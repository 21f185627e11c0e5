// Upper and lower case of the letters of ASCII and Latin-1, the letters of executable names, of
// the window titles people name, and of the device readings this program shapes; other
// characters stay as they are.
#pragma once

#include <string_view>

namespace dorvane {

inline char16_t UpperCase(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
        return static_cast<char16_t>(c - 0x20);
    }
    return c;
}

inline char16_t LowerCase(char16_t c) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
        return static_cast<char16_t>(c + 0x20);
    }
    return c;
}

// Two texts equal but for the case of these letters (names of settings, ports, programs).
inline bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperCase(a[i]) != UpperCase(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace dorvane
