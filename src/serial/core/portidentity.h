// Which device a port leads to, and the port to open for a device the user chose. Windows
// numbers COM ports per USB socket and per adapter: the same scanner plugged in elsewhere, or
// replaced, comes back as another COM name. The chosen device is remembered by its identity (the
// device instance ID the device tree gives its port) and found again under whatever name it has.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

// What a device instance ID tells of the device behind a port.
// https://learn.microsoft.com/windows-hardware/drivers/install/device-instance-ids
// https://learn.microsoft.com/windows-hardware/drivers/install/instance-ids
struct DeviceIdentity {
    enum class Kind {
        kNone,       // no instance ID
        kUsb,        // USB\VID_v&PID_p[&MI_n]\<instance>, or FTDI's FTDIBUS\VID_v+PID_p+<serial>\<n>
        kBluetooth,  // BTHENUM\{service}_...\<...>_<address>_C00000000
        kOther,      // a built-in port, a virtual port's own bus: matched by the whole ID
    };
    Kind kind = Kind::kNone;
    std::u16string instanceId;
    uint16_t vendor = 0;
    uint16_t product = 0;
    // The device's serial number; empty when the system made the instance part from the
    // socket the device is plugged into (the bus reported no unique ID: the part then holds
    // '&', which a serial number reported by the bus cannot).
    std::u16string serial;
    // The remote device's Bluetooth address, 12 hexadecimal digits; empty for an incoming
    // port (no device of its own: all zeros).
    std::u16string address;
};

DeviceIdentity ParseInstanceId(std::u16string_view instanceId);

// A port present on this PC as the device tree knows it (the Ports class); a port the tree
// does not list (a pty under Wine, some virtual ports) has no entry.
struct TreePort {
    std::u16string name;          // "COM5"
    std::u16string friendlyName;  // "USB Serial Port (COM5)"
    std::u16string maker;         // "FTDI"
    std::u16string instanceId;
};

// "COM5 — USB Serial Port (FTDI)": the name, and the device's friendly name without its own
// "(COM5)" ending, with its maker in brackets unless the name says it already. Just the name
// when the tree has nothing on the port.
std::u16string DescribeTreePort(const TreePort& port);

// Where the enable should open, for the stored port and device identity.
struct PortChoice {
    enum class Outcome {
        kByName,     // no identity stored, or the tree knows nothing of either: the stored name
        kSame,       // the device is at its stored name
        kMoved,      // the device is present under another name: `port`
        kAbsent,     // the device is not present (its name, if present, leads to another device)
        kAmbiguous,  // two or more devices could be it (no serial number): none is opened
    };
    Outcome outcome = Outcome::kByName;
    std::u16string port;  // the name to open (kByName, kSame, kMoved)
};

PortChoice ChoosePort(const std::u16string& storedPort, const std::u16string& storedIdentity,
                      const std::vector<TreePort>& present);

class CAppProfile;

// The configured device is present under `to`: COMPORT follows it, and the line settings of
// `from` go with it unless `to` has its own (another device used that name before, and the
// user set them for it). False when a write failed.
bool StorePortMove(CAppProfile& profile, const std::u16string& from, const std::u16string& to);

// The identity to store when the user picks `port` by name: the tree's instance ID for it, empty
// for a name the tree does not know (typed by hand, a virtual port).
std::u16string IdentityToStore(const std::u16string& port, const std::vector<TreePort>& present);

}  // namespace dorvane
