#pragma once

// One fuzz iteration for the replies a UDP hole-punching exchange reads:
// the server's address answer and the device's punch, each one datagram.
// Shared by the libFuzzer target (hole_reply_fuzz.cpp) and the seed test of
// the normal build. The datagram is copied into a buffer of exactly its own
// size, as the exchange receives it, so any read beyond it shows under
// AddressSanitizer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/link/ServerUdp.h"

namespace lumora::fuzz {

inline int fuzzHoleReply(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[size ? size : 1]);
    for (size_t i = 0; i < size; ++i) exact[i] = data[i];
    std::span<const uint8_t> datagram(exact.get(), size);
    uint64_t sum = 0;
    if (auto answer = ServerUdp::readAddressAnswer(datagram)) {
        // Addresses are fixed-width text fields: never longer than the field.
        for (const std::string* s : {&answer->extAddr, &answer->innerAddr, &answer->selfAddr}) {
            if (s->size() > 32) __builtin_trap();
            for (char c : *s) sum += static_cast<uint8_t>(c);
        }
        // The exchange's next step depends on these.
        sum += answer->selfAddr == answer->extAddr ? answer->innerPort : answer->extPort;
    }
    sum += ServerUdp::isPunchReply(datagram);
    return sum == 0xFFFFFFFFFFFFFFFFull ? 1 : 0;
}

}  // namespace lumora::fuzz
