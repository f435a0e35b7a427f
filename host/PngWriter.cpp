#include "host/PngWriter.h"

#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

bool WritePng(const std::string& path, int width, int height, const std::uint32_t* pixels,
              bool opaque, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info;
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * 4);
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
        unsigned char* o = &row[static_cast<std::size_t>(x) * 4];
        o[0] = static_cast<unsigned char>(p >> 16);
        o[1] = static_cast<unsigned char>(p >> 8);
        o[2] = static_cast<unsigned char>(p);
        o[3] = opaque ? 255 : static_cast<unsigned char>(p >> 24);
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  } else {
    ok = false;
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  if (std::fclose(file) != 0) ok = false;
  if (!ok) {
    // Only an ordinary file holds a partial picture worth removing; a name
    // that is a link or a device (as root, /dev/full) must survive.
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(path.c_str());
    if (error) *error = "cannot write " + path;
  }
  return ok;
}
