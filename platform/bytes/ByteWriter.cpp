#include "platform/bytes/ByteWriter.h"

#include <cstring>

namespace lumora {

ByteWriter& ByteWriter::u8(uint8_t v) {
    buf_.push_back(v);
    return *this;
}

ByteWriter& ByteWriter::u16le(uint16_t v) {
    buf_.push_back(uint8_t(v));
    buf_.push_back(uint8_t(v >> 8));
    return *this;
}

ByteWriter& ByteWriter::u16be(uint16_t v) {
    buf_.push_back(uint8_t(v >> 8));
    buf_.push_back(uint8_t(v));
    return *this;
}

ByteWriter& ByteWriter::u32le(uint32_t v) {
    for (int i = 0; i < 4; ++i) buf_.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

ByteWriter& ByteWriter::u32be(uint32_t v) {
    for (int i = 3; i >= 0; --i) buf_.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

ByteWriter& ByteWriter::u64le(uint64_t v) {
    for (int i = 0; i < 8; ++i) buf_.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

ByteWriter& ByteWriter::u64be(uint64_t v) {
    for (int i = 7; i >= 0; --i) buf_.push_back(uint8_t(v >> (8 * i)));
    return *this;
}

ByteWriter& ByteWriter::bytes(const void* p, size_t n) {
    if (n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    return *this;
}

ByteWriter& ByteWriter::zeros(size_t n) {
    buf_.insert(buf_.end(), n, 0);
    return *this;
}

ByteWriter& ByteWriter::fixedText(std::string_view text, size_t width) {
    if (width == 0) return *this;
    size_t n = text.size() < width - 1 ? text.size() : width - 1;
    bytes(text.data(), n);
    zeros(width - n);
    return *this;
}

void ByteWriter::ensure(size_t end) {
    if (buf_.size() < end) buf_.resize(end, 0);
}

void ByteWriter::putU8At(size_t offset, uint8_t v) {
    ensure(offset + 1);
    buf_[offset] = v;
}

void ByteWriter::putU16leAt(size_t offset, uint16_t v) {
    ensure(offset + 2);
    buf_[offset] = uint8_t(v);
    buf_[offset + 1] = uint8_t(v >> 8);
}

void ByteWriter::putU16beAt(size_t offset, uint16_t v) {
    ensure(offset + 2);
    buf_[offset] = uint8_t(v >> 8);
    buf_[offset + 1] = uint8_t(v);
}

void ByteWriter::putU32leAt(size_t offset, uint32_t v) {
    ensure(offset + 4);
    for (int i = 0; i < 4; ++i) buf_[offset + i] = uint8_t(v >> (8 * i));
}

void ByteWriter::putU32beAt(size_t offset, uint32_t v) {
    ensure(offset + 4);
    for (int i = 0; i < 4; ++i) buf_[offset + i] = uint8_t(v >> (8 * (3 - i)));
}

void ByteWriter::putBytesAt(size_t offset, const void* p, size_t n) {
    ensure(offset + n);
    if (n) std::memcpy(buf_.data() + offset, p, n);
}

}  // namespace lumora
