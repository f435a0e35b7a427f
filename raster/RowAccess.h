// Row addressing of a bitmap, read once per operation (span and flip are never
// re-read per pixel). Internal to the raster library.
#pragma once

#include "raster/RasterBitmap.h"

#include <cstddef>
#include <cstdint>

namespace duv {

struct RowAccess {
    std::uint32_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t span = 0;
    bool flipped = false;

    explicit RowAccess(RasterBitmap* bitmap)
    {
        if (!bitmap)
            return;
        bits = bitmap->getBits();
        if (!bits)
            return;
        width = bitmap->getWidth();
        height = bitmap->getHeight();
        span = bitmap->getRowSpan();
        flipped = bitmap->isFlipped();
        if (width <= 0 || height <= 0 || span < width) {
            bits = nullptr;
            width = height = 0;
        }
    }
    bool empty() const { return bits == nullptr; }
    std::uint32_t* row(int y) const
    {
        return bits + (flipped ? std::ptrdiff_t(height - 1 - y) : std::ptrdiff_t(y)) * span;
    }
    std::uint32_t& at(int x, int y) const { return row(y)[x]; }
};

} // namespace duv
