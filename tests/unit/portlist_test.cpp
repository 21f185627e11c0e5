#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "settingspages/core/portcheck.h"
#include "settingspages/core/portlist.h"

using namespace dorvane;

namespace {

const TreePort kFtdi{u"COM3", u"USB Serial Port (COM3)", u"FTDI", u"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000"};
const TreePort kBluetooth{u"COM10", u"Standard Serial over Bluetooth link (COM10)", u"Microsoft",
                          u"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1F0E2C4A&0&001A7DDA7113_C00000000"};
const TreePort kTreeOnly{u"COM4", u"Communications Port (COM4)", u"(Standard port types)", u"ACPI\\PNP0501\\1"};

}  // namespace

TEST_CASE("the ports on this PC: the device map's and the tree's, in number order, each once, as the list shows them") {
    CHECK(DescribePresentPorts({}, {}) == u"On this PC: none found");
    CHECK(DescribePresentPorts({u"COM12", u"COM3", u"COM7", u"COM3", u"COM10"}, {kBluetooth, kFtdi, kTreeOnly}) ==
          u"On this PC: COM3 \u2014 USB Serial Port (FTDI), COM4 \u2014 Communications Port, COM7, "
          u"COM10 \u2014 Standard Serial over Bluetooth link (Microsoft), COM12");
    // Under Wine and for virtual ports the tree knows nothing: the names alone, as before.
    CHECK(DescribePresentPorts({u"COM12", u"COM3"}, {}) == u"On this PC: COM3, COM12");
}

TEST_CASE("a list entry describes its port and still gives the bare name back") {
    const std::vector<TreePort> tree{kFtdi, kBluetooth};
    for (const char16_t* name : {u"COM3", u"COM10", u"COM1", u"COM255"}) {
        CAPTURE(std::string(name, name + std::char_traits<char16_t>::length(name)));
        const std::u16string item = PortListItem(name, tree);
        CHECK(PortOfListItem(item) == name);
        // The stored name finds its entry by a prefix search, as it found the bare name.
        CHECK(item.compare(0, std::char_traits<char16_t>::length(name), name) == 0);
    }
    CHECK(PortListItem(u"COM3", tree) == DescribeTreePort(kFtdi));
    CHECK(PortListItem(u"COM7", tree) == u"COM7");
}

TEST_CASE("the device stored beside the port: kept while the port is, taken from the tree when it changes") {
    const std::vector<TreePort> tree{kFtdi, kBluetooth};
    const std::u16string absent = u"USB\\VID_0C2E&PID_0B61\\12345";
    struct Case {
        const char* what;
        const char16_t* picked;
        const char16_t* storedPort;
        std::u16string storedDevice;
        std::u16string stored;
    };
    const Case cases[] = {
        {"the port kept: its device kept though absent now", u"COM5", u"COM5", absent, absent},
        {"the port kept, set before devices were remembered: the device there now", u"COM3", u"COM3", u"",
         kFtdi.instanceId},
        {"the port kept where another device now sits", u"COM3", u"COM3", absent, absent},
        {"another port the tree knows: its identity", u"COM10", u"COM3", kFtdi.instanceId, kBluetooth.instanceId},
        {"another port the tree does not know: none", u"COM7", u"COM3", kFtdi.instanceId, u""},
        {"a stored name the list could not show", u"COM1", u"LPT1", absent, u""},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(DeviceToStore(c.picked, c.storedPort, c.storedDevice, tree) == c.stored);
    }
    // Under Wine the tree is empty: nothing is ever stored, as before.
    CHECK(DeviceToStore(u"COM12", u"COM1", u"", {}).empty());
}

TEST_CASE("the General page's port check: one try per port at a time, OK decided by an answer after it") {
    CPortCheck check;
    bool startTry = false;
    using AtOk = CPortCheck::AtOk;

    SUBCASE("the selection's answer, and nothing from ports chosen before") {
        CHECK(check.Select(u"COM3"));
        CHECK(check.Select(u"COM4"));
        CHECK_FALSE(check.Select(u"COM3"));  // its first try still runs: no second open
        CHECK_FALSE(check.Known());
        CHECK_FALSE(check.Take(u"COM4", true));
        CHECK_FALSE(check.Known());
        CHECK_FALSE(check.Take(u"COM3", true));
        CHECK(check.Known() == true);
        CHECK(check.Select(u"COM3"));  // answered: a new selection tries again
    }
    SUBCASE("an answer from before OK is not enough: the port may have been taken since") {
        check.Select(u"COM3");
        check.Take(u"COM3", true);
        CHECK(check.PressOk(startTry) == AtOk::kWait);
        CHECK(startTry);
        CHECK(check.Take(u"COM3", false));
        CHECK(check.PressOk(startTry) == AtOk::kDoesNotOpen);
        CHECK_FALSE(startTry);
        CHECK(check.PressOk(startTry) == AtOk::kWait);  // each press asks afresh
    }
    SUBCASE("OK pressed while the selection is still tried waits for that try") {
        check.Select(u"COM3");
        CHECK(check.PressOk(startTry) == AtOk::kWait);
        CHECK_FALSE(startTry);
        CHECK(check.PressOk(startTry) == AtOk::kWait);  // pressed twice: still one try
        CHECK_FALSE(startTry);
        CHECK(check.Take(u"COM3", true));
        CHECK(check.PressOk(startTry) == AtOk::kOpens);
    }
    SUBCASE("choosing another port ends the wait of OK") {
        check.Select(u"COM3");
        check.PressOk(startTry);
        check.Select(u"COM4");
        CHECK_FALSE(check.Take(u"COM3", false));
        CHECK_FALSE(check.Take(u"COM4", true));
        CHECK(check.PressOk(startTry) == AtOk::kWait);
        CHECK(startTry);
    }
}
