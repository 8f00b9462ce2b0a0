#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/network/AsyncReceivePacket.h"
#include "base/network/AsyncSendPacket.h"
#include "base/network/AsyncUdpSocketDelegate.h"
#include "base/network/AsyncUdpSocketException.h"
#include "base/network/UdpRequestQueue.h"
#include "base/network/UdpSocketCalls.h"
#include "base/network/UdpSocketEndpoint.h"
#include "platform/Error.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

class AsyncUdpSocket;
using AsyncUdpSocketPtr = std::shared_ptr<AsyncUdpSocket>;

// A UDP endpoint served by one thread's run loop: up to two datagram sockets
// (IPv4 and IPv6), a queue of datagrams to send and a queue of receive
// requests, each served one at a time with an optional time-out; every
// outcome goes to the delegate. It binds, connects to one peer (only that
// peer's datagrams are taken), joins a multicast group and enables
// broadcast.
//
// Threads: the object belongs to the run loop of the thread that created it
// (RunLoop::current() at create()), or to the one given to moveToRunLoop().
// Call it only on that thread; every callback runs there. Nothing is locked.
//
// Lifetime: always held by a shared_ptr (create()). Work the object schedules
// on its run loop holds it weakly, and a callback in progress holds it
// strongly, so the delegate may drop its last reference from inside a
// callback. Destroying the object closes it without telling the delegate.
// Close or destroy it before its serving thread ends (the thread's run loop
// goes with it). The delegate is not owned: the object keeps a weak
// reference and calls it only while it lives.
//
// Misuse (binding twice, binding after connecting, connecting twice, any of
// them on a closed object, joining a group unbound or connected) throws
// AsyncUdpSocketException. Failures come back as an Error out-parameter
// (operations answering bool) or through the delegate (queued work).
//
// Linux: the IPv6 socket carries IPv6 only (so both families share a port);
// sends never raise SIGPIPE; descriptors are non-blocking and watched with
// poll, so their numbers have no upper limit. Host names given to bind,
// connect, multicast or send are resolved synchronously: pass numeric
// addresses, "localhost" or "loopback" where the run loop must not wait.
//
// Time-outs are seconds, negative for none.
class AsyncUdpSocket : public std::enable_shared_from_this<AsyncUdpSocket> {
public:
    using ByteBuffer = std::vector<uint8_t>;
    using DelegateRef = std::weak_ptr<AsyncUdpSocketDelegate>;

    static constexpr uint32_t kDefaultMaxReceiveBufferSize = 9216;
    // This platform's run loops have a single mode; the names are kept for
    // callers that ask for them.
    static constexpr const char* kDefaultRunLoopMode = "kCFRunLoopDefaultMode";

    // Both families unless told otherwise; a family whose socket cannot be
    // made is simply absent (isIPv4()/isIPv6() say which exist).
    static AsyncUdpSocketPtr create();
    static AsyncUdpSocketPtr create(DelegateRef delegate);
    static AsyncUdpSocketPtr create(DelegateRef delegate, long userData);
    static AsyncUdpSocketPtr create(DelegateRef delegate, long userData, bool enableIPv4, bool enableIPv6);
    static AsyncUdpSocketPtr createIPv4();
    static AsyncUdpSocketPtr createIPv6();
    ~AsyncUdpSocket();
    AsyncUdpSocket(const AsyncUdpSocket&) = delete;
    AsyncUdpSocket& operator=(const AsyncUdpSocket&) = delete;

    // ---- owner's data
    std::shared_ptr<AsyncUdpSocketDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(DelegateRef delegate) { delegate_ = std::move(delegate); }
    long userData() const { return userData_; }
    void setUserData(long data) { userData_ = data; }
    // Bytes taken per datagram; a longer datagram is cut to this size.
    uint32_t maxReceiveBufferSize() const { return maxReceiveBufferSize_; }
    void setMaxReceiveBufferSize(uint32_t size) { maxReceiveBufferSize_ = size; }

    // ---- binding and connecting. True, or false with *errPtr (when given).
    // host: "" for all interfaces, "localhost"/"loopback", a numeric address
    // or a name.
    bool bindToPort(uint16_t port, Error* errPtr = nullptr);
    bool bindToAddress(const std::string& host, uint16_t port, Error* errPtr = nullptr);
    bool connectToHost(const std::string& host, uint16_t port, Error* errPtr = nullptr);
    // remoteAddr: sockaddr_in (16 bytes) or sockaddr_in6 (28 bytes).
    bool connectToAddress(const ByteBuffer& remoteAddr, Error* errPtr = nullptr);

    // ---- multicast and broadcast
    bool joinMulticastGroup(const std::string& group, Error* errPtr = nullptr);
    // interfaceAddress: the local address of the interface to join on ("" for
    // the system's choice).
    bool joinMulticastGroup(const std::string& group, const std::string& interfaceAddress, Error* errPtr = nullptr);
    // On the IPv4 socket; true when there is none.
    bool enableBroadcast(bool flag, Error* errPtr = nullptr);

    // ---- sending: true when the datagram was queued. Empty data, a
    // forbidden or closed object and a destination that does not fit the
    // object (unconnected for the first form, connected for the others, no
    // socket of the address's family) are refused.
    bool sendData(ByteBuffer data, double timeout, long tag);
    bool sendData(ByteBuffer data, const std::string& host, uint16_t port, double timeout, long tag);
    bool sendData(ByteBuffer data, const ByteBuffer& remoteAddr, double timeout, long tag);

    // ---- receiving: queues a request for one datagram (ignored when
    // receives are forbidden or the object is closed).
    void receiveWithTimeout(double timeout, long tag);

    // ---- closing. close() drops everything queued and tells the delegate on
    // a later turn. The close-after forms forbid further sends and receives
    // and close once the named queues have run empty.
    void close();
    void closeAfterSending();
    void closeAfterReceiving();
    void closeAfterSendingAndReceiving();

    // ---- run loop. Call moveToRunLoop() on the serving thread, outside the
    // delegate's callbacks; from then on only the new loop's thread may use
    // the object. False for null or a closed object.
    bool moveToRunLoop(RunLoop* runLoop);
    bool setRunLoopModes(const std::vector<std::string>& modes);
    std::vector<std::string> runLoopModes() const { return runLoopModes_; }
    RunLoop* runLoop() const { return runLoop_; }

    // ---- queries. Addresses are numeric text; "" and 0 when unknown.
    std::string localHost() const;
    uint16_t localPort() const;
    std::string connectedHost() const;
    uint16_t connectedPort() const;
    bool isConnected() const;
    bool isConnectedToHost(const std::string& host, uint16_t port) const;
    bool isClosed() const;
    bool isIPv4() const { return socket4_.isOpen(); }
    bool isIPv6() const { return socket6_.isOpen(); }
    // The MTU of the path or interface the socket uses: the path MTU when
    // connected, else the MTU of the interface holding the bound address;
    // 0 when there is none (unbound, or bound to all interfaces).
    unsigned maximumTransmissionUnit() const;
    // The IPv4 socket's descriptor; -1 when there is none.
    int getUdpSocket() const { return socket4_.fd(); }

private:
    struct Private {};

public:
    AsyncUdpSocket(Private, DelegateRef delegate, long userData);

private:
    using AddressPair = UdpSocketCalls::AddressPair;

    enum class Family { V4, V6 };
    static Family other(Family f) { return f == Family::V4 ? Family::V6 : Family::V4; }
    void openSocket(Family f);
    UdpSocketEndpoint& endpoint(Family f) { return f == Family::V4 ? socket4_ : socket6_; }
    const UdpSocketEndpoint& endpoint(Family f) const { return f == Family::V4 ? socket4_ : socket6_; }
    void closeSocket(Family f);
    void enableNotifications(Family f);
    void setWatcher(Family f, short events);
    void socketCallback(Family f, short revents);

    bool bindEndpoint(Family f, const ByteBuffer& address);
    bool connectEndpoint(Family f, const ByteBuffer& address, Error* err);
    bool preSend(const ByteBuffer& data) const;
    void queueSend(std::shared_ptr<AsyncSendPacket> packet);

    // Runs work on the loop at a later turn, unless the object is gone,
    // closed or moved by then.
    void performLater(RunLoop* loop, void (AsyncUdpSocket::*work)());
    void scheduleDequeueSend();
    void scheduleDequeueReceive();
    void maybeDequeueSend();
    void maybeDequeueReceive();
    void doSend(Family f);
    void startSendTimer(std::chrono::nanoseconds after);
    void doSendTimeout(const std::shared_ptr<AsyncSendPacket>& packet);
    void doReceive(Family f);
    void startReceiveTimer(std::chrono::nanoseconds after);
    void doReceiveTimeout(const std::shared_ptr<AsyncReceivePacket>& packet);
    // Close checks of the dequeues: answers true when it closed the object.
    bool maybeCloseAfterSends();
    bool maybeCloseAfterReceives();
    void closeWithoutNotice();
    // Sets watchers, timers and dequeues up again on the loop moved to.
    void resumeAfterMove();
    bool stillServing(RunLoop* loop) const { return !isClosed() && runLoop_ == loop; }

    // The local (or peer) host and port; keeps them once bound (connected).
    std::pair<std::string, uint16_t> addressInfo(bool peer) const;

    UdpSocketEndpoint socket4_;
    UdpSocketEndpoint socket6_;
    RunLoop* runLoop_ = nullptr;  // Not owned: the serving thread's loop; null once closed.
    std::vector<std::string> runLoopModes_;
    UdpRequestQueue<AsyncSendPacket> sends_;
    Family currentSendFamily_ = Family::V4;
    UdpRequestQueue<AsyncReceivePacket> receives_;
    DelegateRef delegate_;  // Not owned.
    uint16_t flags_ = 0;
    long userData_ = 0;
    mutable std::string cachedLocalHost_;
    mutable uint16_t cachedLocalPort_ = 0;
    mutable std::string cachedConnectedHost_;
    mutable uint16_t cachedConnectedPort_ = 0;
    uint32_t maxReceiveBufferSize_ = kDefaultMaxReceiveBufferSize;
    // Work scheduled on a run loop runs only while this still has the value
    // it had when the work was scheduled (close and moves change it). Atomic:
    // a task left on an old run loop reads it from that loop's thread.
    std::atomic<uint64_t> epoch_{0};
};

}  // namespace lumora
