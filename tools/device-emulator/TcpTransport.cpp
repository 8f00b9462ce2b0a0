#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tools/device-emulator/EmulatorTransport.h"

namespace lumora::devemu {

namespace {

std::string addressText(const sockaddr_in& a) {
    char host[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(a.sin_port));
}

class TcpTransport : public EmulatorTransport {
public:
    TcpTransport(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {
        int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    ~TcpTransport() override { close(false); }

    std::string describe() const override { return "tcp " + peer_; }

    int receive(uint8_t* buffer, size_t capacity, int timeoutMs) override {
        int fd = current();
        if (fd < 0) return -1;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, timeoutMs);
        if (r == 0) return 0;
        if (r < 0) return errno == EINTR ? 0 : -1;
        ssize_t n = ::recv(fd, buffer, capacity, 0);
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
        return -1;
    }

    bool sendAll(const uint8_t* data, size_t size) override {
        int fd = current();
        size_t done = 0;
        while (fd >= 0 && done < size) {
            ssize_t n = ::send(fd, data + done, size - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return fd >= 0;
    }

    void close(bool reset) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ < 0) return;
        if (reset) {
            linger l{1, 0};
            setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(fd_);
        fd_ = -1;
    }

    void interrupt() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    }

private:
    int current() {
        std::lock_guard<std::mutex> lock(mutex_);
        return fd_;
    }
    std::mutex mutex_;
    int fd_;
    std::string peer_;
};

class TcpListener : public EmulatorListener {
public:
    TcpListener(int fd, uint16_t port) : fd_(fd), port_(port) {}
    ~TcpListener() override { ::close(fd_); }
    uint16_t port() const override { return port_; }

    std::unique_ptr<EmulatorTransport> accept(int timeoutMs) override {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return nullptr;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<TcpTransport>(fd, addressText(peer));
    }

private:
    int fd_;
    uint16_t port_;
};

}  // namespace

std::unique_ptr<EmulatorListener> openTcpListener(const std::string& host, uint16_t port, std::string& error) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &a.sin_addr) != 1) {
        error = "not an IPv4 address: " + host;
        return nullptr;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + std::strerror(errno);
        return nullptr;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 64) != 0) {
        error = "tcp " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return std::make_unique<TcpListener>(fd, ntohs(a.sin_port));
}

}  // namespace lumora::devemu
