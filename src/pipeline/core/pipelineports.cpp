#include "pipeline/core/pipelineports.h"

#include <chrono>

namespace dorvane {

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

void CAutoResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSignalled = false;
}

std::unique_ptr<IAutoResetEvent> IPipelinePlatform::CreateAutoResetEvent() {
    return std::make_unique<CAutoResetEvent>();
}

std::unique_ptr<IWorkerThread> IPipelinePlatform::StartThread(std::function<void()> body) {
    return StartWorkerThread(std::move(body));
}

}  // namespace dorvane
