// Clipping of an integer rectangle (x, y, width, height) to a bitmap's
// 0..width, 0..height, in 64-bit arithmetic so no input can overflow.
// Internal to the raster library.
#pragma once

#include <cstdint>

namespace duv {

struct ClippedRect {
    int x = 0, y = 0, width = 0, height = 0;
    // Offsets of the clipped origin inside the original rectangle.
    int skipX = 0, skipY = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

// A negative x shortens the width by -x and moves x to 0 (the same for y);
// then width and height are cut at the bitmap's right and bottom edges.
inline ClippedRect clipRectToBitmap(int x, int y, int width, int height, int bitmapWidth, int bitmapHeight)
{
    std::int64_t x0 = x, y0 = y, w = width, h = height, sx = 0, sy = 0;
    if (x0 < 0) {
        w += x0;
        sx = -x0;
        x0 = 0;
    }
    if (y0 < 0) {
        h += y0;
        sy = -y0;
        y0 = 0;
    }
    if (x0 + w > bitmapWidth)
        w = bitmapWidth - x0;
    if (y0 + h > bitmapHeight)
        h = bitmapHeight - y0;
    ClippedRect r;
    if (w <= 0 || h <= 0)
        return r;
    r.x = int(x0);
    r.y = int(y0);
    r.width = int(w);
    r.height = int(h);
    r.skipX = int(sx);
    r.skipY = int(sy);
    return r;
}

} // namespace duv
