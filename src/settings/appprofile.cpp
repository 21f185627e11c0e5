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
