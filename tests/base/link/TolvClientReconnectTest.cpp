#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "TolvClientTestSupport.h"
#include "base/network/SocketFunctions.h"
#include "base/link/UdtApi.h"

using namespace lumora;
using namespace lumora::test;
using namespace lumora::relayemu;
using namespace std::chrono_literals;

namespace {

using TolvClientReconnectTest = TolvClientFixture;

// A device that never speaks: every TCP link ends with its read time-out.
TEST_F(TolvClientReconnectTest, AServerGivenTcpLinkIsReopenedTwiceThenTheServerIsAskedAgain) {
    startDevice();
    RelayTcpEmulator::Device d;
    d.afterFailedTcp = {0, 5, kDeviceAddr, 4000, 1};  // an answer that opens nothing
    knownOn(0, 0, device->tcpPort(), d);
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(waitFor([&] { return servers[0].requests(kFailedTcpRequest) == 1; })) << recorder->joined();
    ASSERT_TRUE(waitFor([&] { return client->getConnectMode() == 5; }));
    EXPECT_EQ(recorder->count("connect"), 3);
    EXPECT_TRUE(waitFor([&] { return deviceSessions() == 3; }));
    EXPECT_EQ(client->drectConTimes(), 0);
    EXPECT_EQ(client->kindofquery(), 1);
    EXPECT_EQ(recorder->count("disconnect PingErr 1005"), 0);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(servers[0].requests(kFailedTcpRequest), 1);
    EXPECT_EQ(deviceSessions(), 3);
}

TEST_F(TolvClientReconnectTest, ADirectLinkIsReopenedWhileReopeningsConnectThenPingErr) {
    startDevice();
    client->startConnectJustForIP(kDeviceAddr, device->tcpPort());
    ASSERT_TRUE(recorder->waitFor("connect", 3)) << recorder->joined();
    EXPECT_TRUE(waitFor([&] { return deviceSessions() >= 3; }));
    EXPECT_EQ(client->getConnectMode(), TolvClient::kDirectTcp);
    device->stop();  // now every reopening is refused
    ASSERT_TRUE(recorder->waitFor("disconnect PingErr 1005")) << recorder->joined();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder->count("disconnect PingErr 1005"), 1);
}

TEST_F(TolvClientReconnectTest, ADroppedRelayLinkAsksTheOwnerToStartAgain) {
    startDevice();
    RelayTcpEmulator::Device d;
    d.afterFailedUdt = {0, 1, kDeviceAddr, device->tcpPort(), 7};
    servers[0].registerDevice(kP2PUid, d);
    client->startConnectjustFoward(kP2PUid, "");
    ASSERT_TRUE(recorder->waitFor("connect"));
    ASSERT_TRUE(recorder->waitFor(std::string("recon ") + kP2PUid)) << recorder->joined();
    EXPECT_EQ(client->deviceConnection(), nullptr);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder->count(std::string("recon ") + kP2PUid), 1);
    EXPECT_EQ(deviceSessions(), 1);
}

TEST_F(TolvClientReconnectTest, AUdtReceiveFailureReopensTheLink) {
    startDevice();
    knownOn(0, 2, device->udtPort());
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect"));
    auto first = client->deviceConnection();
    ASSERT_TRUE(first);
    first->heartbeat();  // starts the receive loop; the device stays silent
    ASSERT_TRUE(recorder->waitFor("connect", 2)) << recorder->joined();
    EXPECT_NE(client->deviceConnection(), first);
    EXPECT_EQ(client->getConnectMode(), TolvClient::kServerUdt);
    EXPECT_EQ(client->udtrecConTimes(), 0);  // this path is not counted
    EXPECT_TRUE(client->needRecon());
}

TEST_F(TolvClientReconnectTest, AUdtDropDuringPlaybackReportsRECORDAndIsNotReopened) {
    startDevice();
    knownOn(0, 2, device->udtPort());
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect"));
    client->setChannelMode(1);
    client->deviceConnection()->heartbeat();
    ASSERT_TRUE(recorder->waitFor("disconnect RECORD 1006")) << recorder->joined();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(recorder->count("connect"), 1);
    EXPECT_EQ(client->deviceConnection(), nullptr);
}

TEST_F(TolvClientReconnectTest, AUdtLinkIsReopenedThreeTimesThenTheServerIsAskedAgain) {
    startDevice();
    RelayTcpEmulator::Device d;
    d.afterFailedUdt = {0, 5, kDeviceAddr, 4000, 1};  // opens nothing
    knownOn(0, 2, device->udtPort(), d);
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect"));
    const Error lost(errors::kP2PErr, errors::kCodeP2P);
    for (int i = 1; i <= 3; ++i) {
        auto link = client->deviceConnection();
        ASSERT_TRUE(link);
        client->connectionDidDisconnect(*link, lost);
        EXPECT_EQ(client->udtrecConTimes(), i);
        // Reopened after a short pause.
        ASSERT_TRUE(recorder->waitFor("connect", i + 1)) << recorder->joined();
        EXPECT_EQ(recorder->count("connect"), i + 1);
    }
    EXPECT_EQ(servers[0].requests(kFailedUdtRequest), 0);
    client->connectionDidDisconnect(*client->deviceConnection(), lost);
    EXPECT_EQ(client->udtrecConTimes(), 0);
    EXPECT_EQ(servers[0].requests(kFailedUdtRequest), 1);
    EXPECT_EQ(client->getConnectMode(), 5);

    // Drops of a link that is no longer current, or closes asked for, change nothing.
    auto stale = PUConnection::create(PUConnection::kTCP, nullptr);
    client->connectionDidDisconnect(*stale, lost);
    client->connectionDidDisconnect(*stale, Error());
    EXPECT_EQ(servers[0].requests(kFailedUdtRequest), 1);
}

TEST_F(TolvClientReconnectTest, AServerGivenUdtLinkThatCannotOpenTurnsToHolePunching) {
    startDevice();
    knownOn(0, 2, 1);  // nothing answers UDT on port 1
    udp->registerDevice(kP2PUid, {"127.0.0.1", 40000, kDeviceAddr, device->udtPort(), "", 0});
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect")) << recorder->joined();
    EXPECT_GE(udp->addressRequests(), 1);
    EXPECT_EQ(client->getConnectMode(), TolvClient::kInnerUdt);
    EXPECT_EQ(client->udtrecConTimes(), 0);
    EXPECT_EQ(servers[0].requests(kFailedUdtRequest), 0);
}

TEST_F(TolvClientReconnectTest, NoNetworkWhenTheServerMustBeAskedAgainReportsNETErr) {
    startDevice();
    knownOn(0, 2, device->udtPort());
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect"));
    NETStatusObj::sharedInstance().setIsHaveNet(false);
    client->setupUDTFailedConn(kP2PUid);
    EXPECT_EQ(recorder->count("disconnect NETErr 1003"), 1);
}

}  // namespace

namespace {

using TolvClientPathTest = TolvClientFixture;

// A TCP link to an address found in the LAN (mode 8) follows the direct
// link's rule: reopened while reopenings connect, then "PingErr" 1005 once.
TEST_F(TolvClientPathTest, ALanTcpLinkIsReopenedWhileReopeningsConnectThenPingErr) {
    startDevice();
    client->startConnectJustForLanTCP(kDeviceAddr, device->tcpPort());
    ASSERT_TRUE(recorder->waitFor("connect", 3)) << recorder->joined();
    EXPECT_EQ(client->getConnectMode(), TolvClient::kLanTcp);
    EXPECT_TRUE(waitFor([&] { return deviceSessions() >= 3; }));
    EXPECT_GE(client->drectConTimes(), 2);
    device->stop();
    ASSERT_TRUE(recorder->waitFor("disconnect PingErr 1005")) << recorder->joined();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder->count("disconnect PingErr 1005"), 1);
    EXPECT_EQ(servers[0].requests(kFailedTcpRequest) + servers[0].requests(kFailedUdtRequest), 0)
        << "a LAN link never asks a server";
}

// A stored UDT path opens UDT straight to the address and port it names, in
// the mode it was stored with.
TEST_F(TolvClientPathTest, AStoredUdtPathOpensUdtInItsMode) {
    for (int mode : {TolvClient::kInnerUdt, TolvClient::kHoleUdt}) {
        SCOPED_TRACE(mode);
        startDevice(false);
        auto c = TolvClient::create();
        auto events = std::make_shared<ClientRecorder>();
        c->setTolvClientdelegate(events);
        c->startConnectPort(kDeviceAddr, device->udtPort(), true, 0, mode);
        ASSERT_TRUE(events->waitFor("connect")) << events->joined();
        EXPECT_EQ(c->getConnectMode(), mode);
        EXPECT_EQ(c->udpPort(), device->udtPort());
        EXPECT_TRUE(device->waitForEvent("connected udt", 5s)) << "the link is UDT";
        EXPECT_EQ(device->countEvents("connected tcp"), 0u);
        c->stopConnect();
        device->stop();
    }
}

// A stored relay path (mode 1) is not dialled directly: the server is asked
// for a relay again.
TEST_F(TolvClientPathTest, AStoredRelayPathAsksTheServerForARelay) {
    startDevice();
    RelayTcpEmulator::Device d;
    d.afterFailedUdt = {0, 1, kDeviceAddr, device->tcpPort(), 7};
    servers[0].registerDevice(kP2PUid, d);
    client->setDeviceUdid(kP2PUid);
    client->startConnectPort("127.0.0.99", 1, false, 0, TolvClient::kRelay);
    ASSERT_TRUE(recorder->waitFor("connect")) << recorder->joined();
    EXPECT_EQ(servers[0].requests(kFailedUdtRequest), 1);
    EXPECT_EQ(client->getConnectMode(), TolvClient::kRelay);
    EXPECT_EQ(client->kindofquery(), 2);
    EXPECT_EQ(client->queryId(), kP2PUid);
}

// A LAN or hole-punched UDT path that cannot open: during a pre-connection
// the relay path is reported as found (the owner relays next time); in a
// view the server is asked for a relay.
TEST_F(TolvClientPathTest, AnInnerOrHoleUdtPathThatFailsFallsBackToTheRelay) {
    RelayTcpEmulator::Device d;
    d.afterFailedUdt = {0, 3, kDeviceAddr, 1, 7};  // an answer that opens nothing
    servers[0].registerDevice(kP2PUid, d);
    // Nothing listens for UDT here.
    int closedFd = udpSocketCreateBind(0);
    ASSERT_GT(closedFd, 0);
    uint16_t deadPort = 0;
    {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        ASSERT_EQ(::getsockname(closedFd, reinterpret_cast<sockaddr*>(&a), &len), 0);
        deadPort = ntohs(a.sin_port);
    }
    socketClose(closedFd);
    for (bool preConnection : {true, false}) {
        for (int mode : {TolvClient::kInnerUdt, TolvClient::kHoleUdt}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << (preConnection ? " pre-connection" : " view"));
            const int asked = servers[0].requests(kFailedUdtRequest);
            auto c = TolvClient::create();
            auto events = std::make_shared<ClientRecorder>();
            c->setTolvClientdelegate(events);
            c->setDeviceUdid(kP2PUid);
            c->setIsPreCon(preConnection);
            c->startConnectPort("127.0.0.1", deadPort, true, 0, mode);
            if (preConnection) {
                ASSERT_TRUE(events->waitFor("connect")) << events->joined();
                EXPECT_EQ(c->getConnectMode(), TolvClient::kRelay);
                EXPECT_EQ(servers[0].requests(kFailedUdtRequest), asked);
            } else {
                ASSERT_TRUE(waitFor([&] { return servers[0].requests(kFailedUdtRequest) == asked + 1; }))
                    << events->joined();
                EXPECT_EQ(events->count("connect"), 0);
                EXPECT_EQ(c->kindofquery(), 2);
            }
            c->stopConnect();
        }
    }
}

// Every link the client makes while reconnecting: none outlives its turn.
// Links are caught while they are current; once the client has given up,
// each must be gone (nothing per link is kept: socket, queues, buffers and
// the connection itself go with it).
struct LinkWatch {
    std::vector<std::weak_ptr<PUConnection>> seen;
    void note(const PUConnectionPtr& c) {
        if (!c) return;
        for (const auto& w : seen)
            if (!w.owner_before(c) && !c.owner_before(w)) return;
        seen.push_back(c);
    }
    size_t alive() const {
        size_t n = 0;
        for (const auto& w : seen) n += !w.expired();
        return n;
    }
};

// After the client is stopped and dropped, every link it made and the
// client itself are gone, and so are the UDT sockets they opened.
void expectAllReleased(std::shared_ptr<TolvClient>& client, const LinkWatch& links, int udtBefore) {
    std::weak_ptr<TolvClient> gone = client;
    client->stopConnect();
    client.reset();
    EXPECT_TRUE(waitFor([&] { return links.alive() == 0; }))
        << links.alive() << " of " << links.seen.size() << " links still held";
    EXPECT_TRUE(waitFor([&] { return gone.expired(); })) << "the client itself is still held";
    EXPECT_TRUE(waitFor([&] { return UdtApi::openSockets() == udtBefore; }))
        << UdtApi::openSockets() - udtBefore << " UDT sockets left open";
}

TEST_F(TolvClientReconnectTest, ReopenedDirectLinksAreReleased) {
    startDevice();
    LinkWatch links;
    const int udtBefore = UdtApi::openSockets();
    client->startConnectJustForIP(kDeviceAddr, device->tcpPort());
    ASSERT_TRUE(waitFor([&] {
        links.note(client->deviceConnection());
        return links.seen.size() >= 3;
    })) << recorder->joined();
    expectAllReleased(client, links, udtBefore);
}

TEST_F(TolvClientReconnectTest, ReopenedUdtLinksAreReleasedWithTheirSockets) {
    startDevice();
    LinkWatch links;
    const int udtBefore = UdtApi::openSockets();
    knownOn(0, 2, device->udtPort());
    client->startConnectShouldSearchLan(kP2PUid, false, RelayServers::host(0), servers.port);
    ASSERT_TRUE(recorder->waitFor("connect"));
    auto first = client->deviceConnection();
    ASSERT_TRUE(first);
    links.note(first);
    first->heartbeat();  // starts the receive loop; the device stays silent, the link is reopened
    first.reset();
    ASSERT_TRUE(recorder->waitFor("connect", 2)) << recorder->joined();
    links.note(client->deviceConnection());
    EXPECT_EQ(links.seen.size(), 2u);
    EXPECT_GE(UdtApi::openSockets() - udtBefore, 1);
    expectAllReleased(client, links, udtBefore);
}

// A stop that lands while a UDT link is being reopened keeps the client
// stopped: the reopening never brings a link back, whenever it runs.
TEST_F(TolvClientReconnectTest, AStopDuringAUdtReopenLeavesNoLink) {
    startDevice();
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const int connects = recorder->count("connect");
        client->startConnectPort(kDeviceAddr, device->udtPort(), true, 0, TolvClient::kServerUdt);
        ASSERT_TRUE(recorder->waitFor("connect", connects + 1)) << recorder->joined();
        auto link = client->deviceConnection();
        ASSERT_TRUE(link);
        std::thread stopper([&, round] {
            std::this_thread::sleep_for(std::chrono::microseconds(50 * (round % 10)));
            client->stopConnect();
        });
        client->reconnectUDT(*link);  // as the link does when a receive fails
        stopper.join();
        // The reopening may have finished before the stop; nothing comes after it.
        const int afterStop = recorder->count("connect");
        std::this_thread::sleep_for(Config::shared().scaled(2s));
        EXPECT_EQ(client->deviceConnection(), nullptr);
        EXPECT_EQ(recorder->count("connect"), afterStop);
    }
}

}  // namespace
