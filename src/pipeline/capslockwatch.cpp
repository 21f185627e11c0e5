#include "pipeline/capslockwatch.h"

namespace dorvane {

bool CCapsLockWatch::ToggleInFront() {
    // A thread's key state follows only the keyboard messages it removes from its own queue
    // (GetKeyboardState): the window in front has read the user's keys, and threads attached
    // with AttachThreadInput share one keyboard state, so the toggle is read attached to it.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getkeyboardstate
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-attachthreadinput
    const DWORD self = GetCurrentThreadId();
    HWND front = GetForegroundWindow();
    const DWORD theirs = front != nullptr ? GetWindowThreadProcessId(front, nullptr) : 0;
    const bool attached = theirs != 0 && theirs != self && AttachThreadInput(self, theirs, TRUE);
    GetAsyncKeyState(VK_CAPITAL);  // Wine brings the thread's state up to date only after it
    const bool on = (GetKeyState(VK_CAPITAL) & 0x01) != 0;
    if (attached) {
        AttachThreadInput(self, theirs, FALSE);
    }
    return on;
}

namespace {

// Asks the watch thread to read the key events waiting for it.
constexpr UINT kTakeKeyEvents = WM_APP + 1;
// Waiting key events are also read this often when nobody asks, so that a day of typing in
// other programs does not pile up in the queue.
constexpr DWORD kTakeEveryMs = 250;
constexpr wchar_t kWindowClass[] = L"DorvaneCapsLockWatch";

}  // namespace

void CCapsLockWatch::TakeKeyEvents() {
    // Raw input is read in bulk: a message per event would wake this thread for every key the
    // typing thread injects (the system delivers injected keys as raw input too).
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-getrawinputbuffer
    alignas(8) static unsigned char buffer[16384];  // the watch thread's only (one watch per process)
    for (;;) {
        UINT size = sizeof buffer;
        const UINT count = GetRawInputBuffer(reinterpret_cast<RAWINPUT*>(buffer), &size, sizeof(RAWINPUTHEADER));
        if (count == 0 || count == static_cast<UINT>(-1)) {
            return;
        }
        const auto* input = reinterpret_cast<const RAWINPUT*>(buffer);
        for (UINT i = 0; i < count; ++i) {
            if (input->header.dwType == RIM_TYPEKEYBOARD) {
                const RAWKEYBOARD& key = input->data.keyboard;
                m_tracker.OnKeyEvent(static_cast<uint8_t>(key.VKey), (key.Flags & RI_KEY_BREAK) != 0);
            }
            // The next record starts at the header's size, rounded up to a pointer's alignment
            // (what NEXTRAWINPUTBLOCK computes).
            const size_t step = (input->header.dwSize + sizeof(void*) - 1) & ~(sizeof(void*) - 1);
            input = reinterpret_cast<const RAWINPUT*>(reinterpret_cast<const unsigned char*>(input) + step);
        }
    }
}

LRESULT CALLBACK CCapsLockWatch::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTakeKeyEvents) {
        if (auto* self = reinterpret_cast<CCapsLockWatch*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) {
            self->TakeKeyEvents();
        }
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

DWORD WINAPI CCapsLockWatch::WatchThread(LPVOID param) {
    auto* self = static_cast<CCapsLockWatch*>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for the attach and the quit
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);
    self->m_hWindow = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      windowClass.hInstance, nullptr);
    if (self->m_hWindow != nullptr) {
        SetWindowLongPtrW(self->m_hWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        // The keyboard's raw input whichever window is in front. Unlike a low-level hook it
        // does not hold every injected key until this thread has seen it.
        // https://learn.microsoft.com/windows/win32/api/winuser/ns-winuser-rawinputdevice
        const RAWINPUTDEVICE keyboard{0x01, 0x06, RIDEV_INPUTSINK, self->m_hWindow};
        self->m_bWatching = RegisterRawInputDevices(&keyboard, 1, sizeof keyboard) != FALSE;
    }
    // Registered before the toggle is read: a later press is in the raw input still waiting.
    self->m_tracker.Reset(ToggleInFront());
    SetEvent(self->m_hStarted);
    bool running = true;
    while (running) {
        // Raw input does not wake the thread; posted and sent messages do (a sent request to
        // read the key events is handled inside PeekMessage).
        MsgWaitForMultipleObjectsEx(0, nullptr, kTakeEveryMs, QS_POSTMESSAGE | QS_SENDMESSAGE, 0);
        self->TakeKeyEvents();
        // WM_INPUT is left to the bulk read: removing it message by message would lose it there.
        while (running && (PeekMessageW(&msg, nullptr, 0, WM_INPUT - 1, PM_REMOVE) ||
                           PeekMessageW(&msg, nullptr, WM_INPUT + 1, 0xFFFFFFFF, PM_REMOVE))) {
            running = msg.message != WM_QUIT;
            DispatchMessageW(&msg);
        }
    }
    if (self->m_bWatching) {
        const RAWINPUTDEVICE remove{0x01, 0x06, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&remove, 1, sizeof remove);
    }
    if (self->m_hWindow != nullptr) {
        DestroyWindow(self->m_hWindow);
    }
    return 0;
}

bool CCapsLockWatch::IsOn() {
    if (m_hWindow != nullptr && m_bWatching) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(m_hWindow, kTakeKeyEvents, 0, 0, SMTO_NORMAL, 200, &ignored);
    }
    return m_tracker.IsOn();
}

bool CCapsLockWatch::Start() {
    if (m_hThread != nullptr) {
        return m_bWatching;
    }
    m_hStarted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_hStarted == nullptr) {
        return false;
    }
    m_hThread = CreateThread(nullptr, 0, WatchThread, this, 0, &m_dwThreadId);
    if (m_hThread != nullptr) {
        WaitForSingleObject(m_hStarted, 5000);
    }
    CloseHandle(m_hStarted);
    m_hStarted = nullptr;
    return m_hThread != nullptr && m_bWatching;
}

void CCapsLockWatch::Stop() {
    if (m_hThread == nullptr) {
        return;
    }
    PostThreadMessageW(m_dwThreadId, WM_QUIT, 0, 0);
    WaitForSingleObject(m_hThread, 5000);
    CloseHandle(m_hThread);
    m_hThread = nullptr;
    m_hWindow = nullptr;
    m_bWatching = false;
}

}  // namespace dorvane
