#include <doctest/doctest.h>

#include <string>
#include <vector>

#include "app/core/portwatch.h"

using namespace dorvane;

namespace {

// The port comes and goes as the test says; every try, enable and trace is recorded.
struct FakeWatchHost : IPortWatchHost {
    std::u16string port = u"COM12";
    bool present = false;
    bool triesRunning = false;
    int tries = 0;
    int enables = 0;
    std::vector<std::u16string> traces;

    std::u16string WatchedPortName() override { return port; }
    bool PortOpens(const std::u16string& name) override {
        ++tries;
        return present && name == port;
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
