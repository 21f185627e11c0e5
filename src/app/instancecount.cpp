#include "app/instancecount.h"

#include <windows.h>

bool ClaimSingleInstance() {
    // A named mutex is created or opened in one step. The Local\ namespace is the logged-on
    // user's session, so two users of one PC each run their own copy (a shared data section of
    // the executable would be one value for every user). The handle is kept until the process
    // ends, and the system closes it then, also after a crash.
    // https://learn.microsoft.com/windows/win32/sync/object-names (ERROR_ALREADY_EXISTS for a
    // name in use) and .../termserv/kernel-object-namespaces (Local\\ is per session).
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Local\\Velmora.DORVANE.SingleInstance");
    if (mutex == nullptr) {
        return true;  // no object to share: better a second copy than none at all
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true;
}
