// Source sampling shared by the scaled and rotated blits: bilinear weights and
// the four bilinear edge cases. Internal to the raster library.
#pragma once

#include "raster/Combiners.h"
#include "raster/Pixel.h"
#include "raster/RowAccess.h"

#include <cmath>
#include <cstdint>

namespace duv {

// trunc(v) saturated to the int64 range a 16.16 position can use.
inline std::int64_t truncSaturated(double v)
{
    constexpr double kLimit = 4.0e15;
    if (!(v == v))
        return 0;
    if (v > kLimit)
        return std::int64_t(kLimit);
    if (v < -kLimit)
        return -std::int64_t(kLimit);
    return std::int64_t(v);
}

// Bilinear weights of fractions fx, fy (0..65535): w00 + w10 + w01 + w11 = 65536.
struct BilinearWeights {
    int w00, w10, w01, w11;
};
inline BilinearWeights bilinearWeights(int fx, int fy)
{
    int fxy = int((std::int64_t(fx) * fy) >> 16);
    return BilinearWeights{65536 - fx - fy + fxy, fx - fxy, fy - fxy, fxy};
}

// Per channel (p00 w00 + p10 w10 + p01 w01 + p11 w11) / 65536, truncating.
inline SourceChannels interpolate4(Pixel p00, Pixel p10, Pixel p01, Pixel p11, const BilinearWeights& w)
{
    auto ch = [&](int n) {
        return (pixelByte(p00, n) * w.w00 + pixelByte(p10, n) * w.w10 + pixelByte(p01, n) * w.w01 +
                pixelByte(p11, n) * w.w11) >> 16;
    };
    return SourceChannels{ch(0), ch(1), ch(2), ch(3)};
}

// Per channel (p (65536 - f) + q f) / 65536.
inline SourceChannels interpolate2(Pixel p, Pixel q, int f)
{
    auto ch = [&](int n) { return (pixelByte(p, n) * (65536 - f) + pixelByte(q, n) * f) >> 16; };
    return SourceChannels{ch(0), ch(1), ch(2), ch(3)};
}

struct SourceBounds {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Bilinear sample at integer (column, row) with fractions fx, fy; answers false
// for positions the rules skip. Reads only inside the bounds: the last column
// interpolates vertically, the last row horizontally, the corner is the pixel.
inline bool sampleBilinear(const RowAccess& s, const SourceBounds& b, std::int64_t column, std::int64_t row, int fx,
                           int fy, SourceChannels* out)
{
    if (row < b.top || row >= b.bottom || column < b.left || column >= b.right)
        return false;
    const Pixel* r0 = s.row(int(row));
    const int c = int(column);
    if (row < b.bottom - 1) {
        const Pixel* r1 = s.row(int(row) + 1);
        if (c < b.right - 1)
            *out = interpolate4(r0[c], r0[c + 1], r1[c], r1[c + 1], bilinearWeights(fx, fy));
        else
            *out = interpolate2(r0[c], r1[c], fy);
    } else {
        if (c < b.right - 1)
            *out = interpolate2(r0[c], r0[c + 1], fx);
        else
            *out = channelsOf(r0[c]);
    }
    return true;
}

// Splits a 16.16 position into a truncated integer part and a fraction; a
// position in (-1, 0) becomes 0 with fraction 0 (see ScaledBlit.h).
inline void splitPosition(std::int64_t pos, std::int64_t* whole, int* fraction)
{
    if (pos < 0) {
        *whole = -((-pos) >> 16);
        *fraction = 0;
    } else {
        *whole = pos >> 16;
        *fraction = int(pos & 0xFFFF);
    }
}

} // namespace duv
