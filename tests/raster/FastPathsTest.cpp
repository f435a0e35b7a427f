// Whole operations through the fast loops against the same operations with the
// dispatch forced to the plain per-pixel reference: seeded random sizes,
// offsets, modes, opacities, angles; identical words and intact guards.
// A failure prints the case number; the loop below replays from it.
#include "raster/Blit.h"
#include "raster/Lines.h"
#include "raster/RasterDispatch.h"
#include "raster/ScaledBlit.h"

#include "RasterTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace duv {
namespace {

using test::GuardedBitmap;
using test::Rng;

struct ReferenceOnly {
    ReferenceOnly() { setRasterReferenceOnly(true); }
    ~ReferenceOnly() { setRasterReferenceOnly(false); }
};

const BlitMode kModes[] = {0,       1,       2,       3,       4,       5,       0x10000, 0x10001, 0x10002,
                           0x10003, 0x10004, 0x10005, 0x100,   0x10100, 0x10101, 0x102,   0x105,   0xF6};
const float kOpacities[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.3f, 0.999f, 1.7f, -0.4f, -1.0f, 0.01f, 1.002f};

// Runs op on two copies of the same destination, fast and reference, and
// compares them.
void compare(std::uint32_t caseNo, int w, int h, bool flipped, const std::function<void(GuardedBitmap&, Rng&)>& op)
{
    GuardedBitmap fast(w, h, 2, caseNo % 3, flipped), ref(w, h, 2, caseNo % 3, flipped);
    Rng rng(caseNo * 7 + 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            fast.at(x, y) = ref.at(x, y) = rng.next();
    // Each run draws its random arguments from the same fresh sequence.
    Rng fastArgs(caseNo + 100000), refArgs(caseNo + 100000);
    op(fast, fastArgs);
    {
        ReferenceOnly hook;
        op(ref, refArgs);
    }
    ASSERT_EQ(fast.damagedGuards(), 0) << "case " << caseNo;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(fast.at(x, y), ref.at(x, y)) << "case " << caseNo << " pixel " << x << "," << y;
}

GuardedBitmap makeSource(Rng& rng)
{
    const int w = rng.range(1, 40), h = rng.range(1, 30);
    GuardedBitmap src(w, h, 2, rng.range(0, 3), rng.next() % 4 == 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Pixel p = rng.next();
            switch (rng.next() % 4) { // plenty of fully transparent and opaque pixels
            case 0: p &= 0x00FFFFFFu; break;
            case 1: p |= 0xFF000000u; break;
            default: break;
            }
            src.at(x, y) = p;
        }
    return src;
}

TEST(FastPaths, OperationsMatchTheReferenceOnRandomCases)
{
    for (std::uint32_t caseNo = 0; caseNo < 3000; ++caseNo) {
        Rng rng(caseNo);
        GuardedBitmap src = makeSource(rng);
        const int w = rng.range(1, 48), h = rng.range(1, 36);
        const bool flipped = rng.next() % 5 == 0;
        const BlitMode mode = kModes[rng.next() % (sizeof kModes / sizeof kModes[0])];
        const float alpha = kOpacities[rng.next() % (sizeof kOpacities / sizeof kOpacities[0])];
        const int x = rng.range(-20, w + 5), y = rng.range(-20, h + 5);
        const Pixel colour = rng.next();
        const int op = int(caseNo % 8);
        switch (op) {
        case 0:
            compare(caseNo, w, h, flipped, [&](GuardedBitmap& d, Rng& a) {
                blit(&d, &src, x, y, a.range(-5, 10), a.range(-5, 10), a.range(-3, 50), a.range(-3, 40),
                     alpha, mode);
            });
            break;
        case 1:
            compare(caseNo, w, h, flipped, [&](GuardedBitmap& d, Rng& a) {
                fillRect(&d, x, y, a.range(-3, 60), a.range(-3, 50), colour, alpha, mode);
            });
            break;
        case 2:
            compare(caseNo, w, h, flipped, [&](GuardedBitmap& d, Rng& a) {
                for (int i = 0; i < 20; ++i)
                    putPixel(&d, a.range(-2, w + 1), a.range(-2, h + 1), colour, alpha, mode);
            });
            break;
        case 3: {
            std::vector<std::uint8_t> coverage(20 * 20);
            for (auto& c : coverage)
                c = std::uint8_t(rng.next() % 3 == 0 ? 0 : rng.next());
            compare(caseNo, w, h, flipped, [&](GuardedBitmap& d, Rng& a) {
                drawGlyph(&d, x, y, colour, coverage.data(), a.range(1, 20), a.range(1, 20), alpha, mode);
            });
            break;
        }
        case 4: {
            const int dw = rng.range(-60, 60), dh = rng.range(-50, 50);
            const float sx = float(rng.range(-400, 1200)) / 37.0f, sy = float(rng.range(-300, 900)) / 41.0f;
            const float sw = float(rng.range(1, 3000)) / 61.0f, sh = float(rng.range(1, 2000)) / 59.0f;
            compare(caseNo, w, h, flipped,
                    [&](GuardedBitmap& d, Rng&) { scaledBlit(&d, &src, x, y, dw, dh, sx, sy, sw, sh, alpha, mode); });
            break;
        }
        case 5: {
            const int dw = rng.range(-50, 50), dh = rng.range(-40, 40);
            const float angle = float(rng.range(-700, 700)) / 100.0f;
            const float rx = float(rng.range(-20, 20)) / 4.0f, ry = float(rng.range(-20, 20)) / 4.0f;
            const bool clip = rng.next() & 1;
            const float sx = float(rng.range(-10, 20)), sy = float(rng.range(-10, 20));
            const float sw = float(rng.range(1, 40)), sh = float(rng.range(1, 30));
            compare(caseNo, w, h, flipped, [&](GuardedBitmap& d, Rng&) {
                rotatedBlit(&d, &src, x, y, dw, dh, sx, sy, sw, sh, angle, clip, alpha, mode, rx, ry);
            });
            break;
        }
        case 6:
            compare(caseNo, w, h, flipped, [&](GuardedBitmap& d, Rng& a) {
                for (int i = 0; i < 6; ++i)
                    drawLine(&d, a.range(-30, w + 30), a.range(-30, h + 30), a.range(-30, w + 30),
                             a.range(-30, h + 30), colour, alpha, mode, a.next() & 1);
            });
            break;
        default:
            compare(caseNo, w, h, flipped, [&](GuardedBitmap& d, Rng& a) {
                const float r = float(a.range(0, 80)) / 4.0f;
                drawCircle(&d, float(a.range(-10, w + 10)), float(a.range(-10, h + 10)), r, colour, alpha, mode,
                           a.next() & 1);
                drawArc(&d, float(a.range(0, w)), float(a.range(0, h)), r + 1.0f, -1.0f, 2.0f, colour, alpha,
                        mode, a.next() & 1);
            });
            break;
        }
        ASSERT_EQ(src.damagedGuards(), 0) << "case " << caseNo;
        if (HasFatalFailure())
            return;
    }
}

} // namespace
} // namespace duv
