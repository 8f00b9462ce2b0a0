#pragma once

#include <memory>
#include <string>

#include "platform/graphics/RGBAImage.h"

#include <qrencode.h>

namespace lumora {

class UIImage;

// Turns a text into a square picture of its QR code (black modules on a
// transparent ground) with a quiet zone of three modules on every side.
// Encoding: the smallest version that fits, error correction L, 8-bit
// mode, case-sensitive. No state; any thread.
class QRCodeGenerator {
public:
    // nullptr for an empty text, a size below one pixel per module or a text
    // the encoder refuses (too long).
    static std::shared_ptr<UIImage> qrImageForString(const std::string& text, float imageSize);
    // The same picture as plain pixels (empty on the same failures).
    static RGBAImage qrPixelsForString(const std::string& text, float imageSize);
    // Paints the dark modules of the symbol into the picture, whose side is
    // `size` pixels: module edge m = size / (width + 6); row i, column j
    // covers [m(j+3), m(j+4)) x [m(i+3), m(i+4)). Only bit 0 of each module
    // byte counts.
    static void drawQRCode(const QRcode* code, RGBAImage& context, float size);
};

}  // namespace lumora
