// The hidden main window: it owns the service switch (serial link and keystroke pipeline), the
// tray icon and the child view, and receives the tray callback, the received bytes and the
// service timer.
#pragma once

#include <deque>
#include <mutex>
#include <string>

#include "app/childview.h"
#include "app/devicehost.h"
#include "app/core/portwatch.h"
#include "core/faults.h"
#include "app/porttry.h"
#include "app/systemtray.h"
#include "framework/framewnd.h"
#include "pipeline/core/processhooks.h"
#include "pipeline/sendkey.h"
#include "pipeline/win32pipeline.h"
#include "serial/serialport.h"

class CMainFrame : public framework::CFrameWnd,
                   private dorvane::CWin32PipelineHost,
                   private dorvane::IPortWatchHost {
public:
    // profile: the profile this copy runs for (empty: the default settings); its name starts
    // the tray's tooltip, so that two copies can be told apart.
    explicit CMainFrame(std::u16string profile = {});
    ~CMainFrame() override;

    // The only place the service is turned on or off, always in the same order.
    void EnableService(BOOL bEnable);

    BOOL OnCmdMsg(UINT id, framework::CCmdUI* ui) override;

protected:
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    int OnCreate(CREATESTRUCTW* cs) override;
    void OnClose() override;
    void OnDestroy() override;
    void OnTimer(UINT_PTR id) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnEnableComPort();
    void OnUpdateEnableComPort(framework::CCmdUI& ui);
    void OnSetting();
    void OnUpdateSetting(framework::CCmdUI& ui);
    void OnHelp();
    void OnQuit();
    void Quit();

    // The installer's quit request (QuitRequestMessage): the service is turned off and the
    // program ends without a question.
    void OnQuitRequest();
    void OnClear();
    void OnDiscardWaiting();
    void OnSendCommand();
    void OnUpdateSendCommand(framework::CCmdUI& ui);
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    // The tooltip and picture for the state: enabled (port, mode, counters), waiting, disabled.
    void RefreshTrayTip();
    // WM_SERVICE_OFF: only ever off; a lost device is then waited for.
    void OnServiceOff(WPARAM reason);
    void OnResume();
    // WM_DEVICECHANGE: the open port's device removed.
    void OnDeviceNotice(WPARAM event, LPARAM data);

    // Waiting for a lost device.
    std::u16string WatchedPortName() override;
    void StartPortTry(const std::u16string& name) override;
    void OnPortTried();
    void EnableServiceAgain() override;
    void TraceWatch(const std::u16string& line) override;
    void StartTries() override;
    void StopTries() override;

    static const framework::CommandEntry<CMainFrame> kCommands[];

    // What the pipeline asks of the frame.
    bool ShowTrayIcon(int iconId) override;
    void ShowPendingPicture();
    void PostServiceOff() override;
    void ShowNotice(const std::u16string& title, const std::u16string& text) override;
    void ShowQueuedNotices();
    void RaiseFault(const dorvane::FaultReport& report) override;
    void ClearFault(dorvane::Fault fault) override;
    void WaitingChanged() override;
    void ReadingsHandled(size_t count) override { m_requests.OnReadingsHandled(count); }

    struct TrayNotice {
        std::wstring title;
        std::wstring text;
    };
    std::mutex m_csNotices;
    std::deque<TrayNotice> m_notices;  // balloons the worker asked for, shown by WM_TRAY_NOTICE

    // What keeps the service from doing all it should, from every thread.
    dorvane::CFaultBoard m_faults;

    std::u16string m_strProfile;
    UINT_PTR m_nTimer = 0;
    HICON m_hIcon = nullptr;
    CChildView m_wndView;
    CSystemTray m_TrayIcon;
    UINT m_nPendingPicture = 0;  // a state picture waiting for kPictureTimer
    dorvane::CWin32KeyboardLayout m_layout;
    dorvane::CWin32KeyInjector m_injector;
    dorvane::CKeySynthesizer m_keys{m_layout, m_injector};
    dorvane::CWin32PipelinePlatform m_platform;
    dorvane::CPortWatch m_portWatch{*this};
    CPortTryRunner m_portTry{[](const std::u16string& name) { return dorvane::TheSerialLink().ProbePort(name); }};
    // What is written to the device; the worker acknowledges readings through it.
    CDeviceRequestHost m_deviceHost{[this](const dorvane::FaultReport& report) { RaiseFault(report); },
                                    [this](dorvane::Fault fault) { ClearFault(fault); }};
    dorvane::CDeviceRequests m_requests{m_deviceHost};
    // Declared last: it ends its worker before the tray and the keyboard go.
    dorvane::CSendService m_service;
};
