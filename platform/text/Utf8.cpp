#include "platform/text/Utf8.h"

#include <cstdint>

namespace lumora {

namespace {

// Length of the well-formed sequence at s[i], or 0 when it is ill-formed.
size_t sequenceLength(std::string_view s, size_t i) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) return 1;
    size_t len;
    uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    const auto b1 = static_cast<uint8_t>(s[i + 1]);
    if (b1 < lo || b1 > hi) return 0;
    for (size_t k = 2; k < len; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return len;
}

}  // namespace

bool Utf8::isValid(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        size_t n = sequenceLength(bytes, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string Utf8::repaired(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        size_t n = sequenceLength(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

}  // namespace lumora
