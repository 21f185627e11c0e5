#include "pipeline/core/processhooks.h"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <new>

#include "pipeline/core/pipelinesettings.h"
#include "resource.h"

namespace dorvane {

namespace {

// After a burst the receiving state lasts this long.
constexpr int kReceivingMs = 300;
// While bytes keep coming, the worker looks at the window in front ahead at most this often.
constexpr uint32_t kLookAheadRenewMs = 250;

std::u16string Utf16Number(long long value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

CSendService::CSendService(IPipelineHost& host, IPipelinePlatform& platform, CKeySynthesizer& keys,
                           CAppProfile& profile)
    : m_host(host), m_platform(platform), m_keys(keys), m_profile(profile) {}

CSendService::~CSendService() {
    if (m_hSendKeyThread) {
        RemoveService();
    }
}

bool CSendService::MoreThanSince(uint32_t since, int limitMs) {
    const uint32_t elapsed = m_platform.TickCount() - since;
    return static_cast<int64_t>(elapsed) > limitMs;
}

bool CSendService::SetService() {
    m_host.Trace(u"set service");
    const PipelineSettings settings = LoadPipelineSettings(m_profile);
    g_bSendOnCrLf = settings.sendOnCrLf;
    g_bSendOnChars = settings.sendOnChars;
    g_nFlushTimeout = settings.flushTimeoutMs;
    g_bRecordData = settings.recordData;
    m_strRecordFile = settings.recordFile;
    m_targets = CTargetPrograms(settings.targetProgram);
    m_strWaitingFor = m_targets.Describe();
    // A stored rule that cannot work is told once per enable; readings are then not typed at
    // all, never typed unshaped when the user asked for a shape.
    std::optional<std::u16string> refusal = m_rules.Set(settings.rules);
    if (!refusal && settings.typeDelayMs > kMaxTypeDelayMs) {
        refusal = kTypeDelayRefusal;
    }
    m_nTypeDelayMs = settings.typeDelayMs;
    m_keys.SetUnicodeFallback(settings.typeUnicode);
    m_bRulesRefused = refusal.has_value();
    if (refusal) {
        m_host.Trace(u"reading rules refused: " + *refusal);
        m_host.ShowNotice(u"DORVANE", *refusal + u" Readings are not typed until the setting is mended.");
    }
    g_bAutoDisable = settings.autoDisable;
    m_nAutoDisableTime = settings.autoDisableMs;
    m_bAutoDisablePosted = false;
    m_bWriteFailureShown = false;
    m_lastElevatedWindow = 0;
    m_frontAhead.reset();
    m_targetAhead.reset();
    m_bLookAhead = false;
    m_dwLookAheadAsked = m_platform.TickCount() - kLookAheadRenewMs;  // the first read asks

    if (!m_hBuffer) {
        // A size the store cannot mean (negative, or beyond what an int counts) fails like an
        // allocation that the system refuses, instead of wrapping into a wrong size.
        if (settings.bufferSize >= 0 && settings.bufferSize <= INT32_MAX - 4) {
            g_nBufferSize = static_cast<int>(settings.bufferSize);
            m_hBuffer.reset(new (std::nothrow) char[static_cast<size_t>(g_nBufferSize) + 4]());
        }
        g_pBuffer = m_hBuffer.get();
        g_nBufferCount = 0;
    }
    g_nFlushChars = DeriveFlushChars(g_bSendOnChars, settings.flushChars, g_nBufferSize);
    if (!m_hBuffer || g_pBuffer == nullptr) {
        m_host.ReportError(u"Allocate memory failed!", true);
        RemoveService();
        return false;
    }
    m_hSendEvent = m_platform.CreateAutoResetEvent();
    if (!m_hSendEvent) {
        m_host.ReportError(u"Create event failed!", true);
        RemoveService();
        return false;
    }
    // The stop request of the previous worker must not end the new one, nor cut its first pause.
    m_bStopWorker = false;
    m_stopSignal.Reset();
    m_bWorkerDone = false;
    m_hSendKeyThread = m_platform.StartThread([this] { SendKeyThread(); });
    if (!m_hSendKeyThread) {
        m_bWorkerDone = true;
        m_host.ReportError(u"Create thread failed!", true);
        RemoveService();
        return false;
    }
    m_host.Trace(u"set service, done");
    return true;
}

void CSendService::StopWorker() {
    if (!m_hSendKeyThread) {
        return;
    }
    m_bStopWorker = true;
    m_hSendEvent->Set();
    m_stopSignal.Set();
    // The worker may be showing an error box: end it rather than wait for the user.
    while (!m_bWorkerDone) {
        m_host.DismissReports();
        m_stopSignal.Set();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_hSendKeyThread->Join();
    m_hSendKeyThread.reset();
}

void CSendService::RemoveService() {
    m_host.Trace(u"remove service");
    StopWorker();
    m_pRecordWriter.reset();  // closes the recording file
    {
        std::lock_guard lock(g_csBuffer);
        m_hBuffer.reset();
        g_pBuffer = nullptr;
        g_nBufferCount = 0;
    }
    {
        std::lock_guard lock(g_csSendQueue);
        m_arrSendQueue.clear();
    }
    m_hSendEvent.reset();
    m_host.Trace(u"remove service, done");
}

void CSendService::OnCommRead(size_t length, const char* bytes) {
    if (!g_bServiceEnabled) {
        return;
    }
    UpdateStatusIcon(IDI_RECEIVING);
    g_bReceiving = true;
    m_nComRead.fetch_add(static_cast<uint32_t>(length), std::memory_order_relaxed);
    const uint32_t now = m_platform.TickCount();
    m_dwReceiveTick = now;
    m_dwFlushTick = now;
    m_dwIdleTick = now;
    m_host.Trace(u"comm read: " + Utf16Number(static_cast<long long>(length)));

    bool overflow = false;
    {
        std::lock_guard lock(g_csBuffer);
        const int count = g_nBufferCount;
        if (g_pBuffer != nullptr &&
            static_cast<int64_t>(count) + static_cast<int64_t>(length) + 1 < g_nBufferSize) {
            std::memcpy(g_pBuffer + count, bytes, length);
            g_pBuffer[count + static_cast<int>(length)] = '\0';
            g_nBufferCount = count + static_cast<int>(length);
        } else {
            overflow = true;
        }
    }
    if (g_nBufferCount > 0) {
        CheckFlush();
    }
    if (overflow) {
        m_host.ReportError(u"comm buffer overflow!", false);
    }
}

void CSendService::OnBytesArriving() {
    if (!g_bServiceEnabled || g_bRecordData) {
        return;
    }
    m_platform.ReadingArrives();
    // The reader tells of every read: a steady stream asks for a look a few times a second.
    const uint32_t now = m_platform.TickCount();
    if (now - m_dwLookAheadAsked < kLookAheadRenewMs) {
        return;
    }
    m_dwLookAheadAsked = now;
    if (!m_bLookAhead.exchange(true)) {
        m_hSendEvent->Set();
    }
}

void CSendService::OnClearBuffer() {
    std::lock_guard lock(g_csBuffer);
    g_nBufferCount = 0;
}

void CSendService::CheckFlush() {
    if (g_nBufferCount <= 0) {
        return;
    }
    if (g_bSendOnCrLf) {
        // The text ends at its first NUL: a line end after it does not count.
        const char* text = g_pBuffer;
        if (std::strpbrk(text, "\r\n") != nullptr) {
            FlushBuffer();
        }
    }
    if (g_nBufferCount > 0 && g_nBufferCount >= g_nFlushChars) {
        FlushBuffer();
    }
    if (g_nBufferCount > 0 && MoreThanSince(m_dwFlushTick, g_nFlushTimeout)) {
        FlushBuffer();
    }
}

void CSendService::FlushBuffer() {
    if (g_nBufferCount == 0) {
        return;
    }
    {
        std::lock_guard bufferLock(g_csBuffer);
        std::lock_guard queueLock(g_csSendQueue);
        m_arrSendQueue.push_back(m_platform.AnsiToUtf16(g_pBuffer));
        std::u16string reading = LastReadingOf(m_arrSendQueue.back());
        if (!reading.empty()) {
            m_strLastReading = std::move(reading);
        }
        g_nBufferCount = 0;
        g_pBuffer[0] = '\0';
    }
    // Woken once the queue is free again: woken under the lock, it would only wait for it.
    m_hSendEvent->Set();
}

std::u16string CSendService::LastReading() {
    std::lock_guard lock(g_csSendQueue);
    return m_strLastReading;
}

void CSendService::OnTimer() {
    if (!g_bServiceEnabled) {
        return;
    }
    if (g_nBufferCount > 0) {
        CheckFlush();
    }
    if (g_bReceiving && MoreThanSince(m_dwReceiveTick, kReceivingMs)) {
        g_bReceiving = false;
    }
    if (g_bAutoDisable) {
        if (g_nBufferCount > 0) {
            m_dwIdleTick = m_platform.TickCount();
        } else if (MoreThanSince(m_dwIdleTick, m_nAutoDisableTime) && !m_bAutoDisablePosted) {
            m_bAutoDisablePosted = true;
            m_host.PostServiceOff();
        }
    }
    UpdateStatusIcon(0);
}

void CSendService::UpdateStatusIcon(int iconId) {
    if (iconId == 0) {
        if (!g_bServiceEnabled) {
            iconId = IDI_DISABLED;
        } else if (g_bSending && g_bReceiving) {
            iconId = IDI_SENDING_RECEIVING;
        } else if (g_bSending) {
            iconId = IDI_SENDING;
        } else if (g_bReceiving) {
            iconId = IDI_RECEIVING;
        } else if (g_nBufferCount > 0) {
            iconId = IDI_WAITING;
        } else {
            iconId = IDR_MAINFRAME;
        }
    } else if (iconId == IDI_RECEIVING && g_bSending) {
        iconId = IDI_SENDING_RECEIVING;
    }
    std::lock_guard lock(m_csStatusIcon);
    if (iconId != m_nStatusIcon && m_host.ShowTrayIcon(iconId)) {
        m_nStatusIcon = iconId;
    }
}

void CSendService::ForgetStatusIcon() {
    std::lock_guard lock(m_csStatusIcon);
    m_nStatusIcon = 0;
}

size_t CSendService::QueuedItems() {
    std::lock_guard lock(g_csSendQueue);
    return m_arrSendQueue.size();
}

}  // namespace dorvane
