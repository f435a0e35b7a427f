// Plain pixel access: reading one pixel and masking a rectangle in place.
// UI thread only (bitmaps are not locked).
#pragma once

#include "raster/Pixel.h"
#include "raster/RasterBitmap.h"

namespace duv {

// The word at (x, y), flip-aware; 0 for a null bitmap, one without pixels, or
// a position outside 0 <= x < width, 0 <= y < height.
Pixel getPixel(RasterBitmap* bitmap, int x, int y);

// pixel = (pixel & andMask) | orValue for every pixel of (x, y, width, height)
// clipped to the bitmap. Nothing happens when the clipped area is empty.
// With andMask 0x00FFFFFF and orValue 0 it clears the alpha channel.
void clearRect(RasterBitmap* bitmap, int x, int y, int width, int height, Pixel andMask, Pixel orValue);

} // namespace duv
