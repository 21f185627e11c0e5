// One icon in the shell's notification area: added with a tooltip and a callback message,
// changed, hidden, removed, and its mouse events turned into the tray menu or a command.
// Every operation holds the object's lock: the send-key worker changes the icon while the
// user-interface thread handles the mouse.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "framework/sync.h"

class CSystemTray {
public:
    // The shell call; tests count the calls through their own function.
    using ShellNotifyFn = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAW data);

    CSystemTray();
    CSystemTray(HWND owner, UINT callbackMessage, LPCWSTR tip, HICON icon, UINT id);
    virtual ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    BOOL Create(HWND owner, UINT callbackMessage, LPCWSTR tip, HICON icon, UINT id);

    void RemoveIcon();
    void HideIcon();
    void ShowIcon();
    void ReAddIcon();

    BOOL SetIcon(HICON icon);
    BOOL SetIconResource(UINT resourceId);
    BOOL SetIconResource(LPCWSTR resourceName);
    BOOL SetSystemIcon(UINT systemIconId);
    BOOL SetSystemIcon(LPCWSTR systemIconName);
    HICON GetIcon();

    BOOL SetTipText(LPCWSTR text);
    BOOL SetTipTextResource(UINT stringId);
    std::wstring GetTipText();

    BOOL SetOwnerWnd(HWND owner);
    HWND GetOwnerWnd();

    virtual LRESULT OnTrayMessage(WPARAM wParam, LPARAM lParam);

    // The owner calls this for the "TaskbarCreated" message: the shell's notification area was
    // rebuilt (Explorer restarted) and has forgotten the icon.
    void OnTaskbarCreated();
    static UINT TaskbarCreatedMessage();

    void SetShellNotify(ShellNotifyFn notify) { m_pfnShellNotify = notify; }

private:
    BOOL Notify(DWORD message);
    void HideIconLocked();
    void ShowIconLocked();

    framework::CCriticalSection m_cs;
    ShellNotifyFn m_pfnShellNotify = Shell_NotifyIconW;
    BOOL m_bEnabled = FALSE;
    BOOL m_bHidden = FALSE;
    NOTIFYICONDATAW m_nid{};
};
