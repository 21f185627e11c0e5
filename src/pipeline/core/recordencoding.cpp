#include "pipeline/core/recordencoding.h"

namespace dorvane {

namespace {

void PutUtf16Le(std::string& out, char16_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

void PutUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

RecordEncoding EncodingForAppend(const uint8_t* head, size_t count) {
    const bool utf8Mark = count >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF;
    return utf8Mark ? RecordEncoding::kUtf8 : RecordEncoding::kUtf16Le;
}

std::string EncodeRecordItem(const std::u16string& text, RecordEncoding encoding, bool mark) {
    std::string out;
    if (encoding == RecordEncoding::kUtf16Le) {
        if (mark) {
            PutUtf16Le(out, 0xFEFF);
        }
        for (char16_t unit : text) {
            if (unit == u'\n') {
                PutUtf16Le(out, u'\r');
            }
            PutUtf16Le(out, unit);
        }
        return out;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == u'\n') {
            out.push_back('\r');
        }
        if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            PutUtf8(out, 0x10000 + ((static_cast<uint32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            // A lone surrogate cannot be UTF-8: it becomes the replacement character.
            PutUtf8(out, IsHighSurrogate(unit) || IsLowSurrogate(unit) ? 0xFFFD : unit);
        }
    }
    return out;
}

}  // namespace dorvane
