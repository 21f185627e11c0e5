#include "serial/porttry.h"

#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

bool CPortTryRunner::Start(HWND window, UINT message, const std::u16string& name) {
    try {
        std::thread([shared = m_shared, probe = m_probe, window, message, name] {
            const bool opens = probe(name);
            {
                std::lock_guard lock(shared->mutex);
                shared->answers.push_back(Answer{name, opens});
            }
            shared->answered.notify_all();
            PostMessageW(window, message, 0, 0);
        }).detach();
    } catch (const std::system_error&) {
        return false;  // no thread: the next periodic try asks again
    }
    return true;
}

std::vector<CPortTryRunner::Answer> CPortTryRunner::TakeAnswers() {
    std::lock_guard lock(m_shared->mutex);
    return std::exchange(m_shared->answers, {});
}

bool CPortTryRunner::WaitForAnswer(DWORD milliseconds) {
    std::unique_lock lock(m_shared->mutex);
    return m_shared->answered.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                       [this] { return !m_shared->answers.empty(); });
}
