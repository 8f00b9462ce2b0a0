#include "base/network/GCDAsyncUdpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <any>
#include <chrono>
#include <functional>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "UdpPeer.h"
#include "platform/ErrorCodes.h"
#include "support/WaitFor.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::UdpPeer;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

struct Event {
    enum Kind { Connect, NotConnect, Sent, NotSent, Received, Closed } kind;
    long tag = 0;
    Error error;
    Bytes data;
    Bytes address;
    std::any context;
    bool hadSocket = true;
};

// Records every callback; tests wait on it with generous time-outs.
class Recorder : public GCDAsyncUdpSocketDelegate {
public:
    void udpSocketDidConnectToAddress(const SocketPtr& s, const ByteBuffer& address) override {
        add({Event::Connect, 0, {}, {}, address, {}, s != nullptr});
    }
    void udpSocketDidNotConnect(const SocketPtr& s, const Error& error) override {
        add({Event::NotConnect, 0, error, {}, {}, {}, s != nullptr});
    }
    void udpSocketDidSendDataWithTag(const SocketPtr& s, long tag) override {
        add({Event::Sent, tag, {}, {}, {}, {}, s != nullptr});
    }
    void udpSocketDidNotSendDataWithTag(const SocketPtr& s, long tag, const Error& error) override {
        add({Event::NotSent, tag, error, {}, {}, {}, s != nullptr});
    }
    void udpSocketDidReceiveData(const SocketPtr& s, ByteBuffer data, const ByteBuffer& address,
                                 const std::any& context) override {
        add({Event::Received, 0, {}, std::move(data), address, context, s != nullptr});
    }
    void udpSocketDidClose(const SocketPtr& s, const Error& error) override {
        add({Event::Closed, 0, error, {}, {}, {}, s != nullptr});
    }

    bool waitFor(Event::Kind kind, size_t n = 1, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return countLocked(kind) >= n; });
    }
    size_t count(Event::Kind kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        return countLocked(kind);
    }
    size_t total() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_.size();
    }
    std::vector<Event> events(Event::Kind kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Event> out;
        for (const Event& e : events_)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
    Event first(Event::Kind kind) {
        auto all = events(kind);
        return all.empty() ? Event{kind, 0, {}, {}, {}, {}, true} : all.front();
    }

private:
    void add(Event e) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(e));
        cv_.notify_all();
    }
    size_t countLocked(Event::Kind kind) const {
        size_t n = 0;
        for (const Event& e : events_) n += e.kind == kind;
        return n;
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Event> events_;
};

class UdpSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = std::make_shared<Recorder>();
        delegateQueue = DispatchQueue::createSerial("udp-test-delegate");
        sock = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    }
    // Everything the socket decided so far has reached the delegate.
    void flush() {
        sock->performBlock([] {});
        delegateQueue->sync([] {});
    }
    uint16_t bindLoopback4() {
        sock->setIPv6Enabled(false);
        Error err;
        EXPECT_TRUE(sock->bindToPort(0, "127.0.0.1", &err)) << err.toString();
        return sock->localPort();
    }

    std::shared_ptr<Recorder> recorder;
    DispatchQueuePtr delegateQueue;
    GCDAsyncUdpSocketPtr sock;
};

// ================================================================ object model

TEST(UdpSocketObject, GuardedOperationsNeedDelegateAndDelegateQueue) {
    auto bare = GCDAsyncUdpSocket::create();
    struct Case {
        const char* name;
        std::function<bool(GCDAsyncUdpSocket&, Error*)> op;
    } cases[] = {
        {"bind", [](GCDAsyncUdpSocket& s, Error* e) { return s.bindToPort(0, e); }},
        {"bindAddress", [](GCDAsyncUdpSocket& s, Error* e) { return s.bindToAddress(UdpPeer::loopback(AF_INET, 0), e); }},
        {"connect", [](GCDAsyncUdpSocket& s, Error* e) { return s.connectToHost("127.0.0.1", 9, e); }},
        {"join", [](GCDAsyncUdpSocket& s, Error* e) { return s.joinMulticastGroup("239.1.1.1", e); }},
        {"broadcast", [](GCDAsyncUdpSocket& s, Error* e) { return s.enableBroadcast(true, e); }},
    };
    for (const Case& c : cases) {
        Error err;
        EXPECT_FALSE(c.op(*bare, &err)) << c.name;
        EXPECT_EQ(err.domain, errors::kGCDAsyncUdpSocketErrorDomain) << c.name;
        EXPECT_EQ(err.code, errors::kGCDAsyncUdpSocketBadConfigError) << c.name;
        EXPECT_EQ(err.description, "Attempting to use socket without a delegate. Set a delegate first.") << c.name;
    }
    bare->setDelegate(std::make_shared<Recorder>());
    Error err;
    EXPECT_FALSE(bare->bindToPort(0, &err));
    EXPECT_EQ(err.description, "Attempting to use socket without a delegate queue. Set a delegate queue first.");
    EXPECT_TRUE(bare->isClosed());
}

TEST_F(UdpSocketTest, DefaultsAndConfiguration) {
    EXPECT_EQ(sock->maxReceiveIPv4BufferSize(), 9216);
    EXPECT_EQ(sock->maxReceiveIPv6BufferSize(), 9216u);
    sock->setMaxReceiveIPv6BufferSize(70000);
    EXPECT_EQ(sock->maxReceiveIPv6BufferSize(), 70000u);
    EXPECT_TRUE(sock->isIPVersionNeutral());
    sock->setPreferIPv6();
    EXPECT_TRUE(sock->isIPv6Preferred());
    EXPECT_FALSE(sock->isIPv4Preferred());
    sock->setPreferIPv4();
    EXPECT_TRUE(sock->isIPv4Preferred());
    EXPECT_FALSE(sock->isIPv6Preferred());
    sock->setIPVersionNeutral();
    EXPECT_TRUE(sock->isIPVersionNeutral());
    // Before any socket exists, isIPv4/isIPv6 answer whether the family is enabled.
    sock->setIPv6Enabled(false);
    EXPECT_FALSE(sock->isIPv6());
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_TRUE(sock->isClosed());
    auto data = std::make_shared<int>(7);
    sock->setUserData(data);
    EXPECT_EQ(sock->userData(), data);
}

TEST_F(UdpSocketTest, DescriptorGettersAnswerFromOtherThreadsOnly) {
    EXPECT_EQ(sock->socket4FD(), -1);
    bindLoopback4();
    int fd = sock->socket4FD();
    EXPECT_GE(fd, 0);
    EXPECT_EQ(sock->socketFD(), fd);
    EXPECT_EQ(sock->socket6FD(), -1);
    int inside = 0;
    sock->performBlock([&] { inside = sock->socket4FD(); });
    EXPECT_EQ(inside, -1);
}

TEST(UdpSocketAddress, GetHostReadsOnlyWholeAddresses) {
    Bytes v4 = UdpPeer::loopback(AF_INET, 5000);
    Bytes v6 = UdpPeer::loopback(AF_INET6, 6000);
    Bytes v6familyIn16 = Bytes(v6.begin(), v6.begin() + 16);
    Bytes shortV4 = Bytes(v4.begin(), v4.begin() + 8);
    struct Case {
        const char* name;
        Bytes address;
        bool ok;
        std::string host;
        uint16_t port;
        int family;
    } cases[] = {
        {"ipv4", v4, true, "127.0.0.1", 5000, AF_INET},
        {"ipv6", v6, true, "::1", 6000, AF_INET6},
        {"ipv6 family in 16 bytes", v6familyIn16, false, "", 0, 0},
        {"short ipv4", shortV4, false, "", 0, 0},
        {"empty", {}, false, "", 0, 0},
    };
    for (const Case& c : cases) {
        std::string host = "x";
        uint16_t port = 1;
        int family = 1;
        EXPECT_EQ(GCDAsyncUdpSocket::getHost(&host, &port, &family, c.address), c.ok) << c.name;
        EXPECT_EQ(host, c.host) << c.name;
        EXPECT_EQ(port, c.port) << c.name;
        EXPECT_EQ(family, c.family) << c.name;
    }
    EXPECT_TRUE(GCDAsyncUdpSocket::getHost(nullptr, nullptr, nullptr, v4));
    EXPECT_TRUE(GCDAsyncUdpSocket::isIPv4Address(v4));
    EXPECT_TRUE(GCDAsyncUdpSocket::isIPv6Address(v6));
    EXPECT_EQ(GCDAsyncUdpSocket::hostFromAddress(v6), "::1");
    EXPECT_EQ(GCDAsyncUdpSocket::portFromAddress(v4), 5000);
    EXPECT_GT(GCDAsyncUdpSocket::indexOfInterfaceAddr4(UdpPeer::loopback(AF_INET, 0)), 0u);
    EXPECT_EQ(GCDAsyncUdpSocket::indexOfInterfaceAddr4(v6), 0u);
}

TEST_F(UdpSocketTest, NoDelegateQueueMeansNoCallbacks) {
    UdpPeer peer;
    bindLoopback4();
    sock->setDelegateQueue(nullptr);
    sock->sendData(bytes("quiet"), peer.address(), -1, 1);
    ASSERT_EQ(peer.receiveText(), "quiet");
    sock->close();
    flush();
    EXPECT_EQ(recorder->total(), 0u);
}

// ================================================================ binding and connecting

TEST_F(UdpSocketTest, BindPortZeroBindsEveryEnabledFamilyOnce) {
    if (!UdpPeer::ipv6Available()) GTEST_SKIP() << "IPv6 loopback is not available here";
    Error err;
    ASSERT_TRUE(sock->bindToPort(0, &err)) << err.toString();
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_TRUE(sock->isIPv6());
    EXPECT_GT(sock->localPort_IPv4(), 0);
    EXPECT_GT(sock->localPort_IPv6(), 0);
    EXPECT_EQ(sock->localHost_IPv4(), "0.0.0.0");
    EXPECT_EQ(sock->localHost_IPv6(), "::");
    EXPECT_FALSE(sock->bindToPort(0, &err));
    EXPECT_EQ(err.code, errors::kGCDAsyncUdpSocketBadConfigError);
    EXPECT_EQ(err.description, "Cannot bind a socket more than once.");
}

TEST_F(UdpSocketTest, IPv4AndIPv6ShareOnePort) {
    if (!UdpPeer::ipv6Available()) GTEST_SKIP() << "IPv6 loopback is not available here";
    UdpPeer probe;  // find a free port, then let it go
    uint16_t port = probe.port();
    probe.close();
    Error err;
    ASSERT_TRUE(sock->bindToPort(port, "localhost", &err)) << err.toString();
    EXPECT_EQ(sock->localPort_IPv4(), port);
    EXPECT_EQ(sock->localPort_IPv6(), port);
}

TEST_F(UdpSocketTest, BindRefusals) {
    Error err;
    EXPECT_FALSE(sock->bindToPort(0, "no-such-interface0", &err));
    EXPECT_EQ(err.code, errors::kGCDAsyncUdpSocketBadParamError);
    EXPECT_EQ(err.description, "Unknown interface. Specify valid interface by name (e.g. \"eth0\") or IP address.");

    Bytes bogus(sizeof(sockaddr_in), 0);  // family AF_UNSPEC
    EXPECT_FALSE(sock->bindToAddress(bogus, &err));
    EXPECT_EQ(err.description, "A valid IPv4 or IPv6 address was not given");

    sock->setIPv4Enabled(false);
    EXPECT_FALSE(sock->bindToAddress(UdpPeer::loopback(AF_INET, 0), &err));
    EXPECT_EQ(err.description, "IPv4 has been disabled and an IPv4 address was passed.");
    EXPECT_FALSE(sock->bindToPort(0, "127.0.0.1", &err));
    EXPECT_EQ(err.description, "IPv4 has been disabled and specified interface doesn't support IPv6.");
    sock->setIPv6Enabled(false);
    EXPECT_FALSE(sock->bindToPort(0, &err));
    EXPECT_EQ(err.description, "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    EXPECT_TRUE(sock->isClosed());
}

TEST_F(UdpSocketTest, FailedBindClosesAndReportsPosixError) {
    UdpPeer occupant;  // no address reuse: the port is taken
    sock->setIPv6Enabled(false);
    Error err;
    EXPECT_FALSE(sock->bindToPort(occupant.port(), "127.0.0.1", &err));
    EXPECT_EQ(err.meaning(), ErrorMeaning::AddressInUse) << err.toString();
    EXPECT_TRUE(sock->isClosed());
    flush();
    EXPECT_EQ(recorder->total(), 0u);  // the caller has the error; no callback
}

TEST_F(UdpSocketTest, BindUsesSocketsMadeByBroadcastButNotAfterSending) {
    sock->setIPv6Enabled(false);
    Error err;
    ASSERT_TRUE(sock->enableBroadcast(true, &err)) << err.toString();
    int fd = sock->socket4FD();
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1", &err)) << err.toString();
    EXPECT_EQ(sock->socket4FD(), fd);

    auto other = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    other->setIPv6Enabled(false);
    UdpPeer peer;
    other->sendData(bytes("x"), peer.address(), -1, 1);
    ASSERT_TRUE(peer.receive());
    EXPECT_FALSE(other->bindToPort(0, &err));
    EXPECT_EQ(err.description, "Cannot bind a socket more than once.");
}

TEST_F(UdpSocketTest, ConnectToLocalhostPicksIPv4AndClosesIPv6) {
    UdpPeer peer;
    Error err;
    ASSERT_TRUE(sock->connectToHost("localhost", peer.port(), &err)) << err.toString();
    // A second connect while the first is queued fails at once.
    EXPECT_FALSE(sock->connectToHost("localhost", peer.port(), &err));
    EXPECT_EQ(err.description, "Cannot connect a socket more than once.");
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    EXPECT_TRUE(sock->isConnected());
    EXPECT_EQ(sock->connectedHost(), "127.0.0.1");
    EXPECT_EQ(sock->connectedPort(), peer.port());
    EXPECT_FALSE(sock->isIPv6());
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_EQ(GCDAsyncUdpSocket::portFromAddress(recorder->first(Event::Connect).address), peer.port());
    EXPECT_FALSE(sock->bindToPort(0, &err));
    EXPECT_EQ(err.description, "Cannot bind a socket more than once.");  // connecting bound it
}

TEST_F(UdpSocketTest, BindWhileConnectingIsRefused) {
    Error connectErr, bindErr;
    bool connected = false, bound = true;
    // On the socket queue the resolution cannot finish in between.
    sock->performBlock([&] {
        connected = sock->connectToHost("localhost", 9, &connectErr);
        bound = sock->bindToPort(0, &bindErr);
    });
    EXPECT_TRUE(connected) << connectErr.toString();
    EXPECT_FALSE(bound);
    EXPECT_EQ(bindErr.description, "Cannot bind after connecting. If needed, bind first, then connect.");
}

TEST_F(UdpSocketTest, ConnectPrefersIPv6WhenAsked) {
    if (!UdpPeer::ipv6Available()) GTEST_SKIP() << "IPv6 loopback is not available here";
    UdpPeer peer(AF_INET6);
    sock->setPreferIPv6();
    ASSERT_TRUE(sock->connectToHost("localhost", peer.port()));
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    EXPECT_EQ(sock->connectedHost(), "::1");
    EXPECT_FALSE(sock->isIPv4());
}

TEST_F(UdpSocketTest, ConnectFailuresArriveThroughTheDelegate) {
    sock->setIPv6Enabled(false);
    ASSERT_TRUE(sock->connectToHost("::1", 9));
    ASSERT_TRUE(recorder->waitFor(Event::NotConnect));
    Error err = recorder->first(Event::NotConnect).error;
    EXPECT_EQ(err.code, errors::kGCDAsyncUdpSocketOtherError);
    EXPECT_EQ(err.description, "IPv6 has been disabled and DNS lookup found no IPv4 address(es).");
    EXPECT_FALSE(sock->isConnected());
    // A failed connect may be tried again.
    UdpPeer peer;
    ASSERT_TRUE(sock->connectToAddress(peer.address(), &err)) << err.toString();
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    EXPECT_TRUE(sock->isConnected());
}

// ================================================================ sending

TEST_F(UdpSocketTest, SendsQueuedDatagramsInOrderWithTheirTags) {
    UdpPeer peer;
    sock->sendData(Bytes{}, peer.address(), -1, 99);  // empty: ignored
    for (int i = 1; i <= 3; ++i) sock->sendData(bytes("d" + std::to_string(i)), peer.address(), 5.0, i);
    sock->sendData(bytes("d4"), "127.0.0.1", peer.port(), -1, 4);
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(peer.receiveText(), "d" + std::to_string(i));
    ASSERT_TRUE(recorder->waitFor(Event::Sent, 4));
    auto sent = recorder->events(Event::Sent);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sent[static_cast<size_t>(i)].tag, i + 1);
    flush();
    EXPECT_EQ(recorder->total(), 4u);
    EXPECT_FALSE(sock->isClosed());  // the first send created and bound the sockets
    EXPECT_GT(sock->localPort(), 0);
}

TEST_F(UdpSocketTest, DestinationErrorsFailOnlyTheirDatagram) {
    UdpPeer peer;
    sock->sendData(bytes("nowhere"), 1.0, 1);                   // unconnected, no destination
    sock->sendData(bytes("nohost"), std::string(), 1, -1, 2);   // no host
    sock->sendData(bytes("bad"), Bytes(16, 0), -1, 3);          // not an address
    sock->sendData(Bytes(70000, 'b'), peer.address(), -1, 4);   // larger than any datagram
    sock->sendData(bytes("ok"), peer.address(), -1, 5);
    EXPECT_EQ(peer.receiveText(), "ok");
    ASSERT_TRUE(recorder->waitFor(Event::Sent));
    ASSERT_TRUE(recorder->waitFor(Event::NotSent, 4));
    auto failed = recorder->events(Event::NotSent);
    EXPECT_EQ(failed[0].tag, 1);
    EXPECT_EQ(failed[0].error.code, errors::kGCDAsyncUdpSocketBadConfigError);
    EXPECT_EQ(failed[0].error.description, "You must specify destination of packet for a non-connected socket");
    EXPECT_EQ(failed[1].tag, 2);
    EXPECT_EQ(failed[1].error.code, errors::kGCDAsyncUdpSocketBadParamError);
    EXPECT_EQ(failed[2].tag, 3);
    EXPECT_EQ(failed[2].error.code, errors::kGCDAsyncUdpSocketBadParamError);
    EXPECT_EQ(failed[3].tag, 4);
    EXPECT_TRUE(failed[3].error.isPosix()) << failed[3].error.toString();
    EXPECT_EQ(recorder->first(Event::Sent).tag, 5);
    EXPECT_EQ(recorder->count(Event::Closed), 0u);
    EXPECT_FALSE(sock->isClosed());
}

TEST_F(UdpSocketTest, DatagramForAFamilyWithoutSocketFailsAlone) {
    if (!UdpPeer::ipv6Available()) GTEST_SKIP() << "IPv6 loopback is not available here";
    UdpPeer peer;
    sock->setIPv6Enabled(false);
    sock->sendData(bytes("v6"), UdpPeer::loopback(AF_INET6, 9), -1, 1);
    sock->sendData(bytes("v4"), peer.address(), -1, 2);
    EXPECT_EQ(peer.receiveText(), "v4");
    ASSERT_TRUE(recorder->waitFor(Event::NotSent));
    EXPECT_EQ(recorder->first(Event::NotSent).error.code, errors::kGCDAsyncUdpSocketOtherError);
    EXPECT_FALSE(sock->isClosed());
}

TEST_F(UdpSocketTest, ConnectedSocketSendsToItsPeerOnly) {
    UdpPeer peer, other;
    ASSERT_TRUE(sock->connectToAddress(peer.address()));
    sock->sendData(bytes("to-other?"), other.address(), -1, 1);  // goes to the peer
    sock->sendData(bytes("host"), "127.0.0.1", other.port(), -1, 2);
    sock->sendData(bytes("plain"), 3);
    EXPECT_EQ(peer.receiveText(), "to-other?");
    EXPECT_EQ(peer.receiveText(), "plain");
    ASSERT_TRUE(recorder->waitFor(Event::NotSent));
    EXPECT_EQ(recorder->first(Event::NotSent).tag, 2);
    EXPECT_EQ(recorder->first(Event::NotSent).error.description,
              "Cannot specify destination of packet for connected socket");
    EXPECT_FALSE(other.receive(0ms));
}

TEST_F(UdpSocketTest, SendFilterDropsAreReportedAsSent) {
    for (bool async : {true, false}) {
        auto rec = std::make_shared<Recorder>();
        auto s = GCDAsyncUdpSocket::create(rec, delegateQueue);
        UdpPeer peer;
        s->setSendFilter(
            [](const Bytes& data, const Bytes& address, long tag) {
                return text(data) != "drop" && GCDAsyncUdpSocket::portFromAddress(address) != 0 && tag > 0;
            },
            DispatchQueue::createSerial("filter"), async);
        s->sendData(bytes("drop"), peer.address(), -1, 1);
        s->sendData(bytes("keep"), peer.address(), -1, 2);
        EXPECT_EQ(peer.receiveText(), "keep") << async;
        ASSERT_TRUE(rec->waitFor(Event::Sent, 2)) << async;
        EXPECT_EQ(rec->events(Event::Sent)[0].tag, 1);
        EXPECT_FALSE(peer.receive(0ms));
    }
}

TEST_F(UdpSocketTest, CloseAfterSendingSendsEverythingThenCloses) {
    auto filterQueue = DispatchQueue::createSerial("held-filter");
    filterQueue->suspend();  // keeps the queue from draining until all is asked
    sock->setSendFilter([](const Bytes&, const Bytes&, long) { return true; }, filterQueue);
    UdpPeer peer;
    for (int i = 1; i <= 3; ++i) sock->sendData(bytes("m" + std::to_string(i)), peer.address(), -1, i);
    sock->closeAfterSending();
    sock->sendData(bytes("m4"), peer.address(), -1, 4);  // still accepted
    sock->performBlock([] {});
    filterQueue->resume();
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(peer.receiveText(), "m" + std::to_string(i));
    ASSERT_TRUE(recorder->waitFor(Event::Closed));
    EXPECT_EQ(recorder->count(Event::Sent), 4u);
    EXPECT_TRUE(recorder->first(Event::Closed).error.empty());
    EXPECT_TRUE(sock->isClosed());
}

// ================================================================ receiving

TEST_F(UdpSocketTest, ReceiveNeedsSockets) {
    Error err;
    EXPECT_FALSE(sock->beginReceiving(&err));
    EXPECT_EQ(err.code, errors::kGCDAsyncUdpSocketBadConfigError);
    EXPECT_EQ(err.description,
              "Must bind socket before you can receive data. You can do this explicitly via bind, or implicitly via "
              "connect or by sending data.");
}

TEST_F(UdpSocketTest, ContinuousReceivingDeliversEveryDatagramWithItsSender) {
    uint16_t port = bindLoopback4();
    ASSERT_TRUE(sock->beginReceiving());
    UdpPeer peer;
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(peer.sendTo("r" + std::to_string(i), port));
    ASSERT_TRUE(recorder->waitFor(Event::Received, 20));
    auto got = recorder->events(Event::Received);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(text(got[static_cast<size_t>(i)].data), "r" + std::to_string(i));
        EXPECT_EQ(GCDAsyncUdpSocket::portFromAddress(got[static_cast<size_t>(i)].address), peer.port());
        EXPECT_FALSE(got[static_cast<size_t>(i)].context.has_value());
    }
}

TEST_F(UdpSocketTest, LongDatagramIsCutWithoutCuttingTheNextOne) {
    uint16_t port = bindLoopback4();
    sock->setMaxReceiveIPv4BufferSize(512);
    ASSERT_TRUE(sock->beginReceiving());
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo(Bytes(1000, 'a'), UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(peer.sendTo(Bytes(500, 'b'), UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(recorder->waitFor(Event::Received, 2));
    auto got = recorder->events(Event::Received);
    EXPECT_EQ(got[0].data, Bytes(512, 'a'));
    EXPECT_EQ(got[1].data, Bytes(500, 'b'));
}

TEST_F(UdpSocketTest, ReceiveOnceDeliversOneDatagramAndKeepsTheRest) {
    uint16_t port = bindLoopback4();
    ASSERT_TRUE(sock->receiveOnce());
    ASSERT_TRUE(sock->receiveOnce());  // already asked: nothing changes
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("one", port));
    ASSERT_TRUE(peer.sendTo("two", port));
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    // Give the second datagram every chance to be (wrongly) delivered.
    ASSERT_TRUE(test::waitFor([&] {
        int n = 0;
        sock->performBlock([] {});
        return ::ioctl(sock->socket4FD(), FIONREAD, &n) == 0 && n == 3;
    }));
    flush();
    EXPECT_EQ(recorder->count(Event::Received), 1u);
    EXPECT_EQ(text(recorder->first(Event::Received).data), "one");
    // Continuous then once: one more, then none.
    sock->performBlock([&] {  // switch before any receive step runs
        EXPECT_TRUE(sock->beginReceiving());
        EXPECT_TRUE(sock->receiveOnce());
    });
    ASSERT_TRUE(recorder->waitFor(Event::Received, 2));
    EXPECT_EQ(text(recorder->events(Event::Received)[1].data), "two");
    ASSERT_TRUE(peer.sendTo("three", port));
    ASSERT_TRUE(test::waitFor([&] {
        int n = 0;
        return ::ioctl(sock->socket4FD(), FIONREAD, &n) == 0 && n == 5;
    }));
    flush();
    EXPECT_EQ(recorder->count(Event::Received), 2u);
}

TEST_F(UdpSocketTest, PausedSocketKeepsDatagramsForLater) {
    uint16_t port = bindLoopback4();
    ASSERT_TRUE(sock->beginReceiving());
    sock->pauseReceiving();
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("later", port));
    ASSERT_TRUE(test::waitFor([&] {
        int n = 0;
        return ::ioctl(sock->socket4FD(), FIONREAD, &n) == 0 && n == 5;
    }));
    flush();
    EXPECT_EQ(recorder->count(Event::Received), 0u);
    ASSERT_TRUE(sock->beginReceiving());
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    EXPECT_EQ(text(recorder->first(Event::Received).data), "later");
}

TEST_F(UdpSocketTest, ConnectedSocketHearsOnlyItsPeer) {
    UdpPeer peer, stranger;
    sock->setIPv6Enabled(false);
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    uint16_t port = sock->localPort();
    ASSERT_TRUE(sock->connectToAddress(peer.address()));
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    ASSERT_TRUE(sock->beginReceiving());
    ASSERT_TRUE(stranger.sendTo("stranger", port));
    ASSERT_TRUE(peer.sendTo("peer", port));
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    flush();
    auto got = recorder->events(Event::Received);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(text(got[0].data), "peer");
}

TEST_F(UdpSocketTest, RefusingAsyncFilterKeepsReceiveOnceOpen) {
    uint16_t port = bindLoopback4();
    sock->setReceiveFilter(
        [](const Bytes& data, const Bytes&, std::any* context) {
            *context = std::string("ctx-") + text(data);
            return text(data) == "yes";
        },
        DispatchQueue::createSerial("filter"));
    ASSERT_TRUE(sock->receiveOnce());
    UdpPeer peer;
    for (const char* m : {"no1", "no2", "yes", "after"}) ASSERT_TRUE(peer.sendTo(m, port));
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    Event e = recorder->first(Event::Received);
    EXPECT_EQ(text(e.data), "yes");
    ASSERT_TRUE(e.context.has_value());
    EXPECT_EQ(std::any_cast<std::string>(e.context), "ctx-yes");
    ASSERT_TRUE(test::waitFor([&] {
        int n = 0;
        return ::ioctl(sock->socket4FD(), FIONREAD, &n) == 0 && n == 5;  // "after" waits
    }));
    flush();
    EXPECT_EQ(recorder->count(Event::Received), 1u);
}

TEST_F(UdpSocketTest, SynchronousFilterDropsAndSetsContext) {
    uint16_t port = bindLoopback4();
    sock->setReceiveFilter(
        [](const Bytes& data, const Bytes&, std::any* context) {
            *context = static_cast<int>(data.size());
            return data.size() > 1;
        },
        DispatchQueue::createSerial("filter"), false);
    ASSERT_TRUE(sock->beginReceiving());
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("x", port));
    ASSERT_TRUE(peer.sendTo("xyz", port));
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    flush();
    ASSERT_EQ(recorder->count(Event::Received), 1u);
    EXPECT_EQ(std::any_cast<int>(recorder->first(Event::Received).context), 3);
}

TEST_F(UdpSocketTest, EmptyDatagramNeitherDeliveredNorClosing) {
    uint16_t port = bindLoopback4();
    ASSERT_TRUE(sock->beginReceiving());
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo(Bytes{}, UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(peer.sendTo("after-empty", port));
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    flush();
    EXPECT_EQ(recorder->count(Event::Received), 1u);
    EXPECT_EQ(text(recorder->first(Event::Received).data), "after-empty");
    EXPECT_EQ(recorder->count(Event::Closed), 0u);
    // Paused, an empty datagram is taken away too (no endless read events).
    sock->pauseReceiving();
    ASSERT_TRUE(peer.sendTo(Bytes{}, UdpPeer::loopback(AF_INET, port)));
    ASSERT_TRUE(test::waitFor([&] {
        int n = -1;
        sock->performBlock([] {});
        return ::recv(sock->socket4FD(), &n, sizeof n, MSG_PEEK | MSG_DONTWAIT) < 0;
    }));
    EXPECT_FALSE(sock->isClosed());
}

TEST_F(UdpSocketTest, PortUnreachableNoticeDoesNotCloseAConnectedSocket) {
    UdpPeer probe;
    uint16_t deadPort = probe.port();
    probe.close();  // nothing listens there now
    sock->setIPv6Enabled(false);
    ASSERT_TRUE(sock->connectToAddress(UdpPeer::loopback(AF_INET, deadPort)));
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    ASSERT_TRUE(sock->beginReceiving());
    sock->sendData(bytes("anyone?"), 1);
    ASSERT_TRUE(recorder->waitFor(Event::Sent));
    // The ICMP notice is consumed once it was seen; then the peer comes up.
    ASSERT_TRUE(test::waitFor([&] {
        int soerr = 0;
        socklen_t len = sizeof soerr;
        sock->performBlock([] {});
        ::getsockopt(sock->socket4FD(), SOL_SOCKET, SO_ERROR, &soerr, &len);
        return soerr == 0;
    }));
    UdpPeer peer(AF_INET, deadPort, true);
    ASSERT_TRUE(peer.ok());
    ASSERT_TRUE(peer.sendTo("here now", sock->localPort()));
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    EXPECT_EQ(recorder->count(Event::Closed), 0u);
}

// ================================================================ closing, multicast, broadcast, streams

TEST_F(UdpSocketTest, CloseWithoutDescriptorsSaysNothing) {
    sock->close();
    flush();
    EXPECT_EQ(recorder->total(), 0u);
}

TEST_F(UdpSocketTest, CloseDropsQueuedDatagramsSilentlyAndCanRebind) {
    auto filterQueue = DispatchQueue::createSerial("held-filter");
    filterQueue->suspend();  // the first datagram stays in its filter
    sock->setSendFilter([](const Bytes&, const Bytes&, long) { return true; }, filterQueue);
    UdpPeer peer;
    for (int i = 1; i <= 3; ++i) sock->sendData(bytes("q"), peer.address(), -1, i);
    sock->performBlock([] {});
    ASSERT_FALSE(sock->isClosed());
    sock->close();
    filterQueue->resume();
    filterQueue->sync([] {});
    ASSERT_TRUE(recorder->waitFor(Event::Closed));
    flush();
    EXPECT_EQ(recorder->total(), 1u);
    EXPECT_TRUE(recorder->first(Event::Closed).error.empty());
    EXPECT_FALSE(peer.receive(0ms));

    if (!UdpPeer::ipv6Available()) return;
    Error err;
    ASSERT_TRUE(sock->bindToPort(0, &err)) << err.toString();
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_TRUE(sock->isIPv6());
}

TEST_F(UdpSocketTest, DestroyingAnOpenSocketReportsCloseWithoutTheObject) {
    bindLoopback4();
    sock.reset();
    ASSERT_TRUE(recorder->waitFor(Event::Closed));
    Event e = recorder->first(Event::Closed);
    EXPECT_FALSE(e.hadSocket);
    EXPECT_TRUE(e.error.empty());
}

TEST_F(UdpSocketTest, CallbacksQueuedBeforeDestructionStillSeeTheSocket) {
    UdpPeer peer;
    delegateQueue->suspend();
    sock->sendData(bytes("x"), peer.address(), -1, 1);
    ASSERT_TRUE(peer.receive());
    sock->performBlock([] {});
    sock.reset();
    delegateQueue->resume();
    ASSERT_TRUE(recorder->waitFor(Event::Closed));
    EXPECT_TRUE(recorder->first(Event::Sent).hadSocket);
}

TEST_F(UdpSocketTest, MulticastAndBroadcastChecks) {
    Error err;
    EXPECT_FALSE(sock->joinMulticastGroup("239.1.2.3", &err));
    EXPECT_EQ(err.description, "Must bind a socket before joining a multicast group.");
    bindLoopback4();
    EXPECT_FALSE(sock->joinMulticastGroup("not-a-group", &err));
    EXPECT_EQ(err.description, "Unknown group. Specify valid group IP address.");
    EXPECT_FALSE(sock->joinMulticastGroup("239.1.2.3", "no-such-interface0", &err));
    EXPECT_EQ(err.code, errors::kGCDAsyncUdpSocketBadParamError);
    EXPECT_FALSE(sock->joinMulticastGroup("ff02::1:3", "127.0.0.1", &err));
    EXPECT_EQ(err.description, "Socket, group, and interface do not have matching IP versions");
    EXPECT_TRUE(sock->enableBroadcast(true, &err)) << err.toString();

    auto v6only = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    v6only->setIPv4Enabled(false);
    err = Error();
    EXPECT_FALSE(v6only->enableBroadcast(true, &err));
    EXPECT_TRUE(err.empty());

    UdpPeer peer;
    ASSERT_TRUE(sock->connectToAddress(peer.address()));
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    EXPECT_FALSE(sock->joinMulticastGroup("239.1.2.3", &err));
    EXPECT_EQ(err.description, "Cannot join a multicast group if connected.");
}

TEST_F(UdpSocketTest, StreamsOnlyOffTheSocketQueue) {
    EXPECT_EQ(sock->readStream(), nullptr);  // no descriptor yet
    bindLoopback4();
    bool insideNull = false;
    sock->performBlock([&] { insideNull = sock->readStream() == nullptr && sock->writeStream() == nullptr; });
    EXPECT_TRUE(insideNull);
    auto r = sock->readStream();
    auto w = sock->writeStream();
    ASSERT_NE(r, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(sock->readStream(), r);
    EXPECT_FALSE(sock->enableBackgroundingOnSockets());
    sock->close();
    EXPECT_EQ(r->status(), SocketStream::Status::Closed);
}

// Multicast needs an interface with the MULTICAST flag; loopback has none
// outside a namespace of our own, where the test may switch it on for lo.
constexpr const char* kInNamespaceEnv = "LUMORA_UDP_MULTICAST_NETNS";

TEST(UdpSocketMulticast, JoinLeaveAndReceiveInOwnNamespace) {
    if (!std::getenv(kInNamespaceEnv)) {
        test::runAgainInOwnNetworkNamespace(kInNamespaceEnv);
        return;
    }
    ASSERT_EQ(std::system("ip link set lo up multicast on && ip route add 224.0.0.0/4 dev lo"), 0);
    auto recorder = std::make_shared<Recorder>();
    auto sock = GCDAsyncUdpSocket::create(recorder, DispatchQueue::createSerial("mc-delegate"));
    Error err;
    ASSERT_TRUE(sock->bindToPort(0, &err)) << err.toString();
    uint16_t port = sock->localPort_IPv4();
    ASSERT_TRUE(sock->joinMulticastGroup("239.1.2.3", "lo", &err)) << err.toString();
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_FALSE(sock->isIPv6());  // joining an IPv4 group closed the IPv6 socket
    ASSERT_TRUE(sock->beginReceiving());
    UdpPeer sender;
    in_addr lo{};
    lo.s_addr = htonl(INADDR_LOOPBACK);
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(port);
    ::inet_pton(AF_INET, "239.1.2.3", &group.sin_addr);
    auto p = reinterpret_cast<const uint8_t*>(&group);
    ASSERT_TRUE(sender.sendTo(bytes("to-group"), Bytes(p, p + sizeof group)));
    ASSERT_TRUE(recorder->waitFor(Event::Received));
    EXPECT_EQ(text(recorder->first(Event::Received).data), "to-group");
    EXPECT_TRUE(sock->leaveMulticastGroup("239.1.2.3", "127.0.0.1", &err)) << err.toString();
}

}  // namespace
}  // namespace lumora
