#include "pipeline/core/readingjournal.h"

#include <algorithm>
#include <utility>

namespace dorvane {

const char16_t* OutcomeWord(Outcome outcome) {
    switch (outcome) {
        case Outcome::kTyped:
            return u"typed";
        case Outcome::kRecorded:
            return u"recorded";
        case Outcome::kWaiting:
            return u"waiting";
        case Outcome::kSkipped:
            return u"skipped";
        case Outcome::kRefused:
            return u"refused";
        case Outcome::kLost:
            return u"lost";
        case Outcome::kDiscarded:
            return u"discarded";
        case Outcome::kDropped:
            return u"dropped";
    }
    return u"lost";  // not reached: every outcome is named above
}

void CReadingJournal::SetObservers(ChangeFn changed, FinalFn final) {
    std::lock_guard lock(m_mutex);
    m_changed = std::move(changed);
    m_final = std::move(final);
}

uint64_t CReadingJournal::Add(JournalEntry entry) {
    JournalEntry copy;
    {
        std::lock_guard lock(m_mutex);
        entry.id = m_nextId++;
        if (m_entries.size() >= kCapacity) {
            const auto oldestFinal = std::find_if(m_entries.begin(), m_entries.end(),
                                                  [](const JournalEntry& kept) { return IsFinal(kept.outcome); });
            if (oldestFinal != m_entries.end()) {
                m_entries.erase(oldestFinal);
            }
        }
        m_entries.push_back(std::move(entry));
        copy = m_entries.back();
    }
    Notify(IsFinal(copy.outcome) ? &copy : nullptr);
    return copy.id;
}

JournalEntry* CReadingJournal::Find(uint64_t id) {
    // Ids grow with the position: a binary search over the deque.
    const auto found = std::lower_bound(m_entries.begin(), m_entries.end(), id,
                                        [](const JournalEntry& entry, uint64_t wanted) { return entry.id < wanted; });
    return found != m_entries.end() && found->id == id ? &*found : nullptr;
}

bool CReadingJournal::Settle(uint64_t id, Outcome outcome, std::u16string reason, std::u16string typed) {
    JournalEntry copy;
    {
        std::lock_guard lock(m_mutex);
        JournalEntry* entry = Find(id);
        if (entry == nullptr || IsFinal(entry->outcome)) {
            return false;
        }
        entry->outcome = outcome;
        entry->reason = std::move(reason);
        entry->typed = std::move(typed);
        copy = *entry;
    }
    Notify(IsFinal(copy.outcome) ? &copy : nullptr);
    return true;
}

bool CReadingJournal::SetTarget(uint64_t id, std::u16string program, std::u16string title) {
    {
        std::lock_guard lock(m_mutex);
        JournalEntry* entry = Find(id);
        if (entry == nullptr || IsFinal(entry->outcome)) {
            return false;
        }
        entry->program = std::move(program);
        entry->title = std::move(title);
    }
    Notify(nullptr);
    return true;
}

std::vector<JournalEntry> CReadingJournal::Entries() const {
    std::lock_guard lock(m_mutex);
    return std::vector<JournalEntry>(m_entries.rbegin(), m_entries.rend());
}

std::size_t CReadingJournal::Size() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}

void CReadingJournal::Notify(const JournalEntry* final) {
    ChangeFn changed;
    FinalFn finalFn;
    {
        std::lock_guard lock(m_mutex);
        changed = m_changed;
        finalFn = m_final;
    }
    // Outside the lock: an observer may read the journal.
    if (final != nullptr && finalFn) {
        finalFn(*final);
    }
    if (changed) {
        changed();
    }
}

}  // namespace dorvane
