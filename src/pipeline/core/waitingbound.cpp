#include "pipeline/core/waitingbound.h"

#include "pipeline/core/readingassembler.h"

namespace dorvane {

namespace {

// The rest of a waiting reading is taken beyond the bound by at most one reading's length; a
// device that never ends its line is cut there.
constexpr size_t kRestSlackBytes = kMaxReadingChars * sizeof(char16_t);

}  // namespace

CWaitingBound::Verdict CWaitingBound::Admit(std::u16string_view piece, bool endsReading) {
    const bool lineEndOnly = piece.find_first_not_of(u"\r\n") == std::u16string_view::npos;
    const bool rest = m_bInReading || lineEndOnly;
    m_bInReading = !endsReading;
    const size_t bytes = piece.size() * sizeof(char16_t);
    if (rest) {
        if (m_bLastDropped) {
            return Verdict::kDropRest;
        }
        if (m_nBytes + bytes <= kMaxWaitingBytes + kRestSlackBytes) {
            m_nBytes += bytes;
            return Verdict::kQueueRest;
        }
    }
    // One reading always fits, however long: the bound is for what waits behind it.
    m_bLastDropped =
        m_nBytes != 0 && (m_nReadings >= kMaxWaitingReadings || m_nBytes + bytes > kMaxWaitingBytes);
    if (m_bLastDropped) {
        return Verdict::kDropNew;
    }
    m_nBytes += bytes;
    ++m_nReadings;
    return Verdict::kQueueNew;
}

void CWaitingBound::Taken(size_t units, uint32_t readings) {
    m_nBytes -= units * sizeof(char16_t);
    m_nReadings -= readings;
}

void CWaitingBound::Discarded() {
    m_nBytes = 0;
    m_nReadings = 0;
    m_bLastDropped = true;
}

void CWaitingBound::Clear() {
    *this = CWaitingBound();
}

}  // namespace dorvane
