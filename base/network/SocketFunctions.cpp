#include "base/network/SocketFunctions.h"
#include "platform/Log.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

namespace lumora {

namespace {

// A new IPv4 socket of the type, never descriptor 0 (which means "no socket"
// to every caller): a 0 from the system is moved above 0 and released.
// Answers -1 on failure, with errno set.
int newSocket(int type) {
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd == 0) {
        int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
        int err = errno;
        ::close(fd);
        errno = err;
        fd = moved;
    }
    return fd;
}

bool parseAddress(const std::string& addr, uint16_t port, sockaddr_in& out) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, addr.c_str(), &out.sin_addr) == 1;
}

// poll on one descriptor for up to ms (negative: no limit). An interrupted
// wait goes on for the time that is left. Answers poll's result; revents
// holds the reported events when it is above 0.
int waitFor(int fd, short events, int ms, short& revents) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
    int left = ms;
    for (;;) {
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, left);
        if (r > 0) revents = p.revents;
        if (r >= 0 || errno != EINTR) return r;
        if (ms >= 0) {
            auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            left = rest > 0 ? static_cast<int>(rest) : 0;
        }
    }
}

bool setBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

// An error or hang-up counts as ready: the following call reports it, just
// as select would have let it.
constexpr short kReadReady = POLLIN | POLLERR | POLLHUP;
constexpr short kWriteReady = POLLOUT | POLLERR | POLLHUP;

int clampCount(ssize_t n) { return n > INT32_MAX ? INT32_MAX : static_cast<int>(n); }

}  // namespace

int udpSocketCreateBind(uint16_t port) {
    int fd = newSocket(SOCK_DGRAM);
    if (fd < 0) return 0;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    local.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        Log::warn("SocketFunctions", "closeudp===");
        return 0;
    }
    return fd;
}

void socketClose(int fd) {
    if (fd > 0) ::close(fd);
}

int udpSocketRecvFrom(int fd, std::string& fromAddr, uint16_t& fromPort, void* buffer, size_t size, int ms) {
    short revents = 0;
    if (waitFor(fd, POLLIN, ms, revents) <= 0 || !(revents & kReadReady)) return 0;
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = ::recvfrom(fd, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n < 0) std::memset(&from, 0, sizeof from);
    char text[INET_ADDRSTRLEN] = "0.0.0.0";
    if (from.sin_family == AF_INET) ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    fromAddr = text;
    fromPort = ntohs(from.sin_port);
    return n < 0 ? -1 : clampCount(n);
}

int udpSocketSendTo(int fd, const std::string& addr, uint16_t port, const void* data, size_t length) {
    sockaddr_in to;
    if (!parseAddress(addr, port, to)) {
        errno = EINVAL;
        return -1;
    }
    ssize_t n = ::sendto(fd, data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    return n < 0 ? -1 : clampCount(n);
}

int tcpSocketWaitConnected(int fd) {
    for (;;) {
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, -1);
        if (r >= 0) break;
        if (errno != EINTR) {
            Log::warn("SocketFunctions", "poll: %s", std::strerror(errno));
            return -1;
        }
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) {
        Log::warn("SocketFunctions", "getsockopt: %s", std::strerror(errno));
        return -1;
    }
    if (err != 0) {
        Log::warn("SocketFunctions", "socket %d connect failed: %s", fd, std::strerror(err));
        return -1;
    }
    return 0;
}

std::string resolveFirstIPv4(const std::string& host) {
    if (host.empty()) return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        if (found) ::freeaddrinfo(found);
        return {};
    }
    char text[INET_ADDRSTRLEN] = "";
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::string addr = ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) ? text : "";
    ::freeaddrinfo(found);
    return addr;
}

int tcpSocketConnectHost(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        if (found) ::freeaddrinfo(found);
        return 0;
    }
    sockaddr_in to{};
    std::memcpy(&to, found->ai_addr, sizeof to);
    ::freeaddrinfo(found);
    to.sin_port = htons(port);

    int fd = newSocket(SOCK_STREAM);
    if (fd < 0) return 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        // An interrupted blocking connect goes on in the background: wait
        // for its outcome instead of dropping a socket that may yet connect.
        if (errno != EINTR || tcpSocketWaitConnected(fd) != 0) {
            ::close(fd);
            return 0;
        }
    }
    return fd;
}

int tcpSocketConnectTimeout(const std::string& addr, uint16_t port, int ms) {
    sockaddr_in to;
    if (!parseAddress(addr, port, to)) return 0;
    int fd = newSocket(SOCK_STREAM);
    if (fd < 0) {
        Log::warn("SocketFunctions", "Open error ");
        return 0;
    }
    if (!setBlocking(fd, false)) {
        ::close(fd);
        return 0;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS &&
        errno != EINTR) {
        // Failed at once (e.g. refused on loopback): an unconnected socket
        // would look writable and error-free, so it must not go on.
        ::close(fd);
        return 0;
    }
    short revents = 0;
    if (waitFor(fd, POLLOUT, ms, revents) <= 0) {
        Log::warn("SocketFunctions", "network error in connect");
        ::close(fd);
        return 0;
    }
    if (!(revents & kWriteReady)) {
        ::close(fd);
        return 0;
    }
    setBlocking(fd, true);
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) {
        Log::warn("SocketFunctions", "getsockopt  fail,connected  fail");
        ::close(fd);
        return 0;
    }
    if (err != 0) {
        ::close(fd);
        return 0;
    }
    return fd;
}

int tcpSocketRecvTimeout(int fd, void* buffer, size_t length, int ms) {
    short revents = 0;
    int r = waitFor(fd, POLLIN, ms, revents);
    if (r == 0) return -1;
    if (r < 0) return 0;
    if (revents & POLLNVAL) return 0;
    if (!(revents & kReadReady)) return -1;
    std::memset(buffer, 0, length);
    ssize_t n = ::recv(fd, buffer, length, MSG_DONTWAIT);
    if (n < 0) return (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) ? -1 : 0;
    return clampCount(n);
}

int tcpSocketSendTimeout(int fd, const void* data, size_t length, int ms) {
    short revents = 0;
    int r = waitFor(fd, POLLOUT, ms, revents);
    if (r == 0) return -1;
    if (r < 0) return 0;
    if ((revents & POLLNVAL) || !(revents & kWriteReady)) return 0;
    ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) return (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) ? -1 : 0;
    return clampCount(n);
}

uint16_t randomLocalPort() {
    thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<int> dist(0, 64511);
    return static_cast<uint16_t>(dist(engine) + 1023);
}

}  // namespace lumora
