#include "app/core/Base64.h"

#include <array>

namespace lumora {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Character code -> 6-bit value for the 128 ASCII codes; 0 outside the
// alphabet. Codes >= 128 never index it (see value()).
constexpr std::array<uint8_t, 128> makeTable() {
    std::array<uint8_t, 128> t{};
    for (int i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
    return t;
}
constexpr std::array<uint8_t, 128> kTable = makeTable();

inline uint32_t value(char c) {
    auto u = static_cast<unsigned char>(c);
    return u < kTable.size() ? kTable[u] : 0;
}

}  // namespace

std::string Base64::encode(const uint8_t* bytes, int32_t length) {
    if (!bytes || length <= 0) return {};
    const size_t n = static_cast<size_t>(length);
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8) | bytes[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (n - i == 1) {
        uint32_t v = uint32_t(bytes[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (n - i == 2) {
        uint32_t v = (uint32_t(bytes[i]) << 16) | (uint32_t(bytes[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string Base64::encode(const std::vector<uint8_t>& bytes) {
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) return {};
    return encode(bytes.data(), static_cast<int32_t>(bytes.size()));
}

std::optional<std::vector<uint8_t>> Base64::decode(const char* text, int32_t length) {
    if (!text || length < 0 || length % 4 != 0) return std::nullopt;
    const size_t n = static_cast<size_t>(length);
    size_t pads = 0;
    while (pads < n && text[n - 1 - pads] == '=') ++pads;
    const size_t outLen = (3 * n - 3 * pads) / 4;
    std::vector<uint8_t> out;
    out.reserve(n / 4 * 3);
    for (size_t i = 0; i < n; i += 4) {
        // Dropped padding counts as zero bits, like any character outside
        // the alphabet.
        uint32_t v = (value(text[i]) << 18) | (value(text[i + 1]) << 12) | (value(text[i + 2]) << 6) |
                     value(text[i + 3]);
        out.push_back(static_cast<uint8_t>(v >> 16));
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    }
    out.resize(outLen);
    return out;
}

std::optional<std::vector<uint8_t>> Base64::decode(const std::string& text) {
    if (text.size() > static_cast<size_t>(INT32_MAX)) return std::nullopt;
    return decode(text.data(), static_cast<int32_t>(text.size()));
}

int base64DecodeChar(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;
}

size_t base64DecodeBufferSize(int32_t length) {
    if (length <= 0) return 1;
    size_t n = static_cast<size_t>(length);
    size_t groups = n / 4 + (n % 4 == 3 ? 1 : 0);
    return groups == 0 ? 1 : groups * 3;
}

int32_t base64DecodeBuffer(uint8_t* out, size_t outSize, const char* text, int32_t length, int flag) {
    auto fail = [&]() {
        if (out && outSize > 0) out[0] = 0;
        return int32_t(-1);
    };
    if (!out || !text || length < 0) return fail();
    if (length % 4 != 0 && flag == 0) return fail();
    if (outSize < base64DecodeBufferSize(length)) return fail();
    const size_t n = static_cast<size_t>(length);
    size_t i = 0;
    size_t o = 0;
    while (n - i >= 3) {
        uint32_t v = (uint32_t(base64DecodeChar(text[i])) << 18) | (uint32_t(base64DecodeChar(text[i + 1])) << 12) |
                     (uint32_t(base64DecodeChar(text[i + 2])) << 6);
        if (n - i >= 4) v |= uint32_t(base64DecodeChar(text[i + 3]));
        out[o++] = static_cast<uint8_t>(v >> 16);
        out[o++] = static_cast<uint8_t>(v >> 8);
        out[o++] = static_cast<uint8_t>(v);
        i += n - i >= 4 ? 4 : 3;
    }
    return static_cast<int32_t>(o);
}

}  // namespace lumora
