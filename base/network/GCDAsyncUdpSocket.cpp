#include "base/network/GCDAsyncUdpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/network/SocketAddress.h"
#include "platform/ErrorCodes.h"

namespace lumora {

namespace {

// State bits of flags_.
enum : uint32_t {
    kDidCreateSockets = 1u << 0,
    kDidBind = 1u << 1,
    kConnecting = 1u << 2,
    kDidConnect = 1u << 3,
    kReceiveOnce = 1u << 4,
    kReceiveContinuous = 1u << 5,
    kIPv4Deactivated = 1u << 6,
    kIPv6Deactivated = 1u << 7,
    kSend4SourceSuspended = 1u << 8,
    kSend6SourceSuspended = 1u << 9,
    kReceive4SourceSuspended = 1u << 10,
    kReceive6SourceSuspended = 1u << 11,
    kSock4CanAcceptBytes = 1u << 12,
    kSock6CanAcceptBytes = 1u << 13,
    kCloseAfterSends = 1u << 15,
    kFlipFlop = 1u << 16,
};

// Configuration bits of config_.
enum : uint16_t {
    kIPv4Disabled = 1u << 0,
    kIPv6Disabled = 1u << 1,
    kPreferIPv4 = 1u << 2,
    kPreferIPv6 = 1u << 3,
};

using ByteBuffer = GCDAsyncUdpSocket::ByteBuffer;

Error udpError(long code, std::string text) {
    return Error(errors::kGCDAsyncUdpSocketErrorDomain, code, std::move(text));
}
Error badConfigError(std::string text) { return udpError(errors::kGCDAsyncUdpSocketBadConfigError, std::move(text)); }
Error badParamError(std::string text) { return udpError(errors::kGCDAsyncUdpSocketBadParamError, std::move(text)); }
Error otherError(std::string text) { return udpError(errors::kGCDAsyncUdpSocketOtherError, std::move(text)); }
Error sendTimeoutError() { return udpError(errors::kGCDAsyncUdpSocketSendTimeoutError, "Send operation timed out"); }
// A system-call failure with the step that failed.
Error errnoErrorWithReason(int err, const char* reason) {
    Error e = Error::posix(err);
    e.description += std::string(" (") + reason + ")";
    return e;
}

const char* kUnknownInterfaceText = "Unknown interface. Specify valid interface by name (e.g. \"eth0\") or IP address.";

std::chrono::nanoseconds secondsToNanos(double seconds) {
    double ns = seconds * 1e9;
    if (ns >= 9.0e18) return std::chrono::nanoseconds(static_cast<int64_t>(9.0e18));
    if (ns < 0) return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

using socketaddress::bytesOf;
using socketaddress::makeAddress4;
using socketaddress::makeAddress6;

sockaddr_in asSockaddr4(const ByteBuffer& b) {
    sockaddr_in sa{};
    std::memcpy(&sa, b.data(), std::min(b.size(), sizeof sa));
    return sa;
}

sockaddr_in6 asSockaddr6(const ByteBuffer& b) {
    sockaddr_in6 sa{};
    std::memcpy(&sa, b.data(), std::min(b.size(), sizeof sa));
    return sa;
}

// Errors of a receive call that only tell of an earlier datagram's fate
// (ICMP notices on a connected socket): the call consumed them and the
// socket goes on.
bool isTransientReceiveError(int err) {
    switch (errnoMeaning(err)) {
        case ErrorMeaning::WouldBlock:
        case ErrorMeaning::Interrupted:
        case ErrorMeaning::Refused:
        case ErrorMeaning::NetworkUnreachable:
        case ErrorMeaning::ConnectionReset:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Owns a descriptor; closes it once the socket and both sources watching it
// have let go, so a descriptor number is never reused under a source.
class GCDAsyncUdpSocket::SocketFd {
public:
    explicit SocketFd(int fd) : fd_(fd) {}
    ~SocketFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    SocketFd(const SocketFd&) = delete;
    SocketFd& operator=(const SocketFd&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// ---------------------------------------------------------------- creation

GCDAsyncUdpSocketPtr GCDAsyncUdpSocket::create() { return create(nullptr, nullptr, nullptr); }

GCDAsyncUdpSocketPtr GCDAsyncUdpSocket::create(DispatchQueuePtr socketQueue) {
    return create(nullptr, nullptr, std::move(socketQueue));
}

GCDAsyncUdpSocketPtr GCDAsyncUdpSocket::create(DelegatePtr delegate, DispatchQueuePtr delegateQueue) {
    return create(std::move(delegate), std::move(delegateQueue), nullptr);
}

GCDAsyncUdpSocketPtr GCDAsyncUdpSocket::create(DelegatePtr delegate, DispatchQueuePtr delegateQueue,
                                               DispatchQueuePtr socketQueue) {
    auto sock = std::make_shared<GCDAsyncUdpSocket>(Private{}, std::move(delegate), std::move(delegateQueue),
                                                    std::move(socketQueue));
    // The observer holds the socket weakly: a notification posted while the
    // socket is being destroyed finds nothing.
    std::weak_ptr<GCDAsyncUdpSocket> weak = sock;
    sock->foregroundObserver_ = NotificationCenter::defaultCenter().addObserver(
        kApplicationWillEnterForegroundNotification, nullptr, [weak](const Notification&) {
            auto self = weak.lock();
            if (!self) return;
            self->socketQueue_->async([weak] {
                if (auto s = weak.lock()) {
                    s->resumeReceiveSource(AF_INET);
                    s->resumeReceiveSource(AF_INET6);
                }
            });
        });
    return sock;
}

GCDAsyncUdpSocket::GCDAsyncUdpSocket(Private, DelegatePtr delegate, DispatchQueuePtr delegateQueue,
                                     DispatchQueuePtr socketQueue)
    : delegate_(std::move(delegate)), delegateQueue_(std::move(delegateQueue)) {
    socketQueue_ = socketQueue ? std::move(socketQueue) : DispatchQueue::createSerial("GCDAsyncUdpSocket");
    socketQueue_->setSpecific(&isOnSocketQueueOrTargetQueueKey_, this);
}

GCDAsyncUdpSocket::~GCDAsyncUdpSocket() {
    if (foregroundObserver_) NotificationCenter::defaultCenter().removeObserver(foregroundObserver_);
    auto task = [this] {
        destroying_ = true;
        closeWithError(Error());
    };
    if (isOnSocketQueue()) task();
    else socketQueue_->sync(task);
    if (socketQueue_->specific(&isOnSocketQueueOrTargetQueueKey_) == this)
        socketQueue_->setSpecific(&isOnSocketQueueOrTargetQueueKey_, nullptr);
}

// ---------------------------------------------------------------- queue rule

bool GCDAsyncUdpSocket::isOnSocketQueue() const {
    return DispatchQueue::getSpecific(&isOnSocketQueueOrTargetQueueKey_) == this;
}

template <class F>
auto GCDAsyncUdpSocket::onSocketQueue(F f) const -> decltype(f()) {
    if (isOnSocketQueue()) return f();
    decltype(f()) result{};
    socketQueue_->sync([&] { result = f(); });
    return result;
}

void GCDAsyncUdpSocket::applyOnSocketQueue(DispatchTask task, bool synchronously) {
    if (isOnSocketQueue()) {
        task();
    } else if (synchronously) {
        socketQueue_->sync(task);
    } else {
        socketQueue_->async([self = shared_from_this(), task = std::move(task)] { task(); });
    }
}

void GCDAsyncUdpSocket::performBlock(const DispatchTask& task) {
    if (isOnSocketQueue()) task();
    else socketQueue_->sync(task);
}

void GCDAsyncUdpSocket::markSocketQueueTargetQueue(const DispatchQueuePtr& queue) {
    if (queue) queue->setSpecific(&isOnSocketQueueOrTargetQueueKey_, this);
}

void GCDAsyncUdpSocket::unmarkSocketQueueTargetQueue(const DispatchQueuePtr& queue) {
    if (queue && queue->specific(&isOnSocketQueueOrTargetQueueKey_) == this)
        queue->setSpecific(&isOnSocketQueueOrTargetQueueKey_, nullptr);
}

int GCDAsyncUdpSocket::fdOf(int family) const { return family == AF_INET ? socket4FD_.load() : socket6FD_.load(); }

int GCDAsyncUdpSocket::socketFD() const {
    if (isOnSocketQueue()) return -1;
    int fd4 = socket4FD_.load();
    return fd4 != -1 ? fd4 : socket6FD_.load();
}
int GCDAsyncUdpSocket::socket4FD() const { return isOnSocketQueue() ? -1 : socket4FD_.load(); }
int GCDAsyncUdpSocket::socket6FD() const { return isOnSocketQueue() ? -1 : socket6FD_.load(); }

// ---------------------------------------------------------------- delegate

void GCDAsyncUdpSocket::notifyDelegate(Callback call) {
    if (!delegateQueue_ || !delegate_) return;
    // While the destructor runs there is no socket to hand out.
    GCDAsyncUdpSocketPtr self = destroying_ ? nullptr : weak_from_this().lock();
    delegateQueue_->async([delegate = delegate_, self, call = std::move(call)] { call(*delegate, self); });
}

void GCDAsyncUdpSocket::notifyDidConnect(const ByteBuffer& address) {
    notifyDelegate([address](GCDAsyncUdpSocketDelegate& d, const GCDAsyncUdpSocketPtr& s) {
        d.udpSocketDidConnectToAddress(s, address);
    });
}
void GCDAsyncUdpSocket::notifyDidNotConnect(const Error& error) {
    notifyDelegate(
        [error](GCDAsyncUdpSocketDelegate& d, const GCDAsyncUdpSocketPtr& s) { d.udpSocketDidNotConnect(s, error); });
}
void GCDAsyncUdpSocket::notifyDidSend(long tag) {
    notifyDelegate(
        [tag](GCDAsyncUdpSocketDelegate& d, const GCDAsyncUdpSocketPtr& s) { d.udpSocketDidSendDataWithTag(s, tag); });
}
void GCDAsyncUdpSocket::notifyDidNotSend(long tag, const Error& error) {
    notifyDelegate([tag, error](GCDAsyncUdpSocketDelegate& d, const GCDAsyncUdpSocketPtr& s) {
        d.udpSocketDidNotSendDataWithTag(s, tag, error);
    });
}
void GCDAsyncUdpSocket::notifyDidReceive(std::shared_ptr<const ByteBuffer> data, const ByteBuffer& address,
                                         std::any context) {
    notifyDelegate([data = std::move(data), address, context = std::move(context)](GCDAsyncUdpSocketDelegate& d,
                                                                                   const GCDAsyncUdpSocketPtr& s) {
        d.udpSocketDidReceiveData(s, *data, address, context);
    });
}
void GCDAsyncUdpSocket::notifyDidClose(const Error& error) {
    notifyDelegate(
        [error](GCDAsyncUdpSocketDelegate& d, const GCDAsyncUdpSocketPtr& s) { d.udpSocketDidClose(s, error); });
}

GCDAsyncUdpSocket::DelegatePtr GCDAsyncUdpSocket::delegate() const {
    return onSocketQueue([this] { return delegate_; });
}
DispatchQueuePtr GCDAsyncUdpSocket::delegateQueue() const {
    return onSocketQueue([this] { return delegateQueue_; });
}
void GCDAsyncUdpSocket::getDelegate(DelegatePtr* delegate, DispatchQueuePtr* delegateQueue) const {
    auto task = [&] {
        if (delegate) *delegate = delegate_;
        if (delegateQueue) *delegateQueue = delegateQueue_;
    };
    if (isOnSocketQueue()) task();
    else socketQueue_->sync(task);
}
void GCDAsyncUdpSocket::setDelegate(DelegatePtr delegate) { setDelegate(std::move(delegate), false); }
void GCDAsyncUdpSocket::synchronouslySetDelegate(DelegatePtr delegate) { setDelegate(std::move(delegate), true); }
void GCDAsyncUdpSocket::setDelegate(DelegatePtr delegate, bool synchronously) {
    applyOnSocketQueue([this, delegate = std::move(delegate)]() mutable { delegate_ = std::move(delegate); },
                       synchronously);
}
void GCDAsyncUdpSocket::setDelegateQueue(DispatchQueuePtr queue) { setDelegateQueue(std::move(queue), false); }
void GCDAsyncUdpSocket::synchronouslySetDelegateQueue(DispatchQueuePtr queue) {
    setDelegateQueue(std::move(queue), true);
}
void GCDAsyncUdpSocket::setDelegateQueue(DispatchQueuePtr queue, bool synchronously) {
    applyOnSocketQueue([this, queue = std::move(queue)]() mutable { delegateQueue_ = std::move(queue); },
                       synchronously);
}
void GCDAsyncUdpSocket::setDelegate(DelegatePtr delegate, DispatchQueuePtr delegateQueue) {
    setDelegate(std::move(delegate), std::move(delegateQueue), false);
}
void GCDAsyncUdpSocket::synchronouslySetDelegate(DelegatePtr delegate, DispatchQueuePtr delegateQueue) {
    setDelegate(std::move(delegate), std::move(delegateQueue), true);
}
void GCDAsyncUdpSocket::setDelegate(DelegatePtr delegate, DispatchQueuePtr delegateQueue, bool synchronously) {
    applyOnSocketQueue(
        [this, delegate = std::move(delegate), queue = std::move(delegateQueue)]() mutable {
            delegate_ = std::move(delegate);
            delegateQueue_ = std::move(queue);
        },
        synchronously);
}

// ---------------------------------------------------------------- configuration

bool GCDAsyncUdpSocket::isIPv4Enabled() const {
    return onSocketQueue([this] { return (config_ & kIPv4Disabled) == 0; });
}
void GCDAsyncUdpSocket::setIPv4Enabled(bool flag) {
    applyOnSocketQueue([this, flag] {
        if (flag) config_ &= ~kIPv4Disabled;
        else config_ |= kIPv4Disabled;
    });
}
bool GCDAsyncUdpSocket::isIPv6Enabled() const {
    return onSocketQueue([this] { return (config_ & kIPv6Disabled) == 0; });
}
void GCDAsyncUdpSocket::setIPv6Enabled(bool flag) {
    applyOnSocketQueue([this, flag] {
        if (flag) config_ &= ~kIPv6Disabled;
        else config_ |= kIPv6Disabled;
    });
}
bool GCDAsyncUdpSocket::isIPv4Preferred() const {
    return onSocketQueue([this] { return (config_ & kPreferIPv4) != 0; });
}
bool GCDAsyncUdpSocket::isIPv6Preferred() const {
    return onSocketQueue([this] { return (config_ & kPreferIPv6) != 0; });
}
bool GCDAsyncUdpSocket::isIPVersionNeutral() const {
    return onSocketQueue([this] { return (config_ & (kPreferIPv4 | kPreferIPv6)) == 0; });
}
void GCDAsyncUdpSocket::setPreferIPv4() {
    applyOnSocketQueue([this] {
        config_ |= kPreferIPv4;
        config_ &= ~kPreferIPv6;
    });
}
void GCDAsyncUdpSocket::setPreferIPv6() {
    applyOnSocketQueue([this] {
        config_ &= ~kPreferIPv4;
        config_ |= kPreferIPv6;
    });
}
void GCDAsyncUdpSocket::setIPVersionNeutral() {
    applyOnSocketQueue([this] { config_ &= ~(kPreferIPv4 | kPreferIPv6); });
}
uint16_t GCDAsyncUdpSocket::maxReceiveIPv4BufferSize() const {
    return onSocketQueue([this] { return max4ReceiveSize_; });
}
void GCDAsyncUdpSocket::setMaxReceiveIPv4BufferSize(uint16_t max) {
    applyOnSocketQueue([this, max] { max4ReceiveSize_ = max; });
}
uint32_t GCDAsyncUdpSocket::maxReceiveIPv6BufferSize() const {
    return onSocketQueue([this] { return max6ReceiveSize_; });
}
void GCDAsyncUdpSocket::setMaxReceiveIPv6BufferSize(uint32_t max) {
    applyOnSocketQueue([this, max] { max6ReceiveSize_ = max; });
}
std::shared_ptr<void> GCDAsyncUdpSocket::userData() const {
    return onSocketQueue([this] { return userData_; });
}
void GCDAsyncUdpSocket::setUserData(std::shared_ptr<void> data) {
    applyOnSocketQueue([this, data = std::move(data)] {
        if (userData_ != data) userData_ = data;
    });
}

// ---------------------------------------------------------------- addresses and state

namespace {

ByteBuffer sockName(int fd, size_t expected) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) < 0 || len < expected) return {};
    return bytesOf(&ss, expected);
}

ByteBuffer peerName(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (fd < 0 || ::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) < 0) return {};
    if (ss.ss_family == AF_INET && len >= sizeof(sockaddr_in)) return bytesOf(&ss, sizeof(sockaddr_in));
    if (ss.ss_family == AF_INET6 && len >= sizeof(sockaddr_in6)) return bytesOf(&ss, sizeof(sockaddr_in6));
    return {};
}

}  // namespace

void GCDAsyncUdpSocket::maybeUpdateCachedLocalAddress4Info() {
    if (!cachedLocalAddress4_.empty() || !(flags_ & kDidBind) || socket4FD_ == -1) return;
    ByteBuffer a = sockName(socket4FD_, sizeof(sockaddr_in));
    if (a.empty()) return;
    cachedLocalAddress4_ = a;
    getHost(&cachedLocalHost4_, &cachedLocalPort4_, a);
}

void GCDAsyncUdpSocket::maybeUpdateCachedLocalAddress6Info() {
    if (!cachedLocalAddress6_.empty() || !(flags_ & kDidBind) || socket6FD_ == -1) return;
    ByteBuffer a = sockName(socket6FD_, sizeof(sockaddr_in6));
    if (a.empty()) return;
    cachedLocalAddress6_ = a;
    getHost(&cachedLocalHost6_, &cachedLocalPort6_, a);
}

void GCDAsyncUdpSocket::maybeUpdateCachedConnectedAddressInfo() {
    if (!cachedConnectedAddress_.empty() || !(flags_ & kDidConnect)) return;
    ByteBuffer a = peerName(socket4FD_ != -1 ? socket4FD_.load() : socket6FD_.load());
    if (a.empty()) return;
    cachedConnectedAddress_ = a;
    getHost(&cachedConnectedHost_, &cachedConnectedPort_, &cachedConnectedFamily_, a);
}

ByteBuffer GCDAsyncUdpSocket::localAddress() const {
    return onSocketQueue([this] { return socket4FD_ != -1 ? localAddress_IPv4() : localAddress_IPv6(); });
}
std::string GCDAsyncUdpSocket::localHost() const {
    return onSocketQueue([this] { return socket4FD_ != -1 ? localHost_IPv4() : localHost_IPv6(); });
}
uint16_t GCDAsyncUdpSocket::localPort() const {
    return onSocketQueue([this] { return socket4FD_ != -1 ? localPort_IPv4() : localPort_IPv6(); });
}
// The caches are filled on demand: the getters are logically const.
ByteBuffer GCDAsyncUdpSocket::localAddress_IPv4() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedLocalAddress4Info();
        return self->cachedLocalAddress4_;
    });
}
std::string GCDAsyncUdpSocket::localHost_IPv4() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedLocalAddress4Info();
        return self->cachedLocalHost4_;
    });
}
uint16_t GCDAsyncUdpSocket::localPort_IPv4() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedLocalAddress4Info();
        return self->cachedLocalPort4_;
    });
}
ByteBuffer GCDAsyncUdpSocket::localAddress_IPv6() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedLocalAddress6Info();
        return self->cachedLocalAddress6_;
    });
}
std::string GCDAsyncUdpSocket::localHost_IPv6() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedLocalAddress6Info();
        return self->cachedLocalHost6_;
    });
}
uint16_t GCDAsyncUdpSocket::localPort_IPv6() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedLocalAddress6Info();
        return self->cachedLocalPort6_;
    });
}
ByteBuffer GCDAsyncUdpSocket::connectedAddress() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedConnectedAddressInfo();
        return self->cachedConnectedAddress_;
    });
}
std::string GCDAsyncUdpSocket::connectedHost() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedConnectedAddressInfo();
        return self->cachedConnectedHost_;
    });
}
uint16_t GCDAsyncUdpSocket::connectedPort() const {
    auto self = const_cast<GCDAsyncUdpSocket*>(this);
    return onSocketQueue([self] {
        self->maybeUpdateCachedConnectedAddressInfo();
        return self->cachedConnectedPort_;
    });
}
bool GCDAsyncUdpSocket::isConnected() const {
    return onSocketQueue([this] { return (flags_ & kDidConnect) != 0; });
}
bool GCDAsyncUdpSocket::isClosed() const {
    return onSocketQueue([this] { return (flags_ & kDidCreateSockets) == 0; });
}
bool GCDAsyncUdpSocket::isIPv4() const {
    return onSocketQueue([this] {
        if (flags_ & kDidCreateSockets) return socket4FD_ != -1;
        return (config_ & kIPv4Disabled) == 0;
    });
}
bool GCDAsyncUdpSocket::isIPv6() const {
    return onSocketQueue([this] {
        if (flags_ & kDidCreateSockets) return socket6FD_ != -1;
        return (config_ & kIPv6Disabled) == 0;
    });
}

bool GCDAsyncUdpSocket::isConnectedToAddress4(const ByteBuffer& address) const {
    if (cachedConnectedFamily_ != AF_INET || address.size() < sizeof(sockaddr_in) ||
        cachedConnectedAddress_.size() < sizeof(sockaddr_in))
        return false;
    sockaddr_in a = asSockaddr4(address), c = asSockaddr4(cachedConnectedAddress_);
    return a.sin_addr.s_addr == c.sin_addr.s_addr && a.sin_port == c.sin_port;
}

bool GCDAsyncUdpSocket::isConnectedToAddress6(const ByteBuffer& address) const {
    if (cachedConnectedFamily_ != AF_INET6 || address.size() < sizeof(sockaddr_in6) ||
        cachedConnectedAddress_.size() < sizeof(sockaddr_in6))
        return false;
    sockaddr_in6 a = asSockaddr6(address), c = asSockaddr6(cachedConnectedAddress_);
    return std::memcmp(&a.sin6_addr, &c.sin6_addr, sizeof a.sin6_addr) == 0 && a.sin6_port == c.sin6_port;
}

// ---------------------------------------------------------------- address helpers

std::string GCDAsyncUdpSocket::hostFromSockaddr4(const sockaddr_in& addr) {
    return socketaddress::hostFromSockaddr4(addr);
}
std::string GCDAsyncUdpSocket::hostFromSockaddr6(const sockaddr_in6& addr) {
    return socketaddress::hostFromSockaddr6(addr);
}
uint16_t GCDAsyncUdpSocket::portFromSockaddr4(const sockaddr_in& addr) { return ntohs(addr.sin_port); }
uint16_t GCDAsyncUdpSocket::portFromSockaddr6(const sockaddr_in6& addr) { return ntohs(addr.sin6_port); }

bool GCDAsyncUdpSocket::getHost(std::string* host, uint16_t* port, int* family, const ByteBuffer& address) {
    if (socketaddress::getHost(host, port, family, address)) return true;
    if (host) host->clear();
    if (port) *port = 0;
    if (family) *family = 0;
    return false;
}
bool GCDAsyncUdpSocket::getHost(std::string* host, uint16_t* port, const ByteBuffer& address) {
    return getHost(host, port, nullptr, address);
}
std::string GCDAsyncUdpSocket::hostFromAddress(const ByteBuffer& address) {
    std::string host;
    getHost(&host, nullptr, nullptr, address);
    return host;
}
uint16_t GCDAsyncUdpSocket::portFromAddress(const ByteBuffer& address) {
    uint16_t port = 0;
    getHost(nullptr, &port, nullptr, address);
    return port;
}
int GCDAsyncUdpSocket::familyFromAddress(const ByteBuffer& address) {
    int family = 0;
    getHost(nullptr, nullptr, &family, address);
    return family;
}
bool GCDAsyncUdpSocket::isIPv4Address(const ByteBuffer& address) { return familyFromAddress(address) == AF_INET; }
bool GCDAsyncUdpSocket::isIPv6Address(const ByteBuffer& address) { return familyFromAddress(address) == AF_INET6; }

unsigned GCDAsyncUdpSocket::indexOfInterfaceAddr4(const ByteBuffer& address) {
    if (address.size() != sizeof(sockaddr_in)) return 0;
    sockaddr_in want = asSockaddr4(address);
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return 0;
    unsigned result = 0;
    for (ifaddrs* it = list; it && !result; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
        sockaddr_in sa;
        std::memcpy(&sa, it->ifa_addr, sizeof sa);
        if (sa.sin_addr.s_addr == want.sin_addr.s_addr) result = ::if_nametoindex(it->ifa_name);
    }
    ::freeifaddrs(list);
    return result;
}

unsigned GCDAsyncUdpSocket::indexOfInterfaceAddr6(const ByteBuffer& address) {
    if (address.size() != sizeof(sockaddr_in6)) return 0;
    sockaddr_in6 want = asSockaddr6(address);
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return 0;
    unsigned result = 0;
    for (ifaddrs* it = list; it && !result; it = it->ifa_next) {
        if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET6) continue;
        sockaddr_in6 sa;
        std::memcpy(&sa, it->ifa_addr, sizeof sa);
        if (std::memcmp(&sa.sin6_addr, &want.sin6_addr, sizeof sa.sin6_addr) == 0)
            result = ::if_nametoindex(it->ifa_name);
    }
    ::freeifaddrs(list);
    return result;
}

// ---------------------------------------------------------------- guards

bool GCDAsyncUdpSocket::preOp(Error* err) const {
    if (!delegate_) {
        *err = badConfigError("Attempting to use socket without a delegate. Set a delegate first.");
        return false;
    }
    if (!delegateQueue_) {
        *err = badConfigError("Attempting to use socket without a delegate queue. Set a delegate queue first.");
        return false;
    }
    return true;
}

bool GCDAsyncUdpSocket::preBind(Error* err) const {
    if (!preOp(err)) return false;
    if (flags_ & kDidBind) {
        *err = badConfigError("Cannot bind a socket more than once.");
        return false;
    }
    if (flags_ & (kConnecting | kDidConnect)) {
        *err = badConfigError("Cannot bind after connecting. If needed, bind first, then connect.");
        return false;
    }
    if ((config_ & kIPv4Disabled) && (config_ & kIPv6Disabled)) {
        *err = badConfigError("Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
        return false;
    }
    return true;
}

bool GCDAsyncUdpSocket::preConnect(Error* err) const {
    if (!preOp(err)) return false;
    if (flags_ & (kConnecting | kDidConnect)) {
        *err = badConfigError("Cannot connect a socket more than once.");
        return false;
    }
    if ((config_ & kIPv4Disabled) && (config_ & kIPv6Disabled)) {
        *err = badConfigError("Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
        return false;
    }
    return true;
}

bool GCDAsyncUdpSocket::preJoin(Error* err) const {
    if (!preOp(err)) return false;
    if (!(flags_ & kDidBind)) {
        *err = badConfigError("Must bind a socket before joining a multicast group.");
        return false;
    }
    if (flags_ & (kConnecting | kDidConnect)) {
        *err = badConfigError("Cannot join a multicast group if connected.");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- creating sockets

int GCDAsyncUdpSocket::createSocket(int family, Error* err) {
    int fd = ::socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *err = errnoErrorWithReason(errno, "Error in socket() function");
        return -1;
    }
    int fl = ::fcntl(fd, F_GETFL, 0);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) < 0) {
        *err = errnoErrorWithReason(errno, "Error enabling non-blocking IO on socket (fcntl)");
        ::close(fd);
        return -1;
    }
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
        *err = errnoErrorWithReason(errno, "Error enabling address reuse (setsockopt)");
        ::close(fd);
        return -1;
    }
    // Linux has no per-socket SIGPIPE switch: every send passes MSG_NOSIGNAL.
    // The IPv6 socket carries IPv6 only, so that it can share its port with
    // the IPv4 socket.
    if (family == AF_INET6 && ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) < 0) {
        *err = errnoErrorWithReason(errno, "Error enabling IPv6-only mode (setsockopt)");
        ::close(fd);
        return -1;
    }
    return fd;
}

bool GCDAsyncUdpSocket::createSockets(bool useIPv4, bool useIPv6, Error* err) {
    int fd4 = -1, fd6 = -1;
    if (useIPv4) {
        fd4 = createSocket(AF_INET, err);
        if (fd4 < 0) return false;
    }
    if (useIPv6) {
        fd6 = createSocket(AF_INET6, err);
        if (fd6 < 0) {
            if (fd4 >= 0) ::close(fd4);
            return false;
        }
    }
    if (fd4 >= 0) setupSendAndReceiveSources(AF_INET, fd4);
    if (fd6 >= 0) setupSendAndReceiveSources(AF_INET6, fd6);
    flags_ |= kDidCreateSockets;
    return true;
}

bool GCDAsyncUdpSocket::createSockets(Error* err) {
    return createSockets((config_ & kIPv4Disabled) == 0, (config_ & kIPv6Disabled) == 0, err);
}

void GCDAsyncUdpSocket::setupSendAndReceiveSources(int family, int fd) {
    auto owner = std::make_shared<SocketFd>(fd);
    std::weak_ptr<GCDAsyncUdpSocket> weak = weak_from_this();
    DispatchSourcePtr send = DispatchSource::makeWrite(fd, socketQueue_);
    DispatchSourcePtr receive = DispatchSource::makeRead(fd, socketQueue_);
    send->setEventHandler([weak, family] {
        if (auto self = weak.lock()) self->sendSourceFired(family);
    });
    receive->setEventHandler([weak, family] {
        if (auto self = weak.lock()) self->receiveSourceFired(family);
    });
    // Each source holds the descriptor until its cancel handler ran.
    send->setCancelHandler([owner]() mutable { owner.reset(); });
    receive->setCancelHandler([owner]() mutable { owner.reset(); });
    if (family == AF_INET) {
        socket4Owner_ = owner;
        send4Source_ = send;
        receive4Source_ = receive;
        socket4FDBytesAvailable_ = 0;
        socket4FD_ = fd;
        flags_ |= kSend4SourceSuspended | kReceive4SourceSuspended | kSock4CanAcceptBytes;
    } else {
        socket6Owner_ = owner;
        send6Source_ = send;
        receive6Source_ = receive;
        socket6FDBytesAvailable_ = 0;
        socket6FD_ = fd;
        flags_ |= kSend6SourceSuspended | kReceive6SourceSuspended | kSock6CanAcceptBytes;
    }
}

void GCDAsyncUdpSocket::suspendSendSource(int family) {
    const DispatchSourcePtr& s = family == AF_INET ? send4Source_ : send6Source_;
    uint32_t bit = family == AF_INET ? kSend4SourceSuspended : kSend6SourceSuspended;
    if (s && !(flags_ & bit)) {
        s->suspend();
        flags_ |= bit;
    }
}
void GCDAsyncUdpSocket::resumeSendSource(int family) {
    const DispatchSourcePtr& s = family == AF_INET ? send4Source_ : send6Source_;
    uint32_t bit = family == AF_INET ? kSend4SourceSuspended : kSend6SourceSuspended;
    if (s && (flags_ & bit)) {
        s->resume();
        flags_ &= ~bit;
    }
}
void GCDAsyncUdpSocket::suspendReceiveSource(int family) {
    const DispatchSourcePtr& s = family == AF_INET ? receive4Source_ : receive6Source_;
    uint32_t bit = family == AF_INET ? kReceive4SourceSuspended : kReceive6SourceSuspended;
    if (s && !(flags_ & bit)) {
        s->suspend();
        flags_ |= bit;
    }
}
void GCDAsyncUdpSocket::resumeReceiveSource(int family) {
    const DispatchSourcePtr& s = family == AF_INET ? receive4Source_ : receive6Source_;
    uint32_t bit = family == AF_INET ? kReceive4SourceSuspended : kReceive6SourceSuspended;
    if (s && (flags_ & bit)) {
        s->resume();
        flags_ &= ~bit;
    }
}

// ---------------------------------------------------------------- resolution

void GCDAsyncUdpSocket::asyncResolveHost(const std::string& host, uint16_t port, ResolveCompletion completion) {
    std::weak_ptr<GCDAsyncUdpSocket> weak = weak_from_this();
    DispatchQueuePtr socketQueue = socketQueue_;
    if (host.empty()) {
        Error err = badParamError("The host param is nil. Should be domain name or IP address string.");
        socketQueue->async([weak, completion = std::move(completion), err] {
            if (auto self = weak.lock()) completion(*self, {}, err);
        });
        return;
    }
    DispatchQueue::global()->async([weak, socketQueue, host, port, completion = std::move(completion)] {
        std::vector<ByteBuffer> addresses;
        Error err;
        if (host == "localhost" || host == "loopback") {
            in_addr lo4{};
            lo4.s_addr = htonl(INADDR_LOOPBACK);
            addresses.push_back(makeAddress4(lo4, port));
            addresses.push_back(makeAddress6(in6addr_loopback, port));
        } else {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_DGRAM;
            hints.ai_protocol = IPPROTO_UDP;
            addrinfo* res = nullptr;
            std::string service = std::to_string(port);
            int gai = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
            if (gai != 0) {
                err = Error::resolver(gai);
            } else {
                for (addrinfo* it = res; it; it = it->ai_next) {
                    if (it->ai_family == AF_INET && it->ai_addrlen >= sizeof(sockaddr_in))
                        addresses.push_back(bytesOf(it->ai_addr, sizeof(sockaddr_in)));
                    else if (it->ai_family == AF_INET6 && it->ai_addrlen >= sizeof(sockaddr_in6))
                        addresses.push_back(bytesOf(it->ai_addr, sizeof(sockaddr_in6)));
                }
                ::freeaddrinfo(res);
                if (addresses.empty()) err = Error::resolver(EAI_FAIL);
            }
        }
        socketQueue->async([weak, completion, addresses = std::move(addresses), err]() mutable {
            if (auto self = weak.lock()) completion(*self, std::move(addresses), err);
        });
    });
}

int GCDAsyncUdpSocket::getAddress(ByteBuffer* address, Error* err, const std::vector<ByteBuffer>& addresses) const {
    bool v4Disabled = config_ & kIPv4Disabled;
    bool v6Disabled = config_ & kIPv6Disabled;
    bool v4Deactivated = flags_ & kIPv4Deactivated;
    bool v6Deactivated = flags_ & kIPv6Deactivated;
    bool hasV4 = false, hasV6 = false;
    for (const auto& a : addresses) {
        int f = familyFromAddress(a);
        hasV4 |= f == AF_INET;
        hasV6 |= f == AF_INET6;
    }
    if (v4Disabled && !hasV6) {
        *err = otherError("IPv4 has been disabled and DNS lookup found no IPv6 address(es).");
        return 0;
    }
    if (v6Disabled && !hasV4) {
        *err = otherError("IPv6 has been disabled and DNS lookup found no IPv4 address(es).");
        return 0;
    }
    if (v4Deactivated && !hasV6) {
        *err = otherError("IPv4 has been deactivated due to bind/connect, and DNS lookup found no IPv6 address(es).");
        return 0;
    }
    if (v6Deactivated && !hasV4) {
        *err = otherError("IPv6 has been deactivated due to bind/connect, and DNS lookup found no IPv4 address(es).");
        return 0;
    }
    const ByteBuffer* a4 = nullptr;
    const ByteBuffer* a6 = nullptr;
    bool v4First = false;
    for (const auto& a : addresses) {
        int f = familyFromAddress(a);
        if (f == AF_INET && !a4 && !v4Disabled && !v4Deactivated) {
            a4 = &a;
            if (!a6) v4First = true;
        } else if (f == AF_INET6 && !a6 && !v6Disabled && !v6Deactivated) {
            a6 = &a;
        }
    }
    // Disabled for one family and deactivated for the other: nothing is left.
    if (!a4 && !a6) {
        *err = otherError("No usable IPv4 or IPv6 address was found.");
        return 0;
    }
    bool useV4 = (a4 && (config_ & kPreferIPv4)) || !a6 || (a4 && !(config_ & kPreferIPv6) && v4First);
    *address = useV4 ? *a4 : *a6;
    return useV4 ? AF_INET : AF_INET6;
}

void GCDAsyncUdpSocket::convertInterfaceDescription(const std::string& interface, uint16_t port,
                                                    ByteBuffer* address4, ByteBuffer* address6) {
    address4->clear();
    address6->clear();
    if (interface.empty()) {
        in_addr any4{};
        any4.s_addr = htonl(INADDR_ANY);
        *address4 = makeAddress4(any4, port);
        *address6 = makeAddress6(in6addr_any, port);
        return;
    }
    if (interface == "localhost" || interface == "loopback") {
        in_addr lo4{};
        lo4.s_addr = htonl(INADDR_LOOPBACK);
        *address4 = makeAddress4(lo4, port);
        *address6 = makeAddress6(in6addr_loopback, port);
        return;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr) continue;
        if (it->ifa_addr->sa_family == AF_INET && address4->empty()) {
            sockaddr_in sa;
            std::memcpy(&sa, it->ifa_addr, sizeof sa);
            if (interface == it->ifa_name || interface == hostFromSockaddr4(sa))
                *address4 = makeAddress4(sa.sin_addr, port);
        } else if (it->ifa_addr->sa_family == AF_INET6 && address6->empty()) {
            sockaddr_in6 sa;
            std::memcpy(&sa, it->ifa_addr, sizeof sa);
            if (interface == it->ifa_name || interface == hostFromSockaddr6(sa))
                *address6 = makeAddress6(sa.sin6_addr, port, sa.sin6_scope_id);
        }
    }
    ::freeifaddrs(list);
}

void GCDAsyncUdpSocket::convertNumericHost(const std::string& host, uint16_t port, ByteBuffer* address4,
                                           ByteBuffer* address6) {
    address4->clear();
    address6->clear();
    if (host.empty()) return;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* res = nullptr;
    std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0) return;
    for (addrinfo* it = res; it; it = it->ai_next) {
        if (it->ai_family == AF_INET && address4->empty() && it->ai_addrlen >= sizeof(sockaddr_in))
            *address4 = bytesOf(it->ai_addr, sizeof(sockaddr_in));
        else if (it->ai_family == AF_INET6 && address6->empty() && it->ai_addrlen >= sizeof(sockaddr_in6))
            *address6 = bytesOf(it->ai_addr, sizeof(sockaddr_in6));
    }
    ::freeaddrinfo(res);
}

// ---------------------------------------------------------------- binding

bool GCDAsyncUdpSocket::bindToPort(uint16_t port, Error* errPtr) { return bindToPort(port, std::string(), errPtr); }

bool GCDAsyncUdpSocket::bindToPort(uint16_t port, const std::string& interface, Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] {
        if (!preBind(&err)) return;
        ByteBuffer a4, a6;
        convertInterfaceDescription(interface, port, &a4, &a6);
        if (a4.empty() && a6.empty()) {
            err = badParamError(kUnknownInterfaceText);
            return;
        }
        bool v4Disabled = config_ & kIPv4Disabled;
        bool v6Disabled = config_ & kIPv6Disabled;
        if (v4Disabled && a6.empty()) {
            err = badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
            return;
        }
        if (v6Disabled && a4.empty()) {
            err = badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
            return;
        }
        bool useIPv4 = !v4Disabled && !a4.empty();
        bool useIPv6 = !v6Disabled && !a6.empty();
        if (!(flags_ & kDidCreateSockets)) {
            if (!createSockets(useIPv4, useIPv6, &err)) return;
        }
        // Sockets made earlier (by broadcast enabling or a waiting send)
        // may lack a family that was enabled since; it is then not used.
        if (flags_ & kDidCreateSockets) {
            if (useIPv4 && socket4FD_ == -1 && useIPv6 && socket6FD_ != -1) useIPv4 = false;
            if (useIPv6 && socket6FD_ == -1 && useIPv4 && socket4FD_ != -1) useIPv6 = false;
        }
        if (useIPv4 && ::bind(socket4FD_, reinterpret_cast<const sockaddr*>(a4.data()),
                              static_cast<socklen_t>(a4.size())) < 0) {
            err = errnoErrorWithReason(errno, "Error in bind() function");
            closeSockets();
            return;
        }
        if (useIPv6 && ::bind(socket6FD_, reinterpret_cast<const sockaddr*>(a6.data()),
                              static_cast<socklen_t>(a6.size())) < 0) {
            err = errnoErrorWithReason(errno, "Error in bind() function");
            closeSockets();
            return;
        }
        flags_ |= kDidBind;
        if (!useIPv4) flags_ |= kIPv4Deactivated;
        if (!useIPv6) flags_ |= kIPv6Deactivated;
        result = true;
    });
    if (!result && errPtr) *errPtr = err;
    return result;
}

bool GCDAsyncUdpSocket::bindToAddress(const ByteBuffer& address, Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] {
        if (!preBind(&err)) return;
        int family = familyFromAddress(address);
        if (family == 0) {
            err = badParamError("A valid IPv4 or IPv6 address was not given");
            return;
        }
        if (family == AF_INET && (config_ & kIPv4Disabled)) {
            err = badParamError("IPv4 has been disabled and an IPv4 address was passed.");
            return;
        }
        if (family == AF_INET6 && (config_ & kIPv6Disabled)) {
            err = badParamError("IPv6 has been disabled and an IPv6 address was passed.");
            return;
        }
        if (!(flags_ & kDidCreateSockets)) {
            if (!createSockets(family == AF_INET, family == AF_INET6, &err)) return;
        }
        size_t len = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        int fd = fdOf(family);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(len)) < 0) {
            err = errnoErrorWithReason(errno, "Error in bind() function");
            closeSockets();
            return;
        }
        flags_ |= kDidBind;
        flags_ |= family == AF_INET ? kIPv6Deactivated : kIPv4Deactivated;
        result = true;
    });
    if (!result && errPtr) *errPtr = err;
    return result;
}

// ---------------------------------------------------------------- connecting

bool GCDAsyncUdpSocket::connectToHost(const std::string& host, uint16_t port, Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] {
        if (!preConnect(&err)) return;
        if (host.empty()) {
            err = badParamError("The host param is nil. Should be domain name or IP address string.");
            return;
        }
        if (!(flags_ & kDidCreateSockets)) {
            if (!createSockets(&err)) return;
        }
        auto packet = std::make_shared<GCDAsyncUdpConnectPacket>();
        packet->resolveInProgress = true;
        asyncResolveHost(host, port, [packet](GCDAsyncUdpSocket& self, std::vector<ByteBuffer> addresses, Error e) {
            packet->resolveInProgress = false;
            packet->addresses = std::move(addresses);
            packet->error = e;
            self.maybeConnect();
        });
        result = startConnect(packet, &err);
    });
    if (!result && errPtr) *errPtr = err;
    return result;
}

bool GCDAsyncUdpSocket::connectToAddress(const ByteBuffer& address, Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] {
        if (!preConnect(&err)) return;
        if (address.empty()) {
            err = badParamError("The address param is nil. Should be a valid address.");
            return;
        }
        if (!(flags_ & kDidCreateSockets)) {
            if (!createSockets(&err)) return;
        }
        auto packet = std::make_shared<GCDAsyncUdpConnectPacket>();
        packet->addresses.push_back(address);
        result = startConnect(packet, &err);
    });
    if (!result && errPtr) *errPtr = err;
    return result;
}

bool GCDAsyncUdpSocket::startConnect(std::shared_ptr<GCDAsyncUdpConnectPacket> packet, Error*) {
    flags_ |= kConnecting;
    sendQueue_.push_back(QueueEntry{nullptr, std::move(packet)});
    maybeDequeueSend();
    return true;
}

void GCDAsyncUdpSocket::maybeConnect() {
    auto packet = currentConnect_;
    if (!packet || packet->resolveInProgress) return;
    if (!packet->error.empty()) {
        notifyDidNotConnect(packet->error);
    } else {
        ByteBuffer address;
        Error err;
        int family = getAddress(&address, &err, packet->addresses);
        if (family == 0) {
            notifyDidNotConnect(err);
        } else if (connectWithAddress(family, address, &err)) {
            flags_ |= kDidBind | kDidConnect;
            cachedConnectedAddress_ = address;
            getHost(&cachedConnectedHost_, &cachedConnectedPort_, &cachedConnectedFamily_, address);
            notifyDidConnect(address);
        } else {
            notifyDidNotConnect(err);
        }
    }
    flags_ &= ~kConnecting;
    endCurrentSend();
    maybeDequeueSend();
}

bool GCDAsyncUdpSocket::connectWithAddress(int family, const ByteBuffer& address, Error* err) {
    int fd = fdOf(family);
    if (fd == -1) {
        *err = otherError(family == AF_INET ? "The IPv4 socket is not open." : "The IPv6 socket is not open.");
        return false;
    }
    size_t len = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(len)) < 0) {
        *err = errnoErrorWithReason(errno, "Error in connect() function");
        return false;
    }
    if (family == AF_INET) {
        closeSocket6();
        flags_ |= kIPv6Deactivated;
    } else {
        closeSocket4();
        flags_ |= kIPv4Deactivated;
    }
    return true;
}

// ---------------------------------------------------------------- sending

void GCDAsyncUdpSocket::sendData(ByteBuffer data, long tag) { sendData(std::move(data), -1.0, tag); }

void GCDAsyncUdpSocket::sendData(ByteBuffer data, double timeout, long tag) {
    if (data.empty()) return;
    queueSend(std::make_shared<GCDAsyncUdpSendPacket>(std::move(data), timeout, tag));
}

void GCDAsyncUdpSocket::sendData(ByteBuffer data, const std::string& host, uint16_t port, double timeout, long tag) {
    if (data.empty()) return;
    auto packet = std::make_shared<GCDAsyncUdpSendPacket>(std::move(data), timeout, tag);
    packet->resolveInProgress = true;
    packet->hostGiven = true;
    asyncResolveHost(host, port, [packet](GCDAsyncUdpSocket& self, std::vector<ByteBuffer> addresses, Error e) {
        packet->resolveInProgress = false;
        packet->resolvedAddresses = std::move(addresses);
        packet->resolveError = e;
        if (self.currentSend_ == packet) self.doPreSend();
    });
    queueSend(std::move(packet));
}

void GCDAsyncUdpSocket::sendData(ByteBuffer data, const ByteBuffer& address, double timeout, long tag) {
    if (data.empty()) return;
    auto packet = std::make_shared<GCDAsyncUdpSendPacket>(std::move(data), timeout, tag);
    packet->address = address;
    packet->addressFamily = familyFromAddress(address);
    queueSend(std::move(packet));
}

void GCDAsyncUdpSocket::queueSend(std::shared_ptr<GCDAsyncUdpSendPacket> packet) {
    socketQueue_->async([weak = weak_from_this(), packet = std::move(packet)]() mutable {
        auto self = weak.lock();
        if (!self) return;
        self->sendQueue_.push_back(QueueEntry{std::move(packet), nullptr});
        self->maybeDequeueSend();
    });
}

void GCDAsyncUdpSocket::setSendFilter(SendFilter filter, DispatchQueuePtr queue) {
    setSendFilter(std::move(filter), std::move(queue), true);
}

void GCDAsyncUdpSocket::setSendFilter(SendFilter filter, DispatchQueuePtr queue, bool isAsynchronous) {
    applyOnSocketQueue([this, filter = std::move(filter), queue = std::move(queue), isAsynchronous]() mutable {
        if (filter) {
            sendFilterBlock_ = std::move(filter);
            sendFilterQueue_ = std::move(queue);
            sendFilterAsync_ = isAsynchronous;
        } else {
            sendFilterBlock_ = nullptr;
            sendFilterQueue_ = nullptr;
            sendFilterAsync_ = false;
        }
    });
}

// The loop runs here only: a step that ends the current item and asks for
// the next one from inside the loop just returns, and the loop goes on, so a
// long run of failing datagrams never deepens the stack.
void GCDAsyncUdpSocket::maybeDequeueSend() {
    if (dequeueRunning_) return;
    dequeueRunning_ = true;
    // A close inside the loop empties the queue, which ends the loop.
    while (!currentSend_ && !currentConnect_ && !sendQueue_.empty()) {
        if (!(flags_ & kDidCreateSockets)) {
            Error err;
            if (!createSockets(&err)) {
                dequeueRunning_ = false;
                closeWithError(err);
                return;
            }
        }
        QueueEntry entry = std::move(sendQueue_.front());
        sendQueue_.pop_front();
        if (entry.connect) {
            currentConnect_ = entry.connect;
            maybeConnect();
            continue;
        }
        currentSend_ = entry.send;
        if (!currentSend_->resolveError.empty()) {
            notifyDidNotSend(currentSend_->tag, currentSend_->resolveError);
            endCurrentSend();
            continue;
        }
        doPreSend();
    }
    dequeueRunning_ = false;
    if (!currentSend_ && !currentConnect_ && sendQueue_.empty() && (flags_ & kCloseAfterSends)) closeWithError(Error());
}

void GCDAsyncUdpSocket::doPreSend() {
    auto packet = currentSend_;
    if (!packet) return;
    Error err;
    if (flags_ & kDidConnect) {
        if (packet->hostGiven) {
            err = badConfigError("Cannot specify destination of packet for connected socket");
        } else {
            packet->address = cachedConnectedAddress_;
            packet->addressFamily = cachedConnectedFamily_;
        }
    } else if (packet->resolveInProgress) {
        // The resolution's completion runs this step again.
        if (flags_ & kSock4CanAcceptBytes) suspendSendSource(AF_INET);
        if (flags_ & kSock6CanAcceptBytes) suspendSendSource(AF_INET6);
        return;
    } else if (!packet->resolveError.empty()) {
        err = packet->resolveError;
    } else if (packet->address.empty()) {
        if (packet->resolvedAddresses.empty()) {
            err = badConfigError("You must specify destination of packet for a non-connected socket");
        } else {
            packet->addressFamily = getAddress(&packet->address, &err, packet->resolvedAddresses);
        }
    }
    // A destination no open socket can reach is this datagram's failure
    // alone; handed to the send call it would close the whole socket.
    if (err.empty() && packet->addressFamily == 0) {
        err = badParamError("A valid IPv4 or IPv6 address was not given");
    } else if (err.empty() && fdOf(packet->addressFamily) == -1) {
        err = otherError(packet->addressFamily == AF_INET
                             ? "Cannot send to an IPv4 address: the IPv4 socket is disabled or deactivated."
                             : "Cannot send to an IPv6 address: the IPv6 socket is disabled or deactivated.");
    }
    if (!err.empty()) {
        notifyDidNotSend(packet->tag, err);
        endCurrentSend();
        maybeDequeueSend();
        return;
    }
    if (sendFilterBlock_ && sendFilterQueue_) {
        SendFilter filter = sendFilterBlock_;
        if (sendFilterAsync_) {
            packet->filterInProgress = true;
            std::weak_ptr<GCDAsyncUdpSocket> weak = weak_from_this();
            DispatchQueuePtr socketQueue = socketQueue_;
            sendFilterQueue_->async([weak, socketQueue, filter, packet] {
                bool allowed = filter(packet->buffer, packet->address, packet->tag);
                socketQueue->async([weak, packet, allowed] {
                    auto self = weak.lock();
                    if (!self) return;
                    packet->filterInProgress = false;
                    if (self->currentSend_ != packet) return;  // closed or timed out meanwhile
                    if (allowed) {
                        self->doSend();
                    } else {
                        self->notifyDidSend(packet->tag);
                        self->endCurrentSend();
                        self->maybeDequeueSend();
                    }
                });
            });
            return;
        }
        bool allowed = true;
        sendFilterQueue_->sync([&] { allowed = filter(packet->buffer, packet->address, packet->tag); });
        if (!allowed) {
            notifyDidSend(packet->tag);
            endCurrentSend();
            maybeDequeueSend();
            return;
        }
    }
    doSend();
}

void GCDAsyncUdpSocket::doSend() {
    auto packet = currentSend_;
    if (!packet) return;
    int family = packet->addressFamily;
    int fd = fdOf(family);
    ssize_t result;
    do {
        if (flags_ & kDidConnect) {
            result = ::send(fd, packet->buffer.data(), packet->buffer.size(), MSG_NOSIGNAL);
        } else {
            size_t len = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
            result = ::sendto(fd, packet->buffer.data(), packet->buffer.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(packet->address.data()), static_cast<socklen_t>(len));
        }
    } while (result < 0 && errno == EINTR);
    int err = result < 0 ? errno : 0;
    flags_ |= kDidBind;

    if (result > 0) {
        notifyDidSend(packet->tag);
        endCurrentSend();
        maybeDequeueSend();
        return;
    }
    if (result == 0 || errnoMeaning(err) == ErrorMeaning::WouldBlock) {
        flags_ &= ~(family == AF_INET ? kSock4CanAcceptBytes : kSock6CanAcceptBytes);
        if (!(flags_ & kSock4CanAcceptBytes)) resumeSendSource(AF_INET);
        if (!(flags_ & kSock6CanAcceptBytes)) resumeSendSource(AF_INET6);
        if (!sendTimer_ && packet->timeout >= 0) setupSendTimerWithTimeout(packet->timeout);
        return;
    }
    Error e = errnoErrorWithReason(err, "Error in send() function.");
    if (errnoMeaning(err) == ErrorMeaning::BadDescriptor) {
        closeWithError(e);
        return;
    }
    // Too large, unreachable, refused (an ICMP notice about an earlier
    // datagram), broadcast not enabled...: this datagram fails, the socket
    // and the datagrams behind it go on.
    notifyDidNotSend(packet->tag, e);
    endCurrentSend();
    maybeDequeueSend();
}

void GCDAsyncUdpSocket::sendSourceFired(int family) {
    flags_ |= family == AF_INET ? kSock4CanAcceptBytes : kSock6CanAcceptBytes;
    auto packet = currentSend_;
    // A source whose socket the current datagram does not use is quiet
    // until needed again; left running it would fire without end.
    if (!packet || packet->resolveInProgress || packet->filterInProgress || packet->addressFamily != family) {
        suspendSendSource(family);
        return;
    }
    doSend();
}

void GCDAsyncUdpSocket::endCurrentSend() {
    if (sendTimer_) {
        sendTimer_->cancel();
        sendTimer_.reset();
    }
    currentSend_.reset();
    currentConnect_.reset();
}

void GCDAsyncUdpSocket::setupSendTimerWithTimeout(double timeout) {
    sendTimer_ = DispatchSource::makeTimer(socketQueue_);
    sendTimer_->setEventHandler([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->doSendTimeout();
    });
    sendTimer_->setTimer(secondsToNanos(timeout), DispatchSource::kForever);
    sendTimer_->resume();
}

void GCDAsyncUdpSocket::doSendTimeout() {
    if (!currentSend_) return;
    notifyDidNotSend(currentSend_->tag, sendTimeoutError());
    endCurrentSend();
    maybeDequeueSend();
}

// ---------------------------------------------------------------- receiving

bool GCDAsyncUdpSocket::receiveOnce(Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] { result = startReceiving(kReceiveOnce, &err); });
    if (!result && errPtr) *errPtr = err;
    return result;
}

bool GCDAsyncUdpSocket::beginReceiving(Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] { result = startReceiving(kReceiveContinuous, &err); });
    if (!result && errPtr) *errPtr = err;
    return result;
}

bool GCDAsyncUdpSocket::startReceiving(uint32_t mode, Error* err) {
    uint32_t other = mode == kReceiveOnce ? kReceiveContinuous : kReceiveOnce;
    if ((flags_ & mode) && !(flags_ & other)) return true;
    if (!(flags_ & kDidCreateSockets)) {
        *err = badConfigError(
            "Must bind socket before you can receive data. You can do this explicitly via bind, or implicitly via "
            "connect or by sending data.");
        return false;
    }
    flags_ |= mode;
    flags_ &= ~other;
    socketQueue_->async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->doReceive();
    });
    return true;
}

void GCDAsyncUdpSocket::pauseReceiving() {
    applyOnSocketQueue([this] {
        flags_ &= ~(kReceiveOnce | kReceiveContinuous);
        if (socket4FDBytesAvailable_ > 0) suspendReceiveSource(AF_INET);
        if (socket6FDBytesAvailable_ > 0) suspendReceiveSource(AF_INET6);
    });
}

void GCDAsyncUdpSocket::setReceiveFilter(ReceiveFilter filter, DispatchQueuePtr queue) {
    setReceiveFilter(std::move(filter), std::move(queue), true);
}

void GCDAsyncUdpSocket::setReceiveFilter(ReceiveFilter filter, DispatchQueuePtr queue, bool isAsynchronous) {
    applyOnSocketQueue([this, filter = std::move(filter), queue = std::move(queue), isAsynchronous]() mutable {
        if (filter) {
            receiveFilterBlock_ = std::move(filter);
            receiveFilterQueue_ = std::move(queue);
            receiveFilterAsync_ = isAsynchronous;
        } else {
            receiveFilterBlock_ = nullptr;
            receiveFilterQueue_ = nullptr;
            receiveFilterAsync_ = false;
        }
    });
}

// On Linux the read estimate of a UDP socket is the size of the next
// datagram. 0 means an empty datagram waits, or a pending error (an ICMP
// notice), or the estimate raced with a read: look without taking.
void GCDAsyncUdpSocket::receiveSourceFired(int family) {
    DispatchSourcePtr source = family == AF_INET ? receive4Source_ : receive6Source_;
    if (!source) return;
    uint32_t& available = family == AF_INET ? socket4FDBytesAvailable_ : socket6FDBytesAvailable_;
    unsigned long estimate = source->data();
    if (estimate > 0) {
        available = static_cast<uint32_t>(std::min<unsigned long>(estimate, UINT32_MAX));
        doReceive();
        return;
    }
    int fd = fdOf(family);
    uint8_t byte;
    ssize_t peeked;
    do {
        peeked = ::recv(fd, &byte, sizeof byte, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
    } while (peeked < 0 && errno == EINTR);
    if (peeked > 0) {
        available = static_cast<uint32_t>(peeked);
        doReceive();
        return;
    }
    if (peeked == 0) {
        // An empty datagram carries nothing to deliver: take it away, or the
        // source would report it again and again.
        ssize_t r;
        do {
            r = ::recv(fd, &byte, sizeof byte, MSG_DONTWAIT);
        } while (r < 0 && errno == EINTR);
        return;
    }
    int err = errno;
    if (isTransientReceiveError(err)) return;
    closeWithError(errnoErrorWithReason(err, "Error in recvfrom() function"));
}

void GCDAsyncUdpSocket::doReceive() {
    // 1. Nothing asked, or one datagram asked and a filter still deciding.
    if (!(flags_ & (kReceiveOnce | kReceiveContinuous)) || ((flags_ & kReceiveOnce) && pendingFilterOperations_ > 0)) {
        if (socket4FDBytesAvailable_ > 0) suspendReceiveSource(AF_INET);
        if (socket6FDBytesAvailable_ > 0) suspendReceiveSource(AF_INET6);
        return;
    }
    // 2. Nothing known to wait: listen.
    if (socket4FDBytesAvailable_ == 0 && socket6FDBytesAvailable_ == 0) {
        resumeReceiveSource(AF_INET);
        resumeReceiveSource(AF_INET6);
        return;
    }
    // 3. Choose the socket.
    bool useIPv4;
    if (flags_ & kDidConnect) {
        useIPv4 = socket4FD_ != -1;
    } else if (socket4FDBytesAvailable_ > 0 && socket6FDBytesAvailable_ > 0) {
        useIPv4 = (flags_ & kFlipFlop) != 0;
        flags_ ^= kFlipFlop;
    } else {
        useIPv4 = socket4FDBytesAvailable_ > 0;
    }
    // 4. Read one datagram.
    int family = useIPv4 ? AF_INET : AF_INET6;
    int fd = fdOf(family);
    uint32_t& available = useIPv4 ? socket4FDBytesAvailable_ : socket6FDBytesAvailable_;
    uint32_t maxSize = useIPv4 ? max4ReceiveSize_ : max6ReceiveSize_;
    size_t bufSize = std::min<uint32_t>(maxSize, available);
    auto buffer = std::make_shared<ByteBuffer>(bufSize);
    sockaddr_storage from{};
    socklen_t fromLen = useIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    ssize_t result;
    do {
        result = ::recvfrom(fd, buffer->data(), buffer->size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                            &fromLen);
    } while (result < 0 && errno == EINTR);
    int err = result < 0 ? errno : 0;
    // The estimate told of this one datagram only (a longer one was cut to
    // the buffer and its rest is gone): the next read event tells of the
    // next. Reading on with a leftover count would cut the next datagram
    // to that count.
    available = 0;
    // 5. Nothing read.
    if (result == 0 || (result < 0 && isTransientReceiveError(err)) || fd == -1) {
        if (socket4FDBytesAvailable_ == 0) resumeReceiveSource(AF_INET);
        if (socket6FDBytesAvailable_ == 0) resumeReceiveSource(AF_INET6);
        return;
    }
    // 6. The socket failed.
    if (result < 0) {
        closeWithError(errnoErrorWithReason(err, "Error in recvfrom() function"));
        return;
    }
    buffer->resize(static_cast<size_t>(result));
    ByteBuffer address = bytesOf(&from, useIPv4 ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));

    bool delivered = false;
    bool waitingForFilter = false;
    // 7. On a connected socket only the peer is heard.
    bool ignored = (flags_ & kDidConnect) &&
                   !(useIPv4 ? isConnectedToAddress4(address) : isConnectedToAddress6(address));
    if (!ignored) deliverOrFilter(std::move(buffer), std::move(address), &delivered, &waitingForFilter);

    // 9. Go on.
    if (flags_ & kReceiveContinuous) {
        doReceive();
    } else if (flags_ & kReceiveOnce) {
        if (delivered) flags_ &= ~kReceiveOnce;
        else if (!waitingForFilter) doReceive();
    }
}

void GCDAsyncUdpSocket::deliverOrFilter(std::shared_ptr<const ByteBuffer> data, ByteBuffer address, bool* delivered,
                                        bool* waitingForFilter) {
    if (!receiveFilterBlock_ || !receiveFilterQueue_) {
        notifyDidReceive(std::move(data), address, std::any());
        *delivered = true;
        return;
    }
    ReceiveFilter filter = receiveFilterBlock_;
    if (receiveFilterAsync_) {
        ++pendingFilterOperations_;
        *waitingForFilter = true;
        std::weak_ptr<GCDAsyncUdpSocket> weak = weak_from_this();
        DispatchQueuePtr socketQueue = socketQueue_;
        receiveFilterQueue_->async([weak, socketQueue, filter, data, address] {
            std::any context;
            bool allowed = filter(*data, address, &context);
            socketQueue->async([weak, data, address, allowed, context = std::move(context)]() mutable {
                auto self = weak.lock();
                if (!self) return;
                if (self->pendingFilterOperations_ > 0) --self->pendingFilterOperations_;
                if (allowed) self->notifyDidReceive(data, address, std::move(context));
                if (self->flags_ & kReceiveOnce) {
                    if (allowed) self->flags_ &= ~kReceiveOnce;
                    else if (self->pendingFilterOperations_ == 0) self->doReceive();
                }
            });
        });
        return;
    }
    std::any context;
    bool allowed = false;
    receiveFilterQueue_->sync([&] { allowed = filter(*data, address, &context); });
    if (allowed) {
        notifyDidReceive(std::move(data), address, std::move(context));
        *delivered = true;
    }
}

// ---------------------------------------------------------------- closing

void GCDAsyncUdpSocket::close() {
    performBlock([this] { closeWithError(Error()); });
}

void GCDAsyncUdpSocket::closeAfterSending() {
    applyOnSocketQueue([this] {
        flags_ |= kCloseAfterSends;
        if (!currentSend_ && !currentConnect_ && sendQueue_.empty()) closeWithError(Error());
    });
}

void GCDAsyncUdpSocket::closeWithError(const Error& error) {
    bool hadSockets = flags_ & kDidCreateSockets;
    endCurrentSend();
    sendQueue_.clear();
    closeReadAndWriteStreams(AF_INET);
    closeReadAndWriteStreams(AF_INET6);
    closeSockets();
    flags_ = 0;
    // A later bind must not answer the old peer.
    cachedConnectedAddress_.clear();
    cachedConnectedHost_.clear();
    cachedConnectedPort_ = 0;
    cachedConnectedFamily_ = 0;
    if (hadSockets) notifyDidClose(error);
}

void GCDAsyncUdpSocket::closeSockets() {
    closeSocket4();
    closeSocket6();
    flags_ &= ~kDidCreateSockets;
}

void GCDAsyncUdpSocket::closeSocket4() {
    if (socket4FD_ == -1) return;
    closeReadAndWriteStreams(AF_INET);
    // Sources are resumed before cancelling: a suspended source would never
    // run its cancel handler, and the descriptor would stay open.
    send4Source_->cancel();
    receive4Source_->cancel();
    resumeSendSource(AF_INET);
    resumeReceiveSource(AF_INET);
    send4Source_.reset();
    receive4Source_.reset();
    socket4Owner_.reset();  // the cancel handlers close the descriptor
    socket4FD_ = -1;
    socket4FDBytesAvailable_ = 0;
    flags_ &= ~kSock4CanAcceptBytes;
    cachedLocalAddress4_.clear();
    cachedLocalHost4_.clear();
    cachedLocalPort4_ = 0;
}

void GCDAsyncUdpSocket::closeSocket6() {
    if (socket6FD_ == -1) return;
    closeReadAndWriteStreams(AF_INET6);
    send6Source_->cancel();
    receive6Source_->cancel();
    resumeSendSource(AF_INET6);
    resumeReceiveSource(AF_INET6);
    send6Source_.reset();
    receive6Source_.reset();
    socket6Owner_.reset();
    socket6FD_ = -1;
    socket6FDBytesAvailable_ = 0;
    flags_ &= ~kSock6CanAcceptBytes;
    cachedLocalAddress6_.clear();
    cachedLocalHost6_.clear();
    cachedLocalPort6_ = 0;
}

// ---------------------------------------------------------------- multicast and broadcast

bool GCDAsyncUdpSocket::joinMulticastGroup(const std::string& group, Error* errPtr) {
    return joinMulticastGroup(group, std::string(), errPtr);
}
bool GCDAsyncUdpSocket::joinMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] { result = performMulticastRequest(1, group, interface, &err); });
    if (!result && errPtr) *errPtr = err;
    return result;
}
bool GCDAsyncUdpSocket::leaveMulticastGroup(const std::string& group, Error* errPtr) {
    return leaveMulticastGroup(group, std::string(), errPtr);
}
bool GCDAsyncUdpSocket::leaveMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] { result = performMulticastRequest(0, group, interface, &err); });
    if (!result && errPtr) *errPtr = err;
    return result;
}

bool GCDAsyncUdpSocket::performMulticastRequest(int join, const std::string& group, const std::string& interface,
                                                Error* err) {
    if (!preJoin(err)) return false;
    ByteBuffer group4, group6;
    convertNumericHost(group, 0, &group4, &group6);
    if (group4.empty() && group6.empty()) {
        *err = badParamError("Unknown group. Specify valid group IP address.");
        return false;
    }
    ByteBuffer iface4, iface6;
    convertInterfaceDescription(interface, 0, &iface4, &iface6);
    if (iface4.empty() && iface6.empty()) {
        *err = badParamError(kUnknownInterfaceText);
        return false;
    }
    if (socket4FD_ != -1 && !group4.empty() && !iface4.empty()) {
        ip_mreq req{};
        req.imr_multiaddr = asSockaddr4(group4).sin_addr;
        req.imr_interface = asSockaddr4(iface4).sin_addr;
        int option = join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP;
        if (::setsockopt(socket4FD_, IPPROTO_IP, option, &req, sizeof req) < 0) {
            *err = errnoErrorWithReason(errno, "Error in setsockopt() function");
            return false;
        }
        closeSocket6();
        return true;
    }
    if (socket6FD_ != -1 && !group6.empty() && !iface6.empty()) {
        ipv6_mreq req{};
        req.ipv6mr_multiaddr = asSockaddr6(group6).sin6_addr;
        req.ipv6mr_interface = indexOfInterfaceAddr6(iface6);
        int option = join ? IPV6_JOIN_GROUP : IPV6_LEAVE_GROUP;
        if (::setsockopt(socket6FD_, IPPROTO_IPV6, option, &req, sizeof req) < 0) {
            *err = errnoErrorWithReason(errno, "Error in setsockopt() function");
            return false;
        }
        closeSocket4();
        return true;
    }
    *err = badParamError("Socket, group, and interface do not have matching IP versions");
    return false;
}

bool GCDAsyncUdpSocket::enableBroadcast(bool flag, Error* errPtr) {
    Error err;
    bool result = false;
    performBlock([&] {
        if (!preOp(&err)) return;
        if (!(flags_ & kDidCreateSockets)) {
            if (!createSockets(&err)) return;
        }
        if (socket4FD_ == -1) return;  // no IPv4 socket: false with no error
        int value = flag ? 1 : 0;
        if (::setsockopt(socket4FD_, SOL_SOCKET, SO_BROADCAST, &value, sizeof value) < 0) {
            err = errnoErrorWithReason(errno, "Error in setsockopt() function");
            return;
        }
        result = true;
    });
    if (!result && errPtr) *errPtr = err;
    return result;
}

// ---------------------------------------------------------------- streams

bool GCDAsyncUdpSocket::createReadAndWriteStreams(Error* err) {
    if (readStream4_ || readStream6_ || writeStream4_ || writeStream6_) return true;
    if (socket4FD_ == -1 && socket6FD_ == -1) {
        *err = otherError("Cannot create streams without a file descriptor");
        return false;
    }
    if (socket4FD_ != -1) {
        SocketStream::createPairWithSocket(socket4FD_, &readStream4_, &writeStream4_);
        if (!readStream4_ || !writeStream4_) {
            closeReadAndWriteStreams(AF_INET);
            *err = otherError("Error in CFStreamCreatePairWithSocket() [IPv4]");
            return false;
        }
    }
    if (socket6FD_ != -1) {
        SocketStream::createPairWithSocket(socket6FD_, &readStream6_, &writeStream6_);
        if (!readStream6_ || !writeStream6_) {
            closeReadAndWriteStreams(AF_INET);
            closeReadAndWriteStreams(AF_INET6);
            *err = otherError("Error in CFStreamCreatePairWithSocket() [IPv6]");
            return false;
        }
    }
    // The stream pair never closes the descriptor: the sockets' sources do.
    return true;
}

void GCDAsyncUdpSocket::closeReadAndWriteStreams(int family) {
    auto& r = family == AF_INET ? readStream4_ : readStream6_;
    auto& w = family == AF_INET ? writeStream4_ : writeStream6_;
    if (r) {
        r->setClient(SocketStream::kEventNone, nullptr);
        r->close();
        r.reset();
    }
    if (w) {
        w->setClient(SocketStream::kEventNone, nullptr);
        w->close();
        w.reset();
    }
}

std::shared_ptr<SocketStream> GCDAsyncUdpSocket::readStream() {
    if (isOnSocketQueue()) return nullptr;
    std::shared_ptr<SocketStream> result;
    socketQueue_->sync([&] {
        Error err;
        if (!createReadAndWriteStreams(&err)) return;
        result = readStream4_ ? readStream4_ : readStream6_;
    });
    return result;
}

std::shared_ptr<SocketStream> GCDAsyncUdpSocket::writeStream() {
    if (isOnSocketQueue()) return nullptr;
    std::shared_ptr<SocketStream> result;
    socketQueue_->sync([&] {
        Error err;
        if (!createReadAndWriteStreams(&err)) return;
        result = writeStream4_ ? writeStream4_ : writeStream6_;
    });
    return result;
}

bool GCDAsyncUdpSocket::enableBackgroundingOnSockets() { return false; }

}  // namespace lumora
