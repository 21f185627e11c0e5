#include <doctest/doctest.h>

#include <string>
#include <string_view>

#include "framework/core/windowkind.h"

using dorvane::KindOfWindow;
using dorvane::WindowFacts;
using dorvane::WindowKind;

namespace {

constexpr std::u16string_view kOurExe = u"C:\\Program Files\\Velmora\\DORVANE\\Dorvane.exe";
constexpr std::u16string_view kCoreWindow = u"Windows.UI.Core.CoreWindow";
constexpr std::u16string_view kExplorer = u"C:\\Windows\\explorer.exe";

struct Row {
    const char* window;  // what the user sees in front
    std::u16string_view className;
    std::u16string_view exePath;
    bool thisProcess = false;
    bool shellOrDesktop = false;
    std::u16string_view ownExePath = kOurExe;
};

void CheckAll(std::initializer_list<Row> rows, WindowKind expected) {
    for (const Row& row : rows) {
        const std::string window = row.window;
        CAPTURE(window);
        WindowFacts facts;
        facts.className = row.className;
        facts.exePath = row.exePath;
        facts.ownExePath = row.ownExePath;
        facts.thisProcess = row.thisProcess;
        facts.shellOrDesktop = row.shellOrDesktop;
        CHECK(KindOfWindow(facts) == expected);
    }
}

}  // namespace

TEST_CASE("a window of this copy or of any other copy of Dorvane holds typing") {
    CheckAll(
        {
            {"this copy's quit question", u"#32770", u"", true},
            {"this copy's hidden frame", u"Dorvane:0", u"", true},
            {"this copy's tray menu", u"#32768", u"", true},
            {"another profile's quit question", u"#32770", kOurExe},
            {"another profile's settings sheet", u"#32770",
             u"c:\\program files\\velmora\\dorvane\\DORVANE.EXE"},
            {"a portable copy's error box beside the installed one", u"#32770",
             u"E:\\Tools\\Dorvane\\Dorvane.exe"},
            {"the installed copy's box seen by a renamed portable one", u"#32770", kOurExe, false, false,
             u"E:\\Tools\\ScaleReader.exe"},
            {"a copy renamed like this one", u"#32770", u"D:\\Other\\scalereader.EXE", false, false,
             u"E:\\Tools\\ScaleReader.exe"},
            {"a renamed copy's hidden frame", u"Dorvane:3", u"D:\\Other\\Weigh.exe"},
        },
        WindowKind::kOwnWindow);
}

TEST_CASE("the taskbar, the desktop, Start, Search and the shell's other surfaces hold typing") {
    constexpr std::u16string_view kApps = u"C:\\Windows\\SystemApps\\";
    const std::u16string start =
        std::u16string(kApps) +
        u"Microsoft.Windows.StartMenuExperienceHost_cw5n1h2txyewy\\StartMenuExperienceHost.exe";
    const std::u16string search11 =
        std::u16string(kApps) + u"MicrosoftWindows.Client.CBS_cw5n1h2txyewy\\SearchHost.exe";
    const std::u16string search10 =
        std::u16string(kApps) + u"Microsoft.Windows.Search_cw5n1h2txyewy\\SearchApp.exe";
    const std::u16string cortana =
        std::u16string(kApps) + u"Microsoft.Windows.Cortana_cw5n1h2txyewy\\SearchUI.exe";
    const std::u16string flyouts =
        std::u16string(kApps) + u"ShellExperienceHost_cw5n1h2txyewy\\ShellExperienceHost.exe";
    const std::u16string lock = std::u16string(kApps) + u"Microsoft.LockApp_cw5n1h2txyewy\\LockApp.exe";
    const std::u16string input =
        std::u16string(kApps) + u"MicrosoftWindows.Client.CBS_cw5n1h2txyewy\\InputApp\\TextInputHost.exe";
    CheckAll(
        {
            {"the taskbar", u"Shell_TrayWnd", kExplorer},
            {"the taskbar of a second screen", u"Shell_SecondaryTrayWnd", kExplorer},
            {"the notification area's overflow", u"NotifyIconOverflowWindow", kExplorer},
            {"the overflow of Windows 11", u"TopLevelWindowForOverflowXamlIsland", kExplorer},
            {"the desktop", u"Progman", kExplorer},
            {"the desktop behind a slide show", u"WorkerW", kExplorer},
            {"the shell's window", u"Progman", kExplorer, false, true},
            {"the desktop window", u"#32769", u"", false, true},
            {"the Win+X menu", u"#32768", kExplorer},
            {"the classic task switch window", u"#32771", kExplorer},
            {"Start", kCoreWindow, start},
            {"Start, the process name in other letters", kCoreWindow, u"STARTMENUEXPERIENCEHOST.EXE"},
            {"Search of Windows 11", kCoreWindow, search11},
            {"Search of Windows 10", kCoreWindow, search10},
            {"Search and Cortana of Windows 10 before 2004", kCoreWindow, cortana},
            {"the notification centre", kCoreWindow, flyouts},
            {"quick settings of Windows 11 24H2", kCoreWindow, u"C:\\Windows\\System32\\ShellHost.exe"},
            {"the lock screen", kCoreWindow, lock},
            {"the clipboard history", kCoreWindow, input},
            {"Task View and Alt+Tab of Windows 10", u"MultitaskingViewFrame", kExplorer},
            {"Task View and Alt+Tab of Windows 11", u"XamlExplorerHostIslandWindow", kExplorer},
            {"the classic Alt+Tab", u"TaskSwitcherWnd", kExplorer},
            {"the shell between two windows", u"ForegroundStaging", kExplorer},
            {"the input-language switcher", u"Shell_InputSwitchTopLevelWindow", kExplorer},
        },
        WindowKind::kShell);
}

TEST_CASE("other programs' windows take the readings, packaged apps and File Explorer too") {
    CheckAll(
        {
            {"Notepad", u"Notepad", u"C:\\Windows\\notepad.exe"},
            {"Excel", u"XLMAIN", u"C:\\Program Files\\Microsoft Office\\root\\Office16\\EXCEL.EXE"},
            {"Calculator's frame", u"ApplicationFrameWindow",
             u"C:\\Windows\\System32\\ApplicationFrameHost.exe"},
            {"a packaged app's own window", kCoreWindow,
             u"C:\\Program Files\\WindowsApps\\Calc\\CalculatorApp.exe"},
            {"File Explorer", u"CabinetWClass", kExplorer},
            {"another program's dialog", u"#32770", u"C:\\Apps\\Label.exe"},
            {"a program whose name only starts like ours", u"#32770", u"C:\\Apps\\DorvaneHelper.exe"},
            {"a program's class that only starts like ours", u"Dorvane", u"C:\\Apps\\Label.exe"},
            {"a window whose program could not be read", u"ThunderRT6FormDC", u""},
            // The class alone cannot tell a box: a copy renamed to a name of its own is known by its
            // frames' classes only.
            {"a renamed copy's box", u"#32770", u"D:\\Other\\Weigh.exe"},
        },
        WindowKind::kUserWindow);
}
