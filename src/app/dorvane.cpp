#include "app/dorvane.h"

#include "app/aboutdlg.h"
#include "app/appname.h"
#include "app/instancecount.h"
#include "app/mainfrm.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/misc.h"
#include "resource.h"
#include "serial/serialport.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"

using namespace dorvane;

CDorvaneApp theApp;

CDorvaneApp::CDorvaneApp() : CWinApp(AsWide(kAppName)) {}

BOOL CDorvaneApp::InitInstance() {
    DebugPrintf(L"start app instance");
    if (!ClaimSingleInstance()) {
        MsgBox(L"DORVANE is already running", MB_OK, 0);
        return FALSE;
    }
    CWinApp::InitInstance();
    SetRegistryKey(AsWide(kCompanyKey));
    // The character-count rule is switched on at every start, whatever the store held.
    WriteSetting(theProfile, SENDKB_RCVCHARS, 1);

    auto* frame = new CMainFrame;
    // The overlapped-window style; the framework's "add the document title" flag has no meaning
    // for a frame without documents.
    if (!CreateMainFrame(frame, IDR_MAINFRAME, WS_OVERLAPPEDWINDOW)) {
        MsgBox(L"DORVANE cannot start: its window could not be created!", MB_ICONERROR | MB_OK, 0);
        m_nInitExitCode = 1;
        return FALSE;
    }
    SetWindowTextW(frame->m_hWnd, AsWide(kAppName));
    ShowWindow(frame->m_hWnd, SW_HIDE);
    RegisterCommWindow(frame->m_hWnd);
    PostMessageW(frame->m_hWnd, WM_COMMAND, ID_ENABLE_COMPORT, 0);  // enables once the loop runs
    DebugPrintf(L"start app instance, done");
    return TRUE;
}

BOOL CDorvaneApp::OnCmdMsg(UINT id, framework::CCmdUI* ui) {
    if (id != ID_APP_ABOUT) {
        return FALSE;
    }
    if (ui == nullptr) {
        OnAbout();
    }
    return TRUE;
}

void CDorvaneApp::OnAbout() {
    // Shift and Ctrl held: the hidden main window comes onto the screen.
    if (GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) < 0 && m_pMainWnd != nullptr) {
        ShowWindow(m_pMainWnd->m_hWnd, SW_SHOW);
        UpdateWindow(m_pMainWnd->m_hWnd);
    }
    CAboutDlg().DoModal();
}
