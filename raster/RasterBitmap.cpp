#include "raster/RasterBitmap.h"

#include <atomic>
#include <climits>
#include <cstdlib>

#include "raster/PixelMemory.h"

namespace duv {

std::int64_t bitmapByteCount(int width, int height)
{
    if (width < 0 || height < 0)
        return -1;
    std::int64_t bytes = std::int64_t(width) * std::int64_t(height) * 4;
    return bytes > INT_MAX ? -1 : bytes;
}

MemoryBitmap::MemoryBitmap(int width, int height)
{
    std::int64_t bytes = bitmapByteCount(width, height);
    if (bytes > 0)
        mMemory = allocatePixels(size_t(bytes));
    if (mMemory.bits) {
        mWidth = width;
        mHeight = height;
    }
}

MemoryBitmap::~MemoryBitmap() { releasePixels(mMemory); }

bool MemoryBitmap::resize(int width, int height)
{
    if (width == mWidth && height == mHeight)
        return false;
    mWidth = width;
    mHeight = height;
    std::int64_t needed = bitmapByteCount(width, height);
    if (needed <= 0) {
        // Empty, negative or too large to address with int byte counts.
        releasePixels(mMemory);
        mMemory = {};
    } else if (!mMemory.bits) {
        mMemory = allocatePixels(size_t(needed));
    } else if (needed > std::int64_t(mMemory.bytes)) {
        std::int64_t slack = needed + needed / 4;
        if (slack > INT_MAX)
            slack = needed;
        PixelMemory grown = reallocatePixels(mMemory, size_t(slack));
        if (!grown.bits) {
            releasePixels(mMemory);
            grown = allocatePixels(size_t(needed));
        }
        mMemory = grown;
    }
    if (!mMemory.bits) {
        mWidth = 0;
        mHeight = 0;
    }
    return true;
}

#ifndef _WIN32 // the Windows SystemBitmap is a DIB section: SystemBitmapWin.cpp

SystemBitmap::SystemBitmap(int width, int height) { resize(width, height); }

SystemBitmap::~SystemBitmap() { std::free(mBits); }

bool SystemBitmap::resize(int width, int height)
{
    if (width == mWidth && height == mHeight)
        return false;
    mWidth = width;
    mHeight = height;
    if (width > 0 && height > 0 && mBits && mAllocatedWidth >= width && mAllocatedHeight >= height)
        return true; // keep the surface; the row span stays the allocated width
    std::free(mBits);
    mBits = nullptr;
    mSurfaceSerial = 0;
    mAllocatedWidth = width;
    mAllocatedHeight = height;
    if (width == 0 || height == 0) {
        mAllocatedWidth = mAllocatedHeight = 0;
        mWidth = mHeight = 0;
        return false;
    }
    std::int64_t bytes = bitmapByteCount(width, height);
    if (bytes > 0)
        mBits = static_cast<std::uint32_t*>(std::malloc(size_t(bytes)));
    if (!mBits) {
        mWidth = mHeight = 0;
        mAllocatedWidth = mAllocatedHeight = 0;
    } else {
        static std::atomic<std::uint64_t> sNextSerial{0};
        mSurfaceSerial = ++sNextSerial;
    }
    return true;
}

#endif

} // namespace duv
