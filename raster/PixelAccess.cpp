#include "raster/PixelAccess.h"

#include "raster/ClipRect.h"
#include "raster/RowAccess.h"

namespace duv {

Pixel getPixel(RasterBitmap* bitmap, int x, int y)
{
    RowAccess rows(bitmap);
    if (rows.empty() || x < 0 || y < 0 || x >= rows.width || y >= rows.height)
        return 0;
    return rows.at(x, y);
}

void clearRect(RasterBitmap* bitmap, int x, int y, int width, int height, Pixel andMask, Pixel orValue)
{
    RowAccess rows(bitmap);
    if (rows.empty())
        return;
    ClippedRect r = clipRectToBitmap(x, y, width, height, rows.width, rows.height);
    for (int j = 0; j < r.height; ++j) {
        Pixel* p = rows.row(r.y + j) + r.x;
        for (int i = 0; i < r.width; ++i)
            p[i] = (p[i] & andMask) | orValue;
    }
}

} // namespace duv
