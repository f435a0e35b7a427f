#include "raster/Blit.h"

#include "raster/ClipRect.h"
#include "raster/CombinerKernels.h"
#include "raster/RowAccess.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace duv {

namespace {

// True when `selection` (mode & 0x100FF) is the Copy combiner and the opacity
// forbids it (Copy draws only for alpha > 0).
bool copyForbidden(BlitMode selection, float alpha)
{
    return (selection & kBlitCombinerMask) == kCombinerCopy && !(alpha > 0.0f);
}

// Word arithmetic of fills and points for Copy at 1.0, 0.5, 0.25 and 0.75:
// calls body(op) with the matching operation (a distinct type each, so every
// opacity gets its own loop) and answers true, or answers false for others.
template <class Body>
bool withWordOp(float alpha, Body&& body)
{
    if (alpha == 1.0f)
        body([](Pixel c, Pixel) { return c; });
    else if (alpha == 0.5f)
        body([](Pixel c, Pixel d) { return averageWords(c, d); });
    else if (alpha == 0.25f)
        body([](Pixel c, Pixel d) { return quarterOver(c, d); });
    else if (alpha == 0.75f)
        body([](Pixel c, Pixel d) { return threeQuartersOver(c, d); });
    else
        return false;
    return true;
}

} // namespace

void blit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, const RasterRect* srcRect, float alpha,
          BlitMode mode)
{
    if (!dest || !src || opacityDrawsNothing(alpha))
        return;
    RowAccess s(src), d(dest);
    std::int64_t left = 0, top = 0, right = s.width, bottom = s.height;
    if (srcRect) {
        left = std::max<std::int64_t>(srcRect->left, 0);
        top = std::max<std::int64_t>(srcRect->top, 0);
        right = std::min<std::int64_t>(srcRect->right, s.width);
        bottom = std::min<std::int64_t>(srcRect->bottom, s.height);
    }
    std::int64_t x = dstX, y = dstY;
    if (x < 0) {
        left -= x;
        x = 0;
    }
    if (y < 0) {
        top -= y;
        y = 0;
    }
    if (x + (right - left) > d.width)
        right = d.width + left - x;
    if (y + (bottom - top) > d.height)
        bottom = d.height + top - y;
    if (left >= right || top >= bottom || s.empty() || d.empty())
        return;
    const int width = int(right - left), height = int(bottom - top);
    const int sx = int(left), sy = int(top), dx = int(x), dy = int(y);

    if ((mode & kBlitCombinerMask) >= kCombinerChannelCopy) {
        const int srcShift = 8 * int(mode & 3), dstShift = 8 * int((mode >> 2) & 3);
        const Pixel keep = ~(Pixel(0xFF) << dstShift);
        for (int j = 0; j < height; ++j) {
            const Pixel* sp = s.row(sy + j) + sx;
            Pixel* dp = d.row(dy + j) + dx;
            for (int i = 0; i < width; ++i)
                dp[i] = (dp[i] & keep) | (((sp[i] >> srcShift) & 0xFF) << dstShift);
        }
        return;
    }
    const BlitMode selection = mode & kBlitSelectionMask;
    if (selection == kCombinerCopy && alpha == 1.0f) {
        for (int j = 0; j < height; ++j)
            std::memcpy(d.row(dy + j) + dx, s.row(sy + j) + sx, size_t(width) * sizeof(Pixel));
        return;
    }
    if (selection == kCombinerCopy && alpha == 0.5f) {
        for (int j = 0; j < height; ++j) {
            const Pixel* sp = s.row(sy + j) + sx;
            Pixel* dp = d.row(dy + j) + dx;
            for (int i = 0; i < width; ++i)
                dp[i] = averageWords(sp[i], dp[i]);
        }
        return;
    }
    if (copyForbidden(selection, alpha))
        return;
    const int w = weightFromOpacity(alpha);
    kernels::dispatchCombiner(selection, w, [&](auto combine) {
        using Combine = decltype(combine);
        for (int j = 0; j < height; ++j) {
            const Pixel* sp = s.row(sy + j) + sx;
            Pixel* dp = d.row(dy + j) + dx;
#if defined(__SSE2__)
            if constexpr (std::is_same_v<Combine, kernels::CopyInRange>) {
                kernels::copyRowSse2(dp, sp, width, w);
                continue;
            } else if constexpr (std::is_same_v<Combine, kernels::WithSourceAlpha<kernels::CopyInRange, true, true>>) {
                kernels::copySourceAlphaRowSse2(dp, sp, width, w);
                continue;
            }
#endif
            for (int i = 0; i < width; ++i)
                dp[i] = kernels::combineWord(combine, dp[i], sp[i], w);
        }
    });
}

void blit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, int srcX, int srcY, int width, int height,
          float alpha, BlitMode mode)
{
    // The right/bottom edges are formed in 64 bits and saturated to int so that
    // huge sizes clip instead of wrapping.
    auto edge = [](int origin, int size) {
        std::int64_t e = std::int64_t(origin) + size;
        return int(std::clamp<std::int64_t>(e, INT32_MIN, INT32_MAX));
    };
    RasterRect r{srcX, srcY, edge(srcX, width), edge(srcY, height)};
    blit(dest, src, dstX, dstY, &r, alpha, mode);
}

void copyBitmap(RasterBitmap* dest, RasterBitmap* src)
{
    if (!dest || !src)
        return;
    dest->resize(src->getWidth(), src->getHeight());
    blit(dest, src, 0, 0, nullptr, 1.0f, 0);
}

void fillRect(RasterBitmap* dest, int x, int y, int width, int height, Pixel colour, float alpha, BlitMode mode)
{
    if (!dest)
        return;
    if (mode & kBlitUseSourceAlpha)
        alpha = float(colour >> 24) * alpha * 0.003921569f;
    RowAccess d(dest);
    ClippedRect r = clipRectToBitmap(x, y, width, height, d.width, d.height);
    if (opacityDrawsNothing(alpha) || d.empty() || r.empty())
        return;
    const BlitMode combiner = mode & kBlitCombinerMask;
    if (combiner == kCombinerCopy && withWordOp(alpha, [&](auto op) {
            for (int j = 0; j < r.height; ++j) {
                Pixel* dp = d.row(r.y + j) + r.x;
                for (int i = 0; i < r.width; ++i)
                    dp[i] = op(colour, dp[i]);
            }
        }))
        return;
    if (copyForbidden(combiner, alpha))
        return;
    const int w = weightFromOpacity(alpha);
    const SourceChannels source{pixelB(colour), pixelG(colour), pixelR(colour), w};
    kernels::dispatchCombiner(combiner, w, [&](auto combine) {
        for (int j = 0; j < r.height; ++j) {
            Pixel* dp = d.row(r.y + j) + r.x;
            for (int i = 0; i < r.width; ++i)
                dp[i] = combine(dp[i], source, w);
        }
    });
}

void putPixel(RasterBitmap* dest, int x, int y, Pixel colour, float alpha, BlitMode mode)
{
    RowAccess d(dest);
    if (d.empty() || x < 0 || y < 0 || x >= d.width || y >= d.height)
        return;
    Pixel& p = d.at(x, y);
    const BlitMode combiner = mode & kBlitCombinerMask;
    if (combiner == kCombinerCopy && withWordOp(alpha, [&](auto op) { p = op(colour, p); }))
        return;
    if (opacityDrawsNothing(alpha) || copyForbidden(combiner, alpha))
        return;
    const int w = weightFromOpacity(alpha);
    kernels::dispatchCombiner(combiner, w, [&](auto combine) { p = combine(p, channelsOf(colour), w); });
}

void drawGlyph(RasterBitmap* dest, int x, int y, Pixel colour, const std::uint8_t* coverage, int width, int height,
               float alpha, BlitMode mode)
{
    if (!dest || !coverage || opacityDrawsNothing(alpha))
        return;
    const BlitMode combiner = mode & kBlitCombinerMask;
    if (!isDrawableSelection(combiner) || copyForbidden(combiner, alpha))
        return;
    RowAccess d(dest);
    ClippedRect r = clipRectToBitmap(x, y, width, height, d.width, d.height);
    if (d.empty() || r.empty())
        return;
    const int w = weightFromOpacity(alpha);
    const SourceChannels source = channelsOf(colour);
    kernels::dispatchCombiner(combiner, w, [&](auto combine) {
        for (int j = 0; j < r.height; ++j) {
            const std::uint8_t* cov = coverage + std::ptrdiff_t(r.skipY + j) * width + r.skipX;
            Pixel* dp = d.row(r.y + j) + r.x;
            for (int i = 0; i < r.width; ++i) {
                if (cov[i])
                    dp[i] = combine(dp[i], source, (w * cov[i]) / 256);
            }
        }
    });
}

} // namespace duv
