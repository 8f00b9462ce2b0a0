// The session's connect choice for a device reached by its UID: what the
// device's stored path (from a pre-connection or a relay look-up) makes the
// peer-to-peer client do, seen from outside: the servers asked, the link
// kind the device sees, the client's connect mode, and the first picture.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "DataControllerTestSupport.h"
#include "tools/relay-emulator/RelayWire.h"

using namespace lumora;
using namespace lumora::test;
using namespace lumora::relayemu;
using namespace std::chrono_literals;

namespace {

using DataControllerConnectChoiceTest = DataControllerFixture;

struct Asked {
    int open = 0, failedUdt = 0, failedTcp = 0;
    bool operator==(const Asked&) const = default;
};

TEST_F(DataControllerConnectChoiceTest, TheStoredPathPicksTheWayToTheDevice) {
    // Each case counts the links the device sees: a UDT link whose receive
    // waits longer than its time-out counts as dropped and is opened again,
    // so the time-out (15 s at full scale) must outlast a slow start on a
    // loaded machine under a sanitizer: 3 s here rather than the fixture's 0.75 s.
    Config::shared().timeScale = 0.2;
    startDevice();
    const uint16_t tcpPort = device->tcpPort();
    const uint16_t udtPort = device->udtPort();
    RelayTcpEmulator::Device known;
    known.open = {0, TolvClient::kServerTcp, kDeviceAddr, tcpPort, 1};     // look-up: TCP to the device
    known.afterFailedUdt = {0, TolvClient::kRelay, kDeviceAddr, tcpPort, 7};  // relay request: a relay
    servers[0].registerDevice(kP2PUid, known);
    servers[2].registerDevice(kP2PUid, known);
    // Hole punching finds the device behind the same NAT, on its LAN address.
    udp->registerDevice(kP2PUid, {"127.0.0.1", 40000, kDeviceAddr, udtPort, "", 0});

    struct Case {
        const char* name;
        std::function<void(Device&)> path;
        int mode;          // the client's connect mode once the link stands
        const char* link;  // "tcp" or "udt", as the device sees it
        Asked asked;       // requests to server 1 (server 3 for the look-up case)
        int server = 0;
    } cases[] = {
        {"pre-connection found a relay",
         [](Device& d) {
             d.isStartPreCon = true;
             d.preConMode = 1;
         },
         TolvClient::kRelay, "tcp", {0, 1, 0}},
        {"pre-connection found UDT with a port",
         [&](Device& d) {
             d.isStartPreCon = true;
             d.isp2p = true;
             d.preConMode = 5;
             d.preudpAddress = std::string(kDeviceAddr);
             d.preudpport = udtPort;
         },
         TolvClient::kServerUdt, "udt", {}},
        {"pre-connection found UDT without a port: search again",
         [&](Device& d) {
             d.isStartPreCon = true;
             d.isp2p = true;
             d.preConMode = 5;
             d.preudpAddress = std::string(kDeviceAddr);
             d.preudpport = 0;
         },
         TolvClient::kServerTcp, "tcp", {1, 0, 0}},
        {"pre-connection punched a hole (mode 6)",
         [&](Device& d) {
             d.isStartPreCon = true;
             d.isp2p = true;
             d.preConMode = 6;
             d.preudpAddress = std::string(kDeviceAddr);
             d.preudpport = udtPort;
         },
         TolvClient::kInnerUdt, "udt", {}},
        {"pre-connection stored a TCP path",
         [&](Device& d) {
             d.isStartPreCon = true;
             d.preConMode = 0;
             d.pretcpAddress = std::string(kDeviceAddr);
             d.pretcpport = tcpPort;
         },
         TolvClient::kServerTcp, "tcp", {}},
        {"pre-connection without a TCP path: search again",
         [](Device& d) {
             d.isStartPreCon = true;
             d.preConMode = 0;
         },
         TolvClient::kServerTcp, "tcp", {1, 0, 0}},
        {"a server's earlier answer (queryAddress)",
         [&](Device& d) {
             d.queryAddress = std::string(kDeviceAddr);
             d.queryMediaPort = tcpPort;
             d.queryMode = 0;
             d.serverIP = RelayServers::host(2);
         },
         TolvClient::kServerTcp, "tcp", {}, 2},
        // The search over the servers starts at server 1 whatever server
        // the device was last seen on.
        {"nothing stored: search the LAN, then the servers",
         [](Device& d) { d.serverIP = RelayServers::host(2); }, TolvClient::kServerTcp, "tcp", {1, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto& server = servers[c.server];
        const Asked before{server.requests(kOpenRequest), server.requests(kFailedUdtRequest),
                           server.requests(kFailedTcpRequest)};
        const size_t tcpLinks = device->countEvents("connected tcp");
        const size_t udtLinks = device->countEvents("connected udt");
        auto dev = uidDevice(std::string("Cam ") + c.name);
        c.path(*dev);
        pane = std::make_shared<FakePane>();
        session = DataController::create();
        session->setDelegate(pane);
        liveUntilPicture(dev);
        EXPECT_EQ(session->client()->getConnectMode(), c.mode);
        const Asked after{server.requests(kOpenRequest), server.requests(kFailedUdtRequest),
                          server.requests(kFailedTcpRequest)};
        EXPECT_EQ(after.open - before.open, c.asked.open);
        EXPECT_EQ(after.failedUdt - before.failedUdt, c.asked.failedUdt);
        EXPECT_EQ(after.failedTcp - before.failedTcp, c.asked.failedTcp);
        const bool tcp = std::string(c.link) == "tcp";
        EXPECT_EQ(device->countEvents("connected tcp") - tcpLinks, tcp ? 1u : 0u);
        EXPECT_EQ(device->countEvents("connected udt") - udtLinks, tcp ? 0u : 1u);
        session->stopLive();
        EXPECT_EQ(dev->connectNum.load(), 0);
        QvDeviceManager::sharedInstance().removeDevice(dev);  // the next case lists the same UID
    }
}

}  // namespace
