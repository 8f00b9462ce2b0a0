#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/network/GCDAsyncReadPacket.h"
#include "base/network/GCDAsyncSocketDelegate.h"
#include "base/network/GCDAsyncTLSPacket.h"
#include "base/network/GCDAsyncWritePacket.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSource.h"
#include "platform/Error.h"
#include "platform/net/SocketStream.h"

struct sockaddr_in;
struct sockaddr_in6;

namespace lumora {

class GCDAsyncSocket;
using GCDAsyncSocketPtr = std::shared_ptr<GCDAsyncSocket>;

// A TCP connection driven by a private serial queue ("GCDAsyncSocket").
// Callers queue reads and writes, each with a time-out (seconds, negative:
// none) and a tag; the socket reports every finished step and the close to
// its delegate on the delegate queue. Non-blocking descriptors watched by
// dispatch sources carry the bytes. Every connected socket also keeps a
// read and write stream pair on its descriptor, scheduled on one
// process-wide listener thread, that reports errors and the peer's end; a
// TLS upgrade (startTLS) moves all reads and writes onto that pair.
//
// Threads: every public call may be made from any queue, including the
// delegate queue. Getters wait for the socket queue (inline when already on
// it); setters apply at once on the socket queue and are queued elsewhere;
// connect and disconnect wait for the socket queue; reads and writes only
// queue their request. The socket queue never waits for another queue, so a
// getter called from a delegate callback is safe. Do not call disconnect()
// or a getter from a task that the socket queue itself waits for.
//
// Lifetime: the socket is always held by a shared_ptr (create()). Queued
// delegate callbacks keep it alive until they ran; its own sources and
// timers do not. Destroying an open socket closes it without any callback.
// The delegate is not owned: the socket keeps a weak reference and drops
// callbacks for a delegate that is gone or was replaced.
//
// Time-outs are taken as given; callers scale protocol time-outs
// (Config::timeScale) themselves.
class GCDAsyncSocket : public std::enable_shared_from_this<GCDAsyncSocket> {
public:
    using ByteBuffer = std::vector<uint8_t>;
    using DelegatePtr = std::shared_ptr<GCDAsyncSocketDelegate>;

    // No delegate, no delegate queue (connecting then fails until both are
    // set); with socketQueue null the socket makes its own serial queue.
    static GCDAsyncSocketPtr create();
    static GCDAsyncSocketPtr create(DispatchQueuePtr socketQueue);
    static GCDAsyncSocketPtr create(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue);
    static GCDAsyncSocketPtr create(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue,
                                    DispatchQueuePtr socketQueue);
    ~GCDAsyncSocket();
    GCDAsyncSocket(const GCDAsyncSocket&) = delete;
    GCDAsyncSocket& operator=(const GCDAsyncSocket&) = delete;

    // ---- delegate and configuration
    DelegatePtr delegate() const;
    void setDelegate(const DelegatePtr& delegate);
    void synchronouslySetDelegate(const DelegatePtr& delegate);
    DispatchQueuePtr delegateQueue() const;
    void setDelegateQueue(DispatchQueuePtr queue);
    void synchronouslySetDelegateQueue(DispatchQueuePtr queue);
    void getDelegate(DelegatePtr* delegate, DispatchQueuePtr* delegateQueue) const;
    void setDelegate(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue);
    void synchronouslySetDelegate(const DelegatePtr& delegate, DispatchQueuePtr delegateQueue);

    // On (default): the peer closing its side closes the socket (code 7).
    // Off: the socket stays open for writing and says socketDidCloseReadStream.
    bool autoDisconnectOnClosedReadStream() const;
    void setAutoDisconnectOnClosedReadStream(bool flag);
    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool flag);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool flag);
    bool isIPv4PreferredOverIPv6() const;
    void setPreferIPv4OverIPv6(bool flag);
    std::shared_ptr<void> userData() const;
    void setUserData(std::shared_ptr<void> data);

    // ---- connecting and closing
    // Starts a connect to a host name or address text. True when the attempt
    // has started; its outcome arrives as socketDidConnectToHost or
    // socketDidDisconnect. On false *errPtr (when given) says why (codes 1,
    // 2). interface: "" for none, else an interface name ("lo", "eth0") or a
    // local address, optionally followed by ":port" ("127.0.0.1:8080",
    // "[::1]:8080"); the socket binds to it before connecting.
    bool connectToHost(const std::string& host, uint16_t port, Error* errPtr = nullptr);
    bool connectToHost(const std::string& host, uint16_t port, double timeout, Error* errPtr = nullptr);
    bool connectToHost(const std::string& host, uint16_t port, const std::string& interface, double timeout,
                       Error* errPtr = nullptr);
    // Same with a ready socket address (a sockaddr_in or sockaddr_in6 as bytes).
    bool connectToAddress(const ByteBuffer& address, Error* errPtr = nullptr);
    bool connectToAddress(const ByteBuffer& address, double timeout, Error* errPtr = nullptr);
    bool connectToAddress(const ByteBuffer& address, const std::string& interface, double timeout,
                          Error* errPtr = nullptr);

    // Closes now; a started socket then reports socketDidDisconnect with no
    // error (after any callbacks queued before).
    void disconnect();
    // Refuse new reads/writes and close once the queued ones are done.
    void disconnectAfterReading();
    void disconnectAfterWriting();
    void disconnectAfterReadingAndWriting();

    // ---- listening
    // Listens on the any-addresses (acceptOnPort) or on an interface given
    // as for connects, over IPv4 and IPv6 as enabled; with port 0 both
    // listeners share the port the system picks. True when listening; on
    // false *errPtr says why (codes 1, 2 or a POSIX error). Each accepted
    // connection becomes a new connected socket with the same delegate and
    // delegate queue, on the queue newSocketQueueForConnectionFromAddress
    // gives (or its own), reported by socketDidAcceptNewSocket: the delegate
    // must keep it, or it closes once that callback returned.
    bool acceptOnPort(uint16_t port, Error* errPtr = nullptr);
    bool acceptOnInterface(const std::string& interface, uint16_t port, Error* errPtr = nullptr);

    // ---- TLS
    // Queues a TLS upgrade behind the reads and writes queued so far; reads
    // and writes queued after it wait for the handshake and then go through
    // the secure session. socketDidSecure reports success; a failed
    // handshake closes the socket with its error (domain
    // "kCFStreamErrorDomainSSL", or the TLS settings' code 8 texts). Only
    // the first call of a connection counts; later ones are dropped.
    // Settings (all optional for a client):
    //   kTLSSettingIsServer                "1": this side is the TLS server
    //   kTLSSettingCertificateFile         PEM certificate (chain) of this side; a server needs it
    //   kTLSSettingPrivateKeyFile          PEM private key of this side; a server needs it
    //   kTLSSettingPeerName                name or address the server's certificate must carry;
    //                                      default: the host given to connect; "" checks no name
    //   kTLSSettingTrustedCertificatesFile PEM trust anchors used instead of the system's store
    //   kTLSSettingValidatesCertificateChain "0": the server's certificate is not checked at all
    // Flags take "1"/"0" ("true"/"false", "yes"/"no"). Unknown keys or bad
    // values refuse the settings, which closes the socket with code 8.
    void startTLS(std::map<std::string, std::string> tlsSettings = {});
    static constexpr const char* kTLSSettingIsServer = "IsServer";
    static constexpr const char* kTLSSettingCertificateFile = "CertificateFile";
    static constexpr const char* kTLSSettingPrivateKeyFile = "PrivateKeyFile";
    static constexpr const char* kTLSSettingPeerName = "PeerName";
    static constexpr const char* kTLSSettingTrustedCertificatesFile = "TrustedCertificatesFile";
    static constexpr const char* kTLSSettingValidatesCertificateChain = "ValidatesCertificateChain";

    // ---- reads (dropped silently unless the socket has started and no
    // disconnect-after was asked). A caller's buffer is filled in place from
    // offset and may grow; the delegate always gets its own copy of the bytes.
    void readDataWithTimeout(double timeout, long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<ByteBuffer> buffer, size_t offset, long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<ByteBuffer> buffer, size_t offset, size_t maxLength,
                             long tag);
    void readDataToLength(size_t length, double timeout, long tag);
    void readDataToLength(size_t length, double timeout, std::shared_ptr<ByteBuffer> buffer, size_t offset, long tag);
    void readDataToData(ByteBuffer term, double timeout, long tag);
    void readDataToData(ByteBuffer term, double timeout, std::shared_ptr<ByteBuffer> buffer, size_t offset, long tag);
    void readDataToData(ByteBuffer term, double timeout, size_t maxLength, long tag);
    void readDataToData(ByteBuffer term, double timeout, std::shared_ptr<ByteBuffer> buffer, size_t offset,
                        size_t maxLength, long tag);

    // ---- writes (empty data is ignored; dropped silently like reads)
    void writeData(std::shared_ptr<const ByteBuffer> data, double timeout, long tag);
    void writeData(ByteBuffer data, double timeout, long tag);

    // ---- state
    bool isDisconnected() const;
    bool isConnected() const;
    bool isIPv4() const;
    bool isIPv6() const;
    bool isSecure() const;
    std::string connectedHost() const;  // "" when not connected
    uint16_t connectedPort() const;
    std::string localHost() const;
    uint16_t localPort() const;
    ByteBuffer connectedAddress() const;  // empty when not connected
    ByteBuffer localAddress() const;

    // Socket queue only (from elsewhere: "", 0 or -1).
    std::string connectedHost4() const;
    std::string connectedHost6() const;
    uint16_t connectedPort4() const;
    uint16_t connectedPort6() const;
    std::string localHost4() const;
    std::string localHost6() const;
    uint16_t localPort4() const;
    uint16_t localPort6() const;
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;
    // The stream pair on the connected descriptor (made when missing);
    // null when not connected.
    std::shared_ptr<SocketStream> readStream();
    std::shared_ptr<SocketStream> writeStream();
    // True once reads and writes go through the stream pair (after TLS).
    bool usingCFStream() const;
    // This platform has no background service type for streams: false,
    // always (at once from any queue but the socket queue).
    bool enableBackgroundingOnSocket();
    bool enableBackgroundingOnSocketWithCaveat();

    // Runs the task on the socket queue and waits for it.
    void performBlock(const DispatchTask& task);
    const DispatchQueuePtr& socketQueue() const { return socketQueue_; }

    // ---- address helpers (addresses are sockaddr_in / sockaddr_in6 bytes)
    static std::string hostFromSockaddr4(const sockaddr_in& addr);
    static std::string hostFromSockaddr6(const sockaddr_in6& addr);
    static uint16_t portFromSockaddr4(const sockaddr_in& addr);
    static uint16_t portFromSockaddr6(const sockaddr_in6& addr);
    static std::string hostFromAddress(const ByteBuffer& address);
    static uint16_t portFromAddress(const ByteBuffer& address);
    static bool getHost(std::string* host, uint16_t* port, const ByteBuffer& address);

    static const ByteBuffer& CRLFData();
    static const ByteBuffer& CRData();
    static const ByteBuffer& LFData();
    static const ByteBuffer& ZeroData();

private:
    struct Private {};

public:
    GCDAsyncSocket(Private, const DelegatePtr& delegate, DispatchQueuePtr delegateQueue, DispatchQueuePtr socketQueue);

private:
    class SocketFd;
    struct DelegateSlot {
        std::weak_ptr<GCDAsyncSocketDelegate> delegate;
        DispatchQueuePtr queue;
        uint64_t epoch = 0;  // raised whenever the delegate changes
    };

    // Delegate access (any thread).
    DelegateSlot delegateSlot() const;
    void storeDelegate(const DelegatePtr* delegate, const DispatchQueuePtr* queue);
    DelegatePtr delegateIfCurrent(uint64_t epoch) const;
    using Callback = std::function<void(GCDAsyncSocketDelegate&, const GCDAsyncSocketPtr&)>;
    void notifyDelegate(Callback call);

    template <class T, class F>
    T onSocketQueue(F f) const;
    void applyOnSocketQueue(DispatchTask task);

    // Connecting and closing (socket queue).
    bool preConnectWithInterface(const std::string& interface, Error* err);
    static void getInterfaceAddress(ByteBuffer* addr4, ByteBuffer* addr6, const std::string& description,
                                    uint16_t port);
    static void lookup(std::weak_ptr<GCDAsyncSocket> weakSelf, DispatchQueuePtr socketQueue, int connectIndex,
                       std::string host, uint16_t port);
    void lookupDidSucceed(int connectIndex, ByteBuffer address4, ByteBuffer address6);
    void lookupDidFail(int connectIndex, const Error& err);
    bool connectWithAddress(ByteBuffer address4, ByteBuffer address6, Error* err);
    void connectSourceFired(int connectIndex);
    void didConnect(int connectIndex);
    void didNotConnect(int connectIndex, const Error& err);
    void startConnectTimeout(double timeout);
    void endConnectTimeout();
    void doConnectTimeout();
    void setupReadAndWriteSourcesForNewlyConnectedSocket(int fd);
    void suspendReadSource();
    void resumeReadSource();
    void suspendWriteSource();
    void resumeWriteSource();
    void closeWithError(const Error& err);
    void maybeClose();
    void doReadEOF();

    // Listening (socket queue).
    std::shared_ptr<SocketFd> createListener(int family, const ByteBuffer& address, Error* err);
    DispatchSourcePtr makeAcceptSource(std::shared_ptr<SocketFd> listener, int family);
    bool doAccept(int listenFd, int family);

    // Stream pair and TLS (socket queue).
    bool createReadAndWriteStream();
    bool registerForStreamCallbacksIncludingReadWrite(bool includeReadWrite);
    bool addStreamsToRunLoop();
    void removeStreamsFromRunLoop();
    bool openStreams();
    void closeStreams();
    void connectStreamsSecondStep(int connectIndex);
    void streamEvent(SocketStream* stream, SocketStream::Event event);
    void streamDidEnd();
    void maybeStartTLS();
    void finishSSLHandshake();
    void abortSSLHandshake(const Error& err);
    Error flushSSLBuffers(bool* atEnd);
    void pullSecureStream();
    std::shared_ptr<StreamSecurity> securityFromSettings(const std::map<std::string, std::string>& settings);
    bool enableBackgroundingOnSocketWithCaveat(bool caveat);

    // Reads (socket queue).
    void queueRead(std::shared_ptr<GCDAsyncReadPacket> packet);
    void maybeDequeueRead();
    void readSourceFired();
    void doReadData();
    void completeCurrentRead();
    void endCurrentRead();
    void setupReadTimerWithTimeout(double timeout);
    void doReadTimeout();
    void doReadTimeoutWithExtension(double extension);

    // Writes (socket queue).
    void maybeDequeueWrite();
    void doWriteData();
    void completeCurrentWrite();
    void endCurrentWrite();
    void setupWriteTimerWithTimeout(double timeout);
    void doWriteTimeout();
    void doWriteTimeoutWithExtension(double extension);

    DispatchSourcePtr makeOneShotTimer(double seconds, void (GCDAsyncSocket::*fired)());
    int connectedFD() const;

    // Everything below is touched on the socket queue only, except the
    // delegate slot (delegateMutex_).
    uint32_t flags_ = 0;
    uint16_t config_ = 0;
    mutable std::mutex delegateMutex_;
    DelegateSlot delegate_;
    int socket4FD_ = -1;
    int socket6FD_ = -1;
    std::shared_ptr<SocketFd> fdOwner_;  // closes the descriptor once every source let go
    int connectIndex_ = 0;
    ByteBuffer connectInterface4_;
    ByteBuffer connectInterface6_;
    DispatchQueuePtr socketQueue_;
    DispatchSourcePtr connectTimer_;
    DispatchSourcePtr connectSource_;  // watches a non-blocking connect
    DispatchSourcePtr accept4Source_;
    DispatchSourcePtr accept6Source_;
    DispatchSourcePtr readSource_;
    DispatchSourcePtr writeSource_;
    DispatchSourcePtr readTimer_;
    DispatchSourcePtr writeTimer_;
    // A queue entry is a read (write) packet or the TLS marker.
    struct ReadEntry {
        std::shared_ptr<GCDAsyncReadPacket> read;
        std::shared_ptr<GCDAsyncTLSPacket> tls;
    };
    struct WriteEntry {
        std::shared_ptr<GCDAsyncWritePacket> write;
        std::shared_ptr<GCDAsyncTLSPacket> tls;
    };
    std::deque<ReadEntry> readQueue_;
    std::deque<WriteEntry> writeQueue_;
    std::shared_ptr<GCDAsyncReadPacket> currentRead_;
    std::shared_ptr<GCDAsyncWritePacket> currentWrite_;
    std::shared_ptr<GCDAsyncTLSPacket> currentReadTLS_;   // the TLS marker heads the read queue
    std::shared_ptr<GCDAsyncTLSPacket> currentWriteTLS_;  // ... and the write queue
    std::shared_ptr<SocketStream> readStream_;
    std::shared_ptr<SocketStream> writeStream_;
    std::string connectHost_;  // host text of the last connect: the TLS peer name by default
    size_t socketFDBytesAvailable_ = 0;
    ByteBuffer partialReadBuffer_;
    std::shared_ptr<void> userData_;
    bool destroying_ = false;  // the destructor closes without callbacks
};

}  // namespace lumora
