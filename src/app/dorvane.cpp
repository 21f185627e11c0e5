#include "app/dorvane.h"

#include "app/aboutdlg.h"
#include "app/appmessages.h"
#include "app/core/startrequest.h"
#include "app/instancecount.h"
#include "app/mainfrm.h"
#include "app/settingsexchange.h"
#include "core/appname.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/misc.h"
#include "resource.h"
#include "serial/serialport.h"
#include "settings/appprofile.h"
#include "settings/core/settingkeys.h"

#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

using namespace dorvane;

static_assert(IDW_PANE_FIRST == framework::kFirstPaneId, "the child view is the frame's first pane");

CDorvaneApp theApp;

CDorvaneApp::CDorvaneApp() : CWinApp(AsWide(kAppName)) {}

namespace {

// The words after the program's name, as the system splits the command line.
std::vector<std::u16string> CommandLineWords() {
    std::vector<std::u16string> words;
    int count = 0;
    if (LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            words.emplace_back(AsUtf16(args[i]));
        }
        LocalFree(args);
    }
    return words;
}

}  // namespace

BOOL CDorvaneApp::InitInstance() {
    DebugPrintf(L"start app instance");
    StartRequest request;
    if (const std::optional<std::u16string> error = ParseStartRequest(CommandLineWords(), request)) {
        MsgBox(AsWide(error->c_str()), MB_ICONERROR | MB_OK, 0);
        m_nInitExitCode = 1;
        return FALSE;
    }
    const SettingsStore store = ChooseSettingsStore(request.quiet);
    if (store == SettingsStore::kRefusedIniFile) {  // its box said why
        m_nInitExitCode = 1;
        return FALSE;
    }
    theProfile.SetSettingsSection(SettingsSectionFor(request.profile));
    if (request.action == StartRequest::Action::kExport) {
        m_nInitExitCode = ExportSettingsTo(request.file, request.quiet);
        return FALSE;
    }
    if (request.action == StartRequest::Action::kImport) {
        m_nInitExitCode = ImportSettingsFrom(request.file, request.quiet);  // a read-only store refuses the writes
        return FALSE;
    }
    if (!ClaimSingleInstance(AsWide(InstanceNameFor(request.profile).c_str()))) {
        MsgBox(L"DORVANE is already running", MB_OK, 0);
        return FALSE;
    }
    if (store == SettingsStore::kReadOnlyIniFile) {
        MsgBox(L"Setting file is read-only!\tDORVANE uses the settings it holds and stores no change.",
               MB_ICONWARNING | MB_OK, 0);
    }
    if (!request.profile.empty()) {
        DebugPrintf(L"profile %s", AsWide(request.profile.c_str()));
    }
    CWinApp::InitInstance();
    SetRegistryKey(AsWide(kCompanyKey));
    // The character-count rule is switched on at every start, whatever the store held.
    WriteSetting(theProfile, SENDKB_RCVCHARS, 1);

    auto* frame = new CMainFrame(request.profile);
    // The overlapped-window style; the framework's "add the document title" flag has no meaning
    // for a frame without documents.
    if (!CreateMainFrame(frame, IDR_MAINFRAME, WS_OVERLAPPEDWINDOW)) {
        MsgBox(L"DORVANE cannot start: its window could not be created!", MB_ICONERROR | MB_OK, 0);
        m_nInitExitCode = 1;
        return FALSE;
    }
    SetWindowTextW(frame->m_hWnd, AsWide(kAppName));
    ShowWindow(frame->m_hWnd, SW_HIDE);
    RegisterCommWindow(frame->m_hWnd, WM_COMM_READ);
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
