#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/relay-emulator/RelayWire.h"

namespace lumora::relayemu {

// Devices answering the LAN search: a UDP socket on a unicast loopback
// address standing in for the search group (loopback has no multicast). Every
// search query (0xA007) gets one 0xA008 per registered device, in the order
// they were added, sent to the query's source. Runs on its own thread; stops
// when destroyed, on stop(), or by itself once its lifetime has passed.
class LanSearchResponder {
public:
    struct Script {
        bool silent = false;   // take queries, answer nothing
        int answerBytes = -1;  // >= 0: cut each answer to this size
    };

    LanSearchResponder(const std::string& bindAddr, uint16_t port, Script script,
                       std::chrono::milliseconds lifetime = std::chrono::seconds(60));
    LanSearchResponder(const std::string& bindAddr, uint16_t port) : LanSearchResponder(bindAddr, port, Script()) {}
    ~LanSearchResponder();
    LanSearchResponder(const LanSearchResponder&) = delete;
    LanSearchResponder& operator=(const LanSearchResponder&) = delete;

    bool ok() const { return fd_ >= 0; }
    uint16_t port() const { return port_; }
    void addDevice(const SearchAnswer& answer);
    int queries() const { return queries_.load(); }
    void stop();

private:
    void run(std::chrono::steady_clock::time_point until);

    Script script_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> queries_{0};
    mutable std::mutex lock_;
    std::vector<SearchAnswer> devices_;
    std::thread thread_;
};

}  // namespace lumora::relayemu
