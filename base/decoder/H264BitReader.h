#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora {

// Reads the bits of one H.264 NAL unit payload, most significant first,
// within a budget that never reaches past the bytes given. Emulation
// prevention bytes (the 03 of 00 00 03) are skipped as the standard says,
// so values that straddle them read right. Every read answers false once
// the budget is spent; the reader never touches memory outside its bytes.
class H264BitReader {
public:
    // Reads at most maxBits bits of data[0..size).
    H264BitReader(const uint8_t* data, size_t size, uint64_t maxBits);

    // k from 0 to 32 bits; more is a failure.
    bool ReadBits(uint32_t k, uint32_t& out);
    bool ReadFlag(bool& out);
    bool Skip(uint32_t k);
    // Reads k bits and goes back to where it was.
    bool PeekBits(uint32_t k, uint32_t& out);
    // Unsigned exp-Golomb code (up to 31 leading zero bits).
    bool ReadUE(uint32_t& out);
    // Signed exp-Golomb code; a code whose value does not fit 32 bits fails.
    bool ReadSE(int32_t& out);

    uint64_t BitsLeft() const { return fBudget; }

private:
    bool NextByte();
    bool ReadBit(uint32_t& bit);

    const uint8_t* fData;
    size_t fSize;
    size_t fPos = 0;        // next byte to load
    uint32_t fZeros = 0;    // zero bytes just before fPos, for emulation prevention
    uint8_t fByte = 0;      // current byte
    uint32_t fBitsLeft = 0; // unread bits of fByte
    uint64_t fBudget;       // bits the caller may still read
};

}  // namespace lumora
