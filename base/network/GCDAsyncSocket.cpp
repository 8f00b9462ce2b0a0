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

#include <future>
#include <thread>

#include "base/network/SocketAddress.h"
#include "base/network/TLSStreamSecurity.h"
#include "platform/ErrorCodes.h"
#include "platform/runloop/RunLoop.h"
#include "platform/Log.h"

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
    kAddedStreamsToRunLoop = 1u << 16,  // stream pair scheduled on the listener thread
    kSecureSocketHasBytesAvailable = 1u << 17,
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

// Most bytes one pass takes from the secure stream.
constexpr size_t kSecureReadLength = 1048576;

std::chrono::nanoseconds secondsToNanos(double seconds) {
    double ns = seconds * 1e9;
    if (ns >= 9.0e18) return std::chrono::nanoseconds(static_cast<int64_t>(9.0e18));
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

using socketaddress::bytesOf;
using socketaddress::familyOf;
using socketaddress::makeAddress4;
using socketaddress::makeAddress6;

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

// ---------------------------------------------------------------- address helpers

std::string GCDAsyncSocket::hostFromSockaddr4(const sockaddr_in& addr) { return socketaddress::hostFromSockaddr4(addr); }
std::string GCDAsyncSocket::hostFromSockaddr6(const sockaddr_in6& addr) { return socketaddress::hostFromSockaddr6(addr); }
uint16_t GCDAsyncSocket::portFromSockaddr4(const sockaddr_in& addr) { return ntohs(addr.sin_port); }
uint16_t GCDAsyncSocket::portFromSockaddr6(const sockaddr_in6& addr) { return ntohs(addr.sin6_port); }

bool GCDAsyncSocket::getHost(std::string* host, uint16_t* port, const ByteBuffer& address) {
    return socketaddress::getHost(host, port, nullptr, address);
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
            connectHost_ = host;
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
        connectHost_ = hostFromAddress(address);
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

    const int index2 = connectIndex_;  // the generation the second stream step belongs to

    const int fd = connectedFD();
    std::string host;
    uint16_t port = 0;
    getHost(&host, &port, peerAddress(fd));

    // The stream pair: made and registered now, scheduled and opened on the
    // socket queue once the delegate has seen the connect.
    if (!createReadAndWriteStream()) {
        closeWithError(otherError("Error creating CFStreams"));
        return;
    }
    if (!registerForStreamCallbacksIncludingReadWrite(false)) {
        closeWithError(otherError("Error in CFStreamSetClient"));
        return;
    }
    DelegateSlot slot = delegateSlot();
    if (slot.queue && !slot.delegate.expired() && !destroying_) {
        slot.queue->async([self = shared_from_this(), epoch = slot.epoch, host, port, index2] {
            if (DelegatePtr d = self->delegateIfCurrent(epoch)) d->socketDidConnectToHost(self, host, port);
            self->socketQueue_->async([self, index2] { self->connectStreamsSecondStep(index2); });
        });
    } else {
        connectStreamsSecondStep(index2);
        if (!(flags_ & kSocketStarted)) return;
    }

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
    if (currentRead_ || currentReadTLS_) endCurrentRead();
    if (currentWrite_ || currentWriteTLS_) endCurrentWrite();
    readQueue_.clear();
    writeQueue_.clear();
    partialReadBuffer_.clear();

    // The streams let go of the descriptor before it can close.
    closeStreams();
    // Their cancel handlers close the listening descriptors.
    if (accept4Source_) {
        accept4Source_->cancel();
        accept4Source_.reset();
    }
    if (accept6Source_) {
        accept6Source_->cancel();
        accept6Source_.reset();
    }
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
    bool readsDrained = readQueue_.empty() && !currentRead_ && !currentReadTLS_;
    bool writesDrained = writeQueue_.empty() && !currentWrite_ && !currentWriteTLS_;
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
    // What the secure stream still holds is the peer's last word: keep it
    // for the reads to come.
    if (flags_ & kSocketSecure) {
        bool atEnd = false;
        Error err = flushSSLBuffers(&atEnd);
        if (!err.empty()) {
            closeWithError(err);
            return;
        }
    }
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
    } else if (!(flags_ & kSocketSecure)) {
        suspendReadSource();
    }
}

// ---------------------------------------------------------------- listening

bool GCDAsyncSocket::acceptOnPort(uint16_t port, Error* errPtr) { return acceptOnInterface(std::string(), port, errPtr); }

bool GCDAsyncSocket::acceptOnInterface(const std::string& interface, uint16_t port, Error* errPtr) {
    Error err;
    bool result = false;
    socketQueue_->sync([&] {
        DelegateSlot slot = delegateSlot();
        if (slot.delegate.expired()) {
            err = badConfigError("Attempting to accept without a delegate. Set a delegate first.");
            return;
        }
        if (!slot.queue) {
            err = badConfigError("Attempting to accept without a delegate queue. Set a delegate queue first.");
            return;
        }
        bool v4Disabled = config_ & kIPv4Disabled;
        bool v6Disabled = config_ & kIPv6Disabled;
        if (v4Disabled && v6Disabled) {
            err = badConfigError("Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
            return;
        }
        if (flags_ & kSocketStarted) {
            err = badConfigError("Attempting to accept while connected or accepting connections. Disconnect first.");
            return;
        }
        readQueue_.clear();
        writeQueue_.clear();

        ByteBuffer a4, a6;
        getInterfaceAddress(&a4, &a6, interface, port);
        if (a4.empty() && a6.empty()) {
            err = badParamError("Unknown interface. Specify valid interface by name (e.g. \"eth0\") or IP address.");
            return;
        }
        if (v4Disabled && a6.empty()) {
            err = badParamError("IPv4 has been disabled and specified interface doesn't support IPv6.");
            return;
        }
        if (v6Disabled && a4.empty()) {
            err = badParamError("IPv6 has been disabled and specified interface doesn't support IPv4.");
            return;
        }
        bool enable4 = !v4Disabled && !a4.empty();
        bool enable6 = !v6Disabled && !a6.empty();

        std::shared_ptr<SocketFd> listener4, listener6;
        if (enable4) {
            listener4 = createListener(AF_INET, a4, &err);
            if (!listener4) return;
        }
        if (enable6) {
            if (enable4 && !addressHasPort(a6)) {
                // Both families on the one port the system gave IPv4.
                sockaddr_in6 sa;
                std::memcpy(&sa, a6.data(), sizeof sa);
                sa.sin6_port = htons(portFromAddress(sockAddress(listener4->fd())));
                a6 = bytesOf(&sa, sizeof sa);
            }
            listener6 = createListener(AF_INET6, a6, &err);
            if (!listener6) return;  // the IPv4 listener closes with its owner
        }
        if (listener4) {
            socket4FD_ = listener4->fd();
            accept4Source_ = makeAcceptSource(listener4, AF_INET);
        }
        if (listener6) {
            socket6FD_ = listener6->fd();
            accept6Source_ = makeAcceptSource(listener6, AF_INET6);
        }
        flags_ |= kSocketStarted;
        result = true;
    });
    if (!result && errPtr) *errPtr = err;
    return result;
}

std::shared_ptr<GCDAsyncSocket::SocketFd> GCDAsyncSocket::createListener(int family, const ByteBuffer& address,
                                                                         Error* err) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *err = errnoErrorWithReason(errno, "Error in socket() function");
        return nullptr;
    }
    auto owner = std::make_shared<SocketFd>(fd);
    int fl = ::fcntl(fd, F_GETFL, 0);
    if (fl < 0 || ::fcntl(fd, F_SETFL, fl | O_NONBLOCK) < 0) {
        *err = errnoErrorWithReason(errno, "Error enabling non-blocking IO on socket (fcntl)");
        return nullptr;
    }
    int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
        *err = errnoErrorWithReason(errno, "Error enabling address reuse (setsockopt)");
        return nullptr;
    }
    // IPv6 beside IPv4 on the same port: the IPv6 listener takes IPv6 only.
    if (family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) < 0) {
        *err = errnoErrorWithReason(errno, "Error in bind() function");
        return nullptr;
    }
    if (::listen(fd, 1024) < 0) {
        *err = errnoErrorWithReason(errno, "Error in listen() function");
        return nullptr;
    }
    int rcvbuf = 524288;
    (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    (void)::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return owner;
}

DispatchSourcePtr GCDAsyncSocket::makeAcceptSource(std::shared_ptr<SocketFd> listener, int family) {
    const int fd = listener->fd();
    auto source = DispatchSource::makeRead(fd, socketQueue_);
    std::weak_ptr<DispatchSource> weakSource = source;
    source->setEventHandler([weak = weak_from_this(), weakSource, fd, family] {
        auto self = weak.lock();
        auto src = weakSource.lock();
        if (!self || !src || src->isCancelled()) return;
        unsigned long pending = std::max<unsigned long>(src->data(), 1);
        for (unsigned long i = 0; i < pending; ++i) {
            if (!self->doAccept(fd, family)) break;
        }
    });
    source->setCancelHandler([owner = std::move(listener)]() mutable { owner.reset(); });
    source->resume();
    return source;
}

// Accepts one connection; false when none was there (or accept failed).
bool GCDAsyncSocket::doAccept(int listenFd, int family) {
    sockaddr_storage ss{};
    socklen_t len = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    int fd;
    do {
        fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    // Closes the connection unless a socket takes it over below.
    auto owner = std::make_shared<SocketFd>(fd);
    ByteBuffer peer = bytesOf(&ss, len);

    DelegateSlot slot = delegateSlot();
    if (!slot.queue || slot.delegate.expired() || destroying_) return true;
    slot.queue->async([self = shared_from_this(), epoch = slot.epoch, queue = slot.queue, owner, peer, family] {
        DelegatePtr d = self->delegateIfCurrent(epoch);
        if (!d) return;
        DispatchQueuePtr childQueue = d->newSocketQueueForConnectionFromAddress(peer, self);
        GCDAsyncSocketPtr child = create(d, queue, childQueue);
        child->socketQueue_->sync([&] {
            child->fdOwner_ = owner;
            if (family == AF_INET) child->socket4FD_ = owner->fd();
            else child->socket6FD_ = owner->fd();
            child->flags_ = kSocketStarted | kConnected;
            child->setupReadAndWriteSourcesForNewlyConnectedSocket(owner->fd());
        });
        d->socketDidAcceptNewSocket(self, child);
        // Only the delegate's own reference keeps the new socket from here.
    });
    return true;
}

// ---------------------------------------------------------------- stream pair

namespace {

// The one process-wide thread whose run loop carries every stream pair.
struct ListenerThread {
    RunLoop* loop = nullptr;
    std::thread::id id;
};

ListenerThread& startListenerThreadIfNeeded() {
    static ListenerThread listener = [] {
        std::promise<ListenerThread> ready;
        std::future<ListenerThread> started = ready.get_future();
        std::thread([&ready] {
            RunLoop& loop = RunLoop::current();
            // A timer that never fires keeps the run loop from running dry.
            RunLoopTimer::scheduled(loop, std::chrono::hours(24 * 365 * 100), true, [](RunLoopTimer&) {});
            ready.set_value(ListenerThread{&loop, std::this_thread::get_id()});
            loop.run();
        }).detach();
        return started.get();
    }();
    return listener;
}

// Runs the task on the listener thread and waits for it.
void runOnListenerThread(const std::function<void()>& task) {
    ListenerThread& listener = startListenerThreadIfNeeded();
    if (std::this_thread::get_id() == listener.id) {
        task();
        return;
    }
    std::promise<void> done;
    listener.loop->perform([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

}  // namespace

bool GCDAsyncSocket::createReadAndWriteStream() {
    if (readStream_ || writeStream_) return true;
    int fd = socket6FD_ != -1 ? socket6FD_ : socket4FD_;
    if (fd == -1 || !(flags_ & kConnected)) return false;
    SocketStream::createPairWithSocket(fd, &readStream_, &writeStream_);
    if (readStream_ && writeStream_) return true;
    closeStreams();
    return false;
}

bool GCDAsyncSocket::registerForStreamCallbacksIncludingReadWrite(bool includeReadWrite) {
    if (!readStream_ || !writeStream_) return false;
    // Events travel to the socket queue; the socket and the stream are held
    // weakly, so a socket that went away meanwhile hears nothing.
    auto client = [weak = weak_from_this(), queue = socketQueue_](SocketStream& stream, SocketStream::Event event) {
        std::weak_ptr<SocketStream> weakStream = stream.weak_from_this();
        queue->async([weak, weakStream, event] {
            auto self = weak.lock();
            auto s = weakStream.lock();
            if (self && s) self->streamEvent(s.get(), event);
        });
    };
    unsigned common = SocketStream::kEventErrorOccurred | SocketStream::kEventEndEncountered;
    unsigned readEvents = common | (includeReadWrite ? unsigned(SocketStream::kEventHasBytesAvailable) : 0u);
    unsigned writeEvents = common | (includeReadWrite ? unsigned(SocketStream::kEventCanAcceptBytes) : 0u);
    return readStream_->setClient(readEvents, client) && writeStream_->setClient(writeEvents, client);
}

bool GCDAsyncSocket::addStreamsToRunLoop() {
    if (flags_ & kAddedStreamsToRunLoop) return true;
    if (!readStream_ || !writeStream_) return false;
    bool ok = false;
    runOnListenerThread([&] {
        RunLoop& loop = RunLoop::current();
        ok = readStream_->scheduleInRunLoop(loop) && writeStream_->scheduleInRunLoop(loop);
    });
    if (ok) flags_ |= kAddedStreamsToRunLoop;
    return ok;
}

void GCDAsyncSocket::removeStreamsFromRunLoop() {
    if (!(flags_ & kAddedStreamsToRunLoop)) return;
    runOnListenerThread([&] {
        RunLoop& loop = RunLoop::current();
        if (readStream_) readStream_->unscheduleFromRunLoop(loop);
        if (writeStream_) writeStream_->unscheduleFromRunLoop(loop);
    });
    flags_ &= ~kAddedStreamsToRunLoop;
}

bool GCDAsyncSocket::openStreams() {
    if (!readStream_ || !writeStream_) return false;
    auto opened = [](const std::shared_ptr<SocketStream>& s) { return s->status() != SocketStream::Status::NotOpen; };
    if (opened(readStream_) && opened(writeStream_)) return true;
    bool r = opened(readStream_) || readStream_->open();
    bool w = opened(writeStream_) || writeStream_->open();
    return r && w;
}

void GCDAsyncSocket::closeStreams() {
    if (!readStream_ && !writeStream_) return;
    removeStreamsFromRunLoop();
    for (auto* stream : {&readStream_, &writeStream_}) {
        if (*stream) {
            (*stream)->setClient(0, nullptr);
            (*stream)->close();
            stream->reset();
        }
    }
}

void GCDAsyncSocket::connectStreamsSecondStep(int index) {
    if (index != connectIndex_ || !(flags_ & kConnected)) return;
    if (!addStreamsToRunLoop()) {
        closeWithError(otherError("Error in CFStreamScheduleWithRunLoop"));
        return;
    }
    if (!openStreams()) closeWithError(otherError("Error creating CFStreams"));
}

void GCDAsyncSocket::streamEvent(SocketStream* stream, SocketStream::Event event) {
    const bool isRead = stream == readStream_.get();
    if (!isRead && stream != writeStream_.get()) return;  // a stream of an earlier connection
    const bool startingTLS = (flags_ & kStartingReadTLS) && (flags_ & kStartingWriteTLS);
    switch (event) {
        case SocketStream::kEventHasBytesAvailable:
            if (!isRead) return;
            if (!startingTLS) {
                flags_ |= kSecureSocketHasBytesAvailable;
                doReadData();
            } else if (readStream_->hasBytesAvailable()) {
                flags_ |= kSecureSocketHasBytesAvailable;
                finishSSLHandshake();
            }
            return;
        case SocketStream::kEventCanAcceptBytes:
            if (isRead) return;
            if (!startingTLS) {
                flags_ |= kSocketCanAcceptBytes;
                doWriteData();
            } else if (writeStream_->canAcceptBytes()) {
                flags_ |= kSocketCanAcceptBytes;
                finishSSLHandshake();
            }
            return;
        case SocketStream::kEventErrorOccurred:
        case SocketStream::kEventEndEncountered: {
            Error err = stream->error();
            if (event == SocketStream::kEventEndEncountered || err.empty()) err = connectionClosedError();
            if (startingTLS) abortSSLHandshake(err);
            else if (event == SocketStream::kEventEndEncountered) streamDidEnd();
            else closeWithError(err);
            return;
        }
        default: return;
    }
}

// The peer ended the connection. Bytes it sent before are still read and
// handed out first: the read path meets the end itself once they are gone.
// With nothing left, the end is handled as the read path would (closing with
// code 7, or half-closing when the configuration allows it).
void GCDAsyncSocket::streamDidEnd() {
    if (!(flags_ & kConnected)) return;
    int waiting = 0;
    if (::ioctl(connectedFD(), FIONREAD, &waiting) < 0) waiting = 0;
    bool secureBytes = (flags_ & kSocketSecure) && (flags_ & kSecureSocketHasBytesAvailable);
    if (waiting > 0 || secureBytes) return;
    doReadEOF();
}

// ---------------------------------------------------------------- TLS

void GCDAsyncSocket::startTLS(std::map<std::string, std::string> tlsSettings) {
    auto packet = std::make_shared<GCDAsyncTLSPacket>(std::move(tlsSettings));
    socketQueue_->async([self = shared_from_this(), packet] {
        uint32_t f = self->flags_;
        if ((f & kSocketStarted) && !(f & kForbidReadsWrites) && !(f & kQueuedTLS)) {
            self->readQueue_.push_back(ReadEntry{nullptr, packet});
            self->writeQueue_.push_back(WriteEntry{nullptr, packet});
            self->flags_ |= kQueuedTLS;
            self->maybeDequeueRead();
            self->maybeDequeueWrite();
        }
    });
}

namespace {

bool parseFlag(const std::string& text, bool* value) {
    std::string t;
    for (char c : text) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (t == "1" || t == "true" || t == "yes") *value = true;
    else if (t == "0" || t == "false" || t == "no") *value = false;
    else return false;
    return true;
}

}  // namespace

std::shared_ptr<StreamSecurity> GCDAsyncSocket::securityFromSettings(const std::map<std::string, std::string>& map) {
    TLSStreamSecurity::Settings settings;
    bool peerNameGiven = false;
    for (const auto& [key, value] : map) {
        bool ok = true;
        if (key == kTLSSettingIsServer) ok = parseFlag(value, &settings.isServer);
        else if (key == kTLSSettingValidatesCertificateChain) ok = parseFlag(value, &settings.validatesCertificateChain);
        else if (key == kTLSSettingCertificateFile) settings.certificateFile = value;
        else if (key == kTLSSettingPrivateKeyFile) settings.privateKeyFile = value;
        else if (key == kTLSSettingTrustedCertificatesFile) settings.trustedCertificatesFile = value;
        else if (key == kTLSSettingPeerName) {
            settings.peerName = value;
            peerNameGiven = true;
        } else {
            ok = false;
        }
        if (!ok) {
            Log::warn("GCDAsyncSocket", "TLS setting refused: %s = \"%s\"", key.c_str(), value.c_str());
            return nullptr;
        }
    }
    if (!peerNameGiven && !settings.isServer) {
        settings.peerName = !connectHost_.empty() ? connectHost_ : hostFromAddress(peerAddress(connectedFD()));
    }
    Error err;
    auto layer = TLSStreamSecurity::create(settings, &err);
    if (!layer) Log::warn("GCDAsyncSocket", "TLS settings refused: %s", err.toString().c_str());
    return layer;
}

void GCDAsyncSocket::maybeStartTLS() {
    if (!(flags_ & kStartingReadTLS) || !(flags_ & kStartingWriteTLS)) return;
    if (!partialReadBuffer_.empty()) {
        closeWithError(otherError("Invalid TLS transition. Handshake has already been read from socket."));
        return;
    }
    // From here on the stream pair carries every byte.
    suspendReadSource();
    suspendWriteSource();
    socketFDBytesAvailable_ = 0;
    flags_ &= ~(kSocketCanAcceptBytes | kSecureSocketHasBytesAvailable);

    if (!createReadAndWriteStream()) {
        closeWithError(otherError("Error in CFStreamCreatePairWithSocket"));
        return;
    }
    if (!registerForStreamCallbacksIncludingReadWrite(true)) {
        closeWithError(otherError("Error in CFStreamSetClient"));
        return;
    }
    if (!addStreamsToRunLoop()) {
        closeWithError(otherError("Error in CFStreamScheduleWithRunLoop"));
        return;
    }
    // One security layer serves both streams of the pair: it counts as set
    // when either stream took it.
    std::shared_ptr<StreamSecurity> layer = securityFromSettings(currentReadTLS_->tlsSettings);
    bool readSet = layer && readStream_->setSecurity(layer);
    bool writeSet = readSet || (layer && writeStream_->setSecurity(layer));
    if (!readSet && !writeSet) {
        closeWithError(otherError("Error in CFStreamSetProperty"));
        return;
    }
    if (!openStreams()) closeWithError(otherError("Error in CFStreamOpen"));
}

void GCDAsyncSocket::finishSSLHandshake() {
    if (!(flags_ & kStartingReadTLS) || !(flags_ & kStartingWriteTLS)) return;
    flags_ &= ~(kStartingReadTLS | kStartingWriteTLS);
    flags_ |= kSocketSecure;
    notifyDelegate([](GCDAsyncSocketDelegate& d, const GCDAsyncSocketPtr& s) { d.socketDidSecure(s); });
    // The TLS marker ends on both sides without a report of its own.
    endCurrentRead();
    endCurrentWrite();
    maybeDequeueRead();
    maybeDequeueWrite();
}

void GCDAsyncSocket::abortSSLHandshake(const Error& err) {
    if (!(flags_ & kStartingReadTLS) || !(flags_ & kStartingWriteTLS)) return;
    flags_ &= ~(kStartingReadTLS | kStartingWriteTLS);
    closeWithError(err);
}

// Pulls what the secure stream holds into the partial read buffer, so that
// the stream reports again and nothing waits unseen inside it. *atEnd tells
// that the stream reached its end; a failed stream answers its error.
Error GCDAsyncSocket::flushSSLBuffers(bool* atEnd) {
    *atEnd = false;
    if (!partialReadBuffer_.empty() || !(flags_ & kSecureSocketHasBytesAvailable) || !readStream_ ||
        !readStream_->hasBytesAvailable()) {
        return Error();
    }
    constexpr size_t kPull = 524288;
    partialReadBuffer_.resize(kPull);
    long n = readStream_->read(partialReadBuffer_.data(), kPull);
    partialReadBuffer_.resize(n > 0 ? static_cast<size_t>(n) : 0);
    flags_ &= ~kSecureSocketHasBytesAvailable;
    if (n == 0) *atEnd = true;
    if (n < 0 && n != SocketStream::kWouldBlock) {
        Error err = readStream_->error();
        return err.empty() ? otherError("Error reading the secure stream") : err;
    }
    return Error();
}

// The same while no read waits: the end of the stream, or a failure, is
// acted on at once, as the read source does on a plain connection.
void GCDAsyncSocket::pullSecureStream() {
    bool atEnd = false;
    Error err = flushSSLBuffers(&atEnd);
    if (!err.empty()) closeWithError(err);
    else if (atEnd && !(flags_ & kSocketHasReadEOF)) doReadEOF();
}

// ---------------------------------------------------------------- backgrounding

bool GCDAsyncSocket::enableBackgroundingOnSocket() {
    if (!socketQueue_->isCurrent()) return false;
    return enableBackgroundingOnSocketWithCaveat(false);
}

bool GCDAsyncSocket::enableBackgroundingOnSocketWithCaveat() {
    if (!socketQueue_->isCurrent()) return false;
    return enableBackgroundingOnSocketWithCaveat(true);
}

bool GCDAsyncSocket::enableBackgroundingOnSocketWithCaveat(bool caveat) {
    (void)caveat;
    if (!createReadAndWriteStream()) return false;
    // Marking both streams with the VoIP service type is what keeps a socket
    // alive in the background; this platform has no such service type, so
    // that step fails and the streams are not opened for it.
    return false;
}

std::shared_ptr<SocketStream> GCDAsyncSocket::readStream() {
    if (!socketQueue_->isCurrent()) return nullptr;
    if (!readStream_) createReadAndWriteStream();
    return readStream_;
}

std::shared_ptr<SocketStream> GCDAsyncSocket::writeStream() {
    if (!socketQueue_->isCurrent()) return nullptr;
    if (!writeStream_) createReadAndWriteStream();
    return writeStream_;
}

bool GCDAsyncSocket::usingCFStream() const { return socketQueue_->isCurrent() && (flags_ & kSocketSecure) != 0; }

// ---------------------------------------------------------------- reads

void GCDAsyncSocket::queueRead(std::shared_ptr<GCDAsyncReadPacket> packet) {
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->readQueue_.push_back(ReadEntry{packet, nullptr});
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
    if (currentRead_ || currentReadTLS_ || !(flags_ & kConnected)) return;
    if (!readQueue_.empty()) {
        ReadEntry entry = std::move(readQueue_.front());
        readQueue_.pop_front();
        if (entry.tls) {
            currentReadTLS_ = std::move(entry.tls);
            flags_ |= kStartingReadTLS;
            maybeStartTLS();
            return;
        }
        currentRead_ = std::move(entry.read);
        setupReadTimerWithTimeout(currentRead_->timeout);
        doReadData();
    } else if (flags_ & kDisconnectAfterReads) {
        if (flags_ & kDisconnectAfterWrites) {
            if (writeQueue_.empty() && !currentWrite_ && !currentWriteTLS_) closeWithError(Error());
        } else {
            closeWithError(Error());
        }
    } else if (flags_ & kSocketSecure) {
        pullSecureStream();
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
    // Once secure, bytes come through the read stream and the read source
    // stays suspended.
    const bool secure = flags_ & kSocketSecure;
    if (!currentRead_ || (flags_ & kReadsPaused)) {
        if (secure) {
            pullSecureStream();
        } else if (socketFDBytesAvailable_ > 0) {
            // Nothing can take the bytes: stop the source from firing for them.
            suspendReadSource();
        }
        return;
    }
    bool hasBytesAvailable = secure ? ((flags_ & kSecureSocketHasBytesAvailable) && readStream_ &&
                                       readStream_->hasBytesAvailable())
                                    : socketFDBytesAvailable_ > 0;
    if (!hasBytesAvailable && partialReadBuffer_.empty()) {
        if (!secure) resumeReadSource();
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
        if (secure) bytesToRead = pkt.optimalReadLengthWithDefault(kSecureReadLength, &readIntoPartial);
        else if (pkt.isTerm()) bytesToRead = pkt.readLengthForTermWithHint(socketFDBytesAvailable_, &readIntoPartial);
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

        size_t bytesRead = 0;
        if (secure) {
            long result = readStream_->read(target, bytesToRead);
            flags_ &= ~kSecureSocketHasBytesAvailable;
            if (result == SocketStream::kWouldBlock) {
                waiting = true;  // a partial record: the stream says when the rest is in
            } else if (result < 0) {
                error = readStream_->error();
                if (error.empty()) error = otherError("Error reading the secure stream");
            } else if (result == 0) {
                socketEOF = true;
            } else {
                bytesRead = static_cast<size_t>(result);
                waiting = true;
            }
        } else if (ssize_t result = ::read(connectedFD(), target, bytesToRead); result < 0) {
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
        // Nothing read ahead: drop the room made for it, never hand it on.
        if (readIntoPartial && bytesRead == 0) partialReadBuffer_.clear();

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
                if (readIntoPartial) {
                    // Read ahead from the secure stream: all of it is this read's.
                    pkt.ensureCapacityForAdditionalDataOfLength(bytesRead);
                    std::memcpy(pkt.writePointer(), partialReadBuffer_.data(), bytesRead);
                    partialReadBuffer_.clear();
                }
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
    } else if (waiting && !secure) {
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
    currentReadTLS_.reset();
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
            self->writeQueue_.push_back(WriteEntry{packet, nullptr});
            self->maybeDequeueWrite();
        }
    });
}

void GCDAsyncSocket::maybeDequeueWrite() {
    if (currentWrite_ || currentWriteTLS_ || !(flags_ & kConnected)) return;
    if (!writeQueue_.empty()) {
        WriteEntry entry = std::move(writeQueue_.front());
        writeQueue_.pop_front();
        if (entry.tls) {
            currentWriteTLS_ = std::move(entry.tls);
            flags_ |= kStartingWriteTLS;
            maybeStartTLS();
            return;
        }
        currentWrite_ = std::move(entry.write);
        setupWriteTimerWithTimeout(currentWrite_->timeout);
        doWriteData();
    } else if (flags_ & kDisconnectAfterWrites) {
        if (flags_ & kDisconnectAfterReads) {
            if (readQueue_.empty() && !currentRead_ && !currentReadTLS_) closeWithError(Error());
        } else {
            closeWithError(Error());
        }
    }
}

void GCDAsyncSocket::doWriteData() {
    const bool secure = flags_ & kSocketSecure;
    if (!currentWrite_ || (flags_ & kWritesPaused)) {
        if (!secure && (flags_ & kSocketCanAcceptBytes)) suspendWriteSource();
        return;
    }
    if (!(flags_ & kSocketCanAcceptBytes)) {
        if (!secure) resumeWriteSource();
        return;
    }

    std::shared_ptr<GCDAsyncWritePacket> packet = currentWrite_;
    const ByteBuffer& bytes = *packet->buffer;
    size_t toWrite = bytes.size() - packet->bytesDone;
    bool waiting = false;
    Error error;
    size_t written = 0;

    if (secure) {
        // The stream says when it can take more: wait for that either way.
        long result = writeStream_->write(bytes.data() + packet->bytesDone, toWrite);
        flags_ &= ~kSocketCanAcceptBytes;
        waiting = true;
        if (result > 0) {
            written = static_cast<size_t>(result);
        } else if (result != SocketStream::kWouldBlock && result < 0) {
            error = writeStream_->error();
            if (error.empty()) error = otherError("Error writing the secure stream");
        }
    } else if (ssize_t result = ::send(connectedFD(), bytes.data() + packet->bytesDone, toWrite, MSG_NOSIGNAL);
               result < 0) {
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
        if (!secure) resumeWriteSource();
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
    currentWriteTLS_.reset();
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
