// The single-instance rule: one running copy per logged-on user.
#pragma once

#include <windows.h>

// True for the first copy, which then holds the claim until it ends; false while another copy
// of the same user runs. Checking and claiming are one step, so two copies started together
// cannot both pass. The name and the system call can be given for tests.
using CreateMutexFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR);
bool ClaimSingleInstance(LPCWSTR name = L"Local\\Velmora.DORVANE.SingleInstance",
                         CreateMutexFn createMutex = CreateMutexW);
