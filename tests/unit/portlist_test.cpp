#include <doctest/doctest.h>

#include "settingspages/core/portcheck.h"
#include "settingspages/core/portlist.h"

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
