#include "framework/copylock.h"

#include <sddl.h>

#include <cwchar>
#include <string>
#include <vector>

namespace framework {

namespace {

// A wait and a release are all a copy does with a lock: it asks for nothing more, so that a
// lock another copy made is opened whatever else its descriptor keeps from us.
constexpr DWORD kCopyLockAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// The copies' locks grant the user exactly those rights, whatever the integrity level of the
// copy that made them and of the one that opens them. Made with the defaults by an elevated
// copy, a lock gets that token's default DACL (administrators, the system) and a high label,
// and a normal copy asking for full access (as CreateMutexW does) is refused. The low label
// with no-write-up puts every level of the user at or above the lock's.
// https://learn.microsoft.com/windows/win32/sync/synchronization-object-security-and-access-rights
// https://learn.microsoft.com/windows/win32/secauthz/mandatory-integrity-control
// https://learn.microsoft.com/windows/win32/secauthz/security-descriptor-string-format
std::wstring CopyLockSddl() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    std::wstring sddl;
    LPWSTR sid = nullptr;
    if (size != 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
        wchar_t mask[16];
        _snwprintf(mask, 16, L"0x%08lX", static_cast<unsigned long>(kCopyLockAccess));
        sddl = L"D:P(A;;" + std::wstring(mask) + L";;;" + sid + L")S:(ML;;NW;;;LW)";
        LocalFree(sid);
    }
    CloseHandle(token);
    return sddl;
}

}  // namespace

HANDLE OpenCopyLock(const wchar_t* name) {
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring sddl = CopyLockSddl();
    if (!sddl.empty() &&
        ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        attributes.lpSecurityDescriptor = descriptor;
    }
    // Made if it is not there, opened with only our rights if it is.
    // https://learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-createmutexexw
    HANDLE lock = CreateMutexExW(descriptor != nullptr ? &attributes : nullptr, name, 0, kCopyLockAccess);
    if (lock == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
        lock = OpenMutexW(kCopyLockAccess, FALSE, name);
    }
    if (descriptor != nullptr) {
        LocalFree(descriptor);
    }
    return lock;
}

}  // namespace framework
