#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumora {

// One queued write of a GCDAsyncSocket. The bytes are shared, not copied:
// the socket sends them straight from the caller's buffer, which is const
// and so cannot change under the write.
struct GCDAsyncWritePacket {
    std::shared_ptr<const std::vector<uint8_t>> buffer;  // the bytes to send
    size_t bytesDone = 0;  // bytes sent so far
    long tag = 0;
    double timeout = -1;  // seconds; negative = none; grows with extensions

    GCDAsyncWritePacket(std::shared_ptr<const std::vector<uint8_t>> data, double timeout, long tag)
        : buffer(std::move(data)), tag(tag), timeout(timeout) {}
};

}  // namespace lumora
