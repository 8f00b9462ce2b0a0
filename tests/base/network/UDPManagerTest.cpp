#include "base/network/UDPManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "UdpPeer.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::UdpPeer;

// Runs on the main run loop only: no lock needed.
class ManagerRecorder : public UDPManagerDelegate {
public:
    struct Message {
        Bytes data;
        std::string ip;
        int port;
    };
    int didReceiveUdpMessage(const Bytes& data, const std::string& ip, int port) override {
        EXPECT_TRUE(RunLoop::isMainThread());
        messages.push_back({data, ip, port});
        return 0;
    }
    void didNotSendWithTag(long, const Error&) override { ADD_FAILURE() << "the manager never sends this"; }
    void didReceiveUdpDataTimeout(UDPManager&) override {
        EXPECT_TRUE(RunLoop::isMainThread());
        ++timeouts;
    }
    void didSendWithTag(long) override { ADD_FAILURE() << "the manager never sends this"; }

    std::vector<Message> messages;
    int timeouts = 0;
};

bool runUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 20s) {
    return RunLoop::main().runUntil(pred, timeout);
}

Bytes message(uint16_t type, size_t size) {
    Bytes b(size, 0);
    if (size >= 2) {
        b[0] = static_cast<uint8_t>(type & 0xff);
        b[1] = static_cast<uint8_t>(type >> 8);
    }
    return b;
}

class UDPManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = std::make_shared<ManagerRecorder>();
        manager = UDPManager::create(recorder);
        manager->setReceivePort(0);
        port = manager->udpasynSocket()->localPort_IPv4();
        ASSERT_GT(port, 0);
    }
    std::shared_ptr<ManagerRecorder> recorder;
    std::shared_ptr<UDPManager> manager;
    uint16_t port = 0;
};

TEST_F(UDPManagerTest, ForwardsDatagramsOfFourBytesOrMoreWithTheSender) {
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo(message(0x1234, 3), UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(peer.sendTo(message(0x1234, 1), UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(peer.sendTo(message(0x1234, 8), UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(runUntil([&] { return !recorder->messages.empty(); }));
    ASSERT_EQ(recorder->messages.size(), 1u);
    EXPECT_EQ(recorder->messages[0].data, message(0x1234, 8));
    EXPECT_EQ(recorder->messages[0].ip, "127.0.0.1");
    EXPECT_EQ(recorder->messages[0].port, peer.port());
    EXPECT_GT(manager->getUDPSocketFD(), 0);
}

TEST_F(UDPManagerTest, ReadTimeoutReportsOnceUnlessAReplyCame) {
    UdpPeer peer;
    // No reply: one report.
    manager->sendData(Bytes{1, 2, 3, 4}, "127.0.0.1", peer.port(), 1.0, 0.05, 0);
    ASSERT_TRUE(peer.receive());
    ASSERT_TRUE(runUntil([&] { return recorder->timeouts == 1; }));

    // A 3-byte reply: not forwarded, but it is the reply.
    manager->sendData(Bytes{5, 6, 7, 8}, "127.0.0.1", peer.port(), 1.0, 0.05, 0);
    ASSERT_TRUE(peer.receive());
    ASSERT_TRUE(peer.sendTo(message(0x1, 3), UdpPeer::loopback(AF_INET, port)));
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(recorder->timeouts, 1);
    EXPECT_TRUE(recorder->messages.empty());

    // The payload-less relay message is forwarded and the time-out still fires.
    manager->sendData(Bytes{9, 9, 9, 9}, "127.0.0.1", peer.port(), 1.0, 0.05, 0);
    ASSERT_TRUE(peer.receive());
    ASSERT_TRUE(peer.sendTo(message(UDPManager::kEmptyRelayMessageType, 4), UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(runUntil([&] { return recorder->timeouts == 2 && recorder->messages.size() == 1; }));
}

TEST_F(UDPManagerTest, FailedSendReportsAsTimeoutOnce) {
    manager->sendData(Bytes{1, 2, 3, 4}, "", 9, 1.0, 0.05, 0);  // no host: never sent
    ASSERT_TRUE(runUntil([&] { return recorder->timeouts == 1; }));
    RunLoop::main().runFor(200ms);  // the read timer finds the report made
    EXPECT_EQ(recorder->timeouts, 1);
}

TEST_F(UDPManagerTest, TimerOfAnEarlierSendDoesNotCutALaterOneShort) {
    UdpPeer peer;
    manager->sendData(Bytes{1, 1, 1, 1}, "127.0.0.1", peer.port(), 1.0, 0.2, 0);
    ASSERT_TRUE(peer.sendTo(message(0x1, 4), UdpPeer::loopback(AF_INET, port)));  // the reply
    ASSERT_TRUE(runUntil([&] { return recorder->messages.size() == 1; }));
    // The next send waits far longer than the first send's timer runs.
    manager->sendData(Bytes{2, 2, 2, 2}, "127.0.0.1", peer.port(), 1.0, 60.0, 0);
    RunLoop::main().runFor(500ms);
    EXPECT_EQ(recorder->timeouts, 0);
}

TEST_F(UDPManagerTest, TagsComeFromOneCounter) {
    UdpPeer peer;
    std::vector<long> tags;
    class TagSpy : public GCDAsyncUdpSocketDelegate {
    public:
        explicit TagSpy(std::vector<long>* tags) : tags_(tags) {}
        void udpSocketDidSendDataWithTag(const SocketPtr&, long tag) override { tags_->push_back(tag); }

    private:
        std::vector<long>* tags_;
    };
    manager->udpasynSocket()->synchronouslySetDelegate(std::make_shared<TagSpy>(&tags));
    manager->sendData(Bytes{1, 2, 3, 4}, "127.0.0.1", peer.port(), 1.0, 0, 500);
    manager->sendData(Bytes{1, 2, 3, 4}, "127.0.0.1", peer.port(), 1.0, 0, 500);
    ASSERT_TRUE(runUntil([&] { return tags.size() == 2; }));
    EXPECT_EQ(tags[1], tags[0] + 1);
}

TEST(UDPManagerBind, FallsBackToARandomPortAndKeepsTheAskedOne) {
    UdpPeer occupant;  // holds the port without address reuse
    auto recorder = std::make_shared<ManagerRecorder>();
    auto manager = UDPManager::create(recorder);
    manager->setReceivePort(occupant.port());
    EXPECT_EQ(manager->receivePort(), occupant.port());
    auto sock = manager->udpasynSocket();
    if (sock->isClosed()) GTEST_SKIP() << "the random port was taken too";
    uint16_t bound = sock->localPort();
    EXPECT_NE(bound, occupant.port());
    EXPECT_GE(bound, 1023);
    EXPECT_LE(bound, 65534);
}

TEST(UDPManagerLifetime, DroppedManagerIgnoresLateDatagramsAndTimers) {
    auto recorder = std::make_shared<ManagerRecorder>();
    auto manager = UDPManager::create(recorder);
    manager->setReceivePort(0);
    uint16_t port = manager->udpasynSocket()->localPort_IPv4();
    UdpPeer peer;
    manager->sendData(Bytes{1, 2, 3, 4}, "127.0.0.1", peer.port(), 1.0, 0.05, 0);
    ASSERT_TRUE(peer.sendTo(message(0x1, 4), UdpPeer::loopback(AF_INET, port)));
    std::weak_ptr<UDPManager> weak = manager;
    manager.reset();
    EXPECT_TRUE(weak.expired());  // nothing keeps it alive
    RunLoop::main().runFor(300ms);
    EXPECT_EQ(recorder->timeouts, 0);
}

}  // namespace
}  // namespace lumora
