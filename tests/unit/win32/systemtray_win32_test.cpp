// The tray icon against a scripted shell on the real system's windows and timers: an icon the
// shell refuses at start (a shell not yet up at logon) is added later, as it was set meanwhile.
// The shell keeps Windows' rules: an add of an icon it holds fails, a change of one it does
// not hold fails, and a busy shell may add the icon yet report the add as failed.
#include <windows.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/messagefilter.h"
#include "app/systemtray.h"
#include "doctest/doctest.h"
#include "serial/porttry.h"

namespace {

struct ScriptedShell {
    bool up = false;
    bool holds = false;          // the icon is in the notification area
    bool slowFirstAdd = false;   // the next add takes the icon but reports a failure
    std::vector<DWORD> calls;
    std::wstring addedTip;
    HICON addedIcon = nullptr;   // the picture the shell shows
};
ScriptedShell g_shell;

BOOL WINAPI ScriptedNotify(DWORD message, PNOTIFYICONDATAW data) {
    g_shell.calls.push_back(message);
    switch (message) {
        case NIM_ADD:
            if (!g_shell.up || g_shell.holds) {
                return FALSE;
            }
            g_shell.holds = true;
            g_shell.addedTip = data->szTip;
            g_shell.addedIcon = data->hIcon;
            return !std::exchange(g_shell.slowFirstAdd, false);
        case NIM_MODIFY:
            if (!g_shell.holds) {
                return FALSE;
            }
            if (data->uFlags & NIF_ICON) {
                g_shell.addedIcon = data->hIcon;
            }
            if (data->uFlags & NIF_TIP) {
                g_shell.addedTip = data->szTip;
            }
            return TRUE;
        case NIM_DELETE:
            return std::exchange(g_shell.holds, false);
        default:
            return TRUE;
    }
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
    CHECK(g_shell.calls == std::vector<DWORD>{NIM_ADD, NIM_MODIFY});

    CHECK(RetryTimerFires(owner, 3000));
    tray.OnAddRetryTimer();  // the shell is still down
    CHECK(tray.IsAddPending());

    g_shell.up = true;
    tray.OnTaskbarCreated();
    CHECK_FALSE(tray.IsAddPending());
    CHECK(g_shell.addedTip == L"DORVANE, Disabled");
    CHECK(g_shell.addedIcon == icon);
    CHECK(g_shell.calls == std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_MODIFY, NIM_ADD});
    CHECK_FALSE(KillTimer(owner, CSystemTray::kAddRetryTimer));  // the retries have ended
    CHECK(tray.SetTipText(L"DORVANE [Send], Enabled @ COM12"));

    tray.RemoveIcon();
    DestroyWindow(owner);
}

TEST_CASE("an add the busy shell reported as failed although it took the icon: the picture still follows the state") {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(owner != nullptr);
    g_shell = ScriptedShell{};
    g_shell.up = true;
    g_shell.slowFirstAdd = true;
    HICON idle = LoadIconW(nullptr, IDI_APPLICATION);
    HICON sending = LoadIconW(nullptr, IDI_INFORMATION);
    CSystemTray tray;
    tray.SetShellNotify(ScriptedNotify);
    CHECK(tray.Create(owner, WM_USER + 1, L"DORVANE", idle, 131));
    CHECK_FALSE(tray.IsAddPending());
    CHECK(g_shell.addedIcon == idle);
    CHECK(tray.SetIcon(sending));
    CHECK(g_shell.addedIcon == sending);
    CHECK(tray.SetTipText(L"DORVANE [Send], Enabled @ COM12"));
    CHECK(g_shell.addedTip == L"DORVANE [Send], Enabled @ COM12");

    // The shell restarts but is not up yet when it announces itself: the re-add is retried.
    g_shell.holds = false;
    g_shell.up = false;
    tray.OnTaskbarCreated();
    CHECK(tray.IsAddPending());
    CHECK(RetryTimerFires(owner, 3000));
    g_shell.up = true;
    tray.OnAddRetryTimer();
    CHECK_FALSE(tray.IsAddPending());
    CHECK(g_shell.addedIcon == sending);
    CHECK(g_shell.addedTip == L"DORVANE [Send], Enabled @ COM12");

    tray.RemoveIcon();
    DestroyWindow(owner);
}

TEST_CASE("the shell's and the installer's registered messages are let through from lower integrity levels") {
    static std::vector<std::pair<UINT, DWORD>> allowed;
    allowed.clear();
    auto record = [](HWND, UINT message, DWORD action, PCHANGEFILTERSTRUCT) -> BOOL {
        allowed.emplace_back(message, action);
        return TRUE;
    };
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(window != nullptr);
    CHECK(AllowShellAndInstallerMessages(window, record));
    const std::vector<std::pair<UINT, DWORD>> expected{{RegisterWindowMessageW(L"TaskbarCreated"), MSGFLT_ALLOW},
                                                       {RegisterWindowMessageW(L"Velmora.DORVANE.Quit"), MSGFLT_ALLOW}};
    CHECK(allowed == expected);
    // The real call on this system.
    CHECK(AllowShellAndInstallerMessages(window));
    DestroyWindow(window);
}

TEST_CASE("a port whose open takes 5 s is tried off the window's thread: the window answers meanwhile") {
    constexpr UINT kTried = WM_APP + 4;
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(window != nullptr);
    CPortTryRunner runner([](const std::u16string& name) {
        Sleep(5000);  // a Bluetooth port out of range
        return name == u"COM9";
    });
    const DWORD start = GetTickCount();
    REQUIRE(runner.Start(window, kTried, u"COM9"));
    DWORD answeredIn = INFINITE;
    std::thread tray([&] {
        Sleep(500);
        const DWORD sent = GetTickCount();
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 3000, &result)) {
            answeredIn = GetTickCount() - sent;
        }
    });
    DWORD triedAfter = 0;
    MSG msg;
    while (triedAfter == 0 && GetTickCount() - start < 8000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == window && msg.message == kTried) {
                triedAfter = GetTickCount() - start;
            }
            DispatchMessageW(&msg);
        }
    }
    tray.join();
    CHECK(answeredIn < 200);
    CHECK(triedAfter >= 4900);
    const auto answers = runner.TakeAnswers();
    REQUIRE(answers.size() == 1);
    CHECK(answers[0].name == u"COM9");
    CHECK(answers[0].opens);
    CHECK(runner.TakeAnswers().empty());
    DestroyWindow(window);
}
