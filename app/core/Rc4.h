#pragma once

#include <cstdint>

namespace lumora {

// RC4 state: two 8-bit indices (kept in 32-bit integers) and a 256-entry
// permutation. Each text operation uses a fresh state of its own.
struct rc4_state {
    uint32_t x = 0;
    uint32_t y = 0;
    uint8_t m[256] = {};
};

// Key schedule: identity permutation, indices 0, then for i = 0..255:
// j = (j + S[i] + key[i mod length]) mod 256, swap S[i] and S[j].
// An empty key (length <= 0 or null) leaves the identity permutation.
void rc4_setup(rc4_state* state, const uint8_t* key, int32_t length);

// Keystream XOR in place over `length` bytes; the indices stay in the state,
// so consecutive calls continue one stream.
void rc4_crypt(rc4_state* state, uint8_t* data, int32_t length);

}  // namespace lumora
