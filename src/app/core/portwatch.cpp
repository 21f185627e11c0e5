#include "app/core/portwatch.h"

#include <algorithm>
#include <utility>

namespace dorvane {

namespace {

bool SamePortName(const std::u16string& a, const std::u16string& b) {
    auto lower = [](char16_t ch) { return ch >= u'A' && ch <= u'Z' ? static_cast<char16_t>(ch - u'A' + u'a') : ch; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
               return lower(x) == lower(y);
           });
}

}  // namespace

bool NoticeMeansPortLost(DeviceNotice notice, const std::u16string& removedPort, const std::u16string& openPort,
                         bool openPortResponds) {
    switch (notice) {
        case DeviceNotice::kPortRemoved:
            return SamePortName(removedPort, openPort);
        case DeviceNotice::kDevicesChanged:
            return !openPortResponds;
        case DeviceNotice::kOther:
            break;
    }
    return false;
}

void CPortWatch::StartWaiting() {
    m_strPort = m_host.WatchedPortName();
    if (!m_bWaiting) {
        m_bWaiting = true;
        m_host.StartTries();
    }
    m_host.TraceWatch(u"waiting for " + m_strPort);
}

void CPortWatch::Try() {
    if (!m_bWaiting) {
        return;
    }
    if (m_bTryRunning) {
        m_bTryAgain = true;  // the answer may be for a port no longer waited for
        return;
    }
    m_strPort = m_host.WatchedPortName();
    m_bTryRunning = true;
    m_host.StartPortTry(m_strPort);
}

void CPortWatch::OnTryAnswer(const std::u16string& name, bool opens) {
    m_bTryRunning = false;
    const bool again = std::exchange(m_bTryAgain, false);
    if (!m_bWaiting) {
        return;
    }
    if (!opens || name != m_host.WatchedPortName()) {
        if (again) {
            Try();
        }
        return;
    }
    m_bWaiting = false;
    m_host.StopTries();
    m_host.TraceWatch(u"port " + m_strPort + u" is back");
    m_host.EnableServiceAgain();
}

void CPortWatch::StopWaiting() {
    if (!m_bWaiting) {
        return;
    }
    m_bWaiting = false;
    m_host.StopTries();
    m_host.TraceWatch(u"waiting for " + m_strPort + u" ended");
}

void CPortWatch::Restart() {
    if (!m_bWaiting) {
        return;
    }
    if (m_host.WatchedPortName() != m_strPort) {
        StartWaiting();
    }
    Try();
}

}  // namespace dorvane
