#include "base/link/ViewRestarts.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace lumora::test;

namespace {

// Stands in for the session: its generation, the starts asked of it and
// what the pane was told.
class ViewRestartsTest : public ::testing::Test {
protected:
    struct Start {
        int32_t deviceId;
        int channel;
        uint64_t expected;
    };

    ViewRestarts::Handlers handlers() {
        return {[this] { return generation.load(); },
                [this](const std::shared_ptr<Device>& device, int channel, uint64_t expected) {
                    std::lock_guard<std::mutex> g(mutex);
                    starts.push_back({device->deviceId, channel, expected});
                },
                [this](const char* key) {
                    std::lock_guard<std::mutex> g(mutex);
                    told.emplace_back(key);
                }};
    }
    std::vector<std::string> toldNow() {
        std::lock_guard<std::mutex> g(mutex);
        return told;
    }
    std::vector<Start> startsNow() {
        std::lock_guard<std::mutex> g(mutex);
        return starts;
    }
    // Waits for the start the queued work asks for.
    void expectOneStart(int32_t deviceId, int channel, uint64_t expected) {
        ASSERT_TRUE(waitFor([&] { return !startsNow().empty(); }));
        const std::vector<Start> all = startsNow();
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].deviceId, deviceId);
        EXPECT_EQ(all[0].channel, channel);
        EXPECT_EQ(all[0].expected, expected);
    }
    // Loses the link `n` times; the queued restarts find no session.
    void lose(ViewRestarts& r, int n) {
        for (int i = 0; i < n; ++i) r.linkLost(gone, 1, 0);
    }

    // A session owns its restarts; queued work holds it weakly.
    struct Session {
        explicit Session(ViewRestarts::Handlers h) : restarts(std::move(h)) {}
        ViewRestarts restarts;
    };

    std::atomic<uint64_t> generation{7};
    std::weak_ptr<void> gone;  // a session already released
    std::mutex mutex;
    std::vector<Start> starts;
    std::vector<std::string> told;
};

TEST_F(ViewRestartsTest, QuickRestartsAreSpentThenTheViewKeepsTryingAndSaysSoOnce) {
    ViewRestarts r(handlers());
    r.viewStarted();
    for (int i = 1; i <= ViewRestarts::kMaxRestarts; ++i) {
        r.linkLost(gone, 1, 0);
        EXPECT_EQ(r.recontimes(), i);
        EXPECT_FALSE(r.isKeepTrying());
        EXPECT_FALSE(r.takePendingAttempt());
    }
    EXPECT_TRUE(toldNow().empty());
    r.linkLost(gone, 1, 0);
    EXPECT_TRUE(r.isKeepTrying());
    EXPECT_EQ(r.recontimes(), 0);
    // Never reached since the user started the view.
    EXPECT_EQ(toldNow(), std::vector<std::string>{"MSG_UNREACHABLE"});
    lose(r, 3);
    EXPECT_TRUE(r.isKeepTrying());
    EXPECT_EQ(r.recontimes(), 0);
    EXPECT_EQ(toldNow().size(), 1u);
    // The attempt that waits for its pause is taken once.
    EXPECT_TRUE(r.takePendingAttempt());
    EXPECT_FALSE(r.takePendingAttempt());
}

TEST_F(ViewRestartsTest, AViewThatWasReachedSaysItIsReconnecting) {
    ViewRestarts r(handlers());
    r.viewStarted();
    lose(r, 3);
    r.linkUp();  // a link stands up: the quick restarts in a row start again
    EXPECT_EQ(r.recontimes(), 0);
    lose(r, ViewRestarts::kMaxRestarts);
    EXPECT_FALSE(r.isKeepTrying());
    lose(r, 1);
    EXPECT_TRUE(r.isKeepTrying());
    EXPECT_EQ(toldNow(), std::vector<std::string>{"MSG_RECONNECTING"});
}

TEST_F(ViewRestartsTest, AStreamOrAStopEndsTheKeepingOnTrying) {
    ViewRestarts r(handlers());
    r.viewStarted();
    lose(r, ViewRestarts::kMaxRestarts + 1);
    ASSERT_TRUE(r.isKeepTrying());
    r.streamUp();
    EXPECT_FALSE(r.isKeepTrying());
    EXPECT_FALSE(r.takePendingAttempt());  // nothing to try at once while the view works
    lose(r, 1);
    EXPECT_EQ(r.recontimes(), 1);  // a quick restart again
    EXPECT_FALSE(r.isKeepTrying());

    lose(r, ViewRestarts::kMaxRestarts);
    ASSERT_TRUE(r.isKeepTrying());
    EXPECT_EQ(toldNow().size(), 2u);  // a new series is told again
    r.viewStopped();
    EXPECT_FALSE(r.isKeepTrying());
    EXPECT_FALSE(r.takePendingAttempt());
    // A new view that is never reached says so again.
    r.viewStarted();
    lose(r, ViewRestarts::kMaxRestarts + 1);
    EXPECT_EQ(toldNow(), (std::vector<std::string>{"MSG_UNREACHABLE", "MSG_UNREACHABLE", "MSG_UNREACHABLE"}));
}

TEST_F(ViewRestartsTest, ARestartStartsTheListedDeviceWithTheGenerationOfTheLoss) {
    auto device = std::make_shared<Device>();
    device->name.set("Porch");
    ASSERT_TRUE(QvDeviceManager::sharedInstance().addDevice(device));
    auto session = std::make_shared<Session>(handlers());
    ViewRestarts& r = session->restarts;
    r.viewStarted();
    r.linkLost(session, device->deviceId, 2);
    generation = 8;  // what happens meanwhile is the session's to judge
    expectOneStart(device->deviceId, 2, 7);
    EXPECT_EQ(r.restartsMade(), 1);
    EXPECT_EQ(r.keepTryingAttempts(), 0);
    QvDeviceManager::sharedInstance().removeDevice(device);
}

TEST_F(ViewRestartsTest, AnAttemptAtOnceIsCountedAndStartsTheView) {
    auto device = std::make_shared<Device>();
    auto session = std::make_shared<Session>(handlers());
    ViewRestarts& r = session->restarts;
    r.attemptNow(session, device, 3, 11);
    expectOneStart(device->deviceId, 3, 11);
    EXPECT_EQ(r.keepTryingAttempts(), 1);
    EXPECT_EQ(r.restartsMade(), 0);
}

}  // namespace
