#include "app/core/readingsview.h"

#include <algorithm>
#include <array>
#include <functional>

#include "core/decimal.h"
#include "core/escapes.h"
#include "framework/core/wholenumber.h"
#include "pipeline/core/journalcsv.h"
#include "pipeline/core/recordencoding.h"

namespace dorvane {

namespace {

// The ASCII names of the control characters 0x00 to 0x1F.
constexpr std::array<std::u16string_view, 32> kControlNames = {
    u"NUL", u"SOH", u"STX", u"ETX", u"EOT", u"ENQ", u"ACK", u"BEL", u"BS",  u"HT",  u"LF",
    u"VT",  u"FF",  u"CR",  u"SO",  u"SI",  u"DLE", u"DC1", u"DC2", u"DC3", u"DC4", u"NAK",
    u"SYN", u"ETB", u"CAN", u"EM",  u"SUB", u"ESC", u"FS",  u"GS",  u"RS",  u"US"};

bool SameDay(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

// The reading's typed text without the line end it was typed with (CR, LF or CR LF).
std::u16string_view WithoutLineEnd(std::u16string_view typed) {
    while (!typed.empty() && (typed.back() == u'\r' || typed.back() == u'\n')) {
        typed.remove_suffix(1);
    }
    return typed;
}

}  // namespace

ReadingRow RowOf(const JournalEntry& entry, const LocalTime& today) {
    ReadingRow row;
    // LogTime gives "2026-12-10T14:03:07.125": the date is left out for today's readings.
    row.time = LogTime(entry.completed);
    row.time[10] = u' ';
    if (SameDay(entry.completed, today)) {
        row.time.erase(0, 11);
    }
    row.outcome = OutcomeWord(entry.outcome);
    if (!entry.reason.empty()) {
        row.outcome += u": " + entry.reason;
    }
    row.typed = EscapeControls(entry.typed);
    row.program = entry.program;  // already the executable's file name
    return row;
}

std::u16string RawBytesText(std::string_view raw) {
    std::u16string text;
    for (const char ch : raw) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < kControlNames.size()) {
            text += u'<';
            text += kControlNames[byte];
            text += u'>';
        } else if (byte == 0x7F) {
            text += u"<DEL>";
        } else if (byte > 0x7F) {
            text += u"<x";
            AppendHexByte(text, byte);
            text += u'>';
        } else {
            text += static_cast<char16_t>(byte);
        }
    }
    return text;
}

std::u16string RawBytesHex(std::string_view raw) {
    std::u16string text;
    for (const char ch : raw) {
        const auto byte = static_cast<unsigned char>(ch);
        if (!text.empty()) {
            text += u' ';
        }
        AppendHexByte(text, byte);
    }
    return text;
}

std::u16string CopyText(const std::vector<JournalEntry>& readings) {
    std::u16string text;
    for (size_t i = 0; i < readings.size(); ++i) {
        if (i != 0) {
            text += u"\r\n";
        }
        // Escaped as the column shows it, so that one reading stays one line.
        text += EscapeControls(WithoutLineEnd(readings[i].typed));
    }
    return text;
}

std::string ReadingsFileBytes(const std::vector<JournalEntry>& newestFirst, std::u16string_view profile) {
    // Oldest first, as the log file grows: a saved journal reads like the log and can be put
    // beside it line for line.
    std::u16string text;
    for (auto entry = newestFirst.rbegin(); entry != newestFirst.rend(); ++entry) {
        text += LogLine(*entry, profile, entry->port);
        text += u'\n';
    }
    return LogFileStart() + EncodeRecordItem(text, RecordEncoding::kUtf8, false);
}

ListRows FollowRows(const std::vector<uint64_t>& ids, const ListState& before) {
    ListRows rows;
    if (ids.empty()) {
        return rows;
    }
    if (before.empty) {
        rows.selected.push_back(0);
        rows.focused = 0;
        return rows;
    }
    // Ids fall down the list: the row of a reading, or of the next older one where it is gone.
    const auto rowAtOrBelow = [&](uint64_t id) {
        return static_cast<size_t>(std::lower_bound(ids.begin(), ids.end(), id, std::greater<>()) -
                                   ids.begin());
    };
    const auto rowOf = [&](uint64_t id) -> std::optional<size_t> {
        const size_t row = rowAtOrBelow(id);
        return row < ids.size() && ids[row] == id ? std::optional<size_t>(row) : std::nullopt;
    };
    for (const uint64_t id : before.selected) {
        if (const std::optional<size_t> row = rowOf(id)) {
            rows.selected.push_back(*row);
        }
    }
    std::sort(rows.selected.begin(), rows.selected.end());
    if (before.focused) {
        rows.focused = rowOf(*before.focused);
    }
    if (before.top) {
        rows.top = std::min(rowAtOrBelow(*before.top), ids.size() - 1);
    }
    return rows;
}

std::u16string FormatPlace(const WindowPlace& place) {
    std::u16string text;
    for (const int64_t number : {int64_t{place.left}, int64_t{place.top}, int64_t{place.width},
                                 int64_t{place.height}, int64_t{place.dpi}}) {
        if (!text.empty()) {
            text += u',';
        }
        text += DecimalText(number);
    }
    if (place.maximized) {
        text += u",max";
    }
    return text;
}

std::optional<WindowPlace> ParsePlace(std::u16string_view text) {
    // Bounds that no screen reaches: a value beyond them was not written by the window.
    constexpr int kFar = 1000000;
    std::vector<std::u16string_view> fields;
    for (size_t start = 0;;) {
        const size_t comma = text.find(u',', start);
        fields.push_back(text.substr(start, comma == std::u16string_view::npos ? comma : comma - start));
        if (comma == std::u16string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (fields.size() != 5 && !(fields.size() == 6 && fields[5] == u"max")) {
        return std::nullopt;
    }
    int numbers[5] = {};
    for (size_t i = 0; i < 5; ++i) {
        const std::optional<int> number = ParseWholeNumber(fields[i]);
        if (!number || *number <= -kFar || *number >= kFar) {
            return std::nullopt;
        }
        numbers[i] = *number;
    }
    // A window of no size, or at a DPI no monitor has (Windows scales from 100 % to 500 %).
    if (numbers[2] <= 0 || numbers[3] <= 0 || numbers[4] < 48 || numbers[4] > 960) {
        return std::nullopt;
    }
    WindowPlace place;
    place.left = numbers[0];
    place.top = numbers[1];
    place.width = numbers[2];
    place.height = numbers[3];
    place.dpi = static_cast<uint32_t>(numbers[4]);
    place.maximized = fields.size() == 6;
    return place;
}

ScreenRect PlaceOnScreen(const WindowPlace& place, uint32_t dpi, const ScreenRect& work) {
    const auto scaled = [&](int32_t length) {
        return static_cast<int32_t>((static_cast<int64_t>(length) * dpi + place.dpi / 2) / place.dpi);
    };
    const int32_t width = std::min(scaled(place.width), work.right - work.left);
    const int32_t height = std::min(scaled(place.height), work.bottom - work.top);
    const int32_t left = std::max(work.left, std::min(place.left, work.right - width));
    const int32_t top = std::max(work.top, std::min(place.top, work.bottom - height));
    return ScreenRect{left, top, left + width, top + height};
}

}  // namespace dorvane
