#include "base/link/ReconnectPause.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

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

// Once the quick restarts are spent: 1, 2, 4 s, then 6 s for the first
// minute away (so a device back within it is seen within one such pause),
// then 15 to 30 s: a handful of attempts a minute, never a burst.
TEST_F(ReconnectPauseTest, KeepingOnTryingIsQuickForAMinuteThenPatient) {
    ManualClock clock;
    KeepTryingPause pause(KeepTryingPolicy{}, clock.fn());
    pause.begin();
    const double expected[] = {1000, 2000, 4000, 6000, 6000, 6000};
    for (double ms : expected) {
        double got = std::chrono::duration<double, std::milli>(pause.next()).count();
        EXPECT_GE(got, ms * 0.75 - 0.001) << ms;
        EXPECT_LE(got, ms * 1.25 + 0.001) << ms;
        clock.t += std::chrono::milliseconds(static_cast<int64_t>(got));
    }
    // Attempts in the first minute away: after the third every pause is at
    // least 4.5 s and at most 7.5 s.
    int firstMinute = 6;
    while (clock.t - ReconnectPause::Clock::time_point{} < 60s) {
        double got = std::chrono::duration<double, std::milli>(pause.next()).count();
        EXPECT_LE(got, 7500.001);
        clock.t += std::chrono::milliseconds(static_cast<int64_t>(got));
        ++firstMinute;
    }
    EXPECT_LE(firstMinute, 16);
    // Away for longer: between 15 and 30 s each.
    for (int i = 0; i < 20; ++i) {
        double got = std::chrono::duration<double, std::milli>(pause.next()).count();
        EXPECT_GE(got, 15000 - 0.001);
        EXPECT_LE(got, 30000 + 0.001);
    }
    // A new absence starts quick again.
    pause.begin();
    EXPECT_LE(pause.next(), 1250ms);
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

// A device that goes away for longer than the quick restarts last (a camera
// rebooting for 25 s) comes back into the view by itself: the pane hears
// once that the view keeps trying, never a failure; while it is away the
// device is asked a few times, not flooded; once back the pictures flow
// again and the view is an ordinary one.
TEST_F(ReconnectStormTest, ADeviceAwayForLongerComesBackWithoutATap) {
    startDeviceWith([](devemu::EmulatorOptions& o) { o.audio = false; });
    auto dev = addressDevice("Porch");
    liveUntilPicture(dev);
    const long sessionsBefore = device->stats().sessions;
    device->goAway(std::chrono::duration_cast<std::chrono::milliseconds>(Config::shared().scaled(25s)));
    ASSERT_TRUE(waitFor([&] { return pane->countPrefix("retrying") >= 1; })) << pane->joined();
    EXPECT_EQ(pane->all().back(), "retrying " + Localization::string("MSG_RECONNECTING"));
    ASSERT_TRUE(device->waitUntilBack(60s));
    // Pictures of the new login: the view stops trying when the device
    // describes its stream again (a slow machine may meanwhile still show
    // pictures that were under way when the device went).
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !session->isKeepTrying(); }, 60s)) << pane->joined();
    const long before = pane->pictures();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return pane->pictures() > before; }, 60s)) << pane->joined();
    EXPECT_EQ(pane->countPrefix("failed"), 0) << pane->joined();
    EXPECT_EQ(pane->countPrefix("retrying"), 1) << pane->joined();
    EXPECT_FALSE(session->isKeepTrying());
    // Five quick restarts and pauses of at least 0.75, 1.5, 3, 4.5 s ... over
    // 25 s: about a dozen attempts at most (a slower machine makes fewer).
    EXPECT_LE(session->restartsMade() + session->keepTryingAttempts(), 16);
    // The device refused while away; back, it was logged into once.
    EXPECT_EQ(device->stats().sessions - sessionsBefore, 1);
    EXPECT_EQ(dev->connectNum.load(), 1);
}

// Each way a view can fail says what happened: nothing at the address,
// the device lost after it played, a refused login, a device the relay
// cannot reach. Only the refused login (and the offline device) end the
// view; the other two keep trying.
TEST_F(ReconnectStormTest, EachFailureSaysWhatHappened) {
    const std::vector<std::string> keys = {"MSG_UNREACHABLE", "MSG_RECONNECTING", "LOGINERROR_MSG", "MSG_DVOFF"};
    std::set<std::string> texts;
    for (const auto& k : keys) {
        EXPECT_NE(Localization::string(k), k);
        texts.insert(Localization::string(k));
    }
    EXPECT_EQ(texts.size(), keys.size());

    // Nothing listens at the address (the device is away for good).
    startDeviceWith([](devemu::EmulatorOptions& o) { o.audio = false; });
    auto dev = addressDevice("Porch");
    device->goAway(std::chrono::hours(1));
    startLiveFromGlobal(dev, 0);
    ASSERT_TRUE(waitFor([&] { return pane->countPrefix("retrying") >= 1; })) << pane->joined();
    EXPECT_EQ(pane->all().back(), "retrying " + Localization::string("MSG_UNREACHABLE"));
    EXPECT_EQ(pane->countPrefix("failed"), 0) << pane->joined();
    EXPECT_TRUE(session->isKeepTrying());

    // A tap asks for an attempt at once: the device is back, the view plays
    // and nothing of the unreachable text stays.
    device->stop();
    std::string error;
    ASSERT_TRUE(device->start(error)) << error;
    session->retryNow();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return pane->pictures() >= 1; }, 60s)) << pane->joined();
    EXPECT_FALSE(session->isKeepTrying());
    // Asked again while it plays: nothing happens.
    const long sessions = device->stats().sessions;
    session->retryNow();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(device->stats().sessions, sessions);
    session->stopLive();
}

}  // namespace
