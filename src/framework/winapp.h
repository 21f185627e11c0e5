// The application object: one per program, built before wWinMain runs. It owns the main window
// pointer, runs the message loop (with the main frame's accelerators) and handles the commands
// that no window handles.
#pragma once

#include <windows.h>

#include <vector>

#include "framework/cmdui.h"

namespace framework {

class CDialog;
class CFrameWnd;

class CWinApp {
public:
    explicit CWinApp(LPCWSTR appName);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Prepares the program; FALSE ends it at once without a message loop.
    virtual BOOL InitInstance();
    // Runs the message loop until the main window is destroyed; returns the exit code.
    virtual int Run();
    virtual BOOL OnCmdMsg(UINT id, CCmdUI* ui);

    // Makes frame the main window and creates it from resourceId. On failure the frame is
    // deleted (once, whether or not its window came to be), the main window is none, and no
    // request to end the loop is left behind (it would close a message box at once): FALSE.
    BOOL CreateMainFrame(CFrameWnd* frame, UINT resourceId, DWORD style);

    // The modeless dialogs open now: the message loop gives each the messages of its window and
    // controls first (CDialog::PreTranslateMessage).
    void AddModeless(CDialog* dialog);
    void RemoveModeless(CDialog* dialog);

    // Remembers the registry company key of the program's settings.
    void SetRegistryKey(LPCWSTR company) { m_pszRegistryKey = company; }

    LPCWSTR m_pszAppName;
    LPCWSTR m_pszRegistryKey = nullptr;
    CFrameWnd* m_pMainWnd = nullptr;
    // The process's exit code when InitInstance refuses to start (0: a normal refusal).
    int m_nInitExitCode = 0;

private:
    // TRUE when a modeless dialog took the message.
    BOOL PreTranslateModeless(MSG& msg);

    std::vector<CDialog*> m_modeless;
};

// The program's one application object.
CWinApp* GetApp();

}  // namespace framework
