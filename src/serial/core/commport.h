// The serial port as the serial link uses it, and what the link needs from its surroundings.
// The Win32 adapter makes the real calls; tests script a fake port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/workerthread.h"

namespace dorvane {

// The platform's line-settings record (the Windows DCB), as raw bytes; its first four bytes
// hold its own length.
inline constexpr size_t kLineSettingsSize = 28;
using LineSettings = std::array<uint8_t, kLineSettingsSize>;

// Received bytes waiting in the port, and the line errors since the last query.
struct CommStatus {
    uint32_t errors = 0;
    uint32_t queued = 0;
};

// How a wait for port events started.
enum class WaitStart { kSignalled, kPending, kFailed };

// How a write to the device ended.
enum class WriteOutcome { kWritten, kFailed, kTimedOut, kStopped };

// How a wait for a write under way ended.
enum class WriteWait { kDone, kStopped, kTimedOut };

// One write handed to the port: its bytes, and what the system writes the write's end into (on
// Windows its OVERLAPPED record). Once the write has started, the driver may read the bytes and
// the system write the record at any moment until the write is done: after a cancel, which does
// not wait, and even after the port is closed, which does not end the write with every driver.
// Whoever holds it frees it only when AwaitDone has said so; the serial link decides that.
class ICommWrite {
public:
    virtual ~ICommWrite() = default;
    // Waits at most ms for the system to be done with the write; true when it is (and for a
    // write that never started). Needs no open port.
    virtual bool AwaitDone(uint32_t ms) = 0;
};

class ICommPort {
public:
    virtual ~ICommPort() = default;  // closes the port

    virtual bool GetState(LineSettings& settings) = 0;
    virtual bool SetState(const LineSettings& settings) = 0;
    // Applies a definition such as "baud=9600 parity=N data=8 stop=1" over the settings, with
    // XON/XOFF and hardware flow control off.
    virtual bool BuildState(const char16_t* definition, LineSettings& settings) = 0;
    // A line error must not stop reads and writes until it is cleared.
    virtual void ClearAbortOnError(LineSettings& settings) = 0;
    virtual void ReadTimeouts() = 0;
    // Reads return at once with whatever is queued, possibly nothing.
    // Reads return at once with what is queued; a write ends after writeConstantMs plus
    // writeMsPerByte for each byte, with what the device took by then.
    virtual void SetTimeouts(uint32_t writeMsPerByte, uint32_t writeConstantMs) = 0;
    // Sets the events a wait is for. On Windows a port handle opened for synchronous I/O
    // serialises this call behind a wait another thread has pending: it returns only when that
    // wait does, i.e. when the device sends again (Microsoft KB Q105302). On the overlapped handle
    // the link uses it returns at once, and a pending wait ends, failed.
    virtual void SetEventMask(uint32_t mask) = 0;
    // Starts a wait for a received character, a flag character or a line error (overlapped).
    virtual WaitStart StartWait() = 0;
    // Blocks until the pending wait completes (true) or the stop signal is set (false).
    virtual bool AwaitWaitOrStop() = 0;
    // Waits at most ms for the pending wait to be over; true when it is.
    virtual bool AwaitWaitEnd(uint32_t ms) = 0;
    // Cancels the pending wait (I/O this thread started); a driver that ignores the mask change
    // still ends the wait for this.
    virtual void CancelWait() = 0;
    // For a wait that is over: whether it saw an event.
    virtual bool FinishWait() = 0;
    // A wait that did not end even when cancelled is given up: the port keeps what the system
    // may still write into until the handle is closed.
    virtual void AbandonWait() = 0;
    // Sets the stop signal; callable from any thread; it stays set until the port is closed.
    virtual void SignalStop() = 0;
    virtual bool ClearError(CommStatus& status) = 0;
    virtual bool Read(uint8_t* buffer, size_t size, size_t& read) = 0;
    // The record of a write of these bytes; null when none can be made (LastError says why).
    virtual std::unique_ptr<ICommWrite> NewWrite(std::vector<uint8_t> bytes) = 0;
    // Starts a write made by this port (overlapped, beside a pending wait of the reader); false
    // when it failed at once, and then the system holds nothing of it. Not from the reader's
    // thread; one write at a time, though one a cancel did not end may still be pending beside.
    virtual bool StartWrite(ICommWrite& write) = 0;
    // Waits until the write is done, the stop signal comes, or ms pass. A device that does not
    // read (flow control holding, a full buffer) keeps the write pending.
    virtual WriteWait AwaitWrite(ICommWrite& write, uint32_t ms) = 0;
    // Asks the driver to end the write early; returns at once, and a driver may take its time
    // or ignore it.
    virtual void CancelWrite(ICommWrite& write) = 0;
    // For a write that is done: whether it succeeded, and the bytes the device took.
    virtual bool FinishWrite(ICommWrite& write, size_t& written) = 0;
    // The system's code of the last failure on the calling thread.
    virtual uint32_t LastError() = 0;
};

class ISerialPlatform {
public:
    virtual ~ISerialPlatform() = default;
    // Opens the device path for exclusive reading and writing; null on failure.
    virtual std::unique_ptr<ICommPort> Open(const std::u16string& devicePath) = 0;
    virtual void Trace(const std::u16string& line) = 0;
    virtual void ReportError(const char16_t* text, bool showBox) = 0;
    virtual void Sleep(uint32_t ms) = 0;
    virtual std::unique_ptr<IWorkerThread> StartThread(std::function<void()> body) {
        return StartWorkerThread(std::move(body));
    }
    // Hands a burst to the receiving window and returns once it has been handled; the bytes
    // are followed by a NUL. Does nothing while no window is registered.
    virtual void DeliverBurst(const uint8_t* bytes, size_t count) = 0;
    // Waits up to ms while serving a hand-off the reader may be blocked in: the stopping thread
    // is the receiver of the hand-offs, and must not deadlock with the reader it waits for.
    virtual void ServeHandOffs(uint32_t ms) = 0;
};

}  // namespace dorvane
