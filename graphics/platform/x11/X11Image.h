// Editor pixel words (0xAARRGGBB, straight alpha; see raster/) on an X
// server: the value of a pixel in an image's visual, whether an image's
// memory already holds pixel words, and sending a whole bitmap to a window.
// No state; any thread that owns the connection it is given.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include "raster/RasterBitmap.h"

namespace duv_x11 {

// p's colour as a pixel value of img's visual: each 8-bit channel scaled to
// its mask's width (shifted up or truncated) and moved to its place. Alpha is
// dropped.
unsigned long ServerPixel(const XImage* img, std::uint32_t p);

// Whether img's memory layout equals the editor's pixel words (32 bits per
// pixel, least significant byte first, red/green/blue masks 0xFF0000,
// 0xFF00, 0xFF), so rows can be copied as they are.
bool DirectFormat(const XImage* img);

// Sends bm to window w at (0, 0) through a temporary image of the window's
// visual. Nothing happens when the window's attributes cannot be read or
// memory runs out.
void PutBitmap(Display* dpy, Window w, GC gc, duv::MemoryBitmap* bm);

}  // namespace duv_x11
