#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumora {

// Standard Base64 (RFC 4648 alphabet, "=" padding) over byte buffers.
//
// Decoding is lenient by design: a character outside the alphabet (including
// any byte >= 0x80) counts as 0 instead of failing the decode.
class Base64 {
public:
    // Base64 of `length` bytes; 4 * ceil(length / 3) characters. A negative
    // length or a null pointer gives "".
    static std::string encode(const uint8_t* bytes, int32_t length);
    static std::string encode(const std::vector<uint8_t>& bytes);

    // Decodes `length` characters. nullopt for a missing text, a negative
    // length or a length that is not a multiple of 4. Trailing "=" are
    // dropped: the result holds (3 * length - 3 * trailing "=") / 4 bytes.
    static std::optional<std::vector<uint8_t>> decode(const char* text, int32_t length);
    static std::optional<std::vector<uint8_t>> decode(const std::string& text);
};

// "A"-"Z" -> 0-25, "a"-"z" -> 26-51, "0"-"9" -> 52-61, "+" -> 62, "/" -> 63,
// anything else (including "=" and bytes >= 0x80) -> 0.
int base64DecodeChar(char c);

// Bytes a base64DecodeBuffer call over `length` characters may write: 3 per
// group of 4 characters, 3 more for a last group of 3, and at least 1 (the
// zero byte written on failure).
size_t base64DecodeBufferSize(int32_t length);

// Lenient decoder into a caller's buffer of `outSize` bytes (pass a zeroed
// buffer: the output is not terminated).
//  - length not a multiple of 4 and flag 0: writes one zero byte, returns -1;
//  - otherwise decodes groups of 4 characters into 3 bytes while at least 3
//    characters remain (a last group of 3 takes 0 for its fourth character)
//    and returns 3 * groups (0 for fewer than 3 characters); padding decodes
//    as zero bits.
// Never writes beyond `outSize`: a buffer smaller than
// base64DecodeBufferSize(length), a null pointer or a negative length
// answer -1 (with one zero byte written when there is room for it).
int32_t base64DecodeBuffer(uint8_t* out, size_t outSize, const char* text, int32_t length, int flag);

}  // namespace lumora
