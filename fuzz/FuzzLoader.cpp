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
#else
constexpr const char* kType = "JPG";
constexpr const char* kName = "img/fuzz.jpg";
duv::RasterBitmap* decode(const std::uint8_t* data, std::size_t size, duv::RasterBitmap* dest)
{
    return duv::loadJpegMemory(data, size, dest);
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
