#include "framework/core/wholenumber.h"

#include <climits>

namespace dorvane {

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

std::optional<int> ParseWholeNumber(std::u16string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Accumulate as a negative number so that INT_MIN itself is accepted.
    long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 - (c - u'0');
        if (value < INT_MIN) {
            return std::nullopt;
        }
    }
    if (!negative) {
        value = -value;
        if (value > INT_MAX) {
            return std::nullopt;
        }
    }
    return static_cast<int>(value);
}

}  // namespace dorvane
