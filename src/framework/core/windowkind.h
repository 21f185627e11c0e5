// Which windows in front may take a reading's keys: the user's, never the shell's and never one
// of Dorvane's own (this copy's or another profile's), whose CR would answer a question by itself.
#pragma once

#include <string_view>

namespace dorvane {

enum class WindowKind {
    kUserWindow,  // an application window of another program: typing goes there
    kOwnWindow,   // a window of this copy of Dorvane or of another copy running beside it
    kShell,       // the taskbar, the desktop, a menu, Start, Search, the flyouts, Task View...
};

// What the Win32 side can learn of a window without a message to it.
struct WindowFacts {
    std::u16string_view className;
    // The executable of the window's process, a full path or a bare name; empty when it could
    // not be read.
    std::u16string_view exePath;
    // This program's own executable, a full path or a bare name.
    std::u16string_view ownExePath;
    bool thisProcess = false;
    // The shell's desktop window (GetShellWindow) or the desktop itself (GetDesktopWindow).
    bool shellOrDesktop = false;
};

WindowKind KindOfWindow(const WindowFacts& facts);

}  // namespace dorvane
