#include <doctest/doctest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/core/serviceswitch.h"
#include "pipeline/core/servicestate.h"

using namespace dorvane;

namespace doctest {
template <>
struct StringMaker<std::vector<std::string>> {
    static String convert(const std::vector<std::string>& calls) {
        std::string text = "{";
        for (const std::string& call : calls) {
            text += "\"" + call + "\", ";
        }
        return String((text + "}").c_str());
    }
};
}  // namespace doctest

namespace {

std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

// Records every call in order; a step named in `fails` fails (or throws, in `throws`). The port
// comes and goes as the test says; a try is answered at once, or (answerLater) when the test
// answers it.
struct RecordingHost : IServiceSwitchHost {
    std::vector<std::string> calls;
    std::set<std::string> fails;
    std::set<std::string> throws;
    std::u16string port = u"COM12";
    std::u16string device;  // COMPORT_DEVICE
    std::vector<TreePort> tree;
    bool reconnects = true;
    bool responds = true;
    bool present = false;
    bool answerLater = false;
    bool ourWindowOpen = false;
    CServiceSwitch* service = nullptr;

    bool Step(const std::string& name) {
        calls.push_back(name);
        if (throws.count(name) != 0) {
            throw std::runtime_error(name);
        }
        return fails.count(name) == 0;
    }
    bool OpenPort() override { return Step("open port"); }
    bool StartPipeline() override { return Step("start pipeline"); }
    bool StartTick() override { return Step("start tick"); }
    void RestartIdleTime() override { Step("idle time"); }
    void StartRequests() override { Step("start requests"); }
    void StopRequests() override { Step("stop requests"); }
    void ClosePort() override { Step("close port"); }
    void StopPipeline() override { Step("stop pipeline"); }
    void ReleaseModifierKeys() override { Step("release keys"); }
    void StopTick() override { Step("stop tick"); }
    void ShowError(const std::u16string& text) override { Step("box " + Narrow(text)); }
    void ReportSystemError(const std::u16string& text) override { Step("error " + Narrow(text)); }
    void Trace(const std::u16string& line) override {
        if (line != u"." && line != u"enable/disable dorvane, done") {  // the same around every switch
            Step("trace " + Narrow(line));
        }
    }
    void ShowStatePicture() override { Step("picture"); }
    void ShowState() override { Step("state"); }
    std::u16string ConfiguredPort() override { return port; }
    std::u16string ConfiguredDevice() override { return device; }
    std::vector<TreePort> PortsInTree() override {
        Step("tree");
        return tree;
    }
    void StorePortMove(const std::u16string& from, const std::u16string& to) override {
        Step("move " + Narrow(from) + " " + Narrow(to));
        port = to;
    }
    void ShowNotice(const std::u16string& title, const std::u16string&) override { Step("notice " + Narrow(title)); }
    bool ReconnectsAfterLoss() override { return reconnects; }
    bool PortResponds() override { return responds; }
    void StartPortTry(const std::u16string& name) override {
        Step("try " + Narrow(name));
        if (!answerLater) {
            service->OnPortTried(name, present);
        }
    }
    void StartTries() override { Step("start tries"); }
    void StopTries() override { Step("stop tries"); }
    bool OurWindowOpen() override { return ourWindowOpen; }

    std::vector<std::string> Take() { return std::exchange(calls, {}); }
};

using Calls = std::vector<std::string>;

// A switch over a recording host; the service is off when the test ends.
struct Rig {
    RecordingHost host;
    CServiceSwitch service{host};
    Rig() {
        host.service = &service;
        g_bServiceEnabled = false;
    }
    ~Rig() { g_bServiceEnabled = false; }
    void Enabled() {
        service.Switch(true);
        host.Take();
    }
};

const Calls kEnable = {"trace enable dorvane", "open port", "start pipeline", "start tick", "idle time",
                       "start requests", "picture"};
const Calls kDisable = {"trace disable dorvane", "stop requests", "close port", "stop pipeline", "release keys",
                        "stop tick", "picture"};

Calls Join(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST_CASE("the enable and the disable, each in its order, and an enable that fails undoes what it did") {
    struct Case {
        const char* what;
        const char* failing;
        bool throws;
        Calls calls;
        bool enabled;
    };
    const Case cases[] = {
        {"enable", "", false, kEnable, true},
        {"the port does not open", "open port", false,
         {"trace enable dorvane", "open port", "box Enable comm service failed!\t", "picture"}, false},
        {"the pipeline does not start: the port is closed again", "start pipeline", false,
         {"trace enable dorvane", "open port", "start pipeline", "close port", "box Enable send service failed!\t",
          "picture"},
         false},
        {"no tick: the port and the pipeline go again", "start tick", false,
         {"trace enable dorvane", "open port", "start pipeline", "start tick", "error SetTimer failed!", "close port",
          "stop pipeline", "box Enable send service failed!\t", "picture"},
         false},
        {"a step throws: traced, the picture still follows", "open port", true,
         {"trace enable dorvane", "open port", "trace enable/disable dorvane, exception", "picture"}, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        Rig rig;
        (c.throws ? rig.host.throws : rig.host.fails).insert(c.failing);
        rig.service.Switch(true);
        CHECK(rig.host.Take() == c.calls);
        CHECK(rig.service.IsEnabled() == c.enabled);
    }

    Rig rig;
    rig.Enabled();
    g_bSending = true;
    g_bReceiving = true;
    rig.service.Toggle();
    CHECK(rig.host.Take() == kDisable);
    CHECK_FALSE(g_bServiceEnabled);
    CHECK_FALSE(g_bSending);  // the worker has ended: nothing is being sent
    CHECK_FALSE(g_bReceiving);
    rig.service.Toggle();
    CHECK(rig.host.Take() == kEnable);
}

TEST_CASE("each reason for off: what it leads to, and nothing when the service is already off") {
    struct Case {
        const char* what;
        OffReason reason;
        bool reconnects;
        Calls calls;
    };
    const Case cases[] = {
        {"auto-disable", OffReason::kIdle, true, Join(kDisable, {"state"})},
        {"port lost: waited for", OffReason::kPortLost, true,
         Join(kDisable, {"start tries", "trace waiting for COM12", "state"})},
        {"port lost, AUTORECONNECT=0: stays off", OffReason::kPortLost, false, Join(kDisable, {"state"})},
        {"quit", OffReason::kQuit, true, kDisable},
        {"installer", OffReason::kInstaller, true, Join({"trace quit requested"}, kDisable)},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        Rig rig;
        rig.host.reconnects = c.reconnects;
        rig.Enabled();
        rig.service.TurnOff(c.reason);
        CHECK(rig.host.Take() == c.calls);
        CHECK_FALSE(rig.service.IsEnabled());
        // A second request after the service went off: a lost device or auto-disable leaves it
        // off without a step; a quit goes through the disable again (harmless).
        rig.service.TurnOff(c.reason);
        const Calls again = rig.host.Take();
        CHECK(again.empty() == (c.reason == OffReason::kIdle || c.reason == OffReason::kPortLost));
    }

    // Quit while a lost device is waited for: the tries end first.
    Rig rig;
    rig.Enabled();
    rig.service.TurnOff(OffReason::kPortLost);
    rig.host.Take();
    rig.service.TurnOff(OffReason::kQuit);
    CHECK(rig.host.Take() == Join({"stop tries", "trace waiting for COM12 ended"}, kDisable));
}

TEST_CASE("device notices and resume: the open port's loss turns the service off, an arrival tries the port") {
    struct Case {
        const char* what;
        DeviceNotice notice;
        const char16_t* port;
        bool responds;
        bool lost;
    };
    const Case cases[] = {
        {"the open port removed", DeviceNotice::kPortRemoved, u"COM12", true, true},
        {"removed, in lower case", DeviceNotice::kPortRemoved, u"com12", true, true},
        {"another port removed", DeviceNotice::kPortRemoved, u"COM1", false, false},
        {"a port whose name starts alike", DeviceNotice::kPortRemoved, u"COM123", true, false},
        {"devices changed, the port silent", DeviceNotice::kDevicesChanged, u"", false, true},
        {"devices changed, the port answers", DeviceNotice::kDevicesChanged, u"", true, false},
        {"a port arrived", DeviceNotice::kPortArrived, u"COM12", false, false},
        {"another notice", DeviceNotice::kOther, u"COM12", false, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(NoticeMeansPortLost(c.notice, c.port, u"COM12", c.responds) == c.lost);
        Rig rig;
        rig.host.responds = c.responds;
        rig.Enabled();
        rig.service.OnDeviceNotice(c.notice, c.port);
        CHECK(rig.service.IsEnabled() == !c.lost);
        CHECK(rig.service.IsWaitingForPort() == c.lost);
    }

    Rig rig;
    rig.Enabled();
    rig.service.OnResume();  // the port still answers
    CHECK(rig.host.Take().empty());
    rig.host.responds = false;
    rig.service.OnResume();
    CHECK(rig.host.Take() == Join(Join({"trace com-port lost at resume"}, kDisable),
                                  {"start tries", "trace waiting for COM12", "state"}));
    rig.service.OnDeviceNotice(DeviceNotice::kPortArrived, u"COM12");  // back: tried at once
    CHECK(rig.host.Take() == Calls{"try COM12"});
}

namespace {

std::vector<std::string> TracesOf(const Calls& calls) {
    std::vector<std::string> traces;
    for (const std::string& call : calls) {
        if (call.rfind("trace waiting", 0) == 0 || call.rfind("trace port", 0) == 0) {
            traces.push_back(call.substr(6));
        }
    }
    return traces;
}

// The device went: the service is off and COM12 is waited for.
void LoseThePort(Rig& rig) {
    rig.Enabled();
    rig.service.TurnOff(OffReason::kPortLost);
    REQUIRE(rig.service.IsWaitingForPort());
}

size_t Count(const Calls& calls, const std::string& call) {
    return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

}  // namespace

TEST_CASE("waiting for a lost port: quiet tries, one enable when it is back, one line per change") {
    Rig rig;
    LoseThePort(rig);
    for (int tick = 0; tick < 30; ++tick) {  // a minute of 2 s ticks with the adapter out
        rig.service.TryPort();
    }
    rig.host.present = true;
    rig.host.ourWindowOpen = true;  // the settings sheet is open: not taken back under it
    rig.service.TryPort();
    CHECK(rig.service.IsWaitingForPort());
    rig.host.ourWindowOpen = false;
    rig.service.TryPort();
    rig.service.TryPort();  // a tick that was already queued: nothing more happens
    const Calls calls = rig.host.Take();
    CHECK(Count(calls, "try COM12") == 32);
    CHECK(Count(calls, "open port") == 1);
    CHECK_FALSE(rig.service.IsWaitingForPort());
    CHECK(rig.service.IsEnabled());
    CHECK(TracesOf(calls) == std::vector<std::string>{"waiting for COM12", "port COM12 is back"});
    const Calls tail(calls.end() - 11, calls.end());
    CHECK(tail == Join(Join({"try COM12", "stop tries", "trace port COM12 is back"}, kEnable), {"state"}));
}

TEST_CASE("the user's Disable ends the waiting, and a new port from the settings is waited for") {
    Rig rig;
    LoseThePort(rig);
    rig.host.Take();
    rig.host.port = u"COM7";
    rig.service.OnSettingsChanged();  // the sheet's OK: COM7 now, tried at once
    CHECK(rig.service.WaitedPort() == u"COM7");
    CHECK(rig.host.Take() == Calls{"trace waiting for COM7", "try COM7"});
    rig.service.Toggle();  // "Disable Com Port" while waiting: no enable, no disable
    CHECK(rig.host.Take() == Calls{"stop tries", "trace waiting for COM7 ended", "state"});
    CHECK_FALSE(rig.service.IsOnOrWaiting());
    rig.host.present = true;
    rig.service.TryPort();
    rig.service.OnSettingsChanged();
    CHECK(rig.host.Take().empty());
}

TEST_CASE("a slow try: no second try meanwhile, and an answer that comes too late or for another port enables nothing") {
    Rig rig;
    rig.host.answerLater = true;
    LoseThePort(rig);
    rig.host.Take();
    rig.service.TryPort();
    rig.service.TryPort();  // the 2 s tick while the open still takes its time
    CHECK(rig.host.Take() == Calls{"try COM12"});
    rig.host.port = u"COM7";
    rig.service.OnSettingsChanged();  // the sheet's OK named another port meanwhile
    rig.service.OnPortTried(u"COM12", true);  // COM12 opened, but COM7 is waited for: tried now
    CHECK(rig.host.Take() == Calls{"trace waiting for COM7", "try COM7"});
    rig.service.OnPortTried(u"COM7", true);
    CHECK(rig.service.IsEnabled());

    rig.service.TurnOff(OffReason::kPortLost);
    rig.service.TryPort();
    rig.service.Toggle();  // the user's Disable while the try runs
    rig.host.Take();
    rig.service.OnPortTried(u"COM7", true);
    CHECK(rig.host.Take().empty());
    CHECK_FALSE(rig.service.IsEnabled());
}

TEST_CASE("a device picked by its identity: followed to its new name, waited for while absent, never a stranger") {
    const std::u16string scanner = u"USB\\VID_0403&PID_6001\\A50285BI";
    const TreePort atCom5{u"COM5", u"USB Serial Port (COM5)", u"FTDI", scanner};
    const TreePort atCom9{u"COM9", u"USB Serial Port (COM9)", u"FTDI", scanner};
    const TreePort strangerAtCom5{u"COM5", u"USB Serial Port (COM5)", u"FTDI", u"USB\\VID_0403&PID_6001\\OTHER1"};
    const Calls kOpen = {"open port", "start pipeline", "start tick", "idle time", "start requests", "picture"};

    // The scanner is stored for COM5, where another adapter is now; each case says where the scanner is.
    Rig rig;
    rig.host.port = u"COM5";
    rig.host.device = scanner;
    rig.host.tree = {strangerAtCom5};
    SUBCASE("no device stored: the tree is never asked, the name is opened as always") {
        rig.host.device.clear();
        rig.service.Switch(true);
        CHECK(rig.host.Take() == kEnable);
    }
    SUBCASE("at its name") {
        rig.host.tree = {atCom5};
        rig.service.Switch(true);
        CHECK(rig.host.Take() == Join({"trace enable dorvane", "tree"}, kOpen));
    }
    SUBCASE("moved: the settings follow it, the user is told once, the new name is opened") {
        rig.host.tree = {strangerAtCom5, atCom9};
        rig.service.Switch(true);
        CHECK(rig.host.Take() == Join({"trace enable dorvane", "tree", "move COM5 COM9",
                                       "trace device moved from COM5 to COM9", "notice The scanner moved from COM5 to COM9"},
                                      kOpen));
        rig.service.Switch(false);
        rig.host.Take();
        rig.service.Switch(true);  // the next enable finds it at the name now stored: no second notice
        CHECK(rig.host.Take() == Join({"trace enable dorvane", "tree"}, kOpen));
    }
    SUBCASE("absent, its name taken by another adapter: nothing opened, waited for; back under a new name") {
        rig.service.Switch(true);
        CHECK(rig.host.Take() == Calls{"trace enable dorvane", "tree", "trace device of COM5 absent: not opened",
                                        "start tries", "trace waiting for COM5", "state", "picture"});
        CHECK(rig.service.MissingDevice() == PortChoice::Outcome::kAbsent);
        rig.service.TryPort();  // still absent: no port is tried
        CHECK(rig.host.Take() == Calls{"tree"});
        rig.host.present = true;
        rig.host.tree = {strangerAtCom5, atCom9};
        rig.service.OnDeviceNotice(DeviceNotice::kPortArrived, u"COM9");
        const Calls calls = rig.host.Take();
        CHECK(calls == Join({"tree", "state", "try COM9", "tree", "stop tries", "trace port COM9 is back",
                             "trace enable dorvane", "tree", "move COM5 COM9", "trace device moved from COM5 to COM9",
                             "notice The scanner moved from COM5 to COM9"},
                            Join(kOpen, {"state"})));
        CHECK(rig.service.IsEnabled());
        CHECK(rig.service.MissingDevice() == PortChoice::Outcome::kByName);
    }
    SUBCASE("absent with AUTORECONNECT=0: the enable fails with its box, nothing opened") {
        rig.host.reconnects = false;
        rig.service.Switch(true);
        CHECK(rig.host.Take() == Calls{"trace enable dorvane", "tree", "trace device of COM5 absent: not opened",
                                        "box Enable comm service failed!\t", "picture"});
        CHECK_FALSE(rig.service.IsWaitingForPort());
    }
}
