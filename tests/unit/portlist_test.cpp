#include <doctest/doctest.h>

#include "settings/core/portlist.h"

using namespace dorvane;

TEST_CASE("the ports on this PC: number order, each once, friendly names without their port") {
    CHECK(DescribePresentPorts({}) == u"On this PC: none found");
    CHECK(DescribePresentPorts({{u"COM12", u""},
                                {u"COM3", u"USB Serial Port (COM3)"},
                                {u"COM7", u""},
                                {u"COM3", u"USB Serial Port (COM3)"},
                                {u"COM10", u"Standard Serial over Bluetooth link (COM10)"}}) ==
          u"On this PC: COM3 (USB Serial Port), COM7, COM10 (Standard Serial over Bluetooth link), COM12");
}
