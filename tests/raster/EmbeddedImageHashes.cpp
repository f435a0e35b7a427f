// Prints one line per embedded image: id, decoded size and a hash of the
// decoded pixel words. The checked-in list pins the decoders' exact output;
// running it with libjpeg's SIMD switched off proves the fast decode exact.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "raster/ImageLoader.h"
#include "raster/RasterBitmap.h"

int main() {
  const int ids[] = {101, 102, 103, 104, 106, 107, 108, 109, 110, 111, 112, 115, 116, 117, 118};
  const char* names[] = {"img/bg.png",          "img/wheel-inner.jpg",   "img/wheel-outer.jpg",
                         "img/wheels-inner-ring.png", "img/led.png",      "img/wet.jpg",
                         "img/width.jpg",       "img/color.jpg",         "img/bypass.jpg",
                         "img/wheel-out-mask.png",    "img/wheel-in-mask.png", "img/knob-absolute.png",
                         "img/knob-relative.png",     "img/rocker-absolute.png",
                         "img/rocker-relative.png"};
  int failures = 0;
  for (int i = 0; i < 15; ++i) {
    std::unique_ptr<duv::RasterBitmap> b(duv::loadImageResource(ids[i], names[i]));
    if (!b) {
      std::printf("%d missing\n", ids[i]);
      ++failures;
      continue;
    }
    std::uint64_t h = 1469598103934665603ull;  // FNV-1a over the words' bytes
    for (int y = 0; y < b->getHeight(); ++y)
      for (int x = 0; x < b->getWidth(); ++x) {
        std::uint32_t p = b->getBits()[static_cast<long>(y) * b->getRowSpan() + x];
        for (int k = 0; k < 4; ++k) h = (h ^ ((p >> (8 * k)) & 0xFF)) * 1099511628211ull;
      }
    std::printf("%d %dx%d %016llx\n", ids[i], b->getWidth(), b->getHeight(),
                static_cast<unsigned long long>(h));
  }
  return failures;
}
