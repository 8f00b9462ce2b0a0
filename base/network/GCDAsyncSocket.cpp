#include "base/network/GCDAsyncSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/ErrorCodes.h"

namespace lumora {

namespace {

// State bits of flags_.
enum : uint32_t {
    kSocketStarted = 1u << 0,
    kConnected = 1u << 1,
    kForbidReadsWrites = 1u << 2,
    kReadsPaused = 1u << 3,
    kWritesPaused = 1u << 4,
    kDisconnectAfterReads = 1u << 5,
    kDisconnectAfterWrites = 1u << 6,
    kSocketCanAcceptBytes = 1u << 7,
    kReadSourceSuspended = 1u << 8,
    kWriteSourceSuspended = 1u << 9,
    kQueuedTLS = 1u << 10,
    kStartingReadTLS = 1u << 11,
    kStartingWriteTLS = 1u << 12,
    kSocketSecure = 1u << 13,
    kSocketHasReadEOF = 1u << 14,
    kReadStreamClosed = 1u << 15,
};

// Configuration bits of config_.
enum : uint16_t {
    kIPv4Disabled = 1u << 0,
    kIPv6Disabled = 1u << 1,
    kPreferIPv6 = 1u << 2,
    kAllowHalfDuplexConnection = 1u << 3,
};

Error socketError(long code, std::string text) {
    return Error(errors::kGCDAsyncSocketErrorDomain, code, std::move(text));
}
Error badConfigError(std::string reason) { return socketError(errors::kGCDAsyncSocketBadConfigError, std::move(reason)); }
Error badParamError(std::string reason) { return socketError(errors::kGCDAsyncSocketBadParamError, std::move(reason)); }
Error otherError(std::string reason) { return socketError(errors::kGCDAsyncSocketOtherError, std::move(reason)); }
Error connectTimeoutError() {
    return socketError(errors::kGCDAsyncSocketConnectTimeoutError, "Attempt to connect to host timed out");
}
Error readTimeoutError() { return socketError(errors::kGCDAsyncSocketReadTimeoutError, "Read operation timed out"); }
Error writeTimeoutError() { return socketError(errors::kGCDAsyncSocketWriteTimeoutError, "Write operation timed out"); }
Error readMaxedOutError() {
    return socketError(errors::kGCDAsyncSocketReadMaxedOutError, "Read operation reached set maximum length");
}
Error connectionClosedError() { return socketError(errors::kGCDAsyncSocketClosedError, "Socket closed by remote peer"); }
// A system-call failure with the step that failed.
Error errnoErrorWithReason(int err, const char* reason) {
    Error e = Error::posix(err);
    e.description += std::string(" (") + reason + ")";
    return e;
}

bool isRetry(int err) {
    ErrorMeaning m = errnoMeaning(err);
    return m == ErrorMeaning::WouldBlock || m == ErrorMeaning::Interrupted;
}

std::chrono::nanoseconds secondsToNanos(double seconds) {
    double ns = seconds * 1e9;
    if (ns >= 9.0e18) return std::chrono::nanoseconds(static_cast<int64_t>(9.0e18));
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

GCDAsyncSocket::ByteBuffer bytesOf(const void* p, size_t n) {
    auto b = static_cast<const uint8_t*>(p);
    return GCDAsyncSocket::ByteBuffer(b, b + n);
}

GCDAsyncSocket::ByteBuffer makeAddress4(in_addr addr, uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = addr;
    return bytesOf(&sa, sizeof sa);
}

GCDAsyncSocket::ByteBuffer makeAddress6(in6_addr addr, uint16_t port, uint32_t scope = 0) {
    sockaddr_in6 sa{};
    sa.sin6_family = AF_INET6;
    sa.sin6_port = htons(port);
    sa.sin6_addr = addr;
    sa.sin6_scope_id = scope;
    return bytesOf(&sa, sizeof sa);
}

int familyOf(const GCDAsyncSocket::ByteBuffer& address) {
    if (address.size() < sizeof(sa_family_t)) return AF_UNSPEC;
    sa_family_t family;
    std::memcpy(&family, address.data(), sizeof family);
    return family;
}

bool addressHasPort(const GCDAsyncSocket::ByteBuffer& address) {
    return GCDAsyncSocket::portFromAddress(address) != 0;
}

}  // namespace

// Owns a descriptor; closes it when the socket and every source watching it
// have let go, so a descriptor number is never reused under a source.
class GCDAsyncSocket::SocketFd {
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

GCDAsyncSocketPtr GCDAsyncSocket::create() { return create(nullptr, nullptr, nullptr); }

GCDAsyncSocketPtr GCDAsyncSocket::create(DispatchQueuePtr socketQueue) {
    return create(nullptr, nullptr, std::move(socketQueue));
}

GCDAsyncSocketPtr GCDAsyncSocket::create(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue) {
    return create(delegate, std::move(delegateQueue), nullptr);
}

GCDAsyncSocketPtr GCDAsyncSocket::create(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue,
                                         DispatchQueuePtr socketQueue) {
    return std::make_shared<GCDAsyncSocket>(Private{}, delegate, std::move(delegateQueue), std::move(socketQueue));
}

GCDAsyncSocket::GCDAsyncSocket(Private, const DelegatePtr& delegate, DispatchQueuePtr delegateQueue,
                               DispatchQueuePtr socketQueue) {
    delegate_.delegate = delegate;
    delegate_.queue = std::move(delegateQueue);
    socketQueue_ = socketQueue ? std::move(socketQueue) : DispatchQueue::createSerial("GCDAsyncSocket");
}

GCDAsyncSocket::~GCDAsyncSocket() {
    // No callback may refer to a socket that is going away.
    socketQueue_->sync([this] {
        destroying_ = true;
        closeWithError(Error());
    });
}

// ---------------------------------------------------------------- queue rule

template <class T, class F>
T GCDAsyncSocket::onSocketQueue(F f) const {
    T result{};
    socketQueue_->sync([&] { result = f(); });
    return result;
}

void GCDAsyncSocket::applyOnSocketQueue(DispatchTask task) {
    if (socketQueue_->isCurrent()) {
        task();
    } else {
        socketQueue_->async([self = shared_from_this(), task = std::move(task)] { task(); });
    }
}

void GCDAsyncSocket::performBlock(const DispatchTask& task) { socketQueue_->sync(task); }

// ---------------------------------------------------------------- delegate

// The delegate slot lives under its own lock rather than on the socket queue,
// so that clearing the delegate takes effect at once from any queue: a
// callback already on its way then finds a newer epoch and is dropped.
GCDAsyncSocket::DelegateSlot GCDAsyncSocket::delegateSlot() const {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    return delegate_;
}

void GCDAsyncSocket::storeDelegate(const DelegatePtr* delegate, const DispatchQueuePtr* queue) {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    if (delegate) {
        if (delegate_.delegate.lock().get() != delegate->get()) ++delegate_.epoch;
        delegate_.delegate = *delegate;
    }
    if (queue) delegate_.queue = *queue;
}

GCDAsyncSocket::DelegatePtr GCDAsyncSocket::delegateIfCurrent(uint64_t epoch) const {
    std::lock_guard<std::mutex> lock(delegateMutex_);
    if (delegate_.epoch != epoch) return nullptr;
    return delegate_.delegate.lock();
}

void GCDAsyncSocket::notifyDelegate(Callback call) {
    if (destroying_) return;
    DelegateSlot slot = delegateSlot();
    if (!slot.queue || slot.delegate.expired()) return;
    uint64_t epoch = slot.epoch;
    slot.queue->async([self = shared_from_this(), epoch, call = std::move(call)] {
        if (DelegatePtr d = self->delegateIfCurrent(epoch)) call(*d, self);
    });
}

GCDAsyncSocket::DelegatePtr GCDAsyncSocket::delegate() const { return delegateSlot().delegate.lock(); }
DispatchQueuePtr GCDAsyncSocket::delegateQueue() const { return delegateSlot().queue; }
void GCDAsyncSocket::getDelegate(DelegatePtr* delegate, DispatchQueuePtr* delegateQueue) const {
    DelegateSlot slot = delegateSlot();
    if (delegate) *delegate = slot.delegate.lock();
    if (delegateQueue) *delegateQueue = slot.queue;
}
void GCDAsyncSocket::setDelegate(const DelegatePtr& delegate) { storeDelegate(&delegate, nullptr); }
void GCDAsyncSocket::synchronouslySetDelegate(const DelegatePtr& delegate) { storeDelegate(&delegate, nullptr); }
void GCDAsyncSocket::setDelegateQueue(DispatchQueuePtr queue) { storeDelegate(nullptr, &queue); }
void GCDAsyncSocket::synchronouslySetDelegateQueue(DispatchQueuePtr queue) { storeDelegate(nullptr, &queue); }
void GCDAsyncSocket::setDelegate(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue) {
    storeDelegate(&delegate, &delegateQueue);
}
void GCDAsyncSocket::synchronouslySetDelegate(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue) {
    storeDelegate(&delegate, &delegateQueue);
}

// ---------------------------------------------------------------- configuration

bool GCDAsyncSocket::autoDisconnectOnClosedReadStream() const {
    return onSocketQueue<bool>([this] { return (config_ & kAllowHalfDuplexConnection) == 0; });
}
void GCDAsyncSocket::setAutoDisconnectOnClosedReadStream(bool flag) {
    applyOnSocketQueue([this, flag] {
        if (flag) config_ &= ~kAllowHalfDuplexConnection;
        else config_ |= kAllowHalfDuplexConnection;
    });
}
bool GCDAsyncSocket::isIPv4Enabled() const {
    return onSocketQueue<bool>([this] { return (config_ & kIPv4Disabled) == 0; });
}
void GCDAsyncSocket::setIPv4Enabled(bool flag) {
    applyOnSocketQueue([this, flag] {
        if (flag) config_ &= ~kIPv4Disabled;
        else config_ |= kIPv4Disabled;
    });
}
bool GCDAsyncSocket::isIPv6Enabled() const {
    return onSocketQueue<bool>([this] { return (config_ & kIPv6Disabled) == 0; });
}
void GCDAsyncSocket::setIPv6Enabled(bool flag) {
    applyOnSocketQueue([this, flag] {
        if (flag) config_ &= ~kIPv6Disabled;
        else config_ |= kIPv6Disabled;
    });
}
bool GCDAsyncSocket::isIPv4PreferredOverIPv6() const {
    return onSocketQueue<bool>([this] { return (config_ & kPreferIPv6) == 0; });
}
void GCDAsyncSocket::setPreferIPv4OverIPv6(bool flag) {
    applyOnSocketQueue([this, flag] {
        if (flag) config_ &= ~kPreferIPv6;
        else config_ |= kPreferIPv6;
    });
}
std::shared_ptr<void> GCDAsyncSocket::userData() const {
    return onSocketQueue<std::shared_ptr<void>>([this] { return userData_; });
}
void GCDAsyncSocket::setUserData(std::shared_ptr<void> data) {
    applyOnSocketQueue([this, data = std::move(data)] {
        if (userData_ != data) userData_ = data;
    });
}

// ---------------------------------------------------------------- state

bool GCDAsyncSocket::isDisconnected() const {
    return onSocketQueue<bool>([this] { return (flags_ & kSocketStarted) == 0; });
}
bool GCDAsyncSocket::isConnected() const {
    return onSocketQueue<bool>([this] { return (flags_ & kConnected) != 0; });
}
bool GCDAsyncSocket::isIPv4() const {
    return onSocketQueue<bool>([this] { return socket4FD_ != -1; });
}
bool GCDAsyncSocket::isIPv6() const {
    return onSocketQueue<bool>([this] { return socket6FD_ != -1; });
}
bool GCDAsyncSocket::isSecure() const {
    return onSocketQueue<bool>([this] { return (flags_ & kSocketSecure) != 0; });
}

namespace {

GCDAsyncSocket::ByteBuffer peerAddress(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (fd < 0 || ::getpeername(fd, reinterpret_cast<sockaddr*>(&ss), &len) < 0) return {};
    return bytesOf(&ss, len);
}

GCDAsyncSocket::ByteBuffer sockAddress(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) < 0) return {};
    return bytesOf(&ss, len);
}

}  // namespace

int GCDAsyncSocket::connectedFD() const { return socket4FD_ != -1 ? socket4FD_ : socket6FD_; }

std::string GCDAsyncSocket::connectedHost() const {
    return onSocketQueue<std::string>([this] { return hostFromAddress(peerAddress(connectedFD())); });
}
uint16_t GCDAsyncSocket::connectedPort() const {
    return onSocketQueue<uint16_t>([this] { return portFromAddress(peerAddress(connectedFD())); });
}
std::string GCDAsyncSocket::localHost() const {
    return onSocketQueue<std::string>([this] { return hostFromAddress(sockAddress(connectedFD())); });
}
uint16_t GCDAsyncSocket::localPort() const {
    return onSocketQueue<uint16_t>([this] { return portFromAddress(sockAddress(connectedFD())); });
}
GCDAsyncSocket::ByteBuffer GCDAsyncSocket::connectedAddress() const {
    return onSocketQueue<ByteBuffer>([this] { return peerAddress(connectedFD()); });
}
GCDAsyncSocket::ByteBuffer GCDAsyncSocket::localAddress() const {
    return onSocketQueue<ByteBuffer>([this] { return sockAddress(connectedFD()); });
}

std::string GCDAsyncSocket::connectedHost4() const {
    if (!socketQueue_->isCurrent() || socket4FD_ == -1) return {};
    return hostFromAddress(peerAddress(socket4FD_));
}
std::string GCDAsyncSocket::connectedHost6() const {
    if (!socketQueue_->isCurrent() || socket6FD_ == -1) return {};
    return hostFromAddress(peerAddress(socket6FD_));
}
uint16_t GCDAsyncSocket::connectedPort4() const {
    if (!socketQueue_->isCurrent() || socket4FD_ == -1) return 0;
    return portFromAddress(peerAddress(socket4FD_));
}
uint16_t GCDAsyncSocket::connectedPort6() const {
    if (!socketQueue_->isCurrent() || socket6FD_ == -1) return 0;
    return portFromAddress(peerAddress(socket6FD_));
}
std::string GCDAsyncSocket::localHost4() const {
    if (!socketQueue_->isCurrent() || socket4FD_ == -1) return {};
    return hostFromAddress(sockAddress(socket4FD_));
}
std::string GCDAsyncSocket::localHost6() const {
    if (!socketQueue_->isCurrent() || socket6FD_ == -1) return {};
    return hostFromAddress(sockAddress(socket6FD_));
}
uint16_t GCDAsyncSocket::localPort4() const {
    if (!socketQueue_->isCurrent() || socket4FD_ == -1) return 0;
    return portFromAddress(sockAddress(socket4FD_));
}
uint16_t GCDAsyncSocket::localPort6() const {
    if (!socketQueue_->isCurrent() || socket6FD_ == -1) return 0;
    return portFromAddress(sockAddress(socket6FD_));
}
int GCDAsyncSocket::socketFD() const { return socketQueue_->isCurrent() ? connectedFD() : -1; }
int GCDAsyncSocket::socket4FD() const { return socketQueue_->isCurrent() ? socket4FD_ : -1; }
int GCDAsyncSocket::socket6FD() const { return socketQueue_->isCurrent() ? socket6FD_ : -1; }
bool GCDAsyncSocket::enableBackgroundingOnSocket() { return false; }
bool GCDAsyncSocket::enableBackgroundingOnSocketWithCaveat() { return false; }

// ---------------------------------------------------------------- address helpers

std::string GCDAsyncSocket::hostFromSockaddr4(const sockaddr_in& addr) {
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text)) return {};
    return text;
}
std::string GCDAsyncSocket::hostFromSockaddr6(const sockaddr_in6& addr) {
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET6, &addr.sin6_addr, text, sizeof text)) return {};
    return text;
}
uint16_t GCDAsyncSocket::portFromSockaddr4(const sockaddr_in& addr) { return ntohs(addr.sin_port); }
uint16_t GCDAsyncSocket::portFromSockaddr6(const sockaddr_in6& addr) { return ntohs(addr.sin6_port); }

bool GCDAsyncSocket::getHost(std::string* host, uint16_t* port, const ByteBuffer& address) {
    int family = familyOf(address);
    if (family == AF_INET && address.size() >= sizeof(sockaddr_in)) {
        sockaddr_in sa;
        std::memcpy(&sa, address.data(), sizeof sa);
        if (host) *host = hostFromSockaddr4(sa);
        if (port) *port = portFromSockaddr4(sa);
        return true;
    }
    if (family == AF_INET6 && address.size() >= sizeof(sockaddr_in6)) {
        sockaddr_in6 sa;
        std::memcpy(&sa, address.data(), sizeof sa);
        if (host) *host = hostFromSockaddr6(sa);
        if (port) *port = portFromSockaddr6(sa);
        return true;
    }
    return false;
}
std::string GCDAsyncSocket::hostFromAddress(const ByteBuffer& address) {
    std::string host;
    getHost(&host, nullptr, address);
    return host;
}
uint16_t GCDAsyncSocket::portFromAddress(const ByteBuffer& address) {
    uint16_t port = 0;
    getHost(nullptr, &port, address);
    return port;
}

const GCDAsyncSocket::ByteBuffer& GCDAsyncSocket::CRLFData() {
    static const ByteBuffer d{'\r', '\n'};
    return d;
}
const GCDAsyncSocket::ByteBuffer& GCDAsyncSocket::CRData() {
    static const ByteBuffer d{'\r'};
    return d;
}
const GCDAsyncSocket::ByteBuffer& GCDAsyncSocket::LFData() {
    static const ByteBuffer d{'\n'};
    return d;
}
const GCDAsyncSocket::ByteBuffer& GCDAsyncSocket::ZeroData() {
    static const ByteBuffer d{0};
    return d;
}

// ---------------------------------------------------------------- connecting

bool GCDAsyncSocket::preConnectWithInterface(const std::string& interface, Error* err) {
    DelegateSlot slot = delegateSlot();
    if (slot.delegate.expired()) {
        *err = badConfigError("Attempting to connect without a delegate. Set a delegate first.");
        return false;
    }
    if (!slot.queue) {
        *err = badConfigError("Attempting to connect without a delegate queue. Set a delegate queue first.");
        return false;
    }
    if (flags_ & kSocketStarted) {
        *err = badConfigError("Attempting to connect while connected or accepting connections. Disconnect first.");
        return false;
    }
    bool v4Disabled = config_ & kIPv4Disabled;
    bool v6Disabled = config_ & kIPv6Disabled;
    if (v4Disabled && v6Disabled) {
        *err = badConfigError("Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
        return false;
    }
    if (!interface.empty()) {
        ByteBuffer a4, a6;
        getInterfaceAddress(&a4, &a6, interface, 0);
        if (a4.empty() && a6.empty()) {
            *err = badParamError(
                "Unknown interface. Specify valid interface by name (e.g. \"eth0\") or IP address.");
            return false;
        }
        if (v4Disabled && a6.empty()) {
            *err = badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
            return false;
        }
        if (v6Disabled && a4.empty()) {
            *err = badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
            return false;
        }
        connectInterface4_ = std::move(a4);
        connectInterface6_ = std::move(a6);
    }
    readQueue_.clear();
    writeQueue_.clear();
    return true;
}

void GCDAsyncSocket::getInterfaceAddress(ByteBuffer* addr4, ByteBuffer* addr6, const std::string& description,
                                         uint16_t port) {
    addr4->clear();
    addr6->clear();
    std::string interface = description;
    std::string portText;
    bool hasPortPiece = false;
    in6_addr probe6;
    if (!description.empty() && description.front() == '[') {
        // "[v6 address]" or "[v6 address]:port"
        size_t close = description.find(']');
        if (close == std::string::npos) return;
        interface = description.substr(1, close - 1);
        if (close + 1 < description.size() && description[close + 1] == ':') {
            hasPortPiece = true;
            portText = description.substr(close + 2);
        }
    } else if (::inet_pton(AF_INET6, description.c_str(), &probe6) != 1) {
        size_t colon = description.find(':');
        if (colon != std::string::npos) {
            interface = description.substr(0, colon);
            hasPortPiece = true;
            portText = description.substr(colon + 1);
        }
    }
    if (port == 0 && hasPortPiece) {
        char* end = nullptr;
        long p = std::strtol(portText.c_str(), &end, 10);
        port = (!portText.empty() && end && *end == 0 && p >= 1 && p <= 65535) ? static_cast<uint16_t>(p) : 0;
    }

    if (interface.empty()) {
        in_addr any4{};
        any4.s_addr = htonl(INADDR_ANY);
        *addr4 = makeAddress4(any4, port);
        *addr6 = makeAddress6(in6addr_any, port);
        return;
    }
    if (interface == "localhost" || interface == "loopback") {
        in_addr lo4{};
        lo4.s_addr = htonl(INADDR_LOOPBACK);
        *addr4 = makeAddress4(lo4, port);
        *addr6 = makeAddress6(in6addr_loopback, port);
        return;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return;
    for (ifaddrs* it = list; it; it = it->ifa_next) {
        if (!it->ifa_addr) continue;
        if (it->ifa_addr->sa_family == AF_INET && addr4->empty()) {
            sockaddr_in sa;
            std::memcpy(&sa, it->ifa_addr, sizeof sa);
            if (interface == it->ifa_name || interface == hostFromSockaddr4(sa)) *addr4 = makeAddress4(sa.sin_addr, port);
        } else if (it->ifa_addr->sa_family == AF_INET6 && addr6->empty()) {
            sockaddr_in6 sa;
            std::memcpy(&sa, it->ifa_addr, sizeof sa);
            if (interface == it->ifa_name || interface == hostFromSockaddr6(sa))
                *addr6 = makeAddress6(sa.sin6_addr, port, sa.sin6_scope_id);
        }
    }
    ::freeifaddrs(list);
}

bool GCDAsyncSocket::connectToHost(const std::string& host, uint16_t port, Error* errPtr) {
    return connectToHost(host, port, std::string(), -1, errPtr);
}

bool GCDAsyncSocket::connectToHost(const std::string& host, uint16_t port, double timeout, Error* errPtr) {
    return connectToHost(host, port, std::string(), timeout, errPtr);
}

bool GCDAsyncSocket::connectToHost(const std::string& host, uint16_t port, const std::string& interface,
                                   double timeout, Error* errPtr) {
    Error err;
    bool result = false;
    if (host.empty()) {
        err = badParamError("Invalid host parameter (nil or \"\"). Should be a domain name or IP address string.");
    } else {
        socketQueue_->sync([&] {
            if (!preConnectWithInterface(interface, &err)) return;
            flags_ |= kSocketStarted;
            // The look-up holds the socket weakly: a socket its owner drops
            // meanwhile closes at once and the result is discarded.
            DispatchQueue::global()->async([weak = weak_from_this(), q = socketQueue_, index = connectIndex_, host,
                                            port] { lookup(weak, q, index, host, port); });
            startConnectTimeout(timeout);
            result = true;
        });
    }
    if (!result && errPtr) *errPtr = err;
    return result;
}

bool GCDAsyncSocket::connectToAddress(const ByteBuffer& address, Error* errPtr) {
    return connectToAddress(address, std::string(), -1, errPtr);
}

bool GCDAsyncSocket::connectToAddress(const ByteBuffer& address, double timeout, Error* errPtr) {
    return connectToAddress(address, std::string(), timeout, errPtr);
}

bool GCDAsyncSocket::connectToAddress(const ByteBuffer& address, const std::string& interface, double timeout,
                                      Error* errPtr) {
    Error err;
    bool result = false;
    socketQueue_->sync([&] {
        ByteBuffer a4, a6;
        int family = familyOf(address);
        if (family == AF_INET && address.size() == sizeof(sockaddr_in)) a4 = address;
        else if (family == AF_INET6 && address.size() == sizeof(sockaddr_in6)) a6 = address;
        else {
            err = badParamError("A valid IPv4 or IPv6 address was not given");
            return;
        }
        if (!a4.empty() && (config_ & kIPv4Disabled)) {
            err = badParamError("IPv4 has been disabled and an IPv4 address was passed.");
            return;
        }
        if (!a6.empty() && (config_ & kIPv6Disabled)) {
            err = badParamError("IPv6 has been disabled and an IPv6 address was passed.");
            return;
        }
        if (!preConnectWithInterface(interface, &err)) return;
        if (!connectWithAddress(a4, a6, &err)) {
            // Leave nothing half-open behind a refused call.
            closeWithError(err);
            return;
        }
        flags_ |= kSocketStarted;
        startConnectTimeout(timeout);
        result = true;
    });
    if (!result && errPtr) *errPtr = err;
    return result;
}

void GCDAsyncSocket::lookup(std::weak_ptr<GCDAsyncSocket> weakSelf, DispatchQueuePtr socketQueue, int index,
                            std::string host, uint16_t port) {
    ByteBuffer a4, a6;
    Error err;
    if (host == "localhost" || host == "loopback") {
        in_addr lo4{};
        lo4.s_addr = htonl(INADDR_LOOPBACK);
        a4 = makeAddress4(lo4, port);
        a6 = makeAddress6(in6addr_loopback, port);
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* res = nullptr;
        std::string service = std::to_string(port);
        int gai = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
        if (gai != 0) {
            err = Error::resolver(gai);
        } else {
            for (addrinfo* it = res; it; it = it->ai_next) {
                if (it->ai_family == AF_INET && a4.empty()) a4 = bytesOf(it->ai_addr, sizeof(sockaddr_in));
                else if (it->ai_family == AF_INET6 && a6.empty()) a6 = bytesOf(it->ai_addr, sizeof(sockaddr_in6));
            }
            ::freeaddrinfo(res);
            if (a4.empty() && a6.empty()) err = Error::resolver(EAI_FAIL);
        }
    }
    socketQueue->async([weakSelf, index, a4 = std::move(a4), a6 = std::move(a6), err]() mutable {
        auto self = weakSelf.lock();
        if (!self) return;
        if (!err.empty()) self->lookupDidFail(index, err);
        else self->lookupDidSucceed(index, std::move(a4), std::move(a6));
    });
}

void GCDAsyncSocket::lookupDidFail(int index, const Error& err) {
    if (index != connectIndex_) return;  // stale: a newer attempt or a close came first
    endConnectTimeout();
    closeWithError(err);
}

void GCDAsyncSocket::lookupDidSucceed(int index, ByteBuffer a4, ByteBuffer a6) {
    if (index != connectIndex_) return;
    bool v4Disabled = config_ & kIPv4Disabled;
    bool v6Disabled = config_ & kIPv6Disabled;
    if (v4Disabled && a6.empty()) {
        closeWithError(otherError("IPv4 has been disabled and DNS lookup found no IPv6 address."));
        return;
    }
    if (v6Disabled && a4.empty()) {
        closeWithError(otherError("IPv6 has been disabled and DNS lookup found no IPv4 address."));
        return;
    }
    // A disabled family is never used, even when the look-up found it.
    if (v4Disabled) a4.clear();
    if (v6Disabled) a6.clear();
    Error err;
    if (!connectWithAddress(std::move(a4), std::move(a6), &err)) closeWithError(err);
}

// Connects non-blocking and watches the descriptor for writability on the
// socket queue, so that a time-out or close can never leave a connect call
// running on a descriptor number that has been closed and reused.
bool GCDAsyncSocket::connectWithAddress(ByteBuffer a4, ByteBuffer a6, Error* err) {
    bool useIPv6 = ((config_ & kPreferIPv6) && !a6.empty()) || a4.empty();
    const ByteBuffer& address = useIPv6 ? a6 : a4;
    int family = useIPv6 ? AF_INET6 : AF_INET;

    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *err = errnoErrorWithReason(errno, "Error in socket() function");
        return false;
    }
    fdOwner_ = std::make_shared<SocketFd>(fd);
    if (useIPv6) socket6FD_ = fd;
    else socket4FD_ = fd;

    int on = 1;
    if (useIPv6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    const ByteBuffer& iface = useIPv6 ? connectInterface6_ : connectInterface4_;
    if (!iface.empty()) {
        if (addressHasPort(iface)) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(iface.data()), static_cast<socklen_t>(iface.size())) < 0) {
            *err = errnoErrorWithReason(errno, "Error in bind() function");
            return false;
        }
    }
    int fl = ::fcntl(fd, F_GETFL, 0);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) < 0) {
        *err = otherError("Error enabling non-blocking IO on socket (fcntl)");
        return false;
    }

    const int index = connectIndex_;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size()));
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) {
        socketQueue_->async([weak = weak_from_this(), index] {
            if (auto self = weak.lock()) self->didConnect(index);
        });
        return true;
    }
    if (errnoMeaning(errno) != ErrorMeaning::WouldBlock) {
        Error e = errnoErrorWithReason(errno, "Error in connect() function");
        socketQueue_->async([weak = weak_from_this(), index, e] {
            if (auto self = weak.lock()) self->didNotConnect(index, e);
        });
        return true;
    }
    connectSource_ = DispatchSource::makeWrite(fd, socketQueue_);
    connectSource_->setEventHandler([weak = weak_from_this(), index] {
        if (auto self = weak.lock()) self->connectSourceFired(index);
    });
    connectSource_->setCancelHandler([owner = fdOwner_]() mutable { owner.reset(); });
    connectSource_->resume();
    return true;
}

void GCDAsyncSocket::connectSourceFired(int index) {
    if (index != connectIndex_ || !connectSource_) return;
    connectSource_->cancel();
    connectSource_.reset();
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(connectedFD(), SOL_SOCKET, SO_ERROR, &soError, &len) < 0) soError = errno;
    if (soError == 0) didConnect(index);
    else didNotConnect(index, errnoErrorWithReason(soError, "Error in connect() function"));
}

void GCDAsyncSocket::didConnect(int index) {
    if (index != connectIndex_) return;
    flags_ |= kConnected;
    endConnectTimeout();

    const int fd = connectedFD();
    std::string host;
    uint16_t port = 0;
    getHost(&host, &port, peerAddress(fd));

    notifyDelegate([host, port](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) {
        d.socketDidConnectToHost(s, host, port);
    });

    int fl = ::fcntl(fd, F_GETFL, 0);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) < 0) {
        closeWithError(otherError("Error enabling non-blocking IO on socket (fcntl)"));
        return;
    }
    // There is no per-descriptor broken-pipe switch here: every send passes
    // MSG_NOSIGNAL instead.
    setupReadAndWriteSourcesForNewlyConnectedSocket(fd);
    maybeDequeueRead();
    maybeDequeueWrite();
}

void GCDAsyncSocket::didNotConnect(int index, const Error& err) {
    if (index != connectIndex_) return;
    endConnectTimeout();
    closeWithError(err);
}

DispatchSourcePtr GCDAsyncSocket::makeOneShotTimer(double seconds, void (GCDAsyncSocket::*fired)()) {
    auto timer = DispatchSource::makeTimer(socketQueue_);
    auto weak = weak_from_this();
    std::weak_ptr<DispatchSource> weakTimer = timer;
    timer->setEventHandler([weak, weakTimer, fired] {
        auto self = weak.lock();
        if (!self) return;
        auto t = weakTimer.lock();
        // A cancelled or replaced timer no longer speaks for the socket.
        if (!t || t->isCancelled()) return;
        (self.get()->*fired)();
    });
    timer->setTimer(secondsToNanos(seconds), DispatchSource::kForever);
    timer->resume();
    return timer;
}

void GCDAsyncSocket::startConnectTimeout(double timeout) {
    if (timeout >= 0.0) connectTimer_ = makeOneShotTimer(timeout, &GCDAsyncSocket::doConnectTimeout);
}

void GCDAsyncSocket::endConnectTimeout() {
    if (connectTimer_) {
        connectTimer_->cancel();
        connectTimer_.reset();
    }
    ++connectIndex_;
    connectInterface4_.clear();
    connectInterface6_.clear();
}

void GCDAsyncSocket::doConnectTimeout() {
    endConnectTimeout();
    closeWithError(connectTimeoutError());
}

void GCDAsyncSocket::setupReadAndWriteSourcesForNewlyConnectedSocket(int fd) {
    auto weak = weak_from_this();
    readSource_ = DispatchSource::makeRead(fd, socketQueue_);
    writeSource_ = DispatchSource::makeWrite(fd, socketQueue_);
    readSource_->setEventHandler([weak] {
        if (auto self = weak.lock()) self->readSourceFired();
    });
    writeSource_->setEventHandler([weak] {
        if (auto self = weak.lock()) {
            self->flags_ |= kSocketCanAcceptBytes;
            self->doWriteData();
        }
    });
    // Each source holds the descriptor until its cancel handler ran.
    readSource_->setCancelHandler([owner = fdOwner_]() mutable { owner.reset(); });
    writeSource_->setCancelHandler([owner = fdOwner_]() mutable { owner.reset(); });

    socketFDBytesAvailable_ = 0;
    flags_ &= ~kReadSourceSuspended;
    readSource_->resume();
    // The write source stays suspended until a write meets a full buffer.
    flags_ |= kSocketCanAcceptBytes | kWriteSourceSuspended;
}

void GCDAsyncSocket::suspendReadSource() {
    if (readSource_ && !(flags_ & kReadSourceSuspended)) {
        readSource_->suspend();
        flags_ |= kReadSourceSuspended;
    }
}
void GCDAsyncSocket::resumeReadSource() {
    if (readSource_ && (flags_ & kReadSourceSuspended)) {
        readSource_->resume();
        flags_ &= ~kReadSourceSuspended;
    }
}
void GCDAsyncSocket::suspendWriteSource() {
    if (writeSource_ && !(flags_ & kWriteSourceSuspended)) {
        writeSource_->suspend();
        flags_ |= kWriteSourceSuspended;
    }
}
void GCDAsyncSocket::resumeWriteSource() {
    if (writeSource_ && (flags_ & kWriteSourceSuspended)) {
        writeSource_->resume();
        flags_ &= ~kWriteSourceSuspended;
    }
}

// ---------------------------------------------------------------- closing

void GCDAsyncSocket::closeWithError(const Error& err) {
    endConnectTimeout();
    if (currentRead_) endCurrentRead();
    if (currentWrite_) endCurrentWrite();
    readQueue_.clear();
    writeQueue_.clear();
    partialReadBuffer_.clear();

    if (connectSource_) {
        connectSource_->cancel();
        connectSource_.reset();
    }
    // Sources are resumed before cancelling: a suspended source would never
    // run its cancel handler, and the descriptor would stay open.
    if (readSource_) {
        resumeReadSource();
        readSource_->cancel();
        readSource_.reset();
    }
    if (writeSource_) {
        resumeWriteSource();
        writeSource_->cancel();
        writeSource_.reset();
    }
    // Closes the descriptor now, or once the last cancel handler ran.
    fdOwner_.reset();

    socket4FD_ = -1;
    socket6FD_ = -1;
    socketFDBytesAvailable_ = 0;
    bool wasStarted = flags_ & kSocketStarted;
    flags_ = 0;

    if (wasStarted) {
        notifyDelegate([err](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) { d.socketDidDisconnect(s, err); });
    }
}

void GCDAsyncSocket::disconnect() {
    socketQueue_->sync([this] {
        if (flags_ & kSocketStarted) closeWithError(Error());
    });
}

void GCDAsyncSocket::disconnectAfterReading() {
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterReads;
            self->maybeClose();
        }
    });
}

void GCDAsyncSocket::disconnectAfterWriting() {
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterWrites;
            self->maybeClose();
        }
    });
}

void GCDAsyncSocket::disconnectAfterReadingAndWriting() {
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterReads | kDisconnectAfterWrites;
            self->maybeClose();
        }
    });
}

void GCDAsyncSocket::maybeClose() {
    bool readsDrained = readQueue_.empty() && !currentRead_;
    bool writesDrained = writeQueue_.empty() && !currentWrite_;
    bool shouldClose = false;
    if (flags_ & kDisconnectAfterReads) {
        shouldClose = readsDrained && (!(flags_ & kDisconnectAfterWrites) || writesDrained);
    } else if (flags_ & kDisconnectAfterWrites) {
        shouldClose = writesDrained;
    }
    if (shouldClose) closeWithError(Error());
}

void GCDAsyncSocket::doReadEOF() {
    flags_ |= kSocketHasReadEOF;
    bool shouldDisconnect = false;
    if (flags_ & (kStartingReadTLS | kStartingWriteTLS)) {
        shouldDisconnect = true;
    } else if (flags_ & kReadStreamClosed) {
        shouldDisconnect = false;
    } else if (!partialReadBuffer_.empty()) {
        shouldDisconnect = false;  // bytes still wait for a read
    } else if (!(config_ & kAllowHalfDuplexConnection)) {
        shouldDisconnect = true;
    } else {
        pollfd p{connectedFD(), POLLOUT, 0};
        int rc = ::poll(&p, 1, 0);
        bool writable = rc > 0 && (p.revents & POLLOUT) && !(p.revents & (POLLERR | POLLHUP | POLLNVAL));
        if (!writable) {
            shouldDisconnect = true;
        } else {
            flags_ |= kReadStreamClosed;
            notifyDelegate([](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) { d.socketDidCloseReadStream(s); });
        }
    }
    if (shouldDisconnect) {
        closeWithError(connectionClosedError());
    } else {
        suspendReadSource();
    }
}

// ---------------------------------------------------------------- listening and TLS

bool GCDAsyncSocket::acceptOnPort(uint16_t port, Error* errPtr) { return acceptOnInterface(std::string(), port, errPtr); }

bool GCDAsyncSocket::acceptOnInterface(const std::string& interface, uint16_t port, Error* errPtr) {
    (void)interface;
    (void)port;
    if (errPtr) *errPtr = otherError("Listening for connections is not supported yet.");
    return false;
}

void GCDAsyncSocket::startTLS(std::map<std::string, std::string> tlsSettings) {
    (void)tlsSettings;
    socketQueue_->async([self = shared_from_this()] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->closeWithError(otherError("TLS is not supported yet."));
        }
    });
}

// ---------------------------------------------------------------- reads

void GCDAsyncSocket::queueRead(std::shared_ptr<GCDAsyncReadPacket> packet) {
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->readQueue_.push_back(packet);
            self->maybeDequeueRead();
        }
    });
}

void GCDAsyncSocket::readDataWithTimeout(double timeout, long tag) {
    readDataWithTimeout(timeout, nullptr, 0, 0, tag);
}

void GCDAsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<ByteBuffer> buffer, size_t offset, long tag) {
    readDataWithTimeout(timeout, std::move(buffer), offset, 0, tag);
}

void GCDAsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<ByteBuffer> buffer, size_t offset,
                                         size_t maxLength, long tag) {
    if (buffer && offset > buffer->size()) return;
    queueRead(std::make_shared<GCDAsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, ByteBuffer(), tag));
}

void GCDAsyncSocket::readDataToLength(size_t length, double timeout, long tag) {
    readDataToLength(length, timeout, nullptr, 0, tag);
}

void GCDAsyncSocket::readDataToLength(size_t length, double timeout, std::shared_ptr<ByteBuffer> buffer,
                                      size_t offset, long tag) {
    if (length == 0) return;
    if (buffer && offset > buffer->size()) return;
    queueRead(std::make_shared<GCDAsyncReadPacket>(std::move(buffer), offset, 0, timeout, length, ByteBuffer(), tag));
}

void GCDAsyncSocket::readDataToData(ByteBuffer term, double timeout, long tag) {
    readDataToData(std::move(term), timeout, nullptr, 0, 0, tag);
}

void GCDAsyncSocket::readDataToData(ByteBuffer term, double timeout, std::shared_ptr<ByteBuffer> buffer,
                                    size_t offset, long tag) {
    readDataToData(std::move(term), timeout, std::move(buffer), offset, 0, tag);
}

void GCDAsyncSocket::readDataToData(ByteBuffer term, double timeout, size_t maxLength, long tag) {
    readDataToData(std::move(term), timeout, nullptr, 0, maxLength, tag);
}

void GCDAsyncSocket::readDataToData(ByteBuffer term, double timeout, std::shared_ptr<ByteBuffer> buffer,
                                    size_t offset, size_t maxLength, long tag) {
    if (term.empty()) return;
    if (buffer && offset > buffer->size()) return;
    if (maxLength > 0 && maxLength < term.size()) return;
    queueRead(
        std::make_shared<GCDAsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, std::move(term), tag));
}

void GCDAsyncSocket::maybeDequeueRead() {
    if (currentRead_ || !(flags_ & kConnected)) return;
    if (!readQueue_.empty()) {
        currentRead_ = readQueue_.front();
        readQueue_.pop_front();
        setupReadTimerWithTimeout(currentRead_->timeout);
        doReadData();
    } else if (flags_ & kDisconnectAfterReads) {
        if (flags_ & kDisconnectAfterWrites) {
            if (writeQueue_.empty() && !currentWrite_) closeWithError(Error());
        } else {
            closeWithError(Error());
        }
    }
}

void GCDAsyncSocket::readSourceFired() {
    if (!readSource_) return;
    socketFDBytesAvailable_ = readSource_->data();
    if (socketFDBytesAvailable_ > 0) {
        doReadData();
        return;
    }
    // The readiness may be stale: a read step that ran before this handler
    // can have taken the bytes it was reported for. Only a peek tells that
    // apart from end of stream (and it hands over a pending reset).
    uint8_t probe;
    ssize_t peeked = ::recv(connectedFD(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    int peekError = errno;
    if (peeked > 0) {
        socketFDBytesAvailable_ = 1;
        doReadData();
        return;
    }
    if (peeked < 0) {
        if (!isRetry(peekError)) closeWithError(errnoErrorWithReason(peekError, "Error in read() function"));
        return;  // would block: nothing arrived and nothing ended
    }
    // Nothing to read although the descriptor is readable: the peer closed
    // its side, or reset the connection.
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(connectedFD(), SOL_SOCKET, SO_ERROR, &soError, &len) == 0 && soError != 0) {
        closeWithError(errnoErrorWithReason(soError, "Error in read() function"));
        return;
    }
    doReadEOF();
}

void GCDAsyncSocket::doReadData() {
    if (!currentRead_ || (flags_ & kReadsPaused)) {
        // Nothing can take the bytes: stop the source from firing for them.
        if (socketFDBytesAvailable_ > 0) suspendReadSource();
        return;
    }
    bool hasBytesAvailable = socketFDBytesAvailable_ > 0;
    if (!hasBytesAvailable && partialReadBuffer_.empty()) {
        resumeReadSource();
        return;
    }

    // Hold the packet: a close below releases currentRead_.
    std::shared_ptr<GCDAsyncReadPacket> packet = currentRead_;
    GCDAsyncReadPacket& pkt = *packet;
    bool done = false;
    Error error;
    size_t totalBytesRead = 0;

    // 1. Bytes read ahead earlier.
    if (!partialReadBuffer_.empty()) {
        size_t n;
        if (pkt.isTerm()) {
            n = pkt.readLengthForTermWithPreBuffer(partialReadBuffer_, &done);
        } else {
            n = pkt.readLengthForNonTermWithHint(partialReadBuffer_.size());
        }
        pkt.ensureCapacityForAdditionalDataOfLength(n);
        std::memcpy(pkt.writePointer(), partialReadBuffer_.data(), n);
        partialReadBuffer_.erase(partialReadBuffer_.begin(), partialReadBuffer_.begin() + static_cast<long>(n));
        pkt.bytesDone += n;
        totalBytesRead += n;
        if (pkt.isExact()) {
            done = pkt.bytesDone == pkt.readLength;
        } else if (pkt.isTerm()) {
            if (!done && pkt.maxLength > 0 && pkt.bytesDone >= pkt.maxLength) error = readMaxedOutError();
        } else if (pkt.maxLength > 0 && pkt.bytesDone == pkt.maxLength) {
            done = true;
        }
    }

    // 2. Bytes waiting in the connection.
    bool socketEOF = flags_ & kSocketHasReadEOF;
    bool waiting = !done && error.empty() && !socketEOF && !hasBytesAvailable;

    if (!done && error.empty() && !socketEOF && hasBytesAvailable) {
        bool readIntoPartial = false;
        size_t bytesToRead;
        if (pkt.isTerm()) bytesToRead = pkt.readLengthForTermWithHint(socketFDBytesAvailable_, &readIntoPartial);
        else bytesToRead = pkt.readLengthForNonTermWithHint(socketFDBytesAvailable_);

        uint8_t* target;
        if (readIntoPartial) {
            // The partial buffer is empty here: everything in it went to the
            // packet above, or the packet is done.
            partialReadBuffer_.resize(std::max(partialReadBuffer_.size(), bytesToRead));
            target = partialReadBuffer_.data();
        } else {
            pkt.ensureCapacityForAdditionalDataOfLength(bytesToRead);
            target = pkt.writePointer();
        }

        ssize_t result = ::read(connectedFD(), target, bytesToRead);
        size_t bytesRead = 0;
        if (result < 0) {
            int e = errno;
            if (isRetry(e)) waiting = true;
            else error = errnoErrorWithReason(e, "Error in read() function");
            socketFDBytesAvailable_ = 0;
        } else if (result == 0) {
            socketEOF = true;
            socketFDBytesAvailable_ = 0;
        } else {
            bytesRead = static_cast<size_t>(result);
            if (bytesRead < socketFDBytesAvailable_) {
                socketFDBytesAvailable_ -= bytesRead;
            } else {
                socketFDBytesAvailable_ = 0;
                waiting = true;
            }
        }
        if ((!error.empty() || socketEOF) && readIntoPartial) partialReadBuffer_.clear();

        if (bytesRead > 0) {
            if (pkt.isExact()) {
                pkt.bytesDone += bytesRead;
                totalBytesRead += bytesRead;
                done = pkt.bytesDone == pkt.readLength;
            } else if (pkt.isTerm()) {
                if (readIntoPartial) {
                    partialReadBuffer_.resize(bytesRead);
                    size_t n = pkt.readLengthForTermWithPreBuffer(partialReadBuffer_, &done);
                    pkt.ensureCapacityForAdditionalDataOfLength(n);
                    std::memcpy(pkt.writePointer(), partialReadBuffer_.data(), n);
                    partialReadBuffer_.erase(partialReadBuffer_.begin(),
                                             partialReadBuffer_.begin() + static_cast<long>(n));
                    pkt.bytesDone += n;
                    totalBytesRead += n;
                } else {
                    long overflow = pkt.searchForTermAfterPreBuffering(bytesRead);
                    if (overflow == 0) {
                        pkt.bytesDone += bytesRead;
                        totalBytesRead += bytesRead;
                        done = true;
                    } else if (overflow > 0) {
                        size_t underflow = bytesRead - static_cast<size_t>(overflow);
                        const uint8_t* extra = pkt.writePointer() + underflow;
                        partialReadBuffer_.insert(partialReadBuffer_.end(), extra, extra + overflow);
                        pkt.bytesDone += underflow;
                        totalBytesRead += underflow;
                        done = true;
                    } else {
                        pkt.bytesDone += bytesRead;
                        totalBytesRead += bytesRead;
                    }
                }
                if (!done && pkt.maxLength > 0 && pkt.bytesDone >= pkt.maxLength) error = readMaxedOutError();
            } else {
                pkt.bytesDone += bytesRead;
                totalBytesRead += bytesRead;
                done = true;
            }
        }
    }

    // 3. Report.
    if (!done) {
        if (!pkt.isExact() && !pkt.isTerm() && totalBytesRead > 0) {
            done = true;  // an available-bytes read takes what there is
        } else {
            if (totalBytesRead > 0) {
                long tag = pkt.tag;
                notifyDelegate([totalBytesRead, tag](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) {
                    d.socketDidReadPartialDataOfLength(s, totalBytesRead, tag);
                });
            }
            if (!error.empty()) {
                closeWithError(error);
                return;
            }
        }
    }
    if (done) {
        completeCurrentRead();
        if (!error.empty()) {
            closeWithError(error);
            return;
        }
        if (!socketEOF || !partialReadBuffer_.empty()) maybeDequeueRead();
    }

    if (!(flags_ & kSocketStarted)) return;  // closed meanwhile
    if (socketEOF) {
        doReadEOF();
    } else if (waiting) {
        resumeReadSource();
    }
}

void GCDAsyncSocket::completeCurrentRead() {
    GCDAsyncReadPacket& pkt = *currentRead_;
    ByteBuffer result;
    if (pkt.bufferOwner) {
        pkt.buffer->resize(pkt.bytesDone);
        result = std::move(*pkt.buffer);
    } else {
        // The caller keeps its buffer; the delegate gets its own copy, never
        // a view into memory the caller may change or free.
        if (pkt.buffer->size() > pkt.originalBufferLength) {
            pkt.buffer->resize(std::max(pkt.startOffset + pkt.bytesDone, pkt.originalBufferLength));
        }
        auto first = pkt.buffer->begin() + static_cast<long>(pkt.startOffset);
        result.assign(first, first + static_cast<long>(pkt.bytesDone));
    }
    long tag = pkt.tag;
    notifyDelegate([data = std::move(result), tag](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) mutable {
        d.socketDidReadData(s, std::move(data), tag);
    });
    endCurrentRead();
}

void GCDAsyncSocket::endCurrentRead() {
    if (readTimer_) {
        readTimer_->cancel();
        readTimer_.reset();
    }
    currentRead_.reset();
}

void GCDAsyncSocket::setupReadTimerWithTimeout(double timeout) {
    if (timeout >= 0.0) readTimer_ = makeOneShotTimer(timeout, &GCDAsyncSocket::doReadTimeout);
}

void GCDAsyncSocket::doReadTimeout() {
    if (!currentRead_) return;
    flags_ |= kReadsPaused;
    DelegateSlot slot = delegateSlot();
    DelegatePtr d = slot.delegate.lock();
    if (slot.queue && d && d->implementsShouldTimeoutRead() && !destroying_) {
        std::shared_ptr<GCDAsyncReadPacket> theRead = currentRead_;
        long tag = theRead->tag;
        double elapsed = theRead->timeout;
        size_t done = theRead->bytesDone;
        slot.queue->async([self = shared_from_this(), epoch = slot.epoch, theRead, tag, elapsed, done] {
            double extension = 0;
            if (DelegatePtr cur = self->delegateIfCurrent(epoch)) {
                extension = cur->socketShouldTimeoutReadWithTag(self, tag, elapsed, done);
            }
            self->socketQueue_->async([self, theRead, extension] {
                if (self->currentRead_ == theRead) self->doReadTimeoutWithExtension(extension);
            });
        });
    } else {
        doReadTimeoutWithExtension(0.0);
    }
}

void GCDAsyncSocket::doReadTimeoutWithExtension(double extension) {
    if (!currentRead_) return;
    if (extension > 0.0) {
        currentRead_->timeout += extension;
        if (readTimer_) readTimer_->cancel();
        readTimer_ = makeOneShotTimer(extension, &GCDAsyncSocket::doReadTimeout);
        flags_ &= ~kReadsPaused;
        doReadData();
    } else {
        closeWithError(readTimeoutError());
    }
}

// ---------------------------------------------------------------- writes

void GCDAsyncSocket::writeData(ByteBuffer data, double timeout, long tag) {
    if (data.empty()) return;
    writeData(std::make_shared<const ByteBuffer>(std::move(data)), timeout, tag);
}

void GCDAsyncSocket::writeData(std::shared_ptr<const ByteBuffer> data, double timeout, long tag) {
    if (!data || data->empty()) return;
    auto packet = std::make_shared<GCDAsyncWritePacket>(std::move(data), timeout, tag);
    socketQueue_->async([self = shared_from_this(), packet] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->writeQueue_.push_back(packet);
            self->maybeDequeueWrite();
        }
    });
}

void GCDAsyncSocket::maybeDequeueWrite() {
    if (currentWrite_ || !(flags_ & kConnected)) return;
    if (!writeQueue_.empty()) {
        currentWrite_ = writeQueue_.front();
        writeQueue_.pop_front();
        setupWriteTimerWithTimeout(currentWrite_->timeout);
        doWriteData();
    } else if (flags_ & kDisconnectAfterWrites) {
        if (flags_ & kDisconnectAfterReads) {
            if (readQueue_.empty() && !currentRead_) closeWithError(Error());
        } else {
            closeWithError(Error());
        }
    }
}

void GCDAsyncSocket::doWriteData() {
    if (!currentWrite_ || (flags_ & kWritesPaused)) {
        if (flags_ & kSocketCanAcceptBytes) suspendWriteSource();
        return;
    }
    if (!(flags_ & kSocketCanAcceptBytes)) {
        resumeWriteSource();
        return;
    }

    std::shared_ptr<GCDAsyncWritePacket> packet = currentWrite_;
    const ByteBuffer& bytes = *packet->buffer;
    size_t toWrite = bytes.size() - packet->bytesDone;
    bool waiting = false;
    Error error;
    size_t written = 0;

    ssize_t result = ::send(connectedFD(), bytes.data() + packet->bytesDone, toWrite, MSG_NOSIGNAL);
    if (result < 0) {
        int e = errno;
        if (isRetry(e)) {
            waiting = true;
            flags_ &= ~kSocketCanAcceptBytes;
            resumeWriteSource();
        } else {
            error = errnoErrorWithReason(e, "Error in write() function");
        }
    } else {
        written = static_cast<size_t>(result);
    }

    if (written > 0) {
        packet->bytesDone += written;
        if (packet->bytesDone == bytes.size()) {
            completeCurrentWrite();
            maybeDequeueWrite();
            return;
        }
    }
    if (error.empty() && !waiting) {
        // The connection took only part: wait for room.
        flags_ &= ~kSocketCanAcceptBytes;
        resumeWriteSource();
    }
    if (written > 0) {
        long tag = packet->tag;
        notifyDelegate([written, tag](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) {
            d.socketDidWritePartialDataOfLength(s, written, tag);
        });
    }
    if (!error.empty()) closeWithError(error);
}

void GCDAsyncSocket::completeCurrentWrite() {
    long tag = currentWrite_->tag;
    notifyDelegate([tag](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) { d.socketDidWriteDataWithTag(s, tag); });
    endCurrentWrite();
}

void GCDAsyncSocket::endCurrentWrite() {
    if (writeTimer_) {
        writeTimer_->cancel();
        writeTimer_.reset();
    }
    currentWrite_.reset();
}

void GCDAsyncSocket::setupWriteTimerWithTimeout(double timeout) {
    if (timeout >= 0.0) writeTimer_ = makeOneShotTimer(timeout, &GCDAsyncSocket::doWriteTimeout);
}

void GCDAsyncSocket::doWriteTimeout() {
    if (!currentWrite_) return;
    flags_ |= kWritesPaused;
    DelegateSlot slot = delegateSlot();
    DelegatePtr d = slot.delegate.lock();
    if (slot.queue && d && d->implementsShouldTimeoutWrite() && !destroying_) {
        std::shared_ptr<GCDAsyncWritePacket> theWrite = currentWrite_;
        long tag = theWrite->tag;
        double elapsed = theWrite->timeout;
        size_t done = theWrite->bytesDone;
        slot.queue->async([self = shared_from_this(), epoch = slot.epoch, theWrite, tag, elapsed, done] {
            double extension = 0;
            if (DelegatePtr cur = self->delegateIfCurrent(epoch)) {
                extension = cur->socketShouldTimeoutWriteWithTag(self, tag, elapsed, done);
            }
            self->socketQueue_->async([self, theWrite, extension] {
                if (self->currentWrite_ == theWrite) self->doWriteTimeoutWithExtension(extension);
            });
        });
    } else {
        doWriteTimeoutWithExtension(0.0);
    }
}

void GCDAsyncSocket::doWriteTimeoutWithExtension(double extension) {
    if (!currentWrite_) return;
    if (extension > 0.0) {
        currentWrite_->timeout += extension;
        if (writeTimer_) writeTimer_->cancel();
        writeTimer_ = makeOneShotTimer(extension, &GCDAsyncSocket::doWriteTimeout);
        flags_ &= ~kWritesPaused;
        doWriteData();
    } else {
        closeWithError(writeTimeoutError());
    }
}

}  // namespace lumora
