// Lines (shapes, clipping, anti-aliasing, pixel treatments), clipLine, circles
// (plain, patterns, anti-aliased, clipping) and arcs.
#include "raster/Blit.h"
#include "raster/Combiners.h"
#include "raster/Lines.h"

#include "RasterTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace duv {
namespace {

using test::GuardedBitmap;
using test::hex;

std::set<std::pair<int, int>> changed(GuardedBitmap& b, Pixel background)
{
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < b.getHeight(); ++y)
        for (int x = 0; x < b.getWidth(); ++x)
            if (b.at(x, y) != background)
                out.insert({x, y});
    return out;
}

TEST(ClipLine, Outcodes)
{
    int x1 = -10, y1 = 5, x2 = 10, y2 = 5;
    ASSERT_TRUE(clipLine(x1, y1, x2, y2, 100, 50));
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y1, 5);
    EXPECT_EQ(x2, 10);
    // Corner outside on two sides: bit 4 (above) is handled before bit 1.
    x1 = -5, y1 = -5, x2 = 5, y2 = 5;
    ASSERT_TRUE(clipLine(x1, y1, x2, y2, 10, 10));
    EXPECT_EQ(x1, 0);
    EXPECT_EQ(y1, 0);
    // Below: x = x1 + trunc((x2 - x1) * (height - y1) / (y2 - y1)) = 2 + trunc(16 / 18).
    x1 = 2, y1 = 2, x2 = 4, y2 = 20;
    ASSERT_TRUE(clipLine(x1, y1, x2, y2, 10, 10));
    EXPECT_EQ(x2, 2);
    EXPECT_EQ(y2, 9);
    // Below and right: bit 8 first gives (0 + trunc(20 * 10 / 10), 9) = (20, 9), then
    // bit 2: y = 0 + trunc(9 * (10 - 0) / (20 - 0)) = 4, x = 9.
    x1 = 0, y1 = 0, x2 = 20, y2 = 10;
    ASSERT_TRUE(clipLine(x1, y1, x2, y2, 10, 10));
    EXPECT_EQ(x2, 9);
    EXPECT_EQ(y2, 4);
    // Misses: both left; both below; a diagonal past the corner.
    x1 = -5, y1 = -5, x2 = -1, y2 = 20;
    EXPECT_FALSE(clipLine(x1, y1, x2, y2, 10, 10));
    x1 = 0, y1 = 10, x2 = 9, y2 = 30;
    EXPECT_FALSE(clipLine(x1, y1, x2, y2, 10, 10));
    x1 = 8, y1 = -10, x2 = 30, y2 = 5;
    EXPECT_FALSE(clipLine(x1, y1, x2, y2, 10, 10));
    // Extreme coordinates neither overflow nor loop.
    x1 = INT32_MIN, y1 = INT32_MIN, x2 = INT32_MAX, y2 = INT32_MAX;
    if (clipLine(x1, y1, x2, y2, 10, 10)) {
        EXPECT_TRUE(x1 >= 0 && x1 < 10 && y1 >= 0 && y1 < 10);
        EXPECT_TRUE(x2 >= 0 && x2 < 10 && y2 >= 0 && y2 < 10);
    }
}

TEST(DrawLine, ClippedHorizontalLine)
{
    GuardedBitmap b(100, 10);
    b.fill(0);
    drawLine(&b, -10, 5, 10, 5, 0xFFFFFFFFu, 1.0f, 0, false);
    auto px = changed(b, 0);
    EXPECT_EQ(px.size(), 11u);
    EXPECT_TRUE(px.count({0, 5}) && px.count({10, 5}));
    EXPECT_EQ(b.damagedGuards(), 0);
}

TEST(DrawLine, Shapes)
{
    GuardedBitmap b(10, 10);
    b.fill(0);
    drawLine(&b, 3, 8, 3, 2, 0xFFu, 1.0f, 0, false); // vertical, inclusive both ends
    EXPECT_EQ(changed(b, 0).size(), 7u);
    b.fill(0);
    drawLine(&b, 4, 4, 4, 4, 0xFFu, 1.0f, 0, true); // a single point
    EXPECT_EQ(changed(b, 0), (std::set<std::pair<int, int>>{{4, 4}}));
    b.fill(0);
    drawLine(&b, 7, 1, 2, 6, 0xFFu, 1.0f, 0, false); // diagonal toward lower left
    EXPECT_EQ(changed(b, 0), (std::set<std::pair<int, int>>{{7, 1}, {6, 2}, {5, 3}, {4, 4}, {3, 5}, {2, 6}}));
    b.fill(0);
    // General: the accumulator passes 0.5 only after the third pixel.
    drawLine(&b, 0, 0, 4, 1, 0xFFu, 1.0f, 0, false);
    EXPECT_EQ(changed(b, 0), (std::set<std::pair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}));
    b.fill(0);
    drawLine(&b, 1, 0, 2, 4, 0xFFu, 1.0f, 0, false); // steep: y major
    EXPECT_EQ(changed(b, 0), (std::set<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}}));
    b.fill(0);
    drawLine(&b, 0, 20, 9, 30, 0xFFu, 1.0f, 0, false); // wholly below
    EXPECT_TRUE(changed(b, 0).empty());
}

TEST(DrawLine, AntiAliasedDiagonalWordArithmetic)
{
    GuardedBitmap b(6, 6);
    const Pixel c = 0xFF8040C0u, d = 0x40404040u;
    b.fill(d);
    drawLine(&b, 0, 0, 3, 3, c, 1.0f, 0, true);
    const Pixel three = ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu) + ((d >> 2) & 0x3F3F3F3Fu);
    const Pixel one = ((c >> 2) & 0x3F3F3F3Fu) + ((d >> 2) & 0x3F3F3F3Fu) + ((d >> 1) & 0x7F7F7F7Fu);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(b.at(i, i), three) << i;
    for (auto [x, y] : std::set<std::pair<int, int>>{{1, 0}, {0, 1}, {2, 1}, {1, 2}, {3, 2}, {2, 3}})
        EXPECT_EQ(b.at(x, y), one) << x << "," << y;
    EXPECT_EQ(changed(b, d).size(), 10u);
    // Other opacities: through the combiner at (w * 3) / 4 and w / 4.
    b.fill(d);
    drawLine(&b, 3, 3, 0, 0, c, 0.5f, 1, true);
    EXPECT_EQ(b.at(2, 2), combineReference(1, d, c, 96));
    EXPECT_EQ(b.at(2, 3), combineReference(1, d, c, 32)); // one column toward x2 (left)
    EXPECT_EQ(b.at(3, 2), combineReference(1, d, c, 32)); // one row toward y2 (up)
}

TEST(DrawLine, AntiAliasedGeneralWeights)
{
    GuardedBitmap b(6, 3);
    const Pixel c = 0xFFFFFFFFu, d = 0x00000000u;
    b.fill(d);
    drawLine(&b, 0, 0, 4, 1, c, 1.0f, 0, true);
    // First pixel full; inner ones split by round(f * 256) with f = 0.25, 0.5,
    // 0.75; the last at (256 - 256) * w / 256 = 0, so it stays.
    EXPECT_EQ(b.at(0, 0), c);
    EXPECT_EQ(b.at(1, 0), combineReference(0, d, c, 192));
    EXPECT_EQ(b.at(1, 1), combineReference(0, d, c, 64));
    EXPECT_EQ(b.at(2, 0), combineReference(0, d, c, 128));
    EXPECT_EQ(b.at(2, 1), combineReference(0, d, c, 128));
    EXPECT_EQ(b.at(3, 0), combineReference(0, d, c, 64));
    EXPECT_EQ(b.at(3, 1), combineReference(0, d, c, 192));
    EXPECT_EQ(b.at(4, 0), d);
    EXPECT_EQ(b.at(4, 1), d);
    EXPECT_EQ(b.damagedGuards(), 0);
}

TEST(DrawLine, PixelTreatments)
{
    GuardedBitmap b(4, 1);
    b.fill(0x03030303u);
    drawLine(&b, 0, 0, 3, 0, 0x03030303u, 0.5f, 0, false); // (3 + 3) >> 1 per channel
    EXPECT_EQ(b.at(2, 0), 0x03030303u);
    b.fill(0x10101010u);
    drawLine(&b, 0, 0, 3, 0, 0x01020304u, 0.5f, 0x10001, false);
    const Pixel add = b.at(1, 0);
    b.fill(0x10101010u);
    drawLine(&b, 0, 0, 3, 0, 0x01020304u, 0.5f, 1, false);
    EXPECT_EQ(b.at(1, 0), add); // bit 16 ignored
    EXPECT_EQ(add, combineReference(1, 0x10101010u, 0x01020304u, 128));
    b.fill(0x10101010u);
    drawLine(&b, 0, 0, 3, 0, 0xFFFFFFFFu, 0.0f, 1, false);
    drawLine(&b, 0, 0, 3, 0, 0xFFFFFFFFu, 0.7f, 8, false);
    drawLine(&b, 0, 0, 3, 0, 0xFFFFFFFFu, -0.7f, 0, false);
    drawLine(nullptr, 0, 0, 3, 0, 0xFFFFFFFFu, 1.0f, 0, false);
    EXPECT_EQ(changed(b, 0x10101010u).size(), 0u);
}

TEST(DrawLine, FlippedBitmapsDrawTheSameScreenPicture)
{
    GuardedBitmap up(12, 9), down(12, 9, 3, 2, true);
    up.fill(0);
    down.fill(0);
    for (bool aa : {false, true}) {
        drawLine(&up, -3, 2, 14, 7, 0xFF00FF00u, 0.6f, 0, aa);
        drawLine(&down, -3, 2, 14, 7, 0xFF00FF00u, 0.6f, 0, aa);
    }
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(up.at(x, y), down.at(x, y));
    EXPECT_EQ(down.damagedGuards(), 0);
}

TEST(DrawCircle, MidpointPointsAndSymmetry)
{
    GuardedBitmap b(41, 41);
    b.fill(0);
    drawCircle(&b, 20.0f, 20.0f, 10.0f, 0xFFFFFFFFu, 1.0f, 0, false);
    auto px = changed(b, 0);
    for (auto p : std::set<std::pair<int, int>>{{20, 30}, {20, 10}, {30, 20}, {10, 20}, {21, 30}, {19, 10}})
        EXPECT_TRUE(px.count(p)) << p.first << "," << p.second;
    for (auto [x, y] : px) {
        EXPECT_TRUE(px.count({40 - x, y}) && px.count({x, 40 - y}) && px.count({y, x}));
        const double dist = std::hypot(x - 20.0, y - 20.0);
        EXPECT_TRUE(dist > 9.0 && dist < 11.0) << x << "," << y;
    }
    EXPECT_FALSE(px.count({20, 20}));
}

TEST(DrawCircle, ClippedCircleMatchesTheUnclippedOne)
{
    for (bool aa : {false, true}) {
        GuardedBitmap big(60, 60), small(20, 20);
        big.fill(0);
        small.fill(0);
        drawCircle(&big, 25.0f, 25.0f, 10.0f, 0xFF204080u, 0.8f, 1, aa);
        drawCircle(&small, 5.0f, 5.0f, 10.0f, 0xFF204080u, 0.8f, 1, aa);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                ASSERT_EQ(small.at(x, y), big.at(x + 20, y + 20)) << aa << " " << x << "," << y;
        ASSERT_EQ(small.damagedGuards(), 0);
        GuardedBitmap tiny(3, 3);
        tiny.fill(0);
        drawCircle(&tiny, -50.0f, 1.0f, 30.0f, 0xFFFFFFFFu, 1.0f, 0, aa);
        drawCircle(&tiny, 1.0f, 1.0f, 100.0f, 0xFFFFFFFFu, 1.0f, 0, aa);
        EXPECT_EQ(tiny.damagedGuards(), 0);
    }
}

TEST(DrawCircle, WeightsAndTreatments)
{
    GuardedBitmap b(21, 21);
    const Pixel d = 0x20202020u, c = 0x80808080u;
    b.fill(d);
    drawCircle(&b, 10.0f, 10.0f, 6.0f, c, 0.7f, 1, false);
    EXPECT_EQ(b.at(10, 16), combineReference(1, d, c, int(0.7f * 255.0f))); // 255, not 256
    b.fill(d);
    drawCircle(&b, 10.0f, 10.0f, 6.0f, 0x01010101u, 0.5f, 0, false);
    EXPECT_EQ(b.at(16, 10), 0x10101010u); // (1 + 32) >> 1 per channel
    b.fill(d);
    drawCircle(&b, 10.0f, 10.0f, 6.0f, c, 0.7f, 6, false);
    drawCircle(&b, 10.0f, 10.0f, 6.0f, c, 0.0f, 0, false);
    drawCircle(&b, 10.0f, 10.0f, NAN, c, 1.0f, 0, false);
    drawCircle(&b, 10.0f, 10.0f, 1.0e30f, c, 1.0f, 0, true);
    drawCircle(&b, 10.0f, 10.0f, -3.0f, c, 1.0f, 0, true);
    EXPECT_EQ(changed(b, d).size(), 0u);
}

TEST(DrawCircle, SmallRadiiUseCoveragePatterns)
{
    for (float r : {2.0f, 2.5f, 3.0f, 3.5f, 4.0f})
        for (bool aa : {false, true}) {
            int size = 0;
            const std::uint8_t* pattern = smallCirclePattern(r, aa, &size);
            ASSERT_NE(pattern, nullptr);
            EXPECT_EQ(size, 2 * int(std::ceil(r)) + 1);
            // Symmetric, empty at the centre, something on the ring.
            int covered = 0;
            for (int j = 0; j < size; ++j)
                for (int i = 0; i < size; ++i) {
                    EXPECT_EQ(pattern[j * size + i], pattern[i * size + j]);
                    EXPECT_EQ(pattern[j * size + i], pattern[j * size + (size - 1 - i)]);
                    covered += pattern[j * size + i] != 0;
                }
            EXPECT_EQ(pattern[(size / 2) * size + size / 2], 0);
            EXPECT_GT(covered, 7);
            GuardedBitmap viaCircle(16, 16), viaGlyph(16, 16);
            viaCircle.fill(0x10101010u);
            viaGlyph.fill(0x10101010u);
            drawCircle(&viaCircle, 7.0f, 8.0f, r, 0xFFFFFFFFu, 0.9f, 0, aa);
            drawGlyph(&viaGlyph, 7 - size / 2, 8 - size / 2, 0xFFFFFFFFu, pattern, size, size, 0.9f, 0);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    ASSERT_EQ(viaCircle.at(x, y), viaGlyph.at(x, y)) << r << " " << aa;
        }
    EXPECT_EQ(smallCirclePattern(5.0f, false, nullptr), nullptr);
}

TEST(DrawCircle, AntiAliasedRingSplitsCoverage)
{
    GuardedBitmap b(41, 41);
    b.fill(0);
    drawCircle(&b, 20.0f, 20.0f, 10.4f, 0xFFFFFFFFu, 1.0f, 0, true);
    // Row 0 of the walk: x = 10.4 splits 255 between columns 30 and 31 by 0.4.
    const int outer = int(std::nearbyint(0.4 * 256.0));
    EXPECT_EQ(b.at(30, 20), combineReference(0, 0, 0xFFFFFFFFu, (255 * (256 - outer)) / 256));
    EXPECT_EQ(b.at(31, 20), combineReference(0, 0, 0xFFFFFFFFu, (255 * outer) / 256));
    EXPECT_EQ(b.at(20, 30), b.at(30, 20));
    EXPECT_EQ(b.at(9, 20), b.at(31, 20));
    auto px = changed(b, 0);
    for (auto [x, y] : px) {
        EXPECT_EQ(b.at(x, y), b.at(40 - x, y));
        EXPECT_EQ(b.at(x, y), b.at(y, x));
        const double dist = std::hypot(x - 20.0, y - 20.0);
        EXPECT_TRUE(dist > 9.0 && dist < 12.0) << x << "," << y;
    }
}

TEST(DrawArc, SpanSelectsAngles)
{
    GuardedBitmap full(41, 41), arc(41, 41);
    full.fill(0);
    arc.fill(0);
    drawCircle(&full, 20.0f, 20.0f, 12.0f, 0xFFFFFFFFu, 1.0f, 0, false);
    drawArc(&arc, 20.0f, 20.0f, 12.0f, -1.0f, 5.3f, 0xFFFFFFFFu, 1.0f, 0, false); // 6.3 >= 2 pi
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 41; ++x)
            ASSERT_EQ(arc.at(x, y), full.at(x, y));
    arc.fill(0);
    drawArc(&arc, 20.0f, 20.0f, 12.0f, 0.0f, 1.5707964f, 0xFFFFFFFFu, 1.0f, 0, false);
    auto px = changed(arc, 0);
    EXPECT_FALSE(px.empty());
    for (auto [x, y] : px) {
        EXPECT_TRUE(x >= 20 && y >= 20) << x << "," << y; // clockwise from +x: the lower right quarter
        EXPECT_EQ(full.at(x, y), arc.at(x, y));
    }
    EXPECT_TRUE(px.count({32, 20}) && px.count({20, 32}));
    arc.fill(0);
    drawArc(&arc, 20.0f, 20.0f, 12.0f, 3.1415927f, 4.712389f, 0xFFFFFFFFu, 0.5f, 3, true);
    for (auto [x, y] : changed(arc, 0))
        EXPECT_TRUE(x <= 20 && y <= 20) << x << "," << y;
}

} // namespace
} // namespace duv
