#include "settings/core/pathcheck.h"

namespace dorvane {

std::optional<std::u16string> CheckFilePath(const StringSetting& setting, std::u16string_view path) {
    if (path.empty()) {
        return std::nullopt;
    }
    bool valid = path.back() != u'\\' && path.back() != u'/';
    for (size_t i = 0; i < path.size() && valid; ++i) {
        const char16_t c = path[i];
        const bool driveColon = c == u':' && i == 1 && ((path[0] | 0x20) >= u'a' && (path[0] | 0x20) <= u'z');
        valid = c >= u' ' && std::u16string_view(u"<>\"|?*").find(c) == std::u16string_view::npos &&
                (c != u':' || driveColon);
    }
    if (valid) {
        return std::nullopt;
    }
    return std::u16string(setting.name) + u": \"" + std::u16string(path) + u"\" is not a file path!";
}

}  // namespace dorvane
