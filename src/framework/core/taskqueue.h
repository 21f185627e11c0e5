// The one way back to the window thread: any thread posts a small task, the window thread runs
// them in the order they came when its wake-up message arrives. The message carries nothing
// (another program could post the same number with any parameters): a forged one only makes
// the window look at a queue that is empty or holds our own tasks.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace dorvane {

class CTaskQueue {
public:
    using Task = std::function<void()>;
    // Asks the window thread to call RunTasks (posts the wake-up message); false when the
    // request could not be handed on (a full message queue, a window that is gone).
    using WakeFn = std::function<bool()>;

    explicit CTaskQueue(WakeFn wake) : m_wake(std::move(wake)) {}

    // From any thread. One wake-up is asked for per batch: a wake-up that failed is asked for
    // again by the next post, so a task never waits for a message nobody sent.
    void Post(Task task);
    // On the window thread: runs the tasks queued so far. A task posted meanwhile (by a task
    // or another thread) runs at the next wake-up, so one busy thread cannot keep this loop.
    void RunTasks();
    // Drops what was not run (the window is going; the objects the tasks use go with it).
    void Clear();

private:
    WakeFn m_wake;
    std::mutex m_mutex;
    std::deque<Task> m_tasks;
    bool m_wakePending = false;  // a wake-up was handed on and RunTasks has not begun since
};

}  // namespace dorvane
