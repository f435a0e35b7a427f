// libFuzzer entry for the image loaders: the input is an embedded resource's
// bytes. Each input is decoded into a new bitmap, into a reused destination,
// and through the resource lookup; any crash, out-of-bounds access or leak is
// a finding. DUV_FUZZ_PNG or DUV_FUZZ_JPEG selects the decoder.
#include "raster/ImageLoader.h"
#include "raster/PixelAccess.h"

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

// Touches every pixel so reads of uninitialised or freed rows show up.
std::uint32_t digest(duv::RasterBitmap* b)
{
    std::uint32_t sum = 0;
    for (int y = 0; y < b->getHeight(); y += 1 + b->getHeight() / 64)
        for (int x = 0; x < b->getWidth(); ++x)
            sum += duv::getPixel(b, x, y);
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<duv::RasterBitmap> fresh(decode(data, size, nullptr));
    volatile std::uint32_t sink = fresh ? digest(fresh.get()) : 0;

    duv::MemoryBitmap reused(3, 2);
    if (decode(data, size, &reused))
        sink = sink + digest(&reused);

    const duv::EmbeddedResource entry{kType, 1, kName, data, size};
    const duv::ResourceModule module{&entry, 1};
    duv::setResourceModule(&module);
    std::unique_ptr<duv::RasterBitmap> viaName(duv::loadImageResource(1, kName));
    duv::setResourceModule(nullptr);
    if (viaName)
        sink = sink + digest(viaName.get());
    (void)sink;
    return 0;
}
