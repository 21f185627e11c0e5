#include "pipeline/core/pipelineports.h"

#include <chrono>
#include <system_error>

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

void CAutoResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_bSignalled = true;
    }
    m_signal.notify_one();
}

bool CAutoResetEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock lock(m_mutex);
    const bool signalled =
        m_signal.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_bSignalled; });
    m_bSignalled = false;
    return signalled;
}

std::unique_ptr<IAutoResetEvent> IPipelinePlatform::CreateAutoResetEvent() {
    return std::make_unique<CAutoResetEvent>();
}

std::unique_ptr<IWorkerThread> IPipelinePlatform::StartThread(std::function<void()> body) {
    try {
        return std::make_unique<CStdWorkerThread>(std::move(body));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

}  // namespace dorvane
