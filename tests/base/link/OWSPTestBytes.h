#pragma once

// Test helper: byte strings written in a small notation, so golden vectors
// read like the protocol tables they come from. Tokens are separated by
// spaces:
//   0a1b2c     hex bytes (any even number of digits)
//   00x27      one hex byte repeated 27 times (decimal count)
//   'admin'    the ASCII bytes of the text (no spaces inside)
//   {id}       the little-endian 32-bit value given as `id`

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace lumora::testing {

inline std::vector<uint8_t> wireBytes(const std::string& notation, uint32_t id = 0) {
    std::vector<uint8_t> out;
    std::istringstream in(notation);
    std::string tok;
    while (in >> tok) {
        if (tok == "{id}") {
            for (int i = 0; i < 4; ++i) out.push_back(uint8_t(id >> (8 * i)));
        } else if (tok.front() == '\'') {
            if (tok.size() < 2 || tok.back() != '\'') throw std::invalid_argument("bad text token " + tok);
            for (size_t i = 1; i + 1 < tok.size(); ++i) out.push_back(uint8_t(tok[i]));
        } else if (auto x = tok.find('x'); x != std::string::npos) {
            uint8_t b = uint8_t(std::stoul(tok.substr(0, x), nullptr, 16));
            out.insert(out.end(), std::stoul(tok.substr(x + 1)), b);
        } else {
            if (tok.size() % 2) throw std::invalid_argument("odd hex token " + tok);
            for (size_t i = 0; i < tok.size(); i += 2) out.push_back(uint8_t(std::stoul(tok.substr(i, 2), nullptr, 16)));
        }
    }
    return out;
}

inline std::string hexOf(const std::vector<uint8_t>& b) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < b.size(); ++i) {
        if (i && i % 4 == 0) s += ' ';
        s += d[b[i] >> 4];
        s += d[b[i] & 15];
    }
    return s;
}

}  // namespace lumora::testing
