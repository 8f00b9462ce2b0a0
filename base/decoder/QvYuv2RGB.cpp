#include "base/decoder/QvYuv2RGB.h"

#include <algorithm>
#include <mutex>

namespace lumora {

namespace {

// BT.601 factors 1.164, 1.596, 2.017, 0.392 and 0.813, scaled by 65536.
constexpr int32_t kLuma = 76309;
constexpr int32_t kVToRed = 104597;
constexpr int32_t kUToBlue = 132201;
constexpr int32_t kUToGreen = 25675;
constexpr int32_t kVToGreen = 53279;

// The clamp table is indexed with the value plus this offset; it covers
// -384..639, and the rule can only produce -277..534.
constexpr int kClampOffset = 384;

struct Tables {
    int32_t luma[256];
    int32_t vToRed[256];
    int32_t uToBlue[256];
    int32_t uToGreen[256];
    int32_t vToGreen[256];
    uint8_t clamp[1024];
};

Tables gTables;
std::once_flag gTablesOnce;

void fillTables() {
    for (int i = 0; i < 256; ++i) {
        gTables.luma[i] = kLuma * (i - 16);
        gTables.vToRed[i] = kVToRed * (i - 128);
        gTables.uToBlue[i] = kUToBlue * (i - 128);
        gTables.uToGreen[i] = kUToGreen * (i - 128);
        gTables.vToGreen[i] = kVToGreen * (i - 128);
    }
    for (int i = 0; i < 1024; ++i) gTables.clamp[i] = static_cast<uint8_t>(std::clamp(i - kClampOffset, 0, 255));
}

const Tables& tables() {
    std::call_once(gTablesOnce, fillTables);
    return gTables;
}

// One pixel: blue, green, red; the fourth byte is left alone. The shift is
// arithmetic (rounds towards minus infinity), as the rule asks.
inline void putPixel(const Tables& t, uint8_t* out, int32_t l, int32_t cb, int32_t cg, int32_t cr) {
    const uint8_t* clamp = t.clamp + kClampOffset;
    out[0] = clamp[(l + cb) >> 16];
    out[1] = clamp[(l - cg) >> 16];
    out[2] = clamp[(l + cr) >> 16];
}

}  // namespace

void QvYuv2RGB::setupDitherTable() { tables(); }

void QvYuv2RGB::convertYuv420ToRgb32(const uint8_t* src0, const uint8_t* src1, const uint8_t* src2, uint8_t* dst,
                                     int width, int height) {
    if (width <= 0 || height <= 0) return;
    convertYuv420ToRgb32(src0, width, src1, width / 2, src2, width / 2, dst, width * 4, width, height);
}

void QvYuv2RGB::convertYuv420ToRgb32(const uint8_t* y, int yStride, const uint8_t* u, int uStride, const uint8_t* v,
                                     int vStride, uint8_t* dst, int dstStride, int width, int height) {
    if (width <= 0 || height <= 0 || !y || !dst) return;
    const Tables& t = tables();
    const int chromaWidth = width / 2;
    const int chromaHeight = height / 2;
    const bool hasChroma = chromaWidth > 0 && chromaHeight > 0 && u && v;
    const int evenWidth = width & ~1;
    const int evenHeight = height & ~1;

    // Chroma terms of one sample pair.
    auto chroma = [&](int cx, int cy, int32_t& cb, int32_t& cg, int32_t& cr) {
        int su = 128, sv = 128;
        if (hasChroma) {
            cx = std::min(cx, chromaWidth - 1);
            cy = std::min(cy, chromaHeight - 1);
            su = u[static_cast<ptrdiff_t>(cy) * uStride + cx];
            sv = v[static_cast<ptrdiff_t>(cy) * vStride + cx];
        }
        cb = t.uToBlue[su];
        cg = t.uToGreen[su] + t.vToGreen[sv];
        cr = t.vToRed[sv];
    };

    // Blocks of 2 x 2 pixels sharing one chroma sample.
    if (hasChroma) {
        for (int row = 0; row < evenHeight; row += 2) {
            const uint8_t* y0 = y + static_cast<ptrdiff_t>(row) * yStride;
            const uint8_t* y1 = y0 + yStride;
            const uint8_t* ur = u + static_cast<ptrdiff_t>(row / 2) * uStride;
            const uint8_t* vr = v + static_cast<ptrdiff_t>(row / 2) * vStride;
            uint8_t* d0 = dst + static_cast<ptrdiff_t>(row) * dstStride;
            uint8_t* d1 = d0 + dstStride;
            for (int col = 0; col < evenWidth; col += 2) {
                const int su = ur[col / 2];
                const int sv = vr[col / 2];
                const int32_t cb = t.uToBlue[su];
                const int32_t cg = t.uToGreen[su] + t.vToGreen[sv];
                const int32_t cr = t.vToRed[sv];
                putPixel(t, d0 + col * 4, t.luma[y0[col]], cb, cg, cr);
                putPixel(t, d0 + col * 4 + 4, t.luma[y0[col + 1]], cb, cg, cr);
                putPixel(t, d1 + col * 4, t.luma[y1[col]], cb, cg, cr);
                putPixel(t, d1 + col * 4 + 4, t.luma[y1[col + 1]], cb, cg, cr);
            }
        }
    }

    // Whatever the blocks did not cover: the odd last column and row, or the
    // whole picture when it has no chroma samples.
    auto pixel = [&](int col, int row) {
        int32_t cb, cg, cr;
        chroma(col / 2, row / 2, cb, cg, cr);
        putPixel(t, dst + static_cast<ptrdiff_t>(row) * dstStride + col * 4,
                 t.luma[y[static_cast<ptrdiff_t>(row) * yStride + col]], cb, cg, cr);
    };
    const int coveredWidth = hasChroma ? evenWidth : 0;
    const int coveredHeight = hasChroma ? evenHeight : 0;
    for (int row = 0; row < height; ++row) {
        const int from = row < coveredHeight ? coveredWidth : 0;
        for (int col = from; col < width; ++col) pixel(col, row);
    }
}

}  // namespace lumora
