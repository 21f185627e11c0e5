// The serial adapters on the real system: Winsock's Bluetooth name service and port opening.
#include <windows.h>

#include <string>
#include <vector>

#include "doctest/doctest.h"
#include "pipeline/win32pipeline.h"
#include "serial/btdiscover.h"
#include "serial/serialport.h"

using namespace dorvane;

TEST_CASE("discovery through the system's name service ends with one line when the lookup is refused") {
    CWinsockBluetoothNameService service;
    std::vector<std::u16string> lines;
    const bool ok = DiscoverBluetoothDevices(service, [&](const std::u16string& line) { lines.push_back(line); });
    // Wine has no Bluetooth provider; on Windows without a radio the lookup is refused too.
    if (!ok) {
        REQUIRE(lines.size() == 1);
        CHECK(lines[0].rfind(u"WSALookupServiceBegin failed! err=", 0) == 0);
        CHECK(lines[0].size() > std::u16string(u"WSALookupServiceBegin failed! err=").size());
    } else {
        for (const auto& line : lines) {
            CHECK(line.rfind(u"found BT dev, addr=", 0) == 0);
        }
    }
}

TEST_CASE("a port that does not exist cannot be opened") {
    CWin32SerialPlatform platform;
    CHECK_FALSE(platform.Open(u"\\\\.\\COM213"));
}

TEST_CASE("text for the device goes in the ANSI code page received bytes are read in, and back unchanged") {
    CWin32PipelinePlatform platform;
    const std::vector<uint8_t> bytes = AnsiBytesOf(u"P\u00e9\r\n");
    REQUIRE(bytes.size() == 4);
    CHECK(bytes[0] == 'P');
    CHECK(bytes[2] == '\r');
    CHECK(bytes[3] == '\n');
    const std::string text(bytes.begin(), bytes.end());
    CHECK(platform.AnsiToUtf16(text.c_str()) == u"P\u00e9\r\n");  // a round trip through the code page
    CHECK(AnsiBytesOf(u"").empty());
}
