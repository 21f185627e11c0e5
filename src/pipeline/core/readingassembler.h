// Whole readings out of flushed items. A reading is the text up to and including its line end
// (CR, LF or CR LF), however the line and the flush rules cut it into items; text with no line
// end waits until the line has been quiet for the flush time-out. A reading is at most
// kMaxReadingChars long: a longer one is cut there and the rest starts the next reading.
// The pipeline assembles the bytes as received (CR and LF are the same bytes in every code page
// Windows offers for the ANSI text, and no lead byte pairs with them), so that each reading
// keeps its raw bytes and is converted whole: a character is never split across two items.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

inline constexpr size_t kMaxReadingChars = 65536;

template <class Char>
struct BasicAssembledReading {
    std::basic_string<Char> text;
    // The LF of a CR LF whose CR ended an item: the reading before it was handed on at its CR
    // (a scanner that ends lines with CR alone must not wait), so this goes after it as its tail.
    bool lineEndTail = false;
    bool cut = false;  // cut at kMaxReadingChars, with no line end of its own
    bool operator==(const BasicAssembledReading&) const = default;
};

template <class Char>
class CBasicReadingAssembler {
public:
    using Reading = BasicAssembledReading<Char>;
    // The readings `item` completes, in order; text after its last line end waits for more.
    std::vector<Reading> Add(std::basic_string_view<Char> item);
    // The waiting text as a reading of its own (the line was quiet, or the service stops).
    std::optional<Reading> TakeRest();
    size_t WaitingChars() const { return m_strRest.size(); }
    // The waiting text itself (the service stops: it is journaled as lost).
    const std::basic_string<Char>& Waiting() const { return m_strRest; }
    void Clear();

private:
    std::basic_string<Char> m_strRest;
    bool m_bAfterCr = false;  // the last item ended with the CR that ended its last reading
};

extern template class CBasicReadingAssembler<char>;
extern template class CBasicReadingAssembler<char16_t>;

using AssembledReading = BasicAssembledReading<char16_t>;
using CReadingAssembler = CBasicReadingAssembler<char16_t>;
using AssembledBytes = BasicAssembledReading<char>;
using CByteReadingAssembler = CBasicReadingAssembler<char>;

}  // namespace dorvane
