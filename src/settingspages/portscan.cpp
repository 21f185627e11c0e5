#include "settingspages/portscan.h"

#include <windows.h>

#include "core/widestr.h"

using namespace dorvane;

// The device map: one value per port that exists, its data the port's name.
// https://learn.microsoft.com/windows-hardware/drivers/serports/configuration-of-com-ports
std::vector<std::u16string> MappedPorts() {
    std::vector<std::u16string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameChars = ARRAYSIZE(valueName);
        wchar_t data[64] = {};
        DWORD dataBytes = sizeof data - sizeof(wchar_t);  // room for a terminator the data may lack
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, valueName, &nameChars, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS && type == REG_SZ && data[0] != L'\0') {
            names.emplace_back(AsUtf16View(data));
        }
    }
    RegCloseKey(key);
    return names;
}
