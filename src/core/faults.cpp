#include "core/faults.h"

namespace dorvane {

std::u16string FaultTip(std::u16string_view error) {
    if (!error.empty() && error.back() == u'!') {
        error.remove_suffix(1);
    }
    return std::u16string(error);
}

CFaultBoard::Raised CFaultBoard::Raise(Fault fault, const std::u16string& tip) {
    std::lock_guard lock(m_mutex);
    std::optional<std::u16string>& present = m_present[static_cast<size_t>(fault)];
    if (present == tip) {
        return Raised::kUnchanged;
    }
    present = tip;
    if (m_announced.size() >= kAnnouncedLimit) {
        m_announced.clear();
    }
    return m_announced.emplace(fault, tip).second ? Raised::kAnnounce : Raised::kChanged;
}

bool CFaultBoard::Clear(Fault fault) {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_present[static_cast<size_t>(fault)], std::nullopt).has_value();
}

bool CFaultBoard::Has(Fault fault) const {
    std::lock_guard lock(m_mutex);
    return m_present[static_cast<size_t>(fault)].has_value();
}

std::u16string CFaultBoard::Tip() const {
    std::lock_guard lock(m_mutex);
    for (const std::optional<std::u16string>& tip : m_present) {
        if (tip) {
            return *tip;
        }
    }
    return {};
}

}  // namespace dorvane
