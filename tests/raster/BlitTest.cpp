// blit, copyBitmap, fillRect, putPixel and drawGlyph: clipping at every edge
// (guards checked), the word-level fast paths, ChannelCopy, source alpha and
// bottom-up bitmaps.
#include "raster/Blit.h"
#include "raster/Combiners.h"
#include "raster/PixelAccess.h"

#include "RasterTestSupport.h"

#include <gtest/gtest.h>

namespace duv {
namespace {

using test::fillNoise;
using test::GuardedBitmap;
using test::hex;
using test::Rng;

TEST(Blit, NegativeSourceRectCutsWithoutShifting)
{
    GuardedBitmap src(20, 20), dst(30, 30);
    fillNoise(src, 1);
    dst.fill(0);
    RasterRect r{-5, -5, 10, 10};
    blit(&dst, &src, 4, 6, &r, 1.0f, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            bool inside = x >= 4 && x < 14 && y >= 6 && y < 16;
            ASSERT_EQ(dst.at(x, y), inside ? src.at(x - 4, y - 6) : 0u) << x << "," << y;
        }
    EXPECT_EQ(dst.damagedGuards(), 0);
}

TEST(Blit, ClipsAtEveryEdge)
{
    // Every destination offset from fully left/above to fully right/below, with
    // and without a source rectangle, flipped and not; a naive per-pixel model
    // gives the expected picture.
    for (bool flipSrc : {false, true})
        for (bool flipDst : {false, true}) {
            GuardedBitmap src(7, 5, 2, 3, flipSrc);
            fillNoise(src, 7);
            for (int dy = -7; dy <= 10; ++dy)
                for (int dx = -9; dx <= 12; ++dx) {
                    GuardedBitmap dst(8, 6, 3, 2, flipDst);
                    dst.fill(0x01010101u);
                    RasterRect r{1, -1, 6, 4};
                    blit(&dst, &src, dx, dy, &r, 1.0f, 0);
                    for (int y = 0; y < 6; ++y)
                        for (int x = 0; x < 8; ++x) {
                            // Area: columns 1..5, rows 0..3 of the source; placed at (dx, dy).
                            int sx = x - dx + 1, sy = y - dy;
                            bool drawn = sx >= 1 && sx < 6 && sy >= 0 && sy < 4;
                            ASSERT_EQ(dst.at(x, y), drawn ? src.at(sx, sy) : 0x01010101u)
                                << "offset " << dx << "," << dy << " pixel " << x << "," << y;
                        }
                    ASSERT_EQ(dst.damagedGuards(), 0) << dx << "," << dy;
                    ASSERT_EQ(src.damagedGuards(), 0);
                }
        }
}

TEST(Blit, NegativeDestinationSkipsSourceColumns)
{
    GuardedBitmap src(10, 1), dst(10, 1);
    for (int x = 0; x < 10; ++x)
        src.at(x, 0) = Pixel(x + 1);
    dst.fill(0);
    blit(&dst, &src, -3, 0, 0, 0, 10, 1, 1.0f, 0);
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(dst.at(x, 0), x < 7 ? Pixel(x + 4) : 0u) << x;
}

TEST(Blit, HalfOpacityCopyAveragesBytes)
{
    GuardedBitmap src(3, 2), dst(3, 2);
    src.fill(0x01010101u);
    dst.fill(0xFFFFFFFFu);
    blit(&dst, &src, 0, 0, nullptr, 0.5f, 0);
    EXPECT_EQ(dst.at(2, 1), 0x7F7F7F7Fu); // 0x7F + 0x00 per byte, not 0x80
    // The general formula would give (1 * 128 + 255 * 128) / 256 = 128.
    EXPECT_EQ(combineReference(0, 0xFFFFFFFFu, 0x01010101u, 128), 0x80808080u);
}

TEST(Blit, OtherOpacitiesUseTheCombiner)
{
    GuardedBitmap src(5, 4), dst(5, 4), expect(5, 4);
    fillNoise(src, 3);
    for (float alpha : {0.25f, 0.75f, 0.3f, 1.5f, -0.5f}) {
        for (BlitMode mode : {0u, 1u, 2u, 3u, 4u, 5u, 0x10000u, 0x10001u, 0x10004u}) {
            fillNoise(dst, 4);
            fillNoise(expect, 4);
            blit(&dst, &src, 0, 0, nullptr, alpha, mode);
            const int w = weightFromOpacity(alpha);
            const bool drawsCopy = (mode & 0xFF) != 0 || alpha > 0;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x) {
                    Pixel e = drawsCopy ? combineReference(mode, expect.at(x, y), src.at(x, y), w) : expect.at(x, y);
                    ASSERT_EQ(dst.at(x, y), e) << "alpha " << alpha << " mode " << mode;
                }
        }
    }
}

TEST(Blit, SourceAlphaCopySkipsTransparentAndReplacesOpaque)
{
    GuardedBitmap src(2, 1), dst(2, 1);
    src.at(0, 0) = 0x00FF0000u;
    src.at(1, 0) = 0xFF00FF00u;
    dst.fill(0x80123456u);
    blit(&dst, &src, 0, 0, nullptr, 1.0f, 0x10000);
    EXPECT_EQ(dst.at(0, 0), 0x80123456u);
    EXPECT_EQ(dst.at(1, 0), 0xFF00FF00u);
}

TEST(Blit, ChannelCopyMovesOneByte)
{
    GuardedBitmap src(3, 2), dst(3, 2);
    src.fill(0xAB010203u);
    dst.fill(0x11223344u);
    blit(&dst, &src, 0, 0, nullptr, 1.0f, 0xF3); // source byte 3 -> destination byte 0
    EXPECT_EQ(dst.at(1, 1), 0x112233ABu);
    blit(&dst, &src, 0, 0, nullptr, 0.2f, 0xF9); // source byte 1 -> destination byte 2
    EXPECT_EQ(dst.at(1, 1), 0x110233ABu);
    blit(&dst, &src, 0, 0, nullptr, 1.0f, 0xFE); // byte 2 -> byte 3
    EXPECT_EQ(dst.at(2, 0), 0x010233ABu);
}

TEST(Blit, NothingDrawnForZeroOpacityNullsAndUnknownModes)
{
    GuardedBitmap src(3, 3), dst(3, 3);
    src.fill(0xFFFFFFFFu);
    dst.fill(0x01020304u);
    blit(&dst, &src, 0, 0, nullptr, 0.0f, 0);
    blit(&dst, &src, 0, 0, nullptr, std::numeric_limits<float>::quiet_NaN(), 1);
    blit(&dst, nullptr, 0, 0, nullptr, 1.0f, 0);
    blit(nullptr, &src, 0, 0, nullptr, 1.0f, 0);
    blit(&dst, &src, 0, 0, nullptr, 0.7f, 6);
    blit(&dst, &src, 0, 0, nullptr, -1.0f, 0); // negative Copy draws nothing
    blit(&dst, &src, 3, 0, nullptr, 1.0f, 0);
    blit(&dst, &src, 0, -3, nullptr, 1.0f, 0);
    blit(&dst, &src, INT32_MIN, INT32_MAX, 0, 0, INT32_MAX, INT32_MAX, 1.0f, 0);
    MemoryBitmap empty(0, 0);
    blit(&dst, &empty, 0, 0, nullptr, 1.0f, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(dst.at(x, y), 0x01020304u);
    EXPECT_EQ(dst.damagedGuards(), 0);
}

TEST(Blit, AddWithNegativeOpacitySubtracts)
{
    GuardedBitmap src(1, 1), dst(1, 1);
    src.fill(0x10204080u);
    dst.fill(0x20304050u);
    blit(&dst, &src, 0, 0, nullptr, -1.0f, 1);
    EXPECT_EQ(dst.at(0, 0), 0x10100000u);
}

TEST(CopyBitmap, ResizesAndCopies)
{
    GuardedBitmap src(5, 3);
    fillNoise(src, 9);
    MemoryBitmap dst(1, 1);
    copyBitmap(&dst, &src);
    ASSERT_EQ(dst.getWidth(), 5);
    ASSERT_EQ(dst.getHeight(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(getPixel(&dst, x, y), src.at(x, y));
    copyBitmap(nullptr, &src);
    copyBitmap(&dst, nullptr);
}

TEST(FillRect, WordPathsAtCommonOpacities)
{
    const Pixel c = 0x80FF4010u, d = 0xFF0080FFu;
    struct Case {
        float alpha;
        Pixel expect;
    } cases[] = {
        {1.0f, c},
        {0.5f, ((c >> 1) & 0x7F7F7F7Fu) + ((d >> 1) & 0x7F7F7F7Fu)},
        {0.25f, ((c >> 2) & 0x3F3F3F3Fu) + ((d >> 2) & 0x3F3F3F3Fu) + ((d >> 1) & 0x7F7F7F7Fu)},
        {0.75f, ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu) + ((d >> 2) & 0x3F3F3F3Fu)},
    };
    for (const Case& k : cases) {
        for (BlitMode mode : {0u, 0x100u}) {
            GuardedBitmap b(4, 4);
            b.fill(d);
            fillRect(&b, 1, 1, 2, 2, c, k.alpha, mode);
            EXPECT_EQ(b.at(1, 1), k.expect) << k.alpha;
            EXPECT_EQ(b.at(2, 2), k.expect) << k.alpha;
            EXPECT_EQ(b.at(0, 0), d);
            EXPECT_EQ(b.at(3, 3), d);
        }
    }
    // 0.25 spelled out for the alpha byte: 0x80 >> 2 + 0xFF >> 2 + 0xFF >> 1.
    EXPECT_EQ(cases[2].expect >> 24, 0x20u + 0x3Fu + 0x7Fu);
}

TEST(FillRect, SourceAlphaScalesOpacityAndBlendsWeightIntoAlpha)
{
    GuardedBitmap b(2, 2);
    b.fill(0x00000000u);
    // Alpha byte 128 -> opacity 128 * 0.003921569 (not 0.5), weight 128.
    fillRect(&b, 0, 0, 2, 2, 0x80FF0000u, 1.0f, 0x10000);
    EXPECT_EQ(b.at(1, 1), 0x407F0000u) << hex(b.at(1, 1));
    // At weight 256 (opacity slightly above 1) the alpha value 256 overshoots
    // and clamps: (256 * 256 + 0) / 256 = 256 -> 255.
    b.fill(0x00000000u);
    fillRect(&b, 0, 0, 2, 2, 0x00102030u, 1.002f, 0);
    EXPECT_EQ(b.at(0, 0), 0xFF102030u) << hex(b.at(0, 0));
}

TEST(FillRect, ClipsAndSkipsUnknownCombiners)
{
    for (bool flipped : {false, true}) {
        GuardedBitmap b(5, 4, 2, 1, flipped);
        b.fill(0);
        fillRect(&b, -3, -2, 5, 4, 0xFFFFFFFFu, 1.0f, 0);
        fillRect(&b, 4, 3, 100, 100, 0x01010101u, 0.3f, 1);
        fillRect(&b, 0, 0, 5, 4, 0x12345678u, 1.0f, 7);
        fillRect(&b, 0, 0, 5, 4, 0x12345678u, 0.6f, 7);
        fillRect(&b, 5, 0, 5, 4, 0x12345678u, 1.0f, 0);
        fillRect(&b, 0, 0, -1, 4, 0x12345678u, 1.0f, 0);
        fillRect(&b, 0, 0, 5, 4, 0x12345678u, -1.0f, 0);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x) {
                Pixel e = (x < 2 && y < 2) ? 0xFFFFFFFFu : 0u;
                if (x == 4 && y == 3)
                    e = Pixel((76 * 76) / 256) << 24; // Add: colour 1 * 76 / 256 = 0; alpha value is w = 76
                EXPECT_EQ(b.at(x, y), e) << x << "," << y;
            }
        EXPECT_EQ(b.damagedGuards(), 0);
    }
}

TEST(PutPixel, WordPathsCombinersAndBounds)
{
    GuardedBitmap b(3, 3);
    b.fill(0x10101010u);
    putPixel(&b, 0, 0, 0xF0F0F0F0u, 1.0f, 0x10000); // bit 16 ignored
    EXPECT_EQ(b.at(0, 0), 0xF0F0F0F0u);
    putPixel(&b, 1, 0, 0xF0F0F0F0u, 0.5f, 0);
    EXPECT_EQ(b.at(1, 0), 0x80808080u);
    putPixel(&b, 2, 0, 0x20202020u, 1.0f, 1); // Add uses the colour's alpha as the source alpha value
    EXPECT_EQ(b.at(2, 0), 0x30303030u);
    putPixel(&b, 0, 1, 0x00FFFFFFu, 0.6f, 0x10000); // no source-alpha skip for points
    EXPECT_EQ(b.at(0, 1), combineReference(0, 0x10101010u, 0x00FFFFFFu, weightFromOpacity(0.6f)));
    putPixel(&b, 1, 1, 0xFFFFFFFFu, 1.0f, 7);
    putPixel(&b, 1, 1, 0xFFFFFFFFu, 0.0f, 1);
    putPixel(&b, -1, 1, 0xFFFFFFFFu, 1.0f, 0);
    putPixel(&b, 3, 1, 0xFFFFFFFFu, 1.0f, 0);
    putPixel(&b, 1, 3, 0xFFFFFFFFu, 1.0f, 0);
    EXPECT_EQ(b.at(1, 1), 0x10101010u);
    EXPECT_EQ(b.damagedGuards(), 0);
}

TEST(DrawGlyph, CoverageWeightsAndClippedEntry)
{
    const std::uint8_t coverage[3 * 2] = {0, 128, 255, 64, 0, 200};
    for (int ox : {-2, -1, 0, 1, 2})
        for (int oy : {-1, 0, 1}) {
            GuardedBitmap b(3, 2);
            b.fill(0x00000000u);
            drawGlyph(&b, ox, oy, 0xFFFFFFFFu, coverage, 3, 2, 1.0f, 0x10000);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    int cx = x - ox, cy = y - oy;
                    Pixel e = 0;
                    if (cx >= 0 && cx < 3 && cy >= 0 && cy < 2 && coverage[cy * 3 + cx])
                        e = combineReference(0, 0, 0xFFFFFFFFu, (256 * coverage[cy * 3 + cx]) / 256);
                    ASSERT_EQ(b.at(x, y), e) << ox << "," << oy << " pixel " << x << "," << y;
                }
            ASSERT_EQ(b.damagedGuards(), 0);
        }
    GuardedBitmap b(3, 2);
    b.fill(0x01010101u);
    drawGlyph(&b, 0, 0, 0xFFFFFFFFu, coverage, 3, 2, 0.0f, 0);
    drawGlyph(&b, 0, 0, 0xFFFFFFFFu, coverage, 3, 2, 1.0f, 9);
    drawGlyph(&b, 0, 0, 0xFFFFFFFFu, nullptr, 3, 2, 1.0f, 0);
    EXPECT_EQ(b.at(2, 0), 0x01010101u);
}

} // namespace
} // namespace duv
