// What the Readings window shows and decides, apart from the window: the texts of a reading's
// row, its raw bytes by name or in hexadecimal, what Copy and Save As produce, the rows that stay
// selected when the list is filled anew, and the window's remembered place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/core/readingjournal.h"

namespace dorvane {

// The four columns of a reading's row.
struct ReadingRow {
    std::u16string time;     // "14:03:07.125"; a reading of another day than `today` has its date first
    std::u16string outcome;  // "skipped: no match"
    std::u16string typed;    // the text after the rules, control characters escaped ("12345\r\n")
    std::u16string program;  // the executable's file name
    bool operator==(const ReadingRow&) const = default;
};
ReadingRow RowOf(const JournalEntry& entry, const LocalTime& today);

// The raw bytes as received, one reading's: printable ASCII as is, control characters by their
// ASCII names in angle brackets (<STX>, <CR><LF>, <GS>, <DEL>), and bytes above 0x7F, whose
// meaning depends on the device's code page, as <xHH>.
std::u16string RawBytesText(std::string_view raw);
// The same bytes as hexadecimal pairs ("02 41 0D 0A").
std::u16string RawBytesHex(std::string_view raw);

// What Copy puts on the clipboard: each reading's Typed column, one per line, in the order given,
// without the line end the reading was typed with. No line end after the last.
std::u16string CopyText(const std::vector<JournalEntry>& readings);

// Save As: the journal as the log file's CSV (its header, one line per reading, oldest first,
// CR LF), in UTF-8 with its mark. `newestFirst` as the journal lists it.
std::string ReadingsFileBytes(const std::vector<JournalEntry>& newestFirst, std::u16string_view profile);

// Which rows are selected and focused, and which row is at the top of the list, by reading id
// (a refresh puts new readings on top, so the rows move under the user's selection).
struct ListState {
    std::vector<uint64_t> selected;
    std::optional<uint64_t> focused;
    std::optional<uint64_t> top;  // none: the list was scrolled to its top (the newest reading)
    bool empty = true;            // nothing was listed
};
struct ListRows {
    std::vector<size_t> selected;
    std::optional<size_t> focused;
    size_t top = 0;
    bool operator==(const ListRows&) const = default;
};
// The rows of the readings `ids` (newest first, as listed) that carry `before` on. A selected
// reading that left the journal is no longer selected. A list scrolled to the top stays there, so
// new readings show; one scrolled down keeps its top reading (or the next older one) at the top.
// A list that was empty gets its newest reading selected and focused.
ListRows FollowRows(const std::vector<uint64_t>& ids, const ListState& before);

// The window's place as READINGS_WINDOW keeps it: "LEFT,TOP,WIDTH,HEIGHT,DPI" with ",max" when it
// was maximised. The rectangle is the restored one, in pixels at that DPI.
struct WindowPlace {
    int32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t dpi = 96;
    bool maximized = false;
    bool operator==(const WindowPlace&) const = default;
};
std::u16string FormatPlace(const WindowPlace& place);
// Nothing for a text that is not such a place (empty, hand-edited, a size of nothing).
std::optional<WindowPlace> ParsePlace(std::u16string_view text);

struct ScreenRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const ScreenRect&) const = default;
};
// The remembered rectangle for a window now at `dpi`, brought whole into the work area: its size
// scaled by dpi / place.dpi and no larger than the work area, then moved inside it.
ScreenRect PlaceOnScreen(const WindowPlace& place, uint32_t dpi, const ScreenRect& work);

}  // namespace dorvane
