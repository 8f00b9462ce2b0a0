#include "base/network/GCDAsyncSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/ErrorCodes.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ------------------------------------------------------------------ peers

// A plain blocking BSD listener on loopback; the test is its only user.
class Listener {
public:
    Listener(int family, int backlog = 16, int rcvbuf = 0) : family_(family) {
        fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (rcvbuf > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
        sockaddr_storage ss{};
        socklen_t len;
        if (family == AF_INET) {
            auto* a = reinterpret_cast<sockaddr_in*>(&ss);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof *a;
        } else {
            ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
            auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            len = sizeof *a;
        }
        ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&ss), len) == 0 && ::listen(fd_, backlog) == 0;
        len = sizeof ss;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len);
        port_ = family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port)
                                  : ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    }
    ~Listener() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }
    int fd() const { return fd_; }
    std::string host() const { return family_ == AF_INET ? "127.0.0.1" : "::1"; }

    // The next connection, or -1 after the time-out.
    int accept(std::chrono::milliseconds timeout = 10s, uint16_t* peerPort = nullptr) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return -1;
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        int c = ::accept4(fd_, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_CLOEXEC);
        if (c >= 0 && peerPort) {
            *peerPort = ss.ss_family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port)
                                                : ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
        }
        return c;
    }

private:
    int family_;
    int fd_ = -1;
    uint16_t port_ = 0;
    bool ok_ = false;
};

bool ipv6Available() {
    static const bool available = Listener(AF_INET6).ok();
    return available;
}

void sendAll(int fd, const Bytes& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        ASSERT_GT(n, 0);
        done += static_cast<size_t>(n);
    }
}

// Reads until n bytes arrived, the peer closed, or the time-out passed.
Bytes recvBytes(int fd, size_t n, std::chrono::milliseconds timeout = 10s) {
    Bytes out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        uint8_t buf[65536];
        ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

// True when the peer's side reads end of stream (or a reset) within the time-out.
bool peerSeesClose(int fd, std::chrono::milliseconds timeout = 10s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        uint8_t buf[4096];
        ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0) return true;
    }
    return false;
}

// ------------------------------------------------------------------ delegate

struct Event {
    enum Kind { Connect, Read, PartialRead, Write, PartialWrite, CloseRead, Disconnect } kind;
    Bytes data;
    long tag = 0;
    size_t length = 0;
    Error error;
    std::string host;
    uint16_t port = 0;
};

// Records every callback; tests wait on it with generous time-outs.
class Recorder : public GCDAsyncSocketDelegate {
public:
    void socketDidConnectToHost(const SocketPtr&, const std::string& host, uint16_t port) override {
        add({Event::Connect, {}, 0, 0, {}, host, port});
    }
    void socketDidReadData(const SocketPtr& sock, Bytes data, long tag) override {
        add({Event::Read, std::move(data), tag, 0, {}, {}, 0});
        if (onRead) onRead(sock);
    }
    void socketDidReadPartialDataOfLength(const SocketPtr&, size_t length, long tag) override {
        add({Event::PartialRead, {}, tag, length, {}, {}, 0});
    }
    void socketDidWriteDataWithTag(const SocketPtr&, long tag) override { add({Event::Write, {}, tag, 0, {}, {}, 0}); }
    void socketDidWritePartialDataOfLength(const SocketPtr&, size_t length, long tag) override {
        add({Event::PartialWrite, {}, tag, length, {}, {}, 0});
    }
    void socketDidCloseReadStream(const SocketPtr&) override { add({Event::CloseRead, {}, 0, 0, {}, {}, 0}); }
    void socketDidDisconnect(const SocketPtr&, const Error& err) override {
        add({Event::Disconnect, {}, 0, 0, err, {}, 0});
    }

    bool implementsShouldTimeoutRead() const override { return static_cast<bool>(readExtension); }
    double socketShouldTimeoutReadWithTag(const SocketPtr&, long tag, double elapsed, size_t done) override {
        return readExtension(tag, elapsed, done);
    }

    std::function<void(const SocketPtr&)> onRead;
    std::function<double(long, double, size_t)> readExtension;

    bool waitFor(Event::Kind kind, size_t n = 1, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, [&] { return countLocked(kind) >= n; });
    }
    size_t count(Event::Kind kind) {
        std::lock_guard<std::mutex> lock(mutex_);
        return countLocked(kind);
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
        return all.empty() ? Event{kind, {}, 0, 0, {}, {}, 0} : all.front();
    }
    std::vector<Event::Kind> kinds() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Event::Kind> out;
        for (const Event& e : events_) out.push_back(e.kind);
        return out;
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

bool isSocketError(const Error& e, long code) {
    return e.domain == errors::kGCDAsyncSocketErrorDomain && e.code == code;
}

// Waits on the delegate queue for everything queued so far, then a short
// while longer for anything still on its way from the socket queue.
void settle(const DispatchQueuePtr& q, const GCDAsyncSocketPtr& sock) {
    sock->performBlock([] {});
    q->sync([] {});
    std::this_thread::sleep_for(100ms);
    sock->performBlock([] {});
    q->sync([] {});
}

// A socket connected to a plain peer, with the peer's descriptor.
class Connected : public ::testing::Test {
protected:
    void open(int family = AF_INET) {
        listener = std::make_unique<Listener>(family);
        ASSERT_TRUE(listener->ok());
        sock = GCDAsyncSocket::create(recorder, delegateQueue);
        Error err;
        ASSERT_TRUE(sock->connectToHost(listener->host(), listener->port(), 5.0, &err)) << err.toString();
        peer = listener->accept();
        ASSERT_GE(peer, 0);
        ASSERT_TRUE(recorder->waitFor(Event::Connect));
    }
    void TearDown() override {
        if (sock) sock->disconnect();
        if (peer >= 0) ::close(peer);
    }

    std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
    DispatchQueuePtr delegateQueue = DispatchQueue::createSerial("test.delegate");
    std::unique_ptr<Listener> listener;
    GCDAsyncSocketPtr sock;
    int peer = -1;
};

// ------------------------------------------------------------------ connecting

TEST(GCDAsyncSocketConnect, ConnectsOverIPv4AndIPv6) {
    for (int family : {AF_INET, AF_INET6}) {
        if (family == AF_INET6 && !ipv6Available()) continue;
        SCOPED_TRACE(family == AF_INET ? "IPv4" : "IPv6");
        Listener listener(family);
        ASSERT_TRUE(listener.ok());
        auto recorder = std::make_shared<Recorder>();
        auto q = DispatchQueue::createSerial("test.delegate");
        auto sock = GCDAsyncSocket::create(recorder, q);
        EXPECT_TRUE(sock->isDisconnected());
        Error err;
        ASSERT_TRUE(sock->connectToHost(listener.host(), listener.port(), 5.0, &err)) << err.toString();
        EXPECT_FALSE(sock->isDisconnected());
        int peer = listener.accept();
        ASSERT_GE(peer, 0);
        ASSERT_TRUE(recorder->waitFor(Event::Connect));
        Event e = recorder->first(Event::Connect);
        EXPECT_EQ(e.host, listener.host());
        EXPECT_EQ(e.port, listener.port());
        EXPECT_TRUE(sock->isConnected());
        EXPECT_EQ(sock->isIPv6(), family == AF_INET6);
        EXPECT_EQ(sock->connectedHost(), listener.host());
        EXPECT_EQ(sock->connectedPort(), listener.port());
        EXPECT_NE(sock->localPort(), 0);
        EXPECT_EQ(sock->socketFD(), -1);  // socket queue only

        sock->writeData(bytes("ping"), 5.0, 3);
        EXPECT_EQ(text(recvBytes(peer, 4)), "ping");
        ASSERT_TRUE(recorder->waitFor(Event::Write));
        EXPECT_EQ(recorder->first(Event::Write).tag, 3);

        sock->disconnect();
        EXPECT_TRUE(sock->isDisconnected());
        ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
        EXPECT_TRUE(recorder->first(Event::Disconnect).error.empty());
        EXPECT_TRUE(peerSeesClose(peer));
        ::close(peer);
    }
}

TEST(GCDAsyncSocketConnect, MisuseIsRefusedWithCodes) {
    Listener listener(AF_INET);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    struct Case {
        const char* name;
        std::function<GCDAsyncSocketPtr()> make;
        std::function<bool(GCDAsyncSocket&, Error*)> connect;
        long code;
    };
    auto plainConnect = [&](GCDAsyncSocket& s, Error* e) { return s.connectToHost("127.0.0.1", listener.port(), 5.0, e); };
    const Case cases[] = {
        {"no delegate", [&] { return GCDAsyncSocket::create(); }, plainConnect, 1},
        {"no delegate queue", [&] { return GCDAsyncSocket::create(recorder, nullptr); }, plainConnect, 1},
        {"both families disabled",
         [&] {
             auto s = GCDAsyncSocket::create(recorder, q);
             s->setIPv4Enabled(false);
             s->setIPv6Enabled(false);
             return s;
         },
         plainConnect, 1},
        {"empty host", [&] { return GCDAsyncSocket::create(recorder, q); },
         [](GCDAsyncSocket& s, Error* e) { return s.connectToHost("", 80, e); }, 2},
        {"unknown interface", [&] { return GCDAsyncSocket::create(recorder, q); },
         [&](GCDAsyncSocket& s, Error* e) {
             return s.connectToHost("127.0.0.1", listener.port(), "nosuchif0", 5.0, e);
         },
         2},
        {"address of 15 bytes", [&] { return GCDAsyncSocket::create(recorder, q); },
         [](GCDAsyncSocket& s, Error* e) { return s.connectToAddress(Bytes(15, 0), e); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto sock = c.make();
        Error err;
        EXPECT_FALSE(c.connect(*sock, &err));
        EXPECT_TRUE(isSocketError(err, c.code)) << err.toString();
        EXPECT_FALSE(err.description.empty());
        EXPECT_TRUE(sock->isDisconnected());
    }
    settle(q, GCDAsyncSocket::create());
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u);
}

TEST(GCDAsyncSocketConnect, ConnectWhileStartedFailsAndLeavesAttemptRunning) {
    Listener listener(AF_INET);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port(), 5.0));
    Error err;
    EXPECT_FALSE(sock->connectToHost("127.0.0.1", listener.port(), 5.0, &err));
    EXPECT_TRUE(isSocketError(err, 1)) << err.toString();
    int peer = listener.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    sock->writeData(bytes("still here"), 5.0, 0);
    EXPECT_EQ(text(recvBytes(peer, 10)), "still here");
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u);
    EXPECT_EQ(listener.accept(200ms), -1);  // the second call opened nothing
    sock->disconnect();
    ::close(peer);
}

TEST(GCDAsyncSocketConnect, TimeoutAgainstFullBacklogIgnoresLateResult) {
    Listener listener(AF_INET, 0);
    ASSERT_TRUE(listener.ok());
    // Fill the accept queue so that further handshakes stall.
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(listener.port());
        ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
        fillers.push_back(f);
    }
    std::this_thread::sleep_for(200ms);

    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port(), 0.3));
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    Event closed = recorder->first(Event::Disconnect);
    if (recorder->count(Event::Connect) > 0) GTEST_SKIP() << "this kernel completes handshakes past the backlog";
    EXPECT_TRUE(isSocketError(closed.error, 3)) << closed.error.toString();
    EXPECT_TRUE(sock->isDisconnected());

    // Let every stalled handshake complete now: nothing may reach the socket.
    while (true) {
        int c = listener.accept(300ms);
        if (c < 0) break;
        ::close(c);
    }
    settle(q, sock);
    EXPECT_EQ(recorder->count(Event::Connect), 0u);
    EXPECT_EQ(recorder->count(Event::Disconnect), 1u);

    // The socket connects again normally afterwards.
    Listener other(AF_INET);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", other.port(), 5.0));
    int peer = other.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    sock->disconnect();
    ::close(peer);
    for (int f : fillers) ::close(f);
}

TEST(GCDAsyncSocketConnect, LoopbackNamesNeverGoToTheResolver) {
    // "loopback" is unknown to the system resolver here, and "localhost" maps
    // to IPv4 only: both work only through the built-in shortcut.
    Listener listener4(AF_INET);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    Error err;
    ASSERT_TRUE(sock->connectToHost("loopback", listener4.port(), 5.0, &err)) << err.toString();
    int peer = listener4.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    EXPECT_EQ(recorder->first(Event::Connect).host, "127.0.0.1");  // IPv4 preferred
    sock->disconnect();
    ::close(peer);

    if (!ipv6Available()) return;
    Listener listener6(AF_INET6);
    sock->setPreferIPv4OverIPv6(false);
    ASSERT_TRUE(sock->connectToHost("localhost", listener6.port(), 5.0, &err)) << err.toString();
    peer = listener6.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Connect, 2));
    EXPECT_EQ(recorder->events(Event::Connect).back().host, "::1");
    sock->disconnect();
    ::close(peer);
}

TEST(GCDAsyncSocketConnect, DisabledFamilyIsNeverUsed) {
    if (!ipv6Available()) GTEST_SKIP() << "no IPv6 loopback";
    Listener listener6(AF_INET6);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    // "localhost" yields both families; with IPv4 off the IPv6 one is used
    // even though IPv4 is preferred.
    sock->setIPv4Enabled(false);
    ASSERT_TRUE(sock->connectToHost("localhost", listener6.port(), 5.0));
    int peer = listener6.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    EXPECT_TRUE(sock->isIPv6());
    sock->disconnect();
    ::close(peer);

    // With IPv6 off and only an IPv6 result the close carries code 8.
    sock->setIPv4Enabled(true);
    sock->setIPv6Enabled(false);
    ASSERT_TRUE(sock->connectToHost("::1", listener6.port(), 5.0));
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect, 2));
    Error e = recorder->events(Event::Disconnect).back().error;
    EXPECT_TRUE(isSocketError(e, 8)) << e.toString();
}

TEST(GCDAsyncSocketConnect, RefusedConnectionIsAPosixError) {
    int port;
    {
        Listener gone(AF_INET);
        port = gone.port();
    }
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", static_cast<uint16_t>(port), 5.0));
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    Error e = recorder->first(Event::Disconnect).error;
    EXPECT_TRUE(e.isPosix()) << e.toString();
    EXPECT_EQ(e.meaning(), ErrorMeaning::Refused) << e.toString();
}

TEST(GCDAsyncSocketConnect, BindsToTheGivenInterfaceAndPort) {
    uint16_t localPort;
    {
        Listener probe(AF_INET);  // borrow a free port number
        localPort = probe.port();
    }
    Listener listener(AF_INET);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    for (std::string iface : {std::string("lo"), "127.0.0.1:" + std::to_string(localPort)}) {
        SCOPED_TRACE(iface);
        auto sock = GCDAsyncSocket::create(recorder, q);
        Error err;
        ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port(), iface, 5.0, &err)) << err.toString();
        uint16_t peerPort = 0;
        int peer = listener.accept(10s, &peerPort);
        ASSERT_GE(peer, 0);
        if (iface != "lo") {
            EXPECT_EQ(peerPort, localPort);
        }
        sock->disconnect();
        ::close(peer);
    }
}

TEST(GCDAsyncSocketConnect, ReadsAndWritesQueuedBeforeConnectAreDropped) {
    Listener listener(AF_INET);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    sock->writeData(bytes("early"), 5.0, 1);
    sock->readDataWithTimeout(5.0, 1);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port(), 5.0));
    sock->writeData(bytes("late"), 5.0, 2);
    sock->readDataWithTimeout(5.0, 2);
    int peer = listener.accept();
    ASSERT_GE(peer, 0);
    EXPECT_EQ(text(recvBytes(peer, 4)), "late");
    sendAll(peer, bytes("answer"));
    ASSERT_TRUE(recorder->waitFor(Event::Read));
    EXPECT_EQ(recorder->first(Event::Read).tag, 2);
    EXPECT_EQ(recorder->first(Event::Write).tag, 2);
    sock->disconnect();
    ::close(peer);
}

// ------------------------------------------------------------------ reads

using GCDAsyncSocketRead = Connected;

TEST_F(GCDAsyncSocketRead, ExactReadArrivingInTwoSegments) {
    open();
    sock->readDataToLength(10, 5.0, 7);
    sendAll(peer, bytes("abcd"));
    ASSERT_TRUE(recorder->waitFor(Event::PartialRead));
    EXPECT_EQ(recorder->first(Event::PartialRead).length, 4u);
    EXPECT_EQ(recorder->first(Event::PartialRead).tag, 7);
    EXPECT_EQ(recorder->count(Event::Read), 0u);
    sendAll(peer, bytes("efghij"));
    ASSERT_TRUE(recorder->waitFor(Event::Read));
    EXPECT_EQ(text(recorder->first(Event::Read).data), "abcdefghij");
    EXPECT_EQ(recorder->first(Event::Read).tag, 7);
}

TEST_F(GCDAsyncSocketRead, TerminatorSplitAcrossArrivalsAndLeftoverBytes) {
    open();
    sock->readDataToData(GCDAsyncSocket::CRLFData(), 5.0, 1);
    sendAll(peer, bytes("ab\r"));
    ASSERT_TRUE(recorder->waitFor(Event::PartialRead));  // the first part was taken alone
    EXPECT_EQ(recorder->first(Event::PartialRead).length, 3u);
    sendAll(peer, bytes("\ncd"));
    ASSERT_TRUE(recorder->waitFor(Event::Read));
    EXPECT_EQ(text(recorder->first(Event::Read).data), "ab\r\n");
    // c, d wait in the socket and come with the next read without new bytes.
    sock->readDataWithTimeout(5.0, 2);
    ASSERT_TRUE(recorder->waitFor(Event::Read, 2));
    EXPECT_EQ(text(recorder->events(Event::Read)[1].data), "cd");
}

TEST_F(GCDAsyncSocketRead, SeveralLinesInOneArrival) {
    open();
    sendAll(peer, bytes("one\ntwo\nthree\n"));
    std::this_thread::sleep_for(100ms);
    for (int i = 0; i < 3; ++i) sock->readDataToData(GCDAsyncSocket::LFData(), 5.0, i);
    ASSERT_TRUE(recorder->waitFor(Event::Read, 3));
    auto reads = recorder->events(Event::Read);
    EXPECT_EQ(text(reads[0].data), "one\n");
    EXPECT_EQ(text(reads[1].data), "two\n");
    EXPECT_EQ(text(reads[2].data), "three\n");
    EXPECT_EQ(reads[2].tag, 2);
}

TEST_F(GCDAsyncSocketRead, AvailableReadTakesEverythingWaiting) {
    open();
    Bytes payload(3000);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 7);
    sendAll(peer, payload);
    std::this_thread::sleep_for(200ms);
    sock->readDataWithTimeout(5.0, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Read));
    EXPECT_EQ(recorder->first(Event::Read).data, payload);
    EXPECT_EQ(recorder->count(Event::Read), 1u);
}

TEST_F(GCDAsyncSocketRead, TerminatorNotFoundWithinMaximumClosesWithCode6) {
    open();
    sock->readDataToData(GCDAsyncSocket::CRLFData(), 5.0, 8, 0);
    sendAll(peer, bytes("0123456789\r\n"));
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    Error e = recorder->first(Event::Disconnect).error;
    EXPECT_TRUE(isSocketError(e, 6)) << e.toString();
    EXPECT_EQ(recorder->count(Event::Read), 0u);
}

TEST_F(GCDAsyncSocketRead, AvailableReadStopsAtItsMaximum) {
    open();
    auto buffer = std::make_shared<Bytes>(bytes("head"));
    sendAll(peer, bytes("0123456789"));
    std::this_thread::sleep_for(100ms);
    sock->readDataWithTimeout(5.0, buffer, 4, 6, 1);
    sock->readDataWithTimeout(5.0, 2);
    ASSERT_TRUE(recorder->waitFor(Event::Read, 2));
    auto reads = recorder->events(Event::Read);
    EXPECT_EQ(text(reads[0].data), "012345");
    EXPECT_EQ(text(*buffer), "head012345");
    EXPECT_EQ(text(reads[1].data), "6789");
}

TEST_F(GCDAsyncSocketRead, CallerBufferBoundsAndOwnedResult) {
    open();
    auto full = std::make_shared<Bytes>(100, 'x');
    sock->readDataToLength(3, 5.0, std::make_shared<Bytes>(100, 'x'), 101, 1);  // offset past the end: dropped
    sock->readDataToLength(3, 5.0, full, 100, 2);                              // offset at the end: accepted
    sendAll(peer, bytes("abc"));
    ASSERT_TRUE(recorder->waitFor(Event::Read));
    Event e = recorder->first(Event::Read);
    EXPECT_EQ(e.tag, 2);
    ASSERT_EQ(full->size(), 103u);
    EXPECT_EQ(text(Bytes(full->begin() + 100, full->end())), "abc");
    // The delegate's bytes do not change with the caller's buffer.
    full->assign(3, 'z');
    full->shrink_to_fit();
    EXPECT_EQ(text(e.data), "abc");
    EXPECT_EQ(recorder->count(Event::Read), 1u);
}

TEST_F(GCDAsyncSocketRead, ZeroTimeoutClosesWithCode4AndNegativeNeverTimesOut) {
    open();
    sock->readDataWithTimeout(-1, 1);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u);
    sendAll(peer, bytes("late"));
    ASSERT_TRUE(recorder->waitFor(Event::Read));

    sock->readDataWithTimeout(0.0, 2);
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    Error e = recorder->first(Event::Disconnect).error;
    EXPECT_TRUE(isSocketError(e, 4)) << e.toString();
}

TEST_F(GCDAsyncSocketRead, TimeoutExtensionKeepsTheReadAlive) {
    std::atomic<int> asked{0};
    recorder->readExtension = [&](long tag, double elapsed, size_t done) {
        EXPECT_EQ(tag, 5);
        EXPECT_EQ(done, 2u);
        if (asked++ == 0) {
            EXPECT_NEAR(elapsed, 0.1, 1e-9);
            return 60.0;  // plenty: the read finishes long before
        }
        return 0.0;
    };
    open();
    sock->performBlock([&] {
        // The bytes are reported before the read starts its 0.1 s timer, so
        // the question always sees them, however slow the machine.
        sendAll(peer, bytes("ab"));
        std::this_thread::sleep_for(100ms);
        sock->readDataToLength(4, 0.1, 5);
    });
    ASSERT_TRUE(recorder->waitFor(Event::PartialRead));
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (asked == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(asked.load(), 1);
    sendAll(peer, bytes("cd"));
    ASSERT_TRUE(recorder->waitFor(Event::Read));
    EXPECT_EQ(text(recorder->first(Event::Read).data), "abcd");
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u);
}

TEST_F(GCDAsyncSocketRead, EndOfStreamWithNothingQueuedClosesWithCode7) {
    open();
    ::shutdown(peer, SHUT_WR);
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    Error e = recorder->first(Event::Disconnect).error;
    EXPECT_TRUE(isSocketError(e, 7)) << e.toString();
}

TEST_F(GCDAsyncSocketRead, BytesBeforeEndOfStreamAreStillRead) {
    open();
    sendAll(peer, bytes("last words"));
    ::shutdown(peer, SHUT_WR);
    std::this_thread::sleep_for(100ms);
    sock->readDataToLength(10, 5.0, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    ASSERT_EQ(recorder->count(Event::Read), 1u);
    EXPECT_EQ(text(recorder->first(Event::Read).data), "last words");
    EXPECT_TRUE(isSocketError(recorder->first(Event::Disconnect).error, 7));
}

TEST_F(GCDAsyncSocketRead, HalfDuplexKeepsWritingAfterPeerClosedItsSide) {
    open();
    sock->setAutoDisconnectOnClosedReadStream(false);
    EXPECT_FALSE(sock->autoDisconnectOnClosedReadStream());
    ::shutdown(peer, SHUT_WR);
    ASSERT_TRUE(recorder->waitFor(Event::CloseRead));
    sock->writeData(bytes("goodbye"), 5.0, 0);
    EXPECT_EQ(text(recvBytes(peer, 7)), "goodbye");
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u);
}

TEST_F(GCDAsyncSocketRead, StaleReadinessIsNotEndOfStream) {
    open();
    sock->readDataToLength(4, 5.0, 1);
    sock->performBlock([] {});  // the read is current and waits for bytes
    sock->performBlock([&] {
        // While the socket queue is held: the bytes arrive (their readiness
        // report queues behind this block), then the next read is queued
        // behind that report. The exact read leaves 6 bytes; the next read
        // takes them before the report that came for them is handled.
        sendAll(peer, bytes("0123456789"));
        std::this_thread::sleep_for(100ms);
        sock->readDataWithTimeout(5.0, 2);
    });
    ASSERT_TRUE(recorder->waitFor(Event::Read, 2));
    settle(delegateQueue, sock);
    auto reads = recorder->events(Event::Read);
    EXPECT_EQ(text(reads[0].data), "0123");
    EXPECT_EQ(text(reads[1].data), "456789");
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u) << recorder->first(Event::Disconnect).error.toString();
    EXPECT_TRUE(sock->isConnected());
}

// ------------------------------------------------------------------ writes

using GCDAsyncSocketWrite = Connected;

TEST_F(GCDAsyncSocketWrite, WritesGoOutInOrderWithTheirTags) {
    open();
    sock->writeData(bytes("first,"), 5.0, 1);
    sock->writeData(Bytes(), 5.0, 9);  // empty: no callback at all
    sock->writeData(bytes("second"), 5.0, 2);
    EXPECT_EQ(text(recvBytes(peer, 12)), "first,second");
    ASSERT_TRUE(recorder->waitFor(Event::Write, 2));
    settle(delegateQueue, sock);
    auto writes = recorder->events(Event::Write);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].tag, 1);
    EXPECT_EQ(writes[1].tag, 2);
}

TEST(GCDAsyncSocketBigWrite, OneMiBToASlowPeer) {
    Listener listener(AF_INET, 16, 4096);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port(), 5.0));
    int peer = listener.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    sock->performBlock([&] {
        int small = 4096;
        ::setsockopt(sock->socketFD(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    });

    Bytes payload(1 << 20);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i % 251);
    sock->writeData(payload, 60.0, 4);

    Bytes got;
    while (got.size() < payload.size()) {
        Bytes part = recvBytes(peer, std::min<size_t>(8192, payload.size() - got.size()), 10s);
        ASSERT_FALSE(part.empty());
        got.insert(got.end(), part.begin(), part.end());
        if (got.size() < 256 * 1024) std::this_thread::sleep_for(1ms);  // slow at first
    }
    EXPECT_EQ(got, payload);
    ASSERT_TRUE(recorder->waitFor(Event::Write));
    settle(q, sock);
    auto partials = recorder->events(Event::PartialWrite);
    EXPECT_GE(partials.size(), 1u);
    size_t sum = 0;
    for (const Event& e : partials) {
        sum += e.length;
        EXPECT_EQ(e.tag, 4);
    }
    EXPECT_LT(sum, payload.size());
    EXPECT_EQ(recorder->count(Event::Write), 1u);
    // The completion comes after every partial report.
    auto kinds = recorder->kinds();
    EXPECT_EQ(std::find(kinds.begin(), kinds.end(), Event::Write) - kinds.begin() + 1,
              static_cast<long>(kinds.size()));
    sock->disconnect();
    ::close(peer);
}

TEST(GCDAsyncSocketBigWrite, TimeoutFiresWhileBytesStillFlow) {
    Listener listener(AF_INET, 16, 4096);
    auto recorder = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(recorder, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port(), 5.0));
    int peer = listener.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(recorder->waitFor(Event::Connect));
    sock->performBlock([&] {
        int small = 4096;
        ::setsockopt(sock->socketFD(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    });
    sock->writeData(Bytes(64 << 20), 0.5, 0);

    // The peer keeps reading slowly: progress does not restart the timer.
    size_t received = 0;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (recorder->count(Event::Disconnect) == 0 && std::chrono::steady_clock::now() < deadline) {
        received += recvBytes(peer, 2048, 50ms).size();
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(recorder->count(Event::Disconnect), 1u);
    Error e = recorder->first(Event::Disconnect).error;
    EXPECT_TRUE(isSocketError(e, 5)) << e.toString();
    EXPECT_GT(received, 0u);
    EXPECT_GE(recorder->count(Event::PartialWrite), 1u);
    EXPECT_EQ(recorder->count(Event::Write), 0u);
    ::close(peer);
}

TEST_F(GCDAsyncSocketWrite, PeerResetClosesWithAnErrorAndNoSignal) {
    std::signal(SIGPIPE, SIG_DFL);  // a broken pipe would kill this test
    open();
    linger hard{1, 0};
    ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ::close(peer);
    peer = -1;
    for (int i = 0; i < 20 && recorder->count(Event::Disconnect) == 0; ++i) {
        sock->writeData(Bytes(65536, 1), 5.0, i);
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    EXPECT_FALSE(recorder->first(Event::Disconnect).error.empty());
}

TEST_F(GCDAsyncSocketWrite, DisconnectAfterWritingFlushesFirst) {
    open();
    sock->writeData(Bytes(200000, 'q'), 5.0, 1);
    sock->disconnectAfterWriting();
    sock->writeData(bytes("refused"), 5.0, 2);  // after the request: dropped
    Bytes got = recvBytes(peer, 200007, 10s);
    EXPECT_EQ(got.size(), 200000u);
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    EXPECT_TRUE(recorder->first(Event::Disconnect).error.empty());
    EXPECT_EQ(recorder->count(Event::Write), 1u);
}

// ------------------------------------------------------------------ lifetime

using GCDAsyncSocketLifetime = Connected;

TEST_F(GCDAsyncSocketLifetime, ClearingTheDelegateSilencesTheClose) {
    open();
    sock->disconnect();  // a never-started socket stays silent too
    ASSERT_TRUE(recorder->waitFor(Event::Disconnect));
    auto quiet = GCDAsyncSocket::create(recorder, delegateQueue);
    quiet->disconnect();

    Listener listener2(AF_INET);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener2.port(), 5.0));
    int peer2 = listener2.accept();
    ASSERT_TRUE(recorder->waitFor(Event::Connect, 2));
    sock->setDelegate(nullptr);
    sock->disconnect();
    settle(delegateQueue, sock);
    EXPECT_EQ(recorder->count(Event::Disconnect), 1u);
    EXPECT_TRUE(peerSeesClose(peer2));
    ::close(peer2);
}

TEST_F(GCDAsyncSocketLifetime, DestroyingAnOpenSocketClosesWithoutCallbacks) {
    open();
    sock->readDataWithTimeout(-1, 0);
    sock.reset();
    EXPECT_TRUE(peerSeesClose(peer));
    std::this_thread::sleep_for(100ms);
    delegateQueue->sync([] {});
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u);
}

TEST_F(GCDAsyncSocketLifetime, DelegateDyingWithCallbacksInFlight) {
    open();
    // Hold the delegate queue so callbacks pile up behind it.
    std::mutex gate;
    gate.lock();
    delegateQueue->async([&] { std::lock_guard<std::mutex> wait(gate); });
    for (int i = 0; i < 20; ++i) sock->writeData(bytes("x"), 5.0, i);
    sock->readDataWithTimeout(5.0, 0);
    sendAll(peer, bytes("data"));
    recvBytes(peer, 20);
    sock->performBlock([] {});
    std::this_thread::sleep_for(100ms);
    sock->disconnect();

    std::weak_ptr<Recorder> weak = recorder;
    recorder.reset();  // the only owner: the delegate is gone now
    EXPECT_TRUE(weak.expired());
    gate.unlock();
    delegateQueue->sync([] {});  // every queued callback ran (and found no delegate)
    std::weak_ptr<GCDAsyncSocket> weakSock = sock;
    sock.reset();
    delegateQueue->sync([] {});
    EXPECT_TRUE(weakSock.expired());
}

TEST_F(GCDAsyncSocketLifetime, ReplacedDelegateGetsNoCallbacksMeantForTheOldOne) {
    open();
    std::mutex gate;
    gate.lock();
    delegateQueue->async([&] { std::lock_guard<std::mutex> wait(gate); });
    sock->writeData(bytes("x"), 5.0, 1);
    recvBytes(peer, 1);
    sock->performBlock([] {});
    auto second = std::make_shared<Recorder>();
    sock->setDelegate(second);
    gate.unlock();
    sock->writeData(bytes("y"), 5.0, 2);
    ASSERT_TRUE(second->waitFor(Event::Write));
    settle(delegateQueue, sock);
    EXPECT_EQ(recorder->count(Event::Write), 0u);
    EXPECT_EQ(second->count(Event::Write), 1u);
    EXPECT_EQ(second->first(Event::Write).tag, 2);
}

TEST_F(GCDAsyncSocketLifetime, ReadsQueuedFromInsideCallbacks) {
    // The users' pattern: read again from every read callback.
    recorder->onRead = [](const GCDAsyncSocketPtr& s) { s->readDataWithTimeout(5.0, 0); };
    open();
    sock->readDataWithTimeout(5.0, 0);
    Bytes sent;
    for (int i = 0; i < 50; ++i) {
        Bytes chunk(100, static_cast<uint8_t>(i));
        sendAll(peer, chunk);
        sent.insert(sent.end(), chunk.begin(), chunk.end());
        std::this_thread::sleep_for(2ms);
    }
    auto deadline = std::chrono::steady_clock::now() + 10s;
    size_t total = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        total = 0;
        for (const Event& e : recorder->events(Event::Read)) total += e.data.size();
        if (total >= sent.size()) break;
        std::this_thread::sleep_for(10ms);
    }
    Bytes got;
    for (const Event& e : recorder->events(Event::Read)) got.insert(got.end(), e.data.begin(), e.data.end());
    EXPECT_EQ(got, sent);  // every byte, in order, nothing left behind
    EXPECT_EQ(recorder->count(Event::Disconnect), 0u);
}

// ------------------------------------------------------------------ helpers

TEST(GCDAsyncSocketAddress, ParsesOnlyWholeAddresses) {
    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_port = htons(8080);
    ::inet_pton(AF_INET, "10.1.2.3", &a4.sin_addr);
    Bytes v4(reinterpret_cast<uint8_t*>(&a4), reinterpret_cast<uint8_t*>(&a4) + sizeof a4);
    std::string host;
    uint16_t port = 0;
    EXPECT_TRUE(GCDAsyncSocket::getHost(&host, &port, v4));
    EXPECT_EQ(host, "10.1.2.3");
    EXPECT_EQ(port, 8080);
    EXPECT_TRUE(GCDAsyncSocket::getHost(nullptr, nullptr, v4));
    EXPECT_FALSE(GCDAsyncSocket::getHost(&host, &port, Bytes(v4.begin(), v4.begin() + 15)));

    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(443);
    a6.sin6_addr = in6addr_loopback;
    Bytes v6(reinterpret_cast<uint8_t*>(&a6), reinterpret_cast<uint8_t*>(&a6) + sizeof a6);
    EXPECT_EQ(GCDAsyncSocket::hostFromAddress(v6), "::1");
    EXPECT_EQ(GCDAsyncSocket::portFromAddress(v6), 443);
    EXPECT_FALSE(GCDAsyncSocket::getHost(&host, &port, Bytes(v6.begin(), v6.begin() + 20)));
    EXPECT_EQ(GCDAsyncSocket::portFromAddress(Bytes(3, 0)), 0);
}

TEST(GCDAsyncSocketConfig, SettersFromAnotherQueueAreSeenInOrder) {
    auto sock = GCDAsyncSocket::create();
    EXPECT_TRUE(sock->isIPv4Enabled());
    EXPECT_TRUE(sock->isIPv6Enabled());
    EXPECT_TRUE(sock->isIPv4PreferredOverIPv6());
    EXPECT_TRUE(sock->autoDisconnectOnClosedReadStream());
    sock->setIPv6Enabled(false);
    sock->setPreferIPv4OverIPv6(false);
    EXPECT_FALSE(sock->isIPv6Enabled());
    EXPECT_FALSE(sock->isIPv4PreferredOverIPv6());
    auto data = std::make_shared<int>(5);
    sock->setUserData(data);
    EXPECT_EQ(sock->userData(), data);
    EXPECT_FALSE(sock->enableBackgroundingOnSocket());
    Error err;
    EXPECT_FALSE(sock->acceptOnPort(0, &err));  // no delegate yet
    EXPECT_TRUE(isSocketError(err, 1));
}

}  // namespace
}  // namespace lumora
