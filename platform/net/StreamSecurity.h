#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Error.h"

namespace lumora {

// A security layer (TLS) that a SocketStream pair runs its bytes through.
// The stream pair owns it once set and calls it under its own lock, one call
// at a time, always on a non-blocking connected descriptor. Implementations
// live above the platform layer (the network library brings the TLS one).
class StreamSecurity {
public:
    enum class Result {
        Done,       // the step finished (count set for reads and writes)
        WantRead,   // call again once the descriptor is readable
        WantWrite,  // call again once the descriptor is writable
        Closed,     // the peer ended the secure session (reads)
        Failed,     // error() says why; the session is unusable
    };

    virtual ~StreamSecurity() = default;

    // Binds the layer to the descriptor; false when it cannot be used.
    virtual bool attach(int fd) = 0;
    virtual Result handshake() = 0;
    virtual Result read(uint8_t* buffer, size_t length, size_t* count) = 0;
    virtual Result write(const uint8_t* buffer, size_t length, size_t* count) = 0;
    // Bytes the layer can hand out without touching the descriptor.
    virtual size_t pending() const = 0;
    // Why the last step failed.
    virtual Error error() const = 0;
    // Tells the peer the session ends (best effort, never blocks).
    virtual void shutdown() = 0;
};

}  // namespace lumora
