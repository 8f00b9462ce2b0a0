// Loopback throughput and small-message round trips through two
// GCDAsyncSockets, beside two plain blocking sockets measured the same way in
// the same run. Both pairs meet through the same byte relay (a plain thread
// that accepts two connections and copies between them), so the figures
// differ only by the socket class.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "base/network/GCDAsyncSocket.h"

using namespace lumora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kTotal = 256u * 1024 * 1024;
constexpr size_t kMessage = 32;
constexpr int kRoundTrips = 5000;

// Accepts two connections and copies bytes between them until both close.
class Relay {
public:
    Relay() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listenFd_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~Relay() {
        thread_.join();
        ::close(listenFd_);
    }
    uint16_t port() const { return port_; }

private:
    void run() {
        int fds[2];
        for (int& fd : fds) {
            fd = ::accept(listenFd_, nullptr, nullptr);
            int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
        std::vector<uint8_t> buf(256 * 1024);
        bool open[2] = {true, true};
        while (open[0] || open[1]) {
            pollfd p[2] = {{fds[0], static_cast<short>(open[0] ? POLLIN : 0), 0},
                           {fds[1], static_cast<short>(open[1] ? POLLIN : 0), 0}};
            if (::poll(p, 2, 1000) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                ssize_t n = ::recv(fds[i], buf.data(), buf.size(), 0);
                if (n <= 0) {
                    open[i] = false;
                    ::shutdown(fds[1 - i], SHUT_WR);
                    continue;
                }
                for (ssize_t done = 0; done < n;) {
                    ssize_t w = ::send(fds[1 - i], buf.data() + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
                    if (w <= 0) break;
                    done += w;
                }
            }
        }
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
};

int plainConnect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool readFull(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t r = ::recv(fd, p, n, 0);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

bool writeFull(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

struct Figures {
    double mbPerSecond = 0;
    double roundTripsPerSecond = 0;
};

Figures measurePlain() {
    Figures f;
    {
        Relay relay;
        int a = plainConnect(relay.port());
        int b = plainConnect(relay.port());
        std::vector<uint8_t> chunk(kChunk, 0x5a);
        auto start = Clock::now();
        std::thread writer([&] {
            for (size_t sent = 0; sent < kTotal; sent += kChunk) writeFull(a, chunk.data(), kChunk);
        });
        std::vector<uint8_t> in(kChunk);
        size_t got = 0;
        while (got < kTotal) {
            ssize_t r = ::recv(b, in.data(), in.size(), 0);
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        writer.join();
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        f.mbPerSecond = static_cast<double>(got) / (1024.0 * 1024.0) / s;
        ::close(a);
        ::close(b);
    }
    {
        Relay relay;
        int a = plainConnect(relay.port());
        int b = plainConnect(relay.port());
        std::thread echo([&] {
            uint8_t m[kMessage];
            for (int i = 0; i < kRoundTrips; ++i) {
                if (!readFull(b, m, kMessage) || !writeFull(b, m, kMessage)) break;
            }
        });
        uint8_t m[kMessage] = {1};
        auto start = Clock::now();
        int done = 0;
        for (; done < kRoundTrips; ++done) {
            if (!writeFull(a, m, kMessage) || !readFull(a, m, kMessage)) break;
        }
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        echo.join();
        f.roundTripsPerSecond = done / s;
        ::close(a);
        ::close(b);
    }
    return f;
}

// Signals the measuring thread once a condition was reached on a delegate queue.
class Latch {
public:
    void open() {
        std::lock_guard<std::mutex> l(m_);
        open_ = true;
        cv_.notify_all();
    }
    bool wait(std::chrono::seconds timeout) {
        std::unique_lock<std::mutex> l(m_);
        return cv_.wait_for(l, timeout, [&] { return open_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

class Sink : public GCDAsyncSocketDelegate {
public:
    void socketDidConnectToHost(const SocketPtr&, const std::string&, uint16_t) override { connected.open(); }
    void socketDidReadData(const SocketPtr& sock, std::vector<uint8_t> data, long) override {
        received += data.size();
        if (received >= kTotal) done.open();
        else sock->readDataWithTimeout(-1, 0);
    }
    size_t received = 0;
    Latch connected, done;
};

class Echo : public GCDAsyncSocketDelegate {
public:
    void socketDidConnectToHost(const SocketPtr&, const std::string&, uint16_t) override { connected.open(); }
    void socketDidReadData(const SocketPtr& sock, std::vector<uint8_t> data, long) override {
        sock->writeData(std::move(data), -1, 0);
        sock->readDataToLength(kMessage, -1, 0);
    }
    Latch connected;
};

class Pinger : public GCDAsyncSocketDelegate {
public:
    void socketDidConnectToHost(const SocketPtr&, const std::string&, uint16_t) override { connected.open(); }
    void socketDidReadData(const SocketPtr& sock, std::vector<uint8_t> data, long) override {
        if (++count >= kRoundTrips) {
            done.open();
            return;
        }
        sock->writeData(std::move(data), -1, 0);
        sock->readDataToLength(kMessage, -1, 0);
    }
    int count = 0;
    Latch connected, done;
};

template <class D>
GCDAsyncSocketPtr connectTo(const std::shared_ptr<D>& delegate, uint16_t port) {
    auto sock = GCDAsyncSocket::create(delegate, DispatchQueue::createSerial("bench.delegate"));
    sock->connectToHost("127.0.0.1", port, 5.0);
    delegate->connected.wait(std::chrono::seconds(10));
    sock->performBlock([&] {
        int on = 1;
        ::setsockopt(sock->socketFD(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    });
    return sock;
}

Figures measureSockets() {
    Figures f;
    {
        Relay relay;
        auto sink = std::make_shared<Sink>();
        auto source = std::make_shared<Sink>();  // only connects
        auto a = connectTo(source, relay.port());
        auto b = connectTo(sink, relay.port());
        auto chunk = std::make_shared<const std::vector<uint8_t>>(kChunk, 0x5a);
        auto start = Clock::now();
        b->readDataWithTimeout(-1, 0);
        for (size_t sent = 0; sent < kTotal; sent += kChunk) a->writeData(chunk, -1, 0);
        sink->done.wait(std::chrono::seconds(120));
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        f.mbPerSecond = static_cast<double>(sink->received) / (1024.0 * 1024.0) / s;
        a->disconnect();
        b->disconnect();
    }
    {
        Relay relay;
        auto pinger = std::make_shared<Pinger>();
        auto echo = std::make_shared<Echo>();
        auto a = connectTo(pinger, relay.port());
        auto b = connectTo(echo, relay.port());
        b->readDataToLength(kMessage, -1, 0);
        auto start = Clock::now();
        a->readDataToLength(kMessage, -1, 0);
        a->writeData(std::vector<uint8_t>(kMessage, 1), -1, 0);
        pinger->done.wait(std::chrono::seconds(120));
        double s = std::chrono::duration<double>(Clock::now() - start).count();
        f.roundTripsPerSecond = pinger->count / s;
        a->disconnect();
        b->disconnect();
    }
    return f;
}

}  // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    Figures plain = measurePlain();
    Figures gcd = measureSockets();
    std::printf("loopback through a relay, %zu MiB in %zu KiB writes; %d round trips of %zu bytes\n",
                kTotal >> 20, kChunk >> 10, kRoundTrips, kMessage);
    std::printf("%-28s %12s %18s\n", "", "MB/s", "round trips/s");
    std::printf("%-28s %12.1f %18.0f\n", "plain blocking sockets", plain.mbPerSecond, plain.roundTripsPerSecond);
    std::printf("%-28s %12.1f %18.0f\n", "GCDAsyncSocket pair", gcd.mbPerSecond, gcd.roundTripsPerSecond);
    std::printf("%-28s %11.0f%% %17.0f%%\n", "GCDAsyncSocket / plain", 100.0 * gcd.mbPerSecond / plain.mbPerSecond,
                100.0 * gcd.roundTripsPerSecond / plain.roundTripsPerSecond);
    return 0;
}
