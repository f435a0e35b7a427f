// Bitmap kinds: pixel memory, MemoryBitmap growth and size refusal, the SystemBitmap's
// keep-on-shrink surface, and the plain pixel access operations.
#include "raster/PixelAccess.h"
#include "raster/PixelMemory.h"
#include "raster/RasterBitmap.h"

#include "RasterTestSupport.h"

#include <gtest/gtest.h>

namespace duv {
namespace {

using test::GuardedBitmap;

TEST(MemoryBitmap, EmptySizesHoldNoPixels)
{
    MemoryBitmap a(0, 5);
    EXPECT_EQ(a.getBits(), nullptr);
    EXPECT_EQ(a.getWidth(), 0);
    EXPECT_EQ(a.getHeight(), 0);
    MemoryBitmap b(-10, -10); // the product is positive, the size is not
    EXPECT_EQ(b.getBits(), nullptr);
    EXPECT_EQ(b.getWidth(), 0);
    MemoryBitmap c(3, 2);
    ASSERT_NE(c.getBits(), nullptr);
    EXPECT_EQ(c.getRowSpan(), 3);
    EXPECT_EQ(c.getAllocatedBytes(), 24);
    EXPECT_FALSE(c.isFlipped());
    EXPECT_EQ(c.getDC(), nullptr);
    EXPECT_EQ(c.queryExtension(1, nullptr), 0);
}

TEST(MemoryBitmap, SizesBeyondIntByteCountsAreRefused)
{
    // 50000 x 50000 x 4 wraps a 32-bit int; computed in 64 bits it is refused.
    MemoryBitmap big(50000, 50000);
    EXPECT_EQ(big.getBits(), nullptr);
    EXPECT_EQ(big.getWidth(), 0);
    EXPECT_EQ(big.getHeight(), 0);
    MemoryBitmap m(4, 4);
    EXPECT_TRUE(m.resize(65536, 65536)); // 2^34 bytes; exactly 0 in 32-bit arithmetic
    EXPECT_EQ(m.getBits(), nullptr);
    EXPECT_EQ(m.getWidth(), 0);
    EXPECT_EQ(m.getAllocatedBytes(), 0);
    EXPECT_EQ(bitmapByteCount(23170, 23170), std::int64_t(23170) * 23170 * 4);
    EXPECT_EQ(bitmapByteCount(23171, 23171), -1);
    EXPECT_EQ(bitmapByteCount(-1, 5), -1);
}

TEST(MemoryBitmap, GrowsWithSlackAndNeverShrinks)
{
    MemoryBitmap m(10, 10);
    EXPECT_EQ(m.getAllocatedBytes(), 400);
    m.getBits()[0] = 0x12345678u;
    EXPECT_TRUE(m.resize(11, 10));
    EXPECT_EQ(m.getAllocatedBytes(), 550); // 440 + 440 / 4
    EXPECT_EQ(m.getBits()[0], 0x12345678u); // bytes move unchanged
    std::uint32_t* bits = m.getBits();
    EXPECT_TRUE(m.resize(10, 10));
    EXPECT_EQ(m.getAllocatedBytes(), 550);
    EXPECT_EQ(m.getBits(), bits);
    EXPECT_FALSE(m.resize(10, 10)); // same size: nothing touched
    EXPECT_TRUE(m.resize(12, 11)); // 528 fits in 550
    EXPECT_EQ(m.getAllocatedBytes(), 550);
    EXPECT_EQ(m.getRowSpan(), 12);
    EXPECT_TRUE(m.resize(0, 0));
    EXPECT_EQ(m.getBits(), nullptr);
    EXPECT_EQ(m.getAllocatedBytes(), 0);
    EXPECT_TRUE(m.resize(2, 2));
    EXPECT_EQ(m.getAllocatedBytes(), 16); // a fresh buffer is exact
}

// Growing a buffer from the heap into a mapping of its own, growing that,
// and shrinking back to the heap keep every byte both buffers have.
TEST(PixelMemory, KeepsBytesAcrossHeapAndMappings)
{
    const std::size_t small = 4096, large = std::size_t(3) << 20, larger = std::size_t(5) << 20;
    PixelMemory m = allocatePixels(small);
    ASSERT_NE(m.bits, nullptr);
    EXPECT_FALSE(m.mapped);
    m.bits[0] = 1;
    m.bits[small / 4 - 1] = 2;
    for (std::size_t bytes : {large, larger, small}) {
        PixelMemory next = reallocatePixels(m, bytes);
        ASSERT_NE(next.bits, nullptr) << bytes;
        EXPECT_EQ(next.bytes, bytes);
        EXPECT_EQ(next.mapped, pixelsMappedOnTheirOwn(bytes));
        if (next.mapped) { // starts a 2 MiB page
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(next.bits) % (std::size_t(2) << 20), 0u);
        }
        EXPECT_EQ(next.bits[0], 1u) << bytes;
        EXPECT_EQ(next.bits[small / 4 - 1], 2u) << bytes;
        next.bits[bytes / 4 - 1] = 3; // the whole buffer is there
        m = next;
    }
    releasePixels(m);
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
    EXPECT_TRUE(pixelsMappedOnTheirOwn(large));
#endif
    EXPECT_FALSE(pixelsMappedOnTheirOwn((std::size_t(2) << 20) - 1));

    MemoryBitmap strip(145, 26245); // the largest image, grown by a row
    ASSERT_NE(strip.getBits(), nullptr);
    strip.getBits()[145 * 26245 - 1] = 0x01020304u;
    ASSERT_TRUE(strip.resize(145, 26246));
    EXPECT_EQ(strip.getBits()[145 * 26245 - 1], 0x01020304u);
}

TEST(SystemBitmap, ShrinkKeepsSurfaceAndRowSpan)
{
    SystemBitmap s(716, 227);
    ASSERT_NE(s.getBits(), nullptr);
    EXPECT_EQ(s.getRowSpan(), 716);
#ifdef _WIN32
    EXPECT_NE(s.getDC(), nullptr); // the memory device context holding the section
#else
    EXPECT_EQ(s.getDC(), nullptr);
#endif
    const std::uint64_t serial = s.getSurfaceSerial();
    EXPECT_NE(serial, 0u);
    std::uint32_t* bits = s.getBits();
    EXPECT_TRUE(s.resize(100, 100));
    EXPECT_EQ(s.getBits(), bits);
    EXPECT_EQ(s.getWidth(), 100);
    EXPECT_EQ(s.getHeight(), 100);
    EXPECT_EQ(s.getRowSpan(), 716);
    EXPECT_EQ(s.getSurfaceSerial(), serial);
    bits[5 * 716 + 7] = 0xCAFEF00Du; // pixel (7, 5) lies at element y * 716 + x
    EXPECT_EQ(getPixel(&s, 7, 5), 0xCAFEF00Du);
    EXPECT_FALSE(s.resize(100, 100));
    EXPECT_TRUE(s.resize(716, 227)); // back within the section: kept
    EXPECT_EQ(s.getBits(), bits);
    EXPECT_TRUE(s.resize(800, 100)); // wider: a new exact surface
    EXPECT_EQ(s.getRowSpan(), 800);
    EXPECT_EQ(s.getAllocatedHeight(), 100);
    EXPECT_NE(s.getSurfaceSerial(), serial);
    EXPECT_FALSE(s.resize(0, 10)); // no surface for an empty size
    EXPECT_EQ(s.getBits(), nullptr);
    EXPECT_EQ(s.getWidth(), 0);
    EXPECT_EQ(s.getSurfaceSerial(), 0u);
    EXPECT_TRUE(s.resize(3, 3));
    EXPECT_EQ(s.getRowSpan(), 3);
}

TEST(SystemBitmap, UnallocatableSizeLeavesItEmpty)
{
    SystemBitmap s(50000, 50000);
    EXPECT_EQ(s.getBits(), nullptr);
    EXPECT_EQ(s.getWidth(), 0);
    EXPECT_EQ(s.getHeight(), 0);
    SystemBitmap n(-4, 4);
    EXPECT_EQ(n.getBits(), nullptr);
    EXPECT_EQ(n.getWidth(), 0);
}

TEST(PixelAccess, GetPixelOutsideAnswersZero)
{
    GuardedBitmap b(4, 3);
    b.fill(0x11111111u);
    b.at(3, 2) = 0xAABBCCDDu;
    EXPECT_EQ(getPixel(&b, 3, 2), 0xAABBCCDDu);
    EXPECT_EQ(getPixel(&b, -1, 0), 0u);
    EXPECT_EQ(getPixel(&b, 4, 0), 0u);
    EXPECT_EQ(getPixel(&b, 0, 3), 0u);
    EXPECT_EQ(getPixel(&b, 0, -1), 0u);
    EXPECT_EQ(getPixel(nullptr, 0, 0), 0u);
    MemoryBitmap empty(0, 0);
    EXPECT_EQ(getPixel(&empty, 0, 0), 0u);
}

TEST(PixelAccess, GetPixelHonoursFlip)
{
    GuardedBitmap b(2, 3, 2, 1, true);
    b.fill(0);
    b.at(1, 0) = 0x01020304u; // top row: the last row in memory
    EXPECT_EQ(getPixel(&b, 1, 0), 0x01020304u);
    EXPECT_EQ(b.getBits()[2 * b.getRowSpan() + 1], 0x01020304u);
}

TEST(PixelAccess, ClearRectMasksAndClips)
{
    for (bool flipped : {false, true}) {
        GuardedBitmap b(6, 5, 2, 3, flipped);
        b.fill(0x80FF7F01u);
        clearRect(&b, -2, 3, 4, 9, 0x00FFFFFFu, 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                EXPECT_EQ(b.at(x, y), (x < 2 && y >= 3) ? 0x00FF7F01u : 0x80FF7F01u) << x << "," << y;
        clearRect(&b, 5, 4, 10, 10, 0xFFFFFF00u, 0x000000AAu);
        EXPECT_EQ(b.at(5, 4), 0x80FF7FAAu);
        clearRect(&b, 6, 0, 5, 5, 0, 0);   // wholly right of the bitmap
        clearRect(&b, 0, 0, 0, 5, 0, 0);   // empty
        clearRect(&b, 0, -5, 3, 5, 0, 0);  // wholly above
        EXPECT_EQ(b.at(0, 0), 0x80FF7F01u);
        EXPECT_EQ(b.damagedGuards(), 0);
    }
}

} // namespace
} // namespace duv
