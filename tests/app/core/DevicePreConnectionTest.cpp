#include <gtest/gtest.h>
#include <poll.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/Device.h"
#include "base/network/GCDAsyncSocket.h"
#include "platform/Config.h"
#include "platform/runloop/RunLoop.h"
#include "support/WaitFor.h"

using namespace lumora;
using namespace std::chrono_literals;

namespace {

// Stands in for the peer-to-peer side: records what the device asks of it;
// a test plays the client's reports through the device.
struct FakePreConnection : DevicePreConnection {
    std::mutex m;
    std::vector<std::string> calls;
    void add(std::string c) {
        std::lock_guard<std::mutex> g(m);
        calls.push_back(std::move(c));
    }
    std::vector<std::string> all() {
        std::lock_guard<std::mutex> g(m);
        return calls;
    }
    size_t count() { return all().size(); }

    void prepare() override { add("prepare"); }
    void connectJustForLan(const std::string& address, uint16_t port) override {
        add("lan " + address + ":" + std::to_string(port));
    }
    void connectByUid(const std::string& udid, const std::string& host, int port) override {
        add("uid " + udid + " " + host + ":" + std::to_string(port));
    }
    void stop() override { add("stop"); }
    void searchState() override { add("searchState"); }
};

struct OutcomeRecorder : preConDelegate {
    std::vector<std::pair<int32_t, bool>> outcomes;
    bool onMainThread = true;
    void didpreCondvid(int32_t id, bool ret) override {
        onMainThread = onMainThread && RunLoop::isMainThread();
        outcomes.emplace_back(id, ret);
    }
};

class DevicePreConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().timeScale = 0.05;
        Config::shared().relayHosts[0] = "127.0.0.11";
        Config::shared().relayTcpPort = 28622;
        Device::setPreConnectionFactory([this](const std::shared_ptr<Device>&) {
            auto f = std::make_shared<FakePreConnection>();
            fake = f;
            return f;
        });
        device = std::make_shared<Device>();
        device->preconDele = recorder;
    }
    void TearDown() override { Device::setPreConnectionFactory(nullptr); }

    // Waits until the queued pre-connection step ran (prequeue is serial).
    void drainPrequeue() {
        auto q = device->prequeue();
        if (q) q->sync([] {});
    }
    void runMain(std::chrono::milliseconds d = 50ms) { RunLoop::main().runFor(d); }

    std::shared_ptr<FakePreConnection> fake;
    std::shared_ptr<OutcomeRecorder> recorder = std::make_shared<OutcomeRecorder>();
    std::shared_ptr<Device> device;
};

TEST_F(DevicePreConnectionTest, ChoosesItsRouteFromTheRecord) {
    struct Case {
        const char* udid;
        bool inIner;
        std::optional<std::string> hint;
        std::string call;  // "" for none
    };
    const std::vector<Case> cases = {
        {"", false, std::nullopt, ""},
        {"", true, "203.0.113.9,127.0.0.5,8000,1", ""},  // by address: never pre-connected
        {"UID-1", false, std::nullopt, "uid UID-1 127.0.0.11:28622"},
        {"UID-1", false, "203.0.113.9,127.0.0.5,8000,1", "uid UID-1 127.0.0.11:28622"},
        {"UID-1", true, std::nullopt, "uid UID-1 127.0.0.11:28622"},
        {"UID-1", true, "127.0.0.5,8000,1", "uid UID-1 127.0.0.11:28622"},
        {"UID-1", true, "203.0.113.9,127.0.0.5,8000,1,x", "uid UID-1 127.0.0.11:28622"},
        // External address, LAN address, port, UDT flag.
        {"UID-1", true, "203.0.113.9,127.0.0.5,8000,1", "lan 127.0.0.5:8000"},
        {"UID-1", true, "(null),127.0.0.6,70000,1", "lan 127.0.0.6:4464"},  // 16-bit port
        {"UID-1", true, "203.0.113.9,127.0.0.7,5050,0", "uid UID-1 127.0.0.11:28622"},  // no UDT port
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.udid) + " " + c.hint.value_or("(absent)"));
        device = std::make_shared<Device>();
        device->udid = c.udid;
        device->isInIner = c.inIner;
        device->inHourseIpStr = c.hint;
        device->startPreConnection();
        drainPrequeue();
        std::vector<std::string> want{"prepare"};
        if (!c.call.empty()) want.push_back(c.call);
        EXPECT_EQ(fake->all(), want);
    }
}

// The hint says where the device answered in the LAN; the address and port
// the user stored (saved with the device list) are left alone.
TEST_F(DevicePreConnectionTest, ALanHintLeavesTheStoredAddressAndPort) {
    device->udid = "UID-1";
    device->isInIner = true;
    device->address = "10.0.0.1";
    device->mediaPort = 1;
    device->inHourseIpStr = "203.0.113.9, 127.0.0.5,8000abc,1";
    device->startPreConnection();
    drainPrequeue();
    EXPECT_EQ(fake->all().back(), "lan  127.0.0.5:8000");
    EXPECT_EQ(device->address.value(), "10.0.0.1");
    EXPECT_EQ(device->mediaPort.load(), 1u);
    EXPECT_TRUE(device->isUDTConnect.load());

    device->inHourseIpStr = "203.0.113.9,127.0.0.5,8000,2";
    device->startPreConnection();
    drainPrequeue();
    EXPECT_EQ(fake->all().back(), "uid UID-1 127.0.0.11:28622");
    EXPECT_FALSE(device->isUDTConnect.load());
    EXPECT_EQ(device->address.value(), "10.0.0.1");
    EXPECT_EQ(device->mediaPort.load(), 1u);
}

TEST_F(DevicePreConnectionTest, SuccessRecordsThePathAndIsToldOnceOnTheMainQueue) {
    device->udid = "UID-1";
    device->startPreConnection();
    drainPrequeue();
    DevicePreConnection::Path p;
    p.isp2p = true;
    p.mode = 2;
    p.udpAddress = "127.0.0.21";
    p.udpPort = 4000;
    p.tcpAddress = "";
    p.tcpPort = 0;
    p.serverIP = "127.0.0.12";
    device->preConnectionDidConnect(p);
    device->preConnectionDidFail();     // a late report of the same attempt
    device->preConnectionDidConnect(p);
    runMain();
    EXPECT_TRUE(device->isStartPreCon.load());
    EXPECT_TRUE(device->isp2p.load());
    EXPECT_EQ(device->preConMode.load(), 2);
    EXPECT_EQ(device->preudpAddress.value(), "127.0.0.21");
    EXPECT_EQ(device->preudpport.load(), 4000);
    EXPECT_EQ(device->pretcpAddress.value(), "");
    EXPECT_EQ(device->serverIP.value(), "127.0.0.12");
    ASSERT_EQ(recorder->outcomes.size(), 1u);
    EXPECT_EQ(recorder->outcomes[0], std::make_pair(device->deviceId, true));
    EXPECT_TRUE(recorder->onMainThread);

    // The next attempt reports again.
    device->startPreConnection();
    drainPrequeue();
    device->preConnectionDidFail();
    runMain();
    ASSERT_EQ(recorder->outcomes.size(), 2u);
    EXPECT_EQ(recorder->outcomes[1], std::make_pair(device->deviceId, false));
    EXPECT_TRUE(device->isStartPreCon.load());  // the path fields keep their values
    EXPECT_EQ(device->preConMode.load(), 2);
}

TEST_F(DevicePreConnectionTest, StoppedOrOrphanedAttemptsReportNothing) {
    device->udid = "UID-1";
    device->startPreConnection();
    drainPrequeue();
    device->stopPreConnection();
    device->preConnectionDidFail();
    runMain();
    EXPECT_TRUE(recorder->outcomes.empty());
    EXPECT_EQ(fake->all().back(), "stop");

    // A step queued before the stop does not run.
    auto q = device->prequeue();
    q->suspend();
    device->startPreConnection();
    device->stopPreConnection();
    q->resume();
    drainPrequeue();
    EXPECT_EQ(fake->all(), (std::vector<std::string>{"prepare", "uid UID-1 127.0.0.11:28622", "stop", "prepare",
                                                     "stop"}));

    // The delegate is gone: nothing is called.
    device->startPreConnection();
    drainPrequeue();
    recorder.reset();
    device->preConnectionDidFail();
    runMain();

    // The device is gone before the main queue runs the report.
    auto other = std::make_shared<OutcomeRecorder>();
    device->preconDele = other;
    device->startPreConnection();
    drainPrequeue();
    device->preConnectionDidFail();
    device.reset();
    runMain();
    EXPECT_TRUE(other->outcomes.empty());
}

TEST_F(DevicePreConnectionTest, QueuedStepKeepsTheDeviceAlive) {
    device->udid = "UID-1";
    device->startPreConnection();
    auto q = device->prequeue();
    q->suspend();
    device->startPreConnection();
    std::weak_ptr<Device> weak = device;
    device.reset();
    EXPECT_FALSE(weak.expired());
    q->resume();
    EXPECT_TRUE(test::waitFor([&] { return weak.expired(); }));
}

TEST_F(DevicePreConnectionTest, SearchStateAttachesOnlyAndPlainDevicesDoNothing) {
    device->searchState();
    ASSERT_TRUE(fake);
    EXPECT_EQ(fake->all(), std::vector<std::string>{"searchState"});
    EXPECT_EQ(device->prequeue(), nullptr);

    fake.reset();
    Device plain;  // not shared: no pre-connection, no probe
    plain.udid = "UID-2";
    plain.startPreConnection();
    plain.deviceConType = 1;
    plain.goforgetisOnline();
    EXPECT_FALSE(fake);
    EXPECT_EQ(plain.prequeue(), nullptr);
}

TEST_F(DevicePreConnectionTest, NoFactoryMeansNoPreConnection) {
    Device::setPreConnectionFactory(nullptr);
    device->udid = "UID-1";
    device->startPreConnection();
    EXPECT_EQ(device->preConnection(), nullptr);
    EXPECT_EQ(device->prequeue(), nullptr);
}

// ---------------------------------------------------------------- online probe

// A loopback TCP port that listens, or (closed) one that refuses.
struct LoopbackPort {
    int fd = -1;
    uint16_t port = 0;
    explicit LoopbackPort(bool listening) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        if (listening) {
            ::listen(fd, 4);
        } else {
            ::close(fd);
            fd = -1;
        }
    }
    ~LoopbackPort() {
        if (fd >= 0) ::close(fd);
    }
};

TEST_F(DevicePreConnectionTest, ProbeMarksOnlineAndOffline) {
    ASSERT_TRUE(device->probeSocket());
    EXPECT_EQ(device->probeSocket()->delegateQueue(), DispatchQueue::main());
    device->deviceConType = 1;
    device->address = "127.0.0.1";

    LoopbackPort open(true);
    device->mediaPort = open.port;
    device->goforgetisOnline();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return device->isOnLine.load(); }, 30s));
    // The close after success changes nothing; the socket is free again.
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return device->probeSocket()->isDisconnected(); }, 30s));
    runMain();
    EXPECT_TRUE(device->isOnLine.load());

    LoopbackPort closed(false);
    device->mediaPort = closed.port;
    device->goforgetisOnline();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !device->isOnLine.load(); }, 30s));

    // Only devices reached by address are probed.
    device->deviceConType = 0;
    device->mediaPort = open.port;
    device->goforgetisOnline();
    runMain(200ms);
    EXPECT_FALSE(device->isOnLine.load());
}

// A device removed while its probe runs: the probe keeps no hold on it, and
// its answer (here a success) changes and reports nothing.
TEST_F(DevicePreConnectionTest, ProbeOfARemovedDeviceIsDropped) {
    LoopbackPort open(true);
    device->deviceConType = 1;
    device->address = "127.0.0.1";
    device->mediaPort = open.port;
    auto probe = device->probeSocket();  // outlives the device here, as a late answer would
    std::weak_ptr<Device> weak = device;
    device->goforgetisOnline();
    device.reset();
    EXPECT_TRUE(weak.expired()) << "the probe kept the removed device alive";
    // The connect succeeds and the probe closes itself, with no device to tell.
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    pollfd p{open.fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1) << "the probe never connected";
    int accepted = ::accept(open.fd, reinterpret_cast<sockaddr*>(&peer), &len);
    ASSERT_GE(accepted, 0);
    ::close(accepted);
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return probe->isDisconnected(); }, 30s));
    runMain(100ms);
    EXPECT_TRUE(recorder->outcomes.empty());
    EXPECT_TRUE(weak.expired());
}

}  // namespace
