#include "framework/winapp.h"

#include <commctrl.h>

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
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
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
