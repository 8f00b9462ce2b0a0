#include "platform/net/NetlinkReachabilityProvider.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "support/WaitFor.h"

namespace lumora {
namespace {

namespace rf = reachability_flags;
using namespace std::chrono_literals;

sockaddr_in addressOf(const char* dotted) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    ::inet_pton(AF_INET, dotted, &a.sin_addr);
    return a;
}

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Each test case runs as its own process, so the case may move itself into
// a private network namespace: routes it adds there reach nothing outside.
class NetlinkReachabilityProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::unshare(CLONE_NEWNET) != 0) GTEST_SKIP() << "cannot create a network namespace";
        if (!run("ip link set lo up")) GTEST_SKIP() << "no ip command";
        // An interface named like a cellular modem: ifb devices need no hardware.
        if (!run("ip link add wwan0 type ifb") || !run("ip link set wwan0 up") ||
            !run("ip addr add 10.7.0.1/24 dev wwan0"))
            GTEST_SKIP() << "cannot create a test interface";
    }

    uint32_t flags(const char* dotted) {
        auto f = provider.flagsForAddress(addressOf(dotted));
        EXPECT_TRUE(f.has_value()) << dotted;
        return f.value_or(0xFFFFFFFF);
    }

    NetlinkReachabilityProvider provider;
};

TEST_F(NetlinkReachabilityProviderTest, FlagsFollowTheRoutingTable) {
    // Without a default route only the interface's own network is reachable.
    EXPECT_EQ(flags("10.7.0.5"), rf::kReachable | rf::kIsDirect | rf::kIsWWAN);
    EXPECT_EQ(flags("203.0.113.9"), 0u);
    EXPECT_EQ(flags("0.0.0.0"), 0u);
    EXPECT_EQ(flags("127.0.0.1") & (rf::kReachable | rf::kIsDirect | rf::kIsLocalAddress),
              rf::kReachable | rf::kIsDirect | rf::kIsLocalAddress);
    EXPECT_EQ(provider.flagsForHostName("127.0.0.1").value_or(0) & rf::kReachable, rf::kReachable);

    ASSERT_TRUE(run("ip route add default via 10.7.0.2 dev wwan0"));
    EXPECT_EQ(flags("203.0.113.9"), rf::kReachable | rf::kIsWWAN);  // through a gateway: not direct
    EXPECT_EQ(flags("0.0.0.0"), rf::kReachable | rf::kIsWWAN);
    EXPECT_EQ(flags("169.254.0.0"), rf::kReachable | rf::kIsWWAN);

    // The same interface is not cellular when the configuration says so.
    EXPECT_FALSE(NetlinkReachabilityProvider::isCellularInterface("eth0"));
    EXPECT_TRUE(NetlinkReachabilityProvider::isCellularInterface("ppp0"));

    ASSERT_TRUE(run("ip link set wwan0 down"));
    EXPECT_EQ(flags("10.7.0.5"), 0u);
    EXPECT_EQ(flags("203.0.113.9"), 0u);
}

// Sets or clears IFF_UP of an interface from this process (no fork, so it
// happens right away).
bool setInterfaceUp(const char* name, bool up) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, name, sizeof ifr.ifr_name - 1);
    bool ok = ::ioctl(fd, SIOCGIFFLAGS, &ifr) == 0;
    if (ok) {
        ifr.ifr_flags = static_cast<short>(up ? (ifr.ifr_flags | IFF_UP) : (ifr.ifr_flags & ~IFF_UP));
        ok = ::ioctl(fd, SIOCSIFFLAGS, &ifr) == 0;
    }
    ::close(fd);
    return ok;
}

TEST_F(NetlinkReachabilityProviderTest, ChangeRightAfterTheFirstListenerIsHeard) {
    // The subscription exists once addChangeListener() returns: a change
    // made at once (a watcher's first reading may already be older) is
    // reported.
    std::atomic<int> calls{0};
    auto id = provider.addChangeListener([&] { ++calls; });
    ASSERT_TRUE(setInterfaceUp("wwan0", false));
    EXPECT_TRUE(test::waitFor([&] { return calls.load() > 0; }, 20s));
    provider.removeChangeListener(id);
}

TEST(NetlinkReachabilityProviderLifetime, DroppedRightAfterItsFirstListenerStops) {
    // A provider destroyed before its watcher thread got going must still
    // stop that thread (the destructor joins it). Run on a helper thread so
    // that a hang shows as a failure.
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([done] {
        for (int i = 0; i < 200; ++i) {
            NetlinkReachabilityProvider provider;
            provider.addChangeListener([] {});
        }
        done->store(true);
    }).detach();
    if (!test::waitFor([&] { return done->load(); }, 60s)) {
        std::printf("a provider's destructor did not return\n");
        std::fflush(stdout);
        std::_Exit(1);  // the helper is stuck in join(): no clean way out
    }
}

TEST_F(NetlinkReachabilityProviderTest, ListenersHearRouteChanges) {
    std::atomic<int> calls{0};
    auto id = provider.addChangeListener([&] { ++calls; });
    int before = calls.load();
    ASSERT_TRUE(run("ip route add 10.9.0.0/16 dev wwan0"));
    EXPECT_TRUE(test::waitFor([&] { return calls.load() > before; }, 20s));
    EXPECT_EQ(flags("10.9.1.1"), rf::kReachable | rf::kIsDirect | rf::kIsWWAN);
    provider.removeChangeListener(id);
}

}  // namespace
}  // namespace lumora
