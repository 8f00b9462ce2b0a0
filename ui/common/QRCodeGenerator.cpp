#include "ui/common/QRCodeGenerator.h"

#include <qrencode.h>

#include <cmath>

#include "ui/kit/UIImage.h"

namespace lumora {

RGBAImage QRCodeGenerator::qrPixelsForString(const std::string& text, float imageSize) {
    RGBAImage picture;
    if (text.empty() || !(imageSize >= 1)) return picture;
    QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) return picture;
    int side = static_cast<int>(imageSize);
    // Fewer pixels than modules would draw nothing readable.
    if (side >= code->width + 6) {
        picture.width = picture.height = side;
        picture.pixels.assign(picture.rowBytes() * static_cast<size_t>(side), 0);
        drawQRCode(code, picture, static_cast<float>(side));
    }
    QRcode_free(code);
    return picture;
}

std::shared_ptr<UIImage> QRCodeGenerator::qrImageForString(const std::string& text, float imageSize) {
    RGBAImage picture = qrPixelsForString(text, imageSize);
    if (picture.empty()) return nullptr;
    return UIImage::imageWithRGBA(picture);
}

void QRCodeGenerator::drawQRCode(const QRcode* code, RGBAImage& context, float size) {
    if (!code || context.empty() || code->width <= 0) return;
    const int w = code->width;
    const double m = static_cast<double>(size) / (w + 6);
    // Pixel edges of module k (counted with the margin): a pixel belongs to
    // the module that holds its centre.
    auto edge = [m](int k) { return static_cast<int>(std::lround(m * k)); };
    for (int i = 0; i < w; ++i) {
        int y0 = std::max(0, edge(i + 3)), y1 = std::min(context.height, edge(i + 4));
        for (int j = 0; j < w; ++j) {
            if (!(code->data[i * w + j] & 1)) continue;
            int x0 = std::max(0, edge(j + 3)), x1 = std::min(context.width, edge(j + 4));
            for (int y = y0; y < y1; ++y) {
                uint8_t* row = context.pixels.data() + static_cast<size_t>(y) * context.rowBytes();
                for (int x = x0; x < x1; ++x) {
                    uint8_t* px = row + x * 4;
                    px[0] = px[1] = px[2] = 0;
                    px[3] = 255;
                }
            }
        }
    }
}

}  // namespace lumora
