#include "core/workerthread.h"

#include <system_error>
#include <thread>

namespace dorvane {

namespace {

class CStdWorkerThread : public IWorkerThread {
public:
    explicit CStdWorkerThread(std::function<void()> body) : m_thread(std::move(body)) {}
    ~CStdWorkerThread() override { Join(); }
    void Join() override {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<IWorkerThread> StartWorkerThread(std::function<void()> body) {
    try {
        return std::make_unique<CStdWorkerThread>(std::move(body));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace dorvane
