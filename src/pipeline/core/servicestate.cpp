#include "pipeline/core/servicestate.h"

namespace dorvane {

std::atomic<bool> g_bServiceEnabled{false};
std::atomic<bool> g_bReceiving{false};
std::atomic<bool> g_bSending{false};
std::atomic<bool> g_bRecordData{false};
std::atomic<bool> g_bStopSendKey{false};
std::atomic<bool> g_bRecordDisabled{false};

bool g_bSendOnCrLf = false;
bool g_bSendOnChars = false;
int g_nFlushChars = 0;
int g_nFlushTimeout = 0;
bool g_bAutoDisable = false;

int g_nBufferSize = 0;
std::atomic<int> g_nBufferCount{0};
char* g_pBuffer = nullptr;

std::mutex g_csBuffer;
std::mutex g_csSendQueue;

void ResetServiceState() {
    g_bServiceEnabled = g_bReceiving = g_bSending = g_bRecordData = g_bStopSendKey = g_bRecordDisabled =
        false;
    g_bSendOnCrLf = g_bSendOnChars = g_bAutoDisable = false;
    g_nFlushChars = g_nFlushTimeout = g_nBufferSize = 0;
    g_nBufferCount = 0;
    g_pBuffer = nullptr;
}

}  // namespace dorvane
