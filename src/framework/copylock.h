// The named mutexes the copies of the program share in a logged-on session (the typing lock, a
// window's claim, the settings file's turn).
#pragma once

#include <windows.h>

namespace framework {

// Makes or opens a lock the copies share with only the rights to wait on and release it, granted
// to the user at every integrity level; null when it cannot be had.
HANDLE OpenCopyLock(const wchar_t* name);

}  // namespace framework
