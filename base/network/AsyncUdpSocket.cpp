#include "base/network/AsyncUdpSocket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <utility>

#include "platform/ErrorCodes.h"
#include "platform/Log.h"

namespace lumora {

namespace {

// State bits of flags_.
enum : uint16_t {
    kDidBind = 1u << 0,
    kDidConnect = 1u << 1,
    kForbidSendReceive = 1u << 2,
    kCloseAfterSends = 1u << 3,
    kCloseAfterReceives = 1u << 4,
    kDidClose = 1u << 5,
    kDequeueSendScheduled = 1u << 6,
    kDequeueReceiveScheduled = 1u << 7,
    kFlipFlop = 1u << 8,  // set: the IPv4 socket is read first
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

void setError(Error* errPtr, Error e) {
    if (errPtr) *errPtr = std::move(e);
}

using Calls = UdpSocketCalls;

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
    endpoint(f).open(f == Family::V4);
    // Nothing is watched until there is something to send or receive.
}

// ---------------------------------------------------------------- socket notifications

void AsyncUdpSocket::setWatcher(Family f, short events) {
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    endpoint(f).watch(runLoop_, events, [weak, f](short revents) {
        // The object stays alive until the notification was handled.
        if (auto self = weak.lock()) self->socketCallback(f, revents);
    });
}

// Read and write notifications each fire once, then stay off until they are
// enabled again.
void AsyncUdpSocket::enableNotifications(Family f) {
    const short both = POLLIN | POLLOUT;
    if (endpoint(f).isOpen() && !endpoint(f).watchesExactly(both)) setWatcher(f, both);
}

void AsyncUdpSocket::socketCallback(Family f, short revents) {
    UdpSocketEndpoint& ep = endpoint(f);
    short fired = ep.fired(revents);
    setWatcher(f, static_cast<short>(ep.watched() & ~fired));
    RunLoop* loop = runLoop_;
    if (fired & POLLIN) {
        ep.setReady(POLLIN);
        doReceive(f);
        if (!stillServing(loop)) return;
    }
    if (fired & POLLOUT) {
        ep.setReady(POLLOUT);
        doSend(f);
    }
}

void AsyncUdpSocket::closeSocket(Family f) { endpoint(f).close(runLoop_); }

// ---------------------------------------------------------------- addresses

std::pair<std::string, uint16_t> AsyncUdpSocket::addressInfo(bool peer) const {
    std::pair<std::string, uint16_t> out{std::string(), 0};
    int fd = socket4_.isOpen() ? socket4_.fd() : socket6_.fd();
    sockaddr_storage ss;
    socklen_t len;
    if (fd < 0 || !Calls::addressOf(fd, peer, &ss, &len)) return out;
    if (!Calls::hostAndPort(ss, len, &out.first, &out.second))
        throw std::logic_error("Cannot convert address to string.");
    // Once bound (or connected) the address no longer changes.
    if (peer && (flags_ & kDidConnect)) {
        cachedConnectedHost_ = out.first;
        cachedConnectedPort_ = out.second;
    } else if (!peer && (flags_ & kDidBind)) {
        cachedLocalHost_ = out.first;
        cachedLocalPort_ = out.second;
    }
    return out;
}

std::string AsyncUdpSocket::localHost() const {
    if (!cachedLocalHost_.empty()) return cachedLocalHost_;
    return addressInfo(false).first;
}

uint16_t AsyncUdpSocket::localPort() const {
    return cachedLocalPort_ != 0 ? cachedLocalPort_ : addressInfo(false).second;
}

std::string AsyncUdpSocket::connectedHost() const {
    if (!cachedConnectedHost_.empty()) return cachedConnectedHost_;
    return addressInfo(true).first;
}

uint16_t AsyncUdpSocket::connectedPort() const {
    return cachedConnectedPort_ != 0 ? cachedConnectedPort_ : addressInfo(true).second;
}

bool AsyncUdpSocket::isConnected() const { return (flags_ & kDidConnect) && !(flags_ & kDidClose); }

bool AsyncUdpSocket::isConnectedToHost(const std::string& host, uint16_t port) const {
    return isConnected() && connectedHost() == host && connectedPort() == port;
}

bool AsyncUdpSocket::isClosed() const { return (flags_ & kDidClose) != 0; }

unsigned AsyncUdpSocket::maximumTransmissionUnit() const {
    bool v4 = socket4_.isOpen();
    int fd = v4 ? socket4_.fd() : socket6_.fd();
    if (fd < 0) return 0;
    return Calls::maximumTransmissionUnit(fd, v4, isConnected());
}

// ---------------------------------------------------------------- binding and connecting

bool AsyncUdpSocket::bindToPort(uint16_t port, Error* errPtr) { return bindToAddress(std::string(), port, errPtr); }

bool AsyncUdpSocket::bindEndpoint(Family f, const ByteBuffer& address) {
    return Calls::bind(endpoint(f).fd(), address);
}

bool AsyncUdpSocket::bindToAddress(const std::string& host, uint16_t port, Error* errPtr) {
    if (isClosed()) throw AsyncUdpSocketException("The socket is closed.");
    if (flags_ & kDidBind) throw AsyncUdpSocketException("Cannot bind a socket more than once.");
    if (flags_ & kDidConnect)
        throw AsyncUdpSocketException("Cannot bind after connecting. If needed, bind first, then connect.");

    AddressPair a;
    Error err;
    if (!Calls::resolve(host, port, true, &a, &err)) {
        setError(errPtr, err);
        return false;
    }
    for (Family f : {Family::V4, Family::V6}) {
        if (endpoint(f).isOpen()) Calls::reuseAddress(endpoint(f).fd());
    }

    bool boundV4 = false;
    if (!a.v4.empty()) {
        if (socket4_.isOpen()) {
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
        if (socket6_.isOpen()) {
            // Asked for any port, both families take the one the IPv4 socket
            // got, so that the local port is one port.
            ByteBuffer v6 = boundV4 && port == 0 ? Calls::withPortOf(socket4_.fd(), a.v6) : a.v6;
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
    if (!Calls::connect(endpoint(f).fd(), address)) {
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
    if (!Calls::resolve(host, port, false, &a, &err)) {
        setError(errPtr, err);
        return false;
    }
    if (!a.v4.empty() && socket4_.isOpen()) return connectEndpoint(Family::V4, a.v4, errPtr);
    if (!a.v6.empty() && socket6_.isOpen()) return connectEndpoint(Family::V6, a.v6, errPtr);
    setError(errPtr, !a.v4.empty() ? ipv4UnavailableError() : ipv6UnavailableError());
    return false;
}

bool AsyncUdpSocket::connectToAddress(const ByteBuffer& remoteAddr, Error* errPtr) {
    if (isClosed()) throw AsyncUdpSocketException("The socket is closed.");
    if (flags_ & kDidConnect) throw AsyncUdpSocketException("Cannot connect a socket more than once.");
    int family = Calls::familyOf(remoteAddr);
    if (family == AF_INET) {
        if (socket4_.isOpen()) return connectEndpoint(Family::V4, remoteAddr, errPtr);
        setError(errPtr, ipv4UnavailableError());
        return false;
    }
    if (family == AF_INET6) {
        if (socket6_.isOpen()) return connectEndpoint(Family::V6, remoteAddr, errPtr);
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
    if (!Calls::resolve(interfaceAddress, 0, true, &iface, &err)) {
        setError(errPtr, Error(Error::kNetDbDomain, err.code, "Invalid parameter 'address': " + err.description));
        return false;
    }
    if (!Calls::resolve(group, 0, true, &grp, &err)) {
        setError(errPtr, Error(Error::kNetDbDomain, err.code, "Invalid parameter 'group': " + err.description));
        return false;
    }
    if (socket4_.isOpen() && !grp.v4.empty() && !iface.v4.empty()) {
        if (!Calls::joinGroup4(socket4_.fd(), grp.v4, iface.v4, errPtr)) return false;
        closeSocket(Family::V6);
        return true;
    }
    if (socket6_.isOpen() && !grp.v6.empty() && !iface.v6.empty()) {
        if (!Calls::joinGroup6(socket6_.fd(), grp.v6, errPtr)) return false;
        closeSocket(Family::V4);
        return true;
    }
    setError(errPtr, asyncUdpError(errors::kAsyncUdpSocketBadParameter,
                                   "Invalid group and/or address, not matching existing socket(s)"));
    return false;
}

bool AsyncUdpSocket::enableBroadcast(bool flag, Error* errPtr) {
    if (!socket4_.isOpen()) return true;
    return Calls::setBroadcast(socket4_.fd(), flag, errPtr);
}

// ---------------------------------------------------------------- run loop scheduling

void AsyncUdpSocket::performLater(RunLoop* loop, void (AsyncUdpSocket::*work)()) {
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    uint64_t epoch = epoch_.load();
    loop->perform([weak, epoch, work] {
        auto self = weak.lock();
        if (self && self->epoch_.load() == epoch) ((*self).*work)();
    });
}

void AsyncUdpSocket::scheduleDequeueSend() {
    if ((flags_ & kDequeueSendScheduled) || !runLoop_) return;
    flags_ |= kDequeueSendScheduled;
    performLater(runLoop_, &AsyncUdpSocket::maybeDequeueSend);
}

void AsyncUdpSocket::scheduleDequeueReceive() {
    if ((flags_ & kDequeueReceiveScheduled) || !runLoop_) return;
    flags_ |= kDequeueReceiveScheduled;
    performLater(runLoop_, &AsyncUdpSocket::maybeDequeueReceive);
}

bool AsyncUdpSocket::moveToRunLoop(RunLoop* runLoop) {
    if (!runLoop) return false;
    if (runLoop == runLoop_) return true;
    if (isClosed() || !runLoop_) return false;
    ++epoch_;
    flags_ &= static_cast<uint16_t>(~(kDequeueSendScheduled | kDequeueReceiveScheduled));
    // Off the old loop: watchers, timers and scheduled dequeues. The
    // notifications stay on in the endpoints, to be watched again on the new
    // loop.
    for (UdpSocketEndpoint* ep : {&socket4_, &socket6_})
        ep->unwatch(*runLoop_);
    // Timers keep the time they had left.
    auto now = RunLoop::Clock::now();
    sends_.holdTimer(now);
    receives_.holdTimer(now);

    // The new loop's thread may use the object from the moment it can reach
    // it: once a watcher or timer sits on that loop, its callback may run
    // there while this thread is still here. So this thread hands the object
    // over now and touches it no more; the new loop sets everything up again
    // at its next turn, before any work scheduled there later.
    runLoop_ = runLoop;
    performLater(runLoop, &AsyncUdpSocket::resumeAfterMove);
    return true;
}

void AsyncUdpSocket::resumeAfterMove() {
    if (isClosed() || !runLoop_) return;
    // A call on the new thread may have watched or timed already.
    for (Family f : {Family::V4, Family::V6})
        if (endpoint(f).needsWatcher()) setWatcher(f, endpoint(f).watched());
    auto sendLeft = sends_.takeHeldTimer();
    auto receiveLeft = receives_.takeHeldTimer();
    if (sendLeft && sends_.current() && !sends_.hasTimer()) startSendTimer(*sendLeft);
    if (receiveLeft && receives_.current() && !receives_.hasTimer()) startReceiveTimer(*receiveLeft);
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
    sends_.push(std::move(packet));
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
    if (!Calls::resolve(host, port, false, &a, &err)) return false;
    ByteBuffer address;
    if (!a.v4.empty() && socket4_.isOpen())
        address = a.v4;
    else if (!a.v6.empty() && socket6_.isOpen())
        address = a.v6;
    else
        return false;
    queueSend(std::make_shared<AsyncSendPacket>(std::move(data), std::move(address), timeout, tag));
    return true;
}

bool AsyncUdpSocket::sendData(ByteBuffer data, const ByteBuffer& remoteAddr, double timeout, long tag) {
    if (!preSend(data) || isConnected()) return false;
    int family = Calls::familyOf(remoteAddr);
    if (family == 0) return false;
    if (family == AF_INET && !socket4_.isOpen()) return false;
    if (family == AF_INET6 && !socket6_.isOpen()) return false;
    queueSend(std::make_shared<AsyncSendPacket>(std::move(data), remoteAddr, timeout, tag));
    return true;
}

void AsyncUdpSocket::maybeDequeueSend() {
    flags_ &= static_cast<uint16_t>(~kDequeueSendScheduled);
    if (sends_.current() || isClosed()) return;
    if (!sends_.hasWaiting()) {
        maybeCloseAfterSends();
        return;
    }
    const auto& next = sends_.takeNext();
    if (next->timeout >= 0.0) startSendTimer(UdpRequestQueue<AsyncSendPacket>::fromSeconds(next->timeout));

    // The socket of the destination's family; a connected object has one.
    int family = Calls::familyOf(next->address);
    Family f = family == AF_INET    ? Family::V4
               : family == AF_INET6 ? Family::V6
               : socket4_.isOpen()  ? Family::V4
                                    : Family::V6;
    if (!endpoint(f).isOpen()) {
        // The family's socket was closed since the datagram was queued (a
        // bind, connect or group join of the other family).
        auto packet = next;
        sends_.endCurrent();
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
    const auto& current = sends_.current();
    if (!current || currentSendFamily_ != f) return;
    UdpSocketEndpoint& ep = endpoint(f);
    if (!ep.isOpen()) return;
    if (!ep.isReady(POLLOUT)) {
        enableNotifications(f);
        return;
    }
    ssize_t result = Calls::send(ep.fd(), current->buffer, current->address);
    int err = result < 0 ? errno : 0;
    ep.clearReady(POLLOUT);
    if (result < 0 && Calls::isTransient(err)) {
        // Not writable after all: the datagram waits for the next write
        // notification (or its time-out).
        enableNotifications(f);
        return;
    }
    auto packet = current;
    sends_.endCurrent();
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
    sends_.startTimer(*runLoop_, after, [weak](const std::shared_ptr<AsyncSendPacket>& packet) {
        if (auto self = weak.lock()) self->doSendTimeout(packet);
    });
}

void AsyncUdpSocket::doSendTimeout(const std::shared_ptr<AsyncSendPacket>& packet) {
    if (sends_.current() != packet) return;
    sends_.endCurrent();
    RunLoop* loop = runLoop_;
    if (auto d = delegate()) d->onUdpSocketDidNotSendDataWithTag(*this, packet->tag, sendTimeoutError());
    if (stillServing(loop)) scheduleDequeueSend();
}

// ---------------------------------------------------------------- receiving

void AsyncUdpSocket::receiveWithTimeout(double timeout, long tag) {
    if (flags_ & (kForbidSendReceive | kDidClose)) return;
    receives_.push(std::make_shared<AsyncReceivePacket>(timeout, tag));
    scheduleDequeueReceive();
}

void AsyncUdpSocket::maybeDequeueReceive() {
    flags_ &= static_cast<uint16_t>(~kDequeueReceiveScheduled);
    if (receives_.current() || isClosed()) return;
    if (!receives_.hasWaiting()) {
        maybeCloseAfterReceives();
        return;
    }
    const auto& next = receives_.takeNext();
    if (next->timeout >= 0.0) startReceiveTimer(UdpRequestQueue<AsyncReceivePacket>::fromSeconds(next->timeout));
    // Datagrams may be waiting already; the sockets take turns at going first.
    Family first = (flags_ & kFlipFlop) ? Family::V4 : Family::V6;
    flags_ ^= kFlipFlop;
    RunLoop* loop = runLoop_;
    doReceive(first);
    if (stillServing(loop)) doReceive(other(first));
}

void AsyncUdpSocket::doReceive(Family f) {
    UdpSocketEndpoint& ep = endpoint(f);
    RunLoop* loop = runLoop_;
    while (receives_.current() && ep.isOpen() && ep.isReady(POLLIN)) {
        ep.clearReady(POLLIN);
        ByteBuffer buffer(maxReceiveBufferSize_);
        sockaddr_storage from{};
        socklen_t fromLen = sizeof from;
        ssize_t result = Calls::receive(ep.fd(), buffer, &from, &fromLen);
        int err = result < 0 ? errno : 0;
        if (result < 0 && Calls::isTransient(err)) break;  // nothing waiting after all
        if (result < 0) {
            auto packet = receives_.current();
            receives_.endCurrent();
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
        if (!Calls::hostAndPort(from, fromLen, &host, &port)) {
            Log::warn("AsyncUdpSocket", "datagram from an address without text form dropped");
            continue;
        }
        if ((flags_ & kDidConnect) && (host != connectedHost() || port != connectedPort())) continue;

        auto packet = receives_.current();
        packet->buffer = std::move(buffer);
        packet->hasBuffer = true;
        packet->host = host;
        packet->port = port;
        bool taken = true;
        if (auto d = delegate())
            taken = d->onUdpSocketDidReceiveData(*this, packet->buffer, packet->tag, packet->host, packet->port);
        if (!stillServing(loop) || receives_.current() != packet) return;
        if (taken) {
            receives_.endCurrent();
            scheduleDequeueReceive();
            return;
        }
        packet->buffer.clear();
        packet->hasBuffer = false;
        packet->host.clear();
        packet->port = 0;
    }
    if (receives_.current() && ep.isOpen()) enableNotifications(f);
}

void AsyncUdpSocket::startReceiveTimer(std::chrono::nanoseconds after) {
    std::weak_ptr<AsyncUdpSocket> weak = weak_from_this();
    receives_.startTimer(*runLoop_, after, [weak](const std::shared_ptr<AsyncReceivePacket>& packet) {
        if (auto self = weak.lock()) self->doReceiveTimeout(packet);
    });
}

void AsyncUdpSocket::doReceiveTimeout(const std::shared_ptr<AsyncReceivePacket>& packet) {
    if (receives_.current() != packet) return;
    receives_.endCurrent();
    RunLoop* loop = runLoop_;
    if (auto d = delegate()) d->onUdpSocketDidNotReceiveDataWithTag(*this, packet->tag, receiveTimeoutError());
    if (stillServing(loop)) scheduleDequeueReceive();
}

// ---------------------------------------------------------------- closing

bool AsyncUdpSocket::maybeCloseAfterSends() {
    if (!(flags_ & kCloseAfterSends)) return false;
    if ((flags_ & kCloseAfterReceives) && !receives_.idle()) return false;
    close();
    return true;
}

bool AsyncUdpSocket::maybeCloseAfterReceives() {
    if (!(flags_ & kCloseAfterReceives)) return false;
    if ((flags_ & kCloseAfterSends) && !sends_.idle()) return false;
    close();
    return true;
}

void AsyncUdpSocket::closeWithoutNotice() {
    ++epoch_;  // scheduled dequeues are void
    sends_.endCurrent();
    receives_.endCurrent();
    sends_.clearWaiting();
    receives_.clearWaiting();
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
