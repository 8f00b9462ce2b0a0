#include "base/network/AsyncUdpSocket.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "UdpPeer.h"
#include "platform/ErrorCodes.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using test::UdpPeer;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

struct Event {
    enum Kind { Sent, NotSent, Offered, NotReceived, Closed };
    Kind kind;
    long tag = 0;
    Error error;
    std::string data;
    std::string host;
    uint16_t port = 0;
    bool taken = false;

    explicit Event(Kind kind, long tag = 0, Error error = {}) : kind(kind), tag(tag), error(std::move(error)) {}
};

// Records every callback. Datagrams are taken unless `answer` says otherwise;
// `onEvent` lets a test act from inside a callback.
class Recorder : public AsyncUdpSocketDelegate {
public:
    std::function<bool(const std::string& data)> answer;
    std::function<void(AsyncUdpSocket&, const Event&)> onEvent;
    std::vector<Event> events;
    std::thread::id lastThread;

    void onUdpSocketDidSendDataWithTag(AsyncUdpSocket& s, long tag) override { add(s, Event(Event::Sent, tag)); }
    void onUdpSocketDidNotSendDataWithTag(AsyncUdpSocket& s, long tag, const Error& error) override {
        add(s, Event(Event::NotSent, tag, error));
    }
    bool onUdpSocketDidReceiveData(AsyncUdpSocket& s, const ByteBuffer& data, long tag, const std::string& host,
                                   uint16_t port) override {
        bool taken = answer ? answer(text(data)) : true;
        Event e(Event::Offered, tag);
        e.data = text(data);
        e.host = host;
        e.port = port;
        e.taken = taken;
        add(s, e);
        return taken;
    }
    void onUdpSocketDidNotReceiveDataWithTag(AsyncUdpSocket& s, long tag, const Error& error) override {
        add(s, Event(Event::NotReceived, tag, error));
    }
    void onUdpSocketDidClose(AsyncUdpSocket& s) override { add(s, Event(Event::Closed)); }

    size_t count(Event::Kind kind) const {
        size_t n = 0;
        for (const Event& e : events) n += e.kind == kind;
        return n;
    }
    std::vector<Event> all(Event::Kind kind) const {
        std::vector<Event> out;
        for (const Event& e : events)
            if (e.kind == kind) out.push_back(e);
        return out;
    }

private:
    void add(AsyncUdpSocket& s, Event e) {
        lastThread = std::this_thread::get_id();
        events.push_back(e);
        if (onEvent) onEvent(s, events.back());
    }
};

// Everything runs on the test thread's run loop, which the socket belongs to.
bool runUntil(const std::function<bool()>& pred, std::chrono::nanoseconds timeout = 20s) {
    return RunLoop::current().runUntil(pred, timeout);
}

// Runs the loop until everything posted so far (and what it posted in turn
// before this marker ran) has run.
void settle() {
    for (int i = 0; i < 3; ++i) {
        bool done = false;
        RunLoop::current().perform([&] { done = true; });
        runUntil([&] { return done; });
    }
}

Bytes loopback4(uint16_t port) { return UdpPeer::loopback(AF_INET, port); }

class AsyncUdpSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = std::make_shared<Recorder>();
        sock = AsyncUdpSocket::create(recorder);
    }
    uint16_t bindLoopback4() {
        Error err;
        EXPECT_TRUE(sock->bindToAddress("127.0.0.1", 0, &err)) << err.toString();
        return sock->localPort();
    }
    std::shared_ptr<Recorder> recorder;
    AsyncUdpSocketPtr sock;
};

// ================================================================ binding and connecting

TEST_F(AsyncUdpSocketTest, BindsToALoopbackAddressAndReceivesWithTheSendersAddress) {
    uint16_t port = bindLoopback4();
    ASSERT_NE(port, 0);
    EXPECT_EQ(sock->localHost(), "127.0.0.1");
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_FALSE(sock->isIPv6());  // an IPv4 address only: the IPv6 socket is gone
    EXPECT_GE(sock->getUdpSocket(), 0);

    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("hello", port));
    sock->receiveWithTimeout(-1, 7);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    Event e = recorder->all(Event::Offered)[0];
    EXPECT_EQ(e.tag, 7);
    EXPECT_EQ(e.data, "hello");
    EXPECT_EQ(e.host, "127.0.0.1");
    EXPECT_EQ(e.port, peer.port());
}

TEST_F(AsyncUdpSocketTest, WildcardBindGivesBothFamiliesOnePort) {
    if (!UdpPeer::ipv6Available()) GTEST_SKIP() << "no IPv6 loopback";
    Error err;
    ASSERT_TRUE(sock->bindToPort(0, &err)) << err.toString();
    ASSERT_TRUE(sock->isIPv4());
    ASSERT_TRUE(sock->isIPv6());
    uint16_t port = sock->localPort();
    UdpPeer peer4(AF_INET), peer6(AF_INET6);
    ASSERT_TRUE(peer4.sendTo("four", port));
    ASSERT_TRUE(peer6.sendTo("six", port));
    sock->receiveWithTimeout(-1, 1);
    sock->receiveWithTimeout(-1, 2);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 2; }));
    std::vector<std::string> got;
    for (const Event& e : recorder->all(Event::Offered)) got.push_back(e.data + "@" + e.host);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, (std::vector<std::string>{"four@127.0.0.1", "six@::1"}));
}

TEST_F(AsyncUdpSocketTest, MisuseThrowsWithItsText) {
    struct Case {
        const char* name;
        std::function<void(AsyncUdpSocket&)> setup;
        std::function<void(AsyncUdpSocket&)> misuse;
        const char* text;
    };
    UdpPeer peer;
    uint16_t peerPort = peer.port();
    auto bind = [](AsyncUdpSocket& s) { ASSERT_TRUE(s.bindToAddress("127.0.0.1", 0)); };
    auto connect = [peerPort](AsyncUdpSocket& s) { ASSERT_TRUE(s.connectToHost("127.0.0.1", peerPort)); };
    std::vector<Case> cases = {
        {"bind twice", bind, [](AsyncUdpSocket& s) { s.bindToPort(0); }, "Cannot bind a socket more than once."},
        {"bind after connect", connect, [](AsyncUdpSocket& s) { s.bindToPort(0); },
         "Cannot bind after connecting. If needed, bind first, then connect."},
        {"connect twice", connect, [&](AsyncUdpSocket& s) { s.connectToHost("127.0.0.1", peerPort); },
         "Cannot connect a socket more than once."},
        {"bind closed", [](AsyncUdpSocket& s) { s.close(); }, [](AsyncUdpSocket& s) { s.bindToPort(0); },
         "The socket is closed."},
        {"connect closed", [](AsyncUdpSocket& s) { s.close(); },
         [&](AsyncUdpSocket& s) { s.connectToAddress(loopback4(peerPort)); }, "The socket is closed."},
        {"join unbound", [](AsyncUdpSocket&) {}, [](AsyncUdpSocket& s) { s.joinMulticastGroup("239.1.2.3"); },
         "Must bind a socket before joining a multicast group."},
        {"join connected",
         [&](AsyncUdpSocket& s) {
             bind(s);
             connect(s);
         },
         [](AsyncUdpSocket& s) { s.joinMulticastGroup("239.1.2.3"); }, "Cannot join a multicast group if connected."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = AsyncUdpSocket::create();
        c.setup(*s);
        try {
            c.misuse(*s);
            ADD_FAILURE() << "no exception";
        } catch (const AsyncUdpSocketException& e) {
            EXPECT_STREQ(e.what(), c.text);
            EXPECT_STREQ(e.name(), "AsyncUdpSocketException");
        }
    }
}

TEST_F(AsyncUdpSocketTest, BindFailuresAnswerErrorsAndLeaveTheObjectUnbound) {
    struct Case {
        const char* name;
        std::function<AsyncUdpSocketPtr()> make;
        std::string host;
        long code;
    };
    std::vector<Case> cases = {
        {"IPv4 address on an IPv6-only object", [] { return AsyncUdpSocket::createIPv6(); }, "127.0.0.1",
         errors::kAsyncUdpSocketIPv4Unavailable},
        {"IPv6 address on an IPv4-only object", [] { return AsyncUdpSocket::createIPv4(); }, "::1",
         errors::kAsyncUdpSocketIPv6Unavailable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = c.make();
        Error err;
        EXPECT_FALSE(s->bindToAddress(c.host, 0, &err));
        EXPECT_EQ(err.domain, errors::kAsyncUdpSocketErrorDomain);
        EXPECT_EQ(err.code, c.code);
    }

    // A port held by a socket without address reuse: the system refuses.
    UdpPeer holder;
    Error err;
    EXPECT_FALSE(sock->bindToAddress("127.0.0.1", holder.port(), &err));
    EXPECT_EQ(err.domain, errors::kAsyncUdpSocketErrorDomain);
    EXPECT_EQ(err.code, errors::kAsyncUdpSocketCFSocketError);
    EXPECT_EQ(err.description, "General CFSocket error");
    // Nothing was bound: binding again works.
    EXPECT_TRUE(sock->bindToAddress("127.0.0.1", 0, &err)) << err.toString();
}

TEST_F(AsyncUdpSocketTest, AHalfDoneBindIsUndone) {
    if (!UdpPeer::ipv6Available()) GTEST_SKIP() << "no IPv6 loopback";
    // The port is free on 127.0.0.1 but held on ::1: the IPv4 socket binds,
    // the IPv6 one fails.
    UdpPeer holder6(AF_INET6);
    UdpPeer probe4(AF_INET, holder6.port());
    if (!probe4.ok()) GTEST_SKIP() << "port taken on IPv4 as well";
    probe4.close();
    Error err;
    EXPECT_FALSE(sock->bindToAddress("localhost", holder6.port(), &err));
    EXPECT_EQ(err.code, errors::kAsyncUdpSocketCFSocketError);
    ASSERT_TRUE(sock->isIPv4());
    ASSERT_TRUE(sock->isIPv6());
    ASSERT_TRUE(sock->bindToPort(0, &err)) << err.toString();
    uint16_t port = sock->localPort();
    ASSERT_NE(port, holder6.port());
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("after", port));
    sock->receiveWithTimeout(-1, 1);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    EXPECT_EQ(recorder->events[0].data, "after");
}

TEST_F(AsyncUdpSocketTest, ConnectsToOnePeer) {
    UdpPeer peer;
    Error err;
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", peer.port(), &err)) << err.toString();
    EXPECT_TRUE(sock->isConnected());
    EXPECT_TRUE(sock->isConnectedToHost("127.0.0.1", peer.port()));
    EXPECT_FALSE(sock->isConnectedToHost("127.0.0.1", static_cast<uint16_t>(peer.port() + 1)));
    EXPECT_EQ(sock->connectedHost(), "127.0.0.1");
    EXPECT_EQ(sock->connectedPort(), peer.port());
    EXPECT_FALSE(sock->isIPv6());

    ASSERT_TRUE(sock->sendData(bytes("to-peer"), -1, 5));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Sent) == 1; }));
    EXPECT_EQ(recorder->events[0].tag, 5);
    EXPECT_EQ(peer.receiveText(), "to-peer");

    ASSERT_TRUE(peer.sendTo("back", sock->localPort()));
    sock->receiveWithTimeout(-1, 6);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    EXPECT_EQ(recorder->all(Event::Offered)[0].data, "back");
    EXPECT_GT(sock->maximumTransmissionUnit(), 0u);
}

TEST_F(AsyncUdpSocketTest, ConnectFailuresAnswerErrors) {
    struct Case {
        const char* name;
        std::function<AsyncUdpSocketPtr()> make;
        std::function<bool(AsyncUdpSocket&, Error*)> connect;
        std::string domain;
        long code;
    };
    Bytes bad = loopback4(9);
    bad.resize(5);
    std::vector<Case> cases = {
        {"address of no known length", [] { return AsyncUdpSocket::create(); },
         [&](AsyncUdpSocket& s, Error* e) { return s.connectToAddress(bad, e); }, errors::kAsyncUdpSocketErrorDomain,
         errors::kAsyncUdpSocketBadParameter},
        {"IPv4 address on an IPv6-only object", [] { return AsyncUdpSocket::createIPv6(); },
         [](AsyncUdpSocket& s, Error* e) { return s.connectToAddress(loopback4(9), e); },
         errors::kAsyncUdpSocketErrorDomain, errors::kAsyncUdpSocketIPv4Unavailable},
        {"IPv6 host on an IPv4-only object", [] { return AsyncUdpSocket::createIPv4(); },
         [](AsyncUdpSocket& s, Error* e) { return s.connectToHost("::1", 9, e); }, errors::kAsyncUdpSocketErrorDomain,
         errors::kAsyncUdpSocketIPv6Unavailable},
        {"no host", [] { return AsyncUdpSocket::create(); },
         [](AsyncUdpSocket& s, Error* e) { return s.connectToHost("", 9, e); }, Error::kNetDbDomain, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = c.make();
        Error err;
        EXPECT_FALSE(c.connect(*s, &err));
        EXPECT_EQ(err.domain, c.domain);
        if (c.code != 0) {
            EXPECT_EQ(err.code, c.code);
        }
        EXPECT_FALSE(s->isConnected());
    }
}

// ================================================================ sending

TEST_F(AsyncUdpSocketTest, RefusesSendsThatCannotGo) {
    UdpPeer peer;
    auto connected = AsyncUdpSocket::create(recorder);
    ASSERT_TRUE(connected->connectToHost("127.0.0.1", peer.port()));
    auto v4only = AsyncUdpSocket::createIPv4();
    Bytes shortAddress = peer.address();
    shortAddress.resize(5);
    Bytes v6Address = UdpPeer::loopback(AF_INET6, peer.port());

    EXPECT_FALSE(sock->sendData(Bytes(), "127.0.0.1", peer.port(), -1, 1));               // empty data
    EXPECT_FALSE(sock->sendData(bytes("x"), -1, 1));                                      // not connected
    EXPECT_FALSE(connected->sendData(bytes("x"), "127.0.0.1", peer.port(), -1, 1));      // connected
    EXPECT_FALSE(connected->sendData(bytes("x"), peer.address(), -1, 1));                 // connected
    EXPECT_FALSE(sock->sendData(bytes("x"), "", peer.port(), -1, 1));                     // no host
    EXPECT_FALSE(sock->sendData(bytes("x"), shortAddress, -1, 1));                        // no address
    EXPECT_FALSE(v4only->sendData(bytes("x"), v6Address, -1, 1));                        // no IPv6 socket
    EXPECT_FALSE(v4only->sendData(bytes("x"), "::1", peer.port(), -1, 1));                // no IPv6 socket

    settle();
    EXPECT_TRUE(recorder->events.empty());
    EXPECT_FALSE(peer.receive(50ms));
}

TEST_F(AsyncUdpSocketTest, SendsInOrderAndBindsOnTheFirstSend) {
    UdpPeer peer;
    ASSERT_TRUE(sock->sendData(bytes("one"), "127.0.0.1", peer.port(), -1, 1));
    ASSERT_TRUE(sock->sendData(bytes("two"), peer.address(), 5.0, 2));
    ASSERT_TRUE(sock->sendData(bytes("three"), "localhost", peer.port(), 0, 3));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Sent) == 3; }));
    std::vector<long> tags;
    for (const Event& e : recorder->all(Event::Sent)) tags.push_back(e.tag);
    EXPECT_EQ(tags, (std::vector<long>{1, 2, 3}));
    uint16_t from = 0;
    for (const char* want : {"one", "two", "three"}) {
        auto got = peer.receive(10s, &from);
        ASSERT_TRUE(got);
        EXPECT_EQ(text(*got), want);
    }
    // The reply reaches the port the sends went out from.
    ASSERT_TRUE(peer.sendTo("reply", from));
    sock->receiveWithTimeout(5.0, 4);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    EXPECT_EQ(recorder->all(Event::Offered)[0].data, "reply");
    EXPECT_EQ(recorder->count(Event::NotReceived), 0u);
}

TEST_F(AsyncUdpSocketTest, AFailedSendIsReportedAndTheQueueGoesOn) {
    UdpPeer peer;
    Bytes tooLong(70000, 'x');  // more than one UDP datagram can carry
    ASSERT_TRUE(sock->sendData(tooLong, "127.0.0.1", peer.port(), -1, 1));
    ASSERT_TRUE(sock->sendData(bytes("fits"), "127.0.0.1", peer.port(), -1, 2));
    ASSERT_TRUE(runUntil([&] { return recorder->events.size() == 2; }));
    EXPECT_EQ(recorder->events[0].kind, Event::NotSent);
    EXPECT_EQ(recorder->events[0].tag, 1);
    EXPECT_TRUE(recorder->events[0].error.isPosix());
    EXPECT_EQ(recorder->events[1].kind, Event::Sent);
    EXPECT_EQ(recorder->events[1].tag, 2);
    EXPECT_EQ(peer.receiveText(), "fits");
}

TEST_F(AsyncUdpSocketTest, BroadcastIsAnOptionOfTheIPv4Socket) {
    Error err;
    ASSERT_TRUE(sock->enableBroadcast(true, &err)) << err.toString();
    int value = 0;
    socklen_t len = sizeof value;
    ASSERT_EQ(::getsockopt(sock->getUdpSocket(), SOL_SOCKET, SO_BROADCAST, &value, &len), 0);
    EXPECT_EQ(value, 1);
    ASSERT_TRUE(sock->enableBroadcast(false, &err));
    ::getsockopt(sock->getUdpSocket(), SOL_SOCKET, SO_BROADCAST, &value, &len);
    EXPECT_EQ(value, 0);
    auto v6only = AsyncUdpSocket::createIPv6();
    EXPECT_TRUE(v6only->enableBroadcast(true, &err));
    EXPECT_EQ(v6only->getUdpSocket(), -1);
}

// ================================================================ receiving

TEST_F(AsyncUdpSocketTest, ARefusedDatagramKeepsTheSameRequest) {
    uint16_t port = bindLoopback4();
    recorder->answer = [](const std::string& data) { return data != "refuse-me"; };
    sock->receiveWithTimeout(-1, 11);
    sock->receiveWithTimeout(-1, 12);
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("refuse-me", port));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    ASSERT_TRUE(peer.sendTo("take-me", port));
    ASSERT_TRUE(peer.sendTo("second", port));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 3; }));
    auto offered = recorder->all(Event::Offered);
    EXPECT_EQ(offered[0].tag, 11);
    EXPECT_FALSE(offered[0].taken);
    EXPECT_EQ(offered[1].tag, 11);
    EXPECT_EQ(offered[1].data, "take-me");
    EXPECT_TRUE(offered[1].taken);
    EXPECT_EQ(offered[2].tag, 12);
    EXPECT_EQ(offered[2].data, "second");
}

TEST_F(AsyncUdpSocketTest, AReceiveTimesOutAndTheNextRequestIsServed) {
    uint16_t port = bindLoopback4();
    sock->receiveWithTimeout(0.05, 3);
    sock->receiveWithTimeout(-1, 4);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::NotReceived) == 1; }));
    Event e = recorder->all(Event::NotReceived)[0];
    EXPECT_EQ(e.tag, 3);
    EXPECT_EQ(e.error.domain, errors::kAsyncUdpSocketErrorDomain);
    EXPECT_EQ(e.error.code, errors::kAsyncUdpSocketReceiveTimeoutError);
    EXPECT_EQ(e.error.description, "Receive operation timed out");
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("late", port));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    EXPECT_EQ(recorder->all(Event::Offered)[0].tag, 4);
}

TEST_F(AsyncUdpSocketTest, DatagramsAreTrimmedToTheirLengthAndCutToTheBuffer) {
    uint16_t port = bindLoopback4();
    sock->setMaxReceiveBufferSize(4);
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("ab", port));
    ASSERT_TRUE(peer.sendTo("", port));
    ASSERT_TRUE(peer.sendTo("abcdefgh", port));
    for (long tag = 1; tag <= 3; ++tag) sock->receiveWithTimeout(-1, tag);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 3; }));
    auto offered = recorder->all(Event::Offered);
    EXPECT_EQ(offered[0].data, "ab");
    EXPECT_EQ(offered[1].data, "");
    EXPECT_EQ(offered[2].data, "abcd");
}

TEST_F(AsyncUdpSocketTest, AReceiveFailureIsReportedOnce) {
    // A datagram to a closed port comes back as "port unreachable"; the
    // connected socket's next receive reports it.
    UdpPeer gone;
    uint16_t port = gone.port();
    gone.close();
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", port));
    sock->receiveWithTimeout(-1, 8);
    ASSERT_TRUE(sock->sendData(bytes("anyone?"), -1, 1));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::NotReceived) == 1; }));
    Event e = recorder->all(Event::NotReceived)[0];
    EXPECT_EQ(e.tag, 8);
    EXPECT_EQ(e.error.meaning(), ErrorMeaning::Refused);
    settle();
    EXPECT_EQ(recorder->count(Event::NotReceived), 1u);
}

// ================================================================ closing

TEST_F(AsyncUdpSocketTest, CloseIsToldOnALaterTurnAndOnlyOnce) {
    bindLoopback4();
    sock->receiveWithTimeout(-1, 1);
    settle();
    sock->close();
    EXPECT_TRUE(sock->isClosed());
    EXPECT_FALSE(sock->isIPv4());
    EXPECT_EQ(recorder->count(Event::Closed), 0u);  // not from inside close()
    sock->close();
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Closed) == 1; }));
    settle();
    EXPECT_EQ(recorder->events.size(), 1u);  // the dropped receive is not reported
    sock->receiveWithTimeout(-1, 2);
    EXPECT_FALSE(sock->sendData(bytes("x"), loopback4(9), -1, 1));
    settle();
    EXPECT_EQ(recorder->events.size(), 1u);
}

TEST_F(AsyncUdpSocketTest, DestroyingAfterCloseTellsNothing) {
    sock->close();
    sock.reset();
    settle();
    EXPECT_TRUE(recorder->events.empty());
}

TEST_F(AsyncUdpSocketTest, CloseAfterSendingSendsWhatIsQueuedThenCloses) {
    UdpPeer peer;
    ASSERT_TRUE(sock->sendData(bytes("first"), "127.0.0.1", peer.port(), -1, 1));
    ASSERT_TRUE(sock->sendData(bytes("second"), "127.0.0.1", peer.port(), -1, 2));
    sock->closeAfterSending();
    EXPECT_FALSE(sock->sendData(bytes("third"), "127.0.0.1", peer.port(), -1, 3));
    sock->receiveWithTimeout(-1, 4);  // ignored
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Closed) == 1; }));
    ASSERT_EQ(recorder->events.size(), 3u);
    EXPECT_EQ(recorder->events[0].kind, Event::Sent);
    EXPECT_EQ(recorder->events[1].kind, Event::Sent);
    EXPECT_EQ(recorder->events[2].kind, Event::Closed);
    EXPECT_EQ(peer.receiveText(), "first");
    EXPECT_EQ(peer.receiveText(), "second");
}

TEST_F(AsyncUdpSocketTest, CloseAfterSendingAndReceivingWaitsForBoth) {
    uint16_t port = bindLoopback4();
    UdpPeer peer;
    sock->receiveWithTimeout(-1, 1);
    ASSERT_TRUE(sock->sendData(bytes("out"), "127.0.0.1", peer.port(), -1, 2));
    sock->closeAfterSendingAndReceiving();
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Sent) == 1; }));
    settle();
    EXPECT_FALSE(sock->isClosed());  // the receive is still open
    ASSERT_TRUE(peer.sendTo("in", port));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Closed) == 1; }));
    EXPECT_EQ(recorder->all(Event::Offered)[0].data, "in");
    EXPECT_TRUE(sock->isClosed());
}

TEST_F(AsyncUdpSocketTest, CloseAfterReceivingWithNothingQueuedClosesOnTheNextTurn) {
    sock->closeAfterReceiving();
    EXPECT_FALSE(sock->isClosed());
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Closed) == 1; }));
    EXPECT_TRUE(sock->isClosed());
}

// ================================================================ the delegate from inside

TEST_F(AsyncUdpSocketTest, ADelegateMayCloseAndDropTheSocketInsideACallback) {
    uint16_t port = bindLoopback4();
    UdpPeer peer;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(peer.sendTo("d" + std::to_string(i), port));
    recorder->answer = [](const std::string&) { return false; };  // keeps reading
    recorder->onEvent = [&](AsyncUdpSocket& s, const Event& e) {
        if (e.kind != Event::Offered) return;
        s.close();
        sock.reset();  // the last owner lets go mid-callback
    };
    sock->receiveWithTimeout(-1, 1);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    settle();
    // No more datagrams were offered, and the pending close notice died
    // with the object.
    EXPECT_EQ(recorder->events.size(), 1u);
}

TEST_F(AsyncUdpSocketTest, AGoneDelegateHearsNothing) {
    uint16_t port = bindLoopback4();
    recorder.reset();
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo("nobody", port));
    sock->receiveWithTimeout(-1, 1);
    ASSERT_TRUE(sock->sendData(bytes("x"), "127.0.0.1", peer.port(), -1, 2));
    ASSERT_TRUE(runUntil([&] { return peer.receive(0ms).has_value(); }));
    settle();
    sock->close();
    settle();
}

TEST_F(AsyncUdpSocketTest, ADelegateMayQueueMoreWorkFromItsCallbacks) {
    uint16_t port = bindLoopback4();
    UdpPeer peer;
    recorder->onEvent = [&](AsyncUdpSocket& s, const Event& e) {
        if (e.kind == Event::Offered && e.tag < 3) {
            s.receiveWithTimeout(-1, e.tag + 1);
            ASSERT_TRUE(s.sendData(bytes("echo-" + e.data), e.host, e.port, -1, e.tag));
        }
    };
    sock->receiveWithTimeout(-1, 1);
    for (const char* d : {"a", "b", "c"}) ASSERT_TRUE(peer.sendTo(d, port));
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 3 && recorder->count(Event::Sent) == 2; }));
    EXPECT_EQ(peer.receiveText(), "echo-a");
    EXPECT_EQ(peer.receiveText(), "echo-b");
}

// ================================================================ run loops and queries

TEST_F(AsyncUdpSocketTest, MovesToAnotherThreadsRunLoop) {
    EXPECT_FALSE(sock->moveToRunLoop(nullptr));
    EXPECT_TRUE(sock->moveToRunLoop(&RunLoop::current()));
    EXPECT_FALSE(sock->setRunLoopModes({}));
    EXPECT_TRUE(sock->setRunLoopModes({"mode-a", "mode-b"}));
    EXPECT_EQ(sock->runLoopModes(), (std::vector<std::string>{"mode-a", "mode-b"}));

    uint16_t port = bindLoopback4();
    sock->receiveWithTimeout(30.0, 1);  // its timer moves with it
    settle();

    std::atomic<bool> offered{false};
    recorder->onEvent = [&](AsyncUdpSocket&, const Event& e) {
        if (e.kind == Event::Offered) offered = true;
    };
    std::atomic<RunLoop*> workerLoop{nullptr};
    std::atomic<bool> done{false};
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        workerLoop = &RunLoop::current();
        RunLoop::current().runUntil([&] { return done.load(); }, 60s);
    });
    while (!workerLoop.load()) std::this_thread::yield();
    EXPECT_TRUE(sock->moveToRunLoop(workerLoop.load()));
    // From now on only the worker touches the socket and the recorder.

    UdpPeer peer;
    EXPECT_TRUE(peer.sendTo("moved", port));
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!offered.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(offered.load());
    // Close on the serving thread before it ends.
    std::atomic<bool> closed{false};
    workerLoop.load()->perform([&] {
        sock->close();
        closed = true;
    });
    while (!closed.load()) std::this_thread::yield();
    done = true;
    worker.join();
    EXPECT_EQ(recorder->lastThread, workerId);
    EXPECT_EQ(recorder->all(Event::Offered)[0].data, "moved");
    EXPECT_EQ(recorder->count(Event::NotReceived), 0u);
}

// The new loop sets the watchers and the running time-out up again itself:
// the moving thread leaves the object alone once the new loop may serve it.
TEST_F(AsyncUdpSocketTest, ARunningTimeOutFiresOnTheLoopMovedTo) {
    uint16_t port = bindLoopback4();
    sock->receiveWithTimeout(0.2, 5);  // running at the move, times out on the worker
    sock->receiveWithTimeout(-1, 6);    // then waits for the datagram there
    settle();
    std::atomic<bool> timedOut{false};
    std::atomic<bool> offered{false};
    recorder->onEvent = [&](AsyncUdpSocket&, const Event& e) {
        if (e.kind == Event::NotReceived) timedOut = true;
        if (e.kind == Event::Offered) offered = true;
    };
    std::atomic<RunLoop*> workerLoop{nullptr};
    std::atomic<bool> done{false};
    std::thread::id workerId;
    std::thread worker([&] {
        workerId = std::this_thread::get_id();
        workerLoop = &RunLoop::current();
        RunLoop::current().runUntil([&] { return done.load(); }, 60s);
    });
    while (!workerLoop.load()) std::this_thread::yield();
    EXPECT_TRUE(sock->moveToRunLoop(workerLoop.load()));

    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!timedOut.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(timedOut.load());
    UdpPeer peer;
    EXPECT_TRUE(peer.sendTo("after", port));
    while (!offered.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(offered.load());
    std::atomic<bool> closed{false};
    workerLoop.load()->perform([&] {
        sock->close();
        closed = true;
    });
    while (!closed.load()) std::this_thread::yield();
    done = true;
    worker.join();
    EXPECT_EQ(recorder->lastThread, workerId);
    ASSERT_EQ(recorder->count(Event::NotReceived), 1u);
    EXPECT_EQ(recorder->all(Event::NotReceived)[0].tag, 5);
    ASSERT_EQ(recorder->count(Event::Offered), 1u);
    EXPECT_EQ(recorder->all(Event::Offered)[0].tag, 6);
    EXPECT_EQ(recorder->all(Event::Offered)[0].data, "after");
}

unsigned interfaceMtu(const char* name) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq req{};
    std::strncpy(req.ifr_name, name, IFNAMSIZ - 1);
    int rc = ::ioctl(fd, SIOCGIFMTU, &req);
    ::close(fd);
    return rc == 0 ? static_cast<unsigned>(req.ifr_mtu) : 0;
}

TEST_F(AsyncUdpSocketTest, MaximumTransmissionUnitIsThatOfTheBoundInterface) {
    EXPECT_EQ(sock->maximumTransmissionUnit(), 0u);  // nothing bound
    auto wildcard = AsyncUdpSocket::create();
    ASSERT_TRUE(wildcard->bindToPort(0));
    EXPECT_EQ(wildcard->maximumTransmissionUnit(), 0u);  // all interfaces
    bindLoopback4();
    EXPECT_EQ(sock->maximumTransmissionUnit(), interfaceMtu("lo"));
    EXPECT_GT(sock->maximumTransmissionUnit(), 0u);
}

// ================================================================ multicast

TEST_F(AsyncUdpSocketTest, AGroupOfTheOtherFamilyIsABadParameter) {
    bindLoopback4();
    Error err;
    EXPECT_FALSE(sock->joinMulticastGroup("ff02::1", &err));
    EXPECT_EQ(err.domain, errors::kAsyncUdpSocketErrorDomain);
    EXPECT_EQ(err.code, errors::kAsyncUdpSocketBadParameter);
    EXPECT_EQ(err.description, "Invalid group and/or address, not matching existing socket(s)");
}

// Multicast needs an interface with the MULTICAST flag; loopback has none
// outside a namespace of our own, where the test may switch it on for lo.
constexpr const char* kInNamespaceEnv = "LUMORA_ASYNC_UDP_MULTICAST_NETNS";

TEST(AsyncUdpSocketMulticast, JoinsAGroupAndReceivesInOwnNamespace) {
    if (!std::getenv(kInNamespaceEnv)) {
        test::runAgainInOwnNetworkNamespace(kInNamespaceEnv);
        return;
    }
    ASSERT_EQ(std::system("ip link set lo up multicast on && ip route add 224.0.0.0/4 dev lo"), 0);
    auto recorder = std::make_shared<Recorder>();
    auto sock = AsyncUdpSocket::create(recorder);
    Error err;
    ASSERT_TRUE(sock->bindToPort(0, &err)) << err.toString();
    uint16_t port = sock->localPort();
    ASSERT_TRUE(sock->joinMulticastGroup("239.1.2.4", "127.0.0.1", &err)) << err.toString();
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_FALSE(sock->isIPv6());  // joining an IPv4 group closed the IPv6 socket

    UdpPeer sender;
    in_addr lo{};
    lo.s_addr = htonl(INADDR_LOOPBACK);
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo);
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(port);
    ::inet_pton(AF_INET, "239.1.2.4", &group.sin_addr);
    auto p = reinterpret_cast<const uint8_t*>(&group);
    ASSERT_TRUE(sender.sendTo(bytes("to-group"), Bytes(p, p + sizeof group)));
    sock->receiveWithTimeout(-1, 1);
    ASSERT_TRUE(runUntil([&] { return recorder->count(Event::Offered) == 1; }));
    EXPECT_EQ(recorder->all(Event::Offered)[0].data, "to-group");

    // A group address that is no group.
    auto other = AsyncUdpSocket::createIPv4();
    ASSERT_TRUE(other->bindToPort(0));
    EXPECT_FALSE(other->joinMulticastGroup("127.0.0.1", &err));
    EXPECT_EQ(err.domain, errors::kStreamErrorDomainPOSIX);
    EXPECT_EQ(err.description, "Unable to join IPv4 multicast group");
}

}  // namespace
}  // namespace lumora
