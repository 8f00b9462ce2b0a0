#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/network/GCDAsyncUdpSocket.h"
#include "base/network/UDPManagerDelegate.h"
#include "platform/runloop/RunLoop.h"

namespace lumora {

// A thin request/reply layer over one GCDAsyncUdpSocket whose callbacks run
// on the main queue: binds a port (with one random fallback), sends a
// datagram with a write time-out and arms a read time-out that reports once
// unless a reply comes first, and forwards received datagrams of at least 4
// bytes to its delegate.
//
// Lifetime: held by a shared_ptr (create()). The socket owns a small
// forwarder as its delegate, which holds the manager weakly: the manager and
// its socket never keep each other alive, and neither a socket callback nor
// a read timer reaches a manager that is gone. The delegate is not owned.
class UDPManager : public std::enable_shared_from_this<UDPManager> {
public:
    // Type of the relay server message that carries no payload: its arrival
    // does not count as the reply.
    static constexpr uint16_t kEmptyRelayMessageType = 0x3002;

    static std::shared_ptr<UDPManager> create(std::weak_ptr<UDPManagerDelegate> delegate = {});
    ~UDPManager();
    UDPManager(const UDPManager&) = delete;
    UDPManager& operator=(const UDPManager&) = delete;

    // Binds the port (or, when that fails, one random port in 1023..65534)
    // and starts receiving; closes the socket when receiving cannot start.
    void setReceivePort(uint16_t port);
    uint16_t receivePort() const { return receivePort_; }

    // Queues the datagram with the write time-out and, for a read time-out
    // above 0, arms a main-queue timer that reports didReceiveUdpDataTimeout
    // unless a reply arrives first. The datagram's tag comes from a
    // process-wide counter; `tag` is not used. Always true.
    bool sendData(std::vector<uint8_t> data, const std::string& host, uint16_t port, double writeTimeout,
                  double readTimeout, long tag);
    // The read time-out handler.
    void readTimeout(RunLoopTimer& timer);

    void pauseReceiving();
    void beginReceiving();
    void close();
    int getUDPSocketFD() const;

    std::shared_ptr<UDPManagerDelegate> delegate() const;
    void setDelegate(std::weak_ptr<UDPManagerDelegate> delegate);
    GCDAsyncUdpSocketPtr udpasynSocket() const;
    void setUdpasynSocket(GCDAsyncUdpSocketPtr socket);

    // The socket's callbacks (main queue).
    void udpSocketDidReceiveData(const std::vector<uint8_t>& data, const std::vector<uint8_t>& address);
    void udpSocketDidNotSendDataWithTag(long tag, const Error& error);

private:
    struct Private {};

public:
    explicit UDPManager(Private) {}

private:
    class Forwarder;
    void reportTimeoutOnce();

    mutable std::mutex mutex_;  // the socket and delegate references
    GCDAsyncUdpSocketPtr udpasynSocket_;
    std::weak_ptr<UDPManagerDelegate> delegate_;
    std::atomic<uint16_t> receivePort_{0};
    std::atomic<bool> replied_{false};
    // Raised by every send: a read timer armed for an earlier send stays quiet.
    std::atomic<uint64_t> sendGeneration_{0};
};

}  // namespace lumora
