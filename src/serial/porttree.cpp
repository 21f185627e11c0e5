#include "serial/porttree.h"

#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>  // MAX_DEVICE_ID_LEN

#include <string>

#include "core/widestr.h"

using namespace dorvane;

namespace {

// The Ports (COM and LPT) device setup class.
// https://learn.microsoft.com/windows-hardware/drivers/install/system-defined-device-setup-classes-available-to-vendors
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::u16string TextProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr)) {
        return {};
    }
    return std::u16string(AsUtf16View(text));
}

// The port's name is the PortName value of the device's hardware key.
// https://learn.microsoft.com/windows-hardware/drivers/serports/configuration-of-com-ports
std::u16string PortName(HDEVINFO devices, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) {
        return {};
    }
    wchar_t port[64] = {};
    DWORD bytes = sizeof port - sizeof(wchar_t);
    DWORD type = 0;
    const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &bytes) ==
                           ERROR_SUCCESS &&
                       type == REG_SZ;
    RegCloseKey(key);
    return named ? std::u16string(AsUtf16View(port)) : std::u16string();
}

}  // namespace

std::vector<TreePort> PortsInTree() {
    std::vector<TreePort> ports;
    HDEVINFO devices = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return ports;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        TreePort port;
        port.name = PortName(devices, device);
        if (port.name.empty()) {
            continue;  // a printer port, or an entry without a name
        }
        port.friendlyName = TextProperty(devices, device, SPDRP_FRIENDLYNAME);
        port.maker = TextProperty(devices, device, SPDRP_MFG);
        // https://learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupdigetdeviceinstanceidw
        wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
        if (SetupDiGetDeviceInstanceIdW(devices, &device, id, ARRAYSIZE(id), nullptr)) {
            port.instanceId = std::u16string(AsUtf16View(id));
        }
        ports.push_back(std::move(port));
    }
    SetupDiDestroyDeviceInfoList(devices);
    return ports;
}
