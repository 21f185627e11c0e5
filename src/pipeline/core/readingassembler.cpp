#include "pipeline/core/readingassembler.h"

#include <algorithm>
#include <utility>

namespace dorvane {

template <class Char>
std::vector<BasicAssembledReading<Char>> CBasicReadingAssembler<Char>::Add(std::basic_string_view<Char> item) {
    static constexpr Char kLineEnds[] = {Char('\r'), Char('\n'), Char(0)};
    std::vector<Reading> done;
    if (item.empty()) {
        return done;
    }
    const auto complete = [&](bool cut) {
        done.push_back(Reading{std::exchange(m_strRest, {}), false, cut});
    };
    if (m_bAfterCr && item.front() == Char('\n')) {
        done.push_back(Reading{std::basic_string<Char>(1, Char('\n')), true, false});
        item.remove_prefix(1);
    }
    m_bAfterCr = false;
    while (!item.empty()) {
        const size_t room = kMaxReadingChars - m_strRest.size();
        const size_t end = item.substr(0, room).find_first_of(kLineEnds);
        if (end == std::basic_string_view<Char>::npos) {
            const size_t taken = std::min(room, item.size());
            m_strRest.append(item.substr(0, taken));
            item.remove_prefix(taken);
            if (m_strRest.size() == kMaxReadingChars) {
                complete(true);
            }
            continue;
        }
        size_t lineEnd = end + 1;
        if (item[end] == Char('\r') && lineEnd < item.size() && item[lineEnd] == Char('\n')) {
            ++lineEnd;  // CR LF: the LF may go one beyond the cut, it belongs to the line end
        }
        m_strRest.append(item.substr(0, lineEnd));
        m_bAfterCr = lineEnd == item.size() && item[end] == Char('\r') && lineEnd == end + 1;
        item.remove_prefix(lineEnd);
        complete(false);
    }
    return done;
}

template <class Char>
std::optional<BasicAssembledReading<Char>> CBasicReadingAssembler<Char>::TakeRest() {
    if (m_strRest.empty()) {
        return std::nullopt;
    }
    m_bAfterCr = false;
    return Reading{std::exchange(m_strRest, {}), false, false};
}

template <class Char>
void CBasicReadingAssembler<Char>::Clear() {
    m_strRest.clear();
    m_bAfterCr = false;
}

template class CBasicReadingAssembler<char>;
template class CBasicReadingAssembler<char16_t>;

}  // namespace dorvane
