#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/DevicePreConnector.h"
#include "app/core/Device.h"
#include "app/core/QvDeviceManager.h"
#include "base/link/DataController.h"
#include "base/link/TolvClient.h"
#include "base/link/TolvClientTestSupport.h"
#include "base/network/NETStatusObj.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace lumora::test;
using namespace lumora::relayemu;
using namespace std::chrono_literals;

namespace {

struct OutcomeRecorder : preConDelegate {
    std::vector<std::pair<int32_t, bool>> outcomes;
    bool onMainThread = true;
    void didpreCondvid(int32_t id, bool ret) override {
        onMainThread = onMainThread && RunLoop::isMainThread();
        outcomes.emplace_back(id, ret);
    }
};

// Four relay servers, the UDP half of server 1, a device emulator (TCP and
// UDT) and a LAN responder on loopback; one device known by its UID with a
// DevicePreConnector attached. Time-outs run at a twentieth.
class DevicePreConnectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config& cfg = Config::shared();
        cfg.timeScale = 0.05;
        cfg.lanLocalPort = 0;
        NETStatusObj::sharedInstance().setIsHaveNet(true);
        NETStatusObj::sharedInstance().setIsWIFI(false);
        ASSERT_TRUE(servers.start());
        udp = std::make_unique<RelayUdpEmulator>(RelayServers::host(0), 0, RelayUdpEmulator::Script{});
        ASSERT_TRUE(udp->ok());
        cfg.relayUdpPort = udp->port();
        devemu::EmulatorOptions o;
        o.tcpHost = kDeviceAddr;
        o.udt = true;
        o.udtHost = kDeviceAddr;
        o.audio = false;
        emulator = std::make_unique<devemu::DeviceEmulator>(o);
        std::string error;
        ASSERT_TRUE(emulator->start(error)) << error;
        emulator->setSilent(true);

        DevicePreConnector::install();
        device = std::make_shared<Device>();
        device->udid = kP2PUid;
        device->preconDele = recorder;
    }
    void TearDown() override {
        if (device) device->stopPreConnection();
        device.reset();
        emulator->stop();
        Device::setPreConnectionFactory(nullptr);
    }

    // A LAN that answers for the device (TCP port), or stays silent.
    void lan(bool answers) {
        responder = std::make_unique<LanSearchResponder>(kLanAddr, 0, LanSearchResponder::Script{!answers, -1});
        ASSERT_TRUE(responder->ok());
        if (answers) responder->addDevice({kP2PUid, 0xFFFF, emulator->tcpPort(), kDeviceAddr});
        Config::shared().lanGroup = kLanAddr;
        Config::shared().lanPort = responder->port();
    }
    void knownOn(int i, uint32_t mode, uint16_t port) {
        RelayTcpEmulator::Device d;
        d.open.mode = mode;
        d.open.addr = kDeviceAddr;
        d.open.port = port;
        servers[i].registerDevice(kP2PUid, d);
    }
    bool waitOutcome() {
        return RunLoop::main().runUntil([&] { return !recorder->outcomes.empty(); }, 60s);
    }
    // The pre-connection closes its link once the path is known.
    bool waitLinkClosed() {
        auto c = std::static_pointer_cast<DevicePreConnector>(device->preConnection())->client();
        return waitFor([&] { return c->deviceConnection() == nullptr; });
    }

    RelayServers servers;
    std::unique_ptr<RelayUdpEmulator> udp;
    std::unique_ptr<devemu::DeviceEmulator> emulator;
    std::unique_ptr<LanSearchResponder> responder;
    std::shared_ptr<OutcomeRecorder> recorder = std::make_shared<OutcomeRecorder>();
    std::shared_ptr<Device> device;
};

TEST_F(DevicePreConnectorTest, FindsTheDeviceInTheLan) {
    lan(true);
    device->startPreConnection();
    auto client = std::static_pointer_cast<DevicePreConnector>(device->preConnection())->client();
    ASSERT_TRUE(client);
    EXPECT_TRUE(client->isPreCon());
    EXPECT_EQ(device->prequeue()->label(), "prequeue");

    ASSERT_TRUE(waitOutcome());
    EXPECT_EQ(recorder->outcomes, (std::vector<std::pair<int32_t, bool>>{{device->deviceId, true}}));
    EXPECT_TRUE(recorder->onMainThread);
    EXPECT_TRUE(device->isStartPreCon.load());
    EXPECT_FALSE(device->isp2p.load());
    EXPECT_EQ(device->preConMode.load(), TolvClient::kLanFound);
    EXPECT_EQ(device->pretcpAddress.value(), kDeviceAddr);
    EXPECT_EQ(device->pretcpport.load(), emulator->tcpPort());
    EXPECT_EQ(device->socketfd.load(), 0);
    EXPECT_TRUE(device->isOnLine.load());  // the LAN said it knows the device
    EXPECT_TRUE(waitLinkClosed());
    EXPECT_EQ(servers[0].requests(kOpenRequest), 0);
}

TEST_F(DevicePreConnectorTest, FindsAServerTcpPath) {
    lan(false);
    knownOn(0, 0, emulator->tcpPort());
    device->startPreConnection();
    ASSERT_TRUE(waitOutcome());
    EXPECT_EQ(recorder->outcomes, (std::vector<std::pair<int32_t, bool>>{{device->deviceId, true}}));
    EXPECT_EQ(device->preConMode.load(), TolvClient::kServerTcp);
    EXPECT_FALSE(device->isp2p.load());
    EXPECT_EQ(device->pretcpAddress.value(), kDeviceAddr);
    EXPECT_EQ(device->pretcpport.load(), emulator->tcpPort());
    EXPECT_EQ(device->serverIP.value(), RelayServers::host(0));
    EXPECT_TRUE(waitLinkClosed());
}

TEST_F(DevicePreConnectorTest, FindsAServerUdtPathAndFromALanHint) {
    lan(false);
    knownOn(1, 2, emulator->udtPort());  // server 2 knows it
    device->startPreConnection();
    ASSERT_TRUE(waitOutcome());
    EXPECT_EQ(recorder->outcomes, (std::vector<std::pair<int32_t, bool>>{{device->deviceId, true}}));
    EXPECT_EQ(device->preConMode.load(), TolvClient::kServerUdt);
    EXPECT_TRUE(device->isp2p.load());
    EXPECT_EQ(device->preudpAddress.value(), kDeviceAddr);
    EXPECT_EQ(device->preudpport.load(), emulator->udtPort());
    EXPECT_EQ(device->serverIP.value(), RelayServers::host(1));
    EXPECT_EQ(device->socketfd.load(), 0);
    EXPECT_TRUE(waitLinkClosed());

    // A LAN hint (external address, LAN address, port, UDT flag) goes
    // straight to UDT in the LAN, without the servers, and leaves the stored
    // address and port alone.
    recorder->outcomes.clear();
    device->isInIner = true;
    device->address = "192.0.2.1";
    device->mediaPort = 9;
    device->inHourseIpStr = "203.0.113.9," + std::string(kDeviceAddr) + "," + std::to_string(emulator->udtPort()) + ",1";
    int opensBefore = servers[0].requests(kOpenRequest) + servers[1].requests(kOpenRequest);
    device->startPreConnection();
    ASSERT_TRUE(waitOutcome());
    EXPECT_EQ(recorder->outcomes, (std::vector<std::pair<int32_t, bool>>{{device->deviceId, true}}));
    EXPECT_EQ(device->preConMode.load(), TolvClient::kInnerUdt);
    EXPECT_EQ(device->preudpAddress.value(), kDeviceAddr);
    EXPECT_EQ(device->preudpport.load(), emulator->udtPort());
    EXPECT_EQ(device->address.value(), "192.0.2.1");
    EXPECT_EQ(device->mediaPort.load(), 9u);
    EXPECT_TRUE(device->isUDTConnect.load());
    EXPECT_EQ(servers[0].requests(kOpenRequest) + servers[1].requests(kOpenRequest), opensBefore);
}

// The LAN search screen's search finds the device and leaves its hint; the
// pre-connection that follows goes by that hint straight to the device in
// the LAN over UDT when the device answered with a UDT port (else the
// client's own LAN search finds it by its TCP port), and never asks the
// servers.
TEST_F(DevicePreConnectorTest, ALanSearchThenAPreConnectionReachesTheDeviceInTheLan) {
    struct Case {
        bool udt;
        int mode;
    } cases[] = {{true, TolvClient::kInnerUdt}, {false, TolvClient::kLanFound}};
    ASSERT_TRUE(QvDeviceManager::sharedInstance().addDevice(device));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.udt ? "UDT" : "TCP");
        responder = std::make_unique<LanSearchResponder>(kLanAddr, 0, LanSearchResponder::Script{false, -1});
        ASSERT_TRUE(responder->ok());
        responder->addDevice({kP2PUid, c.udt ? emulator->udtPort() : uint16_t(0xFFFF), emulator->tcpPort(), kDeviceAddr});
        Config::shared().lanGroup = kLanAddr;
        Config::shared().lanPort = responder->port();
        auto search = DataController::create();
        search->localSearch();
        ASSERT_TRUE(device->isInIner.load());
        const std::string address = device->address.value();
        const uint32_t port = device->mediaPort.load();
        recorder->outcomes.clear();
        device->startPreConnection();
        ASSERT_TRUE(waitOutcome()) << device->inHourseIpStr.value();
        EXPECT_EQ(recorder->outcomes, (std::vector<std::pair<int32_t, bool>>{{device->deviceId, true}}));
        EXPECT_EQ(device->preConMode.load(), c.mode);
        EXPECT_EQ(device->isp2p.load(), c.udt);
        EXPECT_EQ(device->isUDTConnect.load(), c.udt);
        EXPECT_EQ(device->address.value(), address);
        EXPECT_EQ(device->mediaPort.load(), port);
        EXPECT_TRUE(waitLinkClosed());
        device->stopPreConnection();
    }
    EXPECT_EQ(servers[0].requests(kOpenRequest), 0);
    QvDeviceManager::sharedInstance().removeDevice(device);
}

TEST_F(DevicePreConnectorTest, UnknownDeviceIsReportedOfflineOnce) {
    lan(false);
    device->startPreConnection();
    ASSERT_TRUE(waitOutcome());
    RunLoop::main().runFor(200ms);
    EXPECT_EQ(recorder->outcomes, (std::vector<std::pair<int32_t, bool>>{{device->deviceId, false}}));
    EXPECT_FALSE(device->isStartPreCon.load());
    EXPECT_FALSE(device->isOnLine.load());  // the last server did not know it
}

TEST_F(DevicePreConnectorTest, DeviceRemovedWhilePreConnecting) {
    lan(false);
    knownOn(3, 0, emulator->tcpPort());  // only the last server knows it
    device->startPreConnection();
    ASSERT_TRUE(waitFor([&] { return responder->queries() >= 1; }));
    std::weak_ptr<Device> weak = device;
    device->stopPreConnection();
    device.reset();
    // The running step keeps the device until it returns; then it goes.
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return weak.expired(); }, 60s));
    RunLoop::main().runFor(300ms);
    EXPECT_TRUE(recorder->outcomes.empty());
}

TEST_F(DevicePreConnectorTest, DeviceDroppedWithoutStopStillGoesAway) {
    lan(false);
    knownOn(0, 2, emulator->udtPort());
    device->startPreConnection();
    std::weak_ptr<Device> weak = device;
    device.reset();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return weak.expired(); }, 60s));
    // Whatever the client still reports lands on nothing that is gone.
    RunLoop::main().runFor(300ms);
}

}  // namespace
