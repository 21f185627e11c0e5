// Whole readings out of flushed items. A reading is the text up to and including its line end
// (CR, LF or CR LF), however the line and the flush rules cut it into items; text with no line
// end waits until the line has been quiet for the flush time-out. A reading is at most
// kMaxReadingChars long: a longer one is cut there and the rest starts the next reading.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

inline constexpr size_t kMaxReadingChars = 65536;

struct AssembledReading {
    std::u16string text;
    // The LF of a CR LF whose CR ended an item: the reading before it was handed on at its CR
    // (a scanner that ends lines with CR alone must not wait), so this goes after it as its tail.
    bool lineEndTail = false;
    bool cut = false;  // cut at kMaxReadingChars, with no line end of its own
    bool operator==(const AssembledReading&) const = default;
};

class CReadingAssembler {
public:
    // The readings `item` completes, in order; text after its last line end waits for more.
    std::vector<AssembledReading> Add(std::u16string_view item);
    // The waiting text as a reading of its own (the line was quiet, or the service stops).
    std::optional<AssembledReading> TakeRest();
    size_t WaitingChars() const { return m_strRest.size(); }
    void Clear();

private:
    std::u16string m_strRest;
    bool m_bAfterCr = false;  // the last item ended with the CR that ended its last reading
};

}  // namespace dorvane
