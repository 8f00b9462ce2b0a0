#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/link/HoleDelegate.h"
#include "base/link/ServerUdp.h"

namespace lumora {

// The peer-to-peer client's hole punching: runs one ServerUdp exchange
// through a relay/look-up server's UDP port and hands its outcome to the
// owner. A punched socket goes to the owner with the address it leads to;
// a failed exchange's socket is closed before the owner hears of it, and
// so is a punched one that arrives once the owner has stopped (it then
// hears nothing).
class HolePuncher : public HoleDelegate {
public:
    // A punched path: the socket (now the owner's), where the device
    // listens, and whether both ends sit behind the same NAT (the address
    // is then the device's LAN address).
    struct Hole {
        int fd = 0;
        std::string ip;
        uint16_t port = 0;
        bool inner = false;
    };

    struct Handlers {
        std::function<bool()> stopped;
        std::function<void(const Hole&)> punched;
        std::function<void()> failed;
    };

    explicit HolePuncher(Handlers handlers);
    ~HolePuncher() override;
    HolePuncher(const HolePuncher&) = delete;
    HolePuncher& operator=(const HolePuncher&) = delete;

    // Runs the exchange for the device `uid` through `serverHost`'s UDP
    // port; blocks the caller, and the owner hears the outcome before it
    // returns.
    void punch(const std::string& uid, const std::string& serverHost, uint16_t serverPort);

    // HoleDelegate
    void didHole(bool success, int udpSocketFd, const std::optional<std::string>& holeIP, int holePort,
                 bool isInner) override;

private:
    Handlers handlers_;
    ServerUdp serverUDP_;
};

}  // namespace lumora
