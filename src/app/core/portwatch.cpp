#include "app/core/portwatch.h"

namespace dorvane {

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
    m_strPort = m_host.WatchedPortName();
    if (!m_host.PortOpens(m_strPort)) {
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
