#include "serial/serialport.h"

#include <atomic>
#include <cstring>

#include "app/appmessages.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "resource.h"
#include "settings/appprofile.h"

namespace dorvane {

namespace {

static_assert(sizeof(DCB) == kLineSettingsSize, "the stored line settings are the DCB record");

std::atomic<HWND> g_pCommWnd{nullptr};

DCB ToDcb(const LineSettings& settings) {
    DCB dcb;
    std::memcpy(&dcb, settings.data(), sizeof dcb);
    return dcb;
}

void FromDcb(const DCB& dcb, LineSettings& settings) {
    std::memcpy(settings.data(), &dcb, sizeof dcb);
}

}  // namespace

CWin32CommPort::~CWin32CommPort() {
    CloseHandle(m_hPort);
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

void CWin32CommPort::SetImmediateReadTimeouts() {
    m_timeouts.ReadIntervalTimeout = MAXDWORD;
    m_timeouts.ReadTotalTimeoutMultiplier = 0;
    m_timeouts.ReadTotalTimeoutConstant = 0;
    m_timeouts.WriteTotalTimeoutMultiplier = 0;
    m_timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(m_hPort, &m_timeouts);
}

void CWin32CommPort::SetEventMask(uint32_t mask) {
    SetCommMask(m_hPort, mask);
}

bool CWin32CommPort::WaitEvent() {
    DWORD event = 0;
    return WaitCommEvent(m_hPort, &event, nullptr);
}

void CWin32CommPort::CancelWait() {
    SetCommMask(m_hPort, 0);  // ends a pending WaitCommEvent on Windows and Wine alike
}

bool CWin32CommPort::ClearError(CommStatus& status) {
    DWORD errors = 0;
    COMSTAT comstat{};
    if (!ClearCommError(m_hPort, &errors, &comstat)) {
        return false;
    }
    status.errors = errors;
    status.queued = comstat.cbInQue;
    return true;
}

bool CWin32CommPort::Read(uint8_t* buffer, size_t size, size_t& read) {
    DWORD bytesRead = 0;
    const BOOL ok = ReadFile(m_hPort, buffer, static_cast<DWORD>(size), &bytesRead, nullptr);
    read = bytesRead;
    return ok;
}

std::unique_ptr<ICommPort> CWin32SerialPlatform::Open(const std::u16string& devicePath) {
    HANDLE handle = CreateFileW(AsWide(devicePath.c_str()), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return std::make_unique<CWin32CommPort>(handle);
}

void CWin32SerialPlatform::Trace(const std::u16string& line) {
    TraceLog(L"%s", AsWide(line.c_str()));
}

void CWin32SerialPlatform::ReportError(const char16_t* text, bool showBox) {
    ::ReportError(AsWide(text), showBox);
}

void CWin32SerialPlatform::DeliverBurst(const uint8_t* bytes, size_t count) {
    if (HWND window = g_pCommWnd) {
        SendMessageW(window, WM_COMM_READ, count, reinterpret_cast<LPARAM>(bytes));
    }
}

void CWin32SerialPlatform::ServeHandOffs(uint32_t ms) {
    // Sent messages are dispatched while the thread waits in these calls.
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_SENDMESSAGE);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

void CWin32SerialPlatform::PostServiceOff() {
    if (HWND window = g_pCommWnd) {
        PostMessageW(window, WM_SERVICE_OFF, 0, 0);
    }
}

void RegisterCommWindow(HWND window) {
    g_pCommWnd = window;
}

CSerialLink& TheSerialLink() {
    static CWin32SerialPlatform platform;
    static CSerialLink link(platform, theProfile);
    return link;
}

}  // namespace dorvane
