// A number in decimal digits, for the UTF-16 texts the program shows and traces.
#pragma once

#include <cstdint>
#include <string>

namespace dorvane {

inline std::u16string DecimalText(uint64_t value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value != 0);
    return digits;
}

}  // namespace dorvane
