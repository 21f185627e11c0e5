// What may wait to be typed or recorded, at most: kMaxWaitingReadings readings or
// kMaxWaitingBytes of text, so that hours of polling while nothing can be typed never pile up.
// Beyond the bound whole readings are dropped, never a piece out of the middle of one: the rest
// of a reading whose start waits is still taken (within a reading's length), and a reading that
// starts while the bound is reached is dropped up to its line end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dorvane {

inline constexpr size_t kMaxWaitingReadings = 1000;
inline constexpr size_t kMaxWaitingBytes = 1024 * 1024;  // of UTF-16 text

class CWaitingBound {
public:
    enum class Verdict {
        kQueueNew,   // queue it: a reading starts in it
        kQueueRest,  // queue it: the rest or the line end of the reading before
        kDropNew,    // drop it: a new reading, one more dropped
        kDropRest,   // drop it: the rest or the line end of a reading that was dropped
    };

    // A piece of text up to and including its line end, or up to the end of what was flushed
    // (`endsReading` false: the reading goes on in the next piece). A piece of line-end
    // characters alone is the end of the reading before it (the LF after a CR, say).
    Verdict Admit(std::u16string_view piece, bool endsReading);
    // Text left the queue: `units` code units holding `readings` readings that started in it.
    void Taken(size_t units, uint32_t readings);
    // Everything waiting was dropped: what still comes of its last reading goes with it.
    void Discarded();
    // Nothing waits, no reading is under way (a new enable).
    void Clear();

    uint32_t Readings() const { return m_nReadings; }

private:
    size_t m_nBytes = 0;
    uint32_t m_nReadings = 0;
    bool m_bInReading = false;    // the last piece did not end its reading
    bool m_bLastDropped = false;  // the last reading that started was dropped
};

}  // namespace dorvane
