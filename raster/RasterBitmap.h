// 32-bit bitmaps: the abstract interface every raster operation reaches pixels
// through, a heap-backed MemoryBitmap and the SystemBitmap drawing surface.
//
// Pixel (x, y) lies at element y * getRowSpan() + x of getBits(), or at
// (height - 1 - y) * getRowSpan() + x when isFlipped() is true. Both kinds here
// are top-down. Pixel contents are undefined after construction and growth.
// Not thread-safe: a bitmap belongs to one thread (the editor's UI thread).
// Whoever creates a bitmap deletes it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "raster/PixelMemory.h"

namespace duv {

class RasterBitmap {
public:
    virtual ~RasterBitmap() = default;
    // Pixel 0 of row 0, or null when the bitmap has no pixels.
    virtual std::uint32_t* getBits() = 0;
    virtual int getWidth() = 0;
    virtual int getHeight() = 0;
    // Distance between row starts, in pixels (>= width).
    virtual int getRowSpan() = 0;
    virtual bool isFlipped() { return false; }
    // True when the size changed (storage was touched); false when it already
    // had that size or cannot hold pixels.
    virtual bool resize(int width, int height) = 0;
    // Platform drawing context (an HDC on Windows); none elsewhere.
    virtual void* getDC() { return nullptr; }
    virtual int queryExtension(int /*code*/, void* /*data*/) { return 0; }
};

// Memory bitmap (its buffer from allocatePixels). The buffer grows with 25 %
// slack and never shrinks; the row span
// is always the width. A size whose byte count (computed in 64 bits) exceeds
// INT_MAX, a negative dimension, or an allocation failure leaves it 0 x 0 with
// a null buffer.
class MemoryBitmap final : public RasterBitmap {
public:
    MemoryBitmap(int width, int height);
    ~MemoryBitmap() override;
    MemoryBitmap(const MemoryBitmap&) = delete;
    MemoryBitmap& operator=(const MemoryBitmap&) = delete;

    std::uint32_t* getBits() override { return mMemory.bits; }
    int getWidth() override { return mWidth; }
    int getHeight() override { return mHeight; }
    int getRowSpan() override { return mWidth; }
    bool resize(int width, int height) override;

    // Bytes held by the buffer (for tests of the growth rule).
    int getAllocatedBytes() const { return int(mMemory.bytes); }

private:
    PixelMemory mMemory;
    int mWidth = 0;
    int mHeight = 0;
};

// The editor's drawing surface: a top-down 32-bit buffer (bytes blue, green,
// red, alpha) that a window layer presents without conversion, e.g. as an
// XImage of depth 24/32 over the same memory with bytes_per_line =
// getRowSpan() * 4. Shrinking keeps the surface (and its row span); growing
// past it replaces it exactly, without slack. getSurfaceSerial() changes
// whenever the buffer is replaced, so a window layer knows to rebuild any
// image object it keeps over the pixels. Allocation failure leaves it 0 x 0.
class SystemBitmap final : public RasterBitmap {
public:
    SystemBitmap(int width, int height);
    ~SystemBitmap() override;
    SystemBitmap(const SystemBitmap&) = delete;
    SystemBitmap& operator=(const SystemBitmap&) = delete;

    std::uint32_t* getBits() override { return mBits; }
    int getWidth() override { return mWidth; }
    int getHeight() override { return mHeight; }
    int getRowSpan() override { return mAllocatedWidth; }
    bool resize(int width, int height) override;

    int getAllocatedHeight() const { return mAllocatedHeight; }
    // 0 while there is no surface; a new non-zero value for each new surface.
    std::uint64_t getSurfaceSerial() const { return mSurfaceSerial; }

#ifdef _WIN32
    // Windows: the pixels are a top-down 32-bit DIB section selected into a
    // memory device context made once by the constructor (compatible with the
    // screen); a window copies from this HDC with one BitBlt. Without a device
    // context resize answers false and the bitmap stays 0 x 0.
    void* getDC() override { return mDC; }
#endif

private:
    int mWidth = 0;
    int mHeight = 0;
#ifdef _WIN32
    void* mDC = nullptr;             // HDC, owned
#endif
    std::uint32_t* mBits = nullptr;  // on Windows owned by the section
    int mAllocatedWidth = 0;
    int mAllocatedHeight = 0;
#ifdef _WIN32
    void* mSection = nullptr;        // HBITMAP, owned
    void* mPrevObject = nullptr;     // selected before the section; restored before deleting it
#endif
    std::uint64_t mSurfaceSerial = 0;
};

// Byte count of a width x height 32-bit buffer computed in 64 bits, or -1 when
// a dimension is negative or the count exceeds INT_MAX. Zero for an empty size.
std::int64_t bitmapByteCount(int width, int height);

} // namespace duv
