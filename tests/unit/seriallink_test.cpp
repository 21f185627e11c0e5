#include <doctest/doctest.h>

#include <atomic>
#include <thread>

#include "serial/core/btdiscover.h"
#include "serial/core/linesettings.h"
#include "serialrig.h"

using namespace dorvane;
using dorvane::testing::PortScript;
using dorvane::testing::SerialRig;
using dorvane::testing::WindowsRefuses;

TEST_CASE("the read buffer size: capped at 64 KB, negative counts as the cap, 0 is empty") {
    CHECK(ReadBufferSizeFor(1) == 1024);
    CHECK(ReadBufferSizeFor(100) == 65536);
    CHECK(ReadBufferSizeFor(static_cast<uint32_t>(-1)) == 65536);
    CHECK(ReadBufferSizeFor(0) == 0);
}

TEST_CASE("a missing port is traced and reported, the read buffer stays and is reused") {
    SerialRig rig;
    WriteSetting(rig.profile, COMPORT, u"COM13");
    rig.platform.port.exists = false;
    CHECK_FALSE(rig.link.EnableComm());
    CHECK(rig.platform.openedPath == "\\\\.\\COM13");
    CHECK(rig.Traced("open com-port [\\\\.\\COM13], failed!"));
    CHECK(rig.platform.errors == std::vector<std::pair<std::string, bool>>{{"Open com-port failed!", true}});
    CHECK(rig.link.HoldsReadBuffer());
    CHECK(rig.link.DisableComm());  // nothing started: the buffer stays held
    CHECK(rig.link.HoldsReadBuffer());

    WriteSetting(rig.profile, BUFFERSIZE_KB, 8);
    rig.platform.port.exists = true;
    CHECK(rig.link.EnableComm());
    CHECK(rig.link.ReadBufferSize() == 1024);  // the held buffer, not the new size
    CHECK(rig.link.EnableComm());
    CHECK(rig.Traced("enable comm, already enabled"));
    const auto disables = [&] {
        const auto traces = rig.platform.Read(rig.platform.traces);
        return std::count(traces.begin(), traces.end(), "disable comm, done");
    };
    CHECK(rig.link.DisableComm());
    CHECK_FALSE(rig.link.HoldsReadBuffer());
    CHECK(disables() == 1);
    CHECK(rig.link.DisableComm());
    CHECK(disables() == 1);  // already disabled: nothing more done
}

TEST_CASE("line settings: built and stored at a port's first enable, then read from the store") {
    SerialRig rig;
    const auto key = testing::FakeRegistry::PathOf({u"software", u"Velmora", u"DORVANE", u"Settings"});
    REQUIRE(rig.link.EnableComm());
    rig.link.DisableComm();
    const RegValue* stored = rig.registry.Find(key, u"COM1_DCB");
    REQUIRE(stored != nullptr);
    CHECK(stored->bytes.size() == 28);
    CHECK((stored->bytes[4] == 0x80 && stored->bytes[5] == 0x25));
    CHECK(rig.platform.port.builds == 1);

    // A later enable applies what is stored without building it again.
    rig.registry.keys[key][u"COM1_DCB"].bytes[4] = 0x00;  // 9472 baud, say
    REQUIRE(rig.link.EnableComm());
    rig.link.DisableComm();
    CHECK(rig.platform.port.builds == 1);
    CHECK(rig.platform.port.applied[4] == 0x00);

    // A value of another length is not applied: the defaults are stored over it.
    rig.registry.keys[key][u"COM1_DCB"].bytes.resize(12);
    REQUIRE(rig.link.EnableComm());
    rig.link.DisableComm();
    CHECK(rig.platform.port.builds == 2);
    CHECK(rig.registry.Find(key, u"COM1_DCB")->bytes.size() == 28);

    // A record Windows refuses (same XON and XOFF, a wrong length field: an all-zero record
    // from a port that could not report its state) is mended, applied and stored mended.
    rig.platform.port.failGetState = true;
    rig.registry.keys[key].erase(u"COM1_DCB");
    REQUIRE(rig.link.EnableComm());
    rig.link.DisableComm();
    rig.registry.keys[key][u"COM1_DCB"].bytes.assign(28, 0);
    rig.registry.keys[key][u"COM1_DCB"].bytes[5] = 0x4B;  // 19200 baud, chosen by the user
    REQUIRE(rig.link.EnableComm());
    rig.link.DisableComm();
    LineSettings stored28{};
    const auto& bytes = rig.registry.Find(key, u"COM1_DCB")->bytes;
    std::copy(bytes.begin(), bytes.end(), stored28.begin());
    CHECK_FALSE(WindowsRefuses(stored28));
    CHECK(ReadField32(stored28, dcb::kBaudRate) == 19200);  // the user's choice is kept
    CHECK(rig.Traced("enable comm, com setting mended"));

    // A write may take as long as the line's speed needs: 11 bits a byte, rounded up; 100 ms a
    // byte when the port does not tell its speed.
    struct Speed {
        uint32_t baud;
        bool told;
        uint32_t msPerByte;
    };
    for (const Speed c : {Speed{115200, true, 1}, Speed{19200, true, 1}, Speed{9600, true, 2}, Speed{75, true, 147},
                          Speed{9600, false, 100}}) {
        CAPTURE(c.baud);
        rig.platform.port.failGetState = !c.told;
        auto& record = rig.registry.keys[key][u"COM1_DCB"].bytes;
        for (size_t i = 0; i < 4; ++i) {
            record[4 + i] = static_cast<uint8_t>(c.baud >> (8 * i));
        }
        REQUIRE(rig.link.EnableComm());
        rig.link.DisableComm();
        CHECK(rig.platform.port.writeMsPerByte == c.msPerByte);
    }
}

TEST_CASE("a record is made one Windows accepts, keeping every value that is valid") {
    LineSettings zero{};
    CHECK(WindowsRefuses(zero));
    CHECK(MakeAcceptable(zero));
    CHECK_FALSE(WindowsRefuses(zero));
    CHECK(ReadField32(zero, dcb::kBaudRate) == 9600);
    CHECK(ReadField32(zero, dcb::kFlags) == dcb::kBinaryFlag);
    CHECK((zero[dcb::kByteSize] == 8 && zero[dcb::kXonChar] == dcb::kXon && zero[dcb::kXoffChar] == dcb::kXoff));

    // 7E2 at 115200 with RTS/CTS and its own XON/XOFF characters stays exactly as it is.
    LineSettings chosen = zero;
    WriteField32(chosen, dcb::kBaudRate, 115200);
    WriteField32(chosen, dcb::kFlags, dcb::kBinaryFlag | 0x4 | 0x2000);
    chosen[dcb::kByteSize] = 7;
    chosen[dcb::kParity] = 2;
    chosen[dcb::kStopBits] = 2;
    chosen[dcb::kXonChar] = 0x05;
    chosen[dcb::kXoffChar] = 0x06;
    LineSettings copy = chosen;
    CHECK_FALSE(MakeAcceptable(copy));
    CHECK(copy == chosen);
}

TEST_CASE("bursts: a second chance of 100 ms, and full buffers handed on without waiting") {
    SerialRig rig;
    std::vector<size_t> arrivals;  // the bursts handed on before each, as the reader tells them
    rig.link.SetArrivalObserver([&] { arrivals.push_back(rig.Bursts().size()); });
    REQUIRE(rig.link.EnableComm());
    rig.platform.duringSecondChance = [&, sent = false]() mutable {
        if (!std::exchange(sent, true)) {
            rig.platform.Send("3\r\n");  // arrives while the reader gives the burst its second chance
        }
    };
    rig.platform.Send("12");
    REQUIRE(rig.Eventually([&] { return rig.Bursts().size() == 1; }));
    CHECK(rig.Bursts()[0] == "123\r\n");
    CHECK(arrivals == std::vector<size_t>{0, 0});  // both reads with bytes, before their hand-off

    // 5000 bytes queued at once, read 300 at a time, through a 1024-byte buffer.
    rig.platform.port.readChunk = 300;
    rig.platform.Send(std::string(5000, 'x'));
    REQUIRE(rig.Eventually([&] {
        size_t total = 0;
        for (auto& burst : rig.Bursts()) {
            total += burst.size();
        }
        return total == 5005;
    }));
    rig.link.DisableComm();
    const auto bursts = rig.Bursts();
    const auto sleeps = rig.platform.Read(rig.platform.sleeps);
    int handOff = 0;
    for (size_t i = 0; i < sleeps.size(); ++i) {
        if (sleeps[i] != -1) {
            continue;
        }
        const std::string& burst = bursts[static_cast<size_t>(handOff++)];
        CHECK(burst.size() <= 1024);
        if (burst.size() > 1008) {
            CHECK((i == 0 || sleeps[i - 1] != 100));  // no second-chance wait before it
        }
    }
    CHECK(bursts.size() == 6);  // 5 bytes, then 1200, 1200, 1200, 1200 would not fit: 5000 in 5 pieces
}

TEST_CASE("line errors are traced, a failed read drops the burst and the reader goes on") {
    SerialRig rig;
    REQUIRE(rig.link.EnableComm());
    {
        std::lock_guard lock(rig.platform.port.mutex);
        rig.platform.port.lineErrors = 0x8;
        rig.platform.port.failRead = true;
        rig.platform.port.queued.assign({'a', 'b'});
        rig.platform.port.changed.notify_all();
    }
    REQUIRE(rig.Eventually([&] { return rig.Bursts().size() == 1; }));
    CHECK(rig.Traced("com-port read, error!"));
    CHECK(rig.Traced("** com-port error: 8"));
    CHECK(rig.Bursts()[0] == "ab");  // the failed read took nothing: the next pass reads the bytes
}

TEST_CASE("a pulled-out adapter is noticed once: one line, the service turned off, no spinning") {
    SerialRig rig;
    REQUIRE(rig.link.EnableComm());
    {
        std::lock_guard lock(rig.platform.port.mutex);
        rig.platform.port.unplugged = true;
        rig.platform.port.changed.notify_all();
    }
    REQUIRE(rig.Eventually([&] { return rig.Traced("com-port lost, err=21, reading stopped!"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CHECK(rig.platform.port.waits <= 2);
    CHECK(rig.platform.Read(rig.platform.serviceOffs) == 1);
    CHECK(rig.platform.Read(rig.platform.errors).empty());
    CHECK(rig.link.DisableComm());  // what the posted toggle does
    CHECK_FALSE(rig.link.IsStarted());
}

TEST_CASE("a driver whose waits fail while its status query succeeds is taken as lost once, with no spinning") {
    SerialRig rig;
    rig.platform.port.waitsFail = true;  // every wait, from the first
    REQUIRE(rig.link.EnableComm());
    REQUIRE(rig.Eventually([&] { return rig.Traced("com-port lost, err=21, reading stopped!"); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CHECK(rig.platform.port.waits == 50);
    CHECK(rig.platform.Read(rig.platform.serviceOffs) == 1);
    CHECK(rig.link.DisableComm());
}

TEST_CASE("a stop on a quiet line ends the reader at once, within half a second when the mask change does not end the wait, where a synchronous handle would hang") {
    struct Case {
        bool overlapped, maskEndsWait, cancelEndsWait;
        int withinMs;
    };
    for (const Case c : {Case{true, true, true, 100}, Case{true, false, true, 600}, Case{true, false, false, 600},
                         Case{false, true, true, 0}}) {
        CAPTURE(c.overlapped);
        CAPTURE(c.maskEndsWait);
        CAPTURE(c.cancelEndsWait);
        SerialRig rig;
        rig.platform.port.overlapped = c.overlapped;
        rig.platform.port.maskEndsWait = c.maskEndsWait;
        rig.platform.port.cancelEndsWait = c.cancelEndsWait;
        REQUIRE(rig.link.EnableComm());
        REQUIRE(rig.ReaderWaits());  // the device is silent
        std::atomic<bool> stopped{false};
        const auto start = std::chrono::steady_clock::now();
        std::thread stopper([&] {
            rig.link.DisableComm();
            stopped = true;
        });
        const auto within = std::chrono::milliseconds(c.withinMs);
        if (c.overlapped) {
            const bool inTime = rig.Eventually([&] {
                return stopped.load() || std::chrono::steady_clock::now() - start > within;
            }) && stopped.load();
            CHECK(inTime);
            CHECK(std::chrono::steady_clock::now() - start < within);
            if (!stopped) {
                rig.platform.Send("x");  // a stop that waits for the device: let it end
            }
        } else {
            // Windows serialises a synchronous handle: nothing reaches the wait until the device
            // sends, not even a mask change from another thread, which is how a stop would have
            // to end it. Auto-disable comes exactly when the line is quiet.
            std::atomic<bool> maskChanged{false};
            std::thread maskChanger([&] {
                rig.platform.lastOpened->SetEventMask(0);
                maskChanged = true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            CHECK_FALSE(stopped.load());
            CHECK_FALSE(maskChanged.load());
            rig.platform.Send("x");
            maskChanger.join();
            CHECK(maskChanged.load());
        }
        stopper.join();
        CHECK(rig.Bursts().empty());
        CHECK(rig.Traced("comm wait not ended by the mask change, cancelled") == !c.maskEndsWait);
        CHECK(rig.platform.port.cancels == (c.maskEndsWait ? 0 : 1));
    }
}

TEST_CASE("stopping never deadlocks with a hand-off and nothing arrives after the stop") {
    SerialRig rig;
    rig.platform.handOffsNeedServing = true;
    std::atomic<bool> stopped{false};
    std::atomic<int> served{0}, accepted{0}, afterStop{0};
    // Hand-offs are served only while the link stops; the receiver then drops them.
    rig.platform.receiver = [&](const uint8_t*, size_t) {
        ++served;
        accepted += rig.link.AcceptsHandOff();
        afterStop += stopped.load();
    };
    for (int cycle = 0; cycle < 100; ++cycle) {
        CAPTURE(cycle);
        stopped = false;
        REQUIRE(rig.link.EnableComm());
        if (cycle % 2 == 1) {
            // The reader is blocked in a hand-off that nobody serves until the stop.
            rig.platform.Send("reading\r\n");
            REQUIRE(rig.Eventually([&] { return rig.platform.Read(rig.platform.pending) != nullptr; }));
        }
        const auto start = std::chrono::steady_clock::now();
        CHECK(rig.link.DisableComm());
        stopped = true;
        CHECK(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500));
        rig.platform.Send("after\r\n");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    CHECK(rig.platform.Read(rig.platform.bursts).empty());
    CHECK(served >= 50);
    CHECK(accepted == 0);
    CHECK(afterStop == 0);
}

namespace {

struct ScriptedNameService : IBluetoothNameService {
    bool startup = true, begin = true;
    int beginError = 0;
    std::vector<int> results;  // 0: a device; else the error code returned
    std::vector<std::optional<std::u16string>> names;
    uint32_t neededLength = 6000;
    std::vector<size_t> lengthsSeen;
    bool cleaned = false, ended = false;

    bool Startup() override { return startup; }
    void Cleanup() override { cleaned = true; }
    bool Begin(uint32_t flags, int& error) override {
        CHECK(flags == 0x1FF2);
        error = beginError;
        return begin;
    }
    int Next(uint32_t, std::vector<uint8_t>& buffer, uint32_t& length, BluetoothDevice& device) override {
        CHECK(length <= buffer.size());
        lengthsSeen.push_back(length);
        if (results.empty()) {
            return kWsaNoMore;
        }
        const int result = results.front();
        results.erase(results.begin());
        if (result == kWsaFault) {
            length = neededLength;
        } else if (result == 0) {
            device.address = u"(00:11:22:33:44:55)";
            device.name = names.empty() ? std::nullopt : names.front();
            if (!names.empty()) {
                names.erase(names.begin());
            }
            device.classId = u"{00000000-0000-0000-0000-000000000000}";
        }
        return result;
    }
    void End() override { ended = true; }
};

std::vector<std::u16string> Discover(ScriptedNameService& service, bool& ok) {
    std::vector<std::u16string> lines;
    ok = DiscoverBluetoothDevices(service, [&](const std::u16string& line) { lines.push_back(line); });
    return lines;
}

}  // namespace

TEST_CASE("bluetooth discovery traces each device and every way the walk ends") {
    bool ok = false;
    {
        ScriptedNameService none;
        CHECK(Discover(none, ok).empty());
        CHECK((ok && none.ended && none.cleaned));
    }
    {
        ScriptedNameService refused;
        refused.begin = false;
        refused.beginError = 8;
        CHECK(Discover(refused, ok) == std::vector<std::u16string>{u"WSALookupServiceBegin failed! err=8"});
        CHECK((!ok && refused.cleaned && !refused.ended));
    }
    {
        ScriptedNameService devices;
        devices.results = {0, 0, 10050};
        devices.names = {u"Scanner", std::nullopt};
        CHECK(Discover(devices, ok) ==
              std::vector<std::u16string>{u"found BT dev, addr=(00:11:22:33:44:55), name=\"Scanner\", "
                                          u"id={00000000-0000-0000-0000-000000000000}",
                                          u"found BT dev, addr=(00:11:22:33:44:55), name=\"[no service "
                                          u"name]\", id={00000000-0000-0000-0000-000000000000}",
                                          u"WSALookupServiceNext error: 10050, disvover aborted!"});
        CHECK(ok);
    }
    {
        // Too small: retried once in a buffer of the asked size, never with a longer length.
        ScriptedNameService fault;
        fault.results = {kWsaFault, 0, kWsaFault, kWsaFault};
        const auto lines = Discover(fault, ok);
        CHECK(std::count(lines.begin(), lines.end(), u"WSALookupServiceNext error, buffer too small") == 2);
        CHECK(fault.lengthsSeen == std::vector<size_t>{5000, 6000, 6000});
        ScriptedNameService huge;
        huge.results = {kWsaFault};
        huge.neededLength = 1 << 30;
        Discover(huge, ok);
        CHECK(huge.lengthsSeen == std::vector<size_t>{5000});
    }
}

TEST_CASE("stop bits that do not go with the data bits are mended to the nearest length the line allows") {
    struct Case {
        uint8_t dataBits, stopBits, mended;
    };
    const Case cases[] = {{5, 2, 1}, {5, 1, 1}, {5, 0, 0}, {6, 1, 2}, {7, 1, 2}, {8, 1, 2}, {8, 2, 2}, {8, 0, 0}};
    for (const Case& c : cases) {
        CAPTURE(static_cast<int>(c.dataBits));
        CAPTURE(static_cast<int>(c.stopBits));
        LineSettings record{};
        LineFields fields;
        fields.dataBits = c.dataBits;
        fields.stopBits = c.stopBits;
        WriteLineFields(record, fields);
        CHECK_FALSE(WindowsRefuses(record));
        CHECK(record[dcb::kStopBits] == c.mended);
        CHECK(record[dcb::kByteSize] == c.dataBits);  // the data bits are the user's key choice
        CHECK(ValidStopBits(c.dataBits, c.stopBits) == (c.stopBits == c.mended));
    }
}

TEST_CASE("line-settings fields to the record and back, and never a record Windows refuses") {
    LineSettings record{};
    for (const FlowControl flow : {FlowControl::kNone, FlowControl::kXonXoff, FlowControl::kRtsCts}) {
        for (const uint8_t parity : {0, 1, 2, 3, 4}) {
            LineFields fields;
            fields.baud = parity == 4 ? 921600 : 300;
            fields.dataBits = static_cast<uint8_t>(5 + parity % 4);
            fields.parity = parity;
            fields.stopBits = static_cast<uint8_t>(fields.dataBits == 5 ? 1 : (parity % 2) * 2);  // valid ones
            fields.flow = flow;
            WriteLineFields(record, fields);
            CAPTURE(static_cast<int>(flow));
            CAPTURE(static_cast<int>(parity));
            CHECK(ReadLineFields(record) == fields);
            CHECK_FALSE(WindowsRefuses(record));
            CHECK(((ReadField32(record, dcb::kFlags) & 0x2) != 0) == (parity != 0));  // fParity
        }
    }
}

TEST_CASE("writes to the device go beside the reader's wait, polls are skipped while one is pending, a stop ends them") {
    for (const bool overlapped : {true, false}) {
        CAPTURE(overlapped);
        SerialRig rig;
        rig.platform.port.overlapped = overlapped;
        rig.link.SetWriteTimeout(300);
        rig.RecordWriteOutcomes();
        PortScript& port = rig.platform.port;
        const auto writes = [&] { return rig.Port(&PortScript::writes); };
        CHECK(rig.link.Send({'P'}, true) == SendResult::kNotOpen);
        REQUIRE(rig.link.EnableComm());
        CHECK_FALSE(rig.Traced("thread comm-write is running"));  // nothing to send: no writer
        REQUIRE(rig.ReaderWaits());  // the device is silent
        CHECK(rig.link.Send({'P', '\r', '\n'}, true) == SendResult::kQueued);
        if (overlapped) {
            REQUIRE(rig.Eventually([&] { return rig.WriteOutcomes().size() == 1; }));
            CHECK(rig.WriteOutcomes()[0] == WriteOutcome::kWritten);
            std::lock_guard lock(port.mutex);
            CHECK(port.written == std::vector<uint8_t>{'P', '\r', '\n'});
        } else {
            // A synchronous handle would hold the request behind the reader's wait on a quiet
            // line, which is why the port is opened for overlapped I/O.
            REQUIRE(rig.Eventually([&] { return rig.WriteOutcomes().size() == 1; }));
            CHECK(rig.WriteOutcomes()[0] == WriteOutcome::kTimedOut);
            // Only the device's next byte ends a synchronous wait: the stop goes first, so the
            // reader does not start another wait after it.
            std::thread stopper([&] { rig.link.DisableComm(); });
            REQUIRE(rig.Eventually([&] {
                std::lock_guard lock(port.mutex);
                return port.stop;
            }));
            rig.platform.Send("x");
            stopper.join();
            continue;
        }

        // A device that takes nothing: the poll waits, the next poll is skipped, an
        // acknowledgement queues behind it; the stop ends the pending write at once.
        {
            std::lock_guard lock(rig.platform.port.mutex);
            rig.platform.port.deviceReads = false;
        }
        rig.link.SetWriteTimeout(60000);
        CHECK(rig.link.Send({'P'}, true) == SendResult::kQueued);
        REQUIRE(rig.Eventually([&] { return writes() == 2; }));
        CHECK(rig.link.Send({'P'}, true) == SendResult::kBusy);
        CHECK(rig.link.Send({0x06}, false) == SendResult::kQueued);
        // The queue is bounded: a device that never takes anything cannot make it grow.
        for (size_t queued = 2; queued <= kMaxQueuedWrites; ++queued) {
            REQUIRE(rig.link.Send({0x06}, false) == SendResult::kQueued);
        }
        CHECK(rig.link.Send({0x06}, false) == SendResult::kBusy);
        const auto start = std::chrono::steady_clock::now();
        rig.link.DisableComm();
        CHECK(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(500));
        CHECK(rig.WriteOutcomes() == std::vector<WriteOutcome>{WriteOutcome::kWritten, WriteOutcome::kStopped});
        CHECK(writes() == 2);  // the queued one was dropped
        CHECK(rig.link.Send({'P'}, false) == SendResult::kNotOpen);
    }
}

TEST_CASE("a write's record and bytes stay alive until its driver ends it, after a cancel or the port's close") {
    // How the driver treats a pending write that the stop cancels, and the stop's cost.
    struct Case {
        std::string driver;
        bool cancelEndsWrite, closeEndsWrite, endsDuringCloseWait;
        bool kept, left;   // traced: kept after the cancel, left to the driver at the close
        int minMs, maxMs;  // the stop's duration
    };
    const Case cases[] = {
        {"ends the write at the cancel", true, true, false, false, false, 0, 500},
        {"ignores the cancel, ends the write at the close", false, true, false, true, false, 150, 1000},
        {"ignores both, ends the write 100 ms after the close", false, false, true, true, false, 250, 1000},
        {"ignores both, ends the write only long after the close", false, false, false, true, true, 650, 1000},
    };
    for (const Case& c : cases) {
        CAPTURE(c.driver);
        SerialRig rig;
        PortScript& port = rig.platform.port;
        std::atomic<int> ended{0};
        std::atomic<WriteOutcome> outcome{WriteOutcome::kWritten};
        rig.link.SetWriteObserver([&](WriteOutcome o, uint32_t) {
            outcome = o;
            ++ended;
        });
        port.deviceReads = false;  // the device takes nothing: the write stays pending
        port.cancelEndsWrite = c.cancelEndsWrite;
        port.closeEndsWrite = c.closeEndsWrite;
        REQUIRE(rig.link.EnableComm());
        REQUIRE(rig.link.Send({'A', 'C', 'K'}, false) == SendResult::kQueued);
        REQUIRE(rig.Eventually([&] { return rig.Port(&PortScript::writes) == 1; }));

        std::thread lateDriver;
        if (c.endsDuringCloseWait) {
            lateDriver = std::thread([&port] {
                {
                    std::unique_lock lock(port.mutex);
                    port.changed.wait(lock, [&port] { return port.closes == 1; });
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                port.CompleteHeldWrites();
            });
        }
        const auto start = std::chrono::steady_clock::now();
        CHECK(rig.link.DisableComm());
        const auto took = std::chrono::steady_clock::now() - start;
        if (lateDriver.joinable()) {
            lateDriver.join();
        }
        CHECK(took >= std::chrono::milliseconds(c.minMs));
        CHECK(took < std::chrono::milliseconds(c.maxMs));  // a stop never hangs on a driver
        CHECK(ended == 1);
        CHECK(outcome == WriteOutcome::kStopped);
        CHECK(rig.Traced("comm write not ended by the cancel, kept until the driver ends it") == c.kept);
        CHECK(rig.Traced("comm write still pending at close, its buffer is left to the driver") == c.left);
        CHECK(rig.Port(&PortScript::freedWhileHeld) == 0);
        CHECK(rig.Port(&PortScript::liveWrites) == (c.left ? 1 : 0));
        if (c.left) {
            // The driver ends the write now, writing its record and taking its bytes: both must
            // still be ours (ASan reports a use after free otherwise).
            port.CompleteHeldWrites();
            CHECK(rig.Port(&PortScript::written) == std::vector<uint8_t>{'A', 'C', 'K'});
            // Freed at the next stop, without waiting for it again.
            port.deviceReads = true;
            REQUIRE(rig.link.EnableComm());
            const auto again = std::chrono::steady_clock::now();
            rig.link.DisableComm();
            CHECK(std::chrono::steady_clock::now() - again < std::chrono::milliseconds(100));
            CHECK(rig.Port(&PortScript::liveWrites) == 0);
        } else {
            // An aborted write took nothing; one the driver ended itself took the bytes.
            CHECK(rig.Port(&PortScript::written).size() == (c.endsDuringCloseWait ? 3u : 0u));
        }
    }
}

TEST_CASE("a timed-out write whose cancel the driver ignores is kept, and the writer goes on with the next") {
    SerialRig rig;
    PortScript& port = rig.platform.port;
    rig.link.SetWriteTimeout(50);
    rig.RecordWriteOutcomes();
    port.deviceReads = false;
    port.cancelEndsWrite = false;
    port.closeEndsWrite = false;
    REQUIRE(rig.link.EnableComm());
    const auto start = std::chrono::steady_clock::now();
    REQUIRE(rig.link.Send({'1'}, false) == SendResult::kQueued);
    REQUIRE(rig.Eventually([&] { return rig.WriteOutcomes().size() == 1; }));
    // The bound (50 ms here plus the byte's time), the driver's grace, and the cancel's wait.
    CHECK(std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(50 + 500 + 200));
    CHECK(rig.WriteOutcomes()[0] == WriteOutcome::kTimedOut);
    CHECK(rig.Traced("comm write not ended by the cancel, kept until the driver ends it"));
    {
        std::lock_guard lock(port.mutex);  // the platform's lock is never taken inside this one
        CHECK(port.liveWrites == 1);
        port.deviceReads = true;  // the device reads again: the held write and the next one end
        port.changed.notify_all();
    }
    REQUIRE(rig.link.Send({'2'}, false) == SendResult::kQueued);
    REQUIRE(rig.Eventually([&] { return rig.WriteOutcomes().size() == 2; }));
    CHECK(rig.WriteOutcomes()[1] == WriteOutcome::kWritten);
    rig.link.DisableComm();
    CHECK_FALSE(rig.Traced("comm write still pending at close, its buffer is left to the driver"));
    std::lock_guard lock(port.mutex);
    CHECK(port.written == std::vector<uint8_t>{'1', '2'});
    CHECK(port.freedWhileHeld == 0);
    CHECK(port.liveWrites == 0);
}
