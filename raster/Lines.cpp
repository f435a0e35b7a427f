#include "raster/Lines.h"

#include "raster/Blit.h"
#include "raster/CombinerKernels.h"
#include "raster/RowAccess.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>

namespace duv {

namespace {

// Channel-wise (c + d) >> 1 (lines and circles at opacity 0.5).
inline Pixel averageChannels(Pixel c, Pixel d)
{
    return packPixel((pixelA(c) + pixelA(d)) >> 1, (pixelR(c) + pixelR(d)) >> 1, (pixelG(c) + pixelG(d)) >> 1,
                     (pixelB(c) + pixelB(d)) >> 1);
}

int saturateToInt(double v)
{
    if (!(v == v))
        return 0;
    return int(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

// Runs body(plot) with plot(pixel&, weight) chosen once: store, channel
// average, or the combiner of the low byte. Answers false when nothing draws.
template <class Body>
bool withPixelTreatment(Pixel colour, float alpha, BlitMode mode, bool allowAverage, int weight, Body&& body)
{
    const BlitMode combiner = mode & kBlitCombinerMask;
    if (combiner == kCombinerCopy && alpha == 1.0f) {
        body([colour](Pixel& p, int) { p = colour; });
        return true;
    }
    if (opacityDrawsNothing(alpha))
        return false;
    if (combiner == kCombinerCopy && alpha == 0.5f && allowAverage) {
        body([colour](Pixel& p, int) { p = averageChannels(colour, p); });
        return true;
    }
    if (combiner == kCombinerCopy && !(alpha > 0.0f))
        return false;
    const SourceChannels source = channelsOf(colour);
    return kernels::dispatchCombiner(combiner, weight, [&](auto combine) {
        body([&source, combine](Pixel& p, int w) { p = combine(p, source, w); });
    });
}

// Combiner-only treatment (anti-aliased shapes weigh every pixel).
template <class Body>
bool withCombiner(Pixel colour, float alpha, BlitMode mode, int weight, Body&& body)
{
    const BlitMode combiner = mode & kBlitCombinerMask;
    if (opacityDrawsNothing(alpha) || (combiner == kCombinerCopy && !(alpha > 0.0f)))
        return false;
    const SourceChannels source = channelsOf(colour);
    return kernels::dispatchCombiner(combiner, weight, [&](auto combine) {
        body([&source, combine](Pixel& p, int w) { p = combine(p, source, w); });
    });
}

inline int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

} // namespace

bool clipLine(int& x1, int& y1, int& x2, int& y2, int width, int height)
{
    auto code = [&](std::int64_t x, std::int64_t y) {
        int c = 0;
        if (x < 0)
            c |= 1;
        else if (x >= width)
            c |= 2;
        if (y < 0)
            c |= 4;
        else if (y >= height)
            c |= 8;
        return c;
    };
    int c1 = code(x1, y1), c2 = code(x2, y2);
    // Each pass puts one end on a boundary; a handful of passes always suffice,
    // the cap only guards against truncation cycling on absurd coordinates.
    for (int pass = 0; (c1 | c2) != 0; ++pass) {
        if ((c1 & c2) != 0 || pass >= 16)
            return false;
        const bool moveStart = c1 != 0;
        const int c = moveStart ? c1 : c2;
        const double ax = x1, ay = y1, bx = x2, by = y2;
        double x, y;
        if (c & 8) {
            x = ax + std::trunc((bx - ax) * (double(height) - ay) / (by - ay));
            y = double(height) - 1.0;
        } else if (c & 4) {
            x = ax - std::trunc((bx - ax) * ay / (by - ay));
            y = 0.0;
        } else if (c & 2) {
            y = ay + std::trunc((by - ay) * (double(width) - ax) / (bx - ax));
            x = double(width) - 1.0;
        } else {
            y = ay - std::trunc((by - ay) * ax / (bx - ax));
            x = 0.0;
        }
        if (moveStart) {
            x1 = saturateToInt(x);
            y1 = saturateToInt(y);
            c1 = code(x1, y1);
        } else {
            x2 = saturateToInt(x);
            y2 = saturateToInt(y);
            c2 = code(x2, y2);
        }
    }
    return true;
}

void drawLine(RasterBitmap* dest, int x1, int y1, int x2, int y2, Pixel colour, float alpha, BlitMode mode,
              bool antiAlias)
{
    RowAccess d(dest);
    if (d.empty())
        return;
    // Rows are addressed flip-aware (RowAccess), which is the same as turning
    // y into height - 1 - y on a flipped bitmap and writing memory rows.
    if (!clipLine(x1, y1, x2, y2, d.width, d.height))
        return;
    const int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    const int sx = sign(x2 - x1), sy = sign(y2 - y1);
    const int w = weightFromOpacity(alpha);
    const BlitMode combiner = mode & kBlitCombinerMask;

    if (x1 == x2 || y1 == y2 || !antiAlias) {
        withPixelTreatment(colour, alpha, mode, !antiAlias, w, [&](auto plot) {
            if (x1 == x2) {
                for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y)
                    plot(d.at(x1, y), w);
            } else if (y1 == y2) {
                Pixel* row = d.row(y1);
                for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
                    plot(row[x], w);
            } else if (dx == dy) {
                for (int i = 0, x = x1, y = y1; i <= dx; ++i, x += sx, y += sy)
                    plot(d.at(x, y), w);
            } else {
                const bool xMajor = dx > dy;
                const int n = xMajor ? dx : dy;
                const double slope = xMajor ? double(dy) / dx : double(dx) / dy;
                double acc = 0.0;
                int x = x1, y = y1;
                for (int i = 0; i <= n; ++i) {
                    plot(d.at(x, y), w);
                    acc += slope;
                    if (acc > 0.5) {
                        (xMajor ? y : x) += xMajor ? sy : sx;
                        acc -= 1.0;
                    }
                    (xMajor ? x : y) += xMajor ? sx : sy;
                }
            }
        });
        return;
    }

    if (dx == dy) {
        // Diagonal: three quarters on the line, one quarter on the neighbour one
        // column toward x2 and the one one row toward y2.
        if (combiner == kCombinerCopy && alpha == 1.0f) {
            int x = x1, y = y1;
            for (int i = 0; i < dx; ++i, x += sx, y += sy) {
                Pixel& p = d.at(x, y);
                p = threeQuartersOver(colour, p);
                Pixel& h = d.at(x + sx, y);
                h = quarterOver(colour, h);
                Pixel& v = d.at(x, y + sy);
                v = quarterOver(colour, v);
            }
            Pixel& last = d.at(x, y);
            last = threeQuartersOver(colour, last);
            return;
        }
        withCombiner(colour, alpha, mode, w, [&](auto plot) {
            const int major = (w * 3) / 4, minor = w / 4;
            int x = x1, y = y1;
            for (int i = 0; i < dx; ++i, x += sx, y += sy) {
                plot(d.at(x, y), major);
                plot(d.at(x + sx, y), minor);
                plot(d.at(x, y + sy), minor);
            }
            plot(d.at(x, y), major);
        });
        return;
    }

    // General anti-aliased: the coverage fraction f is split between the pixel
    // on the stepped path and the one a minor step further.
    withCombiner(colour, alpha, mode, w, [&](auto plot) {
        const bool xMajor = dx > dy;
        const int n = xMajor ? dx : dy;
        const double slope = xMajor ? double(dy) / dx : double(dx) / dy;
        const int majorX = xMajor ? sx : 0, majorY = xMajor ? 0 : sy;
        const int minorX = xMajor ? 0 : sx, minorY = xMajor ? sy : 0;
        int x = x1, y = y1;
        plot(d.at(x, y), w);
        x += majorX;
        y += majorY;
        double f = slope;
        int coverage = 0;
        for (int i = 1; i < n; ++i) {
            coverage = int(std::nearbyint(f * 256.0));
            plot(d.at(x, y), ((256 - coverage) * w) / 256);
            if (coverage != 0)
                plot(d.at(x + minorX, y + minorY), (w * coverage) / 256);
            f += slope;
            if (f > 1.0) {
                x += minorX;
                y += minorY;
                f -= 1.0;
            }
            x += majorX;
            y += majorY;
        }
        coverage = int(std::nearbyint(f * 256.0));
        plot(d.at(x, y), ((256 - coverage) * w) / 256);
    });
}

namespace {

constexpr float kMaxRadius = 4194304.0f;

struct SmallPatterns {
    // Radii 2, 2.5, 3, 3.5, 4; [0] plain, [1] anti-aliased.
    std::uint8_t data[5][2][81];
    int size[5];
};

// Ring patterns about the centre pixel: plain ones cover the pixels whose
// centre lies within half a pixel of the radius; anti-aliased ones weigh each
// pixel by 1 - |distance - radius| (0 beyond one pixel).
const SmallPatterns& smallPatterns()
{
    static const SmallPatterns sPatterns = [] {
        SmallPatterns p{};
        for (int k = 0; k < 5; ++k) {
            const double r = 2.0 + 0.5 * k;
            const int half = int(std::ceil(r));
            const int size = 2 * half + 1;
            p.size[k] = size;
            for (int j = 0; j < size; ++j) {
                for (int i = 0; i < size; ++i) {
                    const double dist = std::sqrt(double((i - half) * (i - half) + (j - half) * (j - half)));
                    const double off = std::fabs(dist - r);
                    p.data[k][0][j * size + i] = off < 0.5 ? 255 : 0;
                    p.data[k][1][j * size + i] = off < 1.0 ? std::uint8_t(std::lround((1.0 - off) * 255.0)) : 0;
                }
            }
        }
        return p;
    }();
    return sPatterns;
}

int smallPatternIndex(float radius)
{
    if (radius == 2.0f)
        return 0;
    if (radius == 2.5f)
        return 1;
    if (radius == 3.0f)
        return 2;
    if (radius == 3.5f)
        return 3;
    if (radius == 4.0f)
        return 4;
    return -1;
}

// Draws the ring about (cx, cy), calling plot(x, y, weightFraction256) only for
// points inside the bitmap and accepted by keep(dx, dy).
template <class Plot, class Keep>
void traceCircle(const RowAccess& d, float cx, float cy, float radius, bool antiAlias, Plot&& plot, Keep&& keep)
{
    auto put = [&](std::int64_t x, std::int64_t y, int coverage, double dx, double dy) {
        if (x < 0 || y < 0 || x >= d.width || y >= d.height)
            return;
        if (!keep(dx, dy))
            return;
        plot(int(x), int(y), coverage);
    };
    auto t = [](double v) { return std::int64_t(std::trunc(v)); };
    if (!antiAlias) {
        const float r = radius;
        put(t(cx), t(cy + r), 256, 0, r);
        put(t(cx), t(cy - r), 256, 0, -r);
        put(t(cx + r), t(cy), 256, r, 0);
        put(t(cx - r), t(cy), 256, -r, 0);
        float dec = (5.0f - 4.0f * r) / 4.0f;
        float x = 0.0f, y = r;
        while (x < y) {
            const float xn = x + 1.0f;
            if (dec < 0.0f) {
                dec = dec + 2.0f * xn + 1.0f;
            } else {
                dec = dec + 2.0f * (xn - (y - 1.0f)) + 1.0f;
                y = y - 1.0f;
            }
            put(t(cx + xn), t(cy + y), 256, xn, y);
            put(t(cx - xn), t(cy + y), 256, -xn, y);
            put(t(cx + xn), t(cy - y), 256, xn, -y);
            put(t(cx - xn), t(cy - y), 256, -xn, -y);
            put(t(cx + y), t(cy + xn), 256, y, xn);
            put(t(cx - y), t(cy + xn), 256, -y, xn);
            put(t(cx + y), t(cy - xn), 256, y, -xn);
            put(t(cx - y), t(cy - xn), 256, -y, -xn);
            x = xn;
        }
        return;
    }
    // Anti-aliased: for rows y = 0, 1, ... while y < x + 1 with x = sqrt(r^2 - y^2),
    // the eight symmetric positions share the weight between the pixel at
    // floor(x) and the next one out by the fractional part of x. Positions that
    // coincide (on the axes or the diagonal) are plotted once.
    const std::int64_t icx = t(cx), icy = t(cy);
    const double r2 = double(radius) * double(radius);
    for (std::int64_t yy = 0;; ++yy) {
        const double x = std::sqrt(r2 - double(yy) * double(yy));
        if (!(double(yy) < x + 1.0))
            break;
        const std::int64_t xi = std::int64_t(std::floor(x));
        const int outer = int(std::nearbyint((x - double(xi)) * 256.0));
        const int inner = 256 - outer;
        auto octants = [&](std::int64_t a, std::int64_t b, int coverage) {
            if (coverage <= 0)
                return;
            // (a, b) and (b, a) with all signs, each distinct offset once.
            std::int64_t pts[8][2] = {{a, b}, {-a, b}, {a, -b}, {-a, -b}, {b, a}, {-b, a}, {b, -a}, {-b, -a}};
            for (int i = 0; i < 8; ++i) {
                bool seen = false;
                for (int k = 0; k < i && !seen; ++k)
                    seen = pts[k][0] == pts[i][0] && pts[k][1] == pts[i][1];
                if (!seen)
                    put(icx + pts[i][0], icy + pts[i][1], coverage, double(pts[i][0]), double(pts[i][1]));
            }
        };
        // Where the next row's inner pixel meets this one (near the diagonal),
        // the swapped copy of this row would repeat it; rows with y > x are
        // covered by the swapped octants already.
        if (double(yy) > x)
            break;
        octants(xi, yy, inner);
        octants(xi + 1, yy, outer);
    }
}

void drawRing(RasterBitmap* dest, float cx, float cy, float radius, Pixel colour, float alpha, BlitMode mode,
              bool antiAlias, bool arc, double minAngle, double maxAngle)
{
    RowAccess d(dest);
    if (d.empty() || opacityDrawsNothing(alpha))
        return;
    if (!std::isfinite(cx) || !std::isfinite(cy) || !std::isfinite(radius) || radius < 0.0f || radius > kMaxRadius)
        return;
    if (std::fabs(cx) > 1.0e9f || std::fabs(cy) > 1.0e9f)
        return;
    if (d.flipped)
        cy = float(d.height - 1) - cy;
    if (!arc) {
        const int k = smallPatternIndex(radius);
        if (k >= 0) {
            int size = 0;
            const std::uint8_t* pattern = smallCirclePattern(radius, antiAlias, &size);
            const int half = size / 2;
            // drawGlyph addresses rows flip-aware itself; give it screen rows.
            const float screenCy = d.flipped ? float(d.height - 1) - cy : cy;
            drawGlyph(dest, int(std::trunc(cx)) - half, int(std::trunc(screenCy)) - half, colour, pattern, size, size,
                      alpha, mode);
            return;
        }
    }
    auto keep = [&](double dx, double dy) {
        if (!arc)
            return true;
        double a = std::atan2(dy, dx);
        const double twoPi = 6.283185307179586;
        while (a < minAngle)
            a += twoPi;
        while (a >= minAngle + twoPi)
            a -= twoPi;
        return a <= maxAngle;
    };
    // Plot in bitmap rows: (x, y) are screen coordinates after the flip above,
    // so convert back through the flip-aware row access.
    auto pixelAt = [&](int x, int y) -> Pixel& { return d.bits[std::ptrdiff_t(y) * d.span + x]; };
    const int weight = circleWeightFromOpacity(alpha);
    if (!antiAlias) {
        withPixelTreatment(colour, alpha, mode, true, weight, [&](auto plot) {
            traceCircle(d, cx, cy, radius, false, [&](int x, int y, int) { plot(pixelAt(x, y), weight); }, keep);
        });
    } else {
        withCombiner(colour, alpha, mode, weight, [&](auto plot) {
            traceCircle(
                d, cx, cy, radius, true,
                [&](int x, int y, int coverage) { plot(pixelAt(x, y), (weight * coverage) / 256); }, keep);
        });
    }
}

} // namespace

const std::uint8_t* smallCirclePattern(float radius, bool antiAlias, int* size)
{
    const int k = smallPatternIndex(radius);
    if (k < 0)
        return nullptr;
    const SmallPatterns& p = smallPatterns();
    if (size)
        *size = p.size[k];
    return p.data[k][antiAlias ? 1 : 0];
}

void drawCircle(RasterBitmap* dest, float cx, float cy, float radius, Pixel colour, float alpha, BlitMode mode,
                bool antiAlias)
{
    drawRing(dest, cx, cy, radius, colour, alpha, mode, antiAlias, false, 0.0, 0.0);
}

void drawArc(RasterBitmap* dest, float cx, float cy, float radius, float minAngle, float maxAngle, Pixel colour,
             float alpha, BlitMode mode, bool antiAlias)
{
    if (!std::isfinite(minAngle) || !std::isfinite(maxAngle))
        return;
    if (dest && dest->isFlipped()) {
        minAngle = 3.1415927f - minAngle;
        maxAngle = 3.1415927f - maxAngle;
        if (minAngle > maxAngle)
            std::swap(minAngle, maxAngle);
    }
    if (maxAngle - minAngle >= 6.2831855f) {
        drawCircle(dest, cx, cy, radius, colour, alpha, mode, antiAlias);
        return;
    }
    drawRing(dest, cx, cy, radius, colour, alpha, mode, antiAlias, true, minAngle, maxAngle);
}

} // namespace duv
