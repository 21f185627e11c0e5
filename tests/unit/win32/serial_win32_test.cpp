// The serial adapters on the real system: Winsock's Bluetooth name service, port opening, and
// the General page's port list in a real combo box.
#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/widestr.h"
#include "doctest/doctest.h"
#include "pipeline/win32pipeline.h"
#include "serial/btdiscover.h"
#include "serial/serialport.h"
#include "settingspages/core/portlist.h"

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

namespace {

// A port opened the way the program opens a device, on the client end of a pipe with a 16-byte
// buffer whose server reads only when told: a write larger than the buffer stays pending, as on a
// device whose flow control holds. A port opened without FILE_FLAG_OVERLAPPED would not return
// from its first write until the server read it all: none is made, and the tests fail at once.
struct QuietLine {
    HANDLE reader = INVALID_HANDLE_VALUE;
    std::unique_ptr<ICommPort> port;

    QuietLine() {
        const wchar_t* name = L"\\\\.\\pipe\\dorvane-serial-write-test";
        reader = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 16, 16, 0, nullptr);
        if (reader != INVALID_HANDLE_VALUE && (kPortOpenFlags & FILE_FLAG_OVERLAPPED) != 0) {
            port = CWin32SerialPlatform().Open(AsUtf16(name));
        }
    }
    ~QuietLine() {
        port.reset();
        if (reader != INVALID_HANDLE_VALUE) {
            CloseHandle(reader);
        }
    }
};

}  // namespace

TEST_CASE("a write nobody reads stays pending, and its record is done only once the cancel has ended it") {
    struct Case {
        const char* end;
        bool stop;
        WriteWait waited;
    };
    QuietLine line;
    REQUIRE(line.reader != INVALID_HANDLE_VALUE);
    REQUIRE(line.port);
    // The stop signal stays set until the port closes: its case comes last.
    for (const Case c : {Case{"the time bound", false, WriteWait::kTimedOut}, Case{"the stop", true, WriteWait::kStopped}}) {
        CAPTURE(c.end);
        std::unique_ptr<ICommWrite> write = line.port->NewWrite(std::vector<uint8_t>(65536, 'x'));
        REQUIRE(write);
        CHECK(write->AwaitDone(0));  // not started: the system holds nothing of it
        REQUIRE(line.port->StartWrite(*write));
        if (c.stop) {
            line.port->SignalStop();
        }
        CHECK(line.port->AwaitWrite(*write, 100) == c.waited);
        CHECK_FALSE(write->AwaitDone(50));  // neither the bound nor the stop ends the write
        line.port->CancelWrite(*write);
        const bool done = write->AwaitDone(2000);
        CHECK(done);
        if (!done) {
            (void)write.release();  // still the system's: never freed under it
            continue;
        }
        size_t written = 1;
        CHECK_FALSE(line.port->FinishWrite(*write, written));
        CHECK(GetLastError() == ERROR_OPERATION_ABORTED);
        CHECK(written == 0);
    }
}

TEST_CASE("a write the other end takes is done at once, with its count") {
    QuietLine line;
    REQUIRE(line.port);
    std::unique_ptr<ICommWrite> write = line.port->NewWrite({'P', '\r', '\n'});
    REQUIRE(write);
    REQUIRE(line.port->StartWrite(*write));
    CHECK(line.port->AwaitWrite(*write, 2000) == WriteWait::kDone);
    CHECK(write->AwaitDone(0));
    size_t written = 0;
    CHECK(line.port->FinishWrite(*write, written));
    CHECK(written == 3);
    char got[3] = {};
    DWORD read = 0;
    CHECK(ReadFile(line.reader, got, sizeof got, &read, nullptr));
    CHECK(std::string(got, read) == "P\r\n");
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

TEST_CASE("a stored port name selects its entry in the port list, described or not, and reads back bare") {
    HWND list = CreateWindowExW(0, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL, 0, 0, 200, 200, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    REQUIRE(list != nullptr);
    const std::vector<TreePort> tree{{u"COM5", u"USB Serial Port (COM5)", u"FTDI", u"FTDIBUS\\VID_0403+PID_6001+A5\\0000"}};
    for (int number = 1; number <= 255; ++number) {
        const std::u16string item = PortListItem(std::u16string(u"COM") + AsUtf16(std::to_wstring(number).c_str()), tree);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AsWide(item.c_str())));
    }
    for (const auto& [stored, index] : {std::pair{L"COM5", 4}, std::pair{L"com5", 4}, std::pair{L"COM1", 0},
                                        std::pair{L"COM50", 49}, std::pair{L"COM", 0}}) {
        CAPTURE(std::string(stored, stored + wcslen(stored)));
        CHECK(SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(stored)) == index);
    }
    CHECK(SendMessageW(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"LPT1")) == CB_ERR);
    wchar_t text[128] = {};
    SendMessageW(list, CB_GETLBTEXT, 4, reinterpret_cast<LPARAM>(text));
    CHECK(PortOfListItem(AsUtf16View(text)) == u"COM5");
    CHECK(std::wstring(text) != L"COM5");  // described
    DestroyWindow(list);
}
