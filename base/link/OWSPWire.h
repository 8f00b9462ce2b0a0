#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes/ByteReader.h"
#include "platform/bytes/ByteWriter.h"

namespace lumora::owsp {

// Every device-message record describes its wire layout once, as a static
// member template `wire(io, record)` that visits its fields in order with
// their widths and the padding bytes between them. The three visitors below
// turn that one description into a byte count (at compile time), a writer
// and a reader, so layout, encoder and decoder cannot drift apart. All
// multi-byte fields are little-endian; text fields are fixed-width byte
// arrays of UTF-8, zero-padded, cut at the byte width (a text that fills its
// field has no terminator).
//
// A record's C++ struct is never copied onto or off the wire: its padding
// and alignment are the compiler's, not the protocol's.

// A text field of N bytes as it travels: UTF-8, zero-padded, with no
// terminator when the text fills the field. Assigning a longer text cuts it
// at N bytes (even inside a multi-byte character); str() never looks beyond
// the field, so a device that fills a field without a terminator cannot make
// a reader run past it.
template <size_t N>
struct FixedText {
    std::array<char, N> bytes{};

    constexpr FixedText() = default;
    FixedText(std::string_view s) { assign(s); }  // NOLINT: implicit on purpose
    FixedText(const char* s) { assign(s); }       // NOLINT
    FixedText(const std::string& s) { assign(s); }  // NOLINT

    void assign(std::string_view s) {
        bytes.fill(0);
        size_t n = s.size() < N ? s.size() : N;
        std::copy_n(s.data(), n, bytes.data());
    }
    // The text up to its first zero byte, at most N bytes.
    std::string str() const {
        size_t n = 0;
        while (n < N && bytes[n] != 0) ++n;
        return std::string(bytes.data(), n);
    }
    bool operator==(std::string_view s) const { return str() == s; }
    static constexpr size_t width = N;
};

// Counts the bytes a record occupies on the wire.
struct WireCounter {
    size_t size = 0;
    template <class T> constexpr void u8(const T&) { size += 1; }
    template <class T> constexpr void u16(const T&) { size += 2; }
    template <class T> constexpr void u32(const T&) { size += 4; }
    template <size_t N> constexpr void text(const FixedText<N>&) { size += N; }
    template <size_t N> constexpr void raw(const std::array<uint8_t, N>&) { size += N; }
    constexpr void pad(size_t n) { size += n; }
    template <class R> constexpr void record(const R& r) { R::wire(*this, r); }
};

// Finds the wire offset of one field (compile time only).
struct WireOffsetFinder {
    const void* target;
    size_t size = 0;
    size_t offset = static_cast<size_t>(-1);
    constexpr void at(const void* p, size_t width) {
        if (p == target) offset = size;
        size += width;
    }
    template <class T> constexpr void u8(const T& v) { at(&v, 1); }
    template <class T> constexpr void u16(const T& v) { at(&v, 2); }
    template <class T> constexpr void u32(const T& v) { at(&v, 4); }
    template <size_t N> constexpr void text(const FixedText<N>& t) { at(&t, N); }
    template <size_t N> constexpr void raw(const std::array<uint8_t, N>& a) { at(&a, N); }
    constexpr void pad(size_t n) { size += n; }
    template <class R> constexpr void record(const R& r) {
        if (static_cast<const void*>(&r) == target) offset = size;
        R::wire(*this, r);
    }
};

// Writes a record through a ByteWriter.
struct WireWriter {
    ByteWriter& out;
    void u8(uint8_t v) { out.u8(v); }
    void u16(uint16_t v) { out.u16le(v); }
    void u32(uint32_t v) { out.u32le(v); }
    template <size_t N> void text(const FixedText<N>& t) { out.bytes(t.bytes.data(), N); }
    template <size_t N> void raw(const std::array<uint8_t, N>& a) { out.bytes(a.data(), N); }
    void pad(size_t n) { out.zeros(n); }
    template <class R> void record(const R& r) { R::wire(*this, r); }
};

// Reads a record through a ByteReader; `ok` turns false (and stays false)
// when the data runs out.
struct WireReader {
    ByteReader& in;
    bool ok = true;
    void u8(uint8_t& v) { ok = ok && in.u8(v); }
    void u16(uint16_t& v) { ok = ok && in.u16le(v); }
    void u32(uint32_t& v) { ok = ok && in.u32le(v); }
    template <size_t N> void text(FixedText<N>& t) { ok = ok && in.bytes(t.bytes.data(), N); }
    template <size_t N> void raw(std::array<uint8_t, N>& a) { ok = ok && in.bytes(a.data(), N); }
    void pad(size_t n) { ok = ok && in.skip(n); }
    template <class R> void record(R& r) { R::wire(*this, r); }
};

// Wire size of record type R, computed from its layout description.
template <class R>
consteval size_t wireSize() {
    WireCounter c;
    R r{};
    R::wire(c, r);
    return c.size;
}

// Wire offset of field `member` of record type R.
template <class R, class M>
consteval size_t wireOffset(M R::*member) {
    R r{};
    WireOffsetFinder f{static_cast<const void*>(&(r.*member))};
    R::wire(f, r);
    return f.offset;
}

// Appends the wire form of `r` (exactly R::kSize bytes).
template <class R>
void encode(ByteWriter& out, const R& r) {
    WireWriter w{out};
    R::wire(w, r);
}

template <class R>
std::vector<uint8_t> encode(const R& r) {
    ByteWriter out(R::kSize);
    encode(out, r);
    return out.take();
}

// Reads a record from a body as the device sent it: a longer body is cut to
// the record's size, a shorter one leaves the remaining fields zero (texts
// empty). Never reads outside `body`.
template <class R>
R decodeBody(std::span<const uint8_t> body) {
    std::array<uint8_t, R::kSize> padded{};
    size_t n = body.size() < R::kSize ? body.size() : R::kSize;
    std::copy_n(body.data(), n, padded.data());
    ByteReader in(padded.data(), padded.size());
    WireReader r{in};
    R out{};
    R::wire(r, out);
    return out;
}

}  // namespace lumora::owsp
