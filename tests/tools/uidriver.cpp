// Drives other programs' windows for the end-to-end tests. Results go to OUT_FILE.
//   uidriver.exe OUT_FILE find CLASS TITLE TIMEOUT_MS  -> the top-level window's handle, or "none"
//   uidriver.exe OUT_FILE text HWND CONTROL_ID         -> the control's text (escaped)
//   uidriver.exe OUT_FILE command HWND CONTROL_ID      -> posts the control's BN_CLICKED to HWND
// CLASS or TITLE "-" matches any.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "toolio.h"

namespace {

struct FindRequest {
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
    auto* request = reinterpret_cast<FindRequest*>(param);
    wchar_t text[256];
    if (std::wcscmp(request->className, L"-") != 0) {
        GetClassNameW(hwnd, text, 256);
        if (std::wcscmp(text, request->className) != 0) {
            return TRUE;
        }
    }
    if (std::wcscmp(request->title, L"-") != 0) {
        GetWindowTextW(hwnd, text, 256);
        if (std::wcscmp(text, request->title) != 0) {
            return TRUE;
        }
    }
    if (!IsWindowVisible(hwnd)) {
        return TRUE;
    }
    request->found = hwnd;
    return FALSE;
}

HWND ParseHandle(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(_wcstoui64(text, nullptr, 10)));
}

std::string HandleText(HWND hwnd) {
    return hwnd ? std::to_string(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd))) : "none";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (__argc < 3) {
        return 2;
    }
    toolio::LineFile out(__wargv[1]);
    const std::wstring verb = __wargv[2];

    if (verb == L"find" && __argc >= 6) {
        FindRequest request{__wargv[3], __wargv[4], nullptr};
        const DWORD deadline = GetTickCount() + static_cast<DWORD>(_wtoi(__wargv[5]));
        while (EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&request)), request.found == nullptr) {
            if (static_cast<LONG>(GetTickCount() - deadline) >= 0) {
                break;
            }
            Sleep(50);
        }
        out.Write(HandleText(request.found));
        return request.found ? 0 : 1;
    }
    if (verb == L"text" && __argc >= 5) {
        HWND control = GetDlgItem(ParseHandle(__wargv[3]), _wtoi(__wargv[4]));
        if (control == nullptr) {
            return 1;
        }
        wchar_t text[4096] = {};
        SendMessageTimeoutW(control, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                            nullptr);
        out.Write(toolio::Escape(text));
        return 0;
    }
    if (verb == L"command" && __argc >= 5) {
        HWND window = ParseHandle(__wargv[3]);
        const int id = _wtoi(__wargv[4]);
        HWND control = GetDlgItem(window, id);
        return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control))
                   ? 0
                   : 1;
    }
    return 2;
}
