#include "app/systemtray.h"

#include "diag/dbg.h"
#include "framework/foreground.h"
#include "resource.h"

namespace {

constexpr UINT kAllFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
// The pop-up item a double click on the icon runs (About in the tray menu).
constexpr int kDoubleClickPosition = TRAYMENU_DOUBLECLICK_POSITION;
// At logon the shell may take a while to take icons.
constexpr UINT kAddRetryMs = 2000;

}  // namespace

// The tray shows small icons: take the drawn 16x16 image rather than a shrunk 32x32 one.
// Shared icons are owned by the system, so changing the picture often leaks nothing.
HICON CSystemTray::LoadPicture(UINT resourceId) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

CSystemTray::CSystemTray() = default;

CSystemTray::~CSystemTray() {
    RemoveIcon();
}

BOOL CSystemTray::Notify(DWORD message) {
    return m_pfnShellNotify(message, &m_nid);
}

BOOL CSystemTray::Add() {
    m_nid.uFlags = kAllFlags;
    if (Notify(NIM_ADD)) {
        return TRUE;
    }
    // Shell_NotifyIcon waits for a busy shell only a few seconds and can report a failure for
    // an icon the shell adds later; every further add of it then fails because it exists. A
    // change that succeeds says the icon is there (and gives it the picture and tooltip).
    // https://learn.microsoft.com/windows/win32/api/shellapi/nf-shellapi-shell_notifyiconw
    return Notify(NIM_MODIFY);
}

void CSystemTray::MakePending() {
    m_bEnabled = FALSE;
    m_bAddPending = TRUE;
    ::SetTimer(m_nid.hWnd, kAddRetryTimer, kAddRetryMs, nullptr);
}

BOOL CSystemTray::Create(HWND owner, UINT callbackMessage, LPCWSTR tip, HICON icon, UINT id) {
    DebugPrintf(L"create tray");
    m_bEnabled = LOBYTE(LOWORD(GetVersion())) >= 4;
    if (!m_bEnabled) {
        return FALSE;
    }
    m_bEnabled = owner != nullptr && IsWindow(owner);
    if (!m_bEnabled) {
        return FALSE;
    }
    // The full record with the balloon fields and balloon icon: 956 bytes in a 32-bit build,
    // 976 in this 64-bit one.
    m_nid.cbSize = sizeof(m_nid);
    m_nid.hWnd = owner;
    m_nid.uID = id;
    m_nid.hIcon = icon;
    m_nid.uFlags = kAllFlags;
    m_nid.uCallbackMessage = callbackMessage;
    // A longer tip is cut at the field's 127 characters rather than refused.
    lstrcpynW(m_nid.szTip, tip, ARRAYSIZE(m_nid.szTip));
    m_bEnabled = Add();
    if (!m_bEnabled) {
        MakePending();
    }
    DebugPrintf(L"create tray, done");
    return m_bEnabled;
}

BOOL CSystemTray::RetryAdd() {
    if (!m_bAddPending) {
        return m_bEnabled;
    }
    DebugPrintf(L"tray add, retry");
    if (!Add()) {
        return FALSE;
    }
    m_bEnabled = TRUE;
    m_bHidden = FALSE;
    m_bAddPending = FALSE;
    ::KillTimer(m_nid.hWnd, kAddRetryTimer);
    DebugPrintf(L"tray add, done");
    return TRUE;
}

void CSystemTray::OnAddRetryTimer() {
    RetryAdd();
}

BOOL CSystemTray::IsAddPending() {
    return m_bAddPending;
}

void CSystemTray::RemoveIcon() {
    if (m_bAddPending) {
        m_bAddPending = FALSE;
        ::KillTimer(m_nid.hWnd, kAddRetryTimer);
    }
    if (!m_bEnabled) {
        return;
    }
    m_nid.uFlags = 0;
    Notify(NIM_DELETE);  // from Hidden the shell no longer holds the icon and refuses; that is fine
    m_bEnabled = FALSE;
}

void CSystemTray::HideIconNow() {
    if (m_bEnabled && !m_bHidden) {
        m_nid.uFlags = NIF_ICON;
        Notify(NIM_DELETE);
        m_bHidden = TRUE;
    }
}

void CSystemTray::ShowIconNow() {
    if (m_bEnabled && m_bHidden) {
        m_bHidden = FALSE;
        if (!Add()) {
            MakePending();  // the shell is not ready (it restarted): tried again later
        }
    }
}

void CSystemTray::HideIcon() {
    HideIconNow();
}

void CSystemTray::ShowIcon() {
    ShowIconNow();
}

UINT CSystemTray::TaskbarCreatedMessage() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
    return message;
}

void CSystemTray::OnTaskbarCreated() {
    DebugPrintf(L"tray re-add");
    if (m_bAddPending) {
        RetryAdd();  // the shell is up now
        return;
    }
    HideIconNow();
    ShowIconNow();
}

BOOL CSystemTray::SetIcon(HICON icon) {
    if (icon == nullptr) {
        return FALSE;
    }
    if (m_bAddPending) {
        m_nid.hIcon = icon;  // shown when the add succeeds
    }
    if (!m_bEnabled) {
        return FALSE;
    }
    m_nid.uFlags = NIF_ICON;
    m_nid.hIcon = icon;
    return Notify(NIM_MODIFY);
}

BOOL CSystemTray::SetIconResource(UINT resourceId) {
    return SetIcon(LoadPicture(resourceId));
}

HICON CSystemTray::GetIcon() {
    return m_bEnabled ? m_nid.hIcon : nullptr;
}

BOOL CSystemTray::SetTipText(LPCWSTR text) {
    if (m_bAddPending) {
        lstrcpynW(m_nid.szTip, text, ARRAYSIZE(m_nid.szTip));  // shown when the add succeeds
    }
    if (!m_bEnabled) {
        return FALSE;
    }
    m_nid.uFlags = NIF_TIP;
    lstrcpynW(m_nid.szTip, text, ARRAYSIZE(m_nid.szTip));  // cut, never past the field
    return Notify(NIM_MODIFY);
}

BOOL CSystemTray::ShowBalloon(LPCWSTR title, LPCWSTR text) {
    if (!m_bEnabled) {
        return FALSE;
    }
    m_nid.uFlags = NIF_INFO;
    lstrcpynW(m_nid.szInfoTitle, title, ARRAYSIZE(m_nid.szInfoTitle));
    lstrcpynW(m_nid.szInfo, text, ARRAYSIZE(m_nid.szInfo));
    m_nid.dwInfoFlags = NIIF_WARNING;
    const BOOL shown = Notify(NIM_MODIFY);
    m_nid.szInfo[0] = L'\0';  // a later change of the icon or tooltip must not show it again
    return shown;
}

std::wstring CSystemTray::GetTipText() {
    return m_bEnabled ? std::wstring(m_nid.szTip) : std::wstring();
}

bool CSystemTray::IsMenuClick(LPARAM mouse) {
    const UINT message = LOWORD(mouse);
    return message == WM_LBUTTONUP || message == WM_RBUTTONUP || message == WM_LBUTTONDBLCLK;
}

LRESULT CSystemTray::OnTrayMessage(WPARAM wParam, LPARAM lParam) {
    const UINT id = m_nid.uID;
    const HWND owner = m_nid.hWnd;
    if (wParam != id) {
        return 0;
    }
    if (!IsMenuClick(lParam)) {
        return 1;
    }
    const UINT mouse = LOWORD(lParam);
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
    if (menu == nullptr) {
        return 0;
    }
    HMENU popup = GetSubMenu(menu, 0);
    if (popup == nullptr) {
        DestroyMenu(menu);
        return 0;
    }
    if (mouse == WM_LBUTTONDBLCLK) {
        {
            framework::CForegroundKeeper keeper;  // the command may open a dialog; see below
            SetForegroundWindow(owner);
            SendMessageW(owner, WM_COMMAND, GetMenuItemID(popup, kDoubleClickPosition), 0);
        }
        DestroyMenu(menu);
        DebugPrintf(L"tray memu2, done");
        return 1;
    }
    SetMenuDefaultItem(popup, 0, TRUE);
    if (m_nExtraCommand != 0) {
        // Above the last item (Exit), set off by a separator; the positions above stay.
        const int count = GetMenuItemCount(popup);
        InsertMenuW(popup, count - 1, MF_BYPOSITION | MF_STRING, m_nExtraCommand, m_strExtraText.c_str());
        InsertMenuW(popup, count, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    {
        // The menu needs its owner in front to close when the user clicks elsewhere; afterwards
        // the user's window gets the foreground back so typing reaches it again.
        framework::CForegroundKeeper keeper;
        SetForegroundWindow(owner);
        TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, owner, nullptr);
        PostMessageW(owner, WM_NULL, 0, 0);
    }
    DestroyMenu(menu);
    DebugPrintf(L"tray memu, done");
    return 1;
}
