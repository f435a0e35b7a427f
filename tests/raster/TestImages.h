// In-memory PNG and JPEG writers for the loader tests, on the same libpng and
// libjpeg the loaders link. Errors abort the test binary (test input only).
#pragma once

#include <png.h>
#include <zlib.h>
#include <cstdio>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace duv::test {

using Bytes = std::vector<unsigned char>;

struct PngSpec {
    int width = 1, height = 1;
    int colourType = PNG_COLOR_TYPE_RGBA;
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<png_color> palette;       // colour type 3
    std::vector<png_byte> paletteAlpha;   // tRNS for colour type 3
    bool greyOrRgbTransparent = false;    // tRNS for types 0 and 2
    png_color_16 transparent{};
    // Raw row bytes in the file's layout (bit depth and channels as given).
    std::function<void(int y, png_bytep row)> row;
};

inline Bytes writePng(const PngSpec& desc)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        std::abort();
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* v = static_cast<Bytes*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(desc.width), png_uint_32(desc.height), desc.bitDepth, desc.colourType,
                 desc.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!desc.palette.empty())
        png_set_PLTE(png, info, desc.palette.data(), int(desc.palette.size()));
    if (!desc.paletteAlpha.empty())
        png_set_tRNS(png, info, desc.paletteAlpha.data(), int(desc.paletteAlpha.size()), nullptr);
    if (desc.greyOrRgbTransparent)
        png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16p>(&desc.transparent));
    png_write_info(png, info);
    const png_size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_byte> rows(rowBytes * std::size_t(desc.height));
    std::vector<png_bytep> pointers(std::size_t(desc.height));
    for (int y = 0; y < desc.height; ++y) {
        pointers[std::size_t(y)] = rows.data() + rowBytes * std::size_t(y);
        desc.row(y, pointers[std::size_t(y)]);
    }
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// components 1 (grey), 3 (RGB) or 4 (CMYK); pixel(x, y, c) gives sample c.
inline Bytes writeJpeg(int width, int height, int components, int quality,
                       const std::function<int(int x, int y, int c)>& pixel, bool progressive = false)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : (components == 3 ? JCS_RGB : JCS_CMYK);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * std::size_t(components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = int(cinfo.next_scanline);
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                row[std::size_t(x * components + c)] = JSAMPLE(pixel(x, y, c));
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

// Reference decode straight through libjpeg: width x height x components samples.
inline std::vector<JSAMPLE> decodeJpegSamples(const Bytes& data, int* width, int* height, int* components)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    *width = int(cinfo.output_width);
    *height = int(cinfo.output_height);
    *components = cinfo.output_components;
    std::vector<JSAMPLE> out(std::size_t(*width) * std::size_t(*height) * std::size_t(*components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW r = out.data() + std::size_t(cinfo.output_scanline) * std::size_t(*width) * std::size_t(*components);
        jpeg_read_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

// Big-endian 32-bit and a PNG chunk with its CRC, for hand-made headers.
inline void appendU32(Bytes& b, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<unsigned char>(v >> s));
}
inline void appendChunk(Bytes& b, const char* type, const Bytes& payload)
{
    appendU32(b, std::uint32_t(payload.size()));
    const std::size_t start = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), payload.begin(), payload.end());
    appendU32(b, std::uint32_t(::crc32(0, b.data() + start, uInt(b.size() - start))));
}
inline Bytes pngHeaderOnly(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType)
{
    Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes ihdr;
    appendU32(ihdr, width);
    appendU32(ihdr, height);
    ihdr.push_back(static_cast<unsigned char>(bitDepth));
    ihdr.push_back(static_cast<unsigned char>(colourType));
    ihdr.push_back(0);
    ihdr.push_back(0);
    ihdr.push_back(0);
    appendChunk(b, "IHDR", ihdr);
    return b;
}

} // namespace duv::test
