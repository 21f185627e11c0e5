#include "serial/core/portidentity.h"

#include <algorithm>
#include <optional>

#include "core/hexdigit.h"
#include "core/textcase.h"
#include "settings/core/appprofile.h"
#include "settings/core/settingkeys.h"

namespace dorvane {

namespace {

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
    std::vector<std::u16string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
        if (end == std::u16string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// "VID_0403" with prefix "VID_": 0x0403; nothing unless four hexadecimal digits follow.
std::optional<uint16_t> HexField(std::u16string_view token, std::u16string_view prefix) {
    if (token.size() != prefix.size() + 4 || !SameTextIgnoringCase(token.substr(0, prefix.size()), prefix)) {
        return std::nullopt;
    }
    uint16_t value = 0;
    for (char16_t c : token.substr(prefix.size())) {
        const int digit = HexDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = static_cast<uint16_t>(value * 16 + digit);
    }
    return value;
}

bool ReadVendorAndProduct(const std::vector<std::u16string_view>& tokens, DeviceIdentity& identity) {
    if (tokens.size() < 2) {
        return false;
    }
    const auto vendor = HexField(tokens[0], u"VID_");
    const auto product = HexField(tokens[1], u"PID_");
    if (!vendor || !product) {
        return false;
    }
    identity.vendor = *vendor;
    identity.product = *product;
    return true;
}

// The Bluetooth address in the instance part of a BTHENUM port: "7&2a3b4c5d&0&000B5D8A1C2E_C00000000".
std::u16string BluetoothAddress(std::u16string_view instance) {
    const size_t lastAmp = instance.rfind(u'&');
    std::u16string_view tail = lastAmp == std::u16string_view::npos ? instance : instance.substr(lastAmp + 1);
    tail = tail.substr(0, tail.find(u'_'));
    if (tail.size() != 12 || !std::all_of(tail.begin(), tail.end(), [](char16_t c) { return HexDigitValue(c) >= 0; })) {
        return {};
    }
    if (std::all_of(tail.begin(), tail.end(), [](char16_t c) { return c == u'0'; })) {
        return {};  // an incoming port: no remote device of its own
    }
    std::u16string address;
    for (char16_t c : tail) {
        address += UpperCase(c);
    }
    return address;
}

bool SameDevice(const DeviceIdentity& a, const DeviceIdentity& b) {
    if (a.kind != b.kind) {
        return false;
    }
    if (a.kind == DeviceIdentity::Kind::kUsb && !a.serial.empty()) {
        return a.vendor == b.vendor && a.product == b.product && SameTextIgnoringCase(a.serial, b.serial);
    }
    if (a.kind == DeviceIdentity::Kind::kBluetooth && !a.address.empty()) {
        return a.address == b.address;
    }
    return SameTextIgnoringCase(a.instanceId, b.instanceId);
}

const TreePort* FindPort(const std::u16string& name, const std::vector<TreePort>& present) {
    const auto found = std::find_if(present.begin(), present.end(),
                                    [&](const TreePort& port) { return SameTextIgnoringCase(port.name, name); });
    return found == present.end() ? nullptr : &*found;
}

}  // namespace

DeviceIdentity ParseInstanceId(std::u16string_view instanceId) {
    DeviceIdentity identity;
    if (instanceId.empty()) {
        return identity;
    }
    identity.instanceId = std::u16string(instanceId);
    identity.kind = DeviceIdentity::Kind::kOther;
    const std::vector<std::u16string_view> parts = Split(instanceId, u'\\');
    if (parts.size() != 3) {
        return identity;
    }
    const std::u16string_view enumerator = parts[0];
    const std::u16string_view device = parts[1];
    const std::u16string_view instance = parts[2];
    if (SameTextIgnoringCase(enumerator, u"USB") && ReadVendorAndProduct(Split(device, u'&'), identity)) {
        identity.kind = DeviceIdentity::Kind::kUsb;
        // https://learn.microsoft.com/windows-hardware/drivers/install/instance-ids: the bus's
        // serial number, or a location the system made unique ("6&2a3b4c5d&0&2").
        if (instance.find(u'&') == std::u16string_view::npos && !instance.empty()) {
            identity.serial = std::u16string(instance);
        }
    } else if (SameTextIgnoringCase(enumerator, u"FTDIBUS")) {
        // FTDI's own bus driver: VID_0403+PID_6001+<serial><channel letter>\0000.
        const std::vector<std::u16string_view> tokens = Split(device, u'+');
        if (tokens.size() == 3 && ReadVendorAndProduct(tokens, identity) && !tokens[2].empty()) {
            identity.kind = DeviceIdentity::Kind::kUsb;
            identity.serial = std::u16string(tokens[2]);
        }
    } else if (SameTextIgnoringCase(enumerator, u"BTHENUM")) {
        identity.kind = DeviceIdentity::Kind::kBluetooth;
        identity.address = BluetoothAddress(instance);
    }
    return identity;
}

std::u16string DescribeTreePort(const TreePort& port) {
    std::u16string friendly = port.friendlyName;
    const std::u16string ending = u" (" + port.name + u")";
    if (friendly.size() > ending.size() &&
        SameTextIgnoringCase(std::u16string_view(friendly).substr(friendly.size() - ending.size()), ending)) {
        friendly.resize(friendly.size() - ending.size());
    }
    if (friendly.empty()) {
        return port.name;
    }
    if (!port.maker.empty() && friendly.find(port.maker) == std::u16string::npos &&
        port.maker.front() != u'(') {  // "(Standard port types)": says nothing
        friendly += u" (" + port.maker + u")";
    }
    return port.name + u" \u2014 " + friendly;
}

PortChoice ChoosePort(const std::u16string& storedPort, const std::u16string& storedIdentity,
                      const std::vector<TreePort>& present) {
    using Outcome = PortChoice::Outcome;
    if (storedIdentity.empty()) {
        return {Outcome::kByName, storedPort};
    }
    const DeviceIdentity wanted = ParseInstanceId(storedIdentity);
    std::vector<const TreePort*> matches;
    for (const TreePort& port : present) {
        if (SameDevice(wanted, ParseInstanceId(port.instanceId))) {
            matches.push_back(&port);
        }
    }
    const bool bySocket = wanted.kind == DeviceIdentity::Kind::kUsb && wanted.serial.empty();
    if (matches.empty() && bySocket) {
        // Plugged into another socket, its instance ID changed with it: the same vendor and
        // product, only when no other such device could be the one.
        for (const TreePort& port : present) {
            const DeviceIdentity other = ParseInstanceId(port.instanceId);
            if (other.kind == DeviceIdentity::Kind::kUsb && other.vendor == wanted.vendor &&
                other.product == wanted.product) {
                matches.push_back(&port);
            }
        }
    }
    if (matches.size() > 1) {
        return {Outcome::kAmbiguous, {}};
    }
    if (matches.size() == 1) {
        const std::u16string& name = matches.front()->name;
        return {SameTextIgnoringCase(name, storedPort) ? Outcome::kSame : Outcome::kMoved, name};
    }
    // Not present. A stored name that leads to another device is never opened (writing to other
    // equipment makes it act); one the tree does not know is opened by its name, as always.
    if (FindPort(storedPort, present) != nullptr) {
        return {Outcome::kAbsent, {}};
    }
    return {Outcome::kByName, storedPort};
}

bool StorePortMove(CAppProfile& profile, const std::u16string& from, const std::u16string& to) {
    const char16_t* section = SettingsSectionOf(profile);
    std::vector<uint8_t> record;
    bool ok = true;
    if (!profile.GetBinary(section, DcbEntryName(to).c_str(), record) &&
        profile.GetBinary(section, DcbEntryName(from).c_str(), record)) {
        ok = profile.WriteBinary(section, DcbEntryName(to).c_str(), record.data(), record.size());
    }
    return WriteSetting(profile, COMPORT, to) && ok;
}

std::u16string IdentityToStore(const std::u16string& port, const std::vector<TreePort>& present) {
    const TreePort* found = FindPort(port, present);
    return found != nullptr ? found->instanceId : std::u16string();
}

}  // namespace dorvane
