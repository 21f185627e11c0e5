#include "settingspages/core/portcheck.h"

namespace dorvane {

namespace {

// Counts a try as running when none runs for the port yet; returns whether it must start.
bool StartUnlessRunning(std::map<std::u16string, int>& running, const std::u16string& port) {
    int& count = running[port];
    if (count > 0) {
        return false;
    }
    ++count;
    return true;
}

}  // namespace

bool CPortCheck::Select(const std::u16string& port) {
    m_selected = port;
    m_known.reset();
    m_okWaits = false;
    m_okAnswer.reset();
    return StartUnlessRunning(m_running, port);
}

std::optional<bool> CPortCheck::Known() const {
    return m_known;
}

CPortCheck::AtOk CPortCheck::PressOk(bool& startTry) {
    startTry = false;
    if (m_okAnswer) {
        const bool opens = *m_okAnswer;
        m_okAnswer.reset();
        return opens ? AtOk::kOpens : AtOk::kDoesNotOpen;
    }
    m_okWaits = true;
    startTry = StartUnlessRunning(m_running, m_selected);
    return AtOk::kWait;
}

bool CPortCheck::Take(const std::u16string& port, bool opens) {
    auto running = m_running.find(port);
    if (running != m_running.end() && --running->second <= 0) {
        m_running.erase(running);
    }
    if (port != m_selected) {
        return false;  // a port chosen before: its answer no longer matters
    }
    m_known = opens;
    if (!m_okWaits) {
        return false;
    }
    m_okWaits = false;
    m_okAnswer = opens;
    return true;
}

}  // namespace dorvane
