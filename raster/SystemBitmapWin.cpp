// SystemBitmap on Windows: a top-down 32-bit BI_RGB DIB section selected into
// a memory device context, so the pixel words (bytes blue, green, red, alpha)
// are what GDI shows, and a window copies them with one BitBlt.
#include "raster/RasterBitmap.h"

#include <windows.h>

#include <atomic>

namespace duv {

SystemBitmap::SystemBitmap(int width, int height)
{
    mDC = CreateCompatibleDC(nullptr);
    resize(width, height);
}

SystemBitmap::~SystemBitmap()
{
    HDC dc = static_cast<HDC>(mDC);
    if (mPrevObject && dc)
        SelectObject(dc, static_cast<HGDIOBJ>(mPrevObject));
    if (mSection)
        DeleteObject(static_cast<HGDIOBJ>(mSection));
    if (dc)
        DeleteDC(dc);
}

bool SystemBitmap::resize(int width, int height)
{
    HDC dc = static_cast<HDC>(mDC);
    if (!dc) {
        mWidth = mHeight = 0;
        mBits = nullptr;
        return false;
    }
    if (width == mWidth && height == mHeight)
        return false;
    mWidth = width;
    mHeight = height;
    if (width > 0 && height > 0 && mBits && mAllocatedWidth >= width && mAllocatedHeight >= height)
        return true; // keep the section; the row span stays the allocated width
    mAllocatedWidth = width;
    mAllocatedHeight = height;
    if (mPrevObject) {
        SelectObject(dc, static_cast<HGDIOBJ>(mPrevObject));
        mPrevObject = nullptr;
    }
    if (mSection) {
        DeleteObject(static_cast<HGDIOBJ>(mSection));
        mSection = nullptr;
    }
    mBits = nullptr;
    mSurfaceSerial = 0;
    if (width <= 0 || height <= 0 || bitmapByteCount(width, height) <= 0) {
        // Negative or oversized requests end empty, as a heap bitmap does.
        mWidth = mHeight = 0;
        mAllocatedWidth = mAllocatedHeight = 0;
        return false;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER); // 40
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // negative: rows top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section || !bits) {
        if (section)
            DeleteObject(section);
        mWidth = mHeight = 0;
        mAllocatedWidth = mAllocatedHeight = 0;
        return true;
    }
    mSection = section;
    mBits = static_cast<std::uint32_t*>(bits);
    mPrevObject = SelectObject(dc, section);
    static std::atomic<std::uint64_t> sNextSerial{0};
    mSurfaceSerial = ++sNextSerial;
    return true;
}

} // namespace duv
