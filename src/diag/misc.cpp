#include "diag/misc.h"

#include <atomic>

#include "core/appname.h"
#include "core/widestr.h"
#include "framework/foreground.h"

namespace {

std::atomic<HWND> g_hBoxOwner{nullptr};

HWND BoxOwner() {
    HWND main = g_hBoxOwner;
    if (main == nullptr || GetWindowThreadProcessId(main, nullptr) != GetCurrentThreadId()) {
        return nullptr;
    }
    HWND modal = framework::ActiveModalWindow(main);
    return modal != nullptr ? modal : main;
}

}  // namespace

void SetMessageBoxOwner(HWND owner) {
    g_hBoxOwner = owner;
}

int MsgBox(LPCWSTR text, UINT type, UINT /*helpId*/) {
    // The owner may be the hidden main window: MB_SETFOREGROUND brings the box in front of the
    // user's application so that an error from the tray is not hidden behind it, and the
    // keeper gives the foreground back to that application afterwards.
    framework::CForegroundKeeper keeper;
    return MessageBoxW(BoxOwner(), text, dorvane::AsWide(dorvane::kAppName), type | MB_SETFOREGROUND);
}
