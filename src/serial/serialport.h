// The Win32 serial port and the process's one serial link, with the entry points the rest of
// the program uses.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "serial/core/seriallink.h"

namespace dorvane {

// A write's OVERLAPPED record, with its own event, and its bytes: the system writes the record
// and the driver reads the bytes until the write completes, whatever became of the port. The
// serial link holds it and frees it only when AwaitDone says the write is over.
class CWin32CommWrite : public ICommWrite {
public:
    CWin32CommWrite(HANDLE event, std::vector<uint8_t> bytes);
    ~CWin32CommWrite() override;
    CWin32CommWrite(const CWin32CommWrite&) = delete;
    CWin32CommWrite& operator=(const CWin32CommWrite&) = delete;

    bool AwaitDone(uint32_t ms) override;

    OVERLAPPED m_overlapped{};
    std::vector<uint8_t> m_bytes;
    bool m_bStarted = false;  // the system took the write (it may be pending)
};

// How CWin32SerialPlatform::Open opens a port (exclusively, read and write): for overlapped
// I/O, without which the reader's pending wait would hold every write and mask change (KB Q105302).
inline constexpr DWORD kPortOpenFlags = FILE_FLAG_OVERLAPPED;

// A port handle opened for overlapped I/O: a wait can be ended from the reader's own thread
// when the stop signal comes, where a synchronous handle would block every other call on the
// port until the device sends again.
class CWin32CommPort : public ICommPort {
public:
    // Takes the handle; null when the events it needs cannot be created (the handle is closed).
    static std::unique_ptr<CWin32CommPort> Adopt(HANDLE handle);
    ~CWin32CommPort() override;
    CWin32CommPort(const CWin32CommPort&) = delete;
    CWin32CommPort& operator=(const CWin32CommPort&) = delete;

    bool GetState(LineSettings& settings) override;
    bool SetState(const LineSettings& settings) override;
    bool BuildState(const char16_t* definition, LineSettings& settings) override;
    void ClearAbortOnError(LineSettings& settings) override;
    void ReadTimeouts() override;
    void SetTimeouts(uint32_t writeMsPerByte, uint32_t writeConstantMs) override;
    void SetEventMask(uint32_t mask) override;
    WaitStart StartWait() override;
    bool AwaitWaitOrStop() override;
    bool AwaitWaitEnd(uint32_t ms) override;
    void CancelWait() override;
    bool FinishWait() override;
    void AbandonWait() override;
    void SignalStop() override;
    bool ClearError(CommStatus& status) override;
    bool Read(uint8_t* buffer, size_t size, size_t& read) override;
    std::unique_ptr<ICommWrite> NewWrite(std::vector<uint8_t> bytes) override;
    bool StartWrite(ICommWrite& write) override;
    WriteWait AwaitWrite(ICommWrite& write, uint32_t ms) override;
    void CancelWrite(ICommWrite& write) override;
    bool FinishWrite(ICommWrite& write, size_t& written) override;
    uint32_t LastError() override { return GetLastError(); }

private:
    CWin32CommPort(HANDLE port, HANDLE waitEvent, HANDLE readEvent, HANDLE stopEvent)
        : m_hPort(port), m_hWaitEvent(waitEvent), m_hReadEvent(readEvent), m_hStopEvent(stopEvent) {}

    HANDLE m_hPort;
    HANDLE m_hWaitEvent;  // manual-reset: the overlapped wait's completion
    HANDLE m_hReadEvent;  // manual-reset: an overlapped read's completion
    HANDLE m_hStopEvent;  // manual-reset: the stop signal
    // What the system writes when the wait completes: on the heap, so that a wait given up can
    // leave it (and its event) to the system instead of freeing it under a pending operation.
    struct WaitRecord {
        OVERLAPPED overlapped{};
        DWORD events = 0;
    };
    std::unique_ptr<WaitRecord> m_pWait = std::make_unique<WaitRecord>();
    DWORD m_dwUnreportedErrors = 0;  // line errors a read cleared; reader thread only
    COMMTIMEOUTS m_timeouts{};
};

class CWin32SerialPlatform : public ISerialPlatform {
public:
    std::unique_ptr<ICommPort> Open(const std::u16string& devicePath) override;
    void Trace(const std::u16string& line) override;
    void ReportError(const char16_t* text, bool showBox) override;
    void Sleep(uint32_t ms) override { ::Sleep(ms); }
    void DeliverBurst(const uint8_t* bytes, size_t count) override;
    void ServeHandOffs(uint32_t ms) override;
};

// The window that receives the reader's bursts, and the message number it takes them as:
// `readMessage` is sent with the byte count and the bytes (a NUL follows them, valid during the
// call only). A lost port is told through CSerialLink::SetLossObserver.
void RegisterCommWindow(HWND window, UINT readMessage);
// Whether a read message being handled is the reader's own hand-off now in progress (and then
// it is taken): anything else with that number comes from another program.
bool TakeHandOff(WPARAM count, LPARAM bytes);

// The process's serial link, on the settings store.
CSerialLink& TheSerialLink();
// Text as the device gets it: in the ANSI code page received bytes are read in; a character
// the code page lacks becomes its default character.
std::vector<uint8_t> AnsiBytesOf(std::u16string_view text);
inline bool EnableComm() {
    return TheSerialLink().EnableComm();
}
inline bool DisableComm() {
    return TheSerialLink().DisableComm();
}
// Opens "\\.\" + name exclusively; the caller closes it by releasing the object.
inline std::unique_ptr<ICommPort> OpenPort(const std::u16string& name) {
    return TheSerialLink().OpenPort(name);
}

}  // namespace dorvane
