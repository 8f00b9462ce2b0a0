#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumora {

// Reads fixed-width values from a byte span, little- or big-endian. Every
// read answers false and leaves the position unchanged when the data runs
// out, so a parser can never read past the end of what the network gave it.
// The reader does not own the bytes.
class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit ByteReader(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

    size_t size() const { return size_; }
    size_t position() const { return pos_; }
    size_t remaining() const { return size_ - pos_; }
    bool empty() const { return pos_ >= size_; }
    const uint8_t* current() const { return data_ + pos_; }

    bool seek(size_t pos);
    bool skip(size_t n);

    bool u8(uint8_t& v);
    bool u16le(uint16_t& v);
    bool u16be(uint16_t& v);
    bool u32le(uint32_t& v);
    bool u32be(uint32_t& v);
    bool u64le(uint64_t& v);
    bool u64be(uint64_t& v);
    bool bytes(void* out, size_t n);
    // A view of the next n bytes, consumed.
    bool span(size_t n, std::span<const uint8_t>& out);
    // A reader over the next n bytes, consumed from this one.
    bool sub(size_t n, ByteReader& out);
    // A text field of fixed width: the bytes up to the first zero byte, never
    // beyond the width; the whole width is consumed.
    bool fixedText(size_t width, std::string& out);

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;
};

}  // namespace lumora
