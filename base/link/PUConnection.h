#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/decoder/MediaFrame.h"
#include "base/link/OWSPLink.h"
#include "base/link/PUConnectionDelegate.h"
#include "platform/dispatch/DispatchQueue.h"

namespace lumora {

class GCDAsyncSocket;
class DeviceClientDelegate;
class PUConnection;
using PUConnectionPtr = std::shared_ptr<PUConnection>;

// One link to a device: a TCP stream through GCDAsyncSocket, a UDT link over
// UDP, or an HTTP request. Keeps a receive buffer, appends every received
// chunk and offers the whole buffer to its delegate, which answers how much
// it used (PUConnectionDelegate::connectionDidReceiveMessage).
//
// Queues: TCP callbacks and the consumer run on the connection's serial queue
// "com.lumora.socket"; the UDT receive loop and its consumer calls on
// "com.lumora.udt". sendMessage and close may be called from any thread.
//
// Lifetime: always held by a shared_ptr (create()). A connection is never
// destroyed on its own queues: a queue task that ends up holding the last
// reference hands it to the global queue to be dropped there. The delegate
// and the client are not owned (weak references).
//
// As an OWSPLink it gives the device message parser its client (the
// DeviceClientDelegate), its assembly frame and its tag, so the receiving
// queue can feed the parser with the connection itself.
//
// Guarantees beyond the plain design: at most one TCP read is outstanding
// (reads are re-armed after a read or when none is queued, so they do not
// pile up while talking); close() closes a UDT socket at once, which wakes a
// blocked receive, so closing never waits behind a receive time-out.
class PUConnection : public OWSPLink, public std::enable_shared_from_this<PUConnection> {
public:
    enum Type : int { kTCP = 0, kHTTP = 1, kUDT = 2 };

    // initWithType:delegate:
    static PUConnectionPtr create(int type, const std::shared_ptr<PUConnectionDelegate>& delegate);
    // init: TCP without a delegate.
    static PUConnectionPtr create();
    ~PUConnection() override;
    PUConnection(const PUConnection&) = delete;
    PUConnection& operator=(const PUConnection&) = delete;

    // open:port: TCP starts a connect (10 s) and answers whether it started;
    // UDT creates the socket and connects, blocking; HTTP answers false.
    bool openPort(const std::string& host, uint16_t port);
    // open: HTTP only: starts a GET of the URL at once.
    bool open(const std::string& url);

    // createUDTSocket:andport:andrendezvous: a new UDT socket with the link's
    // option set; 0 on success, -1 on failure.
    int createUDTSocketAndport(int& udtSocket, const std::string& port, bool rendezvous);
    // createUDTSocket:andUDPSocket:andrendezvous: binds an existing UDT socket
    // onto an existing UDP socket with the alternative option set.
    int createUDTSocketAndUDPSocket(int udtSocket, int udpSocket, bool rendezvous);
    // connect:andhost:andport: binds onto tempudpsocket when one was given,
    // then connects (blocking).
    bool connect(int udtSocket, const std::string& host, uint16_t port);

    void sendMessage(const std::vector<uint8_t>& data);
    void close();
    // Adds 1 and answers the new value (the first call answers 1).
    uint32_t sequenceNumber();
    // Sends the protocol's heartbeat request.
    void heartbeat();

    // ---- properties
    int32_t tag() const override { return tag_; }
    int type() const { return type_; }
    bool connected() const { return connected_; }
    void setConnected(bool v) { connected_ = v; }
    std::shared_ptr<GCDAsyncSocket> socket() const;
    int serv() const { return serv_; }
    // The receive buffer; touch it only on the receiving queue.
    const std::vector<uint8_t>& buffer() const { return buffer_; }
    // The assembly frame the message parser fills; receiving queue only.
    MediaFrame& frame() override { return frame_; }
    std::shared_ptr<PUConnectionDelegate> delegate() const;
    void setDelegate(const std::shared_ptr<PUConnectionDelegate>& delegate);
    std::shared_ptr<DeviceClientDelegate> client() const override;
    void setClient(const std::shared_ptr<DeviceClientDelegate>& client);
    int tempudpsocket() const { return tempudpsocket_; }
    void setTempudpsocket(int fd) { tempudpsocket_ = fd; }
    bool shouldRecUDT() const { return shouldRecUDT_; }
    void setShouldRecUDT(bool v) { shouldRecUDT_ = v; }
    int tcptimeout() const { return tcptimeout_; }
    void setTcptimeout(int seconds) { tcptimeout_ = seconds; }
    int conid() const { return conid_; }
    void setConid(int id) { conid_ = id; }
    bool UDTflag() const { return udtFlag_; }
    const DispatchQueuePtr& socketQueue() const { return socketQueue_; }
    const DispatchQueuePtr& udtQueue() const { return udtQueue_; }

    // Drops a reference to a connection off the connection's own queues.
    static void releaseOffQueue(PUConnectionPtr connection);

private:
    struct Private {};
    class SocketAdapter;

public:
    PUConnection(Private, int type);

private:
    void consume(const uint8_t* data, size_t size);
    double readTimeout() const;
    void queueReadIfIdle();
    void tcpDidConnect(const std::string& host, uint16_t port);
    void tcpDidRead(std::vector<uint8_t> data);
    void tcpDidWrite();
    void tcpDidDisconnect(const Error& error);
    void sendUdt(const std::vector<uint8_t>& data);
    void startUdtLoop();
    static void udtReceiveLoop(PUConnectionPtr self);
    void closeUdtSocket();

    const int tag_;
    const int type_;
    std::atomic<bool> connected_{false};
    mutable std::mutex mutex_;  // guards socket_, delegate_, client_, udtQueue_ swaps
    std::mutex sendMutex_;      // one UDT sender at a time
    std::shared_ptr<GCDAsyncSocket> socket_;
    std::shared_ptr<SocketAdapter> adapter_;
    std::atomic<int> serv_{-1};
    std::vector<uint8_t> buffer_;
    MediaFrame frame_;
    DispatchQueuePtr socketQueue_;
    DispatchQueuePtr udtQueue_;
    std::atomic<uint32_t> sequence_{0};
    std::weak_ptr<PUConnectionDelegate> delegate_;
    std::weak_ptr<DeviceClientDelegate> client_;
    std::atomic<bool> udtFlag_{false};
    std::atomic<bool> shouldRecUDT_{false};
    std::atomic<int> tempudpsocket_{0};
    // Closes a punched UDP socket that the UDT library did not take over.
    void releaseTempUdpSocket();
    std::atomic<int> tcptimeout_{0};
    std::atomic<int> conid_{0};
    std::atomic<bool> readOutstanding_{false};
    std::atomic<bool> closed_{false};
    std::atomic<uint64_t> httpGeneration_{0};
};

}  // namespace lumora
