#pragma once

#include <cstdint>
#include <vector>

#include "platform/Error.h"

namespace lumora {

// One datagram in the send queue of a GCDAsyncUdpSocket. Touched on the
// socket queue only (after it was built by the caller).
struct GCDAsyncUdpSendPacket {
    using ByteBuffer = std::vector<uint8_t>;

    ByteBuffer buffer;
    double timeout = -1;  // seconds; negative: none
    long tag = 0;
    bool resolveInProgress = false;
    bool filterInProgress = false;
    bool hostGiven = false;  // queued with a host name (resolving, resolved or failed)
    std::vector<ByteBuffer> resolvedAddresses;
    Error resolveError;
    ByteBuffer address;     // the chosen destination
    int addressFamily = 0;  // AF_INET, AF_INET6, or 0 (none)

    GCDAsyncUdpSendPacket(ByteBuffer data, double timeout, long tag)
        : buffer(std::move(data)), timeout(timeout), tag(tag) {}
};

}  // namespace lumora
