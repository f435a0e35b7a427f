// A minimal loadable module built like the plug-in: it links duv_raster (and so
// the static codecs) into a shared object and exports one C entry point. The
// module test loads it to show the codecs link position-independently and stay
// hidden inside it.
#include "raster/ImageLoader.h"
#include "raster/PixelAccess.h"

#include <cstddef>
#include <cstdint>

// Decodes PNG (kind 0) or JPEG (kind 1) bytes; answers 1 with the size and the
// top-left pixel word, or 0.
extern "C" __attribute__((visibility("default"))) int duvProbeDecode(int kind, const unsigned char* data,
                                                                      std::size_t size, int* width, int* height,
                                                                      std::uint32_t* firstPixel)
{
    duv::RasterBitmap* b = kind == 0 ? duv::loadPngMemory(data, size, nullptr) : duv::loadJpegMemory(data, size, nullptr);
    if (!b)
        return 0;
    *width = b->getWidth();
    *height = b->getHeight();
    *firstPixel = duv::getPixel(b, 0, 0);
    delete b;
    return 1;
}
