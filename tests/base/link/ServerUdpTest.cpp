#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/link/ServerUdp.h"
#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"
#include "tools/relay-emulator/DeviceStandIn.h"
#include "support/WaitFor.h"
#include "tools/relay-emulator/RelayUdpEmulator.h"

using namespace lumora;
using namespace lumora::relayemu;
using namespace std::chrono_literals;

namespace {

const char* kServerAddr = "127.0.0.11";
const char* kDeviceAddr = "127.0.0.21";
const char* kUid = "LUMORA-TEST-DEVICE-000123";

int openDescriptorCount() {
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    while (dirent* e = ::readdir(d))
        if (e->d_name[0] != '.') ++n;
    ::closedir(d);
    return n - 1;
}

uint16_t localPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

struct Report {
    bool success;
    int fd;
    std::optional<std::string> ip;
    int port;
    bool inner;
};

struct RecordingDelegate : HoleDelegate {
    std::vector<Report> reports;
    void didHole(bool success, int fd, const std::optional<std::string>& ip, int port, bool inner) override {
        reports.push_back({success, fd, ip, port, inner});
    }
};

class ServerUdpTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().timeScale = 0.2;  // 400 ms answer waits, 1 s punch waits
        NETStatusObj::sharedInstance().setIsHaveNet(true);
        hole.setDelegate(&delegate);
    }
    void TearDown() override {
        for (const auto& r : delegate.reports) socketClose(r.fd);
    }

    // A server at kServerAddr that knows kUid, with a stand-in for the device.
    void startPeers(RelayUdpEmulator::Script serverScript, DeviceStandIn::Script deviceScript,
                    const std::string& deviceAddr = kDeviceAddr, const std::string& innerAddr = "192.168.7.5",
                    uint16_t innerPort = 8800) {
        server = std::make_unique<RelayUdpEmulator>(kServerAddr, 0, serverScript, 60s);
        device = std::make_unique<DeviceStandIn>(kUid, deviceAddr, 0, deviceScript, 60s);
        ASSERT_TRUE(server->ok());
        ASSERT_TRUE(device->ok());
        server->registerDevice(kUid, {deviceAddr, device->port(), innerAddr, innerPort, deviceAddr, device->port()});
    }

    int start() { return hole.startHole(kUid, kServerAddr, server->port()); }

    void expectOneFailure() {
        ASSERT_EQ(delegate.reports.size(), 1u);
        const Report& r = delegate.reports[0];
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.fd, 0);
        EXPECT_FALSE(r.ip.has_value());
        EXPECT_EQ(r.port, 0);
        EXPECT_FALSE(r.inner);
    }

    ServerUdp hole;
    RecordingDelegate delegate;
    std::unique_ptr<RelayUdpEmulator> server;
    std::unique_ptr<DeviceStandIn> device;
};

}  // namespace

TEST_F(ServerUdpTest, PunchesThroughToTheDevice) {
    startPeers({}, {});
    ASSERT_EQ(start(), 1);
    ASSERT_EQ(delegate.reports.size(), 1u);
    const Report& r = delegate.reports[0];
    EXPECT_TRUE(r.success);
    EXPECT_GT(r.fd, 0);
    EXPECT_EQ(r.ip, kDeviceAddr);
    EXPECT_EQ(r.port, device->port());
    EXPECT_FALSE(r.inner);

    // The server was asked to have the device punch towards our observed
    // address and port, the ones of the socket handed over.
    HoleRequest req = server->lastHoleRequest();
    EXPECT_EQ(req.uid, kUid);
    EXPECT_EQ(req.dstAddr, kDeviceAddr);
    EXPECT_EQ(req.dstPort, device->port());
    EXPECT_EQ(req.srcAddr, "127.0.0.1");
    EXPECT_EQ(req.srcPort, localPort(r.fd));
    EXPECT_TRUE(test::waitFor([&] { return device->punchesReceived() == 20; }));

    // The socket is open and usable towards the device.
    EXPECT_EQ(udpSocketSendTo(r.fd, kDeviceAddr, device->port(), "x", 1), 1);
}

TEST_F(ServerUdpTest, SameNatWithInnerPortUsesTheLanAddress) {
    // The device's outer address equals ours as the server sees it.
    startPeers({}, {}, "127.0.0.1", "127.0.0.22", 9000);
    ASSERT_EQ(start(), 1);
    ASSERT_EQ(delegate.reports.size(), 1u);
    const Report& r = delegate.reports[0];
    EXPECT_TRUE(r.success);
    EXPECT_GT(r.fd, 0);
    EXPECT_EQ(r.ip, "127.0.0.22");
    EXPECT_EQ(r.port, 9000);
    EXPECT_TRUE(r.inner);
    std::this_thread::sleep_for(100ms);  // let any stray datagram land
    EXPECT_EQ(device->punchesReceived(), 0);
    EXPECT_EQ(server->holeRequests(), 0);
}

TEST_F(ServerUdpTest, SameNatWithoutInnerPortFails) {
    startPeers({}, {}, "127.0.0.1", "127.0.0.22", 0);
    int before = openDescriptorCount();
    EXPECT_EQ(start(), 0);
    expectOneFailure();
    EXPECT_EQ(openDescriptorCount(), before);
}

// An address the answer holds is used only when a datagram can go there:
// the LAN address of the same-NAT branch and the device's outside address
// alike. Each bad one fails without a socket left open.
TEST_F(ServerUdpTest, AnswersWithoutAUsableAddressFail) {
    const char* bad[] = {"", "not-an-address", "127.0.0.1xxxxxxx", "0.0.0.0", "255.255.255.255", "239.1.2.3",
                         "127.0.0.256", " 127.0.0.22"};
    for (const char* addr : bad) {
        for (bool sameNat : {true, false}) {
            SCOPED_TRACE(std::string(sameNat ? "inner " : "outside ") + "\"" + addr + "\"");
            delegate.reports.clear();
            startPeers({}, {}, sameNat ? "127.0.0.1" : kDeviceAddr, "127.0.0.22", 9000);
            if (sameNat)
                server->registerDevice(kUid, {"127.0.0.1", device->port(), addr, 9000, "127.0.0.1", device->port()});
            else
                server->registerDevice(kUid, {addr, device->port(), "192.168.7.5", 8800, kDeviceAddr, device->port()});
            const int before = openDescriptorCount();
            EXPECT_EQ(start(), 0);
            expectOneFailure();
            EXPECT_EQ(openDescriptorCount(), before);
        }
    }
}

TEST_F(ServerUdpTest, SilentServerIsAskedSevenTimesThenFails) {
    Config::shared().timeScale = 0.02;
    startPeers({.silentFor = 1000}, {});
    int before = openDescriptorCount();
    EXPECT_EQ(start(), 0);
    expectOneFailure();
    EXPECT_EQ(openDescriptorCount(), before);  // the socket was closed
    EXPECT_TRUE(test::waitFor([&] { return server->addressRequests() >= 7; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server->addressRequests(), 7);
}

TEST_F(ServerUdpTest, ServerAnsweringAfterSilenceIsHeard) {
    startPeers({.silentFor = 2}, {});
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(server->addressRequests(), 3);
}

TEST_F(ServerUdpTest, PunchFromAnotherPortReportsThatPort) {
    startPeers({}, {.punchFromOtherPort = true});
    ASSERT_NE(device->punchPort(), device->port());
    ASSERT_EQ(start(), 1);
    ASSERT_EQ(delegate.reports.size(), 1u);
    EXPECT_EQ(delegate.reports[0].port, device->punchPort());
    EXPECT_EQ(delegate.reports[0].ip, kDeviceAddr);
}

TEST_F(ServerUdpTest, ForeignDatagramBeforeThePunch) {
    startPeers({}, {.foreignFirst = true});
    ASSERT_EQ(start(), 1);
    ASSERT_EQ(delegate.reports.size(), 1u);
    EXPECT_TRUE(delegate.reports[0].success);
}

TEST_F(ServerUdpTest, HoleRequestIsRepeatedWhenTheDeviceStaysQuiet) {
    startPeers({}, {.ignoreHoleRequests = 1});
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(server->holeRequests(), 2);
}

TEST_F(ServerUdpTest, LaterRequestsGoWhereTheAnswerCameFrom) {
    startPeers({.answerFromOtherPort = true}, {});
    ASSERT_EQ(start(), 1);
    EXPECT_GE(server->holeRequestsOnOtherPort(), 1);
    EXPECT_EQ(server->holeRequestsOnOtherPort(), server->holeRequests());
}

TEST_F(ServerUdpTest, SilentDeviceFailsAfterTwoWaits) {
    // 200 ms answer waits leave the server time to answer on a loaded
    // machine, so the failure comes from the silent device.
    Config::shared().timeScale = 0.1;
    startPeers({}, {.silent = true});
    int before = openDescriptorCount();
    EXPECT_EQ(start(), 0);
    expectOneFailure();
    EXPECT_EQ(openDescriptorCount(), before);
    // The server's thread may not have read the repeated request yet.
    EXPECT_TRUE(test::waitFor([&] { return server->holeRequests() >= 2; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server->holeRequests(), 2);
}

TEST_F(ServerUdpTest, ShortDatagramsFailWithoutOverRead) {
    Config::shared().timeScale = 0.02;
    struct Case {
        const char* name;
        int answerBytes;
        int punchBytes;
    };
    const Case cases[] = {
        {"answer 2 bytes", 2, -1},  {"answer 3 bytes", 3, -1},   {"answer header", 4, -1},
        {"answer 60 bytes", 60, -1}, {"answer 91 bytes", 91, -1}, {"punch 2 bytes", -1, 2},
        {"punch 3 bytes", -1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        delegate.reports.clear();
        startPeers({.answerBytes = c.answerBytes}, {.punchBytes = c.punchBytes});
        int before = openDescriptorCount();
        EXPECT_EQ(start(), 0);
        expectOneFailure();
        EXPECT_EQ(openDescriptorCount(), before);
    }
}

TEST_F(ServerUdpTest, NoNetworkFailsWithoutTraffic) {
    NETStatusObj::sharedInstance().setIsHaveNet(false);
    startPeers({}, {});
    EXPECT_EQ(start(), 0);
    expectOneFailure();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server->datagrams(), 0);
}

TEST_F(ServerUdpTest, WithoutDelegateThePunchedSocketIsClosed) {
    startPeers({}, {});
    hole.setDelegate(nullptr);
    int before = openDescriptorCount();
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(ServerUdp, StopHoleClosesAndClears) {
    int fd = udpSocketCreateBind(0);
    ASSERT_GT(fd, 0);
    int copy = fd;
    ServerUdp::stopHole(&fd);
    EXPECT_EQ(fd, 0);
    EXPECT_EQ(udpSocketSendTo(copy, "127.0.0.1", 9, "x", 1), -1);
    ServerUdp::stopHole(&fd);  // 0: nothing happens
    ServerUdp::stopHole(nullptr);
    EXPECT_EQ(&ServerUdp::sharedInstance(), &ServerUdp::sharedInstance());
}
