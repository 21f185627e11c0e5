#include "pipeline/core/journalcsv.h"

#include "core/escapes.h"
#include "pipeline/core/recordencoding.h"

namespace dorvane {

std::string LogFileStart() {
    return "\xEF\xBB\xBF" + EncodeRecordItem(std::u16string(kLogHeader) + u"\n", RecordEncoding::kUtf8, false);
}

namespace {

void AppendDigits(std::u16string& out, unsigned value, int width) {
    std::u16string digits(static_cast<size_t>(width), u'0');
    for (int i = width - 1; i >= 0 && value != 0; --i, value /= 10) {
        digits[static_cast<size_t>(i)] = static_cast<char16_t>(u'0' + value % 10);
    }
    out += digits;
}

std::u16string_view FileNameOf(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::u16string LogTime(const LocalTime& time) {
    std::u16string text;
    AppendDigits(text, time.year, 4);
    text += u'-';
    AppendDigits(text, time.month, 2);
    text += u'-';
    AppendDigits(text, time.day, 2);
    text += u'T';
    AppendDigits(text, time.hour, 2);
    text += u':';
    AppendDigits(text, time.minute, 2);
    text += u':';
    AppendDigits(text, time.second, 2);
    text += u'.';
    AppendDigits(text, time.millisecond, 3);
    return text;
}

std::u16string EscapeRawBytes(std::string_view bytes) {
    std::u16string out;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if (!AppendEscape(out, byte)) {
            if (byte > 0x7E) {
                AppendHexEscape(out, byte);
            } else {
                out += static_cast<char16_t>(byte);
            }
        }
    }
    return out;
}

std::u16string CsvField(std::u16string_view text) {
    const bool quote = text.find_first_of(u",\"\r\n") != std::u16string_view::npos ||
                       (!text.empty() && (text.front() == u' ' || text.back() == u' '));
    if (!quote) {
        return std::u16string(text);
    }
    std::u16string out = u"\"";
    for (const char16_t c : text) {
        out += c;
        if (c == u'"') {
            out += u'"';
        }
    }
    return out + u"\"";
}

std::u16string LogLine(const JournalEntry& entry, std::u16string_view profile, std::u16string_view port) {
    std::u16string line = LogTime(entry.completed);
    for (const std::u16string& field :
         {std::u16string(profile), std::u16string(port), std::u16string(OutcomeWord(entry.outcome)),
          EscapeControls(entry.typed), EscapeRawBytes(entry.raw), std::u16string(FileNameOf(entry.program))}) {
        line += u',';
        line += CsvField(field);
    }
    return line;
}

}  // namespace dorvane
