// Bridges the portable core's UTF-16 text (char16_t) and the Win32 API's wchar_t, which are
// the same 16-bit units on Windows. Only Win32 code includes this.
#pragma once

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 code expects 16-bit wchar_t");

namespace dorvane {

inline const wchar_t* AsWide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline const char16_t* AsUtf16(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}
inline char16_t* AsUtf16(wchar_t* text) {
    return reinterpret_cast<char16_t*>(text);
}

inline std::wstring ToWide(std::u16string_view text) {
    return std::wstring(AsWide(text.data()), text.size());
}
inline std::u16string_view AsUtf16View(std::wstring_view text) {
    return {AsUtf16(text.data()), text.size()};
}

}  // namespace dorvane
