#include "diag/misc.h"

#include "app/appname.h"
#include "core/widestr.h"

int MsgBox(LPCWSTR text, UINT type, UINT /*helpId*/) {
    // The program has no visible window to own the box; MB_SETFOREGROUND brings it in front
    // of the user's application so that an error from the tray is not hidden behind it.
    return MessageBoxW(nullptr, text, dorvane::AsWide(dorvane::kAppName), type | MB_SETFOREGROUND);
}
