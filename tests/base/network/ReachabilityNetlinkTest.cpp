#include <gtest/gtest.h>

#include <sched.h>

#include <cstdlib>

#include "base/network/NETStatusObj.h"
#include "base/network/Reachability.h"
#include "platform/Config.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// The launch watcher on the real routing table, inside a private network
// namespace of this test process: routes come and go there, and the
// network-status flags follow. Only route look-ups are made; nothing is sent.
TEST(ReachabilityNetlink, FlagsFollowARouteThatGoesAndComesBack) {
    if (::unshare(CLONE_NEWNET) != 0) GTEST_SKIP() << "cannot create a network namespace";
    if (!run("ip link set lo up") || !run("ip link add wwan0 type ifb") || !run("ip link set wwan0 up") ||
        !run("ip addr add 10.7.0.1/24 dev wwan0"))
        GTEST_SKIP() << "cannot create a test interface";
    RunLoop::main();
    Config::shared().reachabilityHost = "203.0.113.9";  // a numeric name: no look-up traffic
    auto& net = NETStatusObj::sharedInstance();
    int updates = 0;
    auto id = NotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, nullptr, [&](const Notification& n) {
            net.updateWithStatus(static_cast<const Reachability*>(n.object)->currentReachabilityStatus());
            ++updates;
        });
    auto watcher = Reachability::reachabilityWithHostName(Config::shared().reachabilityHost);
    ASSERT_TRUE(watcher->startNotifier());
    // No route yet: the initial report still comes and leaves the flags NO.
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return updates >= 1; }, 20s));
    EXPECT_FALSE(net.isHaveNet());

    ASSERT_TRUE(run("ip route add default via 10.7.0.2 dev wwan0"));
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return net.isHaveNet(); }, 20s));
    EXPECT_TRUE(net.is3G());  // the default route leaves through a cellular-named interface
    EXPECT_FALSE(net.isWIFI());

    ASSERT_TRUE(run("ip route del default"));
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !net.isHaveNet(); }, 20s));
    EXPECT_FALSE(net.is3G());

    // A released watcher stops listening: route changes report nothing more.
    RunLoop::main().runFor(100ms);
    const int seen = updates;
    watcher.reset();
    ASSERT_TRUE(run("ip route add default via 10.7.0.2 dev wwan0"));
    ASSERT_TRUE(run("ip route del default"));
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(updates, seen) << "a released watcher still reported";
    NotificationCenter::defaultCenter().removeObserver(id);
}

// The cellular interface names come from the configuration, which is set
// before anything runs (the watcher reads it on its own queue).
TEST(ReachabilityNetlink, CellularNamesComeFromTheConfiguration) {
    if (::unshare(CLONE_NEWNET) != 0) GTEST_SKIP() << "cannot create a network namespace";
    if (!run("ip link set lo up") || !run("ip link add wwan0 type ifb") || !run("ip link set wwan0 up") ||
        !run("ip addr add 10.7.0.1/24 dev wwan0") || !run("ip route add default via 10.7.0.2 dev wwan0"))
        GTEST_SKIP() << "cannot create a test interface";
    RunLoop::main();
    Config::shared().reachabilityHost = "203.0.113.9";
    Config::shared().cellularInterfaces = "ppp*";
    auto& net = NETStatusObj::sharedInstance();
    auto id = NotificationCenter::defaultCenter().addObserver(
        kNetworkReachabilityChangedNotification, nullptr, [&](const Notification& n) {
            net.updateWithStatus(static_cast<const Reachability*>(n.object)->currentReachabilityStatus());
        });
    auto watcher = Reachability::reachabilityWithHostName(Config::shared().reachabilityHost);
    ASSERT_TRUE(watcher->startNotifier());
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return net.isHaveNet(); }, 20s));
    EXPECT_FALSE(net.is3G()) << "wwan0 is not named by ppp*";
    NotificationCenter::defaultCenter().removeObserver(id);
}

}  // namespace
}  // namespace lumora
