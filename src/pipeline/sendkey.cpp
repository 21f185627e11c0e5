#include "pipeline/sendkey.h"

#include <windows.h>

#include <vector>

namespace dorvane {

namespace {

// ToUnicodeEx flag: leave the keyboard state alone (Windows 10 1607 and later; older systems
// ignore it, hence the flush after a dead key below).
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-tounicodeex
constexpr UINT kKeepKeyboardState = 0x4;

HKL Layout(LayoutId layout) {
    return layout != 0 ? reinterpret_cast<HKL>(layout) : GetKeyboardLayout(0);
}

// The mandatory integrity level of a process (its label's last sub-authority), or -1 when it
// cannot be read.
long IntegrityLevel(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) {
        return -1;
    }
    long level = -1;
    DWORD size = 0;
    GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size != 0 && GetTokenInformation(token, TokenIntegrityLevel, buffer.data(), size, &size)) {
        PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
        level = static_cast<long>(*GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1));
    }
    CloseHandle(token);
    return level;
}

}  // namespace

// UIPI: input injected into a window of a process at a higher integrity level is dropped, and
// SendInput does not say why.
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-sendinput
bool RunsHigher(uint32_t processId) {
    static const long ours = IntegrityLevel(GetCurrentProcess());  // fixed for the process's life
    if (ours < 0) {
        return false;  // nothing to compare with: typing is tried
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    const long theirs = process != nullptr ? IntegrityLevel(process) : -1;
    if (process != nullptr) {
        CloseHandle(process);
    }
    // Cannot tell: taken as higher. A token that a program at our level may not read is, above
    // all, that of an elevated program; typing into it would lose the reading without a word,
    // while the notice tells the user what to do.
    return theirs < 0 || theirs > ours;
}

int16_t CWin32KeyboardLayout::LookupKey(char16_t ch) {
    return VkKeyScanW(static_cast<WCHAR>(ch));
}

int16_t CWin32KeyboardLayout::LookupKeyIn(char16_t ch, LayoutId layout) {
    return VkKeyScanExW(static_cast<WCHAR>(ch), Layout(layout));
}

KeyOutput CWin32KeyboardLayout::Output(uint8_t vk, uint8_t state, bool capsLock, LayoutId layout) {
    const HKL hkl = Layout(layout);
    BYTE keys[256] = {};
    keys[VK_SHIFT] = (state & 0x01) ? 0x80 : 0;
    keys[VK_CONTROL] = (state & 0x02) ? 0x80 : 0;
    keys[VK_MENU] = (state & 0x04) ? 0x80 : 0;
    keys[VK_CAPITAL] = capsLock ? 0x01 : 0;
    WCHAR text[8] = {};
    const UINT scan = MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, hkl);
    const int count = ToUnicodeEx(vk, scan, keys, text, 8, kKeepKeyboardState, hkl);
    KeyOutput output;
    if (count < 0) {
        output.dead = true;
        output.ch = text[0];
        // Where the flag is not known, the dead key now waits in this thread's state: a Space
        // takes it out again (the typing target's own state is never touched).
        BYTE none[256] = {};
        ToUnicodeEx(VK_SPACE, MapVirtualKeyExW(VK_SPACE, MAPVK_VK_TO_VSC, hkl), none, text, 8,
                    kKeepKeyboardState, hkl);
    } else if (count == 1) {
        output.ch = text[0];
    }
    return output;
}

ScanCode CWin32KeyboardLayout::ScanCodeOf(uint8_t vk, LayoutId layout) {
    // MAPVK_VK_TO_VSC_EX gives the 0xE0/0xE1 prefix of extended keys in the high byte.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-mapvirtualkeyexw
    ScanCode scan = static_cast<ScanCode>(MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX, Layout(layout)));
    if (scan != 0 && !IsExtendedScan(scan)) {
        // The keys of the extended set, where a system leaves the prefix out ("Keyboard Input
        // Overview", extended-key flag).
        switch (vk) {
            case VK_RMENU:
            case VK_RCONTROL:
            case VK_INSERT:
            case VK_DELETE:
            case VK_HOME:
            case VK_END:
            case VK_PRIOR:
            case VK_NEXT:
            case VK_LEFT:
            case VK_RIGHT:
            case VK_UP:
            case VK_DOWN:
            case VK_NUMLOCK:
            case VK_DIVIDE:
            case VK_LWIN:
            case VK_RWIN:
            case VK_APPS:
                scan = static_cast<ScanCode>(0xE000 | (scan & 0xFF));
                break;
            default:
                break;
        }
    }
    return scan;
}

size_t CWin32KeyInjector::Inject(const KeyStroke* strokes, size_t count) {
    // The virtual key, its scan code in the target's layout (with the extended-key flag where
    // the key has the prefix) and the key-up flag; no time stamp, no extra information.
    // https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-keybdinput
    std::vector<INPUT> inputs(count, INPUT{});
    for (size_t i = 0; i < count; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        if (strokes[i].unicode) {
            // KEYEVENTF_UNICODE goes with KEYEVENTF_KEYUP only, and wVk must be 0 (same page).
            inputs[i].ki.wScan = strokes[i].scan;
            inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (strokes[i].keyUp ? KEYEVENTF_KEYUP : 0);
            continue;
        }
        inputs[i].ki.wVk = strokes[i].vk;
        inputs[i].ki.wScan = static_cast<WORD>(strokes[i].scan & 0xFF);
        inputs[i].ki.dwFlags = (strokes[i].keyUp ? KEYEVENTF_KEYUP : 0) |
                               (IsExtendedScan(strokes[i].scan) ? KEYEVENTF_EXTENDEDKEY : 0);
    }
    return SendInput(static_cast<UINT>(count), inputs.data(), sizeof(INPUT));
}

TypingTarget TypingTargetFor(uintptr_t window) {
    TypingTarget target;
    HWND hwnd = reinterpret_cast<HWND>(window);
    DWORD processId = 0;
    const DWORD thread = hwnd != nullptr ? GetWindowThreadProcessId(hwnd, &processId) : 0;
    target.window = window;
    // Layouts are per thread: the window's thread's, not this one's.
    target.layout = reinterpret_cast<LayoutId>(GetKeyboardLayout(thread));
    // A process's integrity never changes: it is asked once per window and process.
    static thread_local uintptr_t lastWindow = 0;
    static thread_local DWORD lastProcess = 0;
    static thread_local bool lastElevated = false;
    if (window != lastWindow || processId != lastProcess || processId == 0) {
        lastWindow = window;
        lastProcess = processId;
        lastElevated = processId != 0 && RunsHigher(processId);
    }
    target.elevated = lastElevated;
    return target;
}

}  // namespace dorvane
