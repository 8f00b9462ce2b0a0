#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumora {

// One receive request of an AsyncUdpSocket, with the datagram offered to the
// delegate while one is attached.
struct AsyncReceivePacket {
    using ByteBuffer = std::vector<uint8_t>;

    double timeout = -1;  // seconds; negative: none
    long tag = 0;
    ByteBuffer buffer;    // the datagram once one is attached
    bool hasBuffer = false;
    std::string host;     // sender address, numeric text
    uint16_t port = 0;    // sender port

    AsyncReceivePacket(double timeout, long tag) : timeout(timeout), tag(tag) {}
};

}  // namespace lumora
