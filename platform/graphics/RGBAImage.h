#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumora {

// A picture of width x height pixels of 4 bytes (red, green, blue, alpha),
// top row first, rows packed without gaps.
struct RGBAImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    bool empty() const { return width <= 0 || height <= 0; }
    size_t rowBytes() const { return static_cast<size_t>(width) * 4; }
    const uint8_t* pixel(int x, int y) const { return pixels.data() + static_cast<size_t>(y) * rowBytes() + x * 4; }
};

}  // namespace lumora
