#include "serial/serialport.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "settings/appprofile.h"

namespace dorvane {

namespace {

static_assert(sizeof(DCB) == kLineSettingsSize, "the stored line settings are the DCB record");

std::atomic<HWND> g_pCommWnd{nullptr};
// The number g_pCommWnd takes the bursts as (set before the window).
std::atomic<UINT> g_readMessage{0};
// The burst the reader is handing to the frame now (null when none).
std::atomic<const uint8_t*> g_pHandOffBytes{nullptr};
std::atomic<size_t> g_handOffCount{0};

DCB ToDcb(const LineSettings& settings) {
    DCB dcb;
    std::memcpy(&dcb, settings.data(), sizeof dcb);
    return dcb;
}

void FromDcb(const DCB& dcb, LineSettings& settings) {
    std::memcpy(settings.data(), &dcb, sizeof dcb);
}

}  // namespace

std::unique_ptr<CWin32CommPort> CWin32CommPort::Adopt(HANDLE port) {
    HANDLE events[3] = {};
    for (HANDLE& event : events) {
        event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    if (events[0] == nullptr || events[1] == nullptr || events[2] == nullptr) {
        for (HANDLE event : events) {
            if (event != nullptr) {
                CloseHandle(event);
            }
        }
        CloseHandle(port);
        return nullptr;
    }
    return std::unique_ptr<CWin32CommPort>(new CWin32CommPort(port, events[0], events[1], events[2]));
}

CWin32CommPort::~CWin32CommPort() {
    // The reader has ended. A write the driver still holds is not ended by the close: its record
    // is the serial link's, not ours.
    CloseHandle(m_hPort);
    if (m_hWaitEvent != nullptr) {
        CloseHandle(m_hWaitEvent);
    }
    CloseHandle(m_hReadEvent);
    CloseHandle(m_hStopEvent);
}

bool CWin32CommPort::GetState(LineSettings& settings) {
    DCB dcb = ToDcb(settings);
    dcb.DCBlength = sizeof dcb;
    const bool ok = GetCommState(m_hPort, &dcb);
    FromDcb(dcb, settings);
    return ok;
}

bool CWin32CommPort::SetState(const LineSettings& settings) {
    DCB dcb = ToDcb(settings);
    return SetCommState(m_hPort, &dcb);
}

bool CWin32CommPort::BuildState(const char16_t* definition, LineSettings& settings) {
    DCB dcb = ToDcb(settings);
    if (!BuildCommDCBW(AsWide(definition), &dcb)) {
        return false;
    }
    // Windows turns flow control off for a definition that names none; Wine leaves the fields
    // as they were, so it is done here for both.
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    FromDcb(dcb, settings);
    return true;
}

void CWin32CommPort::ClearAbortOnError(LineSettings& settings) {
    DCB dcb = ToDcb(settings);
    dcb.fAbortOnError = FALSE;
    FromDcb(dcb, settings);
}

void CWin32CommPort::ReadTimeouts() {
    GetCommTimeouts(m_hPort, &m_timeouts);
}

// A write that runs out of time completes with the bytes sent so far.
// https://learn.microsoft.com/windows/win32/api/winbase/ns-winbase-commtimeouts
void CWin32CommPort::SetTimeouts(uint32_t writeMsPerByte, uint32_t writeConstantMs) {
    m_timeouts.ReadIntervalTimeout = MAXDWORD;
    m_timeouts.ReadTotalTimeoutMultiplier = 0;
    m_timeouts.ReadTotalTimeoutConstant = 0;
    m_timeouts.WriteTotalTimeoutMultiplier = writeMsPerByte;
    m_timeouts.WriteTotalTimeoutConstant = writeConstantMs;
    SetCommTimeouts(m_hPort, &m_timeouts);
}

void CWin32CommPort::SetEventMask(uint32_t mask) {
    SetCommMask(m_hPort, mask);
}

// Overlapped waits and reads: https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-waitcommevent
// (an overlapped WaitCommEvent returns FALSE with ERROR_IO_PENDING and signals the OVERLAPPED's
// event when done) and .../ioapiset/nf-ioapiset-getoverlappedresult.
WaitStart CWin32CommPort::StartWait() {
    if (!m_pWait) {
        return WaitStart::kFailed;  // a wait was given up: the port is being stopped
    }
    m_pWait->overlapped = OVERLAPPED{};
    m_pWait->overlapped.hEvent = m_hWaitEvent;
    if (WaitCommEvent(m_hPort, &m_pWait->events, &m_pWait->overlapped)) {
        return WaitStart::kSignalled;
    }
    return GetLastError() == ERROR_IO_PENDING ? WaitStart::kPending : WaitStart::kFailed;
}

bool CWin32CommPort::AwaitWaitOrStop() {
    const HANDLE handles[2] = {m_hWaitEvent, m_hStopEvent};
    return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0;
}

bool CWin32CommPort::AwaitWaitEnd(uint32_t ms) {
    return WaitForSingleObject(m_hWaitEvent, ms) == WAIT_OBJECT_0;
}

void CWin32CommPort::CancelWait() {
    CancelIo(m_hPort);  // the reader's own thread started the wait
}

bool CWin32CommPort::FinishWait() {
    DWORD unused = 0;
    return GetOverlappedResult(m_hPort, &m_pWait->overlapped, &unused, TRUE);
}

void CWin32CommPort::AbandonWait() {
    // Closing the handle ends the operation; until then the record and its event stay valid.
    (void)m_pWait.release();
    m_hWaitEvent = nullptr;
}

void CWin32CommPort::SignalStop() {
    SetEvent(m_hStopEvent);
}

bool CWin32CommPort::ClearError(CommStatus& status) {
    DWORD errors = 0;
    COMSTAT comstat{};
    if (!ClearCommError(m_hPort, &errors, &comstat)) {
        return false;
    }
    status.errors = errors | std::exchange(m_dwUnreportedErrors, 0);
    status.queued = comstat.cbInQue;
    return true;
}

bool CWin32CommPort::Read(uint8_t* buffer, size_t size, size_t& read) {
    read = 0;
    // Only what is queued is asked for. Windows completes a read with these time-outs at once
    // even when nothing is queued; Wine 8 leaves an overlapped one pending until bytes come
    // (measured), which would hold the reader past its second chance and past a stop.
    DWORD errors = 0;
    COMSTAT comstat{};
    if (!ClearCommError(m_hPort, &errors, &comstat) || comstat.cbInQue == 0) {
        return true;  // nothing to read (a pulled-out device shows at the next wait)
    }
    m_dwUnreportedErrors |= errors;  // cleared here, reported by the next ClearError
    OVERLAPPED overlapped{};
    overlapped.hEvent = m_hReadEvent;
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, comstat.cbInQue));
    if (!ReadFile(m_hPort, buffer, wanted, nullptr, &overlapped) && GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    const HANDLE handles[2] = {m_hReadEvent, m_hStopEvent};
    if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(m_hPort);  // stopping: the read is given up (this thread's I/O only)
    }
    DWORD bytesRead = 0;
    const BOOL ok = GetOverlappedResult(m_hPort, &overlapped, &bytesRead, TRUE);
    read = ok ? bytesRead : 0;
    return ok;
}

CWin32CommWrite::CWin32CommWrite(HANDLE event, std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {
    m_overlapped.hEvent = event;
}

CWin32CommWrite::~CWin32CommWrite() {
    CloseHandle(m_overlapped.hEvent);
}

// The system signals the record's event when the write completes, after writing its status into
// the record; a cancel or the handle's close is no completion.
// https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-hasoverlappediocompleted
// https://learn.microsoft.com/windows/win32/fileio/cancelioex-func
bool CWin32CommWrite::AwaitDone(uint32_t ms) {
    if (!m_bStarted) {
        return true;
    }
    return WaitForSingleObject(m_overlapped.hEvent, ms) == WAIT_OBJECT_0 && HasOverlappedIoCompleted(&m_overlapped);
}

std::unique_ptr<ICommWrite> CWin32CommPort::NewWrite(std::vector<uint8_t> bytes) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        return nullptr;
    }
    return std::make_unique<CWin32CommWrite>(event, std::move(bytes));
}

// An overlapped write on the port handle, beside the reader's pending wait. The driver ends it
// at the port's write time-outs; the serial link cancels one that a driver (Wine's, for one)
// lets run longer.
// https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-writefile
bool CWin32CommPort::StartWrite(ICommWrite& write) {
    auto& record = static_cast<CWin32CommWrite&>(write);
    if (!WriteFile(m_hPort, record.m_bytes.data(), static_cast<DWORD>(record.m_bytes.size()), nullptr,
                   &record.m_overlapped) &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    record.m_bStarted = true;
    return true;
}

WriteWait CWin32CommPort::AwaitWrite(ICommWrite& write, uint32_t ms) {
    const HANDLE handles[2] = {static_cast<CWin32CommWrite&>(write).m_overlapped.hEvent, m_hStopEvent};
    switch (WaitForMultipleObjects(2, handles, FALSE, ms)) {
        case WAIT_OBJECT_0:
            return WriteWait::kDone;
        case WAIT_OBJECT_0 + 1:
            return WriteWait::kStopped;
        default:
            return WriteWait::kTimedOut;
    }
}

// Another thread's I/O may be cancelled too; the call does not wait for the write to end.
// https://learn.microsoft.com/windows/win32/fileio/cancelioex-func
void CWin32CommPort::CancelWrite(ICommWrite& write) {
    CancelIoEx(m_hPort, &static_cast<CWin32CommWrite&>(write).m_overlapped);
}

bool CWin32CommPort::FinishWrite(ICommWrite& write, size_t& written) {
    DWORD count = 0;
    const BOOL ok = GetOverlappedResult(m_hPort, &static_cast<CWin32CommWrite&>(write).m_overlapped, &count, FALSE);
    written = ok ? count : 0;
    return ok;
}

std::unique_ptr<ICommPort> CWin32SerialPlatform::Open(const std::u16string& devicePath) {
    HANDLE handle = CreateFileW(AsWide(devicePath.c_str()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, kPortOpenFlags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return CWin32CommPort::Adopt(handle);
}

void CWin32SerialPlatform::Trace(const std::u16string& line) {
    TraceLog(L"%s", AsWide(line.c_str()));
}

void CWin32SerialPlatform::ReportError(const char16_t* text, bool showBox) {
    ::ReportError(AsWide(text), showBox);
}

void CWin32SerialPlatform::DeliverBurst(const uint8_t* bytes, size_t count) {
    if (HWND window = g_pCommWnd) {
        g_handOffCount = count;
        g_pHandOffBytes = bytes;
        SendMessageW(window, g_readMessage, count, reinterpret_cast<LPARAM>(bytes));
        g_pHandOffBytes = nullptr;
    }
}

bool TakeHandOff(WPARAM count, LPARAM bytes) {
    // The frame's window is top-level: any program can post or send it the read message. Only the
    // reader's own hand-off, sent from its thread while it waits, carries these exact values,
    // and each is taken once.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-insendmessageex
    if ((InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) != ISMEX_SEND) {
        return false;
    }
    const uint8_t* expected = reinterpret_cast<const uint8_t*>(bytes);
    return expected != nullptr && count == g_handOffCount &&
           g_pHandOffBytes.compare_exchange_strong(expected, nullptr);
}

void CWin32SerialPlatform::ServeHandOffs(uint32_t ms) {
    // Sent messages are dispatched while the thread waits in these calls.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_SENDMESSAGE);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void RegisterCommWindow(HWND window, UINT readMessage) {
    g_readMessage = readMessage;
    g_pCommWnd = window;
}

CSerialLink& TheSerialLink() {
    static CWin32SerialPlatform platform;
    static CSerialLink link(platform, theProfile);
    return link;
}


std::vector<uint8_t> AnsiBytesOf(std::u16string_view text) {
    const std::wstring wide = ToWide(text);
    const int size =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
    if (size > 0) {
        WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), reinterpret_cast<char*>(bytes.data()),
                            size, nullptr, nullptr);
    }
    return bytes;
}

}  // namespace dorvane
