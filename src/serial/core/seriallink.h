// The serial link: opens and configures the port named in the settings, and runs the reader
// thread that gathers received bytes into bursts and hands each to the receiving window.
// One link exists per process (the port is opened exclusively).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "serial/core/commport.h"
#include "settings/core/appprofile.h"

namespace dorvane {

// What the reader waits for: a received character, the flag character, a line error.
inline constexpr uint32_t kCommEventMask = 0x0001 | 0x0002 | 0x0080;

// What became of a request to write to the device.
enum class SendResult { kQueued, kBusy, kNotOpen };

// A write's end as the writer tells it (on its own thread): the outcome and, for a failure,
// the system's error code.
using WriteObserver = std::function<void(WriteOutcome outcome, uint32_t error)>;

class CSerialLink {
public:
    CSerialLink(ISerialPlatform& platform, CAppProfile& profile) : m_platform(platform), m_profile(profile) {}
    ~CSerialLink();
    CSerialLink(const CSerialLink&) = delete;
    CSerialLink& operator=(const CSerialLink&) = delete;

    // Opens the port "\\.\" + name; null on failure (traced).
    std::unique_ptr<ICommPort> OpenPort(const std::u16string& name);
    bool EnableComm();
    bool DisableComm();
    // Whether "\\.\" + name opens and reports its state now (a device that has gone away may
    // still open); closed again at once, nothing traced.
    bool ProbePort(const std::u16string& name);
    // Whether the open port still answers (false when none is open); for a resume from sleep.
    bool PortResponds();

    // Writes bytes to the device on a thread of its own, so that neither the caller nor the
    // reader waits for a slow device. `skipWhenBusy` (a poll): not queued while another write
    // is pending or queued. Otherwise queued behind the others, up to kMaxQueuedWrites.
    // Callable from any thread; the observer hears of each write's end.
    SendResult Send(std::vector<uint8_t> bytes, bool skipWhenBusy);
    void SetWriteObserver(WriteObserver observer) { m_writeObserver = std::move(observer); }
    // Told on the reader's thread at every read that brought bytes, before they are handed on as
    // a burst (at least a 100 ms second look later). Set while no reader runs.
    void SetArrivalObserver(std::function<void()> observer) { m_arrivalObserver = std::move(observer); }
    // Told on the reader's thread when the port is gone (the adapter was pulled out) and reading
    // has stopped: the service should go off. Set while no reader runs.
    void SetLossObserver(std::function<void()> observer) { m_lossObserver = std::move(observer); }
    // The time a write may take besides its bytes' time on the line (tests shorten it); taken
    // at the next enable for the port's write time-outs.
    void SetWriteTimeout(uint32_t ms) { m_nWriteTimeoutMs = ms; }

    // A hand-off that arrives while the reader is being stopped is dropped by the receiver.
    bool AcceptsHandOff() const { return !m_bStopCommRead; }
    bool IsStarted() const { return m_hComm != nullptr; }
    uint32_t ReadBufferSize() const { return m_nReadBufferSize; }
    bool HoldsReadBuffer() const { return !m_hReadBuffer.empty(); }

private:
    bool StartComm(std::unique_ptr<ICommPort> port);
    void StopComm();
    void CloseCommReadProcess();
    void CommReadThread();
    void CommWriteThread();
    // Drops what is queued and takes no more writes; then, once the stop signal is set, ends
    // the writer (its pending write ends with the signal).
    void RefuseWrites();
    void CloseCommWriteProcess();
    // One write on the writer's thread, within timeoutMs plus the driver's grace; error: the
    // system's code of a failure.
    WriteOutcome WriteToPort(std::vector<uint8_t> bytes, uint32_t timeoutMs, uint32_t& error);
    // After the port's close: waits a bounded time for the writes it still held, frees those
    // that are done, and leaves the rest to their driver.
    void AwaitWritesAfterClose();
    // Frees the writes left to a driver that has ended them since.
    void FreeEndedWrites();
    // Waits for a port event or the stop; false when the wait failed or was ended by the stop.
    bool WaitPortEvent();
    void NotifyCommRead(uint8_t* buffer, size_t count);
    // Applies the stored line settings of the port, or builds, stores and applies the defaults.
    bool ApplyLineSettings(ICommPort& port, const std::u16string& portName);
    void Trace(const std::u16string& line) { m_platform.Trace(line); }

    ISerialPlatform& m_platform;
    CAppProfile& m_profile;

    std::unique_ptr<ICommPort> m_hComm;
    std::unique_ptr<IWorkerThread> m_hCommReadThread;
    std::atomic<bool> m_bStopCommRead{false};
    std::atomic<bool> m_bReaderEnded{true};
    uint32_t m_nReadBufferSize = 0;
    std::vector<uint8_t> m_hReadBuffer;  // m_nReadBufferSize + 4 bytes while held

    // The writer: started with the first write of an enable, so that with nothing to send no
    // thread runs and not a byte is written.
    std::mutex m_csWrites;
    std::condition_variable m_writeReady;
    std::deque<std::vector<uint8_t>> m_writes;  // guarded by m_csWrites
    bool m_bWriting = false;                     // the same: a write is under way
    bool m_bWritable = false;                    // the same: a port is open to write to
    bool m_bStopCommWrite = false;               // the same
    std::unique_ptr<IWorkerThread> m_hCommWriteThread;  // the same
    // Writes whose cancel the driver did not end in time, as the writer left them: their bytes and
    // record stay ours until the driver is done with them (guarded by m_csWrites).
    std::vector<std::unique_ptr<ICommWrite>> m_undoneWrites;
    // Writes a driver still held after the port's close and the wait for them: freed once they
    // are done (looked at each stop), never before; the stopping thread's only.
    std::vector<std::unique_ptr<ICommWrite>> m_leftWrites;
    WriteObserver m_writeObserver;
    std::function<void()> m_arrivalObserver;
    std::function<void()> m_lossObserver;
    std::atomic<uint32_t> m_nWriteTimeoutMs{2000};
    uint32_t m_nWriteMsPerByte = 1;  // at the port's speed; set at start
};

// Writes waiting behind the one under way; more are dropped (and traced).
inline constexpr size_t kMaxQueuedWrites = 64;

// Read buffer size from the stored BUFFERSIZE_KB: above 64 (compared unsigned, so negative
// values too) taken as 64, times 1024.
uint32_t ReadBufferSizeFor(uint32_t storedKb);

}  // namespace dorvane
