#include "app/mainfrm.h"

#include <dbt.h>

#include <utility>

#include "app/appmessages.h"
#include "app/helpdlg.h"
#include "app/messagefilter.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/misc.h"
#include "framework/foreground.h"
#include "pipeline/core/servicestate.h"
#include "resource.h"
#include "settingspages/dlgsettinggeneral.h"
#include "settingspages/setting.h"

using namespace dorvane;

const framework::CommandEntry<CMainFrame> CMainFrame::kCommands[] = {
    {ID_ENABLE_COMPORT, &CMainFrame::OnEnableComPort, &CMainFrame::OnUpdateEnableComPort},
    {ID_SETTING, &CMainFrame::OnSetting, &CMainFrame::OnUpdateSetting},
    {ID_HELP, &CMainFrame::OnHelp, nullptr},
    {ID_READINGS, &CMainFrame::OnReadings, nullptr},
    {ID_QUIT, &CMainFrame::OnQuit, nullptr},
    // The main window's own "E&xit" quits like the tray menu's.
    {ID_APP_EXIT, &CMainFrame::OnQuit, nullptr},
    {ID_CLEAR, &CMainFrame::OnClear, nullptr},
    {ID_DISCARD_WAITING, &CMainFrame::OnDiscardWaiting, nullptr},
    {ID_SEND_COMMAND, &CMainFrame::OnSendCommand, &CMainFrame::OnUpdateSendCommand},
};

CMainFrame::CMainFrame(std::u16string profile)
    : m_strProfile(profile),
      m_tasks([this] { return PostMessageW(m_hWnd, WM_RUN_TASKS, 0, 0) != FALSE; }),
      m_tray(
          std::move(profile), [this] { return m_service.View(); }, [this] { m_service.ForgetStatusIcon(); }),
      m_service(m_tray, m_tasks) {}

CMainFrame::~CMainFrame() = default;

BOOL CMainFrame::OnCmdMsg(UINT id, framework::CCmdUI* ui) {
    return framework::RouteCommand<CMainFrame>(this, kCommands, id, ui) || CFrameWnd::OnCmdMsg(id, ui);
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!CFrameWnd::PreCreateWindow(cs)) {
        return FALSE;
    }
    cs.style &= ~WS_VISIBLE;
    cs.dwExStyle &= ~WS_EX_CLIENTEDGE;
    cs.lpszClass = RegisterWndClass(0, nullptr, nullptr, nullptr);
    return cs.lpszClass != nullptr;
}

int CMainFrame::OnCreate(CREATESTRUCTW* cs) {
    DebugPrintf(L"create main window");
    DebugPrintf(L"create frame");
    if (CFrameWnd::OnCreate(cs) == -1) {
        return -1;
    }
    if (!m_wndView.CreateEx(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, RECT{}, m_hWnd,
                            IDW_PANE_FIRST)) {
        DebugPrintf(L"Failed to create view window\n");
        return -1;
    }
    DebugPrintf(L"create frame, done");
    m_hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));

    DebugPrintf(L"create tray icon");
    if (!m_tray.Create(m_hWnd)) {
        return -1;
    }
    DebugPrintf(L"create tray icon, done");

    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(m_hWnd, nullptr, width - width / 3, 0, width / 3, 2 * height / 3,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    ShowWindow(m_hWnd, SW_HIDE);
    SetMessageBoxOwner(m_hWnd);
    if (!AllowShellAndInstallerMessages(m_hWnd)) {
        DebugPrintf(L"ChangeWindowMessageFilterEx failed!");
    }
    framework::StartTrackingUserWindow();
    m_service.Attach(m_hWnd);
    DebugPrintf(L"create main window, done");
    return 0;
}

void CMainFrame::OnEnableComPort() {
    m_service.Switch().Toggle();
}

void CMainFrame::OnUpdateEnableComPort(framework::CCmdUI& ui) {
    ui.SetText(m_service.Switch().IsOnOrWaiting() ? L"Disable Com Port" : L"Enable Com Port");
}

void CMainFrame::OnUpdateSetting(framework::CCmdUI& ui) {
    ui.Enable(!m_service.Switch().IsEnabled());
}

void CMainFrame::OnSetting() {
    if (m_service.Switch().IsEnabled()) {
        return;  // settings change only while the port is closed
    }
    RunSettingSheet(m_service.LastReading());
    m_service.Switch().OnSettingsChanged();  // waiting: perhaps for another port now
    m_tray.Refresh();
}

void CMainFrame::OnHelp() {
    CHelpDlg().DoModal();
}

void CMainFrame::OnReadings() {
    // Beside the service, not instead of it: the main window stays enabled meanwhile.
    CReadingsWnd::Open(*this);
}

void CMainFrame::OnQuit() {
    if (m_service.Switch().IsEnabled() &&
        MsgBox(L"Quit from DORVANE?\t", MB_YESNO | MB_ICONQUESTION, 0) != IDYES) {
        return;
    }
    Quit(OffReason::kQuit);
}

void CMainFrame::Quit(OffReason reason) {
    m_service.Switch().TurnOff(reason);
    CFrameWnd::OnClose();  // destroys the frame (and this object with it) and ends the loop
    g_bStopSendKey = true;
}

void CMainFrame::OnQuitRequest() {
    // An installer replacing the program asks: no question. A box, dialog or the sheet of ours
    // that is open is closed first (its handler must not go on under a frame that is gone).
    if (!IsWindowEnabled(m_hWnd)) {
        if (HWND modal = framework::ActiveModalWindow(m_hWnd)) {
            PostMessageW(modal, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(modal, WM_COMMAND, IDNO, 0);  // the quit question has no Cancel
        }
        PostMessageW(m_hWnd, QuitRequestMessage(), 0, 0);
        return;
    }
    Quit(OffReason::kInstaller);
}

void CMainFrame::OnClear() {
    m_wndView.ClearText();
}

void CMainFrame::OnDiscardWaiting() {
    m_service.DiscardWaitingReadings();
}

void CMainFrame::OnSendCommand() {
    m_service.SendCommand();
}

void CMainFrame::OnUpdateSendCommand(framework::CCmdUI& ui) {
    ui.Enable(m_service.CanSendCommand());
}

void CMainFrame::OnDestroy() {
    CReadingsWnd::CloseOpen();  // it asks the service, which goes with this window
    m_service.Detach();
    m_tasks.Clear();  // nothing runs under a window that is gone
    SetMessageBoxOwner(nullptr);
    framework::StopTrackingUserWindow();
    CFrameWnd::OnDestroy();
}

void CMainFrame::OnClose() {
    // The close box only hides the window: the program goes on in the tray.
    ShowWindow(m_hWnd, SW_HIDE);
}

void CMainFrame::OnTimer(UINT_PTR id) {
    if (!m_tray.OnTimer(id)) {
        m_service.OnTimer(id);
    }
}

void CMainFrame::OnServiceOff(WPARAM reason, LPARAM extra) {
    if ((reason == kOffIdle || reason == kOffPortLost) && extra == 0) {
        m_service.Switch().TurnOff(reason == kOffIdle ? OffReason::kIdle : OffReason::kPortLost);
    }
}

void CMainFrame::OnDeviceChange(WPARAM event, LPARAM data) {
    // https://learn.microsoft.com/windows/win32/devio/wm-devicechange
    // https://learn.microsoft.com/windows/win32/devio/dbt-deviceremovecomplete
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    const bool aPort = header != nullptr && header->dbch_devicetype == DBT_DEVTYP_PORT;
    DeviceNotice notice = DeviceNotice::kOther;
    std::u16string port;
    if (event == DBT_DEVICEARRIVAL && aPort) {
        notice = DeviceNotice::kPortArrived;
    } else if (event == DBT_DEVICEREMOVECOMPLETE && aPort) {
        notice = DeviceNotice::kPortRemoved;
        port = AsUtf16(reinterpret_cast<const DEV_BROADCAST_PORT_W*>(data)->dbcp_name);
    } else if (event == DBT_DEVNODES_CHANGED) {
        notice = DeviceNotice::kDevicesChanged;
    }
    if (notice == DeviceNotice::kPortArrived || notice == DeviceNotice::kDevicesChanged) {
        CDlgSettingGeneral::OnDeviceChange();  // the settings page lists the ports anew
    }
    m_service.Switch().OnDeviceNotice(notice, port);
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CSystemTray::TaskbarCreatedMessage()) {
        m_tray.OnTaskbarCreated();
        return 0;
    }
    if (message == QuitRequestMessage()) {
        OnQuitRequest();
        return 0;
    }
    switch (message) {
        case WM_TRAY_NOTIFY:
            return m_tray.OnNotify(wParam, lParam, g_bSending);
        case WM_COMM_READ:
            m_service.OnCommRead(wParam, lParam);
            return 1;
        case WM_CLEAR_BUFFER:
            m_service.OnClearBuffer();
            return 1;
        case WM_USER_16:
            return 1;
        case WM_RUN_TASKS:
            m_tasks.RunTasks();
            return 0;
        case WM_PORT_TRIED:
            m_service.OnPortTried();
            return 0;
        case WM_SERVICE_OFF:
            OnServiceOff(wParam, lParam);
            return 0;
        case WM_DEVICECHANGE:
            OnDeviceChange(wParam, lParam);
            return TRUE;
        case WM_HOTKEY:
            m_service.OnHotkey(wParam);
            return 0;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
                m_service.Switch().OnResume();
            }
            return TRUE;
        default:
            return CFrameWnd::WindowProc(message, wParam, lParam);
    }
}
