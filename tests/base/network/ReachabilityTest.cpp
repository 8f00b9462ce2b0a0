#include "base/network/Reachability.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {
namespace {

namespace rf = reachability_flags;
using namespace std::chrono_literals;

TEST(ReachabilityStatusTable, NetworkStatusForFlags) {
    struct Case {
        uint32_t flags;
        ReachabilityStatus status;
    } cases[] = {
        {0, ReachabilityStatusNone},
        {rf::kIsWWAN | rf::kIsDirect | rf::kConnectionOnDemand, ReachabilityStatusNone},  // not reachable
        {rf::kReachable, ReachabilityStatusWiFi},
        {rf::kReachable | rf::kIsDirect, ReachabilityStatusWiFi},
        {rf::kReachable | rf::kIsWWAN, ReachabilityStatusWWAN},
        {rf::kReachable | rf::kIsWWAN | rf::kConnectionRequired, ReachabilityStatusWWAN},
        {rf::kReachable | rf::kIsWWAN | rf::kConnectionRequired | rf::kInterventionRequired, ReachabilityStatusWWAN},
        {rf::kReachable | rf::kConnectionRequired, ReachabilityStatusNone},
        {rf::kReachable | rf::kConnectionRequired | rf::kConnectionOnDemand, ReachabilityStatusWiFi},
        {rf::kReachable | rf::kConnectionRequired | rf::kConnectionOnTraffic, ReachabilityStatusWiFi},
        {rf::kReachable | rf::kConnectionRequired | rf::kConnectionOnTraffic | rf::kInterventionRequired,
         ReachabilityStatusNone},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Reachability::networkStatusForFlags(c.flags), c.status) << std::hex << c.flags;
}

TEST(ReachabilityStatusTable, LocalWiFiStatusForFlags) {
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(rf::kReachable), ReachabilityStatusNone);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(rf::kIsDirect), ReachabilityStatusNone);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(rf::kReachable | rf::kIsDirect), ReachabilityStatusWiFi);
    EXPECT_EQ(Reachability::localWiFiStatusForFlags(rf::kReachable | rf::kIsDirect | rf::kIsWWAN),
              ReachabilityStatusWiFi);
}

class ReachabilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main();
        fake = std::make_shared<FakeReachabilityProvider>();
        ReachabilityProvider::setShared(fake);
        observer = NotificationCenter::defaultCenter().addObserver(
            kNetworkReachabilityChangedNotification, nullptr, [this](const Notification& n) {
                EXPECT_TRUE(RunLoop::isMainThread());
                senders.push_back(n.object);
                statuses.push_back(static_cast<const Reachability*>(n.object)->currentReachabilityStatus());
            });
    }
    void TearDown() override {
        NotificationCenter::defaultCenter().removeObserver(observer);
        ReachabilityProvider::setShared(nullptr);
    }
    bool waitFor(size_t n) {
        return RunLoop::main().runUntil([&] { return statuses.size() >= n; }, 20s);
    }

    std::shared_ptr<FakeReachabilityProvider> fake;
    NotificationCenter::ObserverId observer = 0;
    std::vector<const void*> senders;
    std::vector<ReachabilityStatus> statuses;
};

TEST_F(ReachabilityTest, ConstructorsRefuseBadTargets) {
    EXPECT_EQ(Reachability::reachabilityWithHostName(""), nullptr);
    EXPECT_EQ(Reachability::reachabilityWithAddress(nullptr), nullptr);
    sockaddr_in six{};
    six.sin_family = AF_INET6;
    EXPECT_EQ(Reachability::reachabilityWithAddress(&six), nullptr);
    auto wifi = Reachability::reachabilityForLocalWiFi();
    ASSERT_NE(wifi, nullptr);
    EXPECT_TRUE(wifi->localWiFiRef());
    // Unreadable flags mean "not reachable".
    fake->setFlagsForHost("example.test", std::nullopt);
    EXPECT_EQ(Reachability::reachabilityWithHostName("example.test")->currentReachabilityStatus(),
              ReachabilityStatusNone);
    EXPECT_FALSE(Reachability::reachabilityWithHostName("example.test")->connectionRequired());
}

TEST_F(ReachabilityTest, ClassQueriesUseTheirTargets) {
    Config::shared().reachabilityHost = "watched.test";
    fake->setFlagsForHost("watched.test", rf::kReachable);
    fake->setFlagsForAddress("0.0.0.0", rf::kReachable | rf::kIsWWAN);
    fake->setFlagsForAddress("169.254.0.0", rf::kReachable);  // reachable, but not direct
    EXPECT_TRUE(Reachability::isHaveNet());
    EXPECT_TRUE(Reachability::is3G());
    EXPECT_FALSE(Reachability::isWiFi());
    fake->setFlagsForAddress("169.254.0.0", rf::kReachable | rf::kIsDirect);
    fake->setFlagsForAddress("0.0.0.0", rf::kReachable);
    EXPECT_TRUE(Reachability::isWiFi());
    EXPECT_FALSE(Reachability::is3G());
}

TEST_F(ReachabilityTest, NotifierPostsOnceAtStartThenOnlyOnChange) {
    fake->setFlagsForHost("watched.test", rf::kReachable);
    auto r = Reachability::reachabilityWithHostName("watched.test");
    ASSERT_TRUE(r->startNotifier());
    ASSERT_TRUE(waitFor(1));  // initial notification: the network never changed
    EXPECT_EQ(senders[0], r.get());
    EXPECT_EQ(statuses[0], ReachabilityStatusWiFi);

    fake->changed();  // something changed, but not for this target
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(statuses.size(), 1u);

    fake->changeHost("watched.test", 0);
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(statuses[1], ReachabilityStatusNone);
    fake->changeHost("watched.test", rf::kReachable | rf::kIsWWAN);
    ASSERT_TRUE(waitFor(3));
    EXPECT_EQ(statuses[2], ReachabilityStatusWWAN);

    r->stopNotifier();
    fake->changeHost("watched.test", 0);
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(statuses.size(), 3u);
}

TEST_F(ReachabilityTest, DestroyedWatcherPostsNothing) {
    fake->setFlagsForHost("watched.test", rf::kReachable);
    auto r = Reachability::reachabilityWithHostName("watched.test");
    ASSERT_TRUE(r->startNotifier());
    r.reset();  // before its first reading was reported
    fake->changeHost("watched.test", 0);
    RunLoop::main().runFor(300ms);
    EXPECT_TRUE(statuses.empty());
}

}  // namespace
}  // namespace lumora
