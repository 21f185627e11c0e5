// Faults that keep the service from doing all it should while it runs: a stored setting that
// cannot work, a device that does not take what is written, a hotkey or a lock another program
// holds. Windows may never show a balloon (focus assist, notifications turned off, balloons
// shown as toasts), so each fault is told in the tray's tooltip for as long as it lasts, and
// its notice is shown once a run: a reconnection that meets the same fault says nothing new.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace dorvane {

// In the order the tooltip tells them when several are present: what stops typing first.
enum class Fault : uint8_t { kReadingRules, kTypingLock, kDeviceSettings, kDeviceWrite, kHotkey, kLogFile };
inline constexpr size_t kFaultCount = 6;

struct FaultReport {
    Fault fault;
    std::u16string tip;    // what the tooltip says while it lasts, a few words
    std::u16string title;  // the notice's
    std::u16string text;
};

// A setting's error as the tooltip words it: its refusal without the trailing "!".
std::u16string FaultTip(std::u16string_view error);

// Safe to use from every thread: the worker, the writer and the user-interface thread report.
class CFaultBoard {
public:
    enum class Raised {
        kAnnounce,   // this fault with this tip is new to the run: its notice is shown
        kChanged,    // told before, back now or with another tip: the tooltip changes
        kUnchanged,  // already present as it is (a device failing every poll)
    };
    Raised Raise(Fault fault, const std::u16string& tip);
    // False when it was not present.
    bool Clear(Fault fault);
    bool Has(Fault fault) const;
    // The tip of the first fault present in the enumeration's order; empty when none is.
    std::u16string Tip() const;

private:
    // Each setting that fails its own way adds one; a run that meets more than this many starts
    // announcing afresh rather than growing without end.
    static constexpr size_t kAnnouncedLimit = 64;

    mutable std::mutex m_mutex;
    std::array<std::optional<std::u16string>, kFaultCount> m_present;
    std::set<std::pair<Fault, std::u16string>> m_announced;
};

}  // namespace dorvane
