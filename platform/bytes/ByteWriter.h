#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lumora {

// Builds a byte string field by field, little- or big-endian, never by
// copying a C++ struct (whose padding is not the wire's). Writes at an
// explicit offset (put*At) patch bytes already written, e.g. a length field
// filled in last; they grow the buffer with zeros when needed.
class ByteWriter {
public:
    ByteWriter() = default;
    explicit ByteWriter(size_t reserve) { buf_.reserve(reserve); }

    size_t size() const { return buf_.size(); }
    const uint8_t* data() const { return buf_.data(); }
    const std::vector<uint8_t>& bytes() const { return buf_; }
    std::vector<uint8_t> take() { return std::move(buf_); }

    ByteWriter& u8(uint8_t v);
    ByteWriter& u16le(uint16_t v);
    ByteWriter& u16be(uint16_t v);
    ByteWriter& u32le(uint32_t v);
    ByteWriter& u32be(uint32_t v);
    ByteWriter& u64le(uint64_t v);
    ByteWriter& u64be(uint64_t v);
    ByteWriter& bytes(const void* p, size_t n);
    ByteWriter& zeros(size_t n);
    // A text in a field of fixed width: at most width - 1 bytes of the text,
    // zero-filled to the width, so a terminator always fits.
    ByteWriter& fixedText(std::string_view text, size_t width);

    void putU8At(size_t offset, uint8_t v);
    void putU16leAt(size_t offset, uint16_t v);
    void putU16beAt(size_t offset, uint16_t v);
    void putU32leAt(size_t offset, uint32_t v);
    void putU32beAt(size_t offset, uint32_t v);
    void putBytesAt(size_t offset, const void* p, size_t n);

private:
    void ensure(size_t end);
    std::vector<uint8_t> buf_;
};

}  // namespace lumora
