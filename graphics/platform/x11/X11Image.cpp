#include "graphics/platform/x11/X11Image.h"

#include <X11/Xutil.h>

#include <cstdlib>

namespace duv_x11 {

namespace {

int ShiftOf(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) mask >>= 1, ++s;
  return s;
}

int BitsOf(unsigned long mask) {
  int n = 0;
  for (; mask; mask >>= 1) n += static_cast<int>(mask & 1);
  return n;
}

}  // namespace

unsigned long ServerPixel(const XImage* img, std::uint32_t p) {
  auto channel = [](unsigned v, unsigned long mask) -> unsigned long {
    int bits = BitsOf(mask);
    if (bits == 0) return 0;
    unsigned long scaled = bits >= 8 ? (static_cast<unsigned long>(v) << (bits - 8))
                                     : (static_cast<unsigned long>(v) >> (8 - bits));
    return (scaled << ShiftOf(mask)) & mask;
  };
  return channel((p >> 16) & 0xFF, img->red_mask) | channel((p >> 8) & 0xFF, img->green_mask) |
         channel(p & 0xFF, img->blue_mask);
}

bool DirectFormat(const XImage* img) {
  return img->bits_per_pixel == 32 && img->byte_order == LSBFirst && img->red_mask == 0xFF0000 &&
         img->green_mask == 0xFF00 && img->blue_mask == 0xFF;
}

void PutBitmap(Display* dpy, Window w, GC gc, duv::MemoryBitmap* bm) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(dpy, w, &a)) return;
  const int bw = bm->getWidth(), bh = bm->getHeight();
  XImage* img = XCreateImage(dpy, a.visual, static_cast<unsigned>(a.depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(bw), static_cast<unsigned>(bh), 32, 0);
  if (!img) return;
  img->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(img->bytes_per_line) * bh));
  if (img->data) {
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x)
        XPutPixel(img, x, y, ServerPixel(img, bm->getBits()[static_cast<std::size_t>(y) * bm->getRowSpan() + x]));
    XPutImage(dpy, w, gc, img, 0, 0, 0, 0, static_cast<unsigned>(bw), static_cast<unsigned>(bh));
  }
  XDestroyImage(img);
}

}  // namespace duv_x11
