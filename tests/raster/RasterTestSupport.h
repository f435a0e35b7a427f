// Shared helpers of the raster tests: a bitmap with guard rows and columns
// filled with a canary, optional wider row span and bottom-up rows; a small
// seeded PRNG; CRC32 of bitmap contents.
#pragma once

#include "raster/Pixel.h"
#include "raster/RasterBitmap.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace duv::test {

constexpr Pixel kCanary = 0xDEADBEEFu;

// width x height pixels inside `guard` canary pixels on every side; the row
// span is width + extraSpan (the extra columns are canary too). When flipped,
// rows are stored bottom-up.
class GuardedBitmap final : public RasterBitmap {
public:
    GuardedBitmap(int width, int height, int guard = 3, int extraSpan = 0, bool flipped = false)
        : mWidth(width), mHeight(height), mGuard(guard), mSpan(width + extraSpan), mFlipped(flipped),
          mStore(std::size_t(mSpan + 2 * guard) * std::size_t(height + 2 * guard), kCanary)
    {
    }
    std::uint32_t* getBits() override
    {
        if (mWidth <= 0 || mHeight <= 0)
            return nullptr;
        return mStore.data() + std::size_t(mGuard) * std::size_t(outerSpan()) + std::size_t(mGuard);
    }
    int getWidth() override { return mWidth; }
    int getHeight() override { return mHeight; }
    int getRowSpan() override { return outerSpan(); }
    bool isFlipped() override { return mFlipped; }
    bool resize(int, int) override { return false; }

    // Pixel (x, y) in screen coordinates (flip-aware).
    Pixel& at(int x, int y)
    {
        int row = mFlipped ? mHeight - 1 - y : y;
        return getBits()[std::ptrdiff_t(row) * outerSpan() + x];
    }
    void fill(Pixel p)
    {
        for (int y = 0; y < mHeight; ++y)
            for (int x = 0; x < mWidth; ++x)
                at(x, y) = p;
    }
    // Number of guard pixels (outside the width x height area) that changed.
    int damagedGuards() const
    {
        int damaged = 0;
        const int span = outerSpan();
        for (int y = 0; y < mHeight + 2 * mGuard; ++y)
            for (int x = 0; x < span; ++x) {
                bool inside = y >= mGuard && y < mGuard + mHeight && x >= mGuard && x < mGuard + mWidth;
                if (!inside && mStore[std::size_t(y) * std::size_t(span) + std::size_t(x)] != kCanary)
                    ++damaged;
            }
        return damaged;
    }
    std::uint32_t crc();

private:
    // Distance between row starts of the backing store, guards included.
    int outerSpan() const { return mSpan + 2 * mGuard; }
    int mWidth, mHeight, mGuard, mSpan;
    bool mFlipped;
    std::vector<Pixel> mStore;
};

// xorshift32 seeded from the iteration number (never the clock).
class Rng {
public:
    explicit Rng(std::uint32_t seed) : mState(seed * 2654435761u + 0x9E3779B9u) { next(); }
    std::uint32_t next()
    {
        mState ^= mState << 13;
        mState ^= mState >> 17;
        mState ^= mState << 5;
        return mState;
    }
    // Uniform in [lo, hi].
    int range(int lo, int hi) { return lo + int(next() % std::uint32_t(hi - lo + 1)); }
    float unit() { return float(next() >> 8) / 16777216.0f; }

private:
    std::uint32_t mState;
};

std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc = 0);

inline std::uint32_t GuardedBitmap::crc()
{
    std::uint32_t c = 0;
    for (int y = 0; y < mHeight; ++y)
        c = crc32(&at(0, y), std::size_t(mWidth) * 4, c);
    return c;
}

inline std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline std::string hex(Pixel p)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", p);
    return buf;
}

// Every pixel of b (guards excluded) from the seeded generator.
inline void fillNoise(GuardedBitmap& b, std::uint32_t seed)
{
    Rng rng(seed);
    for (int y = 0; y < b.getHeight(); ++y)
        for (int x = 0; x < b.getWidth(); ++x)
            b.at(x, y) = rng.next();
}

} // namespace duv::test
