#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumora {

// One queued read of a GCDAsyncSocket. Plain record: the socket reads and
// writes its fields directly, on its socket queue only.
//
// The kind follows from the fields: readLength above 0 is an exact read, a
// non-empty term a terminator read, anything else an "available bytes" read.
struct GCDAsyncReadPacket {
    std::shared_ptr<std::vector<uint8_t>> buffer;  // where the read's bytes go
    size_t startOffset = 0;     // first byte of the read inside buffer
    size_t bytesDone = 0;       // bytes of this read stored so far
    size_t maxLength = 0;       // available and terminator reads; 0 = none
    double timeout = -1;        // seconds; negative = none; grows with extensions
    size_t readLength = 0;      // exact reads; 0 for the other kinds
    std::vector<uint8_t> term;  // terminator; empty for the other kinds
    bool bufferOwner = false;   // the packet made buffer itself
    size_t originalBufferLength = 0;  // length of a caller's buffer when queued
    long tag = 0;

    // With a caller's buffer (not null) the bytes go to buffer at
    // startOffset; without one the packet makes its own (readLength zero
    // bytes for an exact read, empty otherwise).
    GCDAsyncReadPacket(std::shared_ptr<std::vector<uint8_t>> buffer, size_t startOffset, size_t maxLength,
                       double timeout, size_t readLength, std::vector<uint8_t> term, long tag);

    bool isExact() const { return readLength > 0; }
    bool isTerm() const { return !term.empty(); }

    // Grows buffer so that n more bytes fit after startOffset + bytesDone.
    void ensureCapacityForAdditionalDataOfLength(size_t n);
    // Where the next byte of this read goes.
    uint8_t* writePointer() { return buffer->data() + startOffset + bytesDone; }

    // Bytes to read for an exact or available read when about hint bytes wait.
    size_t readLengthForNonTermWithHint(size_t hint) const;
    // Bytes to read for a terminator read when about hint bytes wait;
    // *shouldPreBuffer tells whether they must go through the partial read
    // buffer (the packet's buffer has less room than that).
    size_t readLengthForTermWithHint(size_t hint, bool* shouldPreBuffer) const;
    // Bytes to read from a secure stream, which cannot say how many wait:
    // defaultLength, capped by what the read still wants. Exact reads go
    // straight into buffer; other kinds through the partial read buffer
    // (*shouldPreBuffer) when buffer has less room than that.
    size_t optimalReadLengthWithDefault(size_t defaultLength, bool* shouldPreBuffer) const;
    // How many of the pre-buffered bytes belong to this terminator read: up
    // to and including the terminator when it is found (*found true), else
    // all of them (capped by maxLength).
    size_t readLengthForTermWithPreBuffer(const std::vector<uint8_t>& preBuffer, bool* found) const;
    // After n bytes were read straight into buffer: the number of those bytes
    // that follow the terminator's end (0 when it ends on the last one), or
    // -1 when the terminator is not there.
    long searchForTermAfterPreBuffering(size_t n) const;
};

}  // namespace lumora
