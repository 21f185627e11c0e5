#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "app/core/portwatch.h"

using namespace dorvane;

namespace {

// The port comes and goes as the test says; every try, enable and trace is recorded. A try
// is answered at once, or (answerLater) when the test answers it.
struct FakeWatchHost : IPortWatchHost {
    std::u16string port = u"COM12";
    bool present = false;
    bool triesRunning = false;
    bool answerLater = false;
    CPortWatch* watch = nullptr;
    std::vector<std::u16string> tried;
    int tries = 0;
    int enables = 0;
    std::vector<std::u16string> traces;

    std::u16string WatchedPortName() override { return port; }
    void StartPortTry(const std::u16string& name) override {
        ++tries;
        tried.push_back(name);
        if (!answerLater) {
            watch->OnTryAnswer(name, present && name == port);
        }
    }
    void EnableServiceAgain() override { ++enables; }
    void TraceWatch(const std::u16string& line) override { traces.push_back(line); }
    void StartTries() override { triesRunning = true; }
    void StopTries() override { triesRunning = false; }
};

}  // namespace

TEST_CASE("waiting for a lost port: quiet tries, one enable when it is back, one line per change") {
    FakeWatchHost host;
    CPortWatch watch(host);
    host.watch = &watch;
    watch.StartWaiting();
    for (int tick = 0; tick < 30; ++tick) {  // a minute of 2 s ticks with the adapter out
        watch.Try();
    }
    CHECK(host.tries == 30);
    CHECK(host.enables == 0);
    CHECK(host.triesRunning);
    host.present = true;
    watch.Try();
    watch.Try();  // a tick that was already queued: nothing more happens
    CHECK(host.enables == 1);
    CHECK_FALSE(watch.IsWaiting());
    CHECK_FALSE(host.triesRunning);
    CHECK(host.traces == std::vector<std::u16string>{u"waiting for COM12", u"port COM12 is back"});
}

TEST_CASE("the user's Disable ends the waiting, and a new port from the settings is waited for") {
    FakeWatchHost host;
    CPortWatch watch(host);
    host.watch = &watch;
    watch.StartWaiting();
    host.port = u"COM7";
    watch.Restart();  // the sheet's OK: COM7 now, tried at once
    CHECK(watch.PortName() == u"COM7");
    CHECK(host.tries == 1);
    watch.StopWaiting();
    host.present = true;
    watch.Try();
    CHECK(host.tries == 1);
    CHECK(host.enables == 0);
    CHECK_FALSE(host.triesRunning);
    CHECK(host.traces ==
          std::vector<std::u16string>{u"waiting for COM12", u"waiting for COM7", u"waiting for COM7 ended"});
}

TEST_CASE("a slow try: no second try meanwhile, and an answer that comes too late or for another port enables nothing") {
    FakeWatchHost host;
    CPortWatch watch(host);
    host.watch = &watch;
    host.answerLater = true;
    watch.StartWaiting();
    watch.Try();
    watch.Try();  // the 2 s tick while the open still takes its time
    CHECK(host.tried == std::vector<std::u16string>{u"COM12"});
    host.port = u"COM7";
    watch.Restart();  // the sheet's OK named another port meanwhile
    watch.OnTryAnswer(u"COM12", true);  // COM12 opened, but COM7 is waited for: tried now
    CHECK(host.enables == 0);
    CHECK(host.tried == std::vector<std::u16string>{u"COM12", u"COM7"});
    watch.OnTryAnswer(u"COM7", true);
    CHECK(host.enables == 1);

    watch.StartWaiting();
    watch.Try();
    watch.StopWaiting();  // the user's Disable while the try runs
    watch.OnTryAnswer(u"COM7", true);
    CHECK(host.enables == 1);
}

TEST_CASE("device notices: the open port removed, or devices changed and the port silent, mean it is lost") {
    struct Case {
        DeviceNotice notice;
        const char16_t* removed;
        bool responds;
        bool lost;
    };
    const Case cases[] = {
        {DeviceNotice::kPortRemoved, u"COM12", true, true},
        {DeviceNotice::kPortRemoved, u"com12", true, true},
        {DeviceNotice::kPortRemoved, u"COM1", false, false},  // another port
        {DeviceNotice::kPortRemoved, u"COM123", true, false},
        {DeviceNotice::kDevicesChanged, u"", false, true},
        {DeviceNotice::kDevicesChanged, u"", true, false},
        {DeviceNotice::kOther, u"COM12", false, false},
    };
    for (const Case& c : cases) {
        CAPTURE(static_cast<int>(c.notice));
        CHECK(NoticeMeansPortLost(c.notice, c.removed, u"COM12", c.responds) == c.lost);
    }
}
