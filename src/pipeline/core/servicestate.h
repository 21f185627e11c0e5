// The service state shared by the user-interface thread, the send-key worker and the tray.
// One service runs per process, so these are process-wide. Flags and counts are atomic words:
// a stale value only delays an icon change or a flush to the next tick.
#pragma once

#include <atomic>
#include <mutex>

namespace dorvane {

// The service is running: serial side and pipeline started, timer running.
extern std::atomic<bool> g_bServiceEnabled;
// A burst arrived within the last 300 ms.
extern std::atomic<bool> g_bReceiving;
// The worker is handling queued text.
extern std::atomic<bool> g_bSending;
// Recording mode: text goes to the recording file instead of the keyboard.
extern std::atomic<bool> g_bRecordData;
// The application is quitting: the worker's loop ends.
extern std::atomic<bool> g_bStopSendKey;
// The recording file could not be opened: recording stays off until the process ends.
extern std::atomic<bool> g_bRecordDisabled;

// Flush rules, loaded at each enable.
extern bool g_bSendOnCrLf;
extern bool g_bSendOnChars;
extern int g_nFlushChars;
extern int g_nFlushTimeout;
extern bool g_bAutoDisable;

// The receive buffer: g_nBufferCount bytes followed by a NUL, in a block of g_nBufferSize + 4.
extern int g_nBufferSize;
extern std::atomic<int> g_nBufferCount;
extern char* g_pBuffer;

// Lock order: g_csBuffer before g_csSendQueue; only a flush holds both.
extern std::mutex g_csBuffer;
extern std::mutex g_csSendQueue;

// Back to the state at process start (for tests that run several services one after another).
void ResetServiceState();

}  // namespace dorvane
