// A small frame that owns a CSystemTray, a CChildView and the About box, built on the program's
// framework and resources, for the end-to-end tests of the window layer. Every command and
// tray result goes to LOG_FILE; the tests trigger the steps below with posted messages.
//   trayhost.exe LOG_FILE [gallery]   (gallery: one more tray icon per state, for a screenshot)
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/aboutdlg.h"
#include "app/childview.h"
#include "app/systemtray.h"
#include "framework/framewnd.h"
#include "framework/propsheet.h"
#include "framework/winapp.h"
#include "resource.h"
#include "toolio.h"

namespace {

constexpr UINT WM_TRAY_NOTIFY = WM_USER + 1;
// Steps the tests ask for.
constexpr UINT WM_HOST_PROBE = WM_APP + 1;          // log the icon's presence, tip and picture
constexpr UINT WM_HOST_SHELL_FORGETS = WM_APP + 2;  // delete the icon behind the object's back
constexpr UINT WM_HOST_HIDE_HIDE_SHOW = WM_APP + 3;
constexpr UINT WM_HOST_REMOVE = WM_APP + 4;  // RemoveIcon, then try to change the icon
constexpr UINT WM_HOST_SHOW = WM_APP + 5;    // show the frame
constexpr UINT WM_HOST_SIZES = WM_APP + 6;   // log the view's and the edit control's sizes
constexpr UINT WM_HOST_SHEET = WM_APP + 7;   // a property sheet on the settings page templates
constexpr UINT WM_HOST_TIMER = WM_APP + 8;   // timer 1 every 100 ms, for three ticks

std::unique_ptr<toolio::LineFile> g_log;
int g_shellCalls = 0;

void Log(const std::string& line) {
    g_log->Write(line);
}

BOOL WINAPI CountingShellNotify(DWORD message, PNOTIFYICONDATAW data) {
    ++g_shellCalls;
    return Shell_NotifyIconW(message, data);
}

HICON SmallIcon(UINT id) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                         LR_SHARED));
}

std::string SizeText(HWND hwnd) {
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    return std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

// Pages that only exchange their values, to prove the sheet and page bases.
class CProbeGeneralPage : public framework::CPropertyPage {
public:
    CProbeGeneralPage() : CPropertyPage(IDD_SETTING_GENERAL) {}
    int m_nCount = 3;
    BOOL m_bCrLf = TRUE;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override {
        framework::DDX_Text(pDX, IDC_SEND_COUNT, m_nCount);
        framework::DDX_Check(pDX, IDC_SEND_ON_CRLF, m_bCrLf);
    }
};

class CProbeAdvancedPage : public framework::CPropertyPage {
public:
    CProbeAdvancedPage() : CPropertyPage(IDD_SETTING_ADVANCED) {}
    BOOL m_bRecord = FALSE;
    std::wstring m_strFile = L"start.txt";

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override {
        framework::DDX_Check(pDX, IDC_RECORD_DATA, m_bRecord);
        framework::DDX_Text(pDX, IDC_RECORD_FILE, m_strFile);
    }
};

void RunProbeSheet() {
    CProbeGeneralPage general;
    CProbeAdvancedPage advanced;
    framework::CPropertySheet sheet(L"Setting");
    sheet.AddPage(&general);
    sheet.AddPage(&advanced);
    sheet.m_psh.dwFlags |= PSH_NOAPPLYNOW;
    const INT_PTR result = sheet.DoModal();
    Log("sheet " + std::to_string(result) + " count " + std::to_string(general.m_nCount) + " crlf " +
        std::to_string(general.m_bCrLf) + " record " + std::to_string(advanced.m_bRecord) + " file " +
        toolio::Escape(advanced.m_strFile));
}

class CHostFrame : public framework::CFrameWnd {
public:
    explicit CHostFrame(bool gallery) : m_bGallery(gallery) {}

    BOOL OnCmdMsg(UINT id, framework::CCmdUI* ui) override {
        if (id == ID_ENABLE_COMPORT || id == ID_SETTING || id == ID_HELP || id == ID_QUIT || id == ID_CLEAR) {
            if (ui == nullptr) {
                Log("command " + std::to_string(id));
                if (id == ID_CLEAR) {
                    m_wndView.ClearText();
                }
            } else if (id == ID_ENABLE_COMPORT) {
                ui->SetText(L"Disable Com Port");  // proves update handlers run before the pop-up
            }
            return TRUE;
        }
        return CFrameWnd::OnCmdMsg(id, ui);
    }

protected:
    int OnCreate(CREATESTRUCTW* cs) override {
        if (CFrameWnd::OnCreate(cs) == -1) {
            return -1;
        }
        if (!m_wndView.CreateEx(0, nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, RECT{}, m_hWnd,
                                IDW_PANE_FIRST)) {
            return -1;
        }
        m_TrayIcon.SetShellNotify(CountingShellNotify);
        const BOOL created = m_TrayIcon.Create(m_hWnd, WM_TRAY_NOTIFY, L"DORVANE", nullptr, IDR_TRAYMENU);
        m_TrayIcon.SetIconResource(IDR_MAINFRAME);
        Log("created " + std::to_string(created) + " " + std::to_string(reinterpret_cast<UINT_PTR>(m_hWnd)));
        if (m_bGallery) {
            UINT id = 1;
            for (UINT icon : {IDI_DISABLED, IDI_SENDING, IDI_RECEIVING, IDI_WAITING, IDI_SENDING_RECEIVING}) {
                auto tray = std::make_unique<CSystemTray>();
                tray->Create(m_hWnd, WM_TRAY_NOTIFY, L"state", SmallIcon(icon), id++);
                m_gallery.push_back(std::move(tray));
            }
        }
        return 0;
    }

    void OnInitMenuPopup(HMENU popup, UINT index, BOOL sysMenu) override {
        CFrameWnd::OnInitMenuPopup(popup, index, sysMenu);
        wchar_t first[64] = {};
        GetMenuStringW(popup, 0, first, 64, MF_BYPOSITION);
        Log("popup default " + std::to_string(static_cast<int>(GetMenuDefaultItem(popup, TRUE, 0))) +
            " first " + toolio::Escape(first));
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == CSystemTray::TaskbarCreatedMessage()) {
            m_TrayIcon.OnTaskbarCreated();
            return 0;
        }
        switch (message) {
            case WM_TRAY_NOTIFY: {
                const LRESULT result = m_TrayIcon.OnTrayMessage(wParam, lParam);
                Log("tray " + std::to_string(wParam) + " " + std::to_string(LOWORD(lParam)) + " -> " +
                    std::to_string(result));
                return result;
            }
            case WM_HOST_PROBE:
                Probe();
                return 0;
            case WM_HOST_SHELL_FORGETS: {
                NOTIFYICONDATAW nid{};
                nid.cbSize = sizeof(nid);
                nid.hWnd = m_hWnd;
                nid.uID = IDR_TRAYMENU;
                Log("forgotten " + std::to_string(Shell_NotifyIconW(NIM_DELETE, &nid)));
                return 0;
            }
            case WM_HOST_HIDE_HIDE_SHOW: {
                const int before = g_shellCalls;
                m_TrayIcon.HideIcon();
                m_TrayIcon.HideIcon();
                m_TrayIcon.ShowIcon();
                Log("hide-hide-show calls " + std::to_string(g_shellCalls - before));
                return 0;
            }
            case WM_HOST_REMOVE: {
                m_TrayIcon.RemoveIcon();
                const int before = g_shellCalls;
                const BOOL tip = m_TrayIcon.SetTipText(L"after");
                const BOOL icon = m_TrayIcon.SetIcon(SmallIcon(IDI_DISABLED));
                Log("after-remove tip " + std::to_string(tip) + " icon " + std::to_string(icon) + " calls " +
                    std::to_string(g_shellCalls - before));
                return 0;
            }
            case WM_HOST_TIMER:
                m_nTicks = 0;
                Log("timer started " + std::to_string(SetTimer(1, 100)));
                return 0;
            case WM_HOST_SHEET:
                RunProbeSheet();
                return 0;
            case WM_HOST_SHOW:
                ShowWindow(m_hWnd, SW_SHOW);
                UpdateWindow(m_hWnd);
                return 0;
            case WM_HOST_SIZES: {
                RECT client{};
                GetClientRect(m_wndView.m_hWnd, &client);
                Log("sizes view " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
                    " edit " + SizeText(m_wndView.m_wndEdit.m_hWnd));
                return 0;
            }
            default:
                return CFrameWnd::WindowProc(message, wParam, lParam);
        }
    }

    void OnTimer(UINT_PTR id) override {
        Log("tick " + std::to_string(id) + " " + std::to_string(GetTickCount()));
        if (++m_nTicks == 3) {
            Log("timer killed " + std::to_string(KillTimer(id)));
        }
    }

private:
    // Whether the shell holds the icon: it accepts a change only for an icon it has.
    void Probe() {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof(nid);
        nid.hWnd = m_hWnd;
        nid.uID = IDR_TRAYMENU;
        nid.uFlags = 0;
        const BOOL present = Shell_NotifyIconW(NIM_MODIFY, &nid);
        Log("probe present " + std::to_string(present) + " tip " + toolio::Escape(m_TrayIcon.GetTipText()) +
            " icon128 " + std::to_string(m_TrayIcon.GetIcon() == SmallIcon(IDR_MAINFRAME)));
    }

    bool m_bGallery;
    int m_nTicks = 0;
    CChildView m_wndView;
    CSystemTray m_TrayIcon;
    std::vector<std::unique_ptr<CSystemTray>> m_gallery;
};

class CHostApp : public framework::CWinApp {
public:
    CHostApp() : CWinApp(L"DORVANE") {}

    BOOL InitInstance() override {
        if (__argc < 2) {
            return FALSE;
        }
        g_log = std::make_unique<toolio::LineFile>(__wargv[1]);
        CWinApp::InitInstance();
        const bool gallery = __argc > 2 && std::wstring(__wargv[2]) == L"gallery";
        auto* frame = new CHostFrame(gallery);
        m_pMainWnd = frame;
        if (!frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW)) {
            Log("frame failed");
            return FALSE;
        }
        SetWindowTextW(frame->m_hWnd, L"DORVANE");
        return TRUE;
    }

    BOOL OnCmdMsg(UINT id, framework::CCmdUI* ui) override {
        if (id != ID_APP_ABOUT) {
            return FALSE;
        }
        if (ui == nullptr) {
            Log("command " + std::to_string(id));
            CAboutDlg().DoModal();
            Log("about closed");
        }
        return TRUE;
    }
};

CHostApp theHostApp;

}  // namespace
