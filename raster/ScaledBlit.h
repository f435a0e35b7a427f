// Scaled and rotated drawing. A destination pixel is mapped back into the
// source in 16.16 fixed point, sampled (nearest, bilinear, or area-filtered for
// strong reductions) and merged with the combiners of the mode word
// (weight w = trunc(alpha * 256); Copy only for alpha > 0; source-alpha
// variants use the sampled alpha). Nothing is returned; null bitmaps, zero
// sizes, opacity 0, non-finite coordinates, fully clipped rectangles and
// unknown combiners leave the destination unchanged. Sampling never reads
// outside the source bounds. UI thread only.
//
// Edge choice: sample positions just left of or above the first column or row
// (between -1 and 0) are drawn from that column or row with a zero fraction,
// never interpolated toward the pixel on its other side.
// Fixed-point positions are carried in 64 bits: the same results as 32-bit
// 16.16 for every source smaller than 32768 pixels, and no overflow beyond.
#pragma once

#include "raster/BlitMode.h"
#include "raster/RasterBitmap.h"

namespace duv {

// Draws the source window (srcX, srcY, srcW, srcH) (source pixels, may be
// fractional) into (dstX, dstY, dstW, dstH). Negative dstW or dstH mirror.
// Exact size matches take the unscaled blit. Filter byte 0x100 (Bilinear)
// interpolates; with both reduction factors >= 1.7 it area-filters with a
// 3 x 3 (or, beyond 3, 5 x 5) kernel.
void scaledBlit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, int dstW, int dstH, float srcX, float srcY,
                float srcW, float srcH, float alpha, BlitMode mode);

// Draws the source window turned by angle (radians; positive turns clockwise
// on screen) so that the destination rectangle's centre shows the source point
// (srcX + srcW / 2 + rotXCentre, srcY + srcH / 2 + rotYCentre).
// clipToSourceRect limits sampling to the source window instead of the whole
// source bitmap. No word-level fast paths.
void rotatedBlit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, int dstW, int dstH, float srcX,
                 float srcY, float srcW, float srcH, float angle, bool clipToSourceRect, float alpha, BlitMode mode,
                 float rotXCentre, float rotYCentre);

} // namespace duv
