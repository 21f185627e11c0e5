#include "pipeline/core/servicestate.h"

namespace dorvane {

std::atomic<bool> g_bServiceEnabled{false};
std::atomic<bool> g_bReceiving{false};
std::atomic<bool> g_bSending{false};
std::atomic<bool> g_bRecordData{false};
std::atomic<bool> g_bStopSendKey{false};

void ResetServiceState() {
    g_bServiceEnabled = g_bReceiving = g_bSending = g_bRecordData = g_bStopSendKey = false;
}

}  // namespace dorvane
