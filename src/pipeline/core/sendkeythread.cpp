// The send-key worker: takes flushed items from the queue and types or records them.
#include "pipeline/core/processhooks.h"

#include "resource.h"

namespace dorvane {

namespace {

// The worker looks at the queue at least this often without a wake-up.
constexpr uint32_t kWaitMs = 1000;
// After finding the queue empty it looks once more after this pause before it waits.
constexpr uint32_t kPauseMs = 300;
// While one of the program's own windows is in front, the worker looks this often whether the
// user's window is back.
constexpr uint32_t kHoldPollMs = 50;

}  // namespace

void CSendService::SendKeyThread() {
    m_host.Trace(u"thread send-key is running");
    while (!StopRequested()) {
        m_hSendEvent->Wait(kWaitMs);  // a time-out counts like a wake-up
        bool idle = false;
        while (!StopRequested()) {
            std::u16string text;
            bool taken = false;
            {
                std::lock_guard lock(g_csSendQueue);
                if (!m_arrSendQueue.empty()) {
                    text = std::move(m_arrSendQueue.front());
                    m_arrSendQueue.pop_front();
                    taken = true;
                }
            }
            if (!taken) {
                g_bSending = false;
                m_keys.ReleaseModifierKeys();
                UpdateStatusIcon(0);
                if (idle) {
                    break;
                }
                idle = true;
                m_platform.WorkerPause(m_stopSignal, kPauseMs);
                continue;
            }
            m_dwFlushTick = m_platform.TickCount();
            if (!g_bRecordData && !HoldWhileOwnWindowInFront(false)) {
                break;  // stopped while holding: the item is abandoned like one being typed
            }
            g_bSending = true;
            UpdateStatusIcon(IDI_SENDING);
            HandOn(text);
            ++m_nHandledItems;
        }
    }
    m_bWorkerDone = true;
}

bool CSendService::HoldWhileOwnWindowInFront(bool sending) {
    if (!m_platform.OwnWindowInFront()) {
        return true;
    }
    m_bHeld = true;
    // Keys typed now would land in our own question, box or dialog (a CR presses its default
    // button). Nothing is dropped: the item waits, with no key held down for the user's window.
    m_host.Trace(u"send-key held: a window of this program is in front");
    m_keys.ReleaseModifierKeys();
    g_bSending = false;
    UpdateStatusIcon(0);
    while (!StopRequested() && m_platform.OwnWindowInFront()) {
        m_stopSignal.Wait(kHoldPollMs);
    }
    if (StopRequested()) {
        return false;
    }
    m_host.Trace(u"send-key goes on");
    if (sending) {
        g_bSending = true;
        UpdateStatusIcon(IDI_SENDING);
    }
    return true;
}

void CSendService::TypeItem(const std::u16string& text) {
    // The target is taken once per item, and again after a hold (the user may be elsewhere).
    bool deadKeyTraced = false;
    bool lossTraced = false;
    m_bHeld = true;
    for (char16_t ch : text) {
        if (StopRequested() || !HoldWhileOwnWindowInFront(true)) {
            return;
        }
        if (m_bHeld) {
            m_bHeld = false;
            const TypingTarget target = m_platform.CurrentTypingTarget();
            if (target.elevated) {
                ReportElevatedTarget(target.window);
                return;  // nothing typed, nothing counted
            }
            m_keys.BeginItem(target);
        }
        switch (m_keys.SendKey(ch)) {
            case KeyResult::kTypedDeadKey:
                if (!deadKeyTraced) {
                    deadKeyTraced = true;
                    m_host.Trace(u"send-key: a dead key in this layout, typed with a Space after it: " +
                                 std::u16string(1, ch));
                }
                break;
            case KeyResult::kNotInjected:
                if (!lossTraced) {
                    lossTraced = true;
                    m_host.Trace(u"send-key: the system took fewer key events than given, not counted");
                }
                break;
            case KeyResult::kTyped:
            case KeyResult::kNoKey:
                break;
        }
    }
}

void CSendService::ReportElevatedTarget(uintptr_t window) {
    if (window == m_lastElevatedWindow) {
        return;
    }
    m_lastElevatedWindow = window;
    m_host.Trace(u"send-key: the window in front belongs to a program running as administrator, "
                 u"nothing typed");
    m_host.ShowNotice(u"DORVANE cannot type here",
                      u"The window in front belongs to a program running as administrator, and Windows "
                      u"keeps other programs' keystrokes out of it. Start Dorvane as administrator too "
                      u"to type into it.");
}

void CSendService::HandOn(const std::u16string& text) {
    if (!g_bRecordData) {
        TypeItem(text);
        return;
    }
    if (g_bRecordDisabled) {
        return;  // the file could not be opened: recorded items are dropped
    }
    if (!m_pRecordWriter) {
        m_pRecordWriter = m_platform.OpenRecordFile(m_strRecordFile);
        if (!m_pRecordWriter) {
            m_host.ReportError(u"Open recording file failed!\nRecord data has been disabled!", true);
            g_bRecordDisabled = true;
        }
    }
    // A failed write is traced every time and shown once per enable; the item counts as handled.
    if (m_pRecordWriter && !m_pRecordWriter->Write(text)) {
        m_host.ReportError(u"Write recording file failed!", !m_bWriteFailureShown);
        m_bWriteFailureShown = true;
    }
}

}  // namespace dorvane
