#include "serial/core/seriallink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <new>

#include "core/decimal.h"
#include "serial/core/linesettings.h"
#include "settings/core/settingkeys.h"

namespace dorvane {

namespace {

constexpr char16_t kDefaultLineSettings[] = u"baud=9600 parity=N data=8 stop=1";
// While the reader ends, the stopping thread serves its hand-offs in slices this long.
constexpr uint32_t kStopPollMs = 20;
// A stop waits this long for the mask change to end the pending wait, then as long again for
// the cancelled wait: every stop ends within half a second whatever the driver does.
constexpr uint32_t kMaskEndMs = 200;
constexpr uint32_t kCancelEndMs = 200;
// A write is given this long beyond its bound (the port's write time-outs, which the driver
// applies) before it is cancelled, and a cancelled write this long to end.
constexpr uint32_t kDriverGraceMs = 500;
constexpr uint32_t kWriteCancelEndMs = 200;
// After the port's close, the writes its driver still holds are waited for this long in all.
// Closing the handle makes most drivers end what is pending at once; one that has not after half
// a second is not about to, and Disable and Exit must not wait on it: after the reader's stop and
// the write's cancel (at most 400 ms, side by side) a stop stays under a second whatever the
// driver does.
constexpr uint32_t kCloseWriteWaitMs = 500;
// Waits that fail one after another with nothing received: the device is gone although the
// driver still answers the status query.
constexpr int kFailedWaitsForLoss = 50;

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

LineSettings EmptyLineSettings() {
    LineSettings settings{};
    settings[0] = static_cast<uint8_t>(kLineSettingsSize);  // the record's own length field
    return settings;
}

}  // namespace

uint32_t ReadBufferSizeFor(uint32_t storedKb) {
    return (storedKb > 64 ? 64 : storedKb) * 1024;
}

CSerialLink::~CSerialLink() {
    DisableComm();
    FreeEndedWrites();
    // The process is ending (the link lives as long as it): what a driver still holds is never
    // freed under it.
    for (std::unique_ptr<ICommWrite>& write : m_leftWrites) {
        (void)write.release();
    }
}

std::unique_ptr<ICommPort> CSerialLink::OpenPort(const std::u16string& name) {
    const std::u16string portName = u"\\\\.\\" + name;
    std::unique_ptr<ICommPort> port = m_platform.Open(portName);
    Trace(u"open com-port [" + portName + (port ? u"], success" : u"], failed!"));
    return port;
}

bool CSerialLink::ProbePort(const std::u16string& name) {
    std::unique_ptr<ICommPort> port = m_platform.Open(u"\\\\.\\" + name);
    LineSettings settings = EmptyLineSettings();
    return port && port->GetState(settings);
}

bool CSerialLink::PortResponds() {
    // The state, not the status: the status query belongs to the reader (it reports errors once).
    LineSettings settings = EmptyLineSettings();
    return m_hComm && m_hComm->GetState(settings);
}

bool CSerialLink::EnableComm() {
    Trace(u"enable comm");
    if (m_hComm) {
        Trace(u"enable comm, already enabled");
        return true;
    }
    const std::u16string portName = ReadSetting(m_profile, COMPORT);
    if (m_hReadBuffer.empty()) {
        // A buffer left by an earlier enable that failed later is reused as it is.
        m_nReadBufferSize = ReadBufferSizeFor(ReadSetting(m_profile, BUFFERSIZE_KB));
        try {
            m_hReadBuffer.assign(static_cast<size_t>(m_nReadBufferSize) + 4, 0);
        } catch (const std::bad_alloc&) {
            m_hReadBuffer.clear();
        }
    }
    if (m_hReadBuffer.empty()) {
        m_platform.ReportError(u"Allocate memory failed!", true);
        return false;
    }
    std::unique_ptr<ICommPort> port = OpenPort(portName);
    if (!port) {
        m_platform.ReportError(u"Open com-port failed!", true);
    } else if (!ApplyLineSettings(*port, portName)) {
        m_platform.ReportError(u"SetCommState failed!", true);
        port.reset();
    } else {
        Trace(u"enable comm, com setting, 5");
        if (!StartComm(std::move(port))) {
            m_platform.ReportError(u"Start comm service failed!", true);
        }
    }
    Trace(u"enable comm, done");
    return m_hComm != nullptr;
}

bool CSerialLink::ApplyLineSettings(ICommPort& port, const std::u16string& portName) {
    Trace(u"enable comm, com setting, 1");
    const std::u16string key = DcbEntryName(portName);
    std::vector<uint8_t> stored;
    m_profile.GetBinary(SettingsSectionOf(m_profile), key.c_str(), stored);
    LineSettings settings = EmptyLineSettings();
    // Only a whole record is applied: a value of another length (written by something else)
    // would leave part of the record undefined, so the defaults are built and stored instead.
    bool store = false;
    if (stored.size() == kLineSettingsSize) {
        std::copy(stored.begin(), stored.end(), settings.begin());
    } else {
        if (!stored.empty()) {
            Trace(u"enable comm, stored com setting has " + DecimalText(stored.size()) +
                  u" bytes, rebuilt");
        }
        Trace(u"enable comm, com setting, 2");
        if (!port.GetState(settings)) {
            m_platform.ReportError(u"GetCommState failed!", true);
        }
        Trace(u"enable comm, com setting, 3");
        store = port.BuildState(kDefaultLineSettings, settings);
        if (!store) {
            m_platform.ReportError(u"BuildCommDCB failed!", true);
        }
    }
    // What Windows would refuse (left by a failed GetCommState, or stored by another program) is
    // mended, and the store then holds what is applied.
    if (MakeAcceptable(settings) && !store) {
        Trace(u"enable comm, com setting mended");
        store = true;
    }
    if (store) {
        m_profile.WriteBinary(SettingsSectionOf(m_profile), key.c_str(), settings.data(), kLineSettingsSize);
    }
    Trace(u"enable comm, com setting, 4");
    return port.SetState(settings);
}

bool CSerialLink::StartComm(std::unique_ptr<ICommPort> port) {
    Trace(u"start comm");
    if (m_hComm) {
        Trace(u"start comm, already started");
        return true;
    }
    m_hComm = std::move(port);
    Trace(u"start comm, 1");
    LineSettings settings = EmptyLineSettings();
    m_hComm->GetState(settings);
    Trace(u"start comm, 2");
    Trace(u"start comm, 3");
    Trace(u"start comm, 4");
    m_hComm->ReadTimeouts();
    Trace(u"start comm, 5");
    Trace(u"start comm, 6");
    // The line settings record holds the speed in bits per second at bytes 4 to 7; a byte takes
    // at most 11 bits on the line.
    const uint32_t baud = settings[4] | settings[5] << 8 | settings[6] << 16 | static_cast<uint32_t>(settings[7]) << 24;
    m_nWriteMsPerByte = baud == 0 ? 100 : 11000 / baud + 1;
    m_hComm->SetTimeouts(m_nWriteMsPerByte, m_nWriteTimeoutMs);
    m_hComm->ClearAbortOnError(settings);
    Trace(u"start comm, 7");
    m_hComm->SetState(settings);
    Trace(u"start comm, 8");
    m_hComm->SetEventMask(kCommEventMask);
    Trace(u"start comm, 9");
    // Cleared before the reader starts (not by the reader): a stop that comes before the
    // reader's first pass must not be lost.
    m_bStopCommRead = false;
    m_bReaderEnded = false;
    m_hCommReadThread = m_platform.StartThread([this] { CommReadThread(); });
    if (!m_hCommReadThread) {
        m_bReaderEnded = true;
        m_platform.ReportError(u"Create thread failed!", true);
        m_hComm.reset();
        return false;
    }
    std::lock_guard lock(m_csWrites);
    m_bWritable = true;
    m_bStopCommWrite = false;
    return true;
}

SendResult CSerialLink::Send(std::vector<uint8_t> bytes, bool skipWhenBusy) {
    std::lock_guard lock(m_csWrites);
    if (!m_bWritable) {
        return SendResult::kNotOpen;
    }
    if ((skipWhenBusy && (m_bWriting || !m_writes.empty())) || m_writes.size() >= kMaxQueuedWrites) {
        return SendResult::kBusy;
    }
    if (!m_hCommWriteThread) {
        m_hCommWriteThread = m_platform.StartThread([this] { CommWriteThread(); });
        if (!m_hCommWriteThread) {
            Trace(u"com-port write, error! no thread to write with");
            return SendResult::kNotOpen;
        }
    }
    m_writes.push_back(std::move(bytes));
    m_writeReady.notify_one();
    return SendResult::kQueued;
}

void CSerialLink::CommWriteThread() {
    Trace(u"thread comm-write is running");
    for (;;) {
        std::vector<uint8_t> bytes;
        {
            std::unique_lock lock(m_csWrites);
            m_writeReady.wait(lock, [this] { return m_bStopCommWrite || !m_writes.empty(); });
            if (m_bStopCommWrite) {
                break;
            }
            bytes = std::move(m_writes.front());
            m_writes.pop_front();
            m_bWriting = true;
        }
        // The port stays open while this thread runs: the stop joins it before closing.
        const uint32_t timeoutMs = m_nWriteTimeoutMs + static_cast<uint32_t>(bytes.size()) * m_nWriteMsPerByte;
        uint32_t error = 0;
        const WriteOutcome outcome = WriteToPort(std::move(bytes), timeoutMs, error);
        {
            std::lock_guard lock(m_csWrites);
            m_bWriting = false;
        }
        if (m_writeObserver) {
            m_writeObserver(outcome, error);
        }
    }
    Trace(u"thread comm-write is ended!");
}

// A cancel only asks the driver to end the write, and does not wait: the write's record and
// bytes stay ours until the system is done with them (a driver that ignores the cancel writes
// the record when it ends the write, after the port's close if need be).
// https://learn.microsoft.com/windows/win32/fileio/cancelioex-func
WriteOutcome CSerialLink::WriteToPort(std::vector<uint8_t> bytes, uint32_t timeoutMs, uint32_t& error) {
    const size_t count = bytes.size();
    std::unique_ptr<ICommWrite> write = m_hComm->NewWrite(std::move(bytes));
    if (!write || !m_hComm->StartWrite(*write)) {
        error = m_hComm->LastError();
        return WriteOutcome::kFailed;
    }
    const WriteWait waited = m_hComm->AwaitWrite(*write, timeoutMs + kDriverGraceMs);
    if (waited != WriteWait::kDone) {
        m_hComm->CancelWrite(*write);
        if (!write->AwaitDone(kWriteCancelEndMs)) {
            Trace(u"comm write not ended by the cancel, kept until the driver ends it");
            std::lock_guard lock(m_csWrites);
            m_undoneWrites.push_back(std::move(write));
        }
        return waited == WriteWait::kStopped ? WriteOutcome::kStopped : WriteOutcome::kTimedOut;
    }
    size_t written = 0;
    if (!m_hComm->FinishWrite(*write, written)) {
        error = m_hComm->LastError();
        return WriteOutcome::kFailed;
    }
    return written == count ? WriteOutcome::kWritten : WriteOutcome::kTimedOut;
}

void CSerialLink::AwaitWritesAfterClose() {
    std::vector<std::unique_ptr<ICommWrite>> undone;
    {
        std::lock_guard lock(m_csWrites);
        undone.swap(m_undoneWrites);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWriteWaitMs);
    for (std::unique_ptr<ICommWrite>& write : undone) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!write->AwaitDone(static_cast<uint32_t>(std::max<int64_t>(left.count(), 0)))) {
            Trace(u"comm write still pending at close, its buffer is left to the driver");
            m_leftWrites.push_back(std::move(write));
        }
    }
}

void CSerialLink::FreeEndedWrites() {
    std::erase_if(m_leftWrites, [](const std::unique_ptr<ICommWrite>& write) { return write->AwaitDone(0); });
}

void CSerialLink::RefuseWrites() {
    std::lock_guard lock(m_csWrites);
    m_bWritable = false;
    m_bStopCommWrite = true;
    m_writes.clear();  // never begun: a stop writes nothing more
    m_writeReady.notify_one();
}

void CSerialLink::CloseCommWriteProcess() {
    std::unique_ptr<IWorkerThread> writer;
    {
        std::lock_guard lock(m_csWrites);
        writer = std::move(m_hCommWriteThread);
    }
    if (writer) {
        m_hComm->SignalStop();  // a write under way ends with it (the reader's stop set it already)
        writer->Join();
    }
}

void CSerialLink::CommReadThread() {
    Trace(u"thread comm-read is running");
    uint8_t* const buffer = m_hReadBuffer.data();
    const size_t size = m_nReadBufferSize;
    int failedWaits = 0;
    while (!m_bStopCommRead) {
        const bool waited = WaitPortEvent();
        if (m_bStopCommRead) {
            break;  // woken to stop: nothing more is read
        }
        const uint32_t waitError = waited ? 0 : m_hComm->LastError();
        CommStatus status;
        const bool statusRead = m_hComm->ClearError(status);
        failedWaits = waited ? 0 : failedWaits + 1;
        // Both the wait and the status query fail at once: the device is gone (a USB adapter
        // pulled out). Some drivers go on answering the status query while every wait fails:
        // many failed waits in a row with nothing received mean the same. Retrying would spin;
        // the service is turned off.
        if ((!waited && !statusRead) || (failedWaits >= kFailedWaitsForLoss && statusRead && status.queued == 0)) {
            const uint32_t error = statusRead ? waitError : m_hComm->LastError();
            Trace(u"com-port lost, err=" + DecimalText(error) + u", reading stopped!");
            if (m_lossObserver) {
                m_lossObserver();
            }
            break;
        }
        if (!statusRead) {
            m_platform.ReportError(u"ClearCommError failed!", false);
            status.queued = 0;
        }
        if (status.errors != 0) {
            char text[32];
            std::snprintf(text, sizeof text, "** com-port error: %X", static_cast<unsigned>(status.errors));
            Trace(Ascii(text));
        }
        if (status.queued == 0) {
            m_platform.Sleep(1);
            continue;
        }
        size_t filled = 0;
        bool secondChance = false;
        // A steady stream never finds the queue empty twice: the stop is looked at here too.
        while (!m_bStopCommRead) {
            size_t read = 0;
            if (!m_hComm->Read(buffer + filled, size - filled, read)) {
                Trace(u"com-port read, error!");
                break;
            }
            if (read > 0) {
                if (m_arrivalObserver) {
                    m_arrivalObserver();
                }
                filled += read;
                if (static_cast<int64_t>(filled) > static_cast<int64_t>(size) - 16) {
                    NotifyCommRead(buffer, filled);
                    filled = 0;
                }
            } else if (!secondChance) {
                secondChance = true;
                m_platform.Sleep(100);
            } else {
                NotifyCommRead(buffer, filled);
                break;
            }
        }
    }
    Trace(u"thread comm-read is ended! " + std::u16string(55, u'-'));
    m_bReaderEnded = true;
}

bool CSerialLink::WaitPortEvent() {
    switch (m_hComm->StartWait()) {
        case WaitStart::kSignalled:
            return true;
        case WaitStart::kFailed:
            return false;
        case WaitStart::kPending:
            break;
    }
    // The wait is overlapped, so that a stop never depends on the device sending again.
    if (!m_hComm->AwaitWaitOrStop()) {
        // A mask change ends a pending overlapped wait, as documented; a driver that does not
        // (and Wine now and then) would hold the stop until the device sends, so the wait is
        // then cancelled, and given up if even that does not end it.
        // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-setcommmask
        // https://learn.microsoft.com/windows/win32/fileio/cancelio
        m_hComm->SetEventMask(0);
        if (!m_hComm->AwaitWaitEnd(kMaskEndMs)) {
            Trace(u"comm wait not ended by the mask change, cancelled");
            m_hComm->CancelWait();
            if (!m_hComm->AwaitWaitEnd(kCancelEndMs)) {
                m_hComm->AbandonWait();
                return false;
            }
        }
    }
    return m_hComm->FinishWait();
}

void CSerialLink::NotifyCommRead(uint8_t* buffer, size_t count) {
    if (count == 0) {
        return;
    }
    buffer[count] = 0;
    if (m_bStopCommRead) {
        return;  // stopping: no burst is handed on any more
    }
    m_platform.DeliverBurst(buffer, count);
}

void CSerialLink::CloseCommReadProcess() {
    if (!m_hCommReadThread) {
        return;
    }
    Trace(u"close comm read process");
    m_bStopCommRead = true;
    // Never killed: woken from its wait, and waited for while its hand-off is still served.
    m_hComm->SignalStop();
    while (!m_bReaderEnded) {
        m_platform.ServeHandOffs(kStopPollMs);
    }
    m_hCommReadThread->Join();
    m_hCommReadThread.reset();
    Trace(u"close comm read process, done");
}

void CSerialLink::StopComm() {
    Trace(u"stop comm");
    if (!m_hComm) {
        Trace(u"stop comm, not started");
        return;
    }
    // The writer takes nothing new first; the stop signal, which ends a write under way, is set
    // by the reader's stop (set earlier, it would make the reader's waits fail).
    RefuseWrites();
    CloseCommReadProcess();
    CloseCommWriteProcess();
    m_hComm.reset();
    FreeEndedWrites();  // left at an earlier close: not waited for again
    AwaitWritesAfterClose();
    Trace(u"stop comm, done");
}

bool CSerialLink::DisableComm() {
    Trace(u"disable comm");
    if (!m_hComm) {
        return true;  // a read buffer held from a failed enable stays held
    }
    StopComm();
    m_hReadBuffer.clear();
    m_hReadBuffer.shrink_to_fit();
    Trace(u"disable comm, done");
    return true;
}

}  // namespace dorvane
