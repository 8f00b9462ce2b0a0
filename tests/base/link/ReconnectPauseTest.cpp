#include "base/link/ReconnectPause.h"

#include <gtest/gtest.h>

#include <chrono>

#include "DataControllerTestSupport.h"
#include "platform/Config.h"

using namespace lumora;
using namespace lumora::test;
using namespace std::chrono_literals;

namespace {

// A clock the test moves by hand.
struct ManualClock {
    ReconnectPause::Clock::time_point t{};
    std::function<ReconnectPause::Clock::time_point()> fn() {
        return [this] { return t; };
    }
};

class ReconnectPauseTest : public ::testing::Test {
protected:
    void SetUp() override { Config::shared().timeScale = 1.0; }
    void TearDown() override { Config::shared().timeScale = 1.0; }
};

TEST_F(ReconnectPauseTest, PausesGrowFromSmallToTheCapWithinTheirJitter) {
    ManualClock clock;
    ReconnectPolicy policy;  // 100 ms, doubling, 5 s cap, 25 % either way
    ReconnectPause pause(policy, clock.fn());
    const double expected[] = {100, 200, 400, 800, 1600, 3200, 5000, 5000, 5000};
    for (double ms : expected) {
        double got = std::chrono::duration<double, std::milli>(pause.next()).count();
        EXPECT_GE(got, ms * 0.75 - 0.001) << ms;
        EXPECT_LE(got, std::min(ms * 1.25, 5000.0) + 0.001) << ms;
    }
    EXPECT_EQ(pause.attempts(), 9);
}

TEST_F(ReconnectPauseTest, OnlyALinkThatStayedUpStartsTheSeriesAgain) {
    ManualClock clock;
    ReconnectPolicy policy;
    policy.jitter = 0;
    ReconnectPause pause(policy, clock.fn());
    EXPECT_EQ(pause.next(), 100ms);
    EXPECT_EQ(pause.next(), 200ms);
    // Up, but dropped after a second: the series goes on.
    pause.linkUp();
    clock.t += 1s;
    EXPECT_EQ(pause.next(), 400ms);
    // Up for the stable time: the next drop starts small again.
    pause.linkUp();
    clock.t += 10s;
    EXPECT_EQ(pause.next(), 100ms);
    EXPECT_EQ(pause.next(), 200ms);
    pause.reset();
    EXPECT_EQ(pause.next(), 100ms);
}

TEST_F(ReconnectPauseTest, PausesAndTheStableTimeFollowTheTimeScale) {
    Config::shared().timeScale = 0.01;
    ManualClock clock;
    ReconnectPolicy policy;
    policy.jitter = 0;
    ReconnectPause pause(policy, clock.fn());
    EXPECT_EQ(pause.next(), 1ms);
    EXPECT_EQ(pause.next(), 2ms);
    pause.linkUp();
    clock.t += 100ms;  // ten seconds, scaled
    EXPECT_EQ(pause.next(), 1ms);
}

using ReconnectStormTest = DataControllerFixture;

// A device that accepts every link and closes it right after the login
// reply: the view keeps trying, but with growing pauses instead of at once.
TEST_F(ReconnectStormTest, ADeviceThatClosesEveryLinkIsNotHammered) {
    startDeviceWith([](devemu::EmulatorOptions& o) {
        o.closeAfter = 1;
        o.audio = false;
    });
    auto dev = addressDevice("Porch");
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return device->stats().logins >= 3; })) << pane->joined();
    // Thirty seconds of the deployment's time at this test's scale.
    std::this_thread::sleep_for(Config::shared().scaled(30s));
    session->stopLive();
    const long logins = device->stats().logins;
    // Pauses of 0.1, 0.2, 0.4 ... up to 5 s make about a dozen in thirty
    // seconds; reopening at once made hundreds.
    EXPECT_LE(logins, 25);
    EXPECT_EQ(pane->countPrefix("failed"), 0) << pane->joined();
}

// A device that refuses links for a moment (a restart of its service) is
// back in the view: the restarts are spread over seconds, not milliseconds.
TEST_F(ReconnectStormTest, ADeviceAwayForAMomentIsRecovered) {
    Config::shared().timeScale = 0.2;
    startDeviceWith([](devemu::EmulatorOptions& o) { o.audio = false; });
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    const uint16_t port = device->tcpPort();
    device->stop();
    // Refused for a little while ...
    std::this_thread::sleep_for(Config::shared().scaled(750ms));
    startDeviceWith([port](devemu::EmulatorOptions& o) {
        o.audio = false;
        o.tcpPort = port;
    });
    // ... then the view comes back by itself.
    ASSERT_TRUE(waitFor([&] { return device->stats().logins >= 1; })) << pane->joined();
    const long before = pane->pictures();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return pane->pictures() > before; }, 30s)) << pane->joined();
    EXPECT_EQ(pane->countPrefix("failed"), 0) << pane->joined();
}

}  // namespace
