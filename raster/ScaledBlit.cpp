#include "raster/ScaledBlit.h"

#include "raster/Blit.h"
#include "raster/CombinerKernels.h"
#include "raster/RowAccess.h"
#include "raster/Sampling.h"

#include <algorithm>
#include <cmath>

namespace duv {

namespace {

bool allFinite(std::initializer_list<float> values)
{
    for (float v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

// The source window's integer bounds from its two ends on each axis, clamped
// to the source: left/top = trunc(smaller end), right/bottom = ceil(larger).
SourceBounds boundsFromEnds(double x0, double x1, double y0, double y1, int srcWidth, int srcHeight)
{
    auto clampTo = [](double v, int hi) { return int(std::clamp<double>(v, 0.0, double(hi))); };
    SourceBounds b;
    b.left = clampTo(std::trunc(std::min(x0, x1)), srcWidth);
    b.right = clampTo(std::ceil(std::max(x0, x1)), srcWidth);
    b.top = clampTo(std::trunc(std::min(y0, y1)), srcHeight);
    b.bottom = clampTo(std::ceil(std::max(y0, y1)), srcHeight);
    return b;
}

struct AreaKernel {
    int size = 3;
    int half = 1;
    int weights[25] = {};
};

// Centre 65536; others trunc(min(1, (m - 1) / distance) * 65536), 0 if negative.
AreaKernel makeAreaKernel(double xStep, double yStep)
{
    AreaKernel k;
    const double m = std::max(xStep, yStep);
    k.size = m > 3.0 ? 5 : 3;
    k.half = k.size / 2;
    for (int dy = -k.half; dy <= k.half; ++dy) {
        for (int dx = -k.half; dx <= k.half; ++dx) {
            int weight = 65536;
            if (dx != 0 || dy != 0) {
                double q = (m - 1.0) / std::sqrt(double(dx * dx + dy * dy));
                weight = q < 0.0 ? 0 : int(std::min(1.0, q) * 65536.0);
            }
            k.weights[(dy + k.half) * k.size + (dx + k.half)] = weight;
        }
    }
    return k;
}

// Weighted mean of the kernel taps inside the bounds; false when none weigh.
inline bool sampleArea(const RowAccess& s, const SourceBounds& b, const AreaKernel& k, int column, int row,
                       SourceChannels* out)
{
    std::int64_t sum[4] = {0, 0, 0, 0};
    std::int64_t total = 0;
    const int y0 = std::max(row - k.half, b.top), y1 = std::min(row + k.half, b.bottom - 1);
    const int x0 = std::max(column - k.half, b.left), x1 = std::min(column + k.half, b.right - 1);
    for (int y = y0; y <= y1; ++y) {
        const Pixel* line = s.row(y);
        const int* wrow = k.weights + (y - row + k.half) * k.size + k.half - column;
        for (int x = x0; x <= x1; ++x) {
            const int weight = wrow[x];
            const Pixel p = line[x];
            sum[0] += std::int64_t(weight) * (p & 0xFF);
            sum[1] += std::int64_t(weight) * ((p >> 8) & 0xFF);
            sum[2] += std::int64_t(weight) * ((p >> 16) & 0xFF);
            sum[3] += std::int64_t(weight) * (p >> 24);
            total += weight;
        }
    }
    if (total <= 0)
        return false;
    *out = SourceChannels{int(sum[0] / total), int(sum[1] / total), int(sum[2] / total), int(sum[3] / total)};
    return true;
}

// Interior kernel (every tap inside the bounds): weights summed in lanes and
// divided by the constant total through the exact multiplier.
template <int Size>
inline SourceChannels sampleAreaInterior(const Pixel* const* rows, const AreaKernel& k, int column,
                                         const ExactDivider& divide)
{
    std::uint64_t br = 0, ga = 0;
    const int* weight = k.weights;
    for (int y = 0; y < Size; ++y) {
        const Pixel* line = rows[y] + column - Size / 2;
        for (int x = 0; x < Size; ++x, ++weight) {
            const std::uint64_t w = std::uint64_t(*weight);
            br += spreadBR(line[x]) * w;
            ga += spreadGA(line[x]) * w;
        }
    }
    return SourceChannels{divide(br & 0xFFFFFFFFu), divide(ga & 0xFFFFFFFFu), divide(br >> 32), divide(ga >> 32)};
}

// A negative destination extent mirrors: the same area, walked from the
// source window's far edge back (position and extent made positive).
void unmirror(std::int64_t* dst, std::int64_t* extent, float* src, float* srcExtent)
{
    if (*extent >= 0)
        return;
    *src += *srcExtent;
    *srcExtent = -*srcExtent;
    *dst += *extent;
    *extent = -*extent;
}

} // namespace

void scaledBlit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, int dstW, int dstH, float srcX, float srcY,
                float srcW, float srcH, float alpha, BlitMode mode)
{
    if (!dest || !src || dstW == 0 || dstH == 0 || opacityDrawsNothing(alpha))
        return;
    if (!allFinite({srcX, srcY, srcW, srcH}))
        return;
    const bool bilinear = (mode & kBlitFilterMask) == kBlitBilinear;

    if (std::fabs(srcW - float(dstW)) < 0.001f && std::fabs(srcH - float(dstH)) < 0.001f &&
        (!bilinear || (std::fabs(srcX - std::floor(srcX + 0.5f)) < 0.03f &&
                       std::fabs(srcY - std::floor(srcY + 0.5f)) < 0.03f))) {
        const auto sx = std::int64_t(srcX + 0.5f), sy = std::int64_t(srcY + 0.5f);
        auto toInt = [](std::int64_t v) { return int(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); };
        RasterRect r{toInt(sx), toInt(sy), toInt(sx + dstW), toInt(sy + dstH)};
        blit(dest, src, dstX, dstY, &r, alpha, mode);
        return;
    }

    std::int64_t dx = dstX, dy = dstY, dw = dstW, dh = dstH;
    unmirror(&dx, &dw, &srcX, &srcW);
    unmirror(&dy, &dh, &srcY, &srcH);
    const double xStep = double(srcW) / double(dw);
    const double yStep = double(srcH) / double(dh);

    RowAccess d(dest), s(src);
    if (dx < 0) {
        srcX = float(srcX - xStep * double(dx));
        dw += dx;
        dx = 0;
    }
    if (dy < 0) {
        srcY = float(srcY - yStep * double(dy));
        dh += dy;
        dy = 0;
    }
    if (dx + dw > d.width)
        dw = d.width - dx;
    if (dy + dh > d.height)
        dh = d.height - dy;
    if (dw < 1 || dh < 1 || d.empty() || s.empty())
        return;

    const SourceBounds b = boundsFromEnds(srcX, srcX + srcW, srcY, srcY + srcH, s.width, s.height);
    if (b.left >= b.right || b.top >= b.bottom)
        return;

    const int width = int(dw), height = int(dh), x0 = int(dx), y0 = int(dy);
    const std::int64_t fxStart = truncSaturated(double(srcX) * 65536.0);
    const std::int64_t fxStep = truncSaturated(xStep * 65536.0);
    const double syStart = srcY;

    // Row of sample positions: trunc(sy) per row, saturated.
    auto rowOf = [](double sy) { return truncSaturated(sy); };

    if ((mode & 0x1FFFF) == 0 && (alpha == 1.0f || alpha == 0.5f)) {
        const bool half = alpha == 0.5f;
        double sy = syStart;
        for (int i = 0; i < height; ++i, sy += yStep) {
            const std::int64_t row = rowOf(sy);
            if (row < b.top || row >= b.bottom)
                continue;
            const Pixel* sp = s.row(int(row));
            Pixel* dp = d.row(y0 + i) + x0;
            std::int64_t fx = fxStart;
            for (int j = 0; j < width; ++j, fx += fxStep) {
                const std::int64_t column = fx >> 16;
                if (column < b.left || column >= b.right)
                    continue;
                dp[j] = half ? averageWords(sp[column], dp[j]) : sp[column];
            }
        }
        return;
    }

    const BlitMode selection = mode & kBlitSelectionMask;
    if ((selection & kBlitCombinerMask) == kCombinerCopy && !(alpha > 0.0f))
        return;
    const int w = weightFromOpacity(alpha);

    if (xStep >= 1.7 && yStep >= 1.7 && bilinear) {
        const AreaKernel kernel = makeAreaKernel(xStep, yStep);
        std::uint64_t total = 0;
        for (int t = 0; t < kernel.size * kernel.size; ++t)
            total += std::uint64_t(kernel.weights[t]);
        const ExactDivider divide(total);
        const bool referenceOnly = rasterReferenceOnly();
        kernels::dispatchCombiner(selection, w, [&](auto combine) {
            double sy = syStart;
            const Pixel* rows[5] = {};
            for (int i = 0; i < height; ++i, sy += yStep) {
                const std::int64_t row = rowOf(sy);
                if (row < b.top || row >= b.bottom)
                    continue;
                const bool rowInterior =
                    !referenceOnly && row - kernel.half >= b.top && row + kernel.half < b.bottom;
                if (rowInterior)
                    for (int k = 0; k < kernel.size; ++k)
                        rows[k] = s.row(int(row) - kernel.half + k);
                Pixel* dp = d.row(y0 + i) + x0;
                std::int64_t fx = fxStart;
                for (int j = 0; j < width; ++j, fx += fxStep) {
                    const std::int64_t column = fx / 65536;
                    if (column < b.left || column >= b.right)
                        continue;
                    SourceChannels c;
                    if (rowInterior && column - kernel.half >= b.left && column + kernel.half < b.right) {
                        const SourceChannels ci = kernel.size == 3
                                                      ? sampleAreaInterior<3>(rows, kernel, int(column), divide)
                                                      : sampleAreaInterior<5>(rows, kernel, int(column), divide);
                        dp[j] = combine(dp[j], ci, w);
                    } else if (sampleArea(s, b, kernel, int(column), int(row), &c)) {
                        dp[j] = combine(dp[j], c, w);
                    }
                }
            }
        });
        return;
    }

    kernels::dispatchCombiner(selection, w, [&](auto combine) {
        double sy = syStart;
        for (int i = 0; i < height; ++i, sy += yStep) {
            const std::int64_t row = rowOf(sy);
            if (row < b.top || row >= b.bottom)
                continue;
            Pixel* dp = d.row(y0 + i) + x0;
            std::int64_t fx = fxStart;
            if (bilinear) {
                const int fy = sy > 0.0 ? int(truncSaturated((sy - double(row)) * 65536.0)) : 0;
                for (int j = 0; j < width; ++j, fx += fxStep) {
                    std::int64_t column;
                    int fxFraction;
                    splitPosition(fx, &column, &fxFraction);
                    SourceChannels c;
                    if (sampleBilinear(s, b, column, row, fxFraction, fy, &c))
                        dp[j] = combine(dp[j], c, w);
                }
            } else {
                const Pixel* sp = s.row(int(row));
                for (int j = 0; j < width; ++j, fx += fxStep) {
                    const std::int64_t column = fx >> 16;
                    if (column < b.left || column >= b.right)
                        continue;
                    dp[j] = kernels::combineWord(combine, dp[j], sp[column], w);
                }
            }
        }
    });
}

void rotatedBlit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, int dstW, int dstH, float srcX,
                 float srcY, float srcW, float srcH, float angle, bool clipToSourceRect, float alpha, BlitMode mode,
                 float rotXCentre, float rotYCentre)
{
    if (!dest || !src || dstW == 0 || dstH == 0)
        return;
    if (!allFinite({srcX, srcY, srcW, srcH, angle, rotXCentre, rotYCentre}))
        return;
    RowAccess d(dest), s(src);
    double bLeft = 0, bTop = 0, bRight = s.width, bBottom = s.height;
    if (clipToSourceRect) {
        bLeft = std::max<double>(srcX, 0.0);
        bTop = std::max<double>(srcY, 0.0);
        bRight = std::min<double>(s.width, double(srcX) + double(srcW));
        bBottom = std::min<double>(s.height, double(srcY) + double(srcH));
    }
    std::int64_t dx = dstX, dy = dstY, dw = dstW, dh = dstH;
    unmirror(&dx, &dw, &srcX, &srcW);
    unmirror(&dy, &dh, &srcY, &srcH);
    const double sn = std::sin(double(angle)), cs = std::cos(double(angle));
    const double dsdx = cs * srcW / double(dw), dtdx = -sn * srcH / double(dh);
    const double dsdy = sn * srcW / double(dw), dtdy = cs * srcH / double(dh);
    double sx0 = srcX - ((double(dw) * dsdx + double(dh) * dsdy - srcW) * 0.5 - rotXCentre);
    double sy0 = srcY - ((double(dw) * dtdx + double(dh) * dtdy - srcH) * 0.5 - rotYCentre);
    if (dx < 0) {
        sx0 -= dsdx * double(dx);
        sy0 -= dtdx * double(dx);
        dw += dx;
        dx = 0;
    }
    if (dy < 0) {
        sx0 -= dsdy * double(dy);
        sy0 -= dtdy * double(dy);
        dh += dy;
        dy = 0;
    }
    const float startX = float(sx0), startY = float(sy0);
    if (dx + dw > d.width)
        dw = d.width - dx;
    if (dy + dh > d.height)
        dh = d.height - dy;
    if (dw < 1 || dh < 1 || d.empty() || s.empty() || opacityDrawsNothing(alpha))
        return;

    SourceBounds b;
    b.left = int(std::clamp(std::trunc(bLeft), 0.0, double(s.width)));
    b.top = int(std::clamp(std::trunc(bTop), 0.0, double(s.height)));
    b.right = int(std::clamp(std::trunc(bRight), 0.0, double(s.width)));
    b.bottom = int(std::clamp(std::trunc(bBottom), 0.0, double(s.height)));
    if (b.left >= b.right || b.top >= b.bottom)
        return;

    const std::int64_t X0 = truncSaturated(double(startX) * 65536.0), Y0 = truncSaturated(double(startY) * 65536.0);
    const std::int64_t DSDX = truncSaturated(dsdx * 65536.0), DTDX = truncSaturated(dtdx * 65536.0);
    const std::int64_t DSDY = truncSaturated(dsdy * 65536.0), DTDY = truncSaturated(dtdy * 65536.0);
    const bool bilinear = (mode & kBlitFilterMask) == kBlitBilinear;
    const BlitMode selection = mode & kBlitSelectionMask;
    if ((selection & kBlitCombinerMask) == kCombinerCopy && !(alpha > 0.0f))
        return;
    const int w = weightFromOpacity(alpha);
    const int width = int(dw), height = int(dh), x0 = int(dx), y0 = int(dy);

    // Source rows addressed without a flip test per pixel (a negative step for
    // bottom-up bitmaps); bounds and steps held in locals so that the stores
    // into the destination cannot force them to be re-read.
    const std::ptrdiff_t srcStep = s.flipped ? -s.span : s.span;
    const Pixel* const srcRow0 = s.flipped ? s.bits + std::ptrdiff_t(s.height - 1) * s.span : s.bits;
    const SourceBounds bounds = b;
    kernels::dispatchCombiner(selection, w, [&, srcStep, srcRow0, bounds, X0, Y0, w](auto combine) {
        const std::int64_t left = bounds.left, top = bounds.top, right = bounds.right, bottom = bounds.bottom;
        std::int64_t rowX = X0, rowY = Y0;
        for (int i = 0; i < height; ++i, rowX += DSDY, rowY += DTDY) {
            Pixel* dp = d.row(y0 + i) + x0;
            std::int64_t X = rowX, Y = rowY;
            for (int j = 0; j < width; ++j, X += DSDX, Y += DTDX) {
                std::int64_t column, row;
                int fx, fy;
                splitPosition(X, &column, &fx);
                splitPosition(Y, &row, &fy);
                if (column < left || column >= right || row < top || row >= bottom)
                    continue;
                const Pixel* r0 = srcRow0 + row * srcStep;
                if (!bilinear) {
                    dp[j] = kernels::combineWord(combine, dp[j], r0[column], w);
                    continue;
                }
                SourceChannels c;
                if (row < bottom - 1) {
                    const Pixel* r1 = r0 + srcStep;
                    if (column < right - 1) {
                        const Pixel sample = interpolate4Word(r0[column], r0[column + 1], r1[column],
                                                              r1[column + 1], bilinearWeights(fx, fy));
                        dp[j] = kernels::combineWord(combine, dp[j], sample, w);
                        continue;
                    }
                    c = interpolate2(r0[column], r1[column], fy);
                } else {
                    c = column < right - 1 ? interpolate2(r0[column], r0[column + 1], fx) : channelsOf(r0[column]);
                }
                dp[j] = combine(dp[j], c, w);
            }
        }
    });
}

} // namespace duv
