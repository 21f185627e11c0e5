#include "settings/core/profilecodec.h"

#include "core/decimal.h"

namespace dorvane {

std::optional<uint32_t> IntFromRegistry(const RegValue& value) {
    if (value.type != RegType::Dword || value.bytes.size() != 4) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(value.bytes[0]) | static_cast<uint32_t>(value.bytes[1]) << 8 |
           static_cast<uint32_t>(value.bytes[2]) << 16 | static_cast<uint32_t>(value.bytes[3]) << 24;
}

std::optional<std::u16string> StringFromRegistry(const RegValue& value) {
    if (value.type != RegType::String && value.type != RegType::ExpandString) {
        return std::nullopt;
    }
    std::u16string text;
    for (size_t i = 0; i + 1 < value.bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(value.bytes[i] | value.bytes[i + 1] << 8);
        if (unit == u'\0') {
            break;
        }
        text.push_back(unit);
    }
    return text;
}

bool IsBinaryRegistryValue(const RegValue& value) {
    return value.type == RegType::Binary;
}

std::u16string IniIntText(int32_t value) {
    return DecimalText(value);
}

std::optional<uint32_t> IntFromIniText(std::u16string_view text) {
    const bool negative = !text.empty() && text[0] == u'-';
    if (negative) {
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    uint64_t magnitude = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (negative) {
        if (magnitude > 0x80000000ULL) {
            return std::nullopt;
        }
        return static_cast<uint32_t>(-static_cast<int64_t>(magnitude));
    }
    if (magnitude > 0xFFFFFFFFULL) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(magnitude);
}

std::optional<std::u16string> IniStringText(std::u16string_view value) {
    if (value.find_first_of(u"\r\n") != std::u16string_view::npos) {
        return std::nullopt;
    }
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    const auto quote = [](char16_t c) { return c == u'"' || c == u'\''; };
    if (!value.empty() && (blank(value.front()) || blank(value.back()) || quote(value.front()) || quote(value.back()))) {
        std::u16string quoted;
        quoted.reserve(value.size() + 2);
        quoted.push_back(u'"');
        quoted.append(value);
        quoted.push_back(u'"');
        return quoted;
    }
    return std::u16string(value);
}

std::u16string IniBinaryText(const uint8_t* data, size_t count) {
    std::u16string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text.push_back(static_cast<char16_t>(u'A' + (data[i] & 0x0F)));
        text.push_back(static_cast<char16_t>(u'A' + (data[i] >> 4)));
    }
    return text;
}

bool DecodeIniBinary(std::u16string_view text, std::vector<uint8_t>& out) {
    out.clear();
    if (text.empty() || text.size() % 2 != 0) {
        return false;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const char16_t low = text[i], high = text[i + 1];
        if (low < u'A' || low > u'P' || high < u'A' || high > u'P') {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>((low - u'A') | (high - u'A') << 4));
    }
    out = std::move(bytes);
    return true;
}

}  // namespace dorvane
