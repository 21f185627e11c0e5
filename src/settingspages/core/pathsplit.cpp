#include "settingspages/core/pathsplit.h"

#include <string_view>

namespace dorvane {

namespace {

const char16_t* CopyPart(std::u16string_view part, char16_t* dest, size_t destChars) {
    if (part.size() + 1 > destChars) {
        return nullptr;  // cut paths would name another file: leave the part out instead
    }
    part.copy(dest, part.size());
    dest[part.size()] = u'\0';
    return dest;
}

}  // namespace

const char16_t* GetPathFolder(const char16_t* source, char16_t* dest, size_t destChars, char16_t separator) {
    dest[0] = u'\0';
    const std::u16string_view path(source);
    const size_t last = path.rfind(separator);
    if (last == std::u16string_view::npos) {
        return nullptr;
    }
    return CopyPart(path.substr(0, last), dest, destChars);
}

const char16_t* GetPathFileName(const char16_t* source, char16_t* dest, size_t destChars,
                                char16_t separator) {
    dest[0] = u'\0';
    const std::u16string_view path(source);
    const size_t last = path.rfind(separator);
    return CopyPart(last == std::u16string_view::npos ? path : path.substr(last + 1), dest, destChars);
}

}  // namespace dorvane
