#include "app/mainfrm.h"

#include <dbt.h>
#include <algorithm>
#include <utility>
#include <cwchar>
#include <exception>
#include <memory>
#include <string>

#include "app/appmessages.h"
#include "app/core/traytip.h"
#include "app/helpdlg.h"
#include "app/messagefilter.h"
#include "core/widestr.h"
#include "framework/foreground.h"
#include "diag/dbg.h"
#include "diag/errorproc.h"
#include "diag/misc.h"
#include "resource.h"
#include "serial/serialport.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"
#include "settings/dlgsettinggeneral.h"
#include "settings/setting.h"

using namespace dorvane;

namespace {

constexpr UINT_PTR kServiceTimer = 1;
constexpr UINT kServiceTimerMs = 500;
// While the device is gone, the port is tried this often.
constexpr UINT_PTR kPortWatchTimer = 3;
constexpr UINT kPortWatchMs = 2000;
// A state picture asked for is shown after this pause, the last one asked for only: a typed
// reading asks for "receiving" and "sending" within a few milliseconds, and the shell's work
// for each (Shell_NotifyIcon waits for it) would compete with the reading's first keys.
constexpr UINT_PTR kPictureTimer = 5;
constexpr UINT kPictureDelayMs = 10;

bool IsStatePicture(WPARAM id) {
    static const WPARAM kPictures[] = {IDR_MAINFRAME, IDI_DISABLED, IDI_SENDING, IDI_RECEIVING,
                                       IDI_SENDING_RECEIVING, IDI_WAITING};
    return std::find(std::begin(kPictures), std::end(kPictures), id) != std::end(kPictures);
}

bool IsButtonRelease(LPARAM mouse) {
    const UINT message = LOWORD(mouse);
    return message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_LBUTTONDBLCLK;
}

}  // namespace

const framework::CommandEntry<CMainFrame> CMainFrame::kCommands[] = {
    {ID_ENABLE_COMPORT, &CMainFrame::OnEnableComPort, &CMainFrame::OnUpdateEnableComPort},
    {ID_SETTING, &CMainFrame::OnSetting, &CMainFrame::OnUpdateSetting},
    {ID_HELP, &CMainFrame::OnHelp, nullptr},
    {ID_QUIT, &CMainFrame::OnQuit, nullptr},
    // The main window's own "E&xit" quits like the tray menu's.
    {ID_APP_EXIT, &CMainFrame::OnQuit, nullptr},
    {ID_CLEAR, &CMainFrame::OnClear, nullptr},
    {ID_DISCARD_WAITING, &CMainFrame::OnDiscardWaiting, nullptr},
    {ID_SEND_COMMAND, &CMainFrame::OnSendCommand, &CMainFrame::OnUpdateSendCommand},
};

CMainFrame::CMainFrame(std::u16string profile)
    : m_strProfile(std::move(profile)), m_service(*this, m_platform, m_keys, theProfile) {}

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
    // The picture goes with the first add: an icon the shell takes late is never blank.
    if (!m_TrayIcon.Create(m_hWnd, WM_TRAY_NOTIFY, L"DORVANE", CSystemTray::LoadPicture(IDR_MAINFRAME),
                           IDR_TRAYMENU)) {
        DebugPrintf(L"Failed to create tray icon\n");
        // Started at logon, the shell may not take icons yet: the service runs meanwhile and
        // the icon is added as soon as the shell takes it.
        if (!m_TrayIcon.IsAddPending()) {
            return -1;
        }
    }
    DebugPrintf(L"create tray icon, done");
    m_TrayIcon.SetIconResource(IDR_MAINFRAME);

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
    m_platform.StartCapsLockWatch();
    m_deviceHost.Attach(m_hWnd);
    TheSerialLink().SetWriteObserver(
        [this](WriteOutcome outcome, uint32_t error) { m_requests.OnWriteEnded(outcome, error); });
    TheSerialLink().SetArrivalObserver([this] { m_service.OnBytesArriving(); });
    DebugPrintf(L"create main window, done");
    return 0;
}

void CMainFrame::EnableService(BOOL bEnable) {
    try {
        DebugPrintf(L".");
        if (bEnable) {
            DebugPrintf(L"enable dorvane");
            if (!EnableComm()) {
                MsgBox(L"Enable comm service failed!\t", MB_ICONERROR | MB_OK, 0);
            } else if (!m_service.SetService()) {
                DisableComm();
                MsgBox(L"Enable send service failed!\t", MB_ICONERROR | MB_OK, 0);
            } else if ((m_nTimer = SetTimer(kServiceTimer, kServiceTimerMs)) == 0) {
                // Without the tick there is no time-out flush, no auto-disable and no icon
                // refresh: a service that cannot tick is not started.
                ::ReportError(L"SetTimer failed!", FALSE);
                DisableComm();
                m_service.RemoveService();
                MsgBox(L"Enable send service failed!\t", MB_ICONERROR | MB_OK, 0);
            } else {
                g_bServiceEnabled = true;
                g_bReceiving = false;
                g_bSending = false;
                m_service.RestartIdleTime();
                // The port is open and the worker runs: requests may go out, answers come in.
                m_requests.Start(LoadDeviceRequestSettings(theProfile));
            }
        } else {
            DebugPrintf(L"disable dorvane");
            m_requests.Stop();  // no poll, hotkey or acknowledgement from here on
            DisableComm();
            m_service.RemoveService();
            m_keys.ReleaseModifierKeys();  // the worker has ended: nobody else touches the modifiers
            g_bServiceEnabled = false;
            g_bReceiving = false;
            g_bSending = false;
            KillTimer(m_nTimer);
            m_nTimer = 0;
        }
    } catch (...) {
        DebugPrintf(L"enable/disable dorvane, exception");
    }
    m_service.UpdateStatusIcon(0);
    DebugPrintf(L"enable/disable dorvane, done");
}

void CMainFrame::OnEnableComPort() {
    if (m_portWatch.IsWaiting()) {
        // "Disable Com Port" while waiting for the device: the user wants it off.
        m_portWatch.StopWaiting();
        RefreshTrayTip();
        return;
    }
    EnableService(!g_bServiceEnabled);
}

void CMainFrame::OnUpdateEnableComPort(framework::CCmdUI& ui) {
    const bool on = g_bServiceEnabled || m_portWatch.IsWaiting();
    ui.SetText(on ? L"Disable Com Port" : L"Enable Com Port");
}

void CMainFrame::OnUpdateSetting(framework::CCmdUI& ui) {
    ui.Enable(!g_bServiceEnabled);
}

void CMainFrame::OnSetting() {
    if (g_bServiceEnabled) {
        return;  // settings change only while the port is closed
    }
    RunSettingSheet(m_service.LastReading());
    m_portWatch.Restart();  // waiting: perhaps for another port now
    RefreshTrayTip();
}

void CMainFrame::OnHelp() {
    CHelpDlg().DoModal();
}

void CMainFrame::OnQuit() {
    if (g_bServiceEnabled && MsgBox(L"Quit from DORVANE?\t", MB_YESNO | MB_ICONQUESTION, 0) != IDYES) {
        return;
    }
    Quit();
}

void CMainFrame::Quit() {
    m_portWatch.StopWaiting();
    EnableService(FALSE);
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
    DebugPrintf(L"quit requested");
    Quit();
}

void CMainFrame::OnClear() {
    m_wndView.ClearText();
}

void CMainFrame::OnDiscardWaiting() {
    m_service.DiscardWaitingReadings();
}

void CMainFrame::OnSendCommand() {
    m_requests.SendCommand();  // nothing while the service is off or no request is set
}

void CMainFrame::OnUpdateSendCommand(framework::CCmdUI& ui) {
    ui.Enable(m_requests.CanSendCommand());
}

void CMainFrame::OnDestroy() {
    TheSerialLink().SetWriteObserver(nullptr);  // the service is off: the writer has ended
    TheSerialLink().SetArrivalObserver(nullptr);  // and so has the reader
    SetMessageBoxOwner(nullptr);
    framework::StopTrackingUserWindow();
    m_platform.StopCapsLockWatch();
    CFrameWnd::OnDestroy();
}

void CMainFrame::OnClose() {
    // The close box only hides the window: the program goes on in the tray.
    ShowWindow(m_hWnd, SW_HIDE);
}

void CMainFrame::OnTimer(UINT_PTR id) {
    if (id == CSystemTray::kAddRetryTimer) {
        m_TrayIcon.OnAddRetryTimer();
    } else if (id == kPortWatchTimer) {
        m_portWatch.Try();
    } else if (id == kServiceTimer) {
        m_service.OnTimer();
    } else if (id == CDeviceRequestHost::kPollTimer) {
        // The device keeps its data while readings wait: a poll would only pile up more.
        m_requests.OnPollTimer(g_bServiceEnabled && m_service.ReadingsWait());
    } else if (id == kPictureTimer) {
        KillTimer(kPictureTimer);
        ShowPendingPicture();
    }
}

void CMainFrame::RefreshTrayTip() {
    TrayState state;
    state.profile = m_strProfile;
    state.enabled = g_bServiceEnabled;
    if (state.enabled) {
        state.record = g_bRecordData;
        state.port = ReadSetting(theProfile, COMPORT);
        state.comReads = m_service.ComReadCount();
        state.sentKeys = m_keys.SentKeyCount();
        state.waiting = m_service.WaitingReadings();
        state.waitingFor = m_service.WaitingFor();
        state.dropped = m_service.DroppedReadings();
        state.heldFor = m_service.HeldFor();
        state.waitingForCopy = m_service.WaitingForCopy();
        state.fault = m_faults.Tip();
    } else {
        state.watchingPort = m_portWatch.IsWaiting();
        state.watchedPort = m_portWatch.PortName();
    }
    m_TrayIcon.SetExtraMenuItem(state.waiting != 0 ? ID_DISCARD_WAITING : 0, L"Discard Waiting Readings");
    // The waiting states keep whatever picture the readings' handling last showed.
    const bool waitingState = state.enabled && (state.waiting != 0 || state.dropped != 0 || state.waitingForCopy);
    if (!waitingState) {
        m_TrayIcon.SetIconResource(state.enabled ? IDR_MAINFRAME : IDI_DISABLED);
    }
    m_TrayIcon.SetTipText(AsWide(ComposeTrayTip(state).c_str()));
    // The picture was set without the state's choice: the next tick puts the state's back, and
    // a state picture still waiting (asked for before this change) is not shown after it.
    KillTimer(kPictureTimer);
    m_nPendingPicture = 0;
    m_service.ForgetStatusIcon();
}

LRESULT CMainFrame::OnTrayNotify(WPARAM wParam, LPARAM lParam) {
    if (g_bSending) {
        return 1;  // no menu and no double click while keystrokes are being sent
    }
    if (!IsWindowEnabled(m_hWnd) && IsButtonRelease(lParam)) {
        // A box, dialog or the sheet of ours is open (it disabled this, its owner). A second
        // menu would let the user start a command under it; a click shows the open one instead.
        if (HWND modal = framework::ActiveModalWindow(m_hWnd)) {
            SetForegroundWindow(modal);
        }
        return 1;
    }
    RefreshTrayTip();
    return m_TrayIcon.OnTrayMessage(wParam, lParam);
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == CSystemTray::TaskbarCreatedMessage()) {
        m_TrayIcon.OnTaskbarCreated();
        return 0;
    }
    if (message == QuitRequestMessage()) {
        OnQuitRequest();
        return 0;
    }
    switch (message) {
        case WM_TRAY_NOTIFY:
            return OnTrayNotify(wParam, lParam);
        case WM_COMM_READ:
            // Only the reader's own hand-off; a hand-off served while the serial link stops is
            // dropped: nothing arrives after a disable.
            if (TakeHandOff(wParam, lParam) && TheSerialLink().AcceptsHandOff()) {
                m_service.OnCommRead(wParam, reinterpret_cast<const char*>(lParam));
            }
            return 1;
        case WM_CLEAR_BUFFER:
            m_service.OnClearBuffer();
            return 1;
        case WM_USER_16:
            return 1;
        case WM_STATUS_ICON:
            // A change the tray did not take is not remembered as shown: the next tick retries.
            // Only the state pictures: the message may come from any program.
            if (IsStatePicture(wParam) && lParam == 0) {
                m_nPendingPicture = static_cast<UINT>(wParam);
                if (SetTimer(kPictureTimer, kPictureDelayMs) == 0) {
                    ShowPendingPicture();
                }
            }
            return 0;
        case WM_TRAY_NOTICE:
            ShowQueuedNotices();
            return 0;
        case WM_PORT_TRIED:
            OnPortTried();
            return 0;
        case WM_WAITING_CHANGED:
            RefreshTrayTip();
            return 0;
        case WM_SERVICE_OFF:
            if ((wParam == kOffIdle || wParam == kOffPortLost) && lParam == 0) {
                OnServiceOff(wParam);
            }
            return 0;
        case WM_DEVICECHANGE:
            // A port arrived (a USB adapter plugged in), or devices changed: the port waited for
            // may be back, and the settings page lists the ports anew.
            // https://learn.microsoft.com/windows/win32/devio/wm-devicechange
            if ((wParam == DBT_DEVICEARRIVAL && lParam != 0 &&
                 reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)->dbch_devicetype == DBT_DEVTYP_PORT) ||
                wParam == DBT_DEVNODES_CHANGED) {
                m_portWatch.Try();
                CDlgSettingGeneral::OnDeviceChange();
            }
            OnDeviceNotice(wParam, lParam);
            return TRUE;
        case WM_HOTKEY:
            if (wParam == CDeviceRequestHost::kHotkeyId) {
                m_requests.SendCommand();
            }
            return 0;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
                OnResume();
            }
            return TRUE;
        default:
            return CFrameWnd::WindowProc(message, wParam, lParam);
    }
}

void CMainFrame::ShowPendingPicture() {
    if (m_nPendingPicture != 0 && !m_TrayIcon.SetIconResource(std::exchange(m_nPendingPicture, 0U))) {
        m_service.ForgetStatusIcon();
    }
}

bool CMainFrame::ShowTrayIcon(int iconId) {
    // The worker asks for icon changes too. It must not wait on the shell, which may in turn
    // wait for this window's thread: the change is queued to the user-interface thread.
    return PostMessageW(m_hWnd, WM_STATUS_ICON, static_cast<WPARAM>(iconId), 0) != FALSE;
}

void CMainFrame::ShowNotice(const std::u16string& title, const std::u16string& text) {
    // From the worker: queued to the user-interface thread, like the icon changes. The message
    // only says "look at the queue": a message carries no pointer another program could forge.
    {
        std::lock_guard lock(m_csNotices);
        m_notices.push_back(TrayNotice{std::wstring(AsWide(title.c_str())), std::wstring(AsWide(text.c_str()))});
    }
    PostMessageW(m_hWnd, WM_TRAY_NOTICE, 0, 0);
}

void CMainFrame::ShowQueuedNotices() {
    for (;;) {
        TrayNotice notice;
        {
            std::lock_guard lock(m_csNotices);
            if (m_notices.empty()) {
                return;
            }
            notice = std::move(m_notices.front());
            m_notices.pop_front();
        }
        DebugPrintf(L"notice: %s", notice.title.c_str());
        m_TrayIcon.ShowBalloon(notice.title.c_str(), notice.text.c_str());
    }
}

void CMainFrame::RaiseFault(const FaultReport& report) {
    const CFaultBoard::Raised raised = m_faults.Raise(report.fault, report.tip);
    if (raised == CFaultBoard::Raised::kAnnounce) {
        ShowNotice(report.title, report.text);
    }
    if (raised != CFaultBoard::Raised::kUnchanged) {
        PostMessageW(m_hWnd, WM_WAITING_CHANGED, 0, 0);  // the tooltip tells it from now
    }
}

void CMainFrame::ClearFault(Fault fault) {
    if (m_faults.Clear(fault)) {
        PostMessageW(m_hWnd, WM_WAITING_CHANGED, 0, 0);
    }
}

void CMainFrame::WaitingChanged() {
    PostMessageW(m_hWnd, WM_WAITING_CHANGED, 0, 0);  // from the worker: the tray is this thread's
}

void CMainFrame::PostServiceOff() {
    PostMessageW(m_hWnd, WM_SERVICE_OFF, kOffIdle, 0);
}

std::u16string CMainFrame::WatchedPortName() {
    return ReadSetting(theProfile, COMPORT);
}

void CMainFrame::StartPortTry(const std::u16string& name) {
    if (!m_portTry.Start(m_hWnd, WM_PORT_TRIED, name)) {
        m_portWatch.OnTryAnswer(name, false);
    }
}

void CMainFrame::OnPortTried() {
    for (const CPortTryRunner::Answer& answer : m_portTry.TakeAnswers()) {
        // While a window of ours is open (the settings sheet above all, which must not share the
        // settings with a running service) the port is not taken back; the next try after it does.
        m_portWatch.OnTryAnswer(answer.name, answer.opens && IsWindowEnabled(m_hWnd));
    }
}

void CMainFrame::EnableServiceAgain() {
    EnableService(TRUE);
    RefreshTrayTip();
}

void CMainFrame::TraceWatch(const std::u16string& line) {
    DebugPrintf(L"%s", AsWide(line.c_str()));
}

void CMainFrame::StartTries() {
    SetTimer(kPortWatchTimer, kPortWatchMs);
}

void CMainFrame::StopTries() {
    KillTimer(kPortWatchTimer);
}

void CMainFrame::OnServiceOff(WPARAM reason) {
    if (!g_bServiceEnabled) {
        return;  // the user turned it off meanwhile: it stays off
    }
    EnableService(FALSE);
    if (reason == kOffPortLost && ReadSetting(theProfile, AUTORECONNECT) != 0) {
        m_portWatch.StartWaiting();
    }
    RefreshTrayTip();
}

void CMainFrame::OnDeviceNotice(WPARAM event, LPARAM data) {
    // Some drivers keep answering the status query after a surprise removal, or never end the
    // reader's pending wait: the system's removal notice is taken as the loss too.
    // https://learn.microsoft.com/windows/win32/devio/dbt-deviceremovecomplete
    if (!g_bServiceEnabled) {
        return;
    }
    DeviceNotice notice = DeviceNotice::kOther;
    std::u16string removed;
    if (event == DBT_DEVICEREMOVECOMPLETE && data != 0 &&
        reinterpret_cast<const DEV_BROADCAST_HDR*>(data)->dbch_devicetype == DBT_DEVTYP_PORT) {
        notice = DeviceNotice::kPortRemoved;
        removed = AsUtf16(reinterpret_cast<const DEV_BROADCAST_PORT_W*>(data)->dbcp_name);
    } else if (event == DBT_DEVNODES_CHANGED) {
        notice = DeviceNotice::kDevicesChanged;
    }
    if (notice == DeviceNotice::kOther) {
        return;
    }
    const bool responds = notice == DeviceNotice::kDevicesChanged ? TheSerialLink().PortResponds() : true;
    if (NoticeMeansPortLost(notice, removed, ReadSetting(theProfile, COMPORT), responds)) {
        DebugPrintf(L"com-port removed");
        OnServiceOff(kOffPortLost);
    }
}

void CMainFrame::OnResume() {
    // A port whose device did not survive the sleep no longer answers: as if it was pulled out.
    if (g_bServiceEnabled && !TheSerialLink().PortResponds()) {
        DebugPrintf(L"com-port lost at resume");
        OnServiceOff(kOffPortLost);
    }
}
