// The journal of readings: what Dorvane did with each of the last readings of this run, for the
// Readings window and the log file. Each reading is added when it is complete and its outcome
// follows it (a waiting reading is typed, discarded or dropped later). Any thread adds and
// updates; the window thread reads copies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace dorvane {

// What happened to a reading; OutcomeWord gives the word the window and the log show.
enum class Outcome {
    kTyped,      // its keys went into the user's window
    kRecorded,   // appended to the recording file
    kWaiting,    // held (for the chosen program, the window to type into, another copy)
    kSkipped,    // a rule found nothing in it, or matching it was too costly
    kRefused,    // a check refused it
    kLost,       // an elevated window, a window closed, a disable or the exit came first
    kDiscarded,  // the user discarded the waiting readings
    kDropped,    // too many readings waited: the bound dropped it
};

const char16_t* OutcomeWord(Outcome outcome);
// Final: nothing changes it afterwards (every outcome but waiting).
inline bool IsFinal(Outcome outcome) {
    return outcome != Outcome::kWaiting;
}

// The local time a reading was complete, to the millisecond.
struct LocalTime {
    uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    bool operator==(const LocalTime&) const = default;
};

struct JournalEntry {
    uint64_t id = 0;  // counts from 1 in a run; never reused
    LocalTime completed;
    std::string raw;        // the bytes as received, line end included
    std::u16string port;    // the port it came from ("COM5")
    std::u16string typed;   // the text after the rules, named keys in braces; empty when none
    std::u16string program;  // the executable it went to (or was meant for)
    std::u16string title;    // that window's title
    Outcome outcome = Outcome::kWaiting;
    std::u16string reason;   // what a waiting, skipped, refused or lost reading waited for or met
};

class CReadingJournal {
public:
    // Readings kept. The oldest reading with a final outcome leaves for a new one; a waiting
    // reading never leaves before its outcome is known (the log file still needs it), so while
    // more wait the journal holds them too: at most the waiting bound's count more.
    static constexpr size_t kCapacity = 500;

    // Told after every change, on the thread that made it (the window posts itself a refresh),
    // and for each reading whose outcome became final (the log file writes it).
    using ChangeFn = std::function<void()>;
    using FinalFn = std::function<void(const JournalEntry&)>;
    void SetObservers(ChangeFn changed, FinalFn final);

    // Adds a complete reading (its id is set here) and returns its id.
    uint64_t Add(JournalEntry entry);
    // The reading's outcome (with what was typed or recorded of it); a reading that left the
    // journal, or whose outcome is final already, is not changed (false). A waiting reading may
    // be settled as waiting again with another reason.
    bool Settle(uint64_t id, Outcome outcome, std::u16string reason = {}, std::u16string typed = {});
    // Where it went, or was meant to go.
    bool SetTarget(uint64_t id, std::u16string program, std::u16string title);
    // Newest first.
    std::vector<JournalEntry> Entries() const;
    std::size_t Size() const;

private:
    JournalEntry* Find(uint64_t id);
    void Notify(const JournalEntry* final);

    mutable std::mutex m_mutex;
    std::deque<JournalEntry> m_entries;  // oldest first
    uint64_t m_nextId = 1;
    ChangeFn m_changed;
    FinalFn m_final;
};

}  // namespace dorvane
