// A thread the program starts and later joins, behind an interface so that a start failure can
// be simulated; the standard library's thread serves every platform.
#pragma once

#include <functional>
#include <memory>

namespace dorvane {

class IWorkerThread {
public:
    virtual ~IWorkerThread() = default;
    virtual void Join() = 0;
};

// Null when the system refuses a new thread.
std::unique_ptr<IWorkerThread> StartWorkerThread(std::function<void()> body);

}  // namespace dorvane
