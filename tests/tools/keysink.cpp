// A window with a multi-line edit control that takes the keyboard focus and logs every key
// message and character it receives, in order, stamped in microseconds:
//   <usec> keydown 0x41 | keyup | syskeydown | syskeyup (virtual key)
//   <usec> char 0x0041  | syschar (UTF-16 unit)
// Once it is the foreground window with the focus in its edit control, it writes
// "ready <hwnd>" to READY_FILE.
//   keysink.exe LOG_FILE READY_FILE
#include <windows.h>

#include <cstdio>
#include <memory>

#include "toolio.h"

namespace {

std::unique_ptr<toolio::LineFile> g_log;
const wchar_t* g_readyPath = nullptr;
HWND g_frame = nullptr;
HWND g_edit = nullptr;
WNDPROC g_editProc = nullptr;
bool g_ready = false;
constexpr UINT_PTR kReadyTimer = 1;

void Log(const char* what, unsigned value, int digits) {
    char line[96];
    std::snprintf(line, sizeof(line), "%lld %s 0x%0*x", toolio::NowMicroseconds(), what, digits, value);
    g_log->Write(line);
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_KEYDOWN:
            Log("keydown", static_cast<unsigned>(wParam), 2);
            break;
        case WM_KEYUP:
            Log("keyup", static_cast<unsigned>(wParam), 2);
            break;
        case WM_SYSKEYDOWN:
            Log("syskeydown", static_cast<unsigned>(wParam), 2);
            break;
        case WM_SYSKEYUP:
            Log("syskeyup", static_cast<unsigned>(wParam), 2);
            break;
        case WM_CHAR:
            Log("char", static_cast<unsigned>(wParam), 4);
            break;
        case WM_SYSCHAR:
            Log("syschar", static_cast<unsigned>(wParam), 4);
            break;
    }
    return CallWindowProcW(g_editProc, hwnd, msg, wParam, lParam);
}

void CheckReady() {
    if (g_ready || GetForegroundWindow() != g_frame || GetFocus() != g_edit) {
        return;
    }
    g_ready = true;
    toolio::LineFile ready(g_readyPath);
    char line[64];
    std::snprintf(line, sizeof(line), "ready %llu",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(g_frame)));
    ready.Write(line);
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SIZE:
            MoveWindow(g_edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_SETFOCUS:
            // Whenever the sink is activated again, typing lands in the edit control.
            SetFocus(g_edit);
            return 0;
        case WM_TIMER:
            if (wParam == kReadyTimer) {
                CheckReady();
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (__argc < 3) {
        return 2;
    }
    g_log = std::make_unique<toolio::LineFile>(__wargv[1]);
    g_readyPath = __wargv[2];
    if (!g_log->ok()) {
        return 3;
    }

    WNDCLASSW wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"DorvaneKeySink";
    RegisterClassW(&wc);

    g_frame = CreateWindowExW(0, wc.lpszClassName, L"Key sink", WS_OVERLAPPEDWINDOW, 40, 40, 560, 360,
                              nullptr, nullptr, instance, nullptr);
    g_edit =
        CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN, 0,
                        0, 100, 100, g_frame, nullptr, instance, nullptr);
    if (g_frame == nullptr || g_edit == nullptr) {
        return 4;
    }
    g_editProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(g_edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));

    ShowWindow(g_frame, SW_SHOW);
    UpdateWindow(g_frame);
    SetForegroundWindow(g_frame);
    SetFocus(g_edit);
    SetTimer(g_frame, kReadyTimer, 50, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
