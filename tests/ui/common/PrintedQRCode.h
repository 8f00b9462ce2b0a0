#pragma once

#include <string>

#include "platform/graphics/PNGWriter.h"
#include "ui/common/QRCodeGenerator.h"

namespace lumora::test {

// The generator's picture (dark modules on a transparent ground) as it
// looks printed on white paper.
inline RGBAImage printedQRPicture(RGBAImage picture) {
    for (size_t i = 0; i + 3 < picture.pixels.size(); i += 4) {
        const uint8_t a = picture.pixels[i + 3];
        for (int c = 0; c < 3; ++c)
            picture.pixels[i + c] = static_cast<uint8_t>((picture.pixels[i + c] * a + 255 * (255 - a)) / 255);
        picture.pixels[i + 3] = 255;
    }
    return picture;
}

// Writes the text's printed QR code as a PNG file for a reader to read.
inline bool writePrintedQRCode(const std::string& path, const std::string& text) {
    return PNGWriter::write(path, printedQRPicture(QRCodeGenerator::qrPixelsForString(text, 300)));
}

}  // namespace lumora::test
