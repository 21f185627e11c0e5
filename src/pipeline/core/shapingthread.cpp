#include "pipeline/core/shapingthread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace dorvane {

// What the worker and the shaping thread share; the thread keeps it alive for as long as it runs.
struct CShapingThread::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    struct Job {
        std::shared_ptr<const CReadingRules> rules;
        std::u16string text, date, time;
    };
    std::optional<Job> job;
    std::optional<std::vector<ShapedReading>> result;
    bool quit = false;

    void Run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return quit || job; });
            if (quit) {
                return;
            }
            Job taken = std::move(*job);
            job.reset();
            lock.unlock();
            std::vector<ShapedReading> shaped = ShapeNow(taken);
            lock.lock();
            result = std::move(shaped);
            changed.notify_all();
        }
    }

    static std::vector<ShapedReading> ShapeNow(const Job& job) {
        return job.rules->Apply(job.text, [&job](bool time) { return time ? job.time : job.date; });
    }
};

CShapingThread::~CShapingThread() {
    if (m_shared) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->quit = true;
        m_shared->changed.notify_all();
    }
}

std::optional<std::vector<ShapedReading>> CShapingThread::Shape(std::shared_ptr<const CReadingRules> rules,
                                                                std::u16string text, std::u16string date,
                                                                std::u16string time,
                                                                const std::function<bool()>& stopRequested,
                                                                int pollMs) {
    Shared::Job job{std::move(rules), std::move(text), std::move(date), std::move(time)};
    if (!m_shared) {
        auto shared = std::make_shared<Shared>();
        try {
            std::thread([shared] { shared->Run(); }).detach();
        } catch (const std::system_error&) {
            return Shared::ShapeNow(job);  // bounded by the expression's own limits
        }
        m_shared = std::move(shared);
    }
    Shared& shared = *m_shared;
    std::unique_lock lock(shared.mutex);
    shared.result.reset();
    shared.job = std::move(job);
    shared.changed.notify_all();
    while (!shared.changed.wait_for(lock, std::chrono::milliseconds(pollMs),
                                    [&] { return shared.result.has_value(); })) {
        if (stopRequested()) {
            // The thread is still inside the shape: it ends once the shape returns.
            shared.quit = true;
            shared.changed.notify_all();
            lock.unlock();
            m_shared.reset();
            return std::nullopt;
        }
    }
    return std::exchange(shared.result, std::nullopt);
}

}  // namespace dorvane
