#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics/RGBAImage.h"

namespace lumora {

// PNG files from RGBA pictures (libpng). The file holds 8-bit RGBA, the rows
// in the picture's order (top row first).
class PNGWriter {
public:
    // The PNG form of the picture; false (and `out` empty) for an empty
    // picture, a pixel buffer shorter than the picture, or an encoder failure.
    static bool encode(const RGBAImage& image, std::vector<uint8_t>& out);

    // Encodes and writes the file whole: either the complete new file is at
    // `path` afterwards or nothing changed there (see AtomicFile). False when
    // encoding or writing failed; the reason is printed.
    static bool write(const std::string& path, const RGBAImage& image);
};

}  // namespace lumora
