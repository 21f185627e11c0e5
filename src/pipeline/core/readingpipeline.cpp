#include "pipeline/core/readingpipeline.h"

#include <chrono>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <thread>
#include <new>

#include "core/decimal.h"
#include "pipeline/core/pipelinesettings.h"

namespace dorvane {

namespace {

// After a burst the receiving state lasts this long.
constexpr int kReceivingMs = 300;
// While bytes keep coming, the worker looks at the window in front ahead at most this often.
constexpr uint32_t kLookAheadRenewMs = 250;

// The size of the next piece of an item: up to and including its line end (CR, LF or CR LF),
// or the rest when it has none (`endsReading` false). Text and its bytes split alike: CR and
// LF are the same in each.
template <class Char>
size_t PieceSize(std::basic_string_view<Char> text, bool& endsReading) {
    static constexpr Char kLineEnds[] = {Char('\r'), Char('\n'), Char(0)};
    size_t end = text.find_first_of(kLineEnds);
    endsReading = end != std::basic_string_view<Char>::npos;
    if (!endsReading) {
        return text.size();
    }
    if (text[end] == Char('\r') && end + 1 < text.size() && text[end + 1] == Char('\n')) {
        ++end;
    }
    return end + 1;
}

constexpr char16_t kDroppedReason[] = u"too many readings waited";

}  // namespace

CReadingPipeline::CReadingPipeline(IPipelineHost& host, IPipelinePlatform& platform, CKeySynthesizer& keys,
                                   CAppProfile& profile)
    : m_host(host), m_platform(platform), m_keys(keys), m_profile(profile) {}

CReadingPipeline::~CReadingPipeline() {
    if (m_hSendKeyThread) {
        RemoveService();
    }
}

bool CReadingPipeline::MoreThanSince(uint32_t since, int limitMs) {
    const uint32_t elapsed = m_platform.TickCount() - since;
    return static_cast<int64_t>(elapsed) > limitMs;
}

bool CReadingPipeline::SetService() {
    m_host.Trace(u"set service");
    const PipelineSettings settings = LoadPipelineSettings(m_profile);
    m_strPort = settings.port;
    m_bSendOnCrLf = settings.sendOnCrLf;
    m_nFlushTimeout = settings.flushTimeoutMs;
    g_bRecordData = settings.recordData;
    m_strRecordFile = settings.recordFile;
    m_targets = CTargetPrograms(settings.targetProgram);
    m_strWaitingFor = m_targets.Describe();
    // A stored rule that cannot work is told once per enable; readings are then not typed at
    // all, never typed unshaped when the user asked for a shape.
    auto rules = std::make_shared<CReadingRules>();
    std::optional<std::u16string> refusal =
        rules->Set(settings.rules, [this](std::u16string_view pattern) { return m_platform.CompileExpression(pattern); });
    m_pRules = std::move(rules);
    if (!refusal && settings.typeDelayMs > kMaxTypeDelayMs) {
        refusal = kTypeDelayRefusal;
    }
    if (!refusal && settings.repeatMs > kMaxRepeatMs) {
        refusal = kRepeatRefusal;
    }
    if (!refusal && settings.signalSound > 2) {
        refusal = kSignalSoundRefusal;
    }
    m_nTypeDelayMs = settings.typeDelayMs;
    m_nRepeatMs = settings.repeatMs;
    m_nSignalSound = settings.signalSound;
    m_lastTyped.reset();
    m_nRefused = 0;
    m_keys.SetUnicodeFallback(settings.typeUnicode);
    m_bRulesRefused = refusal.has_value();
    // Whatever works per reading needs whole readings; with none of it an item is typed the
    // moment it is flushed, so a long reading appears piece by piece as it arrives.
    m_bAssemble = m_bRulesRefused || !m_pRules->AllOff() || settings.acknowledge || m_targets.Any() ||
                  m_nRepeatMs != 0;
    m_assembler.Clear();
    m_nDroppedReadings = 0;
    m_bNulTraced = false;
    m_lastFate = Fate::kLost;
    m_lastWindow.reset();
    m_bHeld = false;
    m_bWaitingForCopy = false;
    m_bLockRefusalTraced = false;
    m_host.ClearFault(Fault::kTypingLock);
    if (refusal) {
        m_host.Trace(u"reading rules refused: " + *refusal);
        m_host.RaiseFault(FaultReport{Fault::kReadingRules, u"not typing: " + FaultTip(*refusal), u"DORVANE",
                                      *refusal + u" Readings are not typed until the setting is mended."});
    } else {
        m_host.ClearFault(Fault::kReadingRules);
    }
    m_bAutoDisable = settings.autoDisable;
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
            m_nBufferSize = static_cast<int>(settings.bufferSize);
            m_hBuffer.reset(new (std::nothrow) char[static_cast<size_t>(m_nBufferSize) + 4]());
        }
        m_nBufferCount = 0;
    }
    m_nFlushChars = DeriveFlushChars(settings.sendOnChars, settings.flushChars, m_nBufferSize);
    if (!m_hBuffer) {
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

void CReadingPipeline::StopWorker() {
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

void CReadingPipeline::RemoveService() {
    m_host.Trace(u"remove service");
    StopWorker();
    CountLostAtStop();
    m_pRecordWriter.reset();  // closes the recording file
    {
        std::lock_guard lock(m_csBuffer);
        m_hBuffer.reset();
        m_nBufferCount = 0;
    }
    {
        std::lock_guard lock(m_csSendQueue);
        m_arrSendQueue.clear();
        m_bound.Clear();
    }
    m_assembler.Clear();
    m_hSendEvent.reset();
    m_host.Trace(u"remove service, done");
}

void CReadingPipeline::CountLostAtStop() {
    size_t lost = 0;
    {
        std::lock_guard lock(m_csSendQueue);
        for (const QueuedText& queued : m_arrSendQueue) {
            lost += CountReadings(queued.text);
            if (m_journal.Settle(queued.journalId, Outcome::kLost, kStoppedReason)) {
                Signal(Outcome::kLost);
            }
        }
    }
    // The start of a reading that had not ended yet: it is journaled with what came of it.
    std::string started = m_assembler.Waiting();
    if (m_hBuffer && m_nBufferCount > 0) {
        started.append(m_hBuffer.get(), static_cast<size_t>(m_nBufferCount.load()));
    }
    if (!started.empty()) {
        ++lost;
        AddToJournal(started, m_platform.AnsiToUtf16(started.c_str()), Outcome::kLost, kStoppedReason);
    }
    if (lost != 0) {
        m_host.Trace(u"send-key: " + DecimalText(lost) +
                     (lost == 1 ? u" reading lost, the service stopped" : u" readings lost, the service stopped"));
    }
}

void CReadingPipeline::OnCommRead(size_t length, const char* bytes) {
    if (!g_bServiceEnabled) {
        return;
    }
    UpdateStatusIcon(TrayPicture::kReceiving);
    g_bReceiving = true;
    m_nComRead.fetch_add(static_cast<uint32_t>(length), std::memory_order_relaxed);
    const uint32_t now = m_platform.TickCount();
    m_dwReceiveTick = now;
    m_dwFlushTick = now;
    m_dwIdleTick = now;
    m_host.Trace(u"comm read: " + DecimalText(length));

    // A NUL is no character to type or record; the bytes after it are handled like any others
    // (the buffer is text up to its NUL, so one left in would cut off what follows).
    std::string withoutNul;
    if (std::memchr(bytes, '\0', length) != nullptr) {
        withoutNul.assign(bytes, length);
        withoutNul.erase(std::remove(withoutNul.begin(), withoutNul.end(), '\0'), withoutNul.end());
        bytes = withoutNul.data();
        length = withoutNul.size();
        if (!std::exchange(m_bNulTraced, true)) {
            m_host.Trace(u"comm read: NUL bytes from the device are left out");
        }
    }

    bool overflow = false;
    {
        std::lock_guard lock(m_csBuffer);
        const int count = m_nBufferCount;
        if (m_hBuffer && static_cast<int64_t>(count) + static_cast<int64_t>(length) + 1 < m_nBufferSize) {
            std::memcpy(m_hBuffer.get() + count, bytes, length);
            m_hBuffer[count + static_cast<int>(length)] = '\0';
            m_nBufferCount = count + static_cast<int>(length);
        } else {
            overflow = true;
        }
    }
    if (m_nBufferCount > 0) {
        CheckFlush();
    }
    if (overflow) {
        m_host.ReportError(u"comm buffer overflow!", false);
    }
}

void CReadingPipeline::OnBytesArriving() {
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

void CReadingPipeline::OnClearBuffer() {
    std::lock_guard lock(m_csBuffer);
    m_nBufferCount = 0;
    m_assembler.Clear();  // the start of a reading goes with the bytes after it
}

void CReadingPipeline::CheckFlush() {
    if (m_nBufferCount <= 0) {
        return;
    }
    if (m_bSendOnCrLf) {
        const char* text = m_hBuffer.get();  // NUL-free: OnCommRead leaves NULs out
        if (std::strpbrk(text, "\r\n") != nullptr) {
            FlushBuffer();
        }
    }
    if (m_nBufferCount > 0 && m_nBufferCount >= m_nFlushChars) {
        FlushBuffer();
    }
    if (m_nBufferCount > 0 && MoreThanSince(m_dwFlushTick, m_nFlushTimeout)) {
        FlushBuffer();
    }
}

void CReadingPipeline::FlushBuffer() {
    if (m_nBufferCount == 0) {
        return;
    }
    size_t dropped = 0;
    {
        std::lock_guard bufferLock(m_csBuffer);
        std::lock_guard queueLock(m_csSendQueue);
        dropped = QueueFlushed(std::string(m_hBuffer.get(), static_cast<size_t>(m_nBufferCount.load())));
        m_nBufferCount = 0;
        m_hBuffer[0] = '\0';
    }
    // Woken once the queue is free again: woken under the lock, it would only wait for it.
    m_hSendEvent->Set();
    ReportDropped(dropped);
}

size_t CReadingPipeline::QueueFlushed(const std::string& raw) {
    if (!m_bAssemble) {
        return QueueItem(m_platform.AnsiToUtf16(raw.c_str()), raw);
    }
    size_t dropped = 0;
    for (AssembledBytes& reading : m_assembler.Add(raw)) {
        if (reading.cut) {
            m_host.Trace(u"reading cut at 65536 characters");
        }
        dropped += QueueReading(std::move(reading)) ? 1 : 0;
    }
    return dropped;
}

bool CReadingPipeline::QueueReading(AssembledBytes reading, bool typedAgain) {
    // Converted whole: a character of several bytes is never split between two bursts.
    std::u16string text = m_platform.AnsiToUtf16(reading.text.c_str());
    const CWaitingBound::Verdict verdict = m_bound.Admit(text, true);
    if (verdict == CWaitingBound::Verdict::kDropNew || verdict == CWaitingBound::Verdict::kDropRest) {
        if (!reading.lineEndTail) {
            AddToJournal(std::move(reading.text), text, Outcome::kDropped, kDroppedReason);
        }
        return verdict == CWaitingBound::Verdict::kDropNew;
    }
    NoteSample(text);
    const uint32_t started = verdict == CWaitingBound::Verdict::kQueueNew ? 1 : 0;
    const uint64_t id = reading.lineEndTail ? 0 : AddToJournal(reading.text, text, Outcome::kWaiting);
    m_arrSendQueue.push_back(QueuedText{std::move(text), reading.lineEndTail, started, std::move(reading.text), id,
                                        m_platform.TickCount(), typedAgain});
    return false;
}

uint64_t CReadingPipeline::AddToJournal(std::string raw, std::u16string_view text, Outcome outcome,
                                        std::u16string reason) {
    if (CountReadings(text) == 0) {
        return 0;  // line ends alone: no reading of their own
    }
    JournalEntry entry;
    entry.completed = m_platform.LocalNow();
    entry.raw = std::move(raw);
    entry.port = m_strPort;
    entry.outcome = outcome;
    entry.reason = std::move(reason);
    const uint64_t id = m_journal.Add(std::move(entry));
    if (IsFinal(outcome)) {
        Signal(outcome);
    }
    return id;
}

void CReadingPipeline::Signal(Outcome outcome) {
    const bool typed = outcome == Outcome::kTyped || outcome == Outcome::kRecorded;
    if (m_nSignalSound == 0 || outcome == Outcome::kDiscarded || (typed && m_nSignalSound < 2)) {
        return;  // a discard is the user's own doing
    }
    m_host.Trace(typed ? u"sound: default beep" : u"sound: critical stop");
    m_platform.PlaySignal(typed);
}

void CReadingPipeline::NoteSample(std::u16string_view queued) {
    std::u16string reading = LastReadingOf(queued);
    if (!reading.empty()) {
        m_strLastReading = std::move(reading);
    }
}

size_t CReadingPipeline::QueueItem(std::u16string_view text, std::string_view raw) {
    // The item goes into the queue as it came, but for a reading the bound cuts out. Each part
    // that goes on whole is one reading of the journal.
    size_t dropped = 0;
    QueuedText kept;
    const auto keep = [&] {
        if (!kept.text.empty()) {
            NoteSample(kept.text);
            kept.journalId = AddToJournal(kept.raw, kept.text, Outcome::kWaiting);
            kept.completedTick = m_platform.TickCount();
            m_arrSendQueue.push_back(std::exchange(kept, {}));
        }
    };
    while (!text.empty()) {
        bool endsReading = false;
        bool rawEnds = false;
        const size_t size = PieceSize(text, endsReading);
        const size_t rawSize = PieceSize(raw, rawEnds);
        const std::u16string_view piece = text.substr(0, size);
        const std::string_view rawPiece = raw.substr(0, rawSize);
        text.remove_prefix(size);
        raw.remove_prefix(rawSize);
        switch (m_bound.Admit(piece, endsReading)) {
            case CWaitingBound::Verdict::kQueueNew:
                ++kept.readings;
                [[fallthrough]];
            case CWaitingBound::Verdict::kQueueRest:
                kept.text += piece;
                kept.raw += rawPiece;
                break;
            case CWaitingBound::Verdict::kDropNew:
                ++dropped;
                AddToJournal(std::string(rawPiece), piece, Outcome::kDropped, kDroppedReason);
                [[fallthrough]];
            case CWaitingBound::Verdict::kDropRest:
                keep();  // what came before the dropped piece stays in order before what follows
                break;
        }
    }
    keep();
    return dropped;
}

void CReadingPipeline::QueueQuietRest() {
    // Only once the buffer is empty: what it still holds comes before the rest's end.
    if (!m_bAssemble || m_assembler.WaitingChars() == 0 || m_nBufferCount > 0 ||
        !MoreThanSince(m_dwReceiveTick, m_nFlushTimeout)) {
        return;
    }
    size_t dropped = 0;
    {
        std::lock_guard lock(m_csSendQueue);
        if (std::optional<AssembledBytes> rest = m_assembler.TakeRest()) {
            dropped = QueueReading(std::move(*rest)) ? 1 : 0;
        }
    }
    m_hSendEvent->Set();
    ReportDropped(dropped);
}

void CReadingPipeline::ReportDropped(size_t dropped) {
    for (size_t i = 0; i < dropped; ++i) {
        m_host.Trace(u"send-key: a reading dropped, too many readings wait");
        if (m_nDroppedReadings.fetch_add(1) == 0) {
            m_host.ShowNotice(u"DORVANE", u"Too many readings wait to be typed: new readings are dropped until " +
                                              HeldFor() + u" is in front again.");
        }
    }
    if (dropped != 0) {
        m_host.WaitingChanged();
    }
}

std::u16string CReadingPipeline::HeldFor() const {
    if (g_bRecordData) {
        return u"the recording file";
    }
    return m_strWaitingFor.empty() ? std::u16string(u"the window to type into") : m_strWaitingFor;
}

std::u16string CReadingPipeline::LastReading() {
    std::lock_guard lock(m_csSendQueue);
    return m_strLastReading;
}

void CReadingPipeline::OnTimer() {
    if (!g_bServiceEnabled) {
        return;
    }
    if (m_nBufferCount > 0) {
        CheckFlush();
    }
    QueueQuietRest();
    if (g_bReceiving && MoreThanSince(m_dwReceiveTick, kReceivingMs)) {
        g_bReceiving = false;
    }
    if (m_bAutoDisable) {
        if (m_nBufferCount > 0) {
            m_dwIdleTick = m_platform.TickCount();
        } else if (MoreThanSince(m_dwIdleTick, m_nAutoDisableTime) && !m_bAutoDisablePosted) {
            m_bAutoDisablePosted = true;
            m_host.PostServiceOff();
        }
    }
    UpdateStatusIcon();
}

void CReadingPipeline::UpdateStatusIcon(std::optional<TrayPicture> picture) {
    if (!picture) {
        if (!g_bServiceEnabled) {
            picture = TrayPicture::kDisabled;
        } else if (g_bSending && g_bReceiving) {
            picture = TrayPicture::kSendingReceiving;
        } else if (g_bSending) {
            picture = TrayPicture::kSending;
        } else if (g_bReceiving) {
            picture = TrayPicture::kReceiving;
        } else if (m_nBufferCount > 0) {
            picture = TrayPicture::kWaiting;
        } else {
            picture = TrayPicture::kEnabled;
        }
    } else if (*picture == TrayPicture::kReceiving && g_bSending) {
        picture = TrayPicture::kSendingReceiving;
    }
    std::lock_guard lock(m_csStatusIcon);
    if (picture != m_lastPicture && m_host.ShowTrayPicture(*picture)) {
        m_lastPicture = picture;
    }
}

void CReadingPipeline::ForgetStatusIcon() {
    std::lock_guard lock(m_csStatusIcon);
    m_lastPicture.reset();
}

bool CReadingPipeline::TypeAgain(const std::string& raw) {
    if (!g_bServiceEnabled || !IsSet() || raw.empty()) {
        return false;
    }
    size_t dropped = 0;
    {
        std::lock_guard lock(m_csSendQueue);
        // A reading of its own, whether or not it has a line end (a quiet rest has none).
        dropped = QueueReading(AssembledBytes{raw, false, false}, true) ? 1 : 0;
    }
    m_hSendEvent->Set();
    ReportDropped(dropped);
    return true;
}

size_t CReadingPipeline::QueuedItems() {
    std::lock_guard lock(m_csSendQueue);
    return m_arrSendQueue.size();
}

}  // namespace dorvane
