#include "app/messagefilter.h"

#include "app/systemtray.h"

UINT QuitRequestMessage() {
    static const UINT message = RegisterWindowMessageW(L"Velmora.DORVANE.Quit");
    return message;
}

BOOL AllowShellAndInstallerMessages(HWND window, MessageFilterFn filter) {
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-changewindowmessagefilterex
    BOOL allowed = TRUE;
    for (UINT message : {CSystemTray::TaskbarCreatedMessage(), QuitRequestMessage()}) {
        CHANGEFILTERSTRUCT status{sizeof(status), 0};
        allowed = filter(window, message, MSGFLT_ALLOW, &status) && allowed;
    }
    return allowed;
}
