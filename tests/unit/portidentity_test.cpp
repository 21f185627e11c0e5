#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "fakeregistry.h"
#include "serial/core/portidentity.h"
#include "settings/core/appprofile.h"
#include "settings/core/settingkeys.h"

using namespace dorvane;
using dorvane::testing::FakePrivateProfile;
using dorvane::testing::FakeRegistry;

namespace {

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        out += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return out;
}

}  // namespace

TEST_CASE("instance IDs: USB with and without a serial number, FTDI's bus, Bluetooth, a built-in port") {
    using Kind = DeviceIdentity::Kind;
    struct Case {
        const char16_t* id;
        Kind kind;
        uint16_t vendor;
        uint16_t product;
        const char16_t* serial;
        const char16_t* address;
    };
    const Case cases[] = {
        {u"USB\\VID_0403&PID_6001\\A50285BI", Kind::kUsb, 0x0403, 0x6001, u"A50285BI", u""},
        {u"usb\\vid_067b&pid_2303\\5&1a2b3c4d&0&2", Kind::kUsb, 0x067B, 0x2303, u"", u""},  // made from the socket
        {u"USB\\VID_2341&PID_0043&MI_00\\6&2A3B4C5D&0&0000", Kind::kUsb, 0x2341, 0x0043, u"", u""},
        {u"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", Kind::kUsb, 0x0403, 0x6001, u"A50285BIA", u""},
        {u"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A3B4C5D&0&000B5D8A1C2E_C00000000",
         Kind::kBluetooth, 0, 0, u"", u"000B5D8A1C2E"},
        {u"BTHENUM\\{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0000\\7&2a3b4c5d&0&000000000000_00000000",
         Kind::kBluetooth, 0, 0, u"", u""},  // an incoming port: no device of its own
        {u"ACPI\\PNP0501\\1", Kind::kOther, 0, 0, u"", u""},
        {u"USB\\VID_04G3&PID_6001\\X", Kind::kOther, 0, 0, u"", u""},  // not a vendor number
        {u"FTDIBUS\\VID_0403+PID_6001\\0000", Kind::kOther, 0, 0, u"", u""},
        {u"COM5", Kind::kOther, 0, 0, u"", u""},
        {u"", Kind::kNone, 0, 0, u"", u""},
    };
    for (const Case& c : cases) {
        CAPTURE(Narrow(c.id));
        const DeviceIdentity identity = ParseInstanceId(c.id);
        CHECK(identity.kind == c.kind);
        CHECK(identity.vendor == c.vendor);
        CHECK(identity.product == c.product);
        CHECK(identity.serial == c.serial);
        CHECK(identity.address == c.address);
    }
}

TEST_CASE("the port to open for a stored device: found again under another name, never a stranger") {
    using Outcome = PortChoice::Outcome;
    const TreePort ftdi{u"COM5", u"USB Serial Port (COM5)", u"FTDI", u"USB\\VID_0403&PID_6001\\A50285BI"};
    const TreePort ftdiMoved{u"COM9", u"USB Serial Port (COM9)", u"FTDI", u"USB\\VID_0403&PID_6001\\A50285BI"};
    const TreePort other{u"COM5", u"USB Serial Port (COM5)", u"FTDI", u"USB\\VID_0403&PID_6001\\B11111XY"};
    const TreePort plain1{u"COM3", u"Prolific USB-to-Serial Comm Port (COM3)", u"Prolific",
                          u"USB\\VID_067B&PID_2303\\5&1A2B3C4D&0&2"};
    const TreePort plain2{u"COM4", u"Prolific USB-to-Serial Comm Port (COM4)", u"Prolific",
                          u"USB\\VID_067B&PID_2303\\5&1A2B3C4D&0&3"};
    const TreePort plainMoved{u"COM8", u"Prolific USB-to-Serial Comm Port (COM8)", u"Prolific",
                              u"USB\\VID_067B&PID_2303\\5&99999999&0&1"};
    const TreePort bt{u"COM7", u"Standard Serial over Bluetooth link (COM7)", u"Microsoft",
                      u"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&2A3B4C5D&0&000B5D8A1C2E_C00000000"};
    const TreePort btAgain{u"COM11", u"Standard Serial over Bluetooth link (COM11)", u"Microsoft",
                           u"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\8&11111111&0&000B5D8A1C2E_C00000000"};
    const TreePort builtIn{u"COM1", u"Communications Port (COM1)", u"(Standard port types)", u"ACPI\\PNP0501\\1"};
    struct Case {
        const char* what;
        const char16_t* storedPort;
        std::u16string storedIdentity;
        std::vector<TreePort> present;
        Outcome outcome;
        const char16_t* port;
    };
    const Case cases[] = {
        {"no identity: the name, as always", u"COM5", u"", {other}, Outcome::kByName, u"COM5"},
        {"a pty the tree does not know, identity absent: the name", u"COM12", ftdi.instanceId, {builtIn},
         Outcome::kByName, u"COM12"},
        {"at its name", u"COM5", ftdi.instanceId, {builtIn, ftdi}, Outcome::kSame, u"COM5"},
        {"name in another case", u"com5", ftdi.instanceId, {ftdi}, Outcome::kSame, u"COM5"},
        {"moved to another socket", u"COM5", ftdi.instanceId, {builtIn, ftdiMoved}, Outcome::kMoved, u"COM9"},
        {"moved, and its old name taken by another adapter", u"COM5", ftdi.instanceId, {other, ftdiMoved},
         Outcome::kMoved, u"COM9"},
        {"absent, its name leads to another adapter: never opened", u"COM5", ftdi.instanceId, {other},
         Outcome::kAbsent, u""},
        {"FTDI's own driver now (the serial gains the channel letter), the old name gone: tried by its name",
         u"COM5", ftdi.instanceId, {TreePort{u"COM6", u"", u"", u"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"}},
         Outcome::kByName, u"COM5"},
        {"no serial number, same socket", u"COM3", plain1.instanceId, {plain1, plain2}, Outcome::kSame, u"COM3"},
        {"no serial number, another socket, the only one", u"COM3", plain1.instanceId, {builtIn, plainMoved},
         Outcome::kMoved, u"COM8"},
        {"no serial number, another socket, two alike: none", u"COM3", plain1.instanceId, {plain2, plainMoved},
         Outcome::kAmbiguous, u""},
        {"Bluetooth paired again: the address finds it", u"COM7", bt.instanceId, {btAgain}, Outcome::kMoved, u"COM11"},
        {"built-in port", u"COM1", builtIn.instanceId, {builtIn, ftdi}, Outcome::kSame, u"COM1"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        const PortChoice choice = ChoosePort(c.storedPort, c.storedIdentity, c.present);
        CHECK(choice.outcome == c.outcome);
        CHECK(choice.port == c.port);
    }

    CHECK(IdentityToStore(u"com9", {builtIn, ftdiMoved}) == ftdi.instanceId);
    CHECK(IdentityToStore(u"COM12", {builtIn, ftdiMoved}).empty());  // typed by hand, or not in the tree
}

TEST_CASE("ports by name: the friendly name without its own COM ending, the maker unless it says nothing new") {
    CHECK(DescribeTreePort({u"COM5", u"USB Serial Port (COM5)", u"FTDI", u"x"}) == u"COM5 \u2014 USB Serial Port (FTDI)");
    CHECK(DescribeTreePort({u"COM7", u"Standard Serial over Bluetooth link (COM7)", u"Microsoft", u"x"}) ==
          u"COM7 \u2014 Standard Serial over Bluetooth link (Microsoft)");
    CHECK(DescribeTreePort({u"COM3", u"Prolific USB-to-Serial Comm Port (COM3)", u"Prolific", u"x"}) ==
          u"COM3 \u2014 Prolific USB-to-Serial Comm Port");
    CHECK(DescribeTreePort({u"COM1", u"Communications Port (COM1)", u"(Standard port types)", u"x"}) ==
          u"COM1 \u2014 Communications Port");
    CHECK(DescribeTreePort({u"COM12", u"", u"", u""}) == u"COM12");
}

TEST_CASE("a moved device: the port follows it, its line settings go along unless the new name has its own") {
    FakeRegistry registry;
    FakePrivateProfile ini;
    CAppProfile profile{u"Velmora", u"DORVANE", registry, ini};
    const char16_t* section = SettingsSectionOf(profile);
    const std::vector<uint8_t> scannerLine(28, 0x11);
    const std::vector<uint8_t> otherLine(28, 0x22);
    auto line = [&](const std::u16string& port) {
        std::vector<uint8_t> record;
        profile.GetBinary(section, DcbEntryName(port).c_str(), record);
        return record;
    };
    WriteSetting(profile, COMPORT, u"COM5");
    profile.WriteBinary(section, u"COM5_DCB", scannerLine.data(), scannerLine.size());
    CHECK(StorePortMove(profile, u"COM5", u"COM9"));
    CHECK(ReadSetting(profile, COMPORT) == u"COM9");
    CHECK(line(u"COM9") == scannerLine);
    CHECK(line(u"COM5") == scannerLine);  // kept: the device may come back there

    profile.WriteBinary(section, u"COM3_DCB", otherLine.data(), otherLine.size());
    CHECK(StorePortMove(profile, u"COM9", u"COM3"));
    CHECK(ReadSetting(profile, COMPORT) == u"COM3");
    CHECK(line(u"COM3") == otherLine);  // the user set these for that name

    CHECK(StorePortMove(profile, u"COM3", u"COM4"));
    CHECK(line(u"COM4") == otherLine);
    CHECK(StorePortMove(profile, u"COM1", u"COM2"));  // none to take along
    CHECK(line(u"COM2").empty());
}
