// Unscaled drawing with the pixel combiners: blit, copyBitmap, fillRect,
// putPixel and drawGlyph. None returns a result; a null bitmap, one without
// pixels, an opacity of 0 (or NaN), an empty or fully clipped rectangle and an
// unknown combiner leave the destination unchanged. Source and destination
// must be different bitmaps. UI thread only.
//
// Opacity `alpha`: weight w = trunc(alpha * 256) (1.0 -> 256), clamped to
// +-kMaxWeight. Copy draws only for alpha > 0; a negative opacity gives the
// other combiners a negative weight (Add then subtracts). The exact word-level
// fast paths at 1.0 and 0.5 (fills and points also 0.25 and 0.75) are part of
// the results and may differ by one step from the general formulas.
#pragma once

#include "raster/BlitMode.h"
#include "raster/Pixel.h"
#include "raster/RasterBitmap.h"

namespace duv {

// Half-open source rectangle: right and bottom exclusive.
struct RasterRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Copies srcRect of src (null: the whole source) to (dstX, dstY) of dest. A
// negative srcRect left/top cuts the area without moving the destination; a
// negative dstX/dstY skips source columns/rows. Mode: combiner byte 0..5 with
// optional UseSourceAlpha (w' = w * (a + 1) / 256), or 0xF0..0xFF ChannelCopy
// (destination byte (mode >> 2) & 3 = source byte mode & 3).
void blit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, const RasterRect* srcRect, float alpha,
          BlitMode mode);
void blit(RasterBitmap* dest, RasterBitmap* src, int dstX, int dstY, int srcX, int srcY, int width, int height,
          float alpha, BlitMode mode);

// Resizes dest to src's size and copies it whole (alpha 1.0, mode 0).
void copyBitmap(RasterBitmap* dest, RasterBitmap* src);

// Fills (x, y, width, height). With UseSourceAlpha the opacity is scaled by the
// colour's alpha / 255 (single precision). The general path combines with the
// colour's red, green, blue and, as the source alpha value, the weight itself.
void fillRect(RasterBitmap* dest, int x, int y, int width, int height, Pixel colour, float alpha, BlitMode mode);

// One pixel with all four colour bytes; UseSourceAlpha is ignored.
void putPixel(RasterBitmap* dest, int x, int y, Pixel colour, float alpha, BlitMode mode);

// A coverage mask (width x height bytes, row after row, 0..255) drawn in the
// colour at weight (w * coverage) / 256; zero coverage is skipped.
// UseSourceAlpha is ignored.
void drawGlyph(RasterBitmap* dest, int x, int y, Pixel colour, const std::uint8_t* coverage, int width, int height,
               float alpha, BlitMode mode);

} // namespace duv
