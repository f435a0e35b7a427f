#include "raster/ImageLoader.h"

#include "raster/Pixel.h"
#include "raster/RasterDispatch.h"
#include "raster/RowAccess.h"

#include <png.h>
// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace duv {

namespace {

bool equalsNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (x != y)
            return false;
    }
    return *a == *b;
}

// The part of path from its last '.', '/' or '\' (the whole path when none).
const char* lastPathPart(const char* path)
{
    const char* part = path;
    for (const char* p = path; *p; ++p)
        if (*p == '.' || *p == '/' || *p == '\\')
            part = p;
    return part;
}

// Opens a file for binary reading; UTF-8 paths need no conversion here.
std::FILE* openForReading(const char* path) { return path ? std::fopen(path, "rb") : nullptr; }

// Whether an image of this size may be decoded at all (see kMaxImagePixels).
bool sizeAccepted(long long width, long long height)
{
    return width > 0 && height > 0 && width * height <= kMaxImagePixels;
}

// Gives the caller's bitmap the image size, or makes a new one. Answers null
// when the size cannot be held. *created tells whether the answer is new.
RasterBitmap* obtainBitmap(RasterBitmap* dest, int width, int height, bool* created)
{
    *created = false;
    if (!sizeAccepted(width, height) || bitmapByteCount(width, height) <= 0)
        return nullptr;
    RasterBitmap* bitmap = dest;
    if (!bitmap) {
        bitmap = new (std::nothrow) MemoryBitmap(width, height);
        if (!bitmap)
            return nullptr;
        *created = true;
    } else {
        bitmap->resize(width, height);
    }
    if (bitmap->getWidth() != width || bitmap->getHeight() != height || !bitmap->getBits() ||
        bitmap->getRowSpan() < width) {
        if (*created)
            delete bitmap;
        *created = false;
        return nullptr;
    }
    return bitmap;
}

// ---- PNG -----------------------------------------------------------------

struct MemoryReader {
    const unsigned char* next = nullptr;
    std::size_t left = 0;
};

// Copies the request or, when fewer bytes are left, fails the decode through
// libpng's error path. Padding a short read with zeros instead lets a damaged
// chunk length make libpng read and checksum up to 2 GiB of padding.
void readFromMemory(png_structp png, png_bytep out, png_size_t count)
{
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->left)
        png_error(png, "read past the end of the data");
    std::memcpy(out, reader->next, count);
    reader->next += count;
    reader->left -= count;
}

std::uint32_t bigEndian32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | std::uint32_t(p[3]);
}

// Whether every chunk libpng will read lies wholly inside the data: the chunks
// from the signature up to the end of the image data (the first chunk after
// the run of IDAT chunks, or IEND). Chunks after the image data are never read
// by the decode and are not looked at. Data that ends between two chunks of
// the IDAT run passes: libpng itself finds out whether the image is complete.
// Checked before decoding so that such data leaves a destination untouched.
bool chunksInsideData(const unsigned char* data, std::size_t size)
{
    std::size_t pos = 8; // after the signature
    bool inImageData = false;
    while (size - pos >= 8) {
        const std::uint32_t length = bigEndian32(data + pos);
        const unsigned char* type = data + pos + 4;
        const bool imageData = std::memcmp(type, "IDAT", 4) == 0;
        if (inImageData && !imageData)
            return true;
        const std::size_t after = size - pos - 8; // bytes after the length and type
        if (length > after || after - length < 4) // the data and its CRC
            return false;
        if (std::memcmp(type, "IEND", 4) == 0)
            return true;
        inImageData = imageData;
        pos += 12 + std::size_t(length);
    }
    // The data ends here, or a few bytes before a header could. Before any
    // image data that is a cut file; inside the IDAT run libpng may already
    // have all it needs.
    return inImageData;
}

// Red and blue exchanged in every word of the row: libpng's rows are red,
// green, blue, alpha bytes; the bitmap's words keep blue first. (libpng can
// write that order itself, one byte at a time: a third of decoding the ring.)
void swapRedAndBlueReference(Pixel* row, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const Pixel p = row[i];
        row[i] = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
    }
}

void swapRedAndBlue(Pixel* row, std::size_t count)
{
    std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    if (!rasterReferenceOnly()) {
        const __m128i greenAlpha = _mm_set1_epi32(int(0xFF00FF00u));
        for (; i + 4 <= count; i += 4) {
            __m128i* at = reinterpret_cast<__m128i*>(row + i);
            const __m128i p = _mm_loadu_si128(at);
            const __m128i redBlue = _mm_andnot_si128(greenAlpha, p);
            const __m128i swapped = _mm_or_si128(_mm_slli_epi32(redBlue, 16), _mm_srli_epi32(redBlue, 16));
            _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(p, greenAlpha), swapped));
        }
    }
#endif
    swapRedAndBlueReference(row + i, count - i);
}

// Everything a PNG decode touches after setjmp lives here, outside the frame
// that calls setjmp, so a long jump leaves it in a defined state.
struct PngJob {
    MemoryReader reader;
    std::FILE* file = nullptr;
    RasterBitmap* dest = nullptr;
    // Band by band (streamImageResource): dest is the band, sink takes each.
    int bandRows = 0;
    const BandSink* sink = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    RasterBitmap* bitmap = nullptr;
    bool created = false;
    png_bytep* rows = nullptr;
};

// Decodes into job->bitmap; answers false on any error. Contains no object with
// a destructor, since libpng's error path long-jumps out of its callees.
// Decoding errors end the decode quietly (the caller answers null); warnings
// keep libpng's default handling.
void pngSilentError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

bool decodePng(PngJob* job)
{
    job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngSilentError, nullptr);
    if (!job->png)
        return false;
    job->info = png_create_info_struct(job->png);
    if (!job->info)
        return false;
    if (setjmp(png_jmpbuf(job->png)))
        return false;
    if (job->file)
        png_init_io(job->png, job->file);
    else
        png_set_read_fn(job->png, &job->reader, readFromMemory);
    png_read_info(job->png, job->info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(job->png, job->info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    if (!sizeAccepted(width, height))
        return false;

    // Expand every layout to 8-bit alpha, red, green, blue.
    const bool hasTransparency = png_get_valid(job->png, job->info, PNG_INFO_tRNS) != 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(job->png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(job->png);
    if (hasTransparency)
        png_set_tRNS_to_alpha(job->png);
    if (bitDepth == 16)
        png_set_strip_16(job->png);
    if (bitDepth < 8)
        png_set_packing(job->png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(job->png);
    // Bytes red, green, blue, alpha; with red and blue exchanged (below), on
    // a little-endian machine exactly the pixel words.
    static_assert(std::endian::native == std::endian::little);
    if (!(colourType & PNG_COLOR_MASK_ALPHA) && !hasTransparency)
        png_set_filler(job->png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(job->png);
    // Every IDAT chunk's CRC already covers the compressed bytes; the zlib
    // stream's own checksum over the inflated rows adds nothing but time.
    png_set_option(job->png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_read_update_info(job->png, job->info);
    // Every row must decode to exactly four bytes per pixel, or it would not
    // fit the bitmap's row.
    if (png_get_rowbytes(job->png, job->info) != png_size_t(width) * 4)
        return false;

    const bool banded = job->sink && passes == 1;
    const int bitmapRows = banded ? std::min(job->bandRows, int(height)) : int(height);
    job->bitmap = obtainBitmap(job->dest, int(width), bitmapRows, &job->created);
    if (!job->bitmap)
        return false;
    RowAccess rows(job->bitmap);
    if (passes == 1) {
        // Each row is put in word order while it is still in the cache.
        for (png_uint_32 y = 0; y < height; ++y) {
            const int inBand = int(y) % bitmapRows;
            Pixel* row = rows.row(inBand);
            png_read_row(job->png, reinterpret_cast<png_bytep>(row), nullptr);
            swapRedAndBlue(row, width);
            if (banded && (inBand == bitmapRows - 1 || y + 1 == height))
                (*job->sink)(job->bitmap, int(y) - inBand, inBand + 1);
        }
        return true;
    }
    // Interlaced: every pass revisits the rows, so the order is fixed after the last.
    job->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!job->rows)
        return false;
    for (png_uint_32 y = 0; y < height; ++y)
        job->rows[y] = reinterpret_cast<png_bytep>(rows.row(int(y)));
    png_read_image(job->png, job->rows);
    for (png_uint_32 y = 0; y < height; ++y)
        swapRedAndBlue(rows.row(int(y)), width);
    if (job->sink)
        (*job->sink)(job->bitmap, 0, int(height));  // the whole image as one band
    return true;
}

RasterBitmap* runPngJob(PngJob& job)
{
    bool ok = decodePng(&job);
    if (job.png)
        png_destroy_read_struct(&job.png, job.info ? &job.info : nullptr, nullptr);
    std::free(job.rows);
    if (!ok) {
        if (job.created)
            delete job.bitmap;
        return nullptr;
    }
    return job.bitmap;
}

// ---- JPEG ----------------------------------------------------------------

struct SilentErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<SilentErrorManager*>(cinfo->err)->jump, 1);
}
void jpegOutputMessage(j_common_ptr) {}
void jpegEmitMessage(j_common_ptr, int) {}
void jpegFormatMessage(j_common_ptr, char* buffer)
{
    if (buffer)
        buffer[0] = 0;
}
void jpegResetErrorManager(j_common_ptr cinfo)
{
    cinfo->err->num_warnings = 0;
    cinfo->err->msg_code = 0;
}

void sourceNothing(j_decompress_ptr) {}
// Truncated data ends the image: every refill supplies an end-of-image marker.
boolean sourceFill(j_decompress_ptr cinfo)
{
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}
void sourceSkip(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    std::size_t n = std::size_t(count) < cinfo->src->bytes_in_buffer ? std::size_t(count) : cinfo->src->bytes_in_buffer;
    cinfo->src->next_input_byte += n;
    cinfo->src->bytes_in_buffer -= n;
}

// Upper bound for libjpeg's whole-image buffers (multi-scan images keep every
// coefficient: 64 of 2 bytes per 8 x 8 block and component, 2 bytes per pixel
// and component). Four full-resolution components at kMaxImagePixels take
// 32 MiB; a quarter more covers the padding to whole MCUs and the row buffers.
// Anything needing more (more components, extreme padding) fails in libjpeg
// before it allocates.
constexpr long kJpegMemoryLimit = long(kMaxImagePixels) * 4 * 2 * 5 / 4;

struct JpegJob {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::FILE* file = nullptr;
    RasterBitmap* dest = nullptr;
    jpeg_decompress_struct cinfo;
    SilentErrorManager err;
    bool createdDecompressor = false;
    RasterBitmap* bitmap = nullptr;
    bool created = false;
};

bool decodeJpeg(JpegJob* job)
{
    jpeg_decompress_struct* cinfo = &job->cinfo;
    cinfo->err = jpeg_std_error(&job->err.base);
    job->err.base.error_exit = jpegErrorExit;
    job->err.base.output_message = jpegOutputMessage;
    job->err.base.emit_message = jpegEmitMessage;
    job->err.base.format_message = jpegFormatMessage;
    job->err.base.reset_error_mgr = jpegResetErrorManager;
    if (setjmp(job->err.jump))
        return false;
    jpeg_create_decompress(cinfo);
    job->createdDecompressor = true;
    cinfo->mem->max_memory_to_use = kJpegMemoryLimit;
    if (job->file) {
        jpeg_stdio_src(cinfo, job->file);
    } else {
        auto* src = static_cast<jpeg_source_mgr*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
        src->next_input_byte = job->data;
        src->bytes_in_buffer = job->size;
        src->init_source = sourceNothing;
        src->fill_input_buffer = sourceFill;
        src->skip_input_data = sourceSkip;
        src->resync_to_restart = jpeg_resync_to_restart;
        src->term_source = sourceNothing;
        cinfo->src = src;
    }
    jpeg_read_header(cinfo, TRUE);
    // Refuse sizes past the limit before libjpeg allocates anything for them.
    if (!sizeAccepted(cinfo->image_width, cinfo->image_height))
        return false;
    // Colour images decode into pixel words: libjpeg writes blue, green, red
    // and an opaque alpha byte, the words' memory order.
    const bool words = cinfo->num_components == 3 &&
                       (cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_RGB);
    if (words)
        cinfo->out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(cinfo);
    const int width = int(cinfo->output_width), height = int(cinfo->output_height);
    const int components = cinfo->output_components;
    // libjpeg's SIMD colour conversion writes rows that start on 16 bytes
    // with non-temporal stores, which bypass the caches. For rows as short as
    // the strips' (an 88-pixel row is 5.5 cache lines) that makes the decode
    // half again slower, and the pixels are read right after (preparations,
    // the first draw). Such rows go through a row buffer kept off that
    // alignment on purpose, and are copied; the others decode in place.
    constexpr std::uintptr_t kStreamingAlignment = 16; // what libjpeg tests for
    constexpr std::size_t kOffAlignment = 4;
    JSAMPARRAY buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                                    JDIMENSION(width) * JDIMENSION(components) + kOffAlignment, 1);
    JSAMPROW line = buffer[0] + kOffAlignment;
    job->bitmap = obtainBitmap(job->dest, width, height, &job->created);
    if (!job->bitmap)
        return false;
    RowAccess rows(job->bitmap);
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = int(cinfo->output_scanline);
        Pixel* p = rows.row(y);
        if (words && reinterpret_cast<std::uintptr_t>(p) % kStreamingAlignment != 0) {
            JSAMPROW target = reinterpret_cast<JSAMPROW>(p);
            if (jpeg_read_scanlines(cinfo, &target, 1) != 1)
                return false;
            continue;
        }
        if (jpeg_read_scanlines(cinfo, &line, 1) != 1)
            return false; // a suspending source cannot happen here; never spin
        const JSAMPLE* s = line;
        if (words) {
            std::memcpy(p, s, std::size_t(width) * sizeof(Pixel));
        } else if (components == 3) {
            for (int x = 0; x < width; ++x, s += 3)
                p[x] = 0xFF000000u | (Pixel(s[0]) << 16) | (Pixel(s[1]) << 8) | Pixel(s[2]);
        } else if (components == 1) {
            for (int x = 0; x < width; ++x)
                p[x] = 0xFF000000u | (Pixel(s[x]) * 0x010101u);
        } else {
            std::memset(p, 0, std::size_t(width) * sizeof(Pixel));
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

RasterBitmap* runJpegJob(JpegJob& job)
{
    bool ok = decodeJpeg(&job);
    if (job.createdDecompressor)
        jpeg_destroy_decompress(&job.cinfo);
    if (!ok) {
        if (job.created)
            delete job.bitmap;
        return nullptr;
    }
    return job.bitmap;
}

bool pngSignatureOk(const unsigned char* data, std::size_t size)
{
    return data && size >= 8 && png_sig_cmp(const_cast<png_bytep>(data), 0, 8) == 0;
}

// In-memory PNG data, whole into dest or, with a sink, band by band.
RasterBitmap* decodePngMemory(const unsigned char* data, std::size_t size, RasterBitmap* dest, int bandRows,
                              const BandSink* sink)
{
    if (!pngSignatureOk(data, size) || !chunksInsideData(data, size))
        return nullptr;
    PngJob job;
    job.reader.next = data;
    job.reader.left = size;
    job.dest = dest;
    job.bandRows = bandRows;
    job.sink = sink;
    return runPngJob(job);
}

enum class ImageKind { kNone, kPng, kJpeg };

// The decoder a resource name asks for: the part after its last '.', any case.
ImageKind kindOfName(const char* name)
{
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    if (!dot)
        return ImageKind::kNone;
    const char* ext = dot + 1;
    if (equalsNoCase(ext, "png"))
        return ImageKind::kPng;
    if (equalsNoCase(ext, "jpg") || equalsNoCase(ext, "jpeg"))
        return ImageKind::kJpeg;
    return ImageKind::kNone;
}

} // namespace

RasterBitmap* loadPngMemory(const unsigned char* data, std::size_t size, RasterBitmap* dest)
{
    return decodePngMemory(data, size, dest, 0, nullptr);
}

RasterBitmap* loadJpegMemory(const unsigned char* data, std::size_t size, RasterBitmap* dest)
{
    if (!data || size < 8)
        return nullptr;
    auto* job = new (std::nothrow) JpegJob;
    if (!job)
        return nullptr;
    job->data = data;
    job->size = size;
    job->dest = dest;
    RasterBitmap* result = runJpegJob(*job);
    delete job;
    return result;
}

RasterBitmap* loadPngResource(const ResourceModule* module, int id, RasterBitmap* dest)
{
    const EmbeddedResource* r = findResource(module, "PNG", id);
    return r ? loadPngMemory(r->data, r->size, dest) : nullptr;
}

RasterBitmap* loadJpegResource(const ResourceModule* module, int id, RasterBitmap* dest)
{
    const EmbeddedResource* r = findResource(module, "JPG", id);
    return r ? loadJpegMemory(r->data, r->size, dest) : nullptr;
}

RasterBitmap* loadImageResource(int id, const char* name)
{
    switch (kindOfName(name)) {
    case ImageKind::kPng:
        return loadPngResource(currentResourceModule(), id, nullptr);
    case ImageKind::kJpeg:
        return loadJpegResource(currentResourceModule(), id, nullptr);
    case ImageKind::kNone:
        break;
    }
    return nullptr;
}

bool streamImageResource(int id, const char* name, RasterBitmap* band, int bandRows, const BandSink& sink)
{
    if (!band || bandRows < 1 || !sink)
        return false;
    switch (kindOfName(name)) {
    case ImageKind::kPng: {
        const EmbeddedResource* r = findResource(currentResourceModule(), "PNG", id);
        return r && decodePngMemory(r->data, r->size, band, bandRows, &sink);
    }
    case ImageKind::kJpeg:
        // Not banded: decoded whole into band, which is then the one band.
        if (!loadJpegResource(currentResourceModule(), id, band))
            return false;
        sink(band, 0, band->getHeight());
        return true;
    case ImageKind::kNone:
        break;
    }
    return false;
}

RasterBitmap* loadPngFile(const char* path, bool checkExtension, RasterBitmap* dest)
{
    if (!path || (checkExtension && !equalsNoCase(lastPathPart(path), ".png")))
        return nullptr;
    std::FILE* file = openForReading(path);
    if (!file)
        return nullptr;
    PngJob job;
    job.file = file;
    job.dest = dest;
    RasterBitmap* result = runPngJob(job);
    std::fclose(file);
    return result;
}

RasterBitmap* loadJpegFile(const char* path, bool checkExtension, RasterBitmap* dest)
{
    if (!path)
        return nullptr;
    if (checkExtension) {
        const char* part = lastPathPart(path);
        if (!equalsNoCase(part, ".jpg") && !equalsNoCase(part, ".jpeg") && !equalsNoCase(part, ".jfif"))
            return nullptr;
    }
    std::FILE* file = openForReading(path);
    if (!file)
        return nullptr;
    auto* job = new (std::nothrow) JpegJob;
    if (!job) {
        std::fclose(file);
        return nullptr;
    }
    job->file = file;
    job->dest = dest;
    RasterBitmap* result = runJpegJob(*job);
    delete job;
    std::fclose(file);
    return result;
}

namespace {
const char* jpegFilterText() { return "JPEG files (*.JPG;*.JPEG;*.JFIF)"; }
const char* pngFilterText() { return "PNG files (*.PNG)"; }
ImageFileLoader sJpegLoader{loadJpegFile, jpegFilterText, nullptr};
ImageFileLoader sPngLoader{loadPngFile, pngFilterText, nullptr};
const ImageFileLoader* sLoaderHead = nullptr;
std::once_flag sLoadersOnce;

void prependLoader(ImageFileLoader* loader)
{
    loader->next = sLoaderHead;
    sLoaderHead = loader;
}
} // namespace

const ImageFileLoader* imageFileLoaders()
{
    std::call_once(sLoadersOnce, [] {
        prependLoader(&sJpegLoader);
        prependLoader(&sPngLoader);
    });
    return sLoaderHead;
}

} // namespace duv
