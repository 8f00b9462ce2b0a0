#include "tools/relay-emulator/LanSearchResponder.h"

#include <unistd.h>

#include "tools/relay-emulator/RelayUdpEmulator.h"

namespace lumora::relayemu {

LanSearchResponder::LanSearchResponder(const std::string& bindAddr, uint16_t port, Script script,
                                       std::chrono::milliseconds lifetime)
    : script_(script) {
    fd_ = bindUdp(bindAddr, port, port_);
    if (fd_ < 0) return;
    thread_ = std::thread([this, until = std::chrono::steady_clock::now() + lifetime] { run(until); });
}

LanSearchResponder::~LanSearchResponder() {
    stop();
    if (fd_ >= 0) ::close(fd_);
}

void LanSearchResponder::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void LanSearchResponder::addDevice(const SearchAnswer& answer) {
    std::lock_guard<std::mutex> g(lock_);
    devices_.push_back(answer);
}

void LanSearchResponder::run(std::chrono::steady_clock::time_point until) {
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::vector<uint8_t> d;
        std::string from;
        uint16_t fromPort = 0;
        if (receiveAny(&fd_, 1, 20, d, from, fromPort) < 0) continue;
        uint16_t type = 0;
        if (!messageType(d, type) || type != kSearchQuery || d.size() < 36) continue;
        ++queries_;
        if (script_.silent) continue;
        std::vector<SearchAnswer> devices;
        {
            std::lock_guard<std::mutex> g(lock_);
            devices = devices_;
        }
        for (const SearchAnswer& a : devices) {
            std::vector<uint8_t> m = encodeSearchAnswer(a);
            if (script_.answerBytes >= 0 && static_cast<size_t>(script_.answerBytes) < m.size())
                m.resize(static_cast<size_t>(script_.answerBytes));
            sendUdp(fd_, from, fromPort, m);
        }
    }
}

}  // namespace lumora::relayemu
