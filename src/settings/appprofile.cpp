#include "settings/appprofile.h"

#include <windows.h>

#include <string>

#include "app/appname.h"
#include "core/widestr.h"

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
// size - 1 (size - 2 for a list of names) when it had to cut.
// https://learn.microsoft.com/windows/win32/api/winbase/nf-winbase-getprivateprofilestringw
std::wstring ProfileText(LPCWSTR section, LPCWSTR entry, LPCWSTR fallback, LPCWSTR file) {
    for (DWORD size = 256;; size *= 2) {
        std::wstring buffer(size, L'\0');
        const DWORD copied = GetPrivateProfileStringW(section, entry, fallback, buffer.data(), size, file);
        const DWORD cut = entry == nullptr ? size - 2 : size - 1;
        if (copied < cut || size >= (1u << 20)) {
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

std::optional<std::u16string> CWin32PrivateProfile::GetString(const char16_t* section, const char16_t* entry,
                                                              const char16_t* fileName) {
    const std::wstring text = ProfileText(AsWide(section), AsWide(entry), kMissing, AsWide(fileName));
    if (text == kMissing) {
        return std::nullopt;
    }
    return std::u16string(AsUtf16View(text));
}

std::vector<std::pair<std::u16string, std::u16string>> CWin32PrivateProfile::GetSection(const char16_t* section,
                                                                                        const char16_t* fileName) {
    // A null entry lists the section's names, each ended by a NUL.
    const std::wstring names = ProfileText(AsWide(section), nullptr, L"", AsWide(fileName));
    std::vector<std::pair<std::u16string, std::u16string>> entries;
    for (size_t start = 0; start < names.size();) {
        const size_t end = names.find(L'\0', start);
        const std::wstring name = names.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!name.empty()) {
            const std::u16string key(AsUtf16View(name));
            entries.emplace_back(key, GetString(section, key.c_str(), fileName).value_or(u""));
        }
        if (end == std::wstring::npos) {
            break;
        }
        start = end + 1;
    }
    return entries;
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

SettingsStore ChooseSettingsStore() {
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
    theProfile.SetNames(nullptr, std::u16string(AsUtf16View(path)).c_str());
    // A file on a read-only medium or share, or marked read-only: its values are used, nothing
    // is written back.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool writable = file != INVALID_HANDLE_VALUE && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    theProfile.SetReadOnly(!writable);
    return writable ? SettingsStore::kIniFile : SettingsStore::kReadOnlyIniFile;
}

}  // namespace dorvane
