#include "platform/bytes/ByteReader.h"

#include <cstring>

namespace lumora {

bool ByteReader::seek(size_t pos) {
    if (pos > size_) return false;
    pos_ = pos;
    return true;
}

bool ByteReader::skip(size_t n) {
    if (n > remaining()) return false;
    pos_ += n;
    return true;
}

bool ByteReader::u8(uint8_t& v) {
    if (remaining() < 1) return false;
    v = data_[pos_++];
    return true;
}

bool ByteReader::u16le(uint16_t& v) {
    if (remaining() < 2) return false;
    const uint8_t* p = data_ + pos_;
    v = static_cast<uint16_t>(p[0] | (p[1] << 8));
    pos_ += 2;
    return true;
}

bool ByteReader::u16be(uint16_t& v) {
    if (remaining() < 2) return false;
    const uint8_t* p = data_ + pos_;
    v = static_cast<uint16_t>((p[0] << 8) | p[1]);
    pos_ += 2;
    return true;
}

bool ByteReader::u32le(uint32_t& v) {
    if (remaining() < 4) return false;
    const uint8_t* p = data_ + pos_;
    v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    pos_ += 4;
    return true;
}

bool ByteReader::u32be(uint32_t& v) {
    if (remaining() < 4) return false;
    const uint8_t* p = data_ + pos_;
    v = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    pos_ += 4;
    return true;
}

bool ByteReader::u64le(uint64_t& v) {
    if (remaining() < 8) return false;
    uint32_t lo = 0, hi = 0;
    u32le(lo);
    u32le(hi);
    v = (uint64_t(hi) << 32) | lo;
    return true;
}

bool ByteReader::u64be(uint64_t& v) {
    if (remaining() < 8) return false;
    uint32_t lo = 0, hi = 0;
    u32be(hi);
    u32be(lo);
    v = (uint64_t(hi) << 32) | lo;
    return true;
}

bool ByteReader::bytes(void* out, size_t n) {
    if (n > remaining()) return false;
    if (n) std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return true;
}

bool ByteReader::span(size_t n, std::span<const uint8_t>& out) {
    if (n > remaining()) return false;
    out = std::span<const uint8_t>(data_ + pos_, n);
    pos_ += n;
    return true;
}

bool ByteReader::sub(size_t n, ByteReader& out) {
    if (n > remaining()) return false;
    out = ByteReader(data_ + pos_, n);
    pos_ += n;
    return true;
}

bool ByteReader::fixedText(size_t width, std::string& out) {
    if (width > remaining()) return false;
    const uint8_t* p = data_ + pos_;
    size_t len = 0;
    while (len < width && p[len] != 0) ++len;
    out.assign(reinterpret_cast<const char*>(p), len);
    pos_ += width;
    return true;
}

}  // namespace lumora
