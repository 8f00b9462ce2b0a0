#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <regex>
#include <thread>

#include "TolvClientTestSupport.h"
#include "base/network/SocketFunctions.h"

using namespace lumora;
using namespace lumora::test;
using namespace lumora::relayemu;
using namespace std::chrono_literals;

namespace {

using TolvClientTest = TolvClientFixture;

TEST_F(TolvClientTest, StartsWithOneConnectionToEachServerAndATimeTag) {
    ASSERT_TRUE(waitFor([&] {
        for (int i = 0; i < 4; ++i)
            if (servers[i].accepted() < 1) return false;
        return client->currentsocket(3) > 0;
    }));
    EXPECT_EQ(client->currentsocketfd(), client->currentsocket(0));
    EXPECT_EQ(client->getConnectMode(), TolvClient::kLanSearching);
    EXPECT_EQ(client->deviceConnectionTag(), -1);
    EXPECT_EQ(client->socketconnectQueue()->label(), "com.lumaro.udpsocket");
    EXPECT_TRUE(std::regex_match(client->timestr(), std::regex(R"(\d{4}_\d\d_\d\d_\d\d_\d\d_\d\d_02d,\d{1,3})")))
        << client->timestr();
}

TEST_F(TolvClientTest, NoNetworkReportsNETErrAtEveryEntryPoint) {
    NETStatusObj::sharedInstance().setIsHaveNet(false);
    client->startConnectJustForIP(kDeviceAddr, 1);
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    client->startConnectWithQuery(kP2PUid, kDeviceAddr, 1, 0, RelayServers::host(0));
    client->startConnectjustHole(kP2PUid, RelayServers::host(0));
    client->startConnectjustFoward(kP2PUid, RelayServers::host(0));
    EXPECT_EQ(recorder->count("disconnect NETErr 1003"), 5) << recorder->joined();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(servers[i].requestLog().empty());
}

TEST_F(TolvClientTest, DirectAddressConnectsAndStopEndsTheLink) {
    startDevice();
    client->startConnectJustForIP(kDeviceAddr, device->tcpPort());
    ASSERT_TRUE(recorder->waitFor("connect"));
    EXPECT_EQ(client->getConnectMode(), TolvClient::kDirectTcp);
    EXPECT_EQ(client->tcpIP(), kDeviceAddr);
    EXPECT_EQ(client->tcpPort(), device->tcpPort());
    EXPECT_TRUE(client->needRecon());
    EXPECT_NE(client->deviceConnectionTag(), -1);

    client->stopConnect();
    EXPECT_EQ(client->getConnectMode(), TolvClient::kStopped);
    EXPECT_EQ(client->deviceConnection(), nullptr);
    EXPECT_EQ(client->tcpIP(), "");
    EXPECT_EQ(client->deviceConnectionTag(), -1);
    client->sendAudioMessage({1, 2, 3});
    EXPECT_EQ(recorder->count("disconnect DeviceOff 1000"), 0);
    client->sendMessage({1, 2, 3});
    EXPECT_EQ(recorder->count("disconnect DeviceOff 1000"), 1);
}

TEST_F(TolvClientTest, DirectAddressThatCannotStartReportsPingErr) {
    client->startConnectJustForIP(kDeviceAddr, 0);  // port 0 starts nothing
    EXPECT_EQ(recorder->all(), std::vector<std::string>{"disconnect PingErr 1005"});
    EXPECT_FALSE(client->needRecon());
}

TEST_F(TolvClientTest, LanAnswerForThisDeviceOpensTcpAndSkipsOthers) {
    startDevice();
    LanSearchResponder lan(kLanAddr, 0);
    ASSERT_TRUE(lan.ok());
    lan.addDevice({"SOMEONE-ELSE", 0, device->tcpPort(), "127.0.0.99"});
    lan.addDevice({kP2PUid, 0xFFFF, device->tcpPort(), kDeviceAddr});
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();

    client->startConnectShouldSearchLan(kP2PUid, true, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect"));
    EXPECT_EQ(recorder->all()[0], "query 1");
    EXPECT_EQ(client->getConnectMode(), TolvClient::kLanFound);
    EXPECT_EQ(client->tcpPort(), device->tcpPort());
    EXPECT_EQ(lan.queries(), 1);
    EXPECT_EQ(servers[0].requests(kOpenRequest), 0);
}

TEST_F(TolvClientTest, LanAnswerWithoutAnyPortGoesToTheServersWhichSayTcp) {
    startDevice();
    LanSearchResponder lan(kLanAddr, 0);
    ASSERT_TRUE(lan.ok());
    lan.addDevice({kP2PUid, 0xFFFF, 0, kDeviceAddr});
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();
    // Server 1 does not know the device; server 2 says TCP.
    knownOn(1, 0, device->tcpPort());

    client->startConnectShouldSearchLan(kP2PUid, true, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect")) << recorder->joined();
    EXPECT_EQ(recorder->count("query 1"), 2);  // the LAN, then server 2
    EXPECT_EQ(servers[0].requests(kOpenRequest), 1);
    EXPECT_EQ(servers[1].requests(kOpenRequest), 1);
    EXPECT_EQ(servers[2].requests(kOpenRequest), 0);
    EXPECT_EQ(client->vsHost(), RelayServers::host(1));
    EXPECT_EQ(client->tcpIP(), kDeviceAddr);
    EXPECT_EQ(client->deviceConnection()->tcptimeout(), 5);
}

TEST_F(TolvClientTest, ASilentLanGoesToTheServersAfterItsReceives) {
    LanSearchResponder lan(kLanAddr, 0, LanSearchResponder::Script{true, -1});
    ASSERT_TRUE(lan.ok());
    Config::shared().lanGroup = kLanAddr;
    Config::shared().lanPort = lan.port();
    client->startConnectShouldSearchLan(kP2PUid, true, RelayServers::host(0), servers.port);
    EXPECT_EQ(lan.queries(), 1);
    // Nobody knows the device: every server is asked once, then offline.
    ASSERT_TRUE(recorder->waitFor("disconnect DeviceOffline 1000")) << recorder->joined();
    EXPECT_EQ(recorder->all(), (std::vector<std::string>{"query 0", "disconnect DeviceOffline 1000"}));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(servers[i].requests(kOpenRequest), 1) << "server " << i + 1;
}

TEST_F(TolvClientTest, ServerSaysUdt) {
    startDevice();
    knownOn(0, 2, device->udtPort());
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect")) << recorder->joined();
    EXPECT_EQ(client->getConnectMode(), TolvClient::kServerUdt);
    EXPECT_TRUE(client->isUDTConnect());
    EXPECT_EQ(client->udpIP(), kDeviceAddr);
    EXPECT_EQ(client->udpPort(), device->udtPort());
}

TEST_F(TolvClientTest, AnswerWithAModeAboveTwoOpensNothing) {
    knownOn(0, 5, 4000);
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("query 1"));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder->all(), std::vector<std::string>{"query 1"});
    EXPECT_EQ(client->getConnectMode(), 5);
    EXPECT_EQ(client->deviceConnection(), nullptr);
}

TEST_F(TolvClientTest, AShortAnswerEndsTheAttemptSilently) {
    for (int i = 0; i < 4; ++i) servers[i].setScript({0, false, 40});
    knownOn(0, 0, 4000);
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(waitFor([&] { return servers[0].requests(kOpenRequest) == 1; }));
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(recorder->all().empty()) << recorder->joined();
    EXPECT_EQ(servers[1].requests(kOpenRequest), 0);
}

TEST_F(TolvClientTest, StoredLookUpOpensTheLinkItNames) {
    startDevice();
    client->startConnectWithQuery(kP2PUid, kDeviceAddr, device->tcpPort(), 0, RelayServers::host(2));
    ASSERT_TRUE(recorder->waitFor("connect"));
    EXPECT_EQ(client->getConnectMode(), TolvClient::kServerTcp);
    EXPECT_EQ(client->vsHost(), RelayServers::host(2));
    EXPECT_EQ(client->queryId(), kP2PUid);
}

TEST_F(TolvClientTest, RelayThroughTheNamedServer) {
    startDevice();
    RelayTcpEmulator::Device d;
    d.afterFailedUdt = {0, 1, kDeviceAddr, device->tcpPort(), 7};
    servers[1].registerDevice(kP2PUid, d);
    client->startConnectjustFoward(kP2PUid, RelayServers::host(1));
    ASSERT_TRUE(recorder->waitFor("connect")) << recorder->joined();
    EXPECT_EQ(servers[1].requests(kFailedUdtRequest), 1);
    EXPECT_EQ(client->getConnectMode(), TolvClient::kRelay);
    EXPECT_EQ(client->kindofquery(), 2);
}

TEST_F(TolvClientTest, HolePunchingToADeviceBehindTheSameNat) {
    startDevice();
    // The server sees us as 127.0.0.1 and the device outside as 127.0.0.1
    // too: same NAT, so its inner address is used.
    udp->registerDevice(kP2PUid, {"127.0.0.1", 40000, kDeviceAddr, device->udtPort(), "", 0});
    client->startConnectjustHole(kP2PUid, RelayServers::host(0));
    ASSERT_TRUE(recorder->waitFor("connect")) << recorder->joined();
    EXPECT_EQ(client->getConnectMode(), TolvClient::kInnerUdt);
    EXPECT_GT(client->getDeviceConFD(), 0);
    EXPECT_EQ(client->udpPort(), device->udtPort());
}

TEST_F(TolvClientTest, AFailedHolePunchDuringAPreConnectionReportsTheRelayPath) {
    udp.reset();
    udp = std::make_unique<RelayUdpEmulator>(RelayServers::host(0), Config::shared().relayUdpPort,
                                             RelayUdpEmulator::Script{100, false, -1});
    ASSERT_TRUE(udp->ok());
    client->setIsPreCon(true);
    client->startConnectjustHole(kP2PUid, RelayServers::host(0));
    EXPECT_EQ(recorder->all(), std::vector<std::string>{"connect"});
    EXPECT_EQ(client->getConnectMode(), TolvClient::kRelay);
}

}  // namespace

namespace {

// A TCP path recorded with a socket (the punched socket of an earlier UDT
// link, which its UDT socket closes) must leave that descriptor alone, with
// or without a network.
TEST_F(TolvClientTest, AStoredTcpPathLeavesTheRecordedSocketAlone) {
    startDevice();
    int fd = udpSocketCreateBind(0);
    ASSERT_GT(fd, 0);
    client->startConnectPort(kDeviceAddr, device->tcpPort(), false, fd, TolvClient::kServerTcp);
    ASSERT_TRUE(recorder->waitFor("connect")) << recorder->joined();
    EXPECT_NE(::fcntl(fd, F_GETFD), -1) << "the recorded socket was closed";

    NETStatusObj::sharedInstance().setIsHaveNet(false);
    client->startConnectPort(kDeviceAddr, device->tcpPort(), false, fd, TolvClient::kServerTcp);
    EXPECT_EQ(recorder->count("disconnect NETErr 1003"), 1);
    EXPECT_NE(::fcntl(fd, F_GETFD), -1) << "the recorded socket was closed";
    socketClose(fd);
}

}  // namespace
