#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <netdb.h>
#include <cerrno>
#include <mutex>
#include <thread>
#include <vector>

#include "base/link/ConnetTolvServer.h"
#include "base/link/RkMessageBuilder.h"
#include "base/link/RkMessageParser.h"
#include "base/link/TxConManager.h"
#include "base/network/NETStatusObj.h"
#include "base/network/SocketFunctions.h"
#include "platform/Config.h"
#include "platform/ErrorCodes.h"
#include "platform/runloop/RunLoop.h"
#include "RelayTestSupport.h"

using namespace lumora;
using namespace lumora::relayemu;
using namespace std::chrono_literals;

namespace {

const char* kUid = "LUMORA-RELAY-CONN-0001";

struct Recorder : ConnectTolvServerDelegate {
    std::atomic<int> connects{0};
    std::vector<uint8_t> data;
    std::vector<Error> errors;
    bool onMain = true;
    void connectTolvServerDidConnectToHost(ConnetTolvServer&, const std::string&, uint16_t) override {
        onMain = onMain && RunLoop::isMainThread();
        ++connects;
    }
    void connectTolvServerDidReadData(ConnetTolvServer&, const std::vector<uint8_t>& d, long tag) override {
        onMain = onMain && RunLoop::isMainThread();
        EXPECT_EQ(tag, 1);
        data.insert(data.end(), d.begin(), d.end());
    }
    void connectTolvServerWithError(ConnetTolvServer&, const Error& e) override {
        onMain = onMain && RunLoop::isMainThread();
        errors.push_back(e);
    }
};

bool runMainUntil(const std::function<bool()>& pred) { return RunLoop::main().runUntil(pred, 30s); }

class ConnetTolvServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Config::shared().timeScale = 0.01;
        NETStatusObj::sharedInstance().setIsHaveNet(true);
        ASSERT_TRUE(servers.start());
        RelayTcpEmulator::Device d;
        d.status = 1;
        servers[0].registerDevice(kUid, d);
    }
    test::RelayServers servers;
};

TEST_F(ConnetTolvServerTest, AskingTwiceGivesTheSameConnectionWithTheSecondDelegate) {
    auto first = std::make_shared<Recorder>();
    auto second = std::make_shared<Recorder>();
    auto& mgr = TxConManager::sharedInstance();
    auto a = mgr.createConTolvSer(servers.host(0), servers.port, first);
    auto b = mgr.createConTolvSer(servers.host(0), servers.port, second);
    ASSERT_EQ(a, b);
    EXPECT_EQ(mgr.getConServerWithserverIP(servers.host(0)), a);
    EXPECT_EQ(mgr.getConServerWithserverIP(servers.host(1)), nullptr);
    EXPECT_EQ(mgr.tolvServerConArr().size(), 1u);
    EXPECT_EQ(a->delegate(), second);
    ASSERT_TRUE(runMainUntil([&] { return second->connects > 0; }));
    EXPECT_TRUE(a->connected());
    EXPECT_EQ(first->connects, 0);
    EXPECT_TRUE(test::waitFor([&] { return servers[0].accepted() == 1; }));

    // A status query goes out and its answer comes back whole to the last delegate.
    a->sendMessage(RkMessageBuilder::buildMsgForQueryVSStatusRequest(RkMessageBuilder::deviceIdForUid(kUid)));
    ASSERT_TRUE(runMainUntil([&] { return second->data.size() >= 40; }));
    RkMessageParser parser;
    EXPECT_EQ(parser.parseMsgData(second->data, "", 0), 40);
    EXPECT_EQ(second->data[0], 0x06);
    EXPECT_EQ(second->data[1], 0xA0);
    EXPECT_TRUE(first->data.empty());
    EXPECT_TRUE(second->onMain);
}

TEST_F(ConnetTolvServerTest, NoNetworkReportsNetErrWithADelegateAndStillSendsWithoutOne) {
    auto rec = std::make_shared<Recorder>();
    auto c = TxConManager::sharedInstance().createConTolvSer(servers.host(0), servers.port, rec);
    ASSERT_TRUE(runMainUntil([&] { return rec->connects > 0; }));
    auto query = RkMessageBuilder::buildMsgForQueryVSStatusRequest(RkMessageBuilder::deviceIdForUid(kUid));

    NETStatusObj::sharedInstance().setIsHaveNet(false);
    c->sendMessage(query);
    ASSERT_TRUE(runMainUntil([&] { return !rec->errors.empty(); }));
    EXPECT_EQ(rec->errors[0].domain, errors::kNetErr);
    EXPECT_EQ(rec->errors[0].code, 1003);

    c->setDelegate(nullptr);
    c->sendMessage(query);
    ASSERT_TRUE(runMainUntil([&] { return servers[0].requests(kStatusRequest) == 1; }));
    RunLoop::main().runFor(50ms);
    EXPECT_EQ(servers[0].requests(kStatusRequest), 1);
    EXPECT_EQ(rec->errors.size(), 1u);
}

TEST_F(ConnetTolvServerTest, ADroppedLinkIsReconnectedEveryTime) {
    auto rec = std::make_shared<Recorder>();
    auto c = TxConManager::sharedInstance().createConTolvSer(servers.host(1), servers.port, rec);
    ASSERT_TRUE(runMainUntil([&] { return rec->connects == 1; }));
    for (int drop = 1; drop <= 3; ++drop) {
        // The server may see the connection a moment after the client does.
        ASSERT_TRUE(test::waitFor([&] { return servers[1].openConnections() == 1; }));
        servers[1].dropConnections();
        ASSERT_TRUE(runMainUntil([&] { return rec->connects == drop + 1; })) << "drop " << drop;
    }
    EXPECT_TRUE(test::waitFor([&] { return servers[1].accepted() == 4; }));
    EXPECT_TRUE(c->connected());
    EXPECT_TRUE(rec->errors.empty());
}

TEST_F(ConnetTolvServerTest, ARefusingServerIsTriedAgainUntilItListens) {
    // Nothing listens on server 3 at first: refused, retried after the long
    // pause (0.6 s here) until a listener appears.
    servers.server[2].reset();
    auto rec = std::make_shared<Recorder>();
    auto c = TxConManager::sharedInstance().createConTolvSer(servers.host(2), servers.port, rec);
    RunLoop::main().runFor(100ms);
    EXPECT_EQ(rec->connects, 0);
    EXPECT_FALSE(c->connected());
    servers.server[2] = std::make_unique<RelayTcpEmulator>(servers.host(2), servers.port);
    ASSERT_TRUE(servers[2].ok());
    ASSERT_TRUE(runMainUntil([&] { return rec->connects == 1; }));
    EXPECT_TRUE(c->connected());
}

TEST(ConnetTolvServerPauseTest, ErrorsThatWaitTheLongPause) {
    struct Case {
        Error error;
        bool longPause;
    } cases[] = {
        {Error::posix(ECONNREFUSED), true},
        {Error::resolver(EAI_NONAME), true},
        {Error(errors::kGCDAsyncSocketErrorDomain, errors::kGCDAsyncSocketOtherError), true},
        {Error(errors::kGCDAsyncSocketErrorDomain, errors::kGCDAsyncSocketWriteTimeoutError), false},
        {Error(errors::kGCDAsyncSocketErrorDomain, errors::kGCDAsyncSocketClosedError), false},
        {Error::posix(ECONNRESET), false},
        {Error::posix(8), false},  // a number alone means nothing across systems
    };
    for (const Case& c : cases) EXPECT_EQ(ConnetTolvServer::isLongPauseError(c.error), c.longPause) << c.error.toString();
}

TEST_F(ConnetTolvServerTest, BlockingSocketsAreKeptPerServer) {
    auto& mgr = TxConManager::sharedInstance();
    NETStatusObj::sharedInstance().setIsHaveNet(false);
    EXPECT_EQ(mgr.getConFDFromTolvSer(servers.host(0)), 0);
    NETStatusObj::sharedInstance().setIsHaveNet(true);

    int fd1 = mgr.getConFDFromTolvSer(servers.host(0));
    ASSERT_GT(fd1, 0);
    EXPECT_EQ(mgr.getConFDFromTolvSer(servers.host(0)), fd1);
    EXPECT_EQ(mgr.serverFD(0), fd1);
    int fd4 = mgr.getConFDFromTolvSer(servers.host(3));
    ASSERT_GT(fd4, 0);
    EXPECT_NE(fd4, fd1);
    EXPECT_EQ(mgr.serverFD(3), fd4);
    ASSERT_TRUE(test::waitFor([&] { return servers[0].accepted() == 1 && servers[3].accepted() == 1; }));

    // The socket carries look-ups synchronously.
    auto query = RkMessageBuilder::buildMsgForQueryVSStatusRequest(RkMessageBuilder::deviceIdForUid(kUid));
    ASSERT_EQ(tcpSocketSendTimeout(fd1, query.data(), query.size(), 2000), 36);
    uint8_t buf[64];
    EXPECT_EQ(tcpSocketRecvTimeout(fd1, buf, sizeof buf, 5000), 40);

    // Nothing listening: five tries, then 0.
    servers.server[1].reset();
    EXPECT_EQ(mgr.connectServer(servers.host(1)), 0);
    EXPECT_EQ(mgr.getConFDFromTolvSer(servers.host(1)), 0);
    EXPECT_EQ(mgr.serverFD(1), 0);
}

}  // namespace

namespace {

// Callers that ask at the same moment for a host nobody asked for before must
// all get the one connection the manager keeps for it.
TEST_F(ConnetTolvServerTest, CallersRacingForANewHostShareOneConnection) {
    auto& mgr = TxConManager::sharedInstance();
    auto rec = std::make_shared<Recorder>();
    constexpr int kRounds = 150;
    constexpr int kCallers = 4;
    for (int round = 0; round < kRounds; ++round) {
        // Nothing listens there: the connections only retry, on loopback.
        const std::string host = "127.0.1." + std::to_string(round + 1);
        std::atomic<int> ready{0};
        std::array<std::shared_ptr<ConnetTolvServer>, kCallers> got;
        std::vector<std::thread> callers;
        for (int i = 0; i < kCallers; ++i)
            callers.emplace_back([&, i] {
                ++ready;
                while (ready.load() < kCallers) std::this_thread::yield();
                got[static_cast<size_t>(i)] = mgr.createConTolvSer(host, servers.port, rec);
            });
        for (auto& t : callers) t.join();
        for (int i = 1; i < kCallers; ++i) ASSERT_EQ(got[static_cast<size_t>(i)], got[0]) << host;
        ASSERT_EQ(mgr.getConServerWithserverIP(host), got[0]);
    }
    EXPECT_EQ(mgr.tolvServerConArr().size(), static_cast<size_t>(kRounds));
}

}  // namespace
