#include "settings/appprofile.h"

#include <windows.h>

#include <string>

#include "core/appname.h"
#include "core/widestr.h"
#include "diag/dbg.h"
#include "diag/misc.h"
#include "framework/copylock.h"
#include "settings/core/portablefile.h"

namespace dorvane {

namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

HKEY AsHkey(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}
RegKey AsRegKey(HKEY key) {
    return reinterpret_cast<RegKey>(key);
}

// Registry names must be NUL-terminated for the API.
std::wstring Name(std::u16string_view name) {
    return ToWide(name);
}

}  // namespace

RegKey CWin32Registry::OpenSoftwareKey() {
    HKEY key = nullptr;
    return RegOpenKeyExW(HKEY_CURRENT_USER, L"software", 0, kAccess, &key) == ERROR_SUCCESS ? AsRegKey(key)
                                                                                            : 0;
}

RegKey CWin32Registry::CreateKey(RegKey parent, std::u16string_view name) {
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(AsHkey(parent), Name(name).c_str(), 0, nullptr,
                                           REG_OPTION_NON_VOLATILE, kAccess, nullptr, &key, nullptr);
    return status == ERROR_SUCCESS ? AsRegKey(key) : 0;
}

void CWin32Registry::CloseKey(RegKey key) {
    RegCloseKey(AsHkey(key));
}

bool CWin32Registry::QueryValue(RegKey key, std::u16string_view name, size_t maxBytes, RegValue& out) {
    const std::wstring valueName = Name(name);
    // Another program may change the value between the size query and the read; then the
    // read reports more data and is simply tried again with the new size.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = REG_NONE, size = 0;
        if (RegQueryValueExW(AsHkey(key), valueName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS) {
            return false;
        }
        if (size > maxBytes) {
            return false;
        }
        std::vector<uint8_t> bytes(size);
        DWORD read = size;
        const LSTATUS status = RegQueryValueExW(AsHkey(key), valueName.c_str(), nullptr, &type,
                                                bytes.empty() ? nullptr : bytes.data(), &read);
        if (status == ERROR_MORE_DATA) {
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return false;
        }
        bytes.resize(read);
        out = RegValue{static_cast<RegType>(type), std::move(bytes)};
        return true;
    }
    return false;
}

bool CWin32Registry::SetValue(RegKey key, std::u16string_view name, RegType type, const uint8_t* data,
                              size_t size) {
    return RegSetValueExW(AsHkey(key), Name(name).c_str(), 0, static_cast<DWORD>(type), data,
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

bool CWin32Registry::DeleteValue(RegKey key, std::u16string_view name) {
    return RegDeleteValueW(AsHkey(key), Name(name).c_str()) == ERROR_SUCCESS;
}

bool CWin32Registry::DeleteKey(RegKey parent, std::u16string_view name) {
    return RegDeleteKeyW(AsHkey(parent), Name(name).c_str()) == ERROR_SUCCESS;
}

bool CWin32PrivateProfile::WriteString(const char16_t* section, const char16_t* entry, const char16_t* value,
                                       const char16_t* fileName) {
    return WritePrivateProfileStringW(AsWide(section), entry ? AsWide(entry) : nullptr,
                                      value ? AsWide(value) : nullptr, AsWide(fileName)) != FALSE;
}

namespace {

// GetPrivateProfileStringW into a buffer that grows until the text fits: the call returns
// size - 1 when it had to cut.
// https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getprivateprofilestringw
std::wstring ProfileText(LPCWSTR section, LPCWSTR entry, LPCWSTR fallback, LPCWSTR file) {
    for (DWORD size = 256;; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD copied = GetPrivateProfileStringW(section, entry, fallback, buffer.data(), size, file);
        if (copied < size - 1 || size >= (1u << 20)) {
            buffer.resize(copied);
            return buffer;
        }
    }
}

// The default that says "no such entry": no stored value can consist of it.
constexpr wchar_t kMissing[] = L"\x01\x02";

}  // namespace

bool CreateUtf16IniFile(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != FALSE;
    if (ok && size.QuadPart == 0) {
        const uint8_t mark[2] = {0xFF, 0xFE};
        DWORD written = 0;
        ok = WriteFile(file, mark, sizeof mark, &written, nullptr) && written == sizeof mark;
    }
    CloseHandle(file);
    return ok;
}

// One mutex for every settings file: a copy holds it only for the length of one profile call
// (or the look at Dorvane.ini at start), so sharing it costs nothing, and it needs no name
// made from a path that a short name or a mapped drive would spell differently. Made with
// only the rights to wait and release, for the user at every integrity level, like the
// typing lock. A named mutex is taken again by the thread that owns it, and a copy that ended
// holding it leaves it abandoned, which the next wait takes as owned.
// https://learn.microsoft.com/windows/win32/termserv/kernel-object-namespaces
// https://learn.microsoft.com/windows/win32/api/synchapi/nf-synchapi-waitforsingleobject
bool CWin32PrivateProfile::LockFile(const char16_t*) {
    AcquireSRWLockExclusive(&m_guard);
    if (!m_bLockTried) {
        m_bLockTried = true;
        m_hLock = framework::OpenCopyLock(kSettingsFileLockName);
        if (m_hLock == nullptr) {
            // As before there was a lock: each call on its own.
            DebugPrintf(L"settings file lock cannot be had (error %u); the file is used without it",
                        static_cast<unsigned>(GetLastError()));
        }
    }
    const HANDLE lock = m_hLock;
    ReleaseSRWLockExclusive(&m_guard);
    if (lock == nullptr) {
        return true;
    }
    const DWORD waited = WaitForSingleObject(lock, kSettingsFileLockWaitMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        return true;
    }
    DebugPrintf(L"settings file lock not had within %u ms", static_cast<unsigned>(kSettingsFileLockWaitMs));
    return false;
}

void CWin32PrivateProfile::UnlockFile(const char16_t*) {
    AcquireSRWLockShared(&m_guard);
    const HANDLE lock = m_hLock;
    ReleaseSRWLockShared(&m_guard);
    if (lock != nullptr) {
        ReleaseMutex(lock);
    }
}

namespace {

bool IsBusy(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

FileBytes CWin32PrivateProfile::ReadBytes(const char16_t* fileName, size_t maxBytes) {
    FileBytes result;
    HANDLE file =
        CreateFileW(AsWide(fileName), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result.status = IsBusy(GetLastError()) ? FileBytes::Status::kBusy : FileBytes::Status::kUnreadable;
        return result;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return result;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        CloseHandle(file);
        result.status = FileBytes::Status::kTooLarge;
        return result;
    }
    result.bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    DWORD read = 0;
    while (done < result.bytes.size() &&
           ReadFile(file, result.bytes.data() + done, static_cast<DWORD>(result.bytes.size() - done), &read,
                    nullptr) &&
           read != 0) {
        done += read;
    }
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (done < result.bytes.size()) {
        result.bytes.clear();
        result.status = IsBusy(error) ? FileBytes::Status::kBusy : FileBytes::Status::kUnreadable;
        return result;
    }
    result.status = FileBytes::Status::kRead;
    return result;
}

// A file marked read-only, on a write-protected medium or a share the user may only read
// cannot be opened for writing; a file another program opened without sharing it gives a
// sharing violation instead, which ends when that program closes it.
// https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-createfilew
FileAccess CWin32PrivateProfile::WriteAccess(const char16_t* fileName) {
    const DWORD attributes = GetFileAttributesW(AsWide(fileName));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return FileAccess::kReadOnly;
    }
    HANDLE file = CreateFileW(AsWide(fileName), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return IsBusy(GetLastError()) ? FileAccess::kBusy : FileAccess::kReadOnly;
    }
    CloseHandle(file);
    return FileAccess::kWritable;
}

bool CWin32PrivateProfile::MarkEmptyFileUtf16(const char16_t* fileName) {
    return CreateUtf16IniFile(AsWide(fileName));
}

std::u16string AnsiText(std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(size > 0 ? static_cast<size_t>(size) : 0, L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    }
    return std::u16string(AsUtf16View(text));
}

namespace {

// The volume and index of an existing file; false when it cannot be opened to ask.
// https://learn.microsoft.com/windows/win32/api/fileapi/nf-fileapi-getfileinformationbyhandle
bool FileIdentity(const wchar_t* path, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE file =
        CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool ok = GetFileInformationByHandle(file, &info) != FALSE;
    CloseHandle(file);
    return ok;
}

}  // namespace

bool IsSameFile(const wchar_t* first, const wchar_t* second) {
    if (CompareStringOrdinal(first, -1, second, -1, TRUE) == CSTR_EQUAL) {
        return true;
    }
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return FileIdentity(first, a) && FileIdentity(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

std::optional<std::u16string> CWin32PrivateProfile::GetString(const char16_t* section, const char16_t* entry,
                                                              const char16_t* fileName) {
    const std::wstring text = ProfileText(AsWide(section), AsWide(entry), kMissing, AsWide(fileName));
    if (text == kMissing) {
        return std::nullopt;
    }
    return std::u16string(AsUtf16View(text));
}

}  // namespace dorvane

// Built ahead of every other static object of the program (init_priority), so that any code
// that runs during static initialisation already finds the store; within this file the back
// ends come first because they are defined first.
namespace {
__attribute__((init_priority(200))) dorvane::CWin32Registry g_registry;
__attribute__((init_priority(200))) dorvane::CWin32PrivateProfile g_privateProfile;
}  // namespace

__attribute__((init_priority(200)))
dorvane::CAppProfile theProfile(dorvane::kCompanyKey, dorvane::kAppName, g_registry, g_privateProfile);

namespace dorvane {

IRegistry& TheRegistry() {
    return g_registry;
}

IPrivateProfile& ThePrivateProfile() {
    return g_privateProfile;
}

SettingsStore ChooseSettingsStore(bool quiet) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return SettingsStore::kRegistry;
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);  // cut: ask again with room
    }
    path.resize(path.find_last_of(L"\\/") + 1);
    path += L"Dorvane.ini";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return SettingsStore::kRegistry;
    }
    const std::u16string name(AsUtf16View(path));
    theProfile.SetNames(nullptr, name.c_str());
    const PortableFileUse file = OpenPortableFile(g_privateProfile, name, [](uint32_t ms) { Sleep(ms); });
    if (file.busy) {
        DebugPrintf(L"settings file is in use by another program: %s", path.c_str());
    }
    if (file.use == PortableFileUse::Use::kRefused) {
        DebugPrintf(L"settings file refused: %s", path.c_str());
        if (!quiet) {
            MsgBox(AsWide(file.refusal.c_str()), MB_ICONERROR | MB_OK, 0);
        }
        return SettingsStore::kRefusedIniFile;
    }
    // A file on a read-only medium or share, or marked read-only: its values are used, nothing
    // is written back.
    const bool writable = file.use == PortableFileUse::Use::kWritable;
    theProfile.SetReadOnly(!writable);
    return writable ? SettingsStore::kIniFile : SettingsStore::kReadOnlyIniFile;
}

}  // namespace dorvane
