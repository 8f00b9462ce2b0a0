#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/relay-emulator/RelayWire.h"

namespace lumora::relayemu {

// The TCP side of one relay/look-up server on an explicit loopback address:
// takes open requests (0xA017), requests after a failed direct TCP link
// (0xA019) and after a failed UDT link (0xA013), status queries (0xA005) and
// close requests (0xA003) on any number of connections, and answers them from
// a registry of devices. A device the registry does not hold gets an answer
// with query result 1 ("not here"). Runs on its own thread; stops when
// destroyed, on stop(), or by itself once its lifetime has passed.
class RelayTcpEmulator {
public:
    // One 0xA002 answer. result 0: the device is known here.
    struct Answer {
        uint32_t result = 0;
        uint32_t mode = 0;
        std::string addr;
        uint16_t port = 0;
        uint32_t connectionId = 1;
    };
    struct Device {
        Answer open;            // for 0xA017
        Answer afterFailedTcp;  // for 0xA019
        Answer afterFailedUdt;  // for 0xA013
        uint8_t status = 1;     // for 0xA005
    };
    struct Script {
        int silentFor = 0;         // read the first k requests but answer none
        bool closeOnAccept = false;  // close every accepted connection at once
        int answerBytes = -1;      // >= 0: cut every answer to this size
    };
    struct Request {
        uint16_t type = 0;
        std::string uid;
    };

    // Listens on bindAddr:port (0: any free port). Check ok() after.
    RelayTcpEmulator(const std::string& bindAddr, uint16_t port, Script script,
                     std::chrono::milliseconds lifetime = std::chrono::seconds(90));
    RelayTcpEmulator(const std::string& bindAddr, uint16_t port) : RelayTcpEmulator(bindAddr, port, Script()) {}
    ~RelayTcpEmulator();
    RelayTcpEmulator(const RelayTcpEmulator&) = delete;
    RelayTcpEmulator& operator=(const RelayTcpEmulator&) = delete;

    bool ok() const { return listenFd_ >= 0; }
    const std::string& address() const { return addr_; }
    uint16_t port() const { return port_; }
    void registerDevice(const std::string& uid, const Device& device);
    void setScript(const Script& script);
    // Closes every accepted connection (the server dropping its clients).
    void dropConnections();
    void stop();

    int accepted() const { return accepted_.load(); }
    // Connections open now.
    int openConnections() const { return open_.load(); }
    int requests(uint16_t type) const;
    std::vector<Request> requestLog() const;

private:
    struct Client {
        int fd = -1;
        std::vector<uint8_t> buffer;
    };
    void run(std::chrono::steady_clock::time_point until);
    // False when the connection should close.
    bool handle(Client& c);
    std::vector<uint8_t> answerFor(uint16_t type, const std::string& uid);

    std::string addr_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropAll_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> open_{0};
    mutable std::mutex lock_;
    Script script_;
    int answeredOrSilenced_ = 0;
    std::map<std::string, Device> devices_;
    std::vector<Request> log_;
    std::thread thread_;
};

}  // namespace lumora::relayemu
