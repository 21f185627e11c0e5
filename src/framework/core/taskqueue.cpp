#include "framework/core/taskqueue.h"

#include <utility>

namespace dorvane {

void CTaskQueue::Post(Task task) {
    std::unique_lock lock(m_mutex);
    m_tasks.push_back(std::move(task));
    if (m_wakePending) {
        return;
    }
    m_wakePending = true;
    lock.unlock();  // the wake-up may wait on the window thread's queue; never under the lock
    if (!m_wake()) {
        std::lock_guard relock(m_mutex);
        m_wakePending = false;
    }
}

void CTaskQueue::RunTasks() {
    std::deque<Task> batch;
    {
        std::lock_guard lock(m_mutex);
        m_wakePending = false;
        batch.swap(m_tasks);
    }
    for (Task& task : batch) {
        task();
    }
}

void CTaskQueue::Clear() {
    std::lock_guard lock(m_mutex);
    m_tasks.clear();
}

}  // namespace dorvane
