#include "tools/relay-emulator/DeviceStandIn.h"

#include <unistd.h>

#include "tools/relay-emulator/RelayUdpEmulator.h"
#include "tools/relay-emulator/RelayWire.h"

namespace lumora::relayemu {

DeviceStandIn::DeviceStandIn(const std::string& uid, const std::string& bindAddr, uint16_t port, Script script,
                             std::chrono::milliseconds lifetime)
    : uid_(uid), addr_(bindAddr), script_(script) {
    fd_ = bindUdp(bindAddr, port, port_);
    if (fd_ < 0) return;
    if (script_.punchFromOtherPort) otherFd_ = bindUdp(bindAddr, 0, otherPort_);
    thread_ = std::thread([this, until = std::chrono::steady_clock::now() + lifetime] { run(until); });
}

DeviceStandIn::~DeviceStandIn() {
    stop();
    if (fd_ >= 0) ::close(fd_);
    if (otherFd_ >= 0) ::close(otherFd_);
}

void DeviceStandIn::stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void DeviceStandIn::run(std::chrono::steady_clock::time_point until) {
    while (!stop_ && std::chrono::steady_clock::now() < until) {
        std::vector<uint8_t> d;
        std::string from;
        uint16_t fromPort = 0;
        if (receiveAny(&fd_, 1, 20, d, from, fromPort) < 0) continue;
        uint16_t type = 0;
        if (!messageType(d, type)) continue;
        if (type == kPunch) {
            ++punches_;
            continue;
        }
        HoleRequest r;
        if (type != kHoleRequest || !decodeHoleRequest(d, r)) continue;
        int n = ++holeRequests_;
        if (n <= script_.ignoreHoleRequests || script_.silent) continue;
        int out = otherFd_ >= 0 ? otherFd_ : fd_;
        if (script_.foreignFirst) {
            std::vector<uint8_t> foreign(36, 0);
            put16(&foreign[0], 0x7A7A);
            put16(&foreign[2], 32);
            sendUdp(out, r.srcAddr, r.srcPort, foreign);
        }
        std::vector<uint8_t> punch = encodePunch(uid_);
        if (script_.punchBytes >= 0 && static_cast<size_t>(script_.punchBytes) < punch.size())
            punch.resize(static_cast<size_t>(script_.punchBytes));
        sendUdp(out, r.srcAddr, r.srcPort, punch);
    }
}

}  // namespace lumora::relayemu
