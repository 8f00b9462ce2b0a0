#pragma once

#include <cstdint>
#include <vector>

namespace lumora {

// One datagram in the send queue of an AsyncUdpSocket.
struct AsyncSendPacket {
    using ByteBuffer = std::vector<uint8_t>;

    ByteBuffer buffer;   // the bytes, owned
    ByteBuffer address;  // destination sockaddr_in / sockaddr_in6 bytes; empty on a connected socket
    double timeout = -1; // seconds; negative: none
    long tag = 0;        // echoed to the delegate

    AsyncSendPacket(ByteBuffer data, ByteBuffer address, double timeout, long tag)
        : buffer(std::move(data)), address(std::move(address)), timeout(timeout), tag(tag) {}
};

}  // namespace lumora
