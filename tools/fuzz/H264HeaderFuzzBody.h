#pragma once

// One fuzz iteration for the H.264 header parser of the recorder, shared by
// the libFuzzer target (h264_header_fuzz.cpp) and the seed test of the
// normal build. The input is cut at its start codes as the recorder cuts a
// frame into NAL units; each unit, copied to a buffer of exactly its size,
// is parsed by one parser (so slices read the parameter sets before them),
// and the whole input is parsed once more as a single unit.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/decoder/H264HeaderParser.h"

namespace lumora::fuzz {

inline void parseExactly(H264HeaderParser& parser, const uint8_t* nal, size_t n) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[n ? n : 1]);
    for (size_t i = 0; i < n; ++i) exact[i] = nal[i];
    parser.Parse(exact.get(), n);
    H264HeaderParser::StartCodeLength(exact.get(), n);
    H264HeaderParser::NalType(exact.get(), n);
}

inline int fuzzH264Header(const uint8_t* data, size_t size) {
    // Start of every unit: the offsets of "00 00 01" (with a zero before it
    // belonging to the same start code).
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            starts.push_back(i > 0 && data[i - 1] == 0 && (starts.empty() || starts.back() != i - 1) ? i - 1 : i);
            i += 2;
        }
    }
    H264HeaderParser parser;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] : size;
        parseExactly(parser, data + starts[k], end - starts[k]);
    }
    parser.Reset();
    parseExactly(parser, data, size);
    return 0;
}

}  // namespace lumora::fuzz
