#include "framework/core/windowkind.h"

#include "core/textcase.h"

namespace dorvane {

namespace {

// Another copy of Dorvane (another profile, an installed copy beside a portable one) is known by
// its executable's file NAME, not its full path: the copies run from different folders, and one
// file reached by two paths (a short name, a mapped drive) would not compare equal either. Our
// own name counts, and so does the product's, so a copy the user renamed still knows the others.
// The classes our framework registers (CWnd::RegisterWndClass: "Dorvane:0", ...) tell a renamed
// copy's frames; its boxes are "#32770", everyone's dialog class, which tells nothing.
constexpr std::u16string_view kProductExe = u"Dorvane.exe";
constexpr std::u16string_view kFrameworkClassPrefix = u"Dorvane:";

// Windows the shell brings to the front that are never a typing target, whichever process
// shows them.
constexpr std::u16string_view kShellClasses[] = {
    // The taskbars, the notification area's overflow (Windows 10 and 11) and the desktop
    // (observed class names; the desktop's own handle comes as WindowFacts::shellOrDesktop).
    u"Shell_TrayWnd",
    u"Shell_SecondaryTrayWnd",
    u"NotifyIconOverflowWindow",
    u"TopLevelWindowForOverflowXamlIsland",
    u"Progman",
    u"WorkerW",
    // A menu and the task switch window, classes of the system's own:
    // https://learn.microsoft.com/windows/win32/winmsg/about-window-classes
    u"#32768",
    u"#32771",
    // Alt+Tab and Task View of Windows 10 and of Windows 11, the classic Alt+Tab, the window
    // the shell activates while it switches, the input-language switcher of Win+Space
    // (observed class names, none documented).
    u"MultitaskingViewFrame",
    u"XamlExplorerHostIslandWindow",
    u"TaskSwitcherWnd",
    u"ForegroundStaging",
    u"Shell_InputSwitchTopLevelWindow",
};

// Processes that show nothing but the shell's surfaces. Their windows have the class
// "Windows.UI.Core.CoreWindow" that every packaged app's window has, so it is the process that
// tells them; text typed into them runs a search and its Enter launches the top result. The
// names are observed (Microsoft's reference names none). Start could also be asked through
// IAppVisibility::IsLauncherVisible, but that is one surface of these and a COM object per look:
// https://learn.microsoft.com/windows/win32/api/shobjidl_core/nf-shobjidl_core-iappvisibility-islaunchervisible
constexpr std::u16string_view kShellHosts[] = {
    u"StartMenuExperienceHost.exe",  // Start (Windows 10 1903 and later, Windows 11)
    u"SearchHost.exe",               // Search (Windows 11)
    u"SearchApp.exe",                // Search (Windows 10 2004 and later)
    u"SearchUI.exe",                 // Search and Cortana (Windows 10 before 2004)
    u"ShellExperienceHost.exe",      // notification centre, quick settings, the flyouts
    u"ShellHost.exe",                // quick settings of Windows 11 24H2
    u"LockApp.exe",                  // the lock screen
    u"TextInputHost.exe",            // touch keyboard, emoji panel, clipboard history
};

std::u16string_view FileNameOf(std::u16string_view path) {
    const size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

template <size_t N>
bool Listed(const std::u16string_view (&list)[N], std::u16string_view name) {
    for (std::u16string_view entry : list) {
        if (SameTextIgnoringCase(entry, name)) {
            return true;
        }
    }
    return false;
}

bool IsAnotherCopy(const WindowFacts& facts) {
    const std::u16string_view exe = FileNameOf(facts.exePath);
    if (!exe.empty() &&
        (SameTextIgnoringCase(exe, FileNameOf(facts.ownExePath)) || SameTextIgnoringCase(exe, kProductExe))) {
        return true;
    }
    return facts.className.size() > kFrameworkClassPrefix.size() &&
           SameTextIgnoringCase(facts.className.substr(0, kFrameworkClassPrefix.size()),
                                kFrameworkClassPrefix);
}

}  // namespace

WindowKind KindOfWindow(const WindowFacts& facts) {
    if (facts.thisProcess || IsAnotherCopy(facts)) {
        return WindowKind::kOwnWindow;
    }
    if (facts.shellOrDesktop || Listed(kShellClasses, facts.className) ||
        Listed(kShellHosts, FileNameOf(facts.exePath))) {
        return WindowKind::kShell;
    }
    return WindowKind::kUserWindow;
}

}  // namespace dorvane
