#include "settings/core/settingstext.h"

#include <cstdint>
#include <set>

#include "core/blanks.h"
#include "core/textcase.h"

namespace dorvane {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool StartsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

// One UTF-8 sequence at `at`: its code point and length, or none when it is not a valid
// sequence (overlong forms, surrogates and values beyond U+10FFFF included).
std::optional<std::pair<char32_t, size_t>> Utf8Sequence(std::string_view bytes, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) {
        return std::pair<char32_t, size_t>{lead, 1};
    }
    size_t length = 0;
    char32_t code = 0, lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, lowest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (at + length > bytes.size()) {
        return std::nullopt;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = code << 6 | (byte(at + i) & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::pair<char32_t, size_t>{code, length};
}

std::u16string FromUtf8(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const auto sequence = Utf8Sequence(bytes, at);
        if (!sequence) {
            text.push_back(kReplacement);
            ++at;
            continue;
        }
        const auto [code, length] = *sequence;
        if (code >= 0x10000) {
            text.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
        at += length;
    }
    return text;
}

std::u16string FromUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const auto first = static_cast<uint8_t>(bytes[at]), second = static_cast<uint8_t>(bytes[at + 1]);
        text.push_back(static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first));
    }
    return text;
}

}  // namespace

std::u16string_view EncodingName(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::kUtf8:
            return u"UTF-8";
        case TextEncoding::kUtf8Mark:
            return u"UTF-8 with BOM";
        case TextEncoding::kUtf16Le:
            return u"UTF-16 LE";
        case TextEncoding::kUtf16Be:
            return u"UTF-16 BE";
        case TextEncoding::kAnsi:
            break;
    }
    return u"ANSI";
}

TextEncoding DetectEncoding(std::string_view bytes) {
    if (StartsWith(bytes, "\xFF\xFE")) {
        return TextEncoding::kUtf16Le;
    }
    if (StartsWith(bytes, "\xFE\xFF")) {
        return TextEncoding::kUtf16Be;
    }
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        return TextEncoding::kUtf8Mark;
    }
    bool beyondAscii = false;
    for (size_t at = 0; at < bytes.size();) {
        const auto sequence = Utf8Sequence(bytes, at);
        if (!sequence) {
            return TextEncoding::kAnsi;
        }
        beyondAscii = beyondAscii || sequence->second > 1;
        at += sequence->second;
    }
    return beyondAscii ? TextEncoding::kUtf8 : TextEncoding::kAnsi;
}

std::u16string DecodeText(std::string_view bytes, TextEncoding encoding, const DecodeAnsi& ansi) {
    switch (encoding) {
        case TextEncoding::kUtf16Le:
            return FromUtf16(bytes.substr(2), false);
        case TextEncoding::kUtf16Be:
            return FromUtf16(bytes.substr(2), true);
        case TextEncoding::kUtf8Mark:
            return FromUtf8(bytes.substr(3));
        case TextEncoding::kUtf8:
            return FromUtf8(bytes);
        case TextEncoding::kAnsi:
            break;
    }
    return ansi(bytes);
}

std::optional<SettingEntries> IniSection(std::u16string_view text, std::u16string_view section) {
    section = TrimBlanks(section);
    std::optional<SettingEntries> found;
    std::set<std::u16string> names;  // upper case: a file of many keys must not cost their square
    bool inside = false;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        const std::u16string_view line = TrimBlanks(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == u';') {
            continue;
        }
        const size_t close = line.rfind(u']');
        if (line.front() == u'[' && close != std::u16string_view::npos) {
            if (found) {
                break;  // the first section of that name is the one the system reads
            }
            const std::u16string_view name = TrimBlanks(line.substr(1, close - 1));
            inside = SameTextIgnoringCase(name, section);
            if (inside) {
                found.emplace();
            }
            continue;
        }
        if (!inside) {
            continue;
        }
        const size_t equals = line.find(u'=');
        const std::u16string_view name = TrimBlanks(line.substr(0, equals));
        if (name.empty()) {
            continue;
        }
        std::u16string key(name);
        for (char16_t& c : key) {
            c = UpperCase(c);
        }
        if (!names.insert(std::move(key)).second) {
            continue;
        }
        std::u16string_view value =
            equals == std::u16string_view::npos ? std::u16string_view{} : TrimBlanks(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        found->emplace_back(name, value);
    }
    return found;
}

}  // namespace dorvane
