#pragma once

#include <optional>
#include <string>

namespace lumora {

// Receives the outcome of one hole-punching exchange (ServerUdp::startHole),
// exactly once per exchange, on the thread that ran it, before startHole
// returns.
class HoleDelegate {
public:
    virtual ~HoleDelegate() = default;

    // success: udpSocketFd is the punched socket, now owned by the receiver
    // (it binds its UDT link to it, or closes it); holeIP and holePort say
    // where the device listens; isInner says both ends sit behind the same
    // NAT and holeIP is the device's LAN address.
    // failure: udpSocketFd 0, no address, port 0, isInner false.
    virtual void didHole(bool success, int udpSocketFd, const std::optional<std::string>& holeIP, int holePort,
                         bool isInner) = 0;
};

}  // namespace lumora
