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
    // encoding or writing failed; the reason is printed. The file is the
    // owner's alone (kFileMode, whatever the umask): the pictures written
    // here are snapshots of the user's cameras.
    static bool write(const std::string& path, const RGBAImage& image);
    static constexpr unsigned kFileMode = 0600;
};

}  // namespace lumora
