// Drives other programs' windows for the end-to-end tests. Results go to OUT_FILE, one line each.
//   find CLASS TITLE TIMEOUT_MS [hidden]
//                                 the first visible (or any) top-level window that matches: HWND
//                                 ("-" matches any; a CLASS ending in * matches by prefix)
//   windows                       every top-level window: HWND PID VISIBLE OWNER CLASS TITLE
//   children HWND                 the window's controls in order: ID VISIBLE CLASS TEXT
//   text HWND ID                  a control's text, escaped (ID: a control id, a path of ids
//                                 through nested children such as 59648/1, or "self")
//   settext HWND ID TEXT          sets a control's text
//   check HWND ID                 a check box's state (0, 1, 2)
//   enabled HWND ID               1 if the control is enabled, else 0
//   select HWND ID INDEX          selects a combo box entry and notifies the parent (CBN_SELCHANGE)
//   setcheck HWND ID STATE        sets a check box's state
//   click HWND ID                 presses a button (posted, so a dialog it opens does not block us)
//   command HWND ID               posts the control's BN_CLICKED to HWND
//   msgbox TIMEOUT_MS             a message box (dialog with static 65535): HWND TEXT
//   answer HWND BUTTON_ID         closes a message box with a button (IDOK 1, IDYES 6, IDNO 7)
//   post HWND MSG WPARAM LPARAM   posts a message (numbers in decimal; HWND 65535 broadcasts)
//   send HWND MSG WPARAM LPARAM   sends it (at most 5 s): the window's answer, or "timeout"
//   broadcast NAME                posts a registered message to every top-level window
//   menu TIMEOUT_MS KEY...        waits for an open pop-up menu, then posts keys to it: down, up,
//                                 return, escape, or one character (a mnemonic): HWND, or "none"
//   nomenu WAIT_MS                "none" if no pop-up menu opened within the time, else its HWND
//   page SHEET INDEX              asks a property sheet to show a page (posted: leaving a page may
//                                 open a message box)
//   curpage SHEET                 the property sheet's current page: HWND
//   focus HWND                    the control id of the window with the keyboard focus in HWND's
//                                 thread, or "none"
//   move HWND X Y W H             moves and sizes a window
//   foreground                    the foreground window: HWND CLASS TITLE
//   tap VK                        presses and releases a key (decimal virtual-key code), as typed
//   hold VK down|up               presses or releases a key (decimal virtual-key code)
//   faketray SECONDS              a shell that is not ready yet: a hidden "Shell_TrayWnd" window
//                                 that refuses every icon, for SECONDS; then it goes and
//                                 "TaskbarCreated" is broadcast, as when the real shell comes up
//   standin CLASS TITLE SECONDS   stands in for another program's surface: a top-level window of
//                                 CLASS titled TITLE takes the foreground and writes its HWND;
//                                 it lives until closed or for SECONDS (run a copy of this
//                                 program under the name the surface's process has)
//   activate CLASS                the first top-level window of the class comes to the foreground,
//                                 as a click on it does: HWND, or "none"
//   rect HWND                     the window's place on the screen: LEFT TOP WIDTH HEIGHT
//   trayicon HWND ID              1 if the shell holds the tray icon (it accepts a change), else 0
//   screenshot FILE               the whole screen as a 24-bit BMP
//   iconsizes EXE                 each icon resource of the program: ID SIZE... (the pixel sizes
//                                 of its images, from the icon group directory)
//   tooltips                      the texts of every tool of every tooltip window (the shell's tray
//                                 keeps the icons' tooltips there), one escaped text per line
//   listview HWND ID              a list view's rows, one line each: its cells escaped, joined by
//                                 tabs (read in the list's own process: list-view messages carry
//                                 pointers the system does not marshal)
//   listselected HWND ID          the selected rows' indexes, one per line
//   listselect HWND ID ROW...     selects exactly these rows (none: no row), the first focused
//   clipboard                     the clipboard's text (CF_UNICODETEXT), escaped; fails when none
//   holdfile PATH MS              holds a file open with no sharing for MS milliseconds, as Excel
//                                 holds the file it shows; writes "held" once it is open
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "toolio.h"

namespace {

HWND ParseHandle(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(_wcstoui64(text, nullptr, 10)));
}

std::string HandleText(HWND hwnd) {
    return hwnd ? std::to_string(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd))) : "none";
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[4096] = {};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                        nullptr);
    return text;
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND hwnd, LPARAM param) {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Polls until match() gives a window or the time is up.
template <class Match>
HWND WaitForWindow(DWORD timeoutMs, Match match, bool hiddenToo = false) {
    const DWORD start = GetTickCount();
    for (;;) {
        for (HWND hwnd : TopLevelWindows()) {
            if ((hiddenToo || IsWindowVisible(hwnd)) && match(hwnd)) {
                return hwnd;
            }
        }
        if (GetTickCount() - start >= timeoutMs) {
            return nullptr;
        }
        Sleep(50);
    }
}

// ID is "self", a control id, or a path of ids through nested children ("59648/1").
HWND Control(const wchar_t* window, const wchar_t* id) {
    HWND hwnd = ParseHandle(window);
    if (std::wcscmp(id, L"self") == 0) {
        return hwnd;
    }
    for (const wchar_t* part = id; hwnd != nullptr && part != nullptr && *part != L'\0';) {
        hwnd = GetDlgItem(hwnd, _wtoi(part));
        part = std::wcschr(part, L'/');
        part = part ? part + 1 : nullptr;
    }
    return hwnd;
}

bool IsMessageBox(HWND hwnd) {
    return ClassOf(hwnd) == L"#32770" && GetDlgItem(hwnd, 65535) != nullptr;
}

void PostKey(HWND target, const std::wstring& key) {
    static const struct {
        const wchar_t* name;
        UINT vk;
    } kKeys[] = {{L"down", VK_DOWN}, {L"up", VK_UP}, {L"return", VK_RETURN}, {L"escape", VK_ESCAPE}};
    for (const auto& k : kKeys) {
        if (key == k.name) {
            PostMessageW(target, WM_KEYDOWN, k.vk, 1);
            PostMessageW(target, WM_KEYUP, k.vk, 0xC0000001);
            return;
        }
    }
    PostMessageW(target, WM_CHAR, key[0], 1);
}

// Reads the tools of a tooltip window of another process: the record and the text buffer must
// live in that process, so they are allocated there.
void WriteTooltipTexts(HWND tooltip, toolio::LineFile& out) {
    DWORD pid = 0;
    GetWindowThreadProcessId(tooltip, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (process == nullptr) {
        return;
    }
    constexpr size_t kTextChars = 1024;
    auto* remote = static_cast<BYTE*>(VirtualAllocEx(
        process, nullptr, sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    if (remote != nullptr) {
        const LRESULT count = SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            TTTOOLINFOW info{};
            info.cbSize = sizeof info;
            info.lpszText = reinterpret_cast<LPWSTR>(remote + sizeof info);
            wchar_t text[kTextChars] = {};
            WriteProcessMemory(process, remote, &info, sizeof info, nullptr);
            WriteProcessMemory(process, remote + sizeof info, text, sizeof text, nullptr);
            if (SendMessageW(tooltip, TTM_ENUMTOOLSW, static_cast<WPARAM>(i),
                             reinterpret_cast<LPARAM>(remote)) &&
                ReadProcessMemory(process, remote + sizeof info, text, sizeof text - sizeof(wchar_t),
                                  nullptr)) {
                out.Write(toolio::Escape(text));
            }
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
}

// Memory in another process for a list-view item record and its text, freed with the object.
class RemoteItem {
public:
    static constexpr size_t kTextChars = 4096;

    explicit RemoteItem(HWND window) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (m_process != nullptr) {
            m_remote = static_cast<BYTE*>(VirtualAllocEx(m_process, nullptr,
                                                         sizeof(LVITEMW) + kTextChars * sizeof(wchar_t),
                                                         MEM_COMMIT, PAGE_READWRITE));
        }
    }
    ~RemoteItem() {
        if (m_remote != nullptr) {
            VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
        }
        if (m_process != nullptr) {
            CloseHandle(m_process);
        }
    }
    RemoteItem(const RemoteItem&) = delete;
    RemoteItem& operator=(const RemoteItem&) = delete;

    bool ok() const { return m_remote != nullptr; }
    // Copies the record there (its text pointer aimed at the remote text) and returns its address.
    LPARAM Put(LVITEMW item) {
        item.pszText = reinterpret_cast<LPWSTR>(m_remote + sizeof(LVITEMW));
        item.cchTextMax = static_cast<int>(kTextChars);
        WriteProcessMemory(m_process, m_remote, &item, sizeof item, nullptr);
        return reinterpret_cast<LPARAM>(m_remote);
    }
    std::wstring Text(size_t length) {
        std::wstring text(std::min(length, kTextChars - 1), L'\0');
        ReadProcessMemory(m_process, m_remote + sizeof(LVITEMW), text.data(), text.size() * sizeof(wchar_t),
                          nullptr);
        return text;
    }

private:
    HANDLE m_process = nullptr;
    BYTE* m_remote = nullptr;
};

bool WriteListViewRows(HWND list, toolio::LineFile& out) {
    RemoteItem remote(list);
    if (!remote.ok()) {
        return false;
    }
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns =
        header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        std::string line;
        for (int column = 0; column < columns; ++column) {
            LVITEMW item{};
            item.iSubItem = column;
            const LPARAM address = remote.Put(item);
            const auto length =
                static_cast<size_t>(SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), address));
            line += (column != 0 ? "\t" : "") + toolio::Escape(remote.Text(length));
        }
        out.Write(line);
    }
    return true;
}

bool SelectListViewRows(HWND list, wchar_t** rows, int count) {
    RemoteItem remote(list);
    if (!remote.ok()) {
        return false;
    }
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), remote.Put(none));
    for (int i = 0; i < count; ++i) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | (i == 0 ? LVIS_FOCUSED : 0);
        if (!SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(_wtoi(rows[i])), remote.Put(item))) {
            return false;
        }
    }
    return true;
}

bool WriteClipboardText(toolio::LineFile& out) {
    if (!OpenClipboard(nullptr)) {
        return false;
    }
    bool found = false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
            out.Write(toolio::Escape(text));
            found = true;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return found;
}

bool WriteScreenshot(const wchar_t* path) {
    HDC screen = GetDC(nullptr);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path, L"wb");
    if (out == nullptr) {
        return false;
    }
    fwrite(&file, sizeof(file), 1, out);
    fwrite(&info, sizeof(info), 1, out);
    fwrite(pixels.data(), 1, pixels.size(), out);
    return fclose(out) == 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc < 3) {
        return 2;
    }
    toolio::LineFile out(__wargv[1]);
    const std::wstring verb = __wargv[2];
    wchar_t** arg = __wargv + 3;
    const int count = __argc - 3;
    auto need = [&](int n) { return count >= n; };

    if (verb == L"find" && need(3)) {
        const std::wstring className = arg[0], title = arg[1];
        const bool hiddenToo = count > 3 && std::wcscmp(arg[3], L"hidden") == 0;
        auto classMatches = [&](HWND hwnd) {
            if (!className.empty() && className.back() == L'*') {
                const std::wstring found = ClassOf(hwnd);
                return found.compare(0, className.size() - 1, className, 0, className.size() - 1) == 0;
            }
            return className == L"-" || ClassOf(hwnd) == className;
        };
        HWND found = WaitForWindow(
            static_cast<DWORD>(_wtoi(arg[2])),
            [&](HWND hwnd) { return classMatches(hwnd) && (title == L"-" || TextOf(hwnd) == title); },
            hiddenToo);
        out.Write(HandleText(found));
        return found ? 0 : 1;
    }
    if (verb == L"windows") {
        for (HWND hwnd : TopLevelWindows()) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            out.Write(HandleText(hwnd) + " " + std::to_string(pid) + " " +
                      std::to_string(IsWindowVisible(hwnd)) + " " + HandleText(GetWindow(hwnd, GW_OWNER)) +
                      " " + toolio::Escape(ClassOf(hwnd)) + " " + toolio::Escape(TextOf(hwnd)));
        }
        return 0;
    }
    if (verb == L"children" && need(1)) {
        for (HWND child = GetWindow(ParseHandle(arg[0]), GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
            out.Write(std::to_string(GetDlgCtrlID(child)) + " " +
                      std::to_string(IsWindowVisible(child) ? 1 : 0) + " " + toolio::Escape(ClassOf(child)) +
                      " " + toolio::Escape(TextOf(child)));
        }
        return 0;
    }
    if (verb == L"text" && need(2)) {
        HWND control = Control(arg[0], arg[1]);
        if (control == nullptr) {
            return 1;
        }
        out.Write(toolio::Escape(TextOf(control)));
        return 0;
    }
    if (verb == L"settext" && need(3)) {
        HWND control = Control(arg[0], arg[1]);
        return control && SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(arg[2])) ? 0 : 1;
    }
    if (verb == L"check" && need(2)) {
        HWND control = Control(arg[0], arg[1]);
        if (control == nullptr) {
            return 1;
        }
        out.Write(std::to_string(SendMessageW(control, BM_GETCHECK, 0, 0)));
        return 0;
    }
    if (verb == L"enabled" && need(2)) {
        HWND control = Control(arg[0], arg[1]);
        if (control == nullptr) {
            return 1;
        }
        out.Write(IsWindowEnabled(control) ? "1" : "0");
        return 0;
    }
    if (verb == L"select" && need(3)) {
        HWND combo = Control(arg[0], arg[1]);
        if (combo == nullptr ||
            SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(_wtoi(arg[2])), 0) == CB_ERR) {
            return 1;
        }
        return PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                            reinterpret_cast<LPARAM>(combo))
                   ? 0
                   : 1;
    }
    if (verb == L"setcheck" && need(3)) {
        HWND control = Control(arg[0], arg[1]);
        return control && (SendMessageW(control, BM_SETCHECK, _wtoi(arg[2]), 0), true) ? 0 : 1;
    }
    if (verb == L"click" && need(2)) {
        HWND control = Control(arg[0], arg[1]);
        return control && PostMessageW(control, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (verb == L"command" && need(2)) {
        HWND window = ParseHandle(arg[0]);
        const int id = _wtoi(arg[1]);
        return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(GetDlgItem(window, id)))
                   ? 0
                   : 1;
    }
    if (verb == L"msgbox" && need(1)) {
        HWND box = WaitForWindow(static_cast<DWORD>(_wtoi(arg[0])), IsMessageBox);
        out.Write(box ? HandleText(box) + " " + toolio::Escape(TextOf(GetDlgItem(box, 65535))) : "none");
        return box ? 0 : 1;
    }
    if (verb == L"answer" && need(2)) {
        HWND box = ParseHandle(arg[0]);
        const int button = _wtoi(arg[1]);
        return PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                            reinterpret_cast<LPARAM>(GetDlgItem(box, button)))
                   ? 0
                   : 1;
    }
    if (verb == L"post" && need(4)) {
        return PostMessageW(ParseHandle(arg[0]), static_cast<UINT>(_wtoi(arg[1])),
                            static_cast<WPARAM>(_wcstoui64(arg[2], nullptr, 10)),
                            static_cast<LPARAM>(_wcstoi64(arg[3], nullptr, 10)))
                   ? 0
                   : 1;
    }
    if (verb == L"send" && need(4)) {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(ParseHandle(arg[0]), static_cast<UINT>(_wtoi(arg[1])),
                                 static_cast<WPARAM>(_wcstoui64(arg[2], nullptr, 10)),
                                 static_cast<LPARAM>(_wcstoi64(arg[3], nullptr, 10)), SMTO_ABORTIFHUNG, 5000,
                                 &answer)) {
            out.Write("timeout");
            return 0;
        }
        out.Write(std::to_string(answer));
        return 0;
    }
    if (verb == L"broadcast" && need(1)) {
        return PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(arg[0]), 0, 0) ? 0 : 1;
    }
    if (verb == L"menu" && need(1)) {
        HWND menu = WaitForWindow(static_cast<DWORD>(_wtoi(arg[0])),
                                  [](HWND hwnd) { return ClassOf(hwnd) == L"#32768"; });
        out.Write(HandleText(menu));
        if (menu == nullptr) {
            return 1;
        }
        for (int i = 1; i < count; ++i) {
            PostKey(menu, arg[i]);
            Sleep(50);
        }
        return 0;
    }
    if (verb == L"nomenu" && need(1)) {
        HWND menu = WaitForWindow(static_cast<DWORD>(_wtoi(arg[0])),
                                  [](HWND hwnd) { return ClassOf(hwnd) == L"#32768"; });
        out.Write(HandleText(menu));
        return 0;
    }
    if (verb == L"page" && need(2)) {
        return PostMessageW(ParseHandle(arg[0]), PSM_SETCURSEL, static_cast<WPARAM>(_wtoi(arg[1])), 0) ? 0
                                                                                                       : 1;
    }
    if (verb == L"curpage" && need(1)) {
        out.Write(HandleText(
            reinterpret_cast<HWND>(SendMessageW(ParseHandle(arg[0]), PSM_GETCURRENTPAGEHWND, 0, 0))));
        return 0;
    }
    if (verb == L"focus" && need(1)) {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        const DWORD thread = GetWindowThreadProcessId(ParseHandle(arg[0]), nullptr);
        const bool known = GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr;
        out.Write(known ? std::to_string(GetDlgCtrlID(info.hwndFocus)) : std::string("none"));
        return 0;
    }
    if (verb == L"move" && need(5)) {
        return SetWindowPos(ParseHandle(arg[0]), nullptr, _wtoi(arg[1]), _wtoi(arg[2]), _wtoi(arg[3]),
                            _wtoi(arg[4]), SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    }
    if (verb == L"rect" && need(1)) {
        RECT rect{};
        if (!GetWindowRect(ParseHandle(arg[0]), &rect)) {
            return 1;
        }
        out.Write(std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
                  std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top));
        return 0;
    }
    if (verb == L"foreground") {
        HWND hwnd = GetForegroundWindow();
        out.Write(HandleText(hwnd) + " " + toolio::Escape(ClassOf(hwnd)) + " " +
                  toolio::Escape(TextOf(hwnd)));
        return 0;
    }
    if (verb == L"tap" && need(1)) {
        INPUT keys[2] = {};
        for (INPUT& key : keys) {
            key.type = INPUT_KEYBOARD;
            key.ki.wVk = static_cast<WORD>(_wtoi(arg[0]));
        }
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        return SendInput(2, keys, sizeof(INPUT)) == 2 ? 0 : 1;
    }
    if (verb == L"hold" && need(2)) {
        INPUT key{};
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = static_cast<WORD>(_wtoi(arg[0]));
        key.ki.dwFlags = std::wcscmp(arg[1], L"up") == 0 ? KEYEVENTF_KEYUP : 0;
        return SendInput(1, &key, sizeof(INPUT)) == 1 ? 0 : 1;
    }
    // hotkey MODIFIERS VK MS: holds a system-wide hotkey for MS milliseconds, as another
    // program that took the keys first would; writes "held" once it is registered.
    if (verb == L"hotkey" && need(3)) {
        if (!RegisterHotKey(nullptr, 1, static_cast<UINT>(_wtoi(arg[0])), static_cast<UINT>(_wtoi(arg[1])))) {
            return 1;
        }
        out.Write("held");
        Sleep(static_cast<DWORD>(_wtoi(arg[2])));
        UnregisterHotKey(nullptr, 1);
        return 0;
    }
    if (verb == L"faketray" && need(1)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            return message == WM_COPYDATA ? FALSE : DefWindowProcW(hwnd, message, wParam, lParam);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Shell_TrayWnd";
        RegisterClassW(&wc);
        HWND tray = CreateWindowExW(0, L"Shell_TrayWnd", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                    wc.hInstance, nullptr);
        out.Write(HandleText(tray));
        const DWORD until = GetTickCount() + static_cast<DWORD>(_wtoi(arg[0])) * 1000;
        MSG msg;
        while (static_cast<LONG>(until - GetTickCount()) > 0) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
            }
        }
        DestroyWindow(tray);
        PostMessageW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
        return 0;
    }
    if (verb == L"standin" && need(3)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == WM_DESTROY) {
                PostQuitMessage(0);
                return 0;
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        };
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = arg[0];
        RegisterClassW(&wc);
        HWND window = CreateWindowExW(0, arg[0], arg[1], WS_POPUP | WS_CAPTION | WS_VISIBLE, 200, 120, 480, 320,
                                      nullptr, nullptr, wc.hInstance, nullptr);
        if (window == nullptr || !SetForegroundWindow(window)) {
            return 1;
        }
        out.Write(HandleText(window));
        const DWORD until = GetTickCount() + static_cast<DWORD>(_wtoi(arg[2])) * 1000;
        MSG msg;
        while (IsWindow(window) && static_cast<LONG>(until - GetTickCount()) > 0) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                DispatchMessageW(&msg);
            }
        }
        return 0;
    }
    if (verb == L"activate" && need(1)) {
        HWND hwnd = FindWindowW(arg[0], nullptr);
        if (hwnd == nullptr || !SetForegroundWindow(hwnd)) {
            out.Write("none");
            return 1;
        }
        out.Write(HandleText(hwnd));
        return 0;
    }
    if (verb == L"trayicon" && need(2)) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = ParseHandle(arg[0]);
        nid.uID = static_cast<UINT>(_wtoi(arg[1]));
        out.Write(Shell_NotifyIconW(NIM_MODIFY, &nid) ? "1" : "0");
        return 0;
    }
    if (verb == L"tooltips") {
        for (HWND hwnd : TopLevelWindows()) {
            if (ClassOf(hwnd) == L"tooltips_class32") {
                WriteTooltipTexts(hwnd, out);
            }
        }
        return 0;
    }
    if (verb == L"iconsizes" && need(1)) {
        HMODULE module = LoadLibraryExW(arg[0], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (module == nullptr) {
            return 1;
        }
        EnumResourceNamesW(
            module, RT_GROUP_ICON,
            [](HMODULE mod, LPCWSTR, LPWSTR name, LONG_PTR param) -> BOOL {
                auto* sink = reinterpret_cast<toolio::LineFile*>(param);
                HRSRC found = FindResourceW(mod, name, RT_GROUP_ICON);
                const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(mod, found)));
                if (dir == nullptr || !IS_INTRESOURCE(name)) {
                    return TRUE;
                }
                // GRPICONDIR: reserved, type, count (3 words); then 14-byte entries, width first.
                const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
                std::string line = std::to_string(reinterpret_cast<ULONG_PTR>(name));
                for (WORD i = 0; i < count; ++i) {
                    const BYTE width = dir[6 + 14 * i];
                    line.push_back(' ');
                    line.append(std::to_string(width == 0 ? 256 : width));
                }
                sink->Write(line);
                return TRUE;
            },
            reinterpret_cast<LONG_PTR>(&out));
        FreeLibrary(module);
        return 0;
    }
    if (verb == L"listview" && need(2)) {
        HWND list = Control(arg[0], arg[1]);
        return list != nullptr && WriteListViewRows(list, out) ? 0 : 1;
    }
    if (verb == L"listselected" && need(2)) {
        HWND list = Control(arg[0], arg[1]);
        if (list == nullptr) {
            return 1;
        }
        for (LRESULT row = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); row >= 0;
             row = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED)) {
            out.Write(std::to_string(row));
        }
        return 0;
    }
    if (verb == L"listselect" && need(2)) {
        HWND list = Control(arg[0], arg[1]);
        return list != nullptr && SelectListViewRows(list, arg + 2, count - 2) ? 0 : 1;
    }
    if (verb == L"holdfile" && need(2)) {
        HANDLE file = CreateFileW(arg[0], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return 1;
        }
        out.Write("held");
        Sleep(static_cast<DWORD>(_wtoi(arg[1])));
        CloseHandle(file);
        return 0;
    }
    if (verb == L"clipboard") {
        return WriteClipboardText(out) ? 0 : 1;
    }
    if (verb == L"screenshot" && need(1)) {
        return WriteScreenshot(arg[0]) ? 0 : 1;
    }
    return 2;
}
