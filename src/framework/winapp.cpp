#include "framework/winapp.h"

#include <commctrl.h>

#include <algorithm>

#include "framework/dialog.h"
#include "framework/framewnd.h"

namespace framework {

namespace {

CWinApp* g_pApp = nullptr;

}  // namespace

CWinApp* GetApp() {
    return g_pApp;
}

CWinApp::CWinApp(LPCWSTR appName) : m_pszAppName(appName) {
    g_pApp = this;
}

CWinApp::~CWinApp() {
    if (g_pApp == this) {
        g_pApp = nullptr;
    }
}

BOOL CWinApp::InitInstance() {
    // Property sheets and the themed controls of the manifest need the common controls.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    return TRUE;
}

int CWinApp::Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        CFrameWnd* main = m_pMainWnd;
        if (main != nullptr && main->GetAccelerators() != nullptr &&
            TranslateAcceleratorW(main->m_hWnd, main->GetAccelerators(), &msg)) {
            continue;
        }
        if (PreTranslateModeless(msg)) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

BOOL CWinApp::CreateMainFrame(CFrameWnd* frame, UINT resourceId, DWORD style) {
    m_pMainWnd = frame;
    if (frame->LoadFrame(resourceId, style)) {
        return TRUE;
    }
    // A window that was created and destroyed again has deleted its object (and let go of it as
    // the main window) already; one that never came to be has not.
    delete m_pMainWnd;
    m_pMainWnd = nullptr;
    // Its destruction may have asked the loop to end (WM_DESTROY of the main window).
    MSG quit;
    PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    return FALSE;
}

void CWinApp::AddModeless(CDialog* dialog) {
    m_modeless.push_back(dialog);
}

void CWinApp::RemoveModeless(CDialog* dialog) {
    m_modeless.erase(std::remove(m_modeless.begin(), m_modeless.end(), dialog), m_modeless.end());
}

BOOL CWinApp::PreTranslateModeless(MSG& msg) {
    if (msg.hwnd == nullptr) {
        return FALSE;
    }
    const HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    const auto found = std::find_if(m_modeless.begin(), m_modeless.end(),
                                    [root](const CDialog* dialog) { return dialog->m_hWnd == root; });
    // The dialog may be destroyed while it handles the message (Esc): nothing after the call.
    return found != m_modeless.end() && (*found)->PreTranslateMessage(&msg);
}

BOOL CWinApp::OnCmdMsg(UINT, CCmdUI*) {
    return FALSE;
}

}  // namespace framework

// The entry point of every program built on the framework.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    framework::CWinApp* app = framework::GetApp();
    if (app == nullptr) {
        return 0;
    }
    if (!app->InitInstance()) {
        return app->m_nInitExitCode;
    }
    return app->Run();
}
