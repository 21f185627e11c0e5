// The request and acknowledgement texts sent to the device, and the hotkey that sends the request.
#include <doctest/doctest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "serial/core/devicecommand.h"
#include "serial/core/devicerequests.h"
#include "serialrig.h"

using namespace dorvane;

namespace {

// Code page 1252 for the characters the table uses; others become '?', as the system's
// conversion gives them.
std::vector<uint8_t> Cp1252(std::u16string_view text) {
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(c < 0x100 ? static_cast<uint8_t>(c) : c == u'\x20ac' ? uint8_t{0x80} : uint8_t{'?'});
    }
    return bytes;
}

// The program around the requests: the link's write side over the fake port, and a poll timer
// driven by a fake clock (Advance fires each tick that falls due, as WM_TIMER would).
struct RequestHost : IDeviceRequestHost {
    explicit RequestHost(CSerialLink& link) : link(link) {}
    SendResult Send(std::vector<uint8_t> bytes, bool skipWhenBusy) override {
        return queueFull ? SendResult::kBusy : link.Send(std::move(bytes), skipWhenBusy);
    }
    std::vector<uint8_t> Encode(std::u16string_view text) override { return Cp1252(text); }
    bool StartPollTimer(uint32_t ms) override {
        periodMs = ms;
        sinceTickMs = 0;
        return true;
    }
    void StopPollTimer() override { periodMs = 0; }
    bool RegisterHotkey(const Hotkey& hotkey) override {
        registered = hotkey;
        return !hotkeyHeldElsewhere;
    }
    void UnregisterHotkey() override { registered = Hotkey{}; }
    std::u16string ErrorText(uint32_t code) override { return u"error-ID = " + Digits(code); }
    void Trace(const std::u16string& line) override {
        std::lock_guard lock(mutex);
        traces.push_back(line);
    }
    // As the program does: the notice once a run, the fault kept for the tooltip.
    void RaiseFault(const FaultReport& report) override {
        std::lock_guard lock(mutex);
        if (faults.Raise(report.fault, report.tip) == CFaultBoard::Raised::kAnnounce) {
            notices.push_back(report.title);
        }
    }
    void ClearFault(Fault fault) override { faults.Clear(fault); }
    void Advance(CDeviceRequests& requests, uint32_t ms) {
        for (; ms > 0; --ms) {
            if (periodMs != 0 && ++sinceTickMs == periodMs) {
                sinceTickMs = 0;
                requests.OnPollTimer(readingsWait);
            }
        }
    }
    size_t Count(const std::u16string& line) {
        std::lock_guard lock(mutex);
        return static_cast<size_t>(std::count(traces.begin(), traces.end(), line));
    }
    static std::u16string Digits(uint32_t value) {
        const std::string text = std::to_string(value);
        return std::u16string(text.begin(), text.end());
    }

    CSerialLink& link;
    uint32_t periodMs = 0;
    uint32_t sinceTickMs = 0;
    Hotkey registered;
    bool hotkeyHeldElsewhere = false;
    bool readingsWait = false;  // the frame's answer at each tick
    std::mutex mutex;
    std::vector<std::u16string> traces;
    std::vector<std::u16string> notices;
    CFaultBoard faults;
    bool queueFull = false;  // the link's write queue is at its bound
};

}  // namespace

TEST_CASE("device texts: escapes give their bytes, text goes in the code page, too long or bad escapes are refused") {
    struct Case {
        std::u16string text;
        std::vector<uint8_t> bytes;
        const char16_t* error;
    };
    const Case cases[] = {
        {u"P\\r\\n", {'P', '\r', '\n'}, nullptr},
        {u"W\\r", {'W', '\r'}, nullptr},
        {u"\\x06", {0x06}, nullptr},  // ACK
        {u"\\x1bp\\t\\\\", {0x1B, 'p', '\t', '\\'}, nullptr},
        {u"\x20ac\\xFF", {0x80, 0xFF}, nullptr},  // a raw byte is never converted
        {u"", {}, nullptr},
        {std::u16string(256, u'S'), std::vector<uint8_t>(256, 'S'), nullptr},
        {std::u16string(257, u'S'), {}, u"DEVICE_COMMAND is longer than 256 bytes!"},
        {u"P\\q", {}, u"DEVICE_COMMAND: unknown escape (use \\r \\n \\t \\xHH or \\\\)!"},
        {u"P\\", {}, u"DEVICE_COMMAND: unknown escape (use \\r \\n \\t \\xHH or \\\\)!"},
        {u"\\x4", {}, u"DEVICE_COMMAND: \\x needs two hexadecimal digits!"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.text.begin(), c.text.end()));
        std::vector<uint8_t> bytes;
        const std::optional<std::u16string> error = DecodeDeviceText(c.text, u"DEVICE_COMMAND", Cp1252, bytes);
        if (c.error != nullptr) {
            CHECK(error == std::optional<std::u16string>(c.error));
        } else {
            CHECK_FALSE(error);
            CHECK(bytes == c.bytes);
        }
    }
    CHECK_FALSE(CheckPollPeriod(0));
    CHECK_FALSE(CheckPollPeriod(100));
    CHECK_FALSE(CheckPollPeriod(3600000));
    CHECK(CheckPollPeriod(99) == std::optional<std::u16string>(u"DEVICE_POLL_MS must be 0 or 100 to 3600000!"));
    CHECK(CheckPollPeriod(3600001));
}

TEST_CASE("hotkeys: modifiers and one key, a key the user types alone, AltGr chords and everyone's shortcuts are refused") {
    constexpr uint32_t kAlt = 1, kControl = 2, kShift = 4, kWin = 8;
    struct Case {
        const char16_t* text;
        bool valid;
        Hotkey hotkey;
    };
    const Case cases[] = {
        {u"CTRL+SHIFT+W", true, {kControl | kShift, 'W'}},
        {u"CTRL+ALT+W", false, {}},  // AltGr+W
        {u"ctrl+alt+shift+2", false, {}},
        {u"CTRL+ALT+F5", true, {kControl | kAlt, 0x74}},
        {u"CTRL+ALT+WIN+W", true, {kControl | kAlt | kWin, 'W'}},
        {u"CTRL+C", false, {}},
        {u"ctrl+v", false, {}},
        {u"CTRL+Z", false, {}},
        {u"CTRL+A", false, {}},
        {u"CTRL+X", false, {}},
        {u"ALT+F4", false, {}},
        {u"CTRL+SHIFT+C", true, {kControl | kShift, 'C'}},
        {u"ctrl+shift+9", true, {kControl | kShift, '9'}},
        {u"F9", true, {0, 0x78}},
        {u"SHIFT+F24", true, {kShift, 0x87}},
        {u"WIN+P", true, {kWin, 'P'}},
        {u"", true, {0, 0}},
        {u"W", false, {}},
        {u"SHIFT+W", false, {}},
        {u"CTRL+", false, {}},
        {u"CTRL+CTRL+W", false, {}},
        {u"HYPER+W", false, {}},
        {u"F0", false, {}},
        {u"F12", false, {}},  // the debugger's
        {u"ALT+F12", true, {kAlt, 0x7B}},
        {u"F25", false, {}},
        {u"CTRL+TAB", false, {}},
    };
    for (const Case& c : cases) {
        CAPTURE(std::u16string(c.text).size());
        Hotkey hotkey{99, 99};
        const std::optional<std::u16string> error = ParseHotkey(c.text, hotkey);
        CHECK(error.has_value() == !c.valid);
        CHECK(hotkey == (c.valid ? c.hotkey : Hotkey{}));
        if (error) {
            CHECK(error->back() == u'!');
        }
    }
}

TEST_CASE("device requests: nothing with the defaults, the request at enable and each period, polls skipped while one is pending or readings wait, none after the stop") {
    testing::SerialRig rig;
    rig.link.SetWriteTimeout(60000);
    RequestHost host(rig.link);
    CDeviceRequests requests(host);
    // A poll is skipped while a write is pending, and a write is pending until the writer has
    // told it ended (after the device took its bytes): each tick that must send waits for that.
    std::atomic<int> ended{0};
    rig.link.SetWriteObserver([&](WriteOutcome outcome, uint32_t error) {
        requests.OnWriteEnded(outcome, error);
        ++ended;
    });
    const auto writesEnded = [&](int count) { return rig.Eventually([&] { return ended == count; }); };
    testing::PortScript& port = rig.platform.port;
    const auto written = [&port] {
        std::lock_guard lock(port.mutex);
        return std::string(port.written.begin(), port.written.end());
    };
    REQUIRE(rig.link.EnableComm());

    requests.Start(LoadDeviceRequestSettings(rig.profile));
    CHECK_FALSE(requests.CanSendCommand());
    CHECK(host.periodMs == 0);
    CHECK(host.registered == Hotkey{});
    requests.SendCommand();
    requests.OnReadingsHandled(3);
    host.Advance(requests, 5000);
    CHECK_FALSE(rig.Traced("thread comm-write is running"));  // not a byte, not even a thread
    requests.Stop();

    DeviceRequestSettings settings;
    settings.command = u"P\\r\\n";
    settings.commandAtEnable = true;
    settings.pollMs = 500;
    settings.hotkey = u"CTRL+SHIFT+W";
    settings.ack = u"\\x06";
    requests.Start(settings);
    CHECK(requests.CanSendCommand());
    CHECK(host.registered == Hotkey{6, 'W'});
    CHECK(rig.Eventually([&] { return written() == "P\r\n"; }));
    REQUIRE(writesEnded(1));
    host.Advance(requests, 999);  // one tick
    CHECK(rig.Eventually([&] { return written() == "P\r\nP\r\n"; }));
    requests.OnReadingsHandled(2);
    CHECK(rig.Eventually([&] { return written() == "P\r\nP\r\n\x06\x06"; }));
    host.readingsWait = true;  // typing is held: the device keeps its data
    host.Advance(requests, 1000);
    host.readingsWait = false;
    CHECK(host.Count(u"device poll skipped while readings wait to be typed") == 1);

    {
        std::lock_guard lock(port.mutex);
        port.deviceReads = false;  // flow control holds: the next request stays pending
    }
    REQUIRE(writesEnded(4));
    host.Advance(requests, 1);
    CHECK(rig.Eventually([&] { return rig.Port(&testing::PortScript::writes) == 5; }));
    host.Advance(requests, 1500);  // three ticks, each skipped, traced once
    requests.OnReadingsHandled(1);  // an acknowledgement queues behind it
    CHECK(host.Count(u"device poll skipped, the last request is still being written") == 1);
    {
        std::lock_guard lock(port.mutex);
        port.deviceReads = true;
        port.changed.notify_all();
    }
    CHECK(rig.Eventually([&] { return written() == "P\r\nP\r\n\x06\x06P\r\n\x06"; }));

    requests.Stop();
    CHECK(host.periodMs == 0);
    CHECK(host.registered == Hotkey{});
    host.Advance(requests, 5000);
    requests.SendCommand();
    requests.OnReadingsHandled(1);
    rig.link.DisableComm();
    CHECK(written() == "P\r\nP\r\n\x06\x06P\r\n\x06");
    CHECK(host.notices.empty());
}

TEST_CASE("device requests: a stored value that cannot work, a hotkey held elsewhere and failed writes are faults while they last, announced once a run") {
    testing::SerialRig rig;
    RequestHost host(rig.link);
    CDeviceRequests requests(host);
    REQUIRE(rig.link.EnableComm());
    DeviceRequestSettings broken;
    broken.command = u"P\\q";
    broken.pollMs = 500;
    requests.Start(broken);
    CHECK_FALSE(requests.CanSendCommand());  // never a request other than the one asked for
    CHECK(host.periodMs == 0);
    CHECK(host.Count(u"device settings: DEVICE_COMMAND: unknown escape (use \\r \\n \\t \\xHH or \\\\)!") == 1);
    CHECK(host.faults.Tip() == u"not writing to the device: DEVICE_COMMAND: unknown escape (use \\r \\n \\t \\xHH or \\\\)");
    requests.Stop();

    host.notices.clear();
    host.hotkeyHeldElsewhere = true;
    // The second enable is a reconnection meeting the same faults: told in the tooltip, no notice.
    for (size_t enable = 1; enable <= 2; ++enable) {
        DeviceRequestSettings settings;
        settings.command = u"W\\r";
        settings.pollMs = 50;  // too short: no poll, the rest works
        settings.hotkey = u"F9";
        settings.ack = u"\\x0";
        requests.Start(settings);
        CHECK(requests.CanSendCommand());  // the tray still sends it
        CHECK(host.periodMs == 0);
        CHECK(host.Count(u"device settings: DEVICE_POLL_MS must be 0 or 100 to 3600000!") == enable);
        CHECK(host.Count(u"hotkey F9 not registered: another program holds it!") == enable);
        CHECK(host.faults.Tip() == u"not writing to the device: DEVICE_ACK: \\x needs two hexadecimal digits");  // the first at fault
        CHECK(host.faults.Has(Fault::kHotkey));
        requests.OnWriteEnded(WriteOutcome::kFailed, 31);
        requests.OnWriteEnded(WriteOutcome::kTimedOut, 0);
        requests.OnWriteEnded(WriteOutcome::kStopped, 0);
        CHECK(host.faults.Has(Fault::kDeviceWrite));
        requests.OnWriteEnded(WriteOutcome::kWritten, 0);
        CHECK_FALSE(host.faults.Has(Fault::kDeviceWrite));  // the device takes what is sent again
        CHECK(host.Count(u"com-port write, error! error-ID = 31") == enable);
        CHECK(host.Count(u"com-port write, error! error-ID = 1460") == enable);
        // One for the settings (two faults), one for the hotkey, one for the writes.
        CHECK(host.notices == std::vector<std::u16string>{u"DORVANE does not write to the device",
                                                          u"DORVANE hotkey not available",
                                                          u"DORVANE cannot write to the device"});
        requests.Stop();
        CHECK_FALSE(host.faults.Has(Fault::kHotkey));
    }
    requests.Start(DeviceRequestSettings{});  // the settings mended
    CHECK(host.faults.Tip().empty());
    rig.link.DisableComm();
}

TEST_CASE("device requests: with the write queue full a request is dropped, traced each time, acknowledgements once") {
    testing::SerialRig rig;
    RequestHost host(rig.link);
    CDeviceRequests requests(host);
    REQUIRE(rig.link.EnableComm());
    DeviceRequestSettings settings;
    settings.command = u"P\\r";
    settings.ack = u"\\x06";
    requests.Start(settings);
    host.queueFull = true;
    requests.SendCommand();
    requests.SendCommand();
    requests.OnReadingsHandled(3);
    requests.OnReadingsHandled(1);
    CHECK(host.Count(u"device request dropped, too many writes waiting!") == 2);
    CHECK(host.Count(u"device acknowledgements dropped, too many writes waiting!") == 1);
    requests.Stop();
    rig.link.DisableComm();
}
