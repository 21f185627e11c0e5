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

// UIPI: input injected into a window of a process at a higher integrity level is dropped, and
// SendInput does not say why.
// https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-sendinput
bool RunsHigher(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return false;  // unknown: typing is tried
    }
    const long theirs = IntegrityLevel(process);
    CloseHandle(process);
    static const long ours = IntegrityLevel(GetCurrentProcess());  // fixed for the process's life
    return theirs >= 0 && ours >= 0 && theirs > ours;
}

}  // namespace

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

size_t CWin32KeyInjector::Inject(const KeyStroke* strokes, size_t count) {
    // Every field but the type, the virtual key and the key-up flag stays zero: no scan code,
    // no time stamp, no extra information.
    std::vector<INPUT> inputs(count, INPUT{});
    for (size_t i = 0; i < count; ++i) {
        inputs[i].type = INPUT_KEYBOARD;
        inputs[i].ki.wVk = strokes[i].vk;
        inputs[i].ki.dwFlags = strokes[i].keyUp ? KEYEVENTF_KEYUP : 0;
    }
    return SendInput(static_cast<UINT>(count), inputs.data(), sizeof(INPUT));
}

TypingTarget ForegroundTypingTarget() {
    TypingTarget target;
    HWND front = GetForegroundWindow();
    DWORD processId = 0;
    const DWORD thread = front != nullptr ? GetWindowThreadProcessId(front, &processId) : 0;
    target.window = reinterpret_cast<uintptr_t>(front);
    // Layouts are per thread: the window's thread's, not this one's.
    target.layout = reinterpret_cast<LayoutId>(GetKeyboardLayout(thread));
    // Caps Lock: the toggle state read on this thread. Attaching to the window's thread
    // (AttachThreadInput shares its keyboard state) garbled the typing: with an attach per item,
    // 14 of 20 000 characters arrived lost or doubled under Wine, so it is not done. Wine brings
    // a thread's key state up to date only after GetAsyncKeyState (measured); on Windows that
    // call only reads. A thread's own message queue (PeekMessage creates one) holds the state.
    // GetKeyState(VK_CAPITAL) & 1 for a program that sends keys to another one is what
    // Microsoft's keyboard team advised for exactly this case ("Is the CAPS LOCK on?",
    // blogs.msdn.com/b/michkap/archive/2006/03/29/562606.aspx).
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    GetAsyncKeyState(VK_CAPITAL);
    target.capsLock = (GetKeyState(VK_CAPITAL) & 0x01) != 0;
    target.elevated = processId != 0 && RunsHigher(processId);
    return target;
}

}  // namespace dorvane
