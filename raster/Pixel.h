// Pixel words and the small integer vocabulary every raster operation shares.
//
// A pixel word is 32-bit unsigned, straight (not premultiplied) colour:
// alpha in bits 24-31, red 16-23, green 8-15, blue 0-7, so in little-endian
// memory the bytes read blue, green, red, alpha. Header-only, thread-safe.
#pragma once

#include <cstdint>

namespace duv {

using Pixel = std::uint32_t;

constexpr int pixelA(Pixel p) { return int(p >> 24); }
constexpr int pixelR(Pixel p) { return int((p >> 16) & 0xFF); }
constexpr int pixelG(Pixel p) { return int((p >> 8) & 0xFF); }
constexpr int pixelB(Pixel p) { return int(p & 0xFF); }
// Byte n of the word (0 = blue ... 3 = alpha), as the combiners number channels.
constexpr int pixelByte(Pixel p, int n) { return int((p >> (8 * n)) & 0xFF); }

// Channels 0..255 each (callers pass clamped values).
constexpr Pixel packPixel(int a, int r, int g, int b)
{
    return (Pixel(a) << 24) | (Pixel(r) << 16) | (Pixel(g) << 8) | Pixel(b);
}

// 0 below 0, 255 above 255.
constexpr int clamp255(int x) { return x < 0 ? 0 : (x > 255 ? 255 : x); }

// Each byte halved on its own, then added: the exact word-level averages.
constexpr Pixel halfOf(Pixel p) { return (p >> 1) & 0x7F7F7F7Fu; }
constexpr Pixel quarterOf(Pixel p) { return (p >> 2) & 0x3F3F3F3Fu; }
constexpr Pixel averageWords(Pixel c, Pixel d) { return halfOf(c) + halfOf(d); }
// c at one quarter over d at three quarters, and c at three quarters over d.
constexpr Pixel quarterOver(Pixel c, Pixel d) { return quarterOf(c) + quarterOf(d) + halfOf(d); }
constexpr Pixel threeQuartersOver(Pixel c, Pixel d) { return halfOf(c) + quarterOf(c) + quarterOf(d); }

} // namespace duv
