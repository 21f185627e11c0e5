// The Win32 serial port and the process's one serial link, with the entry points the rest of
// the program uses.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "serial/core/seriallink.h"

namespace dorvane {

class CWin32CommPort : public ICommPort {
public:
    explicit CWin32CommPort(HANDLE handle) : m_hPort(handle) {}
    ~CWin32CommPort() override;
    CWin32CommPort(const CWin32CommPort&) = delete;
    CWin32CommPort& operator=(const CWin32CommPort&) = delete;

    bool GetState(LineSettings& settings) override;
    bool SetState(const LineSettings& settings) override;
    bool BuildState(const char16_t* definition, LineSettings& settings) override;
    void ClearAbortOnError(LineSettings& settings) override;
    void ReadTimeouts() override;
    void SetImmediateReadTimeouts() override;
    void SetEventMask(uint32_t mask) override;
    bool WaitEvent() override;
    void CancelWait() override;
    bool ClearError(CommStatus& status) override;
    bool Read(uint8_t* buffer, size_t size, size_t& read) override;
    uint32_t LastError() override { return GetLastError(); }

private:
    HANDLE m_hPort;
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
    void PostServiceOff() override;
};

// The window that receives WM_COMM_READ (and the toggle command when the port is lost).
void RegisterCommWindow(HWND window);

// The process's serial link, on the settings store.
CSerialLink& TheSerialLink();
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
