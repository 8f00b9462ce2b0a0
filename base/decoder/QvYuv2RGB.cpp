#include "base/decoder/QvYuv2RGB.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMORA_YUV_X86 1
#endif

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

#if LUMORA_YUV_X86
// The block rule for two rows of 16 pixels (8 chroma samples) at a time,
// with AVX2. Every value is computed in 32 bits exactly as the table rule
// does (products of the same coefficients, an arithmetic shift by 16), and
// the saturating packs give what the clamp table gives for the values the
// rule can produce (-277..534). Converts columns [0, end) of the row pair,
// end a multiple of 16; the fourth byte of each pixel is kept.
__attribute__((target("avx2"))) void convertRowPairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                                                       const uint8_t* v, uint8_t* d0, uint8_t* d1, int end) {
    // 76309 x (y - 16) as 19077 x 4(y - 16) + (y - 16) with one multiply-add.
    const __m256i lumaCoef = _mm256_set1_epi32(19077 | (1 << 16));
    const __m256i sixteen = _mm256_set1_epi16(16);
    const __m256i c128 = _mm256_set1_epi32(128);
    const __m256i kUB = _mm256_set1_epi32(kUToBlue);
    const __m256i kUG = _mm256_set1_epi32(kUToGreen);
    const __m256i kVG = _mm256_set1_epi32(kVToGreen);
    const __m256i kVR = _mm256_set1_epi32(kVToRed);
    const __m256i keepMask = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i zero = _mm256_setzero_si256();

    for (int col = 0; col < end; col += 16) {
        // Chroma terms of 8 samples, each doubled for the two pixels that share it:
        // lo covers pixels 0-3 and 8-11, hi pixels 4-7 and 12-15 (the lane order
        // of the luma terms below).
        const __m256i su = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(u + col / 2))), c128);
        const __m256i sv = _mm256_sub_epi32(
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(v + col / 2))), c128);
        const __m256i cb = _mm256_mullo_epi32(su, kUB);
        const __m256i cg = _mm256_add_epi32(_mm256_mullo_epi32(su, kUG), _mm256_mullo_epi32(sv, kVG));
        const __m256i cr = _mm256_mullo_epi32(sv, kVR);
        const __m256i cbLo = _mm256_unpacklo_epi32(cb, cb), cbHi = _mm256_unpackhi_epi32(cb, cb);
        const __m256i cgLo = _mm256_unpacklo_epi32(cg, cg), cgHi = _mm256_unpackhi_epi32(cg, cg);
        const __m256i crLo = _mm256_unpacklo_epi32(cr, cr), crHi = _mm256_unpackhi_epi32(cr, cr);

        const uint8_t* rows[2] = {y0, y1};
        uint8_t* outs[2] = {d0, d1};
        for (int r = 0; r < 2; ++r) {
            const __m256i yy = _mm256_sub_epi16(
                _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + col))), sixteen);
            const __m256i y4 = _mm256_slli_epi16(yy, 2);
            const __m256i lLo = _mm256_madd_epi16(_mm256_unpacklo_epi16(y4, yy), lumaCoef);
            const __m256i lHi = _mm256_madd_epi16(_mm256_unpackhi_epi16(y4, yy), lumaCoef);
            // Back to pixel order 0-15 as 16-bit values, then clamped to bytes.
            const __m256i b16 = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lLo, cbLo), 16),
                                                   _mm256_srai_epi32(_mm256_add_epi32(lHi, cbHi), 16));
            const __m256i g16 = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_sub_epi32(lLo, cgLo), 16),
                                                   _mm256_srai_epi32(_mm256_sub_epi32(lHi, cgHi), 16));
            const __m256i r16 = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lLo, crLo), 16),
                                                   _mm256_srai_epi32(_mm256_add_epi32(lHi, crHi), 16));
            const __m256i b8 = _mm256_packus_epi16(b16, b16);
            const __m256i g8 = _mm256_packus_epi16(g16, g16);
            const __m256i r8 = _mm256_packus_epi16(r16, r16);
            const __m256i bg = _mm256_unpacklo_epi8(b8, g8);
            const __m256i rz = _mm256_unpacklo_epi8(r8, zero);
            const __m256i p0 = _mm256_unpacklo_epi16(bg, rz);  // pixels 0-3 | 8-11
            const __m256i p1 = _mm256_unpackhi_epi16(bg, rz);  // pixels 4-7 | 12-15
            __m256i* out = reinterpret_cast<__m256i*>(outs[r] + col * 4);
            const __m256i first = _mm256_permute2x128_si256(p0, p1, 0x20);
            const __m256i second = _mm256_permute2x128_si256(p0, p1, 0x31);
            const __m256i old0 = _mm256_loadu_si256(out);
            const __m256i old1 = _mm256_loadu_si256(out + 1);
            _mm256_storeu_si256(out, _mm256_or_si256(first, _mm256_and_si256(old0, keepMask)));
            _mm256_storeu_si256(out + 1, _mm256_or_si256(second, _mm256_and_si256(old1, keepMask)));
        }
    }
}

bool cpuHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

std::atomic<bool> gAccelerationAllowed{true};

// Columns of each row pair the vector kernel converts (a multiple of 16; 0
// when the CPU or the caller rules it out).
int acceleratedWidth(int evenWidth) {
#if LUMORA_YUV_X86
    if (gAccelerationAllowed.load(std::memory_order_relaxed) && cpuHasAvx2()) return evenWidth & ~15;
#endif
    (void)evenWidth;
    return 0;
}

}  // namespace

void QvYuv2RGB::setupDitherTable() { tables(); }

bool QvYuv2RGB::setAccelerationAllowed(bool allowed) { return gAccelerationAllowed.exchange(allowed); }

bool QvYuv2RGB::isAccelerated() {
#if LUMORA_YUV_X86
    return gAccelerationAllowed.load() && cpuHasAvx2();
#else
    return false;
#endif
}

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

    // Blocks of 2 x 2 pixels sharing one chroma sample: as many columns as
    // it takes with the vector kernel, the rest from the tables.
    const int fastWidth = hasChroma ? acceleratedWidth(evenWidth) : 0;
    if (hasChroma) {
        for (int row = 0; row < evenHeight; row += 2) {
            const uint8_t* y0 = y + static_cast<ptrdiff_t>(row) * yStride;
            const uint8_t* y1 = y0 + yStride;
            const uint8_t* ur = u + static_cast<ptrdiff_t>(row / 2) * uStride;
            const uint8_t* vr = v + static_cast<ptrdiff_t>(row / 2) * vStride;
            uint8_t* d0 = dst + static_cast<ptrdiff_t>(row) * dstStride;
            uint8_t* d1 = d0 + dstStride;
#if LUMORA_YUV_X86
            if (fastWidth > 0) convertRowPairAvx2(y0, y1, ur, vr, d0, d1, fastWidth);
#endif
            for (int col = fastWidth; col < evenWidth; col += 2) {
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
