#include "base/network/UdpSocketCalls.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/network/SocketAddress.h"
#include "platform/ErrorCodes.h"
#include "platform/Log.h"

namespace lumora {

namespace {

using socketaddress::bytesOf;
using socketaddress::makeAddress4;
using socketaddress::makeAddress6;

Error optionError(const char* text) { return Error(errors::kStreamErrorDomainPOSIX, -1, text); }

}  // namespace

int UdpSocketCalls::openSocket(bool v4) {
    int fd = ::socket(v4 ? AF_INET : AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
    if (fd < 0) {
        Log::warn("AsyncUdpSocket", "no %s socket: %s", v4 ? "IPv4" : "IPv6", std::strerror(errno));
        return -1;
    }
    if (!v4) {
        int on = 1;
        if (::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) < 0) {
            Log::warn("AsyncUdpSocket", "no IPv6-only mode: %s", std::strerror(errno));
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

// ---------------------------------------------------------------- addresses

bool UdpSocketCalls::resolve(const std::string& host, uint16_t port, bool forBind, AddressPair* out, Error* err) {
    out->v4.clear();
    out->v6.clear();
    if (host.empty()) {
        if (!forBind) {
            *err = Error::resolver(EAI_NONAME);
            return false;
        }
        in_addr any{};
        any.s_addr = htonl(INADDR_ANY);
        out->v4 = makeAddress4(any, port);
        out->v6 = makeAddress6(in6addr_any, port);
        return true;
    }
    if (host == "localhost" || host == "loopback") {
        in_addr lo{};
        lo.s_addr = htonl(INADDR_LOOPBACK);
        out->v4 = makeAddress4(lo, port);
        out->v6 = makeAddress6(in6addr_loopback, port);
        return true;
    }
    char service[8];
    std::snprintf(service, sizeof service, "%hu", port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    if (forBind) hints.ai_flags = AI_PASSIVE;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(host.c_str(), service, &hints, &res);
    if (rc != 0) {
        *err = Error::resolver(rc);
        return false;
    }
    for (addrinfo* it = res; it; it = it->ai_next) {
        if (it->ai_family == AF_INET && out->v4.empty() && it->ai_addrlen >= sizeof(sockaddr_in))
            out->v4 = bytesOf(it->ai_addr, sizeof(sockaddr_in));
        else if (it->ai_family == AF_INET6 && out->v6.empty() && it->ai_addrlen >= sizeof(sockaddr_in6))
            out->v6 = bytesOf(it->ai_addr, sizeof(sockaddr_in6));
    }
    ::freeaddrinfo(res);
    if (out->v4.empty() && out->v6.empty()) {
        *err = Error::resolver(EAI_NONAME);
        return false;
    }
    return true;
}

int UdpSocketCalls::familyOf(const ByteBuffer& address) {
    if (address.size() == sizeof(sockaddr_in)) {
        sockaddr_in sa;
        std::memcpy(&sa, address.data(), sizeof sa);
        return sa.sin_family == AF_INET ? AF_INET : 0;
    }
    if (address.size() == sizeof(sockaddr_in6)) {
        sockaddr_in6 sa;
        std::memcpy(&sa, address.data(), sizeof sa);
        return sa.sin6_family == AF_INET6 ? AF_INET6 : 0;
    }
    return 0;
}

bool UdpSocketCalls::hostAndPort(const sockaddr_storage& ss, socklen_t len, std::string* host, uint16_t* port) {
    char text[NI_MAXHOST];
    char service[NI_MAXSERV];
    if (ss.ss_family != AF_INET && ss.ss_family != AF_INET6) return false;
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&ss), len, text, sizeof text, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return false;
    *host = text;
    *port = static_cast<uint16_t>(std::strtoul(service, nullptr, 10));
    return true;
}

bool UdpSocketCalls::addressOf(int fd, bool peer, sockaddr_storage* ss, socklen_t* len) {
    *ss = sockaddr_storage{};
    *len = sizeof *ss;
    int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(ss), len)
                  : ::getsockname(fd, reinterpret_cast<sockaddr*>(ss), len);
    return rc == 0;
}

// ---------------------------------------------------------------- binding, connecting and options

void UdpSocketCalls::reuseAddress(int fd) {
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

bool UdpSocketCalls::bind(int fd, const ByteBuffer& address) {
    if (::bind(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) == 0)
        return true;
    Log::warn("AsyncUdpSocket", "bind failed: %s", std::strerror(errno));
    return false;
}

UdpSocketCalls::ByteBuffer UdpSocketCalls::withPortOf(int fd4, const ByteBuffer& v6) {
    sockaddr_in got{};
    socklen_t len = sizeof got;
    if (::getsockname(fd4, reinterpret_cast<sockaddr*>(&got), &len) != 0) return v6;
    sockaddr_in6 sa;
    std::memcpy(&sa, v6.data(), sizeof sa);
    sa.sin6_port = got.sin_port;
    return bytesOf(&sa, sizeof sa);
}

bool UdpSocketCalls::connect(int fd, const ByteBuffer& address) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) == 0)
        return true;
    Log::warn("AsyncUdpSocket", "connect failed: %s", std::strerror(errno));
    return false;
}

bool UdpSocketCalls::joinGroup4(int fd, const ByteBuffer& group, const ByteBuffer& interfaceAddress, Error* err) {
    sockaddr_in g, i;
    std::memcpy(&g, group.data(), sizeof g);
    std::memcpy(&i, interfaceAddress.data(), sizeof i);
    ip_mreq req{};
    req.imr_multiaddr = g.sin_addr;
    req.imr_interface = i.sin_addr;
    if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &req, sizeof req) == 0) return true;
    Log::warn("AsyncUdpSocket", "IPv4 group join failed: %s", std::strerror(errno));
    if (err) *err = optionError("Unable to join IPv4 multicast group");
    return false;
}

bool UdpSocketCalls::joinGroup6(int fd, const ByteBuffer& group, Error* err) {
    sockaddr_in6 g;
    std::memcpy(&g, group.data(), sizeof g);
    ipv6_mreq req{};
    req.ipv6mr_multiaddr = g.sin6_addr;
    req.ipv6mr_interface = 0;
    if (::setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &req, sizeof req) == 0) return true;
    Log::warn("AsyncUdpSocket", "IPv6 group join failed: %s", std::strerror(errno));
    if (err) *err = optionError("Unable to join IPv6 multicast group");
    return false;
}

bool UdpSocketCalls::setBroadcast(int fd, bool flag, Error* err) {
    int value = flag ? 1 : 0;
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) == 0) return true;
    Log::warn("AsyncUdpSocket", "broadcast option failed: %s", std::strerror(errno));
    if (err) *err = optionError("Unable to enable broadcast message sending");
    return false;
}

unsigned UdpSocketCalls::maximumTransmissionUnit(int fd, bool v4, bool connected) {
    if (connected) {
        int mtu = 0;
        socklen_t len = sizeof mtu;
        int rc = v4 ? ::getsockopt(fd, IPPROTO_IP, IP_MTU, &mtu, &len)
                    : ::getsockopt(fd, IPPROTO_IPV6, IPV6_MTU, &mtu, &len);
        if (rc == 0 && mtu > 0) return static_cast<unsigned>(mtu);
    }
    // The interface that holds the bound address.
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return 0;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return 0;
    std::string name;
    for (ifaddrs* it = list; it && name.empty(); it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != ss.ss_family) continue;
        if (ss.ss_family == AF_INET) {
            auto a = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
            auto b = reinterpret_cast<const sockaddr_in*>(&ss);
            if (b->sin_addr.s_addr != htonl(INADDR_ANY) && a->sin_addr.s_addr == b->sin_addr.s_addr)
                name = it->ifa_name;
        } else {
            auto a = reinterpret_cast<const sockaddr_in6*>(it->ifa_addr);
            auto b = reinterpret_cast<const sockaddr_in6*>(&ss);
            if (!IN6_IS_ADDR_UNSPECIFIED(&b->sin6_addr) &&
                std::memcmp(&a->sin6_addr, &b->sin6_addr, sizeof(in6_addr)) == 0)
                name = it->ifa_name;
        }
    }
    ::freeifaddrs(list);
    if (name.empty() || name.size() >= IFNAMSIZ) return 0;
    ifreq req{};
    std::memcpy(req.ifr_name, name.c_str(), name.size() + 1);
    if (::ioctl(fd, SIOCGIFMTU, &req) != 0 || req.ifr_mtu <= 0) return 0;
    return static_cast<unsigned>(req.ifr_mtu);
}

// ---------------------------------------------------------------- datagrams

bool UdpSocketCalls::isReady(int fd, short events) {
    if (fd < 0) return false;
    pollfd p{fd, events, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, 0);
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && (p.revents & (events | POLLERR)) != 0;
}

bool UdpSocketCalls::isTransient(int err) {
    ErrorMeaning m = errnoMeaning(err);
    return m == ErrorMeaning::WouldBlock || m == ErrorMeaning::Interrupted;
}

ssize_t UdpSocketCalls::send(int fd, const ByteBuffer& buffer, const ByteBuffer& address) {
    ssize_t result;
    do {
        if (address.empty())
            result = ::send(fd, buffer.data(), buffer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        else
            result = ::sendto(fd, buffer.data(), buffer.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                              reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size()));
    } while (result < 0 && errno == EINTR);
    return result;
}

ssize_t UdpSocketCalls::receive(int fd, ByteBuffer& buffer, sockaddr_storage* from, socklen_t* fromLen) {
    ssize_t result;
    do {
        // MSG_TRUNC: the datagram's whole length, even when it was cut.
        result = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                            reinterpret_cast<sockaddr*>(from), fromLen);
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace lumora
