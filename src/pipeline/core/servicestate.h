// The service state shared by the user-interface thread, the send-key worker and the tray.
// One service runs per process, so these are process-wide. Flags are atomic words: a stale
// value only delays an icon change or a flush to the next tick. The pipeline's own state (the
// receive buffer, its flush rules, the send queue) is kept by CReadingPipeline.
#pragma once

#include <atomic>

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

// Back to the state at process start (for tests that run several services one after another).
void ResetServiceState();

}  // namespace dorvane
