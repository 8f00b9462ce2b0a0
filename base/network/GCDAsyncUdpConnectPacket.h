#pragma once

#include <cstdint>
#include <vector>

#include "platform/Error.h"

namespace lumora {

// A connect request waiting in the send queue of a GCDAsyncUdpSocket:
// datagrams queued before it go first, those queued after it wait for it.
struct GCDAsyncUdpConnectPacket {
    using ByteBuffer = std::vector<uint8_t>;

    bool resolveInProgress = false;
    std::vector<ByteBuffer> addresses;  // candidate peer addresses
    Error error;                        // resolution error
};

}  // namespace lumora
