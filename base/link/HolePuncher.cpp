#include "base/link/HolePuncher.h"

#include <utility>

#include "base/network/SocketFunctions.h"

namespace lumora {

HolePuncher::HolePuncher(Handlers handlers) : handlers_(std::move(handlers)) {}

HolePuncher::~HolePuncher() { serverUDP_.setDelegate(nullptr); }

void HolePuncher::punch(const std::string& uid, const std::string& serverHost, uint16_t serverPort) {
    serverUDP_.setDelegate(this);
    serverUDP_.startHole(uid, serverHost, serverPort);
}

void HolePuncher::didHole(bool success, int udpSocketFd, const std::optional<std::string>& holeIP, int holePort,
                          bool isInner) {
    if (handlers_.stopped()) {
        socketClose(udpSocketFd);
        return;
    }
    if (success && holeIP) {
        handlers_.punched(Hole{udpSocketFd, *holeIP, static_cast<uint16_t>(holePort), isInner});
        return;
    }
    socketClose(udpSocketFd);
    handlers_.failed();
}

}  // namespace lumora
