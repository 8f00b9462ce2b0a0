// Listening, accepting, the stream pair and TLS of GCDAsyncSocket, over
// loopback only. Test certificates are made at test time with the openssl
// command in a temporary folder.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/network/GCDAsyncSocket.h"
#include "platform/ErrorCodes.h"
#include "support/TempDir.h"

namespace lumora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Settings = std::map<std::string, std::string>;

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

bool isSocketError(const Error& e, long code) {
    return e.domain == errors::kGCDAsyncSocketErrorDomain && e.code == code;
}

// ------------------------------------------------------------------ plain BSD peers

int connectRaw(int family, uint16_t port) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_storage ss{};
    socklen_t len;
    if (family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        a->sin6_addr = in6addr_loopback;
        len = sizeof *a;
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&ss), len) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool ipv6Loopback() {
    static const bool ok = [] {
        int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_addr = in6addr_loopback;
        bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        if (fd >= 0) ::close(fd);
        return bound;
    }();
    return ok;
}

// A plain listener on 127.0.0.1 for a socket to connect to.
struct RawListener {
    int fd = -1;
    uint16_t port = 0;
    RawListener() {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~RawListener() { ::close(fd); }
    int accept() {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return -1;
        return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    }
};

Bytes recvBytes(int fd, size_t n, std::chrono::milliseconds timeout = 10s) {
    Bytes out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        uint8_t buf[4096];
        ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0) break;
        out.insert(out.end(), buf, buf + r);
    }
    return out;
}

bool peerSeesClose(int fd, std::chrono::milliseconds timeout = 10s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        uint8_t buf[4096];
        if (::recv(fd, buf, sizeof buf, 0) <= 0) return true;
    }
    return false;
}

// ------------------------------------------------------------------ delegate

// Records callbacks; keeps accepted sockets unless told not to.
class Recorder : public GCDAsyncSocketDelegate {
public:
    void socketDidAcceptNewSocket(const SocketPtr&, const SocketPtr& newSocket) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (keepAccepted) accepted.push_back(newSocket);
            ++acceptCount;
        }
        if (onAccept) onAccept(newSocket);
        cv_.notify_all();
    }
    DispatchQueuePtr newSocketQueueForConnectionFromAddress(const Bytes& address, const SocketPtr&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        peerAddresses.push_back(address);
        return childQueue;
    }
    void socketDidConnectToHost(const SocketPtr& sock, const std::string&, uint16_t) override {
        bump(connects);
        if (onConnect) onConnect(sock);
    }
    void socketDidReadData(const SocketPtr& sock, Bytes data, long tag) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reads[sock.get()].push_back({tag, std::move(data)});
        }
        cv_.notify_all();
    }
    void socketDidWriteDataWithTag(const SocketPtr&, long) override { bump(writes); }
    void socketDidSecure(const SocketPtr& sock) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            secured.push_back(sock.get());
        }
        if (onSecure) onSecure(sock);
        cv_.notify_all();
    }
    void socketDidCloseReadStream(const SocketPtr&) override { bump(closeReads); }
    void socketDidDisconnect(const SocketPtr& sock, const Error& err) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            disconnects.push_back({sock.get(), err});
        }
        cv_.notify_all();
    }

    bool waitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout = 20s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return cv_.wait_for(lock, timeout, cond);
    }
    std::vector<Bytes> readsOf(GCDAsyncSocket* s) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Bytes> out;
        for (auto& r : reads[s]) out.push_back(r.second);
        return out;
    }
    size_t disconnectsOf(GCDAsyncSocket* s, Error* last = nullptr) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (auto& d : disconnects) {
            if (d.first != s) continue;
            ++n;
            if (last) *last = d.second;
        }
        return n;
    }
    size_t securedCount(GCDAsyncSocket* s) {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (auto* p : secured) n += p == s;
        return n;
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    bool keepAccepted = true;
    DispatchQueuePtr childQueue;
    std::function<void(const SocketPtr&)> onAccept, onConnect, onSecure;
    std::vector<SocketPtr> accepted;
    size_t acceptCount = 0, connects = 0, writes = 0, closeReads = 0;
    std::vector<Bytes> peerAddresses;
    std::map<GCDAsyncSocket*, std::vector<std::pair<long, Bytes>>> reads;
    std::vector<GCDAsyncSocket*> secured;
    std::vector<std::pair<GCDAsyncSocket*, Error>> disconnects;

private:
    void bump(size_t& counter) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++counter;
        }
        cv_.notify_all();
    }
};

uint16_t listeningPort(const GCDAsyncSocketPtr& s, int family) {
    uint16_t port = 0;
    s->performBlock([&] { port = family == AF_INET ? s->localPort4() : s->localPort6(); });
    return port;
}

// ------------------------------------------------------------------ listening

TEST(GCDAsyncSocketAccept, IPv4AndIPv6ClientsOnOneSystemChosenPort) {
    auto rec = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    rec->childQueue = DispatchQueue::createSerial("test.child");
    auto server = GCDAsyncSocket::create(rec, q);
    Error err;
    ASSERT_TRUE(server->acceptOnPort(0, &err)) << err.toString();
    uint16_t port4 = listeningPort(server, AF_INET);
    ASSERT_NE(port4, 0);
    if (ipv6Loopback()) {
        EXPECT_EQ(listeningPort(server, AF_INET6), port4);
    }

    std::vector<int> families{AF_INET};
    if (ipv6Loopback()) families.push_back(AF_INET6);
    for (size_t i = 0; i < families.size(); ++i) {
        SCOPED_TRACE(families[i] == AF_INET ? "IPv4" : "IPv6");
        int client = connectRaw(families[i], port4);
        ASSERT_GE(client, 0);
        ASSERT_TRUE(rec->waitUntil([&] { return rec->accepted.size() == i + 1; }));
        GCDAsyncSocketPtr child = rec->accepted[i];
        EXPECT_TRUE(child->isConnected());
        EXPECT_EQ(child->isIPv6(), families[i] == AF_INET6);
        EXPECT_EQ(child->socketQueue(), rec->childQueue);
        EXPECT_EQ(GCDAsyncSocket::hostFromAddress(rec->peerAddresses[i]), child->connectedHost());
        // The accepted socket reads and writes like a connected one.
        child->readDataToLength(4, 5.0, 7);
        ASSERT_EQ(::send(client, "ping", 4, MSG_NOSIGNAL), 4);
        ASSERT_TRUE(rec->waitUntil([&] { return rec->reads[child.get()].size() == 1; }));
        EXPECT_EQ(text(rec->readsOf(child.get())[0]), "ping");
        child->writeData(bytes("pong"), 5.0, 0);
        EXPECT_EQ(text(recvBytes(client, 4)), "pong");
        ::close(client);
    }
    server->disconnect();
    ASSERT_TRUE(rec->waitUntil([&] {
        for (auto& d : rec->disconnects) {
            if (d.first == server.get()) return true;
        }
        return false;
    }));
    // Nothing listens any more, once the listening descriptors closed.
    bool refused = false;
    for (int i = 0; i < 200 && !refused; ++i) {
        int late = connectRaw(AF_INET, port4);
        refused = late < 0;
        if (late >= 0) {
            ::close(late);
            std::this_thread::sleep_for(20ms);
        }
    }
    EXPECT_TRUE(refused);
}

TEST(GCDAsyncSocketAccept, AcceptedSocketNobodyKeepsIsClosed) {
    auto rec = std::make_shared<Recorder>();
    rec->keepAccepted = false;
    auto q = DispatchQueue::createSerial("test.delegate");
    auto server = GCDAsyncSocket::create(rec, q);
    ASSERT_TRUE(server->acceptOnInterface("127.0.0.1", 0));
    int client = connectRaw(AF_INET, listeningPort(server, AF_INET));
    ASSERT_GE(client, 0);
    ASSERT_TRUE(rec->waitUntil([&] { return rec->acceptCount == 1; }));
    EXPECT_TRUE(peerSeesClose(client));
    ::close(client);
    // The listener itself keeps listening.
    int second = connectRaw(AF_INET, listeningPort(server, AF_INET));
    EXPECT_GE(second, 0);
    ASSERT_TRUE(rec->waitUntil([&] { return rec->acceptCount == 2; }));
    if (second >= 0) ::close(second);
}

TEST(GCDAsyncSocketAccept, MisuseIsRefusedWithCodes) {
    auto rec = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto busy = GCDAsyncSocket::create(rec, q);
    ASSERT_TRUE(busy->acceptOnInterface("127.0.0.1", 0));
    uint16_t busyPort = listeningPort(busy, AF_INET);

    struct Case {
        const char* name;
        std::function<GCDAsyncSocketPtr()> make;
        std::string interface;
        uint16_t port;
        std::string domain;
        long code;  // 0: any POSIX error
    };
    auto plain = [&] { return GCDAsyncSocket::create(rec, q); };
    const std::string sockDomain = errors::kGCDAsyncSocketErrorDomain;
    const Case cases[] = {
        {"no delegate", [] { return GCDAsyncSocket::create(); }, "", 0, sockDomain, 1},
        {"no delegate queue", [&] { return GCDAsyncSocket::create(rec, nullptr); }, "", 0, sockDomain, 1},
        {"both families disabled",
         [&] {
             auto s = plain();
             s->setIPv4Enabled(false);
             s->setIPv6Enabled(false);
             return s;
         },
         "", 0, sockDomain, 1},
        {"already accepting", [&] { return busy; }, "", 0, sockDomain, 1},
        {"unknown interface", plain, "nosuchif0", 0, sockDomain, 2},
        {"IPv6 disabled on an IPv6-only interface",
         [&] {
             auto s = plain();
             s->setIPv6Enabled(false);
             return s;
         },
         "::1", 0, sockDomain, 2},
        {"port taken", plain, "127.0.0.1", busyPort, Error::kPosixDomain, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = c.make();
        Error err;
        EXPECT_FALSE(s->acceptOnInterface(c.interface, c.port, &err));
        EXPECT_EQ(err.domain, c.domain) << err.toString();
        if (c.code) {
            EXPECT_EQ(err.code, c.code) << err.toString();
        } else {
            EXPECT_EQ(err.meaning(), ErrorMeaning::AddressInUse) << err.toString();
        }
    }
    EXPECT_FALSE(busy->isDisconnected());  // the refused second call left it listening
}

// ------------------------------------------------------------------ stream pair

TEST(GCDAsyncSocketStreams, PeerEndClosesTheSocketOnce) {
    RawListener listener;
    auto rec = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(rec, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port, 5.0));
    int peer = listener.accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(rec->waitUntil([&] { return rec->connects == 1; }));
    // The pair stands once the connect was reported.
    bool haveStreams = false;
    for (int i = 0; i < 100 && !haveStreams; ++i) {
        sock->performBlock([&] { haveStreams = sock->readStream() && sock->readStream()->status() == SocketStream::Status::Open; });
        if (!haveStreams) std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(haveStreams);
    ::shutdown(peer, SHUT_RDWR);
    ASSERT_TRUE(rec->waitUntil([&] { return rec->disconnects.size() == 1; }));
    std::this_thread::sleep_for(200ms);  // room for a second report, which must not come
    Error err;
    EXPECT_EQ(rec->disconnectsOf(sock.get(), &err), 1u);
    EXPECT_TRUE(isSocketError(err, 7)) << err.toString();
    ::close(peer);
}

TEST(GCDAsyncSocketStreams, BackgroundingIsRefusedOnThisPlatform) {
    RawListener listener;
    auto rec = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(rec, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port, 5.0));
    int peer = listener.accept();
    ASSERT_TRUE(rec->waitUntil([&] { return rec->connects == 1; }));
    EXPECT_FALSE(sock->enableBackgroundingOnSocket());  // not on the socket queue
    EXPECT_FALSE(sock->enableBackgroundingOnSocketWithCaveat());
    bool onQueue = true, onQueueCaveat = true;
    sock->performBlock([&] {
        onQueue = sock->enableBackgroundingOnSocket();
        onQueueCaveat = sock->enableBackgroundingOnSocketWithCaveat();
    });
    EXPECT_FALSE(onQueue);
    EXPECT_FALSE(onQueueCaveat);
    EXPECT_TRUE(sock->isConnected());  // refusing it changed nothing
    ::close(peer);
}

// ------------------------------------------------------------------ TLS

// A test CA, and a server certificate it signed for localhost, 127.0.0.1
// and ::1.
class TLSFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new test::TempDir;
        std::string d = dir->path();
        std::string cmd =
            "cd '" + d + "' && "
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem "
            "-days 2 -subj '/CN=Lumora Test CA' -addext basicConstraints=critical,CA:TRUE "
            "-addext keyUsage=critical,keyCertSign,cRLSign && "
            "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key "
            "-out server.csr -subj '/CN=localhost' && "
            "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\\n' > ext.cnf && "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem -days 2 "
            "-extfile ext.cnf";
        made = std::system(("(" + cmd + ") >/dev/null 2>&1").c_str()) == 0;
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(made) << "openssl could not make the test certificates"; }
    // Stops listening and closes every accepted connection before the
    // certificates go: nothing may still use them, or the TLS library,
    // once the test is over.
    void TearDown() override {
        if (server) server->disconnect();
        serverQueue->sync([] {});
        std::vector<GCDAsyncSocketPtr> children;
        {
            std::lock_guard<std::mutex> lock(serverRec->mutex_);
            children.swap(serverRec->accepted);
        }
        for (auto& c : children) c->disconnect();
        serverQueue->sync([] {});
    }

    static Settings serverSettings() {
        return {{GCDAsyncSocket::kTLSSettingIsServer, "1"},
                {GCDAsyncSocket::kTLSSettingCertificateFile, dir->file("server.pem")},
                {GCDAsyncSocket::kTLSSettingPrivateKeyFile, dir->file("server.key")}};
    }
    static Settings trustingClient() { return {{GCDAsyncSocket::kTLSSettingTrustedCertificatesFile, dir->file("ca.pem")}}; }

    // A listening socket whose accepted connections start TLS as servers.
    void listen(Settings settings = serverSettings()) {
        serverRec->onAccept = [settings](const GCDAsyncSocketPtr& child) { child->startTLS(settings); };
        server = GCDAsyncSocket::create(serverRec, serverQueue);
        Error err;
        ASSERT_TRUE(server->acceptOnInterface("127.0.0.1", 0, &err)) << err.toString();
        port = listeningPort(server, AF_INET);
    }
    // The first accepted connection, once there.
    GCDAsyncSocketPtr waitChild() {
        if (!serverRec->waitUntil([&] { return !serverRec->accepted.empty(); })) return nullptr;
        std::lock_guard<std::mutex> lock(serverRec->mutex_);
        return serverRec->accepted.front();
    }

    static inline test::TempDir* dir = nullptr;
    static inline bool made = false;
    std::shared_ptr<Recorder> serverRec = std::make_shared<Recorder>();
    std::shared_ptr<Recorder> clientRec = std::make_shared<Recorder>();
    DispatchQueuePtr serverQueue = DispatchQueue::createSerial("test.server");
    DispatchQueuePtr clientQueue = DispatchQueue::createSerial("test.client");
    GCDAsyncSocketPtr server;
    uint16_t port = 0;
};

using GCDAsyncSocketTLS = TLSFixture;

TEST_F(GCDAsyncSocketTLS, ClientAndServerExchangeDataBothWays) {
    listen();
    Bytes big(1 << 20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 4096);
    // The server answers once secure; its read was queued before that.
    serverRec->onAccept = [&](const GCDAsyncSocketPtr& c) {
        c->startTLS(serverSettings());
        c->readDataToLength(5, 10.0, 1);
        c->readDataToLength(big.size(), 20.0, 2);
        c->writeData(bytes("hello from server"), 10.0, 0);
        c->writeData(big, 20.0, 0);
    };
    auto client = GCDAsyncSocket::create(clientRec, clientQueue);
    ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 5.0));
    // Everything below is queued before the handshake can have finished.
    client->startTLS(trustingClient());
    client->readDataToLength(17, 10.0, 1);
    client->readDataToLength(big.size(), 20.0, 2);
    client->writeData(bytes("hello"), 10.0, 0);
    client->writeData(big, 20.0, 0);

    ASSERT_TRUE(clientRec->waitUntil([&] { return clientRec->reads[client.get()].size() == 2; }))
        << clientRec->reads[client.get()].size() << " reads, " << clientRec->secured.size() << " secured, "
        << clientRec->writes << " writes, " << clientRec->disconnects.size() << " closes; server "
        << serverRec->reads.size() << " " << serverRec->secured.size() << " " << serverRec->writes;
    auto clientReads = clientRec->readsOf(client.get());
    EXPECT_EQ(text(clientReads[0]), "hello from server");
    EXPECT_TRUE(clientReads[1] == big);
    GCDAsyncSocketPtr child = waitChild();
    ASSERT_TRUE(child);
    ASSERT_TRUE(serverRec->waitUntil([&] { return serverRec->reads[child.get()].size() == 2; }));
    auto serverReads = serverRec->readsOf(child.get());
    EXPECT_EQ(text(serverReads[0]), "hello");
    EXPECT_TRUE(serverReads[1] == big);

    EXPECT_EQ(clientRec->securedCount(client.get()), 1u);
    EXPECT_EQ(serverRec->securedCount(child.get()), 1u);
    EXPECT_TRUE(client->isSecure());
    EXPECT_TRUE(child->isSecure());
    EXPECT_EQ(clientRec->disconnectsOf(client.get()), 0u);

    // A secure close reaches the other side as the end of the stream.
    client->disconnect();
    ASSERT_TRUE(serverRec->waitUntil([&] { return serverRec->disconnects.size() == 1; }));
    Error err;
    EXPECT_EQ(serverRec->disconnectsOf(child.get(), &err), 1u);
    EXPECT_TRUE(isSocketError(err, 7)) << err.toString();
}

TEST_F(GCDAsyncSocketTLS, SecondStartTLSIsDropped) {
    listen();
    auto client = GCDAsyncSocket::create(clientRec, clientQueue);
    ASSERT_TRUE(client->connectToHost("localhost", port, 5.0));  // peer name "localhost"
    client->startTLS(trustingClient());
    client->startTLS(trustingClient());
    client->writeData(bytes("after"), 10.0, 0);
    GCDAsyncSocketPtr child = waitChild();
    ASSERT_TRUE(child);
    child->readDataToLength(5, 10.0, 0);
    ASSERT_TRUE(serverRec->waitUntil([&] { return serverRec->reads[child.get()].size() == 1; }));
    EXPECT_EQ(text(serverRec->readsOf(child.get())[0]), "after");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(clientRec->securedCount(client.get()), 1u);
    EXPECT_EQ(clientRec->disconnectsOf(client.get()), 0u);
}

TEST_F(GCDAsyncSocketTLS, UntrustedOrMisnamedServerFailsTheHandshake) {
    struct Case {
        const char* name;
        Settings client;
    };
    const Case cases[] = {
        {"system trust store only", {}},
        {"trusted, but another name",
         {{GCDAsyncSocket::kTLSSettingTrustedCertificatesFile, dir->file("ca.pem")},
          {GCDAsyncSocket::kTLSSettingPeerName, "camera.example"}}},
    };
    listen();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto rec = std::make_shared<Recorder>();
        auto client = GCDAsyncSocket::create(rec, clientQueue);
        ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 5.0));
        client->startTLS(c.client);
        client->readDataToLength(1, 10.0, 0);
        client->writeData(bytes("secret"), 10.0, 0);
        ASSERT_TRUE(rec->waitUntil([&] { return rec->disconnects.size() == 1; }));
        Error err;
        rec->disconnectsOf(client.get(), &err);
        EXPECT_EQ(err.domain, errors::kStreamErrorDomainSSL) << err.toString();
        EXPECT_EQ(rec->securedCount(client.get()), 0u);
        EXPECT_EQ(rec->writes, 0u);
        EXPECT_FALSE(client->isSecure());
    }
    // No server side ever saw the handshake through, nor the secret.
    ASSERT_TRUE(serverRec->waitUntil([&] { return serverRec->disconnects.size() == 2; }));
    EXPECT_TRUE(serverRec->secured.empty());
    EXPECT_TRUE(serverRec->reads.empty());
}

TEST_F(GCDAsyncSocketTLS, VerificationCanBeSwitchedOff) {
    listen();
    auto client = GCDAsyncSocket::create(clientRec, clientQueue);
    ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 5.0));
    client->startTLS({{GCDAsyncSocket::kTLSSettingValidatesCertificateChain, "0"}});
    ASSERT_TRUE(clientRec->waitUntil([&] { return clientRec->secured.size() == 1; }));
    EXPECT_TRUE(client->isSecure());
}

TEST_F(GCDAsyncSocketTLS, UnusableSettingsCloseWithCode8) {
    listen();
    const Settings cases[] = {
        {{"NoSuchSetting", "1"}},
        {{GCDAsyncSocket::kTLSSettingIsServer, "maybe"}},
        {{GCDAsyncSocket::kTLSSettingIsServer, "1"}},  // a server without a certificate
        {{GCDAsyncSocket::kTLSSettingTrustedCertificatesFile, dir->file("missing.pem")}},
    };
    for (const Settings& settings : cases) {
        SCOPED_TRACE(settings.begin()->first);
        auto rec = std::make_shared<Recorder>();
        auto client = GCDAsyncSocket::create(rec, clientQueue);
        ASSERT_TRUE(client->connectToHost("127.0.0.1", port, 5.0));
        client->startTLS(settings);
        client->writeData(bytes("secret"), 10.0, 0);
        ASSERT_TRUE(rec->waitUntil([&] { return rec->disconnects.size() == 1; }));
        Error err;
        rec->disconnectsOf(client.get(), &err);
        EXPECT_TRUE(isSocketError(err, 8)) << err.toString();
        EXPECT_EQ(err.description, "Error in CFStreamSetProperty");
        EXPECT_EQ(rec->writes, 0u);
    }
}

TEST(GCDAsyncSocketTLSTransition, BytesAlreadyReadAheadRefuseTheUpgrade) {
    RawListener listener;
    auto rec = std::make_shared<Recorder>();
    auto q = DispatchQueue::createSerial("test.delegate");
    auto sock = GCDAsyncSocket::create(rec, q);
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port, 5.0));
    int peer = listener.accept();
    ASSERT_GE(peer, 0);
    ASSERT_EQ(::send(peer, "ab\r\ncd", 6, MSG_NOSIGNAL), 6);
    sock->readDataToData(GCDAsyncSocket::CRLFData(), 5.0, 0);  // leaves "cd" read ahead
    ASSERT_TRUE(rec->waitUntil([&] { return rec->reads[sock.get()].size() == 1; }));
    sock->startTLS();
    ASSERT_TRUE(rec->waitUntil([&] { return rec->disconnects.size() == 1; }));
    Error err;
    rec->disconnectsOf(sock.get(), &err);
    EXPECT_TRUE(isSocketError(err, 8));
    EXPECT_EQ(err.description, "Invalid TLS transition. Handshake has already been read from socket.");
    ::close(peer);
}

}  // namespace
}  // namespace lumora
