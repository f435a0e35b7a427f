// libFuzzer entry for the image loaders: the input is an embedded resource's
// bytes. Each input is decoded once, by one of three roads chosen by its size
// (a new bitmap, a destination bitmap to resize, the resource lookup), so a
// mutation that adds or removes a byte also tries the next road; decoding
// every input three times would cost three times as much for little more
// coverage. Any crash, out-of-bounds access, leak or undefined behaviour is a
// finding. DUV_FUZZ_PNG or DUV_FUZZ_JPEG selects the decoder.
#include "raster/ImageLoader.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

#if DUV_FUZZ_PNG
constexpr const char* kType = "PNG";
constexpr const char* kName = "img/fuzz.png";
duv::RasterBitmap* decode(const std::uint8_t* data, std::size_t size, duv::RasterBitmap* dest)
{
    return duv::loadPngMemory(data, size, dest);
}
bool worthDecoding(const std::uint8_t*, std::size_t) { return true; }
#else
constexpr const char* kType = "JPG";
constexpr const char* kName = "img/fuzz.jpg";
duv::RasterBitmap* decode(const std::uint8_t* data, std::size_t size, duv::RasterBitmap* dest)
{
    return duv::loadJpegMemory(data, size, dest);
}

// A JPEG decode costs what its frame header claims, not what the input holds:
// truncated data ends the image, so a 100-byte input claiming 2048 x 2048
// decodes a whole image (0.3 s in this build), and a thin one pays per row
// (9 x 63496 takes 0.1 s). Mutated sizes are common, and such inputs reach no
// code a smaller claim does not (the loops only run longer), so claims costing
// more than about 2^18 pixels are skipped; the loader's unit tests cover
// sizes up to its limit. Walks the marker segments as libjpeg does; when no
// frame header turns up the input is decoded.
constexpr std::uint64_t kCostLimit = 1u << 18; // (width + 32) x height
bool worthDecoding(const std::uint8_t* data, std::size_t size)
{
    std::size_t pos = 2; // after the start-of-image marker
    for (;;) {
        // Like libjpeg: bytes before a marker are skipped, so are fill bytes
        // and 0xFF 0x00.
        while (pos < size && data[pos] != 0xFF)
            ++pos;
        while (pos < size && data[pos] == 0xFF)
            ++pos;
        if (pos >= size)
            return true;
        const std::uint8_t marker = data[pos++];
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // no length follows
        if (marker == 0xDA || marker == 0xD9 || pos + 2 > size)
            return true; // scan data before any frame header: libjpeg fails
        const std::size_t length = std::size_t(data[pos]) << 8 | data[pos + 1];
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (pos + 7 > size)
                return true;
            const std::uint64_t height = std::uint64_t(data[pos + 3]) << 8 | data[pos + 4];
            const std::uint64_t width = std::uint64_t(data[pos + 5]) << 8 | data[pos + 6];
            return (width + 32) * height <= kCostLimit;
        }
        pos += length < 2 ? 2 : length;
    }
}
#endif

// Reads up to 64 whole rows straight from the bitmap's storage (a pixel
// accessor call per pixel would cost more than the decode), so rows that are
// not really the bitmap's show up as out-of-bounds or freed reads.
std::uint32_t digest(duv::RasterBitmap* b)
{
    std::uint32_t sum = 0;
    const std::uint32_t* bits = b->getBits();
    const std::ptrdiff_t span = b->getRowSpan();
    for (int y = 0; y < b->getHeight(); y += 1 + b->getHeight() / 64)
        for (int x = 0; x < b->getWidth(); ++x)
            sum += bits[y * span + x];
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (!worthDecoding(data, size))
        return 0;
    volatile std::uint32_t sink = 0;
    switch (size % 3) {
    case 0: {
        std::unique_ptr<duv::RasterBitmap> fresh(decode(data, size, nullptr));
        if (fresh)
            sink = digest(fresh.get());
        break;
    }
    case 1: {
        duv::MemoryBitmap dest(3, 2);
        duv::RasterBitmap* into = decode(data, size, &dest);
        if (into && into != &dest)
            __builtin_trap(); // a destination decode answers the destination
        if (into)
            sink = digest(&dest);
        break;
    }
    default: {
        const duv::EmbeddedResource entry{kType, 1, kName, data, size};
        const duv::ResourceModule module{&entry, 1};
        duv::setResourceModule(&module);
        std::unique_ptr<duv::RasterBitmap> viaName(duv::loadImageResource(1, kName));
        duv::setResourceModule(nullptr);
        if (viaName)
            sink = digest(viaName.get());
        break;
    }
    }
    (void)sink;
    return 0;
}
