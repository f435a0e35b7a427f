// The combiners' exact integer formulas: edge weights, source-alpha rules, the
// integer HSV conversions, and the fast functors held bit-identical to the
// literal reference (exhaustively over 8-bit pairs, and on random samples).
#include "raster/CombinerKernels.h"
#include "raster/Combiners.h"

#include "RasterTestSupport.h"

#include <gtest/gtest.h>

namespace duv {
namespace {

using test::hex;
using test::Rng;

Pixel grey(int v, int a) { return packPixel(a, v, v, v); }

int channel(int combiner, int d, int s, int w) { return combineChannelReference(combiner, d, s, w); }

TEST(CombinerCopy, EdgeWeights)
{
    EXPECT_EQ(channel(kCombinerCopy, 17, 200, 256), 200);   // full weight replaces
    EXPECT_EQ(channel(kCombinerCopy, 0, 255, 128), 127);    // (255 * 128) / 256
    EXPECT_EQ(channel(kCombinerCopy, 255, 0, 128), 127);
    EXPECT_EQ(channel(kCombinerCopy, 99, 200, 0), 99);      // zero weight keeps
    EXPECT_EQ(channel(kCombinerCopy, 0, 255, 1), 0);        // 255 / 256 truncates
    EXPECT_EQ(channel(kCombinerCopy, 0, 255, 255), 254);    // 65025 / 256
    EXPECT_EQ(channel(kCombinerCopy, 100, 200, 300), 217);  // (60000 - 4400) / 256 = 217.19
    EXPECT_EQ(channel(kCombinerCopy, 200, 10, 300), 0);     // (3000 - 8800) / 256 < 0 clamps
    EXPECT_EQ(channel(kCombinerCopy, 10, 250, 512), 255);   // overshoot clamps at 255
}

TEST(CombinerAdd, ProductDividedBeforeAddition)
{
    EXPECT_EQ(channel(kCombinerAdd, 200, 100, 128), 250);
    EXPECT_EQ(channel(kCombinerAdd, 200, 100, 256), 255);
    EXPECT_EQ(channel(kCombinerAdd, 50, 100, -256), 0);     // negative opacity subtracts, clamps at 0
    EXPECT_EQ(channel(kCombinerAdd, 150, 100, -256), 50);
    EXPECT_EQ(channel(kCombinerAdd, 10, 1, 255), 10);       // 255 / 256 = 0
    EXPECT_EQ(channel(kCombinerAdd, 10, -1 + 2, -255), 10); // -255 / 256 truncates toward zero
    EXPECT_EQ(channel(kCombinerAdd, 10, 3, -256), 7);
}

TEST(CombinerDodge, FullSourceSaturatesNonZero)
{
    for (int d = 0; d < 256; ++d)
        EXPECT_EQ(channel(kCombinerDodge, d, 255, 256), d == 0 ? 0 : 255) << d;
    EXPECT_EQ(channel(kCombinerDodge, 100, 128, 256), 200); // 100 * 256 / 128
    EXPECT_EQ(channel(kCombinerDodge, 100, 128, 128), 133); // s' = 64: 25600 / 192
    EXPECT_EQ(channel(kCombinerDodge, 100, 255, -256), 50); // s' = -255: 25600 / 511
    EXPECT_EQ(channel(kCombinerDodge, 77, 0, 256), 77);
}

TEST(CombinerMultiply, WhiteAndBlack)
{
    EXPECT_EQ(channel(kCombinerMultiply, 255, 255, 256), 254); // D * 255 / 256
    EXPECT_EQ(channel(kCombinerMultiply, 100, 255, 256), 99);
    EXPECT_EQ(channel(kCombinerMultiply, 200, 0, 256), 0);
    EXPECT_EQ(channel(kCombinerMultiply, 200, 0, 0), 200);     // zero weight: 65536 * D / 65536
    EXPECT_EQ(channel(kCombinerMultiply, 200, 0, 128), 100);
    Pixel black = packPixel(255, 0, 0, 0);
    Pixel out = combineReference(kCombinerMultiply, 0xFF336699u, black, 256);
    EXPECT_EQ(out, 0xFE000000u) << hex(out); // colours cleared, alpha 255 * 255 / 256
}

TEST(CombinerOverlay, MidGreyIsNeutral)
{
    for (int d = 0; d < 256; ++d)
        EXPECT_EQ(channel(kCombinerOverlay, d, 128, 256), d) << d;
    // k = 0: ((d * 32768) / 256) * d / 32768 = d^2 / 256.
    EXPECT_EQ(channel(kCombinerOverlay, 200, 0, 256), 156);
    // k = 65280: ((d * -32512) / 256 + 65280) * d / 32768.
    EXPECT_EQ(channel(kCombinerOverlay, 100, 255, 256), (((100 * -32512) / 256 + 65280) * 100) / 32768);
}

TEST(CombinerHsv, ReciprocalTable)
{
    EXPECT_EQ(kReciprocalTable[0], 0);
    EXPECT_EQ(kReciprocalTable[1], 65535);
    EXPECT_EQ(kReciprocalTable[2], 32767);
    EXPECT_EQ(kReciprocalTable[3], 21844);
    EXPECT_EQ(kReciprocalTable[255], 256);
}

TEST(CombinerHsv, ConversionOfPrimaries)
{
    struct Case {
        int r, g, b, h, s, v;
    } cases[] = {
        {255, 0, 0, 0, 255, 255},     {0, 255, 0, 128, 255, 255}, {0, 0, 255, 256, 255, 255},
        // Secondary colours: 255 * 257 / 1024 = 63 away from the sector base.
        {255, 255, 0, 63, 255, 255},  {0, 255, 255, 193, 255, 255}, {255, 0, 255, 319, 255, 255},
        {128, 128, 128, 256, 0, 128}, {0, 0, 0, 256, 0, 0},
        // G > R and G > B: base 128, diff B - R = -100; (-100 * 327) / 1024 = -31.
        {100, 200, 0, 128 - 31, (200 * 326) / 256, 200},
    };
    for (const Case& c : cases) {
        HsvColour hsv = rgbToHsv(c.r, c.g, c.b);
        EXPECT_EQ(hsv.h, c.h) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(hsv.s, c.s) << c.r << "," << c.g << "," << c.b;
        EXPECT_EQ(hsv.v, c.v) << c.r << "," << c.g << "," << c.b;
    }
    EXPECT_EQ(hsvToPixel(0, 255, 255, 0xFF), 0xFFFF0000u);
    EXPECT_EQ(hsvToPixel(128, 255, 255, 0x12), 0x1200FF00u);
    EXPECT_EQ(hsvToPixel(256, 255, 255, 0), 0x000000FFu);
    EXPECT_EQ(hsvToPixel(300, 0, 77, 0x80), 0x804D4D4Du); // no saturation: grey
    // Components keep their low 8 bits: an out-of-range hue far past the table.
    EXPECT_EQ(hsvToPixel(1000, 255, 255, 0) >> 24, 0u);
}

TEST(CombinerHsv, NeutralSourceKeepsGreysAndSetsAlpha)
{
    for (int v = 0; v < 256; ++v) {
        Pixel out = combineReference(kCombinerHsvAdjust, grey(v, 0x33), grey(128, 0x9A), 256);
        EXPECT_EQ(out, grey(v, 0x9A)) << v;
    }
    // Primaries survive the integer round trip exactly.
    for (Pixel p : {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}) {
        Pixel out = combineReference(kCombinerHsvAdjust, p, grey(128, 0x40), 256);
        EXPECT_EQ(out, (p & 0x00FFFFFFu) | 0x40000000u) << hex(p);
    }
}

TEST(CombinerHsv, HueTurnsAndWraps)
{
    // Source red 0: hue moves by (0 + 0 - 192) * 256 / 256 = -192 (half a circle).
    Pixel out = combineReference(kCombinerHsvAdjust, 0xFFFF0000u, packPixel(0xFF, 0, 128, 128), 256);
    // Red (H 0) - 192 wraps to 192: cyan-blue boundary: p, f(0) = V, V.
    EXPECT_EQ(out, 0xFF00FFFFu) << hex(out);
    // Saturation down fully (source green 0 at 512 is -256): grey at V.
    out = combineReference(kCombinerHsvAdjust, 0xFFFF0000u, packPixel(0xFF, 128, 0, 128), 512);
    EXPECT_EQ(out & 0x00FFFFFFu, 0x00FFFFFFu) << hex(out);
    // Value up by (255 - 128) clamps at 255; on black it makes grey 127.
    out = combineReference(kCombinerHsvAdjust, 0xFF000000u, packPixel(0xFF, 128, 128, 255), 256);
    EXPECT_EQ(out, 0xFF7F7F7Fu) << hex(out);
}

TEST(CombinerSourceAlpha, SkipsAndScales)
{
    const Pixel d = 0x80402010u;
    const Pixel s = 0x00FFFFFFu; // alpha 0
    for (BlitMode m : {0x10000u, 0x10001u, 0x10003u})
        EXPECT_EQ(combineReference(m, d, s, 256), d) << m;
    // Dodge has no skip but w' = 256 / 256 = 1 makes s' = 0: unchanged anyway.
    EXPECT_EQ(combineReference(0x10002u, d, s, 256), d);
    // Overlay has no skip: w' = 1 still moves the destination.
    Pixel overlaid = combineReference(0x10004u, packPixel(100, 100, 100, 100), packPixel(0, 0, 0, 0), 256);
    EXPECT_NE(overlaid, packPixel(100, 100, 100, 100));
    EXPECT_EQ(pixelR(overlaid), channel(kCombinerOverlay, 100, 0, 1));
    // Alpha 255 at w 256: w' = 256, a full replace with Copy.
    EXPECT_EQ(combineReference(0x10000u, d, 0xFF123456u, 256), 0xFF123456u);
    // Alpha 127 at w 256: w' = 128.
    EXPECT_EQ(combineReference(0x10000u, 0x00000000u, 0x7FFFFFFFu, 256), combineReference(0u, 0u, 0x7FFFFFFFu, 128));
    // Negative weights truncate toward zero: -256 * 128 / 256 = -128.
    EXPECT_EQ(combineReference(0x10001u, grey(200, 200), grey(100, 127), -256),
              combineReference(1u, grey(200, 200), grey(100, 127), -128));
    // HsvAdjust: destination alpha becomes the source alpha.
    EXPECT_EQ(combineReference(0x10005u, grey(50, 1), grey(128, 0x77), 256) >> 24, 0x77u);
}

TEST(CombinerSelection, UnknownValuesDrawNothing)
{
    for (BlitMode m : {6u, 7u, 0xEFu, 0x10006u, 0x20000u, 0x100u})
        EXPECT_EQ(combineReference(m, 0x11223344u, 0xFFFFFFFFu, 256), 0x11223344u) << m;
}

// Fast functor (as dispatched) against the reference for one pixel pair.
Pixel fastCombine(BlitMode selection, Pixel d, const SourceChannels& s, int w)
{
    Pixel out = d;
    kernels::dispatchCombiner(selection, w, [&](auto combine) { out = combine(d, s, w); });
    return out;
}

const BlitMode kSelections[] = {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005};

TEST(CombinerFastPaths, ExhaustiveEightBitPairsMatchReference)
{
    // Every (source, destination) byte pair, with the four channels of each
    // pixel taking differently mixed pairs; every selection at the edge weights.
    const int weights[] = {0, 1, 127, 128, 255, 256, -1, -256, 257, 300, 511, kMaxWeight, -kMaxWeight};
    for (BlitMode sel : kSelections) {
        for (int w : weights) {
            int mismatches = 0;
            for (int s = 0; s < 256 && mismatches < 5; ++s) {
                for (int d = 0; d < 256; ++d) {
                    Pixel dp = packPixel(d, 255 - d, d ^ 0x5A, (d + s) & 0xFF);
                    Pixel sp = packPixel(s, s ^ 0xA5, 255 - s, (s * 7) & 0xFF);
                    Pixel ref = combineReference(sel, dp, sp, w);
                    Pixel fast = fastCombine(sel, dp, channelsOf(sp), w);
                    if (ref != fast && mismatches++ < 5)
                        ADD_FAILURE() << "sel " << sel << " w " << w << " s " << s << " d " << d << ": ref "
                                      << hex(ref) << " fast " << hex(fast);
                }
            }
        }
    }
}

TEST(CombinerFastPaths, RandomPixelsWeightsAndModesMatchReference)
{
    // Four million random cases; the weight mixes the common range with
    // negative and oversized ones.
    int mismatches = 0;
    for (std::uint32_t i = 0; i < 4000000 && mismatches < 10; ++i) {
        Rng rng(i);
        const BlitMode sel = kSelections[rng.next() % 12];
        const Pixel d = rng.next(), s = rng.next();
        int w;
        switch (rng.next() % 4) {
        case 0: w = rng.range(0, 256); break;
        case 1: w = rng.range(-300, 600); break;
        case 2: w = rng.range(-kMaxWeight, kMaxWeight); break;
        default: w = (rng.next() & 1) ? 256 : 128; break;
        }
        // fillRect passes the weight itself as the source alpha value (only
        // with the plain combiners; the source-alpha variants read pixel bytes).
        SourceChannels sc = channelsOf(s);
        if (rng.next() % 8 == 0 && sel < kBlitUseSourceAlpha)
            sc.a = w;
        Pixel ref = combineReference(sel, d, sc, w);
        Pixel fast = fastCombine(sel, d, sc, w);
        if (ref != fast) {
            ++mismatches;
            ADD_FAILURE() << "case " << i << " sel " << sel << " w " << w << " d " << hex(d) << " s " << hex(s)
                          << ": ref " << hex(ref) << " fast " << hex(fast);
        }
    }
}

#if defined(__SSE2__)
TEST(CombinerFastPaths, Sse2RowsMatchReferenceForEveryAlphaAndWeight)
{
    // Rows of 7 (vector body plus a tail) over every source alpha, at every
    // weight 0..256, against the scalar reference.
    std::vector<Pixel> src(7), dst(7), expect(7);
    for (int w = 0; w <= 256; ++w) {
        for (int a = 0; a < 256; ++a) {
            for (int i = 0; i < 7; ++i) {
                src[i] = packPixel(a, (a * 3 + i * 37) & 0xFF, (255 - a + i) & 0xFF, (i * 91) & 0xFF);
                dst[i] = packPixel((i * 50) & 0xFF, (a + 128) & 0xFF, (w + i) & 0xFF, 255 - i);
            }
            for (int i = 0; i < 7; ++i)
                expect[i] = combineReference(0x10000u, dst[i], src[i], w);
            std::vector<Pixel> out = dst;
            kernels::copySourceAlphaRowSse2(out.data(), src.data(), 7, w);
            ASSERT_EQ(out, expect) << "source alpha, w " << w << " a " << a;
            for (int i = 0; i < 7; ++i)
                expect[i] = combineReference(0u, dst[i], src[i], w);
            out = dst;
            kernels::copyRowSse2(out.data(), src.data(), 7, w);
            ASSERT_EQ(out, expect) << "copy, w " << w << " a " << a;
        }
    }
}
#endif

TEST(CombinerWeights, OpacityToWeight)
{
    EXPECT_EQ(weightFromOpacity(1.0f), 256);
    EXPECT_EQ(weightFromOpacity(0.5f), 128);
    EXPECT_EQ(weightFromOpacity(0.999f), 255);
    EXPECT_EQ(weightFromOpacity(-1.0f), -256);
    EXPECT_EQ(weightFromOpacity(-0.001f), 0);  // truncation toward zero
    EXPECT_EQ(weightFromOpacity(1.0e9f), kMaxWeight);
    EXPECT_EQ(weightFromOpacity(-1.0e9f), -kMaxWeight);
    EXPECT_EQ(weightFromOpacity(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_TRUE(opacityDrawsNothing(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(circleWeightFromOpacity(1.0f), 255);
}

} // namespace
} // namespace duv
