// Runs the reading rules on a thread of their own while an expression is set, so that a stop
// never waits for a match: the expression's limits bound each match, but ending the service
// must not rest on a third-party matcher keeping them.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pipeline/core/readingrules.h"

namespace dorvane {

class CShapingThread {
public:
    CShapingThread() = default;
    // Lets the thread go; a shape still running ends by itself and its result is dropped.
    ~CShapingThread();
    CShapingThread(const CShapingThread&) = delete;
    CShapingThread& operator=(const CShapingThread&) = delete;

    // The readings of `text` as `rules` shape them, with the date and time given (they are taken
    // on the caller's thread). Nothing when `stopRequested` said so before the shape was done: the
    // shape is abandoned and the next call starts a thread of its own. `stopRequested` is asked
    // every `pollMs`. Without a thread (the system refused one) the shape runs on the caller.
    std::optional<std::vector<ShapedReading>> Shape(std::shared_ptr<const CReadingRules> rules,
                                                    std::u16string text, std::u16string date,
                                                    std::u16string time,
                                                    const std::function<bool()>& stopRequested,
                                                    int pollMs = 20);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;  // the running thread's; null before the first shape
};

}  // namespace dorvane
