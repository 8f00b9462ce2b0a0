#pragma once

#include <cstdint>
#include <string>

namespace lumora {

// Channel masks of the recording search: bit i stands for channel i + 1.
class ChannelMask {
public:
    // The lowest `channels` bits: 32 channels give every bit, 0 or more than
    // 32 give 0 (never a shift by 32).
    static uint32_t all(int channels);
    // Bit i is set (i outside 0..31 counts as unset).
    static bool has(uint32_t mask, int i);
    // "[1,3]", "[NULL]" for 0, at most eight numbers then "..." when more follow.
    static std::string toString(uint32_t mask);
};

}  // namespace lumora
