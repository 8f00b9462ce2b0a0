#include "base/network/NETStatusObj.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Config.h"
#include "platform/net/FakeReachabilityProvider.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {
namespace {

namespace rf = reachability_flags;
using namespace std::chrono_literals;

class NETStatusObjTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunLoop::main();
        Config::shared().reachabilityHost = "watched.test";
        fake = std::make_shared<FakeReachabilityProvider>();
        ReachabilityProvider::setShared(fake);
    }
    void TearDown() override { ReachabilityProvider::setShared(nullptr); }

    std::shared_ptr<FakeReachabilityProvider> fake;
};

TEST_F(NETStatusObjTest, UpdateSetsFlagsFromStatusAndClassQueries) {
    struct Case {
        ReachabilityStatus status;
        uint32_t defaultRoute;
        uint32_t linkLocal;
        bool haveNet, is3G, wifi, lookupStarted;
    } cases[] = {
        // Reachable over the cellular interface.
        {ReachabilityStatusWWAN, rf::kReachable | rf::kIsWWAN, 0, true, true, false, true},
        // Reachable, default route not cellular; a direct link-local path does not matter then.
        {ReachabilityStatusWiFi, rf::kReachable, rf::kReachable | rf::kIsDirect, true, false, false, true},
        // Host not reachable, but a Wi-Fi link without internet.
        {ReachabilityStatusNone, rf::kReachable | rf::kIsWWAN, rf::kReachable | rf::kIsDirect, false, false, true,
         false},
        // Nothing at all.
        {ReachabilityStatusNone, 0, 0, false, false, false, false},
    };
    auto& net = NETStatusObj::sharedInstance();
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status));
        fake->setFlagsForAddress("0.0.0.0", c.defaultRoute);
        fake->setFlagsForAddress("169.254.0.0", c.linkLocal);
        bool lookup = false;
        net.updateWithStatus(c.status, [&] { lookup = true; });
        EXPECT_EQ(net.isHaveNet(), c.haveNet);
        EXPECT_EQ(net.is3G(), c.is3G);
        EXPECT_EQ(net.isWIFI(), c.wifi);
        EXPECT_EQ(lookup, c.lookupStarted);
        EXPECT_FALSE(net.isWIFI() && net.isHaveNet());
        EXPECT_FALSE(net.isWIFI() && net.is3G());
    }
}

// The launch watcher as the application delegates wire it: every change
// notification rewrites the flags.
TEST_F(NETStatusObjTest, FlagsFollowLossAndReturnOfTheRoute) {
    fake->setFlagsForHost("watched.test", rf::kReachable | rf::kIsWWAN);
    fake->setFlagsForAddress("0.0.0.0", rf::kReachable | rf::kIsWWAN);
    fake->setFlagsForAddress("169.254.0.0", 0);
    auto& net = NETStatusObj::sharedInstance();
    int updates = 0;
    auto id = NotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, nullptr, [&](const Notification& n) {
            net.updateWithStatus(static_cast<const Reachability*>(n.object)->currentReachabilityStatus());
            ++updates;
        });
    auto watcher = Reachability::reachabilityWithHostName(Config::shared().reachabilityHost);
    ASSERT_TRUE(watcher->startNotifier());
    EXPECT_FALSE(net.isHaveNet());  // nothing reported yet
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return updates == 1; }, 20s));  // the initial report
    EXPECT_TRUE(net.isHaveNet());
    EXPECT_TRUE(net.is3G());

    // The route goes away; only a link-local Wi-Fi path is left.
    fake->setFlagsForAddress("0.0.0.0", 0);
    fake->setFlagsForAddress("169.254.0.0", rf::kReachable | rf::kIsDirect);
    fake->changeHost("watched.test", 0);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return updates == 2; }, 20s));
    EXPECT_FALSE(net.isHaveNet());
    EXPECT_FALSE(net.is3G());
    EXPECT_TRUE(net.isWIFI());

    // And comes back, now without the cellular interface.
    fake->setFlagsForAddress("0.0.0.0", rf::kReachable);
    fake->changeHost("watched.test", rf::kReachable);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return updates == 3; }, 20s));
    EXPECT_TRUE(net.isHaveNet());
    EXPECT_FALSE(net.is3G());
    EXPECT_FALSE(net.isWIFI());
    NotificationCenter::defaultCenter().removeObserver(id);
}

TEST_F(NETStatusObjTest, ReadersNeverSeeATransientLossWhileTheNetworkStays) {
    auto& net = NETStatusObj::sharedInstance();
    fake->setFlagsForAddress("0.0.0.0", rf::kReachable);
    net.updateWithStatus(ReachabilityStatusWiFi);
    ASSERT_TRUE(net.isHaveNet());
    std::atomic<bool> stop{false};
    std::atomic<long> losses{0};
    std::thread reader([&] {
        while (!stop.load())
            if (!net.isHaveNet()) ++losses;
    });
    // Repeated updates while the host stays reachable, switching between
    // cellular and not.
    for (int i = 0; i < 20000; ++i) {
        fake->setFlagsForAddress("0.0.0.0", (i & 1) ? rf::kReachable | rf::kIsWWAN : rf::kReachable);
        net.updateWithStatus((i & 1) ? ReachabilityStatusWWAN : ReachabilityStatusWiFi);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(losses.load(), 0);
}

}  // namespace
}  // namespace lumora
