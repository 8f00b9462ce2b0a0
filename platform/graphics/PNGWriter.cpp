#include "platform/graphics/PNGWriter.h"

#include <png.h>

#include <cstdio>
#include <cstring>

#include "platform/storage/AtomicFile.h"
#include "platform/Log.h"

namespace lumora {

bool PNGWriter::encode(const RGBAImage& image, std::vector<uint8_t>& out) {
    out.clear();
    if (image.empty() || image.pixels.size() < image.rowBytes() * static_cast<size_t>(image.height)) return false;

    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;

    const png_int_32 stride = static_cast<png_int_32>(image.rowBytes());
    png_alloc_size_t size = 0;
    // First pass: the encoded size only.
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.pixels.data(), stride, nullptr) || size == 0) {
        Log::warn("PNGWriter", "cannot encode %dx%d: %s", image.width, image.height, png.message);
        png_image_free(&png);
        return false;
    }
    out.resize(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, image.pixels.data(), stride, nullptr)) {
        Log::warn("PNGWriter", "cannot encode %dx%d: %s", image.width, image.height, png.message);
        png_image_free(&png);
        out.clear();
        return false;
    }
    out.resize(size);
    png_image_free(&png);
    return true;
}

bool PNGWriter::write(const std::string& path, const RGBAImage& image) {
    std::vector<uint8_t> data;
    if (!encode(image, data)) return false;
    Error error;
    if (!AtomicFile::write(path, data.data(), data.size(), kFileMode, &error)) {
        Log::warn("PNGWriter", "cannot write %s: %s", path.c_str(), error.toString().c_str());
        return false;
    }
    return true;
}

}  // namespace lumora
