#include "app/instancecount.h"

bool ClaimSingleInstance(LPCWSTR name, CreateMutexFn createMutex) {
    // A named mutex is created or opened in one step. The Local\ namespace is the logged-on
    // user's session, so two users of one PC each run their own copy (a shared data section of
    // the executable would be one value for every user). The handle is kept until the process
    // ends, and the system closes it then, also after a crash.
    // https://learn.microsoft.com/windows/win32/sync/object-names (ERROR_ALREADY_EXISTS for a
    // name in use) and .../termserv/kernel-object-namespaces (Local\\ is per session).
    HANDLE mutex = createMutex(nullptr, FALSE, name);
    if (mutex == nullptr) {
        // A copy running elevated made the mutex with a security that a copy at a lower level
        // may not open: access is denied, and that means it exists.
        // https://learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-createmutexw
        return GetLastError() != ERROR_ACCESS_DENIED;  // otherwise no object to share: better a second copy than none
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true;
}
