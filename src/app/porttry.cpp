#include "app/porttry.h"

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
