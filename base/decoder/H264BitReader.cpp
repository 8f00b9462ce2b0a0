#include "base/decoder/H264BitReader.h"

#include <limits>

namespace lumora {

H264BitReader::H264BitReader(const uint8_t* data, size_t size, uint64_t maxBits)
    : fData(data), fSize(data ? size : 0), fBudget(maxBits) {}

bool H264BitReader::NextByte() {
    if (fPos < fSize && fZeros >= 2 && fData[fPos] == 0x03) {
        // 00 00 03: the 03 only keeps a start code from appearing.
        ++fPos;
        fZeros = 0;
    }
    if (fPos >= fSize) return false;
    fByte = fData[fPos++];
    fZeros = fByte == 0 ? fZeros + 1 : 0;
    fBitsLeft = 8;
    return true;
}

bool H264BitReader::ReadBit(uint32_t& bit) {
    if (fBudget == 0) return false;
    if (fBitsLeft == 0 && !NextByte()) return false;
    --fBitsLeft;
    --fBudget;
    bit = (fByte >> fBitsLeft) & 1u;
    return true;
}

bool H264BitReader::ReadBits(uint32_t k, uint32_t& out) {
    if (k > 32) return false;
    uint64_t v = 0;
    for (uint32_t i = 0; i < k; ++i) {
        uint32_t bit = 0;
        if (!ReadBit(bit)) return false;
        v = (v << 1) | bit;
    }
    out = static_cast<uint32_t>(v);
    return true;
}

bool H264BitReader::ReadFlag(bool& out) {
    uint32_t v = 0;
    if (!ReadBits(1, v)) return false;
    out = v != 0;
    return true;
}

bool H264BitReader::Skip(uint32_t k) {
    uint32_t ignored = 0;
    while (k > 32) {
        if (!ReadBits(32, ignored)) return false;
        k -= 32;
    }
    return ReadBits(k, ignored);
}

bool H264BitReader::PeekBits(uint32_t k, uint32_t& out) {
    const H264BitReader saved = *this;
    const bool ok = ReadBits(k, out);
    *this = saved;
    return ok;
}

bool H264BitReader::ReadUE(uint32_t& out) {
    uint32_t zeros = 0;
    for (;;) {
        uint32_t bit = 0;
        if (!ReadBit(bit)) return false;
        if (bit) break;
        if (++zeros > 31) return false;
    }
    uint32_t rest = 0;
    if (!ReadBits(zeros, rest)) return false;
    // (1 << zeros) + rest - 1, at most 2^32 - 2.
    out = static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + rest);
    return true;
}

bool H264BitReader::ReadSE(int32_t& out) {
    uint32_t k = 0;
    if (!ReadUE(k)) return false;
    const int64_t v = (k & 1u) ? (int64_t{k} + 1) / 2 : -(int64_t{k} / 2);
    if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min()) return false;
    out = static_cast<int32_t>(v);
    return true;
}

}  // namespace lumora
