// The tray icon against a scripted shell on the real system's windows and timers: an icon the
// shell refuses at start (a shell not yet up at logon) is added later, as it was set meanwhile.
#include <windows.h>

#include <string>
#include <vector>

#include "app/systemtray.h"
#include "doctest/doctest.h"

namespace {

struct ScriptedShell {
    bool up = false;
    std::vector<DWORD> calls;
    std::wstring addedTip;
    HICON addedIcon = nullptr;
};
ScriptedShell g_shell;

BOOL WINAPI ScriptedNotify(DWORD message, PNOTIFYICONDATAW data) {
    g_shell.calls.push_back(message);
    if (message == NIM_ADD) {
        if (!g_shell.up) {
            return FALSE;
        }
        g_shell.addedTip = data->szTip;
        g_shell.addedIcon = data->hIcon;
    }
    return TRUE;
}

bool RetryTimerFires(HWND owner, DWORD withinMs) {
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < withinMs) {
        if (PeekMessageW(&msg, owner, WM_TIMER, WM_TIMER, PM_REMOVE) && msg.wParam == CSystemTray::kAddRetryTimer) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

}  // namespace

TEST_CASE("an icon the shell refused at start is added on the retry timer or when the shell announces itself") {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(owner != nullptr);
    g_shell = ScriptedShell{};
    CSystemTray tray;
    tray.SetShellNotify(ScriptedNotify);
    CHECK_FALSE(tray.Create(owner, WM_USER + 1, L"DORVANE", nullptr, 131));
    CHECK(tray.IsAddPending());

    // Changes meanwhile reach no shell, and are what the later add shows.
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    CHECK_FALSE(tray.SetIcon(icon));
    CHECK_FALSE(tray.SetTipText(L"DORVANE, Disabled"));
    CHECK(g_shell.calls == std::vector<DWORD>{NIM_ADD});

    CHECK(RetryTimerFires(owner, 3000));
    tray.OnAddRetryTimer();  // the shell is still down
    CHECK(tray.IsAddPending());

    g_shell.up = true;
    tray.OnTaskbarCreated();
    CHECK_FALSE(tray.IsAddPending());
    CHECK(g_shell.addedTip == L"DORVANE, Disabled");
    CHECK(g_shell.addedIcon == icon);
    CHECK(g_shell.calls == std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_ADD});
    CHECK_FALSE(KillTimer(owner, CSystemTray::kAddRetryTimer));  // the retries have ended
    CHECK(tray.SetTipText(L"DORVANE [Send], Enabled @ COM12"));

    tray.RemoveIcon();
    DestroyWindow(owner);
}
