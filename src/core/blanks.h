// Spaces and tabs around a text a user typed or a file holds.
#pragma once

#include <string_view>

namespace dorvane {

inline bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

inline std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace dorvane
