#include "base/network/AsyncUdpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>

#include "base/network/SocketAddress.h"
#include "platform/ErrorCodes.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// State bits of flags_.
enum : uint16_t {
    kDidBind = 1u << 0,
    kDidConnect = 1u << 1,
    kSock4CanAcceptBytes = 1u << 2,  // a write notification came since the last send
    kSock6CanAcceptBytes = 1u << 3,
    kSock4HasBytesAvailable = 1u << 4,  // a read notification came since the last read
    kSock6HasBytesAvailable = 1u << 5,
    kForbidSendReceive = 1u << 6,
    kCloseAfterSends = 1u << 7,
    kCloseAfterReceives = 1u << 8,
    kDidClose = 1u << 9,
    kDequeueSendScheduled = 1u << 10,
    kDequeueReceiveScheduled = 1u << 11,
    kFlipFlop = 1u << 12,  // set: the IPv4 socket is read first
};

using ByteBuffer = AsyncUdpSocket::ByteBuffer;

Error asyncUdpError(long code, std::string text) {
    return Error(errors::kAsyncUdpSocketErrorDomain, code, std::move(text));
}
Error socketError() { return asyncUdpError(errors::kAsyncUdpSocketCFSocketError, "General CFSocket error"); }
Error ipv4UnavailableError() {
    return asyncUdpError(errors::kAsyncUdpSocketIPv4Unavailable,
                         "IPv4 is unavailable due to binding/connecting using IPv6 only");
}
Error ipv6UnavailableError() {
    return asyncUdpError(errors::kAsyncUdpSocketIPv6Unavailable,
                         "IPv6 is unavailable due to binding/connecting using IPv4 only or is not supported on this "
                         "platform");
}
Error sendTimeoutError() { return asyncUdpError(errors::kAsyncUdpSocketSendTimeoutError, "Send operation timed out"); }
Error receiveTimeoutError() {
    return asyncUdpError(errors::kAsyncUdpSocketReceiveTimeoutError, "Receive operation timed out");
}
Error optionError(const char* text) { return Error(errors::kStreamErrorDomainPOSIX, -1, text); }

void setError(Error* errPtr, Error e) {
    if (errPtr) *errPtr = std::move(e);
}

std::chrono::nanoseconds secondsToNanos(double seconds) {
    double ns = seconds * 1e9;
    if (ns >= 9.0e18) return std::chrono::nanoseconds(static_cast<int64_t>(9.0e18));
    if (!(ns > 0)) return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

using socketaddress::bytesOf;

using socketaddress::makeAddress4;
using socketaddress::makeAddress6;

// The family an address's bytes hold: AF_INET for a whole sockaddr_in,
// AF_INET6 for a whole sockaddr_in6, else 0.
int familyOf(const ByteBuffer& address) {
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

// Numeric host text and port of a socket address; false when it holds no
// IPv4 or IPv6 address.
bool hostAndPort(const sockaddr_storage& ss, socklen_t len, std::string* host, uint16_t* port) {
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

// Zero-wait readiness test. An error waiting on the socket counts as ready:
// the next call on it reports that error.
bool isReady(int fd, short events) {
    if (fd < 0) return false;
    pollfd p{fd, events, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, 0);
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && (p.revents & (events | POLLERR)) != 0;
}

bool isTransient(int err) {
    ErrorMeaning m = errnoMeaning(err);
    return m == ErrorMeaning::WouldBlock || m == ErrorMeaning::Interrupted;
}

int nativeFamily(bool v4) { return v4 ? AF_INET : AF_INET6; }

}  // namespace

// ---------------------------------------------------------------- creation

AsyncUdpSocketPtr AsyncUdpSocket::create() { return create(DelegateRef(), 0, true, true); }

AsyncUdpSocketPtr AsyncUdpSocket::create(DelegateRef delegate) { return create(std::move(delegate), 0, true, true); }

AsyncUdpSocketPtr AsyncUdpSocket::create(DelegateRef delegate, long userData) {
    return create(std::move(delegate), userData, true, true);
}

AsyncUdpSocketPtr AsyncUdpSocket::createIPv4() { return create(DelegateRef(), 0, true, false); }

AsyncUdpSocketPtr AsyncUdpSocket::createIPv6() { return create(DelegateRef(), 0, false, true); }

AsyncUdpSocketPtr AsyncUdpSocket::create(DelegateRef delegate, long userData, bool enableIPv4, bool enableIPv6) {
    auto sock = std::make_shared<AsyncUdpSocket>(Private{}, std::move(delegate), userData);
    // The watchers refer to the object weakly: it must be owned first.
    if (enableIPv4) sock->openSocket(Family::V4);
    if (enableIPv6) sock->openSocket(Family::V6);
    return sock;
}

AsyncUdpSocket::AsyncUdpSocket(Private, DelegateRef delegate, long userData)
    : runLoop_(&RunLoop::current()), runLoopModes_{kDefaultRunLoopMode}, delegate_(std::move(delegate)),
      userData_(userData) {}

AsyncUdpSocket::~AsyncUdpSocket() { closeWithoutNotice(); }

void AsyncUdpSocket::openSocket(Family f) {
    int family = nativeFamily(f == Family::V4);
    int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
    if (fd < 0) {
        Log::warn("AsyncUdpSocket", "no %s socket: %s", f == Family::V4 ? "IPv4" : "IPv6", std::strerror(errno));
        return;
    }
    if (f == Family::V6) {
        int on = 1;
        if (::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) < 0) {
            Log::warn("AsyncUdpSocket", "no IPv6-only mode: %s", std::strerror(errno));
            ::close(fd);
            return;
        }
    }
    endpoint(f).fd = fd;
    // Nothing is watched until there is something to send or receive.
}

// ---------------------------------------------------------------- socket notifications

uint16_t AsyncUdpSocket::writableFlag(Family f) { return f == Family::V4 ? kSock4CanAcceptBytes : kSock6CanAcceptBytes; }

uint16_t AsyncUdpSocket::readableFlag(Family f) {
    return f == Family::V4 ? kSock4HasBytesAvailable : kSock6HasBytesAvailable;
}

void AsyncUdpSocket::setWatcher(Family f, short events) {
    Endpoint& ep = endpoint(f);
    if (ep.watcher && runLoop_) runLoop_->removeWatcher(ep.watcher);
    ep.watcher = 0;
    ep.watched = events;
    if (ep.fd < 0 || events == 0 || !runLoop_) return;
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    ep.watcher = runLoop_->addWatcher(ep.fd, events, [weak, f](short revents) {
        // The object stays alive until the notification was handled.
        if (auto self = weak.lock()) self->socketCallback(f, revents);
    });
}

// Read and write notifications each fire once, then stay off until they are
// enabled again.
void AsyncUdpSocket::enableNotifications(Family f) {
    Endpoint& ep = endpoint(f);
    if (ep.fd < 0) return;
    const short both = POLLIN | POLLOUT;
    if (ep.watched == both && ep.watcher) return;
    setWatcher(f, both);
}

void AsyncUdpSocket::socketCallback(Family f, short revents) {
    Endpoint& ep = endpoint(f);
    short fired = static_cast<short>(revents & ep.watched);
    // An error or hang-up wakes every notification that is on; each then
    // meets the error in its call.
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) fired = ep.watched;
    setWatcher(f, static_cast<short>(ep.watched & ~fired));
    RunLoop* loop = runLoop_;
    if (fired & POLLIN) {
        flags_ |= readableFlag(f);
        doReceive(f);
        if (!stillServing(loop)) return;
    }
    if (fired & POLLOUT) {
        flags_ |= writableFlag(f);
        doSend(f);
    }
}

void AsyncUdpSocket::closeSocket(Family f) {
    Endpoint& ep = endpoint(f);
    if (ep.watcher && runLoop_) runLoop_->removeWatcher(ep.watcher);
    ep.watcher = 0;
    ep.watched = 0;
    if (ep.fd >= 0) ::close(ep.fd);
    ep.fd = -1;
    flags_ &= static_cast<uint16_t>(~(readableFlag(f) | writableFlag(f)));
}

// ---------------------------------------------------------------- addresses

bool AsyncUdpSocket::convertForBind(const std::string& host, uint16_t port, AddressPair* out, Error* err) {
    return convert(host, port, true, out, err);
}

bool AsyncUdpSocket::convertForSend(const std::string& host, uint16_t port, AddressPair* out, Error* err) {
    return convert(host, port, false, out, err);
}

bool AsyncUdpSocket::convert(const std::string& host, uint16_t port, bool forBind, AddressPair* out, Error* err) {
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

void AsyncUdpSocket::addressInfo(bool peer, std::string* host, uint16_t* port) const {
    host->clear();
    *port = 0;
    int fd = socket4_.fd >= 0 ? socket4_.fd : socket6_.fd;
    if (fd < 0) return;
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    int rc = peer ? ::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len)
                  : ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
    if (rc != 0) return;
    if (!hostAndPort(ss, len, host, port)) throw std::logic_error("Cannot convert address to string.");
    // Once bound (or connected) the address no longer changes.
    if (peer && (flags_ & kDidConnect)) {
        cachedConnectedHost_ = *host;
        cachedConnectedPort_ = *port;
    } else if (!peer && (flags_ & kDidBind)) {
        cachedLocalHost_ = *host;
        cachedLocalPort_ = *port;
    }
}

std::string AsyncUdpSocket::localHost() const {
    if (!cachedLocalHost_.empty()) return cachedLocalHost_;
    std::string host;
    uint16_t port;
    addressInfo(false, &host, &port);
    return host;
}

uint16_t AsyncUdpSocket::localPort() const {
    if (cachedLocalPort_ != 0) return cachedLocalPort_;
    std::string host;
    uint16_t port;
    addressInfo(false, &host, &port);
    return port;
}

std::string AsyncUdpSocket::connectedHost() const {
    if (!cachedConnectedHost_.empty()) return cachedConnectedHost_;
    std::string host;
    uint16_t port;
    addressInfo(true, &host, &port);
    return host;
}

uint16_t AsyncUdpSocket::connectedPort() const {
    if (cachedConnectedPort_ != 0) return cachedConnectedPort_;
    std::string host;
    uint16_t port;
    addressInfo(true, &host, &port);
    return port;
}

bool AsyncUdpSocket::isConnected() const { return (flags_ & kDidConnect) && !(flags_ & kDidClose); }

bool AsyncUdpSocket::isConnectedToHost(const std::string& host, uint16_t port) const {
    return isConnected() && connectedHost() == host && connectedPort() == port;
}

bool AsyncUdpSocket::isClosed() const { return (flags_ & kDidClose) != 0; }

unsigned AsyncUdpSocket::maximumTransmissionUnit() const {
    bool v4 = socket4_.fd >= 0;
    int fd = v4 ? socket4_.fd : socket6_.fd;
    if (fd < 0) return 0;
    if (isConnected()) {
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

// ---------------------------------------------------------------- binding and connecting

bool AsyncUdpSocket::bindToPort(uint16_t port, Error* errPtr) { return bindToAddress(std::string(), port, errPtr); }

bool AsyncUdpSocket::bindEndpoint(Family f, const ByteBuffer& address) {
    const Endpoint& ep = endpoint(f);
    if (::bind(ep.fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) ==
        0)
        return true;
    Log::warn("AsyncUdpSocket", "bind failed: %s", std::strerror(errno));
    return false;
}

bool AsyncUdpSocket::bindToAddress(const std::string& host, uint16_t port, Error* errPtr) {
    if (isClosed()) throw AsyncUdpSocketException("The socket is closed.");
    if (flags_ & kDidBind) throw AsyncUdpSocketException("Cannot bind a socket more than once.");
    if (flags_ & kDidConnect)
        throw AsyncUdpSocketException("Cannot bind after connecting. If needed, bind first, then connect.");

    AddressPair a;
    Error err;
    if (!convertForBind(host, port, &a, &err)) {
        setError(errPtr, err);
        return false;
    }
    int on = 1;
    for (Family f : {Family::V4, Family::V6}) {
        if (endpoint(f).fd >= 0) ::setsockopt(endpoint(f).fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }

    bool boundV4 = false;
    if (!a.v4.empty()) {
        if (socket4_.fd >= 0) {
            if (!bindEndpoint(Family::V4, a.v4)) {
                setError(errPtr, socketError());
                return false;
            }
            boundV4 = true;
        } else if (a.v6.empty()) {
            setError(errPtr, ipv4UnavailableError());
            return false;
        }
    }
    if (!a.v6.empty()) {
        if (socket6_.fd >= 0) {
            // Asked for any port, both families take the one the IPv4 socket
            // got, so that the local port is one port.
            ByteBuffer v6 = a.v6;
            if (boundV4 && port == 0) {
                sockaddr_in got{};
                socklen_t len = sizeof got;
                if (::getsockname(socket4_.fd, reinterpret_cast<sockaddr*>(&got), &len) == 0) {
                    sockaddr_in6 sa;
                    std::memcpy(&sa, v6.data(), sizeof sa);
                    sa.sin6_port = got.sin_port;
                    v6 = bytesOf(&sa, sizeof sa);
                }
            }
            bool ok = bindEndpoint(Family::V6, v6) || (v6 != a.v6 && bindEndpoint(Family::V6, a.v6));
            if (!ok) {
                if (boundV4) {
                    // A bound socket cannot be unbound: a fresh one leaves the
                    // object as it was before this call.
                    closeSocket(Family::V4);
                    openSocket(Family::V4);
                }
                setError(errPtr, socketError());
                return false;
            }
            if (a.v4.empty() || !boundV4) closeSocket(Family::V4);
        } else if (a.v4.empty()) {
            setError(errPtr, ipv6UnavailableError());
            return false;
        }
    }
    if (boundV4 && a.v6.empty()) closeSocket(Family::V6);
    flags_ |= kDidBind;
    return true;
}

bool AsyncUdpSocket::connectEndpoint(Family f, const ByteBuffer& address, Error* errPtr) {
    const Endpoint& ep = endpoint(f);
    if (::connect(ep.fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) !=
        0) {
        Log::warn("AsyncUdpSocket", "connect failed: %s", std::strerror(errno));
        setError(errPtr, socketError());
        return false;
    }
    flags_ |= kDidConnect;
    closeSocket(other(f));
    return true;
}

bool AsyncUdpSocket::connectToHost(const std::string& host, uint16_t port, Error* errPtr) {
    if (isClosed()) throw AsyncUdpSocketException("The socket is closed.");
    if (flags_ & kDidConnect) throw AsyncUdpSocketException("Cannot connect a socket more than once.");
    AddressPair a;
    Error err;
    if (!convertForSend(host, port, &a, &err)) {
        setError(errPtr, err);
        return false;
    }
    if (!a.v4.empty() && socket4_.fd >= 0) return connectEndpoint(Family::V4, a.v4, errPtr);
    if (!a.v6.empty() && socket6_.fd >= 0) return connectEndpoint(Family::V6, a.v6, errPtr);
    setError(errPtr, !a.v4.empty() ? ipv4UnavailableError() : ipv6UnavailableError());
    return false;
}

bool AsyncUdpSocket::connectToAddress(const ByteBuffer& remoteAddr, Error* errPtr) {
    if (isClosed()) throw AsyncUdpSocketException("The socket is closed.");
    if (flags_ & kDidConnect) throw AsyncUdpSocketException("Cannot connect a socket more than once.");
    int family = familyOf(remoteAddr);
    if (family == AF_INET) {
        if (socket4_.fd >= 0) return connectEndpoint(Family::V4, remoteAddr, errPtr);
        setError(errPtr, ipv4UnavailableError());
        return false;
    }
    if (family == AF_INET6) {
        if (socket6_.fd >= 0) return connectEndpoint(Family::V6, remoteAddr, errPtr);
        setError(errPtr, ipv6UnavailableError());
        return false;
    }
    setError(errPtr, asyncUdpError(errors::kAsyncUdpSocketBadParameter, "remoteAddr parameter is not a valid address"));
    return false;
}

// ---------------------------------------------------------------- multicast and broadcast

bool AsyncUdpSocket::joinMulticastGroup(const std::string& group, Error* errPtr) {
    return joinMulticastGroup(group, std::string(), errPtr);
}

bool AsyncUdpSocket::joinMulticastGroup(const std::string& group, const std::string& interfaceAddress,
                                        Error* errPtr) {
    if (isClosed()) throw AsyncUdpSocketException("The socket is closed.");
    if (!(flags_ & kDidBind)) throw AsyncUdpSocketException("Must bind a socket before joining a multicast group.");
    if (flags_ & kDidConnect) throw AsyncUdpSocketException("Cannot join a multicast group if connected.");

    AddressPair iface;
    AddressPair grp;
    Error err;
    if (!convertForBind(interfaceAddress, 0, &iface, &err)) {
        setError(errPtr, Error(Error::kNetDbDomain, err.code, "Invalid parameter 'address': " + err.description));
        return false;
    }
    if (!convertForBind(group, 0, &grp, &err)) {
        setError(errPtr, Error(Error::kNetDbDomain, err.code, "Invalid parameter 'group': " + err.description));
        return false;
    }
    if (socket4_.fd >= 0 && !grp.v4.empty() && !iface.v4.empty()) {
        sockaddr_in g, i;
        std::memcpy(&g, grp.v4.data(), sizeof g);
        std::memcpy(&i, iface.v4.data(), sizeof i);
        ip_mreq req{};
        req.imr_multiaddr = g.sin_addr;
        req.imr_interface = i.sin_addr;
        if (::setsockopt(socket4_.fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &req, sizeof req) != 0) {
            Log::warn("AsyncUdpSocket", "IPv4 group join failed: %s", std::strerror(errno));
            setError(errPtr, optionError("Unable to join IPv4 multicast group"));
            return false;
        }
        closeSocket(Family::V6);
        return true;
    }
    if (socket6_.fd >= 0 && !grp.v6.empty() && !iface.v6.empty()) {
        sockaddr_in6 g;
        std::memcpy(&g, grp.v6.data(), sizeof g);
        ipv6_mreq req{};
        req.ipv6mr_multiaddr = g.sin6_addr;
        req.ipv6mr_interface = 0;
        if (::setsockopt(socket6_.fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &req, sizeof req) != 0) {
            Log::warn("AsyncUdpSocket", "IPv6 group join failed: %s", std::strerror(errno));
            setError(errPtr, optionError("Unable to join IPv6 multicast group"));
            return false;
        }
        closeSocket(Family::V4);
        return true;
    }
    setError(errPtr, asyncUdpError(errors::kAsyncUdpSocketBadParameter,
                                   "Invalid group and/or address, not matching existing socket(s)"));
    return false;
}

bool AsyncUdpSocket::enableBroadcast(bool flag, Error* errPtr) {
    if (socket4_.fd < 0) return true;
    int value = flag ? 1 : 0;
    if (::setsockopt(socket4_.fd, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) != 0) {
        Log::warn("AsyncUdpSocket", "broadcast option failed: %s", std::strerror(errno));
        setError(errPtr, optionError("Unable to enable broadcast message sending"));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- run loop scheduling

void AsyncUdpSocket::scheduleDequeueSend() {
    if ((flags_ & kDequeueSendScheduled) || !runLoop_) return;
    flags_ |= kDequeueSendScheduled;
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    uint64_t epoch = epoch_.load();
    runLoop_->perform([weak, epoch] {
        auto self = weak.lock();
        if (self && self->epoch_.load() == epoch) self->maybeDequeueSend();
    });
}

void AsyncUdpSocket::scheduleDequeueReceive() {
    if ((flags_ & kDequeueReceiveScheduled) || !runLoop_) return;
    flags_ |= kDequeueReceiveScheduled;
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    uint64_t epoch = epoch_.load();
    runLoop_->perform([weak, epoch] {
        auto self = weak.lock();
        if (self && self->epoch_.load() == epoch) self->maybeDequeueReceive();
    });
}

bool AsyncUdpSocket::moveToRunLoop(RunLoop* runLoop) {
    if (!runLoop) return false;
    if (runLoop == runLoop_) return true;
    if (isClosed() || !runLoop_) return false;
    ++epoch_;
    flags_ &= static_cast<uint16_t>(~(kDequeueSendScheduled | kDequeueReceiveScheduled));
    // Off the old loop: watchers, timers and scheduled dequeues. The
    // notifications stay in Endpoint::watched, to be watched again on the new
    // loop.
    for (Endpoint* ep : {&socket4_, &socket6_}) {
        if (ep->watcher) runLoop_->removeWatcher(ep->watcher);
        ep->watcher = 0;
    }
    // Timers keep the time they had left. A move that comes before an
    // earlier one was taken up carries that one's times on.
    auto now = RunLoop::Clock::now();
    auto remaining = [&](const std::shared_ptr<RunLoopTimer>& t) {
        return std::max(std::chrono::nanoseconds(0),
                        std::chrono::duration_cast<std::chrono::nanoseconds>(t->fireDate() - now));
    };
    if (sendTimer_ && sendTimer_->isValid()) movedSendTimer_ = remaining(sendTimer_);
    if (receiveTimer_ && receiveTimer_->isValid()) movedReceiveTimer_ = remaining(receiveTimer_);
    if (sendTimer_) sendTimer_->invalidate();
    if (receiveTimer_) receiveTimer_->invalidate();
    sendTimer_.reset();
    receiveTimer_.reset();

    // The new loop's thread may use the object from the moment it can reach
    // it: once a watcher or timer sits on that loop, its callback may run
    // there while this thread is still here. So this thread hands the object
    // over now and touches it no more; the new loop sets everything up again
    // at its next turn, before any work scheduled there later.
    runLoop_ = runLoop;
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    uint64_t epoch = epoch_.load();
    runLoop->perform([weak, epoch] {
        auto self = weak.lock();
        if (self && self->epoch_.load() == epoch) self->resumeAfterMove();
    });
    return true;
}

void AsyncUdpSocket::resumeAfterMove() {
    if (isClosed() || !runLoop_) return;
    // A call on the new thread may have watched or timed already.
    for (Family f : {Family::V4, Family::V6}) {
        Endpoint& ep = endpoint(f);
        if (!ep.watcher && ep.watched) setWatcher(f, ep.watched);
    }
    auto sendLeft = std::exchange(movedSendTimer_, std::nullopt);
    auto receiveLeft = std::exchange(movedReceiveTimer_, std::nullopt);
    if (sendLeft && currentSend_ && !sendTimer_) startSendTimer(*sendLeft);
    if (receiveLeft && currentReceive_ && !receiveTimer_) startReceiveTimer(*receiveLeft);
    // The dequeues also carry the close-after checks.
    scheduleDequeueSend();
    scheduleDequeueReceive();
}

bool AsyncUdpSocket::setRunLoopModes(const std::vector<std::string>& modes) {
    if (modes.empty()) return false;
    runLoopModes_ = modes;
    return true;
}

// ---------------------------------------------------------------- sending

bool AsyncUdpSocket::preSend(const ByteBuffer& data) const {
    return !data.empty() && !(flags_ & (kForbidSendReceive | kDidClose));
}

void AsyncUdpSocket::queueSend(std::shared_ptr<AsyncSendPacket> packet) {
    sendQueue_.push_back(std::move(packet));
    scheduleDequeueSend();
}

bool AsyncUdpSocket::sendData(ByteBuffer data, double timeout, long tag) {
    if (!preSend(data) || !isConnected()) return false;
    queueSend(std::make_shared<AsyncSendPacket>(std::move(data), ByteBuffer(), timeout, tag));
    return true;
}

bool AsyncUdpSocket::sendData(ByteBuffer data, const std::string& host, uint16_t port, double timeout, long tag) {
    if (!preSend(data) || isConnected()) return false;
    AddressPair a;
    Error err;
    if (!convertForSend(host, port, &a, &err)) return false;
    ByteBuffer address;
    if (!a.v4.empty() && socket4_.fd >= 0)
        address = a.v4;
    else if (!a.v6.empty() && socket6_.fd >= 0)
        address = a.v6;
    else
        return false;
    queueSend(std::make_shared<AsyncSendPacket>(std::move(data), std::move(address), timeout, tag));
    return true;
}

bool AsyncUdpSocket::sendData(ByteBuffer data, const ByteBuffer& remoteAddr, double timeout, long tag) {
    if (!preSend(data) || isConnected()) return false;
    int family = familyOf(remoteAddr);
    if (family == 0) return false;
    if (family == AF_INET && socket4_.fd < 0) return false;
    if (family == AF_INET6 && socket6_.fd < 0) return false;
    queueSend(std::make_shared<AsyncSendPacket>(std::move(data), remoteAddr, timeout, tag));
    return true;
}

void AsyncUdpSocket::maybeDequeueSend() {
    flags_ &= static_cast<uint16_t>(~kDequeueSendScheduled);
    if (currentSend_ || isClosed()) return;
    if (sendQueue_.empty()) {
        maybeCloseAfterSends();
        return;
    }
    currentSend_ = sendQueue_.front();
    sendQueue_.pop_front();
    if (currentSend_->timeout >= 0.0) startSendTimer(secondsToNanos(currentSend_->timeout));

    // The socket of the destination's family; a connected object has one.
    int family = familyOf(currentSend_->address);
    Family f;
    if (family == AF_INET)
        f = Family::V4;
    else if (family == AF_INET6)
        f = Family::V6;
    else
        f = socket4_.fd >= 0 ? Family::V4 : Family::V6;
    if (endpoint(f).fd < 0) {
        // The family's socket was closed since the datagram was queued (a
        // bind, connect or group join of the other family).
        auto packet = currentSend_;
        endCurrentSend();
        RunLoop* loop = runLoop_;
        if (auto d = delegate())
            d->onUdpSocketDidNotSendDataWithTag(*this, packet->tag,
                                                f == Family::V4 ? ipv4UnavailableError() : ipv6UnavailableError());
        if (stillServing(loop)) scheduleDequeueSend();
        return;
    }
    currentSendFamily_ = f;
    doSend(f);
}

void AsyncUdpSocket::doSend(Family f) {
    if (!currentSend_ || currentSendFamily_ != f) return;
    Endpoint& ep = endpoint(f);
    if (ep.fd < 0) return;
    if (!(flags_ & writableFlag(f)) && !isReady(ep.fd, POLLOUT)) {
        enableNotifications(f);
        return;
    }
    const AsyncSendPacket& p = *currentSend_;
    ssize_t result;
    do {
        if (p.address.empty())
            result = ::send(ep.fd, p.buffer.data(), p.buffer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        else
            result = ::sendto(ep.fd, p.buffer.data(), p.buffer.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                              reinterpret_cast<const sockaddr*>(p.address.data()),
                              static_cast<socklen_t>(p.address.size()));
    } while (result < 0 && errno == EINTR);
    int err = result < 0 ? errno : 0;
    flags_ &= static_cast<uint16_t>(~writableFlag(f));
    if (result < 0 && isTransient(err)) {
        // Not writable after all: the datagram waits for the next write
        // notification (or its time-out).
        enableNotifications(f);
        return;
    }
    auto packet = currentSend_;
    endCurrentSend();
    RunLoop* loop = runLoop_;
    if (result < 0) {
        if (auto d = delegate()) d->onUdpSocketDidNotSendDataWithTag(*this, packet->tag, Error::posix(err));
    } else {
        flags_ |= kDidBind;  // a first send binds the socket
        if (auto d = delegate()) d->onUdpSocketDidSendDataWithTag(*this, packet->tag);
    }
    if (stillServing(loop)) scheduleDequeueSend();
}

void AsyncUdpSocket::startSendTimer(std::chrono::nanoseconds after) {
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    std::weak_ptr<AsyncSendPacket> packet = currentSend_;
    sendTimer_ = RunLoopTimer::scheduled(*runLoop_, after, false, [weak, packet](RunLoopTimer&) {
        auto self = weak.lock();
        auto p = packet.lock();
        if (self && p) self->doSendTimeout(p);
    });
}

void AsyncUdpSocket::doSendTimeout(const std::shared_ptr<AsyncSendPacket>& packet) {
    if (currentSend_ != packet) return;
    endCurrentSend();
    RunLoop* loop = runLoop_;
    if (auto d = delegate()) d->onUdpSocketDidNotSendDataWithTag(*this, packet->tag, sendTimeoutError());
    if (stillServing(loop)) scheduleDequeueSend();
}

void AsyncUdpSocket::endCurrentSend() {
    if (sendTimer_) sendTimer_->invalidate();
    sendTimer_.reset();
    movedSendTimer_.reset();
    currentSend_.reset();
}

// ---------------------------------------------------------------- receiving

void AsyncUdpSocket::receiveWithTimeout(double timeout, long tag) {
    if (flags_ & (kForbidSendReceive | kDidClose)) return;
    receiveQueue_.push_back(std::make_shared<AsyncReceivePacket>(timeout, tag));
    scheduleDequeueReceive();
}

void AsyncUdpSocket::maybeDequeueReceive() {
    flags_ &= static_cast<uint16_t>(~kDequeueReceiveScheduled);
    if (currentReceive_ || isClosed()) return;
    if (receiveQueue_.empty()) {
        maybeCloseAfterReceives();
        return;
    }
    currentReceive_ = receiveQueue_.front();
    receiveQueue_.pop_front();
    if (currentReceive_->timeout >= 0.0) startReceiveTimer(secondsToNanos(currentReceive_->timeout));
    // Datagrams may be waiting already; the sockets take turns at going first.
    Family first = (flags_ & kFlipFlop) ? Family::V4 : Family::V6;
    flags_ ^= kFlipFlop;
    RunLoop* loop = runLoop_;
    doReceive(first);
    if (stillServing(loop)) doReceive(other(first));
}

void AsyncUdpSocket::doReceive(Family f) {
    Endpoint& ep = endpoint(f);
    RunLoop* loop = runLoop_;
    while (currentReceive_ && ep.fd >= 0 && ((flags_ & readableFlag(f)) || isReady(ep.fd, POLLIN))) {
        flags_ &= static_cast<uint16_t>(~readableFlag(f));
        ByteBuffer buffer(maxReceiveBufferSize_);
        sockaddr_storage from{};
        socklen_t fromLen = sizeof from;
        ssize_t result;
        do {
            // MSG_TRUNC: the datagram's whole length, even when it was cut.
            result = ::recvfrom(ep.fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                reinterpret_cast<sockaddr*>(&from), &fromLen);
        } while (result < 0 && errno == EINTR);
        int err = result < 0 ? errno : 0;
        if (result < 0 && isTransient(err)) break;  // nothing waiting after all
        if (result < 0) {
            auto packet = currentReceive_;
            endCurrentReceive();
            if (auto d = delegate()) d->onUdpSocketDidNotReceiveDataWithTag(*this, packet->tag, Error::posix(err));
            if (stillServing(loop)) scheduleDequeueReceive();
            return;
        }
        size_t length = static_cast<size_t>(result);
        if (length > buffer.size()) {
            Log::warn("AsyncUdpSocket", "a datagram of %zu bytes was cut to %zu", length, buffer.size());
            length = buffer.size();
        }
        buffer.resize(length);
        std::string host;
        uint16_t port = 0;
        if (!hostAndPort(from, fromLen, &host, &port)) {
            Log::warn("AsyncUdpSocket", "datagram from an address without text form dropped");
            continue;
        }
        if ((flags_ & kDidConnect) && (host != connectedHost() || port != connectedPort())) continue;

        auto packet = currentReceive_;
        packet->buffer = std::move(buffer);
        packet->hasBuffer = true;
        packet->host = host;
        packet->port = port;
        bool taken = true;
        if (auto d = delegate())
            taken = d->onUdpSocketDidReceiveData(*this, packet->buffer, packet->tag, packet->host, packet->port);
        if (!stillServing(loop) || currentReceive_ != packet) return;
        if (taken) {
            endCurrentReceive();
            scheduleDequeueReceive();
            return;
        }
        packet->buffer.clear();
        packet->hasBuffer = false;
        packet->host.clear();
        packet->port = 0;
    }
    if (currentReceive_ && ep.fd >= 0) enableNotifications(f);
}

void AsyncUdpSocket::startReceiveTimer(std::chrono::nanoseconds after) {
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    std::weak_ptr<AsyncReceivePacket> packet = currentReceive_;
    receiveTimer_ = RunLoopTimer::scheduled(*runLoop_, after, false, [weak, packet](RunLoopTimer&) {
        auto self = weak.lock();
        auto p = packet.lock();
        if (self && p) self->doReceiveTimeout(p);
    });
}

void AsyncUdpSocket::doReceiveTimeout(const std::shared_ptr<AsyncReceivePacket>& packet) {
    if (currentReceive_ != packet) return;
    endCurrentReceive();
    RunLoop* loop = runLoop_;
    if (auto d = delegate()) d->onUdpSocketDidNotReceiveDataWithTag(*this, packet->tag, receiveTimeoutError());
    if (stillServing(loop)) scheduleDequeueReceive();
}

void AsyncUdpSocket::endCurrentReceive() {
    if (receiveTimer_) receiveTimer_->invalidate();
    receiveTimer_.reset();
    movedReceiveTimer_.reset();
    currentReceive_.reset();
}

// ---------------------------------------------------------------- closing

bool AsyncUdpSocket::maybeCloseAfterSends() {
    if (!(flags_ & kCloseAfterSends)) return false;
    if ((flags_ & kCloseAfterReceives) && (!receiveQueue_.empty() || currentReceive_)) return false;
    close();
    return true;
}

bool AsyncUdpSocket::maybeCloseAfterReceives() {
    if (!(flags_ & kCloseAfterReceives)) return false;
    if ((flags_ & kCloseAfterSends) && (!sendQueue_.empty() || currentSend_)) return false;
    close();
    return true;
}

void AsyncUdpSocket::closeWithoutNotice() {
    ++epoch_;  // scheduled dequeues are void
    endCurrentSend();
    endCurrentReceive();
    sendQueue_.clear();
    receiveQueue_.clear();
    closeSocket(Family::V4);
    closeSocket(Family::V6);
    runLoop_ = nullptr;
    flags_ = kDidClose;
}

void AsyncUdpSocket::close() {
    if (isClosed()) return;
    RunLoop* loop = runLoop_;
    closeWithoutNotice();
    if (!loop || !delegate()) return;
    // On a later turn, to the delegate set now, unless the object is gone by
    // then.
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    DelegateRef d = delegate_;
    loop->perform([weak, d] {
        auto self = weak.lock();
        auto delegate = d.lock();
        if (self && delegate) delegate->onUdpSocketDidClose(*self);
    });
}

void AsyncUdpSocket::closeAfterSending() {
    if (isClosed()) return;
    flags_ |= kForbidSendReceive | kCloseAfterSends;
    scheduleDequeueSend();
}

void AsyncUdpSocket::closeAfterReceiving() {
    if (isClosed()) return;
    flags_ |= kForbidSendReceive | kCloseAfterReceives;
    scheduleDequeueReceive();
}

void AsyncUdpSocket::closeAfterSendingAndReceiving() {
    if (isClosed()) return;
    flags_ |= kForbidSendReceive | kCloseAfterSends | kCloseAfterReceives;
    scheduleDequeueSend();
    scheduleDequeueReceive();
}

}  // namespace lumora
