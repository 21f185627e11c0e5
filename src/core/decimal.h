// A whole number in decimal digits, for the UTF-16 texts the program shows, traces and stores.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

namespace dorvane {

template <typename Integer>
std::u16string DecimalText(Integer value) {
    static_assert(std::is_integral_v<Integer>);
    bool negative = false;
    // The magnitude in 64 unsigned bits, so that the most negative value has one.
    uint64_t magnitude = static_cast<uint64_t>(value);
    if constexpr (std::is_signed_v<Integer>) {
        negative = value < 0;
        magnitude = negative ? 0 - magnitude : magnitude;
    }
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + magnitude % 10));
        magnitude /= 10;
    } while (magnitude != 0);
    return negative ? u"-" + digits : digits;
}

}  // namespace dorvane
