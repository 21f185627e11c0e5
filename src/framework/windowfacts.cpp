#include "framework/windowfacts.h"

#include "core/widestr.h"

namespace framework {

namespace {

const std::u16string& OwnExePath() {
    static const std::u16string path = [] {
        std::wstring buffer(32768, L'\0');
        const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        return std::u16string(dorvane::AsUtf16View(std::wstring_view(buffer.data(), length)));
    }();
    return path;
}

}  // namespace

std::u16string ExePathOfWindow(HWND hwnd) {
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    std::u16string exePath;
    // Limited query access is granted for processes at a higher integrity level too.
    // https://learn.microsoft.com/windows/win32/procthread/process-security-and-access-rights
    if (HANDLE process =
            processId != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId) : nullptr) {
        wchar_t path[MAX_PATH * 2] = {};
        DWORD length = ARRAYSIZE(path);
        // https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-queryfullprocessimagenamew
        if (QueryFullProcessImageNameW(process, 0, path, &length)) {
            exePath = std::u16string(dorvane::AsUtf16View(std::wstring_view(path, length)));
        }
        CloseHandle(process);
    }
    return exePath;
}

dorvane::WindowKind KindOfWindow(HWND hwnd) {
    DWORD processId = 0;
    GetWindowThreadProcessId(hwnd, &processId);
    // A class name is read without a message to the window, so a hung program cannot stop us.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getclassnamew
    wchar_t className[256] = {};
    GetClassNameW(hwnd, className, ARRAYSIZE(className));
    dorvane::WindowFacts facts;
    facts.thisProcess = processId == GetCurrentProcessId();
    const std::u16string exePath = facts.thisProcess ? std::u16string() : ExePathOfWindow(hwnd);
    facts.className = dorvane::AsUtf16View(className);
    facts.exePath = exePath;
    facts.ownExePath = OwnExePath();
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getshellwindow
    facts.shellOrDesktop = hwnd == GetShellWindow() || hwnd == GetDesktopWindow();
    return dorvane::KindOfWindow(facts);
}

bool IsShellWindow(HWND hwnd) {
    return KindOfWindow(hwnd) == dorvane::WindowKind::kShell;
}

bool IsOwnWindow(HWND hwnd) {
    return KindOfWindow(hwnd) == dorvane::WindowKind::kOwnWindow;
}

}  // namespace framework
