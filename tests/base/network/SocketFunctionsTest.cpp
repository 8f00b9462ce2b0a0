#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/network/SocketFunctions.h"
#include "platform/Log.h"

using namespace lumora;

namespace {

int openDescriptorCount() {
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    if (!d) return -1;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] != '.') ++n;
    }
    ::closedir(d);
    return n - 1;  // the directory's own descriptor
}

uint16_t boundPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A TCP listener on 127.0.0.1 with an ephemeral port.
struct Listener {
    explicit Listener(int backlog = 16) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd, backlog);
        port = boundPort(fd);
    }
    ~Listener() { ::close(fd); }
    int accept() { return ::accept(fd, nullptr, nullptr); }
    int fd = -1;
    uint16_t port = 0;
};

// A loopback port where nothing listens (bound once, then released).
uint16_t closedPort() {
    Listener l;
    return l.port;
}

struct ConnectedPair {
    ConnectedPair() {
        client = tcpSocketConnectTimeout("127.0.0.1", listener.port, 5000);
        server = listener.accept();
    }
    ~ConnectedPair() {
        socketClose(client);
        if (server >= 0) ::close(server);
    }
    Listener listener;
    int client = 0;
    int server = -1;
};

}  // namespace

TEST(SocketFunctions, ReceiveTimeOutIsMinusOneOnTcpAndZeroOnUdp) {
    ConnectedPair pair;
    ASSERT_GT(pair.client, 0);
    char buf[16];
    EXPECT_EQ(tcpSocketRecvTimeout(pair.client, buf, sizeof buf, 30), -1);

    int udp = udpSocketCreateBind(0);
    ASSERT_GT(udp, 0);
    std::string from = "untouched";
    uint16_t fromPort = 7;
    EXPECT_EQ(udpSocketRecvFrom(udp, from, fromPort, buf, sizeof buf, 30), 0);
    EXPECT_EQ(from, "untouched");
    EXPECT_EQ(fromPort, 7);
    socketClose(udp);
}

TEST(SocketFunctions, TcpDataThenPeerCloseGivesZero) {
    ConnectedPair pair;
    ASSERT_GT(pair.client, 0);
    ASSERT_GE(pair.server, 0);
    EXPECT_EQ(tcpSocketSendTimeout(pair.client, "hello", 5, 2000), 5);
    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    ASSERT_EQ(::recv(pair.server, buf, sizeof buf, 0), 5);
    ASSERT_EQ(::send(pair.server, "world", 5, 0), 5);
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(tcpSocketRecvTimeout(pair.client, buf, sizeof buf, 5000), 5);
    EXPECT_EQ(std::string(buf), "world");  // the rest of the buffer was cleared

    ::close(pair.server);
    pair.server = -1;
    EXPECT_EQ(tcpSocketRecvTimeout(pair.client, buf, sizeof buf, 5000), 0);
    // Sending into a closed link reports failure, never SIGPIPE. The test
    // runner ignores the signal for every test: let it kill this one if the
    // send raises it.
    std::signal(SIGPIPE, SIG_DFL);
    int sent = 0;
    for (int i = 0; i < 50; ++i) {
        sent = tcpSocketSendTimeout(pair.client, "x", 1, 1000);
        if (sent <= 0) break;
        ::usleep(10000);
    }
    EXPECT_LE(sent, 0);
}

TEST(SocketFunctions, UdpRoundTripReportsSender) {
    int a = udpSocketCreateBind(0);
    int b = udpSocketCreateBind(0);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(udpSocketSendTo(a, "127.0.0.1", boundPort(b), "ping", 4), 4);
    char buf[1024];
    std::string from;
    uint16_t fromPort = 0;
    EXPECT_EQ(udpSocketRecvFrom(b, from, fromPort, buf, sizeof buf, 5000), 4);
    EXPECT_EQ(std::string(buf, 4), "ping");
    EXPECT_EQ(from, "127.0.0.1");
    EXPECT_EQ(fromPort, boundPort(a));

    // A port that is taken cannot be bound a second time.
    Log::takeHeld();
    EXPECT_EQ(udpSocketCreateBind(boundPort(a)), 0);
    EXPECT_NE(Log::held().find("closeudp==="), std::string::npos);
    socketClose(a);
    socketClose(b);
}

TEST(SocketFunctions, ConnectToClosedPortLeavesNoDescriptor) {
    uint16_t port = closedPort();
    int before = openDescriptorCount();
    EXPECT_EQ(tcpSocketConnectTimeout("127.0.0.1", port, 2000), 0);
    EXPECT_EQ(tcpSocketConnectHost("127.0.0.1", port), 0);
    EXPECT_EQ(tcpSocketConnectHost("no-such-host.invalid", port), 0);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(SocketFunctions, ConnectTimesOutAgainstFullBacklog) {
    // With backlog 0 the kernel queues one finished connection; once the
    // queue is full it drops further SYNs, so the next connect hangs.
    Listener listener(0);
    std::vector<int> held;
    int before = 0;
    std::string out;
    bool timedOut = false;
    for (int i = 0; i < 16 && !timedOut; ++i) {
        before = openDescriptorCount();
        Log::takeHeld();
        int fd = tcpSocketConnectTimeout("127.0.0.1", listener.port, 300);
        out = Log::held();
        if (fd > 0) {
            held.push_back(fd);
        } else {
            timedOut = true;
        }
    }
    ASSERT_TRUE(timedOut);
    EXPECT_NE(out.find("network error in connect"), std::string::npos);
    EXPECT_EQ(openDescriptorCount(), before);
    for (int fd : held) socketClose(fd);
}

TEST(SocketFunctions, ConnectedSocketIsBlockingAndHostConnectWorks) {
    Listener listener;
    int a = tcpSocketConnectTimeout("127.0.0.1", listener.port, 5000);
    ASSERT_GT(a, 0);
    EXPECT_EQ(::fcntl(a, F_GETFL) & O_NONBLOCK, 0);
    int b = tcpSocketConnectHost("localhost", listener.port);
    EXPECT_GT(b, 0);
    EXPECT_EQ(tcpSocketWaitConnected(b), 0);
    socketClose(a);
    socketClose(b);
}

TEST(SocketFunctions, BadAddressTextFails) {
    Listener listener;
    int udp = udpSocketCreateBind(0);
    ASSERT_GT(udp, 0);
    const char* bad[] = {"", "1.2.3", "256.1.1.1", "localhost", "1.2.3.4.5", "127.0.0.1 ", "-1.0.0.1"};
    int before = openDescriptorCount();
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_EQ(udpSocketSendTo(udp, text, listener.port, "x", 1), -1);
        EXPECT_EQ(tcpSocketConnectTimeout(text, listener.port, 500), 0);
    }
    EXPECT_EQ(openDescriptorCount(), before);
    socketClose(udp);
}

TEST(SocketFunctions, DescriptorsAbove1024Work) {
    rlimit lim{};
    ::getrlimit(RLIMIT_NOFILE, &lim);
    if (lim.rlim_cur < 1400) {
        if (lim.rlim_max < 1400) GTEST_SKIP() << "descriptor limit too low";
        lim.rlim_cur = 1400;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lim), 0);
    }
    std::vector<int> filler;
    int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(devNull, 0);
    for (;;) {
        int fd = ::dup(devNull);
        ASSERT_GE(fd, 0);
        filler.push_back(fd);
        if (fd >= 1100) break;
    }

    int a = udpSocketCreateBind(0);
    int b = udpSocketCreateBind(0);
    ASSERT_GT(a, 1024);
    ASSERT_GT(b, 1024);
    char buf[64];
    std::string from;
    uint16_t fromPort = 0;
    EXPECT_EQ(udpSocketRecvFrom(b, from, fromPort, buf, sizeof buf, 20), 0);
    EXPECT_EQ(udpSocketSendTo(a, "127.0.0.1", boundPort(b), "hi", 2), 2);
    EXPECT_EQ(udpSocketRecvFrom(b, from, fromPort, buf, sizeof buf, 5000), 2);

    Listener listener;
    int c = tcpSocketConnectTimeout("127.0.0.1", listener.port, 5000);
    ASSERT_GT(c, 1024);
    int s = listener.accept();
    EXPECT_EQ(tcpSocketRecvTimeout(c, buf, sizeof buf, 20), -1);
    EXPECT_EQ(tcpSocketSendTimeout(c, "abc", 3, 2000), 3);
    EXPECT_EQ(::recv(s, buf, sizeof buf, 0), 3);
    ::send(s, "de", 2, 0);
    EXPECT_EQ(tcpSocketRecvTimeout(c, buf, sizeof buf, 5000), 2);

    ::close(s);
    socketClose(a);
    socketClose(b);
    socketClose(c);
    for (int fd : filler) ::close(fd);
    ::close(devNull);
}

TEST(SocketFunctions, DescriptorZeroIsNeverHandedOutNorLeaked) {
    int savedStdin = ::dup(0);
    ASSERT_GE(savedStdin, 0);
    ::close(0);

    int udp = udpSocketCreateBind(0);
    EXPECT_GT(udp, 0);
    EXPECT_EQ(::fcntl(0, F_GETFD), -1);  // 0 was released again
    Listener listener;                   // may take 0 itself; that is fine
    int tcp = tcpSocketConnectTimeout("127.0.0.1", listener.port, 5000);
    EXPECT_GT(tcp, 0);

    socketClose(udp);
    socketClose(tcp);
    ::dup2(savedStdin, 0);
    ::close(savedStdin);
}

TEST(SocketFunctions, CloseIgnoresZeroAndNegative) {
    int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int was0 = ::fcntl(0, F_GETFD);
    socketClose(0);
    socketClose(-1);
    EXPECT_EQ(::fcntl(0, F_GETFD), was0);
    socketClose(fd);
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

TEST(SocketFunctions, RandomPortsStayInRangeFromManyThreads) {
    std::vector<std::thread> threads;
    std::atomic<int> outOfRange{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                uint16_t p = randomLocalPort();
                if (p < 1023 || p > 65534) ++outOfRange;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(outOfRange.load(), 0);
}
