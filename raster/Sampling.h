// Source sampling shared by the scaled and rotated blits: bilinear weights and
// the four bilinear edge cases. Internal to the raster library.
#pragma once

#include "raster/Combiners.h"
#include "raster/Pixel.h"
#include "raster/RowAccess.h"

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Blue and red (or green and alpha) bytes of a pixel spread into the two 32-bit
// lanes of a 64-bit word, so one multiplication weighs two channels. Weighted
// sums stay below 2^32 per lane (weights sum to at most 2^24 here), so lanes
// never carry into each other.
inline std::uint64_t spreadBR(Pixel p) { return std::uint64_t(p & 0xFFu) | (std::uint64_t(p & 0xFF0000u) << 16); }
inline std::uint64_t spreadGA(Pixel p) { return std::uint64_t((p >> 8) & 0xFFu) | (std::uint64_t(p >> 24) << 32); }

inline SourceChannels channelsFromLanes(std::uint64_t br, std::uint64_t ga, int shift)
{
    return SourceChannels{int((br & 0xFFFFFFFFu) >> shift), int((ga & 0xFFFFFFFFu) >> shift), int((br >> 32) >> shift),
                          int((ga >> 32) >> shift)};
}

// Per channel (p00 w00 + p10 w10 + p01 w01 + p11 w11) / 65536, truncating
// (all terms are non-negative, so the division is a shift).
inline SourceChannels interpolate4(Pixel p00, Pixel p10, Pixel p01, Pixel p11, const BilinearWeights& w)
{
    const std::uint64_t br = spreadBR(p00) * std::uint64_t(w.w00) + spreadBR(p10) * std::uint64_t(w.w10) +
                             spreadBR(p01) * std::uint64_t(w.w01) + spreadBR(p11) * std::uint64_t(w.w11);
    const std::uint64_t ga = spreadGA(p00) * std::uint64_t(w.w00) + spreadGA(p10) * std::uint64_t(w.w10) +
                             spreadGA(p01) * std::uint64_t(w.w01) + spreadGA(p11) * std::uint64_t(w.w11);
    return channelsFromLanes(br, ga, 16);
}

#if defined(__SSE2__)
// The four-pixel interpolation with all channels at once. Each weight is split
// as w = 256 wh + wl (wh <= 256, wl <= 255) so that pairs of channel x weight
// products fit the signed 16-bit multiply-add: sum = 256 sum(p wh) + sum(p wl),
// which stays below 2^24 per channel, then >> 16 as in the scalar form.
inline Pixel interpolate4Word(Pixel p00, Pixel p10, Pixel p01, Pixel p11, const BilinearWeights& w)
{
    const __m128i zero = _mm_setzero_si128();
    auto pair = [](int a, int b) { return _mm_shuffle_epi32(_mm_cvtsi32_si128(a | (b << 16)), 0); };
    const __m128i top = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p00)), zero),
                                           _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p10)), zero));
    const __m128i bottom = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p01)), zero),
                                              _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(p11)), zero));
    const __m128i high = _mm_add_epi32(_mm_madd_epi16(top, pair(w.w00 >> 8, w.w10 >> 8)),
                                       _mm_madd_epi16(bottom, pair(w.w01 >> 8, w.w11 >> 8)));
    const __m128i low = _mm_add_epi32(_mm_madd_epi16(top, pair(w.w00 & 0xFF, w.w10 & 0xFF)),
                                      _mm_madd_epi16(bottom, pair(w.w01 & 0xFF, w.w11 & 0xFF)));
    const __m128i sum = _mm_srli_epi32(_mm_add_epi32(_mm_slli_epi32(high, 8), low), 16);
    const __m128i words = _mm_packs_epi32(sum, zero);
    return Pixel(_mm_cvtsi128_si32(_mm_packus_epi16(words, zero)));
}
#else
inline Pixel interpolate4Word(Pixel p00, Pixel p10, Pixel p01, Pixel p11, const BilinearWeights& w)
{
    const SourceChannels c = interpolate4(p00, p10, p01, p11, w);
    return packPixel(c.a, c.r, c.g, c.b);
}
#endif

// Per channel (p (65536 - f) + q f) / 65536.
inline SourceChannels interpolate2(Pixel p, Pixel q, int f)
{
    const std::uint64_t wp = std::uint64_t(65536 - f), wq = std::uint64_t(f);
    return channelsFromLanes(spreadBR(p) * wp + spreadBR(q) * wq, spreadGA(p) * wp + spreadGA(q) * wq, 16);
}

// The plain per-channel forms of the two interpolations (the reference the
// lane forms are tested against).
inline SourceChannels interpolate4Reference(Pixel p00, Pixel p10, Pixel p01, Pixel p11, const BilinearWeights& w)
{
    auto ch = [&](int n) {
        return (pixelByte(p00, n) * w.w00 + pixelByte(p10, n) * w.w10 + pixelByte(p01, n) * w.w01 +
                pixelByte(p11, n) * w.w11) / 65536;
    };
    return SourceChannels{ch(0), ch(1), ch(2), ch(3)};
}
inline SourceChannels interpolate2Reference(Pixel p, Pixel q, int f)
{
    auto ch = [&](int n) { return (pixelByte(p, n) * (65536 - f) + pixelByte(q, n) * f) / 65536; };
    return SourceChannels{ch(0), ch(1), ch(2), ch(3)};
}

// Exact division by a divisor fixed for a whole call: floor(n / k) =
// (n * m) >> 51 with m = ceil(2^51 / k), exact whenever n * k < 2^51 (the
// error term n * (m k - 2^51) / (k 2^51) then stays below 1 / k). Area-filter
// sums satisfy it: n <= 255 k and k <= 25 * 65536.
struct ExactDivider {
    std::uint64_t multiplier = 0;
    explicit ExactDivider(std::uint64_t divisor)
        : multiplier(((std::uint64_t(1) << 51) + divisor - 1) / divisor)
    {
    }
    int operator()(std::uint64_t n) const { return int((n * multiplier) >> 51); }
};

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
            *out = channelsOf(interpolate4Word(r0[c], r0[c + 1], r1[c], r1[c + 1], bilinearWeights(fx, fy)));
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
