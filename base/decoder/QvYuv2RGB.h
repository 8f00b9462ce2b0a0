#pragma once

#include <cstdint>

namespace lumora {

// Planar YUV 4:2:0 (BT.601 studio range) to 32-bit pixels, in fixed point
// with process-wide lookup tables. No instances.
//
// Output pixels are 4 bytes: blue, green, red, and a fourth byte that is
// never written (it keeps what the buffer held).
//
// The chroma planes are (width / 2) x (height / 2) samples (integer halves),
// as the decoder delivers them. For an odd width or height the last column
// or row uses the nearest chroma sample that exists; a picture one pixel
// wide or high has no chroma samples at all and is converted as grey
// (U = V = 128). A width or height of 0 or less converts nothing. Nothing is
// ever read outside the planes as sized here.
class QvYuv2RGB {
public:
    // Fills the tables. Thread-safe; the tables are built once per process
    // and every conversion builds them itself when nobody did, so calling it
    // first is optional.
    static void setupDitherTable();

    // Whether the vector kernel (AVX2, chosen at run time) may be used; it
    // gives the same bytes as the tables, only faster. Answers the previous
    // setting. The tables alone serve CPUs without it.
    static bool setAccelerationAllowed(bool allowed);
    // Whether conversions now run the vector kernel.
    static bool isAccelerated();

    // Planes without row padding: Y rows of `width` bytes, U and V rows of
    // width / 2 bytes. `dst` holds width x height x 4 bytes.
    static void convertYuv420ToRgb32(const uint8_t* src0, const uint8_t* src1, const uint8_t* src2, uint8_t* dst,
                                     int width, int height);

    // The same with explicit row strides in bytes (padded decoder planes,
    // padded output rows). Each stride must be at least the row length.
    static void convertYuv420ToRgb32(const uint8_t* y, int yStride, const uint8_t* u, int uStride, const uint8_t* v,
                                     int vStride, uint8_t* dst, int dstStride, int width, int height);
};

}  // namespace lumora
