// Decoding of PNG and JPEG images (embedded resources or files) into 32-bit
// bitmaps: every pixel becomes alpha * 2^24 + red * 2^16 + green * 2^8 + blue.
// JPEG pixels and PNG pixels without alpha get alpha 255; PNG alpha stays
// straight. UI thread (or any one thread per call): each call is self-contained.
//
// Ownership: with dest null the answer is a new MemoryBitmap owned by the
// caller. With a dest bitmap it is resized to the image (reusing its storage
// when it already has that size), must then report exactly that size, and is
// the answer. On failure dest keeps its size and pixels when the data was
// refused before decoding began (a size past kMaxImagePixels; in-memory PNG
// data with a chunk that runs past its end); after a later decoder error its
// contents are unspecified.
// Failure (missing resource or file, fewer than 8 bytes, bad signature, any
// decoder error, a read past the end of the data, a size above
// kMaxImagePixels, an allocation failure) answers null without a message from
// us (libpng prints its own warnings to stderr). Nothing is ever written
// outside the bitmap's rows.
#pragma once

#include "raster/RasterBitmap.h"
#include "raster/ResourceStore.h"

#include <functional>

namespace duv {

// The most pixels (width x height) a decoded image may have: 2^22, a 16 MiB
// bitmap. The largest embedded image, 145 x 26245, has 3,805,525. Larger
// claims are damaged or hostile headers and are refused before the decoder or
// the bitmap allocates anything for them.
inline constexpr int kMaxImagePixels = 1 << 22;

// Chooses the decoder by the part of name after its last '.', without regard to
// case: "png" -> loadPngResource, "jpg"/"jpeg" -> loadJpegResource, else null.
// Searches currentResourceModule().
RasterBitmap* loadImageResource(int id, const char* name);

// Decodes the image as loadImageResource would, but for a caller that passes
// over its pixels once (laying it over another image) and need not keep it:
// band is resized to the image's width and at most bandRows rows, and after
// each band is decoded into it, sink(band, firstRow, rows) gets the image's
// rows firstRow .. firstRow + rows - 1 as the band's top rows. Only a band's
// memory is touched, not the whole image's. Images whose rows cannot be had
// in order (interlaced PNG, JPEG) come whole, as one band the image's size.
// sink must not throw: it runs inside the decoder.
// False on any failure of loadImageResource's kinds, or bad arguments; sink
// may already have had the bands before the failure.
using BandSink = std::function<void(RasterBitmap* band, int firstRow, int rows)>;
bool streamImageResource(int id, const char* name, RasterBitmap* band, int bandRows, const BandSink& sink);

// Decodes resource (type "PNG", id) of module.
RasterBitmap* loadPngResource(const ResourceModule* module, int id, RasterBitmap* dest);
// Decodes resource (type "JPG", id) of module. Truncated data ends the image
// (the source supplies an end-of-image marker) rather than failing.
// libjpeg's working memory is capped at what a kMaxImagePixels image needs.
RasterBitmap* loadJpegResource(const ResourceModule* module, int id, RasterBitmap* dest);

// The same from memory (the resource loaders' core; also used by tests and
// fuzz targets). data may be null only with size 0.
RasterBitmap* loadPngMemory(const unsigned char* data, std::size_t size, RasterBitmap* dest);
RasterBitmap* loadJpegMemory(const unsigned char* data, std::size_t size, RasterBitmap* dest);

// File variants. With checkExtension, the part of path from its last '.', '/'
// or '\' must be ".png" (PNG) or ".jpg", ".jpeg", ".jfif" (JPEG), any case.
RasterBitmap* loadPngFile(const char* path, bool checkExtension, RasterBitmap* dest);
RasterBitmap* loadJpegFile(const char* path, bool checkExtension, RasterBitmap* dest);

// Registry of file loaders, in the order PNG, JPEG (JPEG is registered first,
// then PNG prepended). Built on first use; the records are static.
struct ImageFileLoader {
    RasterBitmap* (*load)(const char* path, bool checkExtension, RasterBitmap* dest);
    const char* (*filterText)();
    const ImageFileLoader* next;
};
const ImageFileLoader* imageFileLoaders();

} // namespace duv
