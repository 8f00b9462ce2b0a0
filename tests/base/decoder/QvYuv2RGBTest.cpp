#include <gtest/gtest.h>

#include <libyuv/convert_argb.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "base/decoder/QvYuv2RGB.h"

using namespace lumora;

namespace {

struct Bgr {
    int b, g, r;
};

// Converts one 2 x 2 picture of a single colour.
Bgr convertFlat(uint8_t y, uint8_t u, uint8_t v) {
    std::vector<uint8_t> yp(4, y), up(1, u), vp(1, v), out(16, 0xAB);
    QvYuv2RGB::convertYuv420ToRgb32(yp.data(), up.data(), vp.data(), out.data(), 2, 2);
    for (int i = 1; i < 4; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(out[i * 4 + c], out[c]) << "pixel " << i;
    return {out[0], out[1], out[2]};
}

}  // namespace

TEST(QvYuv2RGB, FixedPointRuleGivesExactValues) {
    QvYuv2RGB::setupDitherTable();
    QvYuv2RGB::setupDitherTable();  // a second run changes nothing
    struct Case {
        uint8_t y, u, v;
        Bgr want;
    } cases[] = {
        {16, 128, 128, {0, 0, 0}},
        {235, 128, 128, {254, 254, 254}},  // 76309 x 219 >> 16 is 254, not 255
        {255, 255, 128, {255, 228, 255}},  // blue raw 534 and red raw 278 clamp to 255
        {0, 0, 128, {0, 31, 0}},           // blue raw -277 and red raw -19 clamp to 0
        {0, 0, 0, {0, 135, 0}},            // lowest green: (-1220944 + 3286400 + 6819712) >> 16
        {255, 0, 255, {20, 225, 255}},
        {128, 128, 128, {130, 130, 130}},
        {81, 90, 240, {0, 0, 254}},        // BT.601 red
    };
    for (const Case& c : cases) {
        Bgr got = convertFlat(c.y, c.u, c.v);
        EXPECT_EQ(got.b, c.want.b) << "Y" << int(c.y) << " U" << int(c.u) << " V" << int(c.v);
        EXPECT_EQ(got.g, c.want.g) << "Y" << int(c.y) << " U" << int(c.u) << " V" << int(c.v);
        EXPECT_EQ(got.r, c.want.r) << "Y" << int(c.y) << " U" << int(c.u) << " V" << int(c.v);
    }
}

TEST(QvYuv2RGB, BlocksShareChromaAndFourthByteIsKept) {
    // 4 x 2: two blocks with different chroma, four luma values each.
    const uint8_t y[8] = {16, 235, 16, 235, 235, 16, 235, 16};
    const uint8_t u[2] = {128, 255};
    const uint8_t v[2] = {128, 128};
    std::vector<uint8_t> out(32, 0x5A);
    QvYuv2RGB::convertYuv420ToRgb32(y, u, v, out.data(), 4, 2);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(out[i * 4 + 3], 0x5A) << "pixel " << i;
    EXPECT_EQ(out[0 * 4 + 0], 0);    // Y16 grey block
    EXPECT_EQ(out[1 * 4 + 2], 254);  // Y235 grey block
    EXPECT_EQ(out[2 * 4 + 0], 255);  // Y16 with U255: blue raw 256
    EXPECT_EQ(out[2 * 4 + 1], 0);    // green raw -50
    EXPECT_EQ(out[6 * 4 + 0], 255);  // second row, same block
}

TEST(QvYuv2RGB, RandomPicturesStayWithinThreeOfLibyuv) {
    std::mt19937 rng(1234);
    const int sizes[][2] = {{2, 2}, {16, 16}, {64, 36}, {352, 288}, {854, 480}, {706, 2}};
    for (auto [w, h] : sizes) {
        const int cw = w / 2, ch = h / 2;
        std::vector<uint8_t> y(w * h), u(cw * ch), v(cw * ch);
        for (auto* p : {&y, &u, &v})
            for (auto& b : *p) b = static_cast<uint8_t>(rng());
        std::vector<uint8_t> ours(w * h * 4), ref(w * h * 4);
        QvYuv2RGB::convertYuv420ToRgb32(y.data(), u.data(), v.data(), ours.data(), w, h);
        ASSERT_EQ(libyuv::I420ToARGB(y.data(), w, u.data(), cw, v.data(), cw, ref.data(), w * 4, w, h), 0);
        int worst = 0;
        for (int i = 0; i < w * h; ++i)
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(ours[i * 4 + c] - ref[i * 4 + c]));
        EXPECT_LE(worst, 3) << w << "x" << h;
    }
}

TEST(QvYuv2RGB, StridedPlanesGiveTheSamePicture) {
    const int w = 10, h = 6, cw = 5, ch = 3;
    std::mt19937 rng(7);
    std::vector<uint8_t> y(w * h), u(cw * ch), v(cw * ch);
    for (auto* p : {&y, &u, &v})
        for (auto& b : *p) b = static_cast<uint8_t>(rng());
    const int ys = 32, cs = 16, ds = w * 4 + 12;
    std::vector<uint8_t> yp(ys * h, 0xEE), up(cs * ch, 0xEE), vp(cs * ch, 0xEE);
    for (int r = 0; r < h; ++r) std::copy_n(&y[r * w], w, &yp[r * ys]);
    for (int r = 0; r < ch; ++r) {
        std::copy_n(&u[r * cw], cw, &up[r * cs]);
        std::copy_n(&v[r * cw], cw, &vp[r * cs]);
    }
    std::vector<uint8_t> packed(w * h * 4), strided(ds * h, 0x11);
    QvYuv2RGB::convertYuv420ToRgb32(y.data(), u.data(), v.data(), packed.data(), w, h);
    QvYuv2RGB::convertYuv420ToRgb32(yp.data(), ys, up.data(), cs, vp.data(), cs, strided.data(), ds, w, h);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w * 4; ++c) {
            if (c % 4 == 3) continue;
            ASSERT_EQ(strided[r * ds + c], packed[r * w * 4 + c]) << r << "," << c;
        }
        for (int c = w * 4; c < ds; ++c) ASSERT_EQ(strided[r * ds + c], 0x11) << "padding written";
    }
}

// Planes are allocated to their exact size, so the address sanitizer catches
// any read outside them.
TEST(QvYuv2RGB, OddAndEmptySizesStayInsideThePlanes) {
    const int sizes[][2] = {{1, 1}, {1, 4}, {4, 1}, {3, 3}, {5, 2}, {2, 5}, {7, 9}, {0, 4}, {4, 0}, {-2, 4}, {4, -2}};
    for (auto [w, h] : sizes) {
        const size_t n = w > 0 && h > 0 ? static_cast<size_t>(w) * h : 0;
        const size_t cn = w > 0 && h > 0 ? static_cast<size_t>(w / 2) * (h / 2) : 0;
        std::unique_ptr<uint8_t[]> y(new uint8_t[n + 1]), u(new uint8_t[cn + 1]), v(new uint8_t[cn + 1]);
        std::fill_n(y.get(), n, 235);
        std::fill_n(u.get(), cn, 128);
        std::fill_n(v.get(), cn, 128);
        std::vector<uint8_t> out(n * 4 + 4, 0x33);
        QvYuv2RGB::convertYuv420ToRgb32(y.get(), u.get(), v.get(), out.data(), w, h);
        for (size_t i = 0; i < n; ++i)
            for (int c = 0; c < 3; ++c) ASSERT_EQ(out[i * 4 + c], 254) << w << "x" << h << " pixel " << i;
        for (size_t i = n * 4; i < out.size(); ++i) ASSERT_EQ(out[i], 0x33) << "written past the picture";
    }
}

TEST(QvYuv2RGB, OddSizeEdgeUsesNearestChromaSample) {
    // 3 x 3: one chroma sample (U 255) covers all nine pixels.
    const uint8_t y[9] = {16, 16, 16, 16, 16, 16, 16, 16, 16};
    const uint8_t u[1] = {255}, v[1] = {128};
    std::vector<uint8_t> out(36, 0);
    QvYuv2RGB::convertYuv420ToRgb32(y, u, v, out.data(), 3, 3);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i * 4], 255) << "pixel " << i;
}

namespace {

// The table rule written out pixel by pixel: 2 x 2 blocks share the chroma
// sample at half their row and column; an odd last row or column takes the
// nearest sample; a picture without chroma samples is grey. The fourth byte
// is left alone.
void tableRule(const uint8_t* y, int ys, const uint8_t* u, int us, const uint8_t* v, int vs, uint8_t* dst, int ds,
               int w, int h) {
    int32_t luma[256], vr[256], ub[256], ug[256], vg[256];
    uint8_t clamp[1024];
    for (int i = 0; i < 256; ++i) {
        luma[i] = 76309 * (i - 16);
        vr[i] = 104597 * (i - 128);
        ub[i] = 132201 * (i - 128);
        ug[i] = 25675 * (i - 128);
        vg[i] = 53279 * (i - 128);
    }
    for (int i = 0; i < 1024; ++i) clamp[i] = uint8_t(i < 384 ? 0 : i > 639 ? 255 : i - 384);
    const int cw = w / 2, ch = h / 2;
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int su = 128, sv = 128;
            if (cw > 0 && ch > 0) {
                su = u[std::min(r / 2, ch - 1) * us + std::min(c / 2, cw - 1)];
                sv = v[std::min(r / 2, ch - 1) * vs + std::min(c / 2, cw - 1)];
            }
            const int32_t l = luma[y[r * ys + c]];
            uint8_t* p = dst + r * ds + c * 4;
            p[0] = clamp[((l + ub[su]) >> 16) + 384];
            p[1] = clamp[((l - (ug[su] + vg[sv])) >> 16) + 384];
            p[2] = clamp[((l + vr[sv]) >> 16) + 384];
        }
    }
}

enum class Fill { Random, Extremes, Ramp };

void fill(std::vector<uint8_t>& b, Fill f, std::mt19937& rng) {
    static const uint8_t extremes[] = {0, 1, 15, 16, 17, 127, 128, 129, 234, 235, 236, 254, 255};
    for (size_t i = 0; i < b.size(); ++i) {
        switch (f) {
            case Fill::Random: b[i] = uint8_t(rng()); break;
            case Fill::Extremes: b[i] = extremes[rng() % std::size(extremes)]; break;
            case Fill::Ramp: b[i] = uint8_t(i * 37 + (i >> 8)); break;
        }
    }
}

}  // namespace

// Both paths (the vector kernel where the CPU has it, and the tables alone)
// give the rule's bytes on every pixel: sizes around the kernel's 16-column
// steps, odd sizes, padded strides, and a fourth byte that is never touched.
TEST(QvYuv2RGB, EveryPathGivesTheTableRuleBytesOnEveryPixel) {
    const int sizes[][2] = {{2, 2},   {14, 2},   {16, 2},  {17, 3},   {18, 4},  {30, 6},    {31, 7},
                            {32, 32}, {33, 33},  {48, 10}, {63, 5},   {64, 64}, {100, 3},   {127, 9},
                            {176, 144}, {321, 241}, {352, 288}, {1, 16}, {16, 1}, {1920, 8}, {1918, 6}};
    std::mt19937 rng(20261210);
    const bool before = QvYuv2RGB::setAccelerationAllowed(true);
    for (bool accelerated : {true, false}) {
        QvYuv2RGB::setAccelerationAllowed(accelerated);
        for (auto [w, h] : sizes) {
            for (Fill f : {Fill::Random, Fill::Extremes, Fill::Ramp}) {
                for (int pad : {0, 13}) {
                    SCOPED_TRACE(testing::Message() << w << "x" << h << " fill " << int(f) << " pad " << pad
                                                    << (accelerated ? " accelerated" : " tables"));
                    const int cw = w / 2, ch = h / 2;
                    const int ys = w + pad, cs = cw + pad, ds = w * 4 + pad * 4;
                    std::vector<uint8_t> y(size_t(ys) * h), u(size_t(std::max(cs, 1)) * std::max(ch, 1)),
                        v(u.size());
                    fill(y, f, rng);
                    fill(u, f, rng);
                    fill(v, f, rng);
                    std::vector<uint8_t> ours(size_t(ds) * h), ref;
                    fill(ours, Fill::Random, rng);
                    ref = ours;
                    tableRule(y.data(), ys, u.data(), cs, v.data(), cs, ref.data(), ds, w, h);
                    QvYuv2RGB::convertYuv420ToRgb32(y.data(), ys, u.data(), cs, v.data(), cs, ours.data(), ds, w, h);
                    size_t firstDiff = 0;
                    while (firstDiff < ours.size() && ours[firstDiff] == ref[firstDiff]) ++firstDiff;
                    ASSERT_EQ(firstDiff, ours.size()) << "first differing byte at row " << firstDiff / ds
                                                      << ", byte " << firstDiff % ds;
                    if (pad == 0) {
                        // The packed form gives the same bytes.
                        std::vector<uint8_t> packed = ref;
                        QvYuv2RGB::convertYuv420ToRgb32(y.data(), u.data(), v.data(), packed.data(), w, h);
                        ASSERT_EQ(packed, ref);
                    }
                }
            }
        }
    }
    QvYuv2RGB::setAccelerationAllowed(before);
}

// Every combination of luma and chroma the rule can meet: 64 pictures of
// 512 x 512 whose chroma sample (x, y) is u = y, v = x and whose 2 x 2 blocks
// hold four luma values that walk through all 256 over the pictures.
TEST(QvYuv2RGB, EveryInputCombinationMatchesTheRule) {
    const int w = 512, h = 512, cw = 256;
    std::vector<uint8_t> y(w * h), u(cw * cw), v(cw * cw), ours(w * h * 4), ref(w * h * 4);
    for (int cy = 0; cy < cw; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            u[cy * cw + cx] = uint8_t(cy);
            v[cy * cw + cx] = uint8_t(cx);
        }
    for (int k = 0; k < 64; ++k) {
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) y[r * w + c] = uint8_t(4 * k + (c & 1) + 2 * (r & 1));
        tableRule(y.data(), w, u.data(), cw, v.data(), cw, ref.data(), w * 4, w, h);
        QvYuv2RGB::convertYuv420ToRgb32(y.data(), u.data(), v.data(), ours.data(), w, h);
        ASSERT_EQ(ours, ref) << "luma from " << 4 * k;
    }
}
