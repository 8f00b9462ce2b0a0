#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace lumora::relayemu {

// A device behind a NAT, as far as hole punching sees it: one UDP socket on
// an explicit loopback address (the device's outer address and port). It
// counts the punch datagrams (0x1008) that reach it and, when the server
// forwards a hole request (0x3001), punches back towards the source address
// and port that request names. Runs on its own thread; stops when destroyed,
// on stop(), or by itself once its lifetime has passed.
class DeviceStandIn {
public:
    struct Script {
        int ignoreHoleRequests = 0;       // do nothing for the first k hole requests
        bool silent = false;              // never punch back
        bool punchFromOtherPort = false;  // punch from a second socket
        bool foreignFirst = false;        // send a datagram that is not a punch first
        int punchBytes = -1;              // >= 0: cut the punch datagram to this size
    };

    DeviceStandIn(const std::string& uid, const std::string& bindAddr, uint16_t port, Script script,
                  std::chrono::milliseconds lifetime = std::chrono::seconds(60));
    ~DeviceStandIn();
    DeviceStandIn(const DeviceStandIn&) = delete;
    DeviceStandIn& operator=(const DeviceStandIn&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& address() const { return addr_; }
    uint16_t port() const { return port_; }
    // The port the punch comes from.
    uint16_t punchPort() const { return otherFd_ >= 0 ? otherPort_ : port_; }
    int punchesReceived() const { return punches_.load(); }
    int holeRequestsReceived() const { return holeRequests_.load(); }
    void stop();

private:
    void run(std::chrono::steady_clock::time_point until);

    std::string uid_;
    std::string addr_;
    Script script_;
    int fd_ = -1;
    int otherFd_ = -1;
    uint16_t port_ = 0;
    uint16_t otherPort_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> punches_{0};
    std::atomic<int> holeRequests_{0};
    std::thread thread_;
};

}  // namespace lumora::relayemu
