#include "base/utilities/ZBarImageScanner.h"

#include <png.h>
#include <zbar.h>

#include <cstring>

namespace lumora {

namespace {

zbar::zbar_image_scanner_t* raw(void* p) { return static_cast<zbar::zbar_image_scanner_t*>(p); }

}  // namespace

ZBarImage ZBarImage::fromRGBA(const RGBAImage& image) {
    ZBarImage out;
    if (image.empty() || image.pixels.size() < image.rowBytes() * size_t(image.height)) return out;
    out.width = image.width;
    out.height = image.height;
    out.grey.resize(size_t(image.width) * image.height);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.pixel(x, y);
            // BT.601 luma in integers.
            out.grey[size_t(y) * image.width + x] = static_cast<uint8_t>((77 * p[0] + 150 * p[1] + 29 * p[2]) >> 8);
        }
    return out;
}

ZBarImage ZBarImage::fromPNGFile(const std::string& path, std::string* error) {
    ZBarImage out;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        if (error) *error = "cannot read " + path + ": " + png.message;
        return out;
    }
    png.format = PNG_FORMAT_GRAY;
    // Pictures beyond this are no QR photo; refuse before allocating.
    constexpr png_uint_32 kMaxSide = 16384;
    if (png.width == 0 || png.height == 0 || png.width > kMaxSide || png.height > kMaxSide) {
        png_image_free(&png);
        if (error) *error = path + " is too large to scan";
        return out;
    }
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, grey.data(), 0, nullptr)) {
        if (error) *error = "cannot decode " + path + ": " + png.message;
        png_image_free(&png);
        return out;
    }
    out.width = static_cast<int>(png.width);
    out.height = static_cast<int>(png.height);
    out.grey = std::move(grey);
    return out;
}

ZBarImageScanner::ZBarImageScanner() : scanner_(zbar::zbar_image_scanner_create()) {}

ZBarImageScanner::~ZBarImageScanner() {
    if (scanner_) zbar::zbar_image_scanner_destroy(raw(scanner_));
}

bool ZBarImageScanner::setSymbology(int symbology, int config, int value) {
    if (!scanner_) return false;
    return zbar::zbar_image_scanner_set_config(raw(scanner_), static_cast<zbar::zbar_symbol_type_t>(symbology),
                                               static_cast<zbar::zbar_config_t>(config), value) == 0;
}

ZBarSymbolSet ZBarImageScanner::scanImage(const ZBarImage& image) {
    ZBarSymbolSet symbols;
    if (!scanner_ || image.empty()) return symbols;
    zbar::zbar_image_t* img = zbar::zbar_image_create();
    if (!img) return symbols;
    zbar::zbar_image_set_format(img, zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(img, static_cast<unsigned>(image.width), static_cast<unsigned>(image.height));
    zbar::zbar_image_set_data(img, image.grey.data(), static_cast<unsigned long>(image.width) * image.height,
                              nullptr);
    if (zbar::zbar_scan_image(raw(scanner_), img) > 0) {
        for (const zbar::zbar_symbol_t* s = zbar::zbar_image_first_symbol(img); s; s = zbar::zbar_symbol_next(s)) {
            ZBarSymbol symbol;
            symbol.type = zbar::zbar_symbol_get_type(s);
            symbol.typeName = zbar::zbar_get_symbol_name(zbar::zbar_symbol_get_type(s));
            symbol.data.assign(zbar::zbar_symbol_get_data(s), zbar::zbar_symbol_get_data_length(s));
            symbol.quality = zbar::zbar_symbol_get_quality(s);
            symbols.push_back(std::move(symbol));
        }
    }
    zbar::zbar_image_destroy(img);
    return symbols;
}

}  // namespace lumora
