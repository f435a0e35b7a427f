// scaledBlit and rotatedBlit: the unscaled shortcut, mirroring, the bilinear
// edge rules, the area-filter kernel weights, rotation mapping, pivot offsets,
// source-rectangle clipping and destination clipping.
#include "raster/Blit.h"
#include "raster/Combiners.h"
#include "raster/Sampling.h"
#include "raster/ScaledBlit.h"

#include "RasterTestSupport.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace duv {
namespace {

using test::fillNoise;
using test::GuardedBitmap;
using test::hex;
using test::Rng;

// Per channel (p * (65536 - f) + q * f) >> 16, written out for the test.
Pixel lerp(Pixel p, Pixel q, int f)
{
    Pixel out = 0;
    for (int n = 0; n < 4; ++n) {
        int a = int((p >> (8 * n)) & 0xFF), b = int((q >> (8 * n)) & 0xFF);
        out |= Pixel((a * (65536 - f) + b * f) >> 16) << (8 * n);
    }
    return out;
}

TEST(Sampling, LaneInterpolationMatchesPerChannelArithmetic)
{
    // Every pair of 8-bit values at edge and odd fractions (two channels of a
    // pixel carry the pair, the other two its mirror).
    for (int f : {0, 1, 255, 256, 32767, 32768, 65535, 40000, 12345}) {
        for (int p = 0; p < 256; ++p)
            for (int q = 0; q < 256; ++q) {
                const Pixel a = packPixel(p, q, 255 - p, p), b = packPixel(q, p, 255 - q, 255 - q);
                const SourceChannels x = interpolate2(a, b, f), y = interpolate2Reference(a, b, f);
                ASSERT_TRUE(x.b == y.b && x.g == y.g && x.r == y.r && x.a == y.a) << f << " " << p << " " << q;
            }
    }
    // Weights at the extremes of each fraction, then random ones.
    for (int fx : {0, 1, 255, 256, 65535})
        for (int fy : {0, 1, 255, 256, 65535}) {
            const BilinearWeights w = bilinearWeights(fx, fy);
            for (Pixel p : {0u, 0xFFFFFFFFu, 0x80FF017Fu})
                ASSERT_EQ(interpolate4Word(p, 0xFFFFFFFFu, p, 0xFFFFFFFFu, w),
                          [&] {
                              SourceChannels y = interpolate4Reference(p, 0xFFFFFFFFu, p, 0xFFFFFFFFu, w);
                              return packPixel(y.a, y.r, y.g, y.b);
                          }())
                    << fx << "," << fy;
        }
    Rng rng(77);
    for (int i = 0; i < 1000000; ++i) {
        const Pixel p00 = rng.next(), p10 = rng.next(), p01 = rng.next(), p11 = rng.next();
        const int fx = int(rng.next() & 0xFFFF), fy = int(rng.next() & 0xFFFF);
        const BilinearWeights w = bilinearWeights(fx, fy);
        ASSERT_EQ(w.w00 + w.w10 + w.w01 + w.w11, 65536);
        ASSERT_GE(std::min({w.w00, w.w10, w.w01, w.w11}), 0);
        const SourceChannels x = interpolate4(p00, p10, p01, p11, w);
        const SourceChannels y = interpolate4Reference(p00, p10, p01, p11, w);
        ASSERT_TRUE(x.b == y.b && x.g == y.g && x.r == y.r && x.a == y.a) << i;
        ASSERT_EQ(interpolate4Word(p00, p10, p01, p11, w), packPixel(y.a, y.r, y.g, y.b)) << i;
    }
}

TEST(Sampling, ExactDividerMatchesIntegerDivision)
{
    // Divisors of every kernel the area filter can build (65536 .. 25 * 65536)
    // and dividends up to 255 times the divisor, edges included.
    Rng rng(5);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t k = 65536 + rng.next() % (24 * 65536 + 1);
        const ExactDivider divide(k);
        for (std::uint64_t n : {std::uint64_t(0), k - 1, k, k + 1, 255 * k - 1, 255 * k,
                                std::uint64_t(rng.next()) % (255 * k + 1)})
            ASSERT_EQ(std::uint64_t(divide(n)), n / k) << n << " / " << k;
    }
}

TEST(ScaledBlit, NearlyIntegralOriginTakesTheUnscaledBlit)
{
    GuardedBitmap src(50, 50), dst(50, 50), expect(50, 50);
    fillNoise(src, 1);
    dst.fill(0);
    expect.fill(0);
    scaledBlit(&dst, &src, 0, 0, 50, 50, 10.02f, 5.0f, 50.0f, 50.0f, 1.0f, 0x100);
    RasterRect r{10, 5, 60, 55};
    blit(&expect, &src, 0, 0, &r, 1.0f, 0x100);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(dst.at(x, y), expect.at(x, y)) << x << "," << y;
    EXPECT_EQ(dst.at(39, 44), src.at(49, 49));
    EXPECT_EQ(dst.at(40, 0), 0u);

    // 0.2 away from an integer resamples bilinearly: the first row lies on
    // source row 5 exactly, so pixels interpolate horizontally only.
    dst.fill(0);
    scaledBlit(&dst, &src, 0, 0, 50, 50, 10.2f, 5.0f, 50.0f, 50.0f, 1.0f, 0x100);
    const int f = int(std::int64_t(double(10.2f) * 65536.0) & 0xFFFF);
    EXPECT_EQ(dst.at(0, 0), lerp(src.at(10, 5), src.at(11, 5), f)) << hex(dst.at(0, 0));
    EXPECT_EQ(dst.at(7, 0), lerp(src.at(17, 5), src.at(18, 5), f));
    // Without the bilinear filter the same origin is unscaled again.
    dst.fill(0);
    scaledBlit(&dst, &src, 0, 0, 50, 50, 10.2f, 5.0f, 50.0f, 50.0f, 1.0f, 0);
    EXPECT_EQ(dst.at(3, 3), src.at(13, 8));
}

TEST(ScaledBlit, NegativeWidthMirrorsLeftOfTheOrigin)
{
    GuardedBitmap src(100, 1), dst(200, 1);
    for (int x = 0; x < 100; ++x)
        src.at(x, 0) = Pixel(1000 + x);
    dst.fill(0);
    scaledBlit(&dst, &src, 150, 0, -100, 1, 0.0f, 0.0f, 100.0f, 1.0f, 1.0f, 0);
    // Walking the source backwards from srcX + srcW = 100: the first column
    // samples column 100, outside the source, and stays; then 99, 98, ...
    EXPECT_EQ(dst.at(50, 0), 0u);
    for (int x = 51; x < 150; ++x)
        ASSERT_EQ(dst.at(x, 0), Pixel(1000 + 150 - x)) << x;
    EXPECT_EQ(dst.at(49, 0), 0u);
    EXPECT_EQ(dst.at(150, 0), 0u);
    EXPECT_EQ(dst.damagedGuards(), 0);
}

TEST(ScaledBlit, BilinearNeverReadsBeyondTheBounds)
{
    // A constant source interpolates to exactly itself; a single read of the
    // canary around it would show. Several up and down scales, flipped too.
    for (bool flipped : {false, true})
        for (int size : {1, 2, 3, 7}) {
            GuardedBitmap src(size, size, 4, 2, flipped);
            src.fill(0x80402010u);
            for (int out : {1, 2, 5, 9, 16}) {
                GuardedBitmap dst(out, out);
                dst.fill(0);
                scaledBlit(&dst, &src, 0, 0, out, out, 0.0f, 0.0f, float(size), float(size), 0.9f, 0x100);
                const Pixel e = combineReference(0, 0, 0x80402010u, weightFromOpacity(0.9f));
                for (int y = 0; y < out; ++y)
                    for (int x = 0; x < out; ++x)
                        ASSERT_EQ(dst.at(x, y), e) << size << "->" << out << " at " << x << "," << y;
                ASSERT_EQ(dst.damagedGuards(), 0);
            }
        }
}

TEST(ScaledBlit, BilinearEdgeCases)
{
    // 2 x 2 up to 4 x 4: positions step by 0.5 source pixels.
    GuardedBitmap src(2, 2), dst(4, 4);
    src.at(0, 0) = 0x00000000u;
    src.at(1, 0) = 0x00000080u;
    src.at(0, 1) = 0x00008000u;
    src.at(1, 1) = 0xFFFFFFFFu;
    dst.fill(0x12345678u);
    scaledBlit(&dst, &src, 0, 0, 4, 4, 0.0f, 0.0f, 2.0f, 2.0f, 1.0f, 0x100);
    // Interior: four-pixel interpolation at (0.5, 0.5).
    {
        int fxy = (32768 * 32768) >> 16;
        int w00 = 65536 - 32768 - 32768 + fxy, w10 = 32768 - fxy, w01 = 32768 - fxy, w11 = fxy;
        Pixel e = 0;
        for (int n = 0; n < 4; ++n) {
            auto c = [&](Pixel p) { return int((p >> (8 * n)) & 0xFF); };
            e |= Pixel((c(src.at(0, 0)) * w00 + c(src.at(1, 0)) * w10 + c(src.at(0, 1)) * w01 +
                        c(src.at(1, 1)) * w11) >> 16) << (8 * n);
        }
        EXPECT_EQ(dst.at(1, 1), e) << hex(dst.at(1, 1));
    }
    // Last column: vertical interpolation only.
    EXPECT_EQ(dst.at(3, 1), lerp(src.at(1, 0), src.at(1, 1), 32768));
    // Last row: horizontal interpolation only.
    EXPECT_EQ(dst.at(1, 3), lerp(src.at(0, 1), src.at(1, 1), 32768));
    // Bottom-right source pixel drawn as it is.
    EXPECT_EQ(dst.at(3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(dst.at(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(dst.at(0, 0), 0x00000000u);
}

TEST(ScaledBlit, AreaFilterKernelWeights)
{
    // Reduction 2 with Bilinear: 3 x 3 kernel, direct neighbours 65536,
    // diagonal ones trunc(65536 / sqrt 2) = 46340.
    const std::int64_t K3 = 5 * 65536 + 4 * 46340;
    struct Case {
        int px, py;        // bright source pixel
        std::int64_t weight;
    } cases[] = {{4, 4, 65536}, {5, 4, 65536}, {4, 3, 65536}, {5, 5, 46340}, {3, 3, 46340}, {6, 4, 0}};
    for (const Case& c : cases) {
        GuardedBitmap src(10, 10), dst(5, 5);
        src.fill(0);
        src.at(c.px, c.py) = 0x000000FFu;
        dst.fill(0);
        scaledBlit(&dst, &src, 0, 0, 5, 5, 0.0f, 0.0f, 10.0f, 10.0f, 1.0f, 0x100);
        // Destination (2, 2) is centred on source (4, 4) with every tap inside.
        EXPECT_EQ(dst.at(2, 2), Pixel((255 * c.weight) / K3)) << c.px << "," << c.py;
    }
    // Reduction 4: 5 x 5 kernel; (m - 1) / distance >= 1 for every tap, so all
    // weigh 65536 (a box of 25).
    {
        GuardedBitmap src(20, 20), dst(5, 5);
        src.fill(0);
        // Destination (2, 2) is centred on source (8, 8).
        src.at(8, 8) = 0x000000FFu;
        src.at(10, 10) = 0x0000FF00u; // corner tap of the kernel
        dst.fill(0);
        scaledBlit(&dst, &src, 0, 0, 5, 5, 0.0f, 0.0f, 20.0f, 20.0f, 1.0f, 0x100);
        EXPECT_EQ(dst.at(2, 2), Pixel(255 / 25) | (Pixel(255 / 25) << 8));
    }
    // Reduction 1.8: weights trunc(0.8 * 65536) and trunc(0.8 / sqrt 2 * 65536).
    {
        const std::int64_t direct = std::int64_t(0.8 * 65536.0);
        const std::int64_t diagonal = std::int64_t((0.8 / std::sqrt(2.0)) * 65536.0);
        GuardedBitmap src(18, 18), dst(10, 10);
        src.fill(0);
        dst.fill(0);
        // Centre of destination (5, 5): column (5 * trunc(1.8 * 65536)) / 65536,
        // row trunc of five accumulated steps of 1.8.
        const int column = int((5 * std::int64_t(1.8 * 65536.0)) / 65536);
        double sy = 0.0;
        for (int i = 0; i < 5; ++i)
            sy += 1.8;
        const int row = int(sy);
        src.at(column + 1, row) = 0x000000FFu;
        src.at(column + 1, row + 1) = 0x0000FF00u;
        scaledBlit(&dst, &src, 0, 0, 10, 10, 0.0f, 0.0f, 18.0f, 18.0f, 1.0f, 0x100);
        const std::int64_t K = 65536 + 4 * direct + 4 * diagonal;
        Pixel p = dst.at(5, 5);
        EXPECT_EQ(p & 0xFF, Pixel((255 * direct) / K)) << hex(p);
        EXPECT_EQ((p >> 8) & 0xFF, Pixel((255 * diagonal) / K)) << hex(p);
    }
    // Below 1.7 in either direction: plain bilinear (a 1.5 reduction of a
    // constant stays that constant, with no kernel involved).
}

TEST(ScaledBlit, DestinationClippingMatchesTheUnclippedPicture)
{
    GuardedBitmap src(12, 9);
    fillNoise(src, 5);
    for (BlitMode mode : {0u, 0x100u, 0x10100u, 0x101u}) {
        GuardedBitmap big(60, 60), small(20, 15);
        big.fill(0x01010101u);
        small.fill(0x01010101u);
        // Upscale by 2 (steps of 0.5 source pixels are exact in 16.16).
        scaledBlit(&big, &src, 10, 12, 24, 18, 0.0f, 0.0f, 12.0f, 9.0f, 0.8f, mode);
        scaledBlit(&small, &src, 10 - 15, 12 - 10, 24, 18, 0.0f, 0.0f, 12.0f, 9.0f, 0.8f, mode);
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(small.at(x, y), big.at(x + 15, y + 10)) << "mode " << mode << " at " << x << "," << y;
        ASSERT_EQ(small.damagedGuards(), 0);
        ASSERT_EQ(big.damagedGuards(), 0);
    }
}

TEST(ScaledBlit, NothingForZeroSizesOpacityOrNonFinite)
{
    GuardedBitmap src(4, 4), dst(4, 4);
    src.fill(0xFFFFFFFFu);
    dst.fill(0);
    scaledBlit(&dst, &src, 0, 0, 0, 4, 0, 0, 2, 2, 1.0f, 0);
    scaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, 0.0f, 0);
    scaledBlit(&dst, &src, 0, 0, 4, 4, NAN, 0, 2, 2, 1.0f, 0);
    scaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, INFINITY, 2, 1.0f, 0x100);
    scaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, 1.0f, 0x106);
    scaledBlit(&dst, &src, 4, 0, 4, 4, 0, 0, 2, 2, 1.0f, 0);
    scaledBlit(&dst, &src, 0, 0, 4, 4, 5, 5, 2, 2, 1.0f, 0); // window outside the source
    scaledBlit(nullptr, &src, 0, 0, 4, 4, 0, 0, 2, 2, 1.0f, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dst.at(x, y), 0u);
}

TEST(RotatedBlit, ZeroAngleReproducesTheSource)
{
    for (bool flipped : {false, true}) {
        GuardedBitmap src(9, 7, 3, 1, flipped), dst(9, 7);
        fillNoise(src, 11);
        dst.fill(0);
        rotatedBlit(&dst, &src, 0, 0, 9, 7, 0, 0, 9, 7, 0.0f, false, 1.0f, 0, 0.0f, 0.0f);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(dst.at(x, y), src.at(x, y)) << x << "," << y;
    }
}

TEST(RotatedBlit, QuarterTurnMapping)
{
    // Clockwise on screen by pi/2: destination (j, i) shows source (i, N - j),
    // with the steps truncated to 16.16: the sine of the float nearest pi/2 is
    // just below 1, so a row step is 65535 and row i reads column
    // (i * 65535) >> 16. Destination column 0 maps to row N, outside, and stays.
    const int N = 6;
    GuardedBitmap src(N, N), dst(N, N);
    fillNoise(src, 12);
    dst.fill(0);
    rotatedBlit(&dst, &src, 0, 0, N, N, 0, 0, N, N, float(M_PI / 2), false, 1.0f, 0, 0.0f, 0.0f);
    for (int i = 0; i < N; ++i)
        for (int j = 0; j < N; ++j)
            ASSERT_EQ(dst.at(j, i), j == 0 ? 0u : src.at((i * 65535) >> 16, N - j)) << j << "," << i;
}

TEST(RotatedBlit, PivotOffsetsMoveTheMappedCentre)
{
    // At any angle the destination centre shows the source point
    // (srcX + srcW / 2 + rotXCentre, srcY + srcH / 2 + rotYCentre).
    GuardedBitmap src(40, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            src.at(x, y) = Pixel(y * 100 + x);
    for (float angle : {0.0f, 0.3f, -1.2f, 2.5f})
        for (float rx : {0.25f, 3.25f, -4.75f})
            for (float ry : {0.25f, -2.75f}) {
                GuardedBitmap dst(20, 20);
                dst.fill(0xFFFFFFFFu);
                rotatedBlit(&dst, &src, 0, 0, 20, 20, 10, 10, 20, 20, angle, false, 1.0f, 0, rx, ry);
                const int sx = int(std::floor(20.0f + rx)), sy = int(std::floor(20.0f + ry));
                EXPECT_EQ(dst.at(10, 10), Pixel(sy * 100 + sx)) << angle << " " << rx << " " << ry;
            }
    // Angle 0 with a pivot shift of two pixels shifts the picture by two.
    GuardedBitmap dst(10, 10);
    dst.fill(0);
    rotatedBlit(&dst, &src, 0, 0, 10, 10, 0, 0, 10, 10, 0.0f, false, 1.0f, 0, 2.0f, 0.0f);
    EXPECT_EQ(dst.at(0, 0), src.at(2, 0));
    EXPECT_EQ(dst.at(9, 9), src.at(11, 9)); // beyond the window: the whole bitmap may be sampled
}

TEST(RotatedBlit, ClipToSourceRectLimitsSampling)
{
    GuardedBitmap src(8, 8);
    fillNoise(src, 13);
    for (bool clip : {false, true}) {
        GuardedBitmap dst(4, 4);
        dst.fill(0);
        rotatedBlit(&dst, &src, 0, 0, 4, 4, 2, 2, 4, 4, 0.0f, clip, 1.0f, 0, 1.0f, 0.0f);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool inWindow = x + 3 < 6;
                Pixel e = (!clip || inWindow) ? src.at(x + 3, y + 2) : 0u;
                ASSERT_EQ(dst.at(x, y), e) << clip << " " << x << "," << y;
            }
    }
}

TEST(RotatedBlit, BilinearConstantSourceAndClippedDestination)
{
    GuardedBitmap src(5, 5, 3, 0);
    src.fill(0x10203040u);
    for (int ox : {-30, -3, 0, 4, 30})
        for (int oy : {-30, -2, 0, 3, 30}) {
            GuardedBitmap dst(8, 8);
            dst.fill(0);
            rotatedBlit(&dst, &src, ox, oy, 8, 8, 0, 0, 5, 5, 0.7f, false, 1.0f, 0x100, -0.5f, 0.0f);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    ASSERT_TRUE(dst.at(x, y) == 0u || dst.at(x, y) == 0x10203040u) << hex(dst.at(x, y));
            ASSERT_EQ(dst.damagedGuards(), 0);
        }
    GuardedBitmap dst(8, 8);
    dst.fill(0);
    rotatedBlit(&dst, &src, 0, 0, 8, 8, 0, 0, 5, 5, 0.7f, false, 0.0f, 0x100, 0, 0);
    rotatedBlit(&dst, &src, 0, 0, 0, 8, 0, 0, 5, 5, 0.7f, false, 1.0f, 0x100, 0, 0);
    rotatedBlit(&dst, &src, 0, 0, 8, 8, 0, 0, 5, 5, NAN, false, 1.0f, 0x100, 0, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(dst.at(x, y), 0u);
}

} // namespace
} // namespace duv
