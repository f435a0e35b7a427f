#include "raster/ImageHeader.h"

#include <cctype>
#include <cstring>

#include "raster/RasterBitmap.h"
#include "raster/ResourceStore.h"

namespace duv {

namespace {

std::uint32_t bigEndian16(const unsigned char* p) { return (std::uint32_t(p[0]) << 8) | p[1]; }
std::uint32_t bigEndian32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// The loaders refuse what a 32-bit bitmap cannot hold; so does the header read.
bool storeSize(std::uint32_t w, std::uint32_t h, int* width, int* height)
{
    if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu)
        return false;
    if (bitmapByteCount(static_cast<int>(w), static_cast<int>(h)) < 0)
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

bool equalsNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

} // namespace

bool readPngSize(const unsigned char* data, std::size_t size, int* width, int* height)
{
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    // Signature, then the first chunk, which must be IHDR of 13 bytes:
    // length (4), type (4), width (4), height (4), ...
    if (!data || size < 24 || !width || !height)
        return false;
    if (std::memcmp(data, kSignature, 8) != 0 || bigEndian32(data + 8) != 13 ||
        std::memcmp(data + 12, "IHDR", 4) != 0)
        return false;
    return storeSize(bigEndian32(data + 16), bigEndian32(data + 20), width, height);
}

bool readJpegSize(const unsigned char* data, std::size_t size, int* width, int* height)
{
    if (!data || size < 4 || !width || !height || data[0] != 0xFF || data[1] != 0xD8)
        return false;
    std::size_t pos = 2;
    while (pos + 1 < size) {
        if (data[pos] != 0xFF)
            return false;  // not at a marker: the stream is corrupt
        const unsigned char marker = data[pos + 1];
        if (marker == 0xFF) {  // fill byte before a marker
            ++pos;
            continue;
        }
        pos += 2;
        // Markers without a length: TEM, RST0-7, SOI. EOI or SOS before any
        // frame header means there is none.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;
        if (marker == 0xD9 || marker == 0xDA || pos + 2 > size)
            return false;
        const std::size_t length = bigEndian16(data + pos);
        if (length < 2)
            return false;
        // Frame headers SOF0-15, except DHT (C4), JPG (C8) and DAC (CC):
        // length, precision, height, width.
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                           marker != 0xCC;
        if (frame) {
            if (length < 7 || pos + 7 > size)
                return false;
            // A height of 0 is defined later by a DNL marker, which the decoder refuses too.
            return storeSize(bigEndian16(data + pos + 5), bigEndian16(data + pos + 3), width, height);
        }
        pos += length;
    }
    return false;
}

bool imageResourceSize(int id, const char* name, int* width, int* height)
{
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot)
        return false;
    const char* ext = dot + 1;
    const bool png = equalsNoCase(ext, "png");
    if (!png && !equalsNoCase(ext, "jpg") && !equalsNoCase(ext, "jpeg"))
        return false;
    const EmbeddedResource* r = findResource(currentResourceModule(), png ? "PNG" : "JPG", id);
    if (!r)
        return false;
    // Sizes the build read from the header spare touching (paging in) the bytes.
    if (r->width > 0 && r->height > 0 && bitmapByteCount(r->width, r->height) >= 0) {
        *width = r->width;
        *height = r->height;
        return true;
    }
    return png ? readPngSize(r->data, r->size, width, height) : readJpegSize(r->data, r->size, width, height);
}

} // namespace duv
