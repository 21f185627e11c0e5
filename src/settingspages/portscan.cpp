#include "settingspages/portscan.h"

#include <windows.h>
#include <setupapi.h>

#include <map>
#include <string>

#include "core/widestr.h"

using namespace dorvane;

namespace {

// The Ports (COM and LPT) device setup class.
// https://learn.microsoft.com/windows-hardware/drivers/install/system-defined-device-setup-classes-available-to-vendors
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The device map: one value per port that exists, its data the port's name.
// https://learn.microsoft.com/windows-hardware/drivers/serports/configuration-of-com-ports
std::vector<std::wstring> MappedPorts() {
    std::vector<std::wstring> names;
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
            names.emplace_back(data);
        }
    }
    RegCloseKey(key);
    return names;
}

// Port name -> the device's friendly name, for the present devices of the Ports class.
std::map<std::wstring, std::wstring> FriendlyNames() {
    std::map<std::wstring, std::wstring> names;
    HDEVINFO devices = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return names;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        wchar_t port[64] = {};
        DWORD bytes = sizeof port - sizeof(wchar_t);
        DWORD type = 0;
        const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &bytes) ==
                               ERROR_SUCCESS && type == REG_SZ;
        RegCloseKey(key);
        wchar_t friendly[256] = {};
        if (named && SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                       reinterpret_cast<BYTE*>(friendly),
                                                       sizeof friendly - sizeof(wchar_t), nullptr)) {
            names[port] = friendly;
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    return names;
}

}  // namespace

std::vector<PresentPort> PresentPorts() {
    const std::map<std::wstring, std::wstring> friendly = FriendlyNames();
    std::vector<PresentPort> ports;
    for (const std::wstring& name : MappedPorts()) {
        const auto found = friendly.find(name);
        ports.push_back({std::u16string(AsUtf16View(name)),
                         found != friendly.end() ? std::u16string(AsUtf16View(found->second)) : std::u16string()});
    }
    return ports;
}
