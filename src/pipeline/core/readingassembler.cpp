#include "pipeline/core/readingassembler.h"

#include <utility>

namespace dorvane {

std::vector<AssembledReading> CReadingAssembler::Add(std::u16string_view item) {
    std::vector<AssembledReading> done;
    if (item.empty()) {
        return done;
    }
    const auto complete = [&](bool cut) {
        done.push_back(AssembledReading{std::exchange(m_strRest, {}), false, cut});
    };
    if (m_bAfterCr && item.front() == u'\n') {
        done.push_back(AssembledReading{u"\n", true, false});
        item.remove_prefix(1);
    }
    m_bAfterCr = false;
    while (!item.empty()) {
        const size_t room = kMaxReadingChars - m_strRest.size();
        const size_t end = item.substr(0, room).find_first_of(u"\r\n");
        if (end == std::u16string_view::npos) {
            const size_t taken = std::min(room, item.size());
            m_strRest.append(item.substr(0, taken));
            item.remove_prefix(taken);
            if (m_strRest.size() == kMaxReadingChars) {
                complete(true);
            }
            continue;
        }
        size_t lineEnd = end + 1;
        if (item[end] == u'\r' && lineEnd < item.size() && item[lineEnd] == u'\n') {
            ++lineEnd;  // CR LF: the LF may go one beyond the cut, it belongs to the line end
        }
        m_strRest.append(item.substr(0, lineEnd));
        m_bAfterCr = lineEnd == item.size() && item[end] == u'\r' && lineEnd == end + 1;
        item.remove_prefix(lineEnd);
        complete(false);
    }
    return done;
}

std::optional<AssembledReading> CReadingAssembler::TakeRest() {
    if (m_strRest.empty()) {
        return std::nullopt;
    }
    m_bAfterCr = false;
    return AssembledReading{std::exchange(m_strRest, {}), false, false};
}

void CReadingAssembler::Clear() {
    m_strRest.clear();
    m_bAfterCr = false;
}

}  // namespace dorvane
