// The service the tray switches: the serial link, the keystroke pipeline and the device
// requests, with the Win32 host each of them and the service switch ask for. The switch decides;
// this class carries its steps out, one call each. Worker threads reach the window thread only
// through the task queue.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "app/core/serviceswitch.h"
#include "app/core/serviceview.h"
#include "app/devicehost.h"
#include "serial/porttry.h"
#include "app/trayview.h"
#include "core/faults.h"
#include "framework/core/taskqueue.h"
#include "pipeline/core/readingpipeline.h"
#include "pipeline/core/logwriter.h"
#include "pipeline/sendkey.h"
#include "pipeline/win32logfile.h"
#include "pipeline/win32pipeline.h"
#include "serial/core/devicerequests.h"

class CService : private dorvane::CWin32PipelineHost, private dorvane::IServiceSwitchHost {
public:
    CService(CTrayView& tray, dorvane::CTaskQueue& tasks);
    CService(const CService&) = delete;
    CService& operator=(const CService&) = delete;

    // The window that owns the timers and the hotkey exists: the watches start.
    void Attach(HWND window);
    // The window goes (the service is off by then).
    void Detach();

    dorvane::CServiceSwitch& Switch() { return m_switch; }
    // What the tray shows now.
    dorvane::ServiceView View();
    // The service's timers; false when the timer is not the service's.
    bool OnTimer(UINT_PTR id);
    // WM_COMM_READ: taken only as the serial reader's own hand-off.
    void OnCommRead(WPARAM count, LPARAM bytes);
    void OnClearBuffer() { m_pipeline.OnClearBuffer(); }
    void OnHotkey(WPARAM id);
    // WM_PORT_TRIED: the waiting's port try answered.
    void OnPortTried();
    void SendCommand() { m_requests.SendCommand(); }  // nothing while off or with no request set
    bool CanSendCommand() { return m_requests.CanSendCommand(); }
    void DiscardWaitingReadings() { m_pipeline.DiscardWaitingReadings(); }
    uint32_t WaitingReadings() { return m_pipeline.WaitingReadings(); }
    // The last reading, the settings page's sample.
    std::u16string LastReading() { return m_pipeline.LastReading(); }
    // The tray shows another picture than the pipeline last chose.
    void ForgetStatusIcon() { m_pipeline.ForgetStatusIcon(); }
    // This run's readings, for the Readings window.
    const dorvane::CReadingJournal& Journal() { return m_pipeline.Journal(); }
    // Type Again: the reading's bytes are queued as a reading of its own; false while off.
    bool TypeAgain(const std::string& raw) { return m_pipeline.TypeAgain(raw); }
    // Called on the window thread after the journal changed (once for a batch of changes that
    // came together), until set to null.
    void SetJournalWatcher(std::function<void()> changed) { m_journalWatcher = std::move(changed); }

private:
    // The switch's steps.
    bool OpenPort() override;
    bool StartPipeline() override;
    bool StartTick() override;
    void RestartIdleTime() override { m_pipeline.RestartIdleTime(); }
    void StartRequests() override;
    void StopRequests() override { m_requests.Stop(); }
    void ClosePort() override;
    void StopPipeline() override;
    void ReleaseModifierKeys() override { m_keys.ReleaseModifierKeys(); }
    void StopTick() override;
    void ShowError(const std::u16string& text) override;
    void ReportSystemError(const std::u16string& text) override;
    void Trace(const std::u16string& line) override { CWin32PipelineHost::Trace(line); }
    void ShowStatePicture() override { m_pipeline.UpdateStatusIcon(); }
    void ShowState() override { m_tray.Refresh(); }
    std::u16string ConfiguredPort() override;
    std::u16string ConfiguredDevice() override;
    std::vector<dorvane::TreePort> PortsInTree() override;
    void StorePortMove(const std::u16string& from, const std::u16string& to) override;
    bool ReconnectsAfterLoss() override;
    bool PortResponds() override;
    void StartPortTry(const std::u16string& name) override;
    void StartTries() override;
    void StopTries() override;
    bool OurWindowOpen() override { return !IsWindowEnabled(m_hWnd); }

    // What the pipeline asks, from the worker too.
    bool ShowTrayPicture(dorvane::TrayPicture picture) override;
    void PostServiceOff() override;
    // From the worker and the switch alike.
    void ShowNotice(const std::u16string& title, const std::u16string& text) override;
    void RaiseFault(const dorvane::FaultReport& report) override;
    void ClearFault(dorvane::Fault fault) override;
    void WaitingChanged() override;
    void ReadingsHandled(size_t count) override { m_requests.OnReadingsHandled(count); }

    // The journal changed (any thread): the watcher is told once on the window thread.
    void JournalChanged();
    // LOG_FILE, made whole: a relative path is in the settings file's folder when the settings
    // are kept in one (they travel together), otherwise in the user's Documents folder.
    static std::u16string LogFilePath();

    CTrayView& m_tray;
    dorvane::CTaskQueue& m_tasks;
    std::function<void()> m_journalWatcher;      // the window thread's
    std::atomic<bool> m_journalRefreshPending{false};
    HWND m_hWnd = nullptr;
    // What keeps the service from doing all it should, from every thread.
    dorvane::CFaultBoard m_faults;
    dorvane::CServiceSwitch m_switch{*this};
    CPortTryRunner m_portTry;
    // What is written to the device; the worker acknowledges readings through it.
    CDeviceRequestHost m_deviceHost;
    dorvane::CDeviceRequests m_requests{m_deviceHost};
    dorvane::CWin32KeyboardLayout m_layout;
    dorvane::CWin32KeyInjector m_injector;
    dorvane::CKeySynthesizer m_keys{m_layout, m_injector};
    dorvane::CWin32PipelinePlatform m_platform;
    // The log file: each reading whose outcome is final, written while the service is on.
    dorvane::CWin32LogFile m_logFile;
    dorvane::CLogWriter m_logWriter;
    std::u16string m_strLogPort;  // the port of this enable, for the log's lines
    // Declared last: it ends its worker before the keyboard and the requests go.
    dorvane::CReadingPipeline m_pipeline;
};
