#include "app/core/Rc4.h"

#include <utility>

namespace lumora {

void rc4_setup(rc4_state* s, const uint8_t* key, int32_t length) {
    s->x = 0;
    s->y = 0;
    for (int i = 0; i < 256; ++i) s->m[i] = static_cast<uint8_t>(i);
    if (!key || length <= 0) return;
    uint32_t j = 0;
    for (int i = 0; i < 256; ++i) {
        j = (j + s->m[i] + key[i % length]) & 0xFF;
        std::swap(s->m[i], s->m[j]);
    }
}

void rc4_crypt(rc4_state* s, uint8_t* data, int32_t length) {
    uint32_t x = s->x;
    uint32_t y = s->y;
    for (int32_t k = 0; k < length; ++k) {
        x = (x + 1) & 0xFF;
        y = (y + s->m[x]) & 0xFF;
        std::swap(s->m[x], s->m[y]);
        data[k] ^= s->m[(s->m[x] + s->m[y]) & 0xFF];
    }
    s->x = x;
    s->y = y;
}

}  // namespace lumora
