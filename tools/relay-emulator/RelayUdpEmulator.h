#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "tools/relay-emulator/RelayWire.h"

namespace lumora::relayemu {

// The UDP side of one relay/look-up server, on an explicit loopback address.
// It answers hole-punching address requests (0x2010) with 0x2011, reporting
// the requester's observed source address and port as the client's own and
// a registered device's outer and inner addresses, and forwards hole requests
// (0x3001) to the device's stand-in. It runs on its own thread and stops when
// destroyed, on stop(), or by itself once its lifetime has passed.
class RelayUdpEmulator {
public:
    struct Script {
        int silentFor = 0;                 // ignore the first k address requests
        bool answerFromOtherPort = false;  // answer from a second socket
        int answerBytes = -1;              // >= 0: cut each 0x2011 answer to this size
    };
    struct Device {
        std::string extAddr;
        uint16_t extPort = 0;
        std::string innerAddr;
        uint16_t innerPort = 0;
        // Where hole requests for the device go (its stand-in); port 0: nowhere.
        std::string standInAddr;
        uint16_t standInPort = 0;
    };

    // Binds bindAddr:port (0: any free port). Check ok() after.
    RelayUdpEmulator(const std::string& bindAddr, uint16_t port, Script script,
                     std::chrono::milliseconds lifetime = std::chrono::seconds(60));
    ~RelayUdpEmulator();
    RelayUdpEmulator(const RelayUdpEmulator&) = delete;
    RelayUdpEmulator& operator=(const RelayUdpEmulator&) = delete;

    bool ok() const { return fd_ >= 0; }
    uint16_t port() const { return port_; }
    uint16_t otherPort() const { return otherPort_; }
    void registerDevice(const std::string& uid, const Device& device);
    void stop();

    int addressRequests() const { return addressRequests_.load(); }
    int holeRequests() const { return holeRequests_.load(); }
    int holeRequestsOnOtherPort() const { return holeRequestsOnOther_.load(); }
    int datagrams() const { return datagrams_.load(); }
    HoleRequest lastHoleRequest() const;

private:
    void run(std::chrono::steady_clock::time_point until);
    void handle(int fd, const std::vector<uint8_t>& d, const std::string& fromAddr, uint16_t fromPort);

    Script script_;
    int fd_ = -1;
    int otherFd_ = -1;
    uint16_t port_ = 0;
    uint16_t otherPort_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> addressRequests_{0};
    std::atomic<int> holeRequests_{0};
    std::atomic<int> holeRequestsOnOther_{0};
    std::atomic<int> datagrams_{0};
    mutable std::mutex lock_;
    std::map<std::string, Device> devices_;
    HoleRequest lastHole_;
    std::thread thread_;
};

// Small UDP helpers shared by the emulator's parts.
int bindUdp(const std::string& addr, uint16_t port, uint16_t& boundPort);
bool sendUdp(int fd, const std::string& addr, uint16_t port, const std::vector<uint8_t>& data);
// Waits up to ms for a datagram on any of the descriptors; -1 when none came.
int receiveAny(const int* fds, int count, int ms, std::vector<uint8_t>& data, std::string& fromAddr,
               uint16_t& fromPort);

}  // namespace lumora::relayemu
