#pragma once

#include <any>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/network/GCDAsyncUdpSendPacket.h"
#include "base/network/GCDAsyncUdpSocketDelegate.h"
#include "base/network/GCDAsyncUdpConnectPacket.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSource.h"
#include "platform/Error.h"
#include "platform/dispatch/NotificationCenter.h"
#include "platform/net/SocketStream.h"

struct sockaddr_in;
struct sockaddr_in6;

namespace lumora {

// Posted by the application when it comes back to the foreground; every UDP
// socket then resumes its receive sources.
inline constexpr const char* kApplicationWillEnterForegroundNotification = "ApplicationWillEnterForegroundNotification";

class GCDAsyncUdpSocket;
using GCDAsyncUdpSocketPtr = std::shared_ptr<GCDAsyncUdpSocket>;

// A UDP endpoint with up to two datagram sockets (IPv4 and IPv6), driven by
// a private serial queue ("GCDAsyncUdpSocket"). It binds, connects (fixes
// the peer), sends queued datagrams with per-datagram time-outs and tags,
// receives once or continuously, filters both ways, joins multicast groups
// and enables broadcast. Results go to the delegate on the delegate queue;
// without a delegate queue nothing is reported.
//
// Threads: every public call may be made from any queue. Getters and the
// bind/connect/receive/multicast calls wait for the socket queue (inline
// when already on it); setters apply at once on the socket queue and are
// queued elsewhere; sends only queue their datagram. The socket queue waits
// for no other queue except a synchronous filter's queue: do not call a
// waiting operation from a synchronous filter's queue.
//
// Lifetime: always held by a shared_ptr (create()). Work queued on the
// socket queue, the filter queues and the resolver holds it weakly; a queued
// delegate callback holds it (and the delegate) until it ran. The socket
// owns its delegate. Destroying a socket whose descriptors were created
// sends udpSocketDidClose with a null socket and no error.
//
// Linux: the IPv6 socket is IPv6-only, so both families share a port; no
// send raises SIGPIPE (MSG_NOSIGNAL). A UDP socket has no end of file: an
// empty datagram or a pending ICMP error notice (port unreachable) is
// consumed and the socket stays open.
//
// Time-outs are seconds, negative for none, taken as given.
class GCDAsyncUdpSocket : public std::enable_shared_from_this<GCDAsyncUdpSocket> {
public:
    using ByteBuffer = std::vector<uint8_t>;
    using DelegatePtr = std::shared_ptr<GCDAsyncUdpSocketDelegate>;
    // Answers true to deliver the datagram; may set a context for the delegate.
    using ReceiveFilter = std::function<bool(const ByteBuffer& data, const ByteBuffer& address, std::any* context)>;
    // Answers true to send the datagram, false to drop it (reported as sent).
    using SendFilter = std::function<bool(const ByteBuffer& data, const ByteBuffer& address, long tag)>;

    static constexpr uint32_t kDefaultMaxReceiveSize = 9216;

    static GCDAsyncUdpSocketPtr create();
    static GCDAsyncUdpSocketPtr create(DispatchQueuePtr socketQueue);
    static GCDAsyncUdpSocketPtr create(DelegatePtr delegate, DispatchQueuePtr delegateQueue);
    static GCDAsyncUdpSocketPtr create(DelegatePtr delegate, DispatchQueuePtr delegateQueue,
                                       DispatchQueuePtr socketQueue);
    ~GCDAsyncUdpSocket();
    GCDAsyncUdpSocket(const GCDAsyncUdpSocket&) = delete;
    GCDAsyncUdpSocket& operator=(const GCDAsyncUdpSocket&) = delete;

    // ---- delegate
    DelegatePtr delegate() const;
    DispatchQueuePtr delegateQueue() const;
    void getDelegate(DelegatePtr* delegate, DispatchQueuePtr* delegateQueue) const;
    void setDelegate(DelegatePtr delegate);
    void synchronouslySetDelegate(DelegatePtr delegate);
    void setDelegate(DelegatePtr delegate, bool synchronously);
    void setDelegateQueue(DispatchQueuePtr queue);
    void synchronouslySetDelegateQueue(DispatchQueuePtr queue);
    void setDelegateQueue(DispatchQueuePtr queue, bool synchronously);
    void setDelegate(DelegatePtr delegate, DispatchQueuePtr delegateQueue);
    void synchronouslySetDelegate(DelegatePtr delegate, DispatchQueuePtr delegateQueue);
    void setDelegate(DelegatePtr delegate, DispatchQueuePtr delegateQueue, bool synchronously);

    // ---- configuration (takes effect at the next bind, connect, send or receive)
    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool flag);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool flag);
    bool isIPv4Preferred() const;
    bool isIPv6Preferred() const;
    bool isIPVersionNeutral() const;
    void setPreferIPv4();
    void setPreferIPv6();
    void setIPVersionNeutral();
    uint16_t maxReceiveIPv4BufferSize() const;
    void setMaxReceiveIPv4BufferSize(uint16_t max);
    uint32_t maxReceiveIPv6BufferSize() const;
    void setMaxReceiveIPv6BufferSize(uint32_t max);
    std::shared_ptr<void> userData() const;
    void setUserData(std::shared_ptr<void> data);

    // ---- addresses and state (addresses are sockaddr_in / sockaddr_in6 bytes)
    ByteBuffer localAddress() const;
    std::string localHost() const;
    uint16_t localPort() const;
    ByteBuffer localAddress_IPv4() const;
    std::string localHost_IPv4() const;
    uint16_t localPort_IPv4() const;
    ByteBuffer localAddress_IPv6() const;
    std::string localHost_IPv6() const;
    uint16_t localPort_IPv6() const;
    ByteBuffer connectedAddress() const;
    std::string connectedHost() const;
    uint16_t connectedPort() const;
    bool isConnected() const;
    bool isClosed() const;
    bool isIPv4() const;
    bool isIPv6() const;

    // ---- binding and connecting. True, or false with *errPtr (when given).
    // interface: "" for all interfaces, else a name ("lo", "eth0"), a
    // numeric address, "localhost" or "loopback".
    bool bindToPort(uint16_t port, Error* errPtr = nullptr);
    bool bindToPort(uint16_t port, const std::string& interface, Error* errPtr = nullptr);
    bool bindToAddress(const ByteBuffer& address, Error* errPtr = nullptr);
    // Queues a connect; the outcome arrives as udpSocketDidConnectToAddress
    // or udpSocketDidNotConnect. An empty host counts as none.
    bool connectToHost(const std::string& host, uint16_t port, Error* errPtr = nullptr);
    bool connectToAddress(const ByteBuffer& address, Error* errPtr = nullptr);

    // ---- sending (any thread; empty data is ignored without a callback)
    void sendData(ByteBuffer data, long tag);
    void sendData(ByteBuffer data, double timeout, long tag);
    void sendData(ByteBuffer data, const std::string& host, uint16_t port, double timeout, long tag);
    void sendData(ByteBuffer data, const ByteBuffer& address, double timeout, long tag);
    void setSendFilter(SendFilter filter, DispatchQueuePtr queue);
    void setSendFilter(SendFilter filter, DispatchQueuePtr queue, bool isAsynchronous);

    // ---- receiving
    bool receiveOnce(Error* errPtr = nullptr);
    bool beginReceiving(Error* errPtr = nullptr);
    void pauseReceiving();
    void setReceiveFilter(ReceiveFilter filter, DispatchQueuePtr queue);
    void setReceiveFilter(ReceiveFilter filter, DispatchQueuePtr queue, bool isAsynchronous);

    // ---- closing
    void close();
    void closeAfterSending();

    // ---- multicast and broadcast. group: numeric IPv4 or IPv6 address text.
    bool joinMulticastGroup(const std::string& group, Error* errPtr = nullptr);
    bool joinMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr = nullptr);
    bool leaveMulticastGroup(const std::string& group, Error* errPtr = nullptr);
    bool leaveMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr = nullptr);
    bool enableBroadcast(bool flag, Error* errPtr = nullptr);

    // ---- streams: a read or write stream on the socket (IPv4 if open, else
    // IPv6), made on first demand, never opened or scheduled by the socket
    // and never closing the descriptor. Null on the socket queue, or when no
    // descriptor is open.
    std::shared_ptr<SocketStream> readStream();
    std::shared_ptr<SocketStream> writeStream();
    // This platform has no background mode for sockets: false, always.
    bool enableBackgroundingOnSockets();

    // ---- queue operations
    // Runs the task on the socket queue and waits for it.
    void performBlock(const DispatchTask& task);
    const DispatchQueuePtr& socketQueue() const { return socketQueue_; }
    // Code on a marked queue counts as running on the socket queue (for a
    // queue that targets the socket queue).
    void markSocketQueueTargetQueue(const DispatchQueuePtr& queue);
    void unmarkSocketQueueTargetQueue(const DispatchQueuePtr& queue);
    // The descriptors, -1 when absent. Answer -1 when called on the socket
    // queue (where the state itself is at hand); from any other thread they
    // answer the current descriptor.
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;

    // ---- address helpers
    static std::string hostFromSockaddr4(const sockaddr_in& addr);
    static std::string hostFromSockaddr6(const sockaddr_in6& addr);
    static uint16_t portFromSockaddr4(const sockaddr_in& addr);
    static uint16_t portFromSockaddr6(const sockaddr_in6& addr);
    // True with host, port and family when the bytes hold an IPv4 address
    // (at least 16 bytes) or an IPv6 address (at least 28); else false with
    // "", 0, 0. Every out-pointer may be null.
    static bool getHost(std::string* host, uint16_t* port, int* family, const ByteBuffer& address);
    static bool getHost(std::string* host, uint16_t* port, const ByteBuffer& address);
    static std::string hostFromAddress(const ByteBuffer& address);
    static uint16_t portFromAddress(const ByteBuffer& address);
    static int familyFromAddress(const ByteBuffer& address);
    static bool isIPv4Address(const ByteBuffer& address);
    static bool isIPv6Address(const ByteBuffer& address);
    // System index of the interface holding the address; 0 when none.
    static unsigned indexOfInterfaceAddr4(const ByteBuffer& address);
    static unsigned indexOfInterfaceAddr6(const ByteBuffer& address);

private:
    struct Private {};

public:
    GCDAsyncUdpSocket(Private, DelegatePtr delegate, DispatchQueuePtr delegateQueue, DispatchQueuePtr socketQueue);

private:
    class SocketFd;
    using Callback = std::function<void(GCDAsyncUdpSocketDelegate&, const GCDAsyncUdpSocketPtr&)>;
    using ResolveCompletion = std::function<void(GCDAsyncUdpSocket& self, std::vector<ByteBuffer> addresses,
                                                 Error error)>;

    bool isOnSocketQueue() const;
    template <class F>
    auto onSocketQueue(F f) const -> decltype(f());
    void applyOnSocketQueue(DispatchTask task, bool synchronously = false);
    void notifyDelegate(Callback call);
    void notifyDidConnect(const ByteBuffer& address);
    void notifyDidNotConnect(const Error& error);
    void notifyDidSend(long tag);
    void notifyDidNotSend(long tag, const Error& error);
    void notifyDidReceive(std::shared_ptr<const ByteBuffer> data, const ByteBuffer& address, std::any context);
    void notifyDidClose(const Error& error);

    // State (socket queue).
    bool preOp(Error* err) const;
    void maybeUpdateCachedLocalAddress4Info();
    void maybeUpdateCachedLocalAddress6Info();
    void maybeUpdateCachedConnectedAddressInfo();
    bool isConnectedToAddress4(const ByteBuffer& address) const;
    bool isConnectedToAddress6(const ByteBuffer& address) const;

    // Creating, binding, connecting (socket queue).
    bool createSockets(bool useIPv4, bool useIPv6, Error* err);
    bool createSockets(Error* err);
    int createSocket(int family, Error* err);
    void setupSendAndReceiveSources(int family, int fd);
    void suspendSendSource(int family);
    void resumeSendSource(int family);
    void suspendReceiveSource(int family);
    void resumeReceiveSource(int family);
    void asyncResolveHost(const std::string& host, uint16_t port, ResolveCompletion completion);
    int getAddress(ByteBuffer* address, Error* err, const std::vector<ByteBuffer>& addresses) const;
    static void convertInterfaceDescription(const std::string& interface, uint16_t port, ByteBuffer* address4,
                                            ByteBuffer* address6);
    static void convertNumericHost(const std::string& host, uint16_t port, ByteBuffer* address4,
                                   ByteBuffer* address6);
    bool preBind(Error* err) const;
    bool preConnect(Error* err) const;
    bool startConnect(std::shared_ptr<GCDAsyncUdpConnectPacket> packet, Error* err);
    void maybeConnect();
    bool connectWithAddress(int family, const ByteBuffer& address, Error* err);

    // Sending (socket queue).
    void queueSend(std::shared_ptr<GCDAsyncUdpSendPacket> packet);
    void maybeDequeueSend();
    void doPreSend();
    void doSend();
    void endCurrentSend();
    void setupSendTimerWithTimeout(double timeout);
    void doSendTimeout();
    void sendSourceFired(int family);

    // Receiving (socket queue).
    bool startReceiving(uint32_t mode, Error* err);
    void receiveSourceFired(int family);
    void doReceive();
    void deliverOrFilter(std::shared_ptr<const ByteBuffer> data, ByteBuffer address, bool* delivered,
                         bool* waitingForFilter);

    // Closing, multicast, streams (socket queue).
    void closeWithError(const Error& error);
    void closeSockets();
    void closeSocket4();
    void closeSocket6();
    bool preJoin(Error* err) const;
    bool performMulticastRequest(int request, const std::string& group, const std::string& interface, Error* err);
    bool createReadAndWriteStreams(Error* err);
    void closeReadAndWriteStreams(int family);

    int fdOf(int family) const;  // AF_INET or AF_INET6

    // Everything below belongs to the socket queue, except the descriptor
    // numbers (atomic: readable from any thread).
    DelegatePtr delegate_;
    DispatchQueuePtr delegateQueue_;
    ReceiveFilter receiveFilterBlock_;
    DispatchQueuePtr receiveFilterQueue_;
    bool receiveFilterAsync_ = false;
    SendFilter sendFilterBlock_;
    DispatchQueuePtr sendFilterQueue_;
    bool sendFilterAsync_ = false;
    uint32_t flags_ = 0;
    uint16_t config_ = 0;
    uint16_t max4ReceiveSize_ = kDefaultMaxReceiveSize;
    uint32_t max6ReceiveSize_ = kDefaultMaxReceiveSize;
    std::atomic<int> socket4FD_{-1};
    std::atomic<int> socket6FD_{-1};
    std::shared_ptr<SocketFd> socket4Owner_;
    std::shared_ptr<SocketFd> socket6Owner_;
    DispatchQueuePtr socketQueue_;
    DispatchSourcePtr send4Source_;
    DispatchSourcePtr send6Source_;
    DispatchSourcePtr receive4Source_;
    DispatchSourcePtr receive6Source_;
    DispatchSourcePtr sendTimer_;
    // The item being worked on: a datagram or a connect request.
    std::shared_ptr<GCDAsyncUdpSendPacket> currentSend_;
    std::shared_ptr<GCDAsyncUdpConnectPacket> currentConnect_;
    struct QueueEntry {
        std::shared_ptr<GCDAsyncUdpSendPacket> send;
        std::shared_ptr<GCDAsyncUdpConnectPacket> connect;
    };
    std::deque<QueueEntry> sendQueue_;
    bool dequeueRunning_ = false;
    uint32_t socket4FDBytesAvailable_ = 0;
    uint32_t socket6FDBytesAvailable_ = 0;
    uint32_t pendingFilterOperations_ = 0;
    ByteBuffer cachedLocalAddress4_;
    std::string cachedLocalHost4_;
    uint16_t cachedLocalPort4_ = 0;
    ByteBuffer cachedLocalAddress6_;
    std::string cachedLocalHost6_;
    uint16_t cachedLocalPort6_ = 0;
    ByteBuffer cachedConnectedAddress_;
    std::string cachedConnectedHost_;
    uint16_t cachedConnectedPort_ = 0;
    int cachedConnectedFamily_ = 0;
    // Queue-specific key; its value on the socket queue is this socket.
    const char isOnSocketQueueOrTargetQueueKey_ = 0;
    std::shared_ptr<SocketStream> readStream4_;
    std::shared_ptr<SocketStream> readStream6_;
    std::shared_ptr<SocketStream> writeStream4_;
    std::shared_ptr<SocketStream> writeStream6_;
    std::shared_ptr<void> userData_;
    NotificationCenter::ObserverId foregroundObserver_ = 0;
    bool destroying_ = false;
};

}  // namespace lumora
