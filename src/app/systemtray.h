// One icon in the shell's notification area: added with a tooltip and a callback message,
// changed, hidden, removed, and its mouse events turned into the tray menu or a command.
// Only the owner's (user-interface) thread calls it: the worker asks the owner for changes.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

class CSystemTray {
public:
    // The shell call; tests count the calls through their own function.
    using ShellNotifyFn = BOOL(WINAPI*)(DWORD message, PNOTIFYICONDATAW data);

    CSystemTray();
    virtual ~CSystemTray();
    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // FALSE when the icon is not in the tray. When only the shell refused (at logon it may not be
    // ready yet), the icon stays pending: it is added again every 2 s on the owner's timer
    // kAddRetryTimer (the owner routes it to OnAddRetryTimer) and when the shell announces itself
    // ("TaskbarCreated"), with the picture and tooltip set meanwhile.
    BOOL Create(HWND owner, UINT callbackMessage, LPCWSTR tip, HICON icon, UINT id);
    static constexpr UINT_PTR kAddRetryTimer = 0x7501;
    void OnAddRetryTimer();
    BOOL IsAddPending();

    void RemoveIcon();
    void HideIcon();
    void ShowIcon();

    // One of the program's icon resources at the tray's size.
    static HICON LoadPicture(UINT resourceId);

    BOOL SetIcon(HICON icon);
    BOOL SetIconResource(UINT resourceId);
    HICON GetIcon();

    BOOL SetTipText(LPCWSTR text);
    // A balloon notice at the icon, with the warning sign; texts are cut to the record's fields.
    BOOL ShowBalloon(LPCWSTR title, LPCWSTR text);
    std::wstring GetTipText();

    virtual LRESULT OnTrayMessage(WPARAM wParam, LPARAM lParam);
    // The mouse events (the callback's lParam) that open the menu or run its default command.
    static bool IsMenuClick(LPARAM mouse);
    // A command the menu shows above its last item while the owner needs it (0: none).
    void SetExtraMenuItem(UINT commandId, std::wstring text = {}) {
        m_nExtraCommand = commandId;
        m_strExtraText = std::move(text);
    }

    // The owner calls this for the "TaskbarCreated" message: the shell's notification area was
    // rebuilt (Explorer restarted) and has forgotten the icon.
    void OnTaskbarCreated();
    static UINT TaskbarCreatedMessage();

    void SetShellNotify(ShellNotifyFn notify) { m_pfnShellNotify = notify; }

private:
    UINT m_nExtraCommand = 0;  // user-interface thread only
    std::wstring m_strExtraText;
    BOOL Notify(DWORD message);
    // Adds the icon with every field; TRUE when it is in the tray afterwards.
    BOOL Add();
    // The shell did not take the icon: it is added again on the retry timer.
    void MakePending();
    void HideIconNow();
    void ShowIconNow();
    BOOL RetryAdd();

    ShellNotifyFn m_pfnShellNotify = Shell_NotifyIconW;
    BOOL m_bEnabled = FALSE;
    BOOL m_bHidden = FALSE;
    BOOL m_bAddPending = FALSE;  // the shell refused the add; the record waits for the next try
    NOTIFYICONDATAW m_nid{};
};
