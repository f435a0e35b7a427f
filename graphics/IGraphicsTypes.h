// The editor's small value records: rectangles, colours, blends, mouse
// modifiers, text styles and frame-strip bitmaps.
#pragma once

#include <algorithm>
#include <cstdint>

namespace duv {
class RasterBitmap;
}

// A half-open rectangle: (x, y) is inside when L <= x < R and T <= y < B.
// All four fields 0 is the empty rectangle.
struct IRect {
  int L = 0, T = 0, R = 0, B = 0;

  int W() const { return R - L; }
  int H() const { return B - T; }
  bool Empty() const { return L == 0 && T == 0 && R == 0 && B == 0; }
  bool Contains(int x, int y) const { return x >= L && x < R && y >= T && y < B; }
  bool operator==(const IRect&) const = default;

  // The bounding box; an empty side gives the other.
  IRect Union(const IRect& o) const {
    if (Empty()) return o;
    if (o.Empty()) return *this;
    return {std::min(L, o.L), std::min(T, o.T), std::max(R, o.R), std::max(B, o.B)};
  }
  // The common part, or the empty rectangle when they do not intersect.
  IRect Intersect(const IRect& o) const {
    if (!Intersects(o)) return {};
    return {std::max(L, o.L), std::max(T, o.T), std::min(R, o.R), std::min(B, o.B)};
  }
  // A rectangle whose right or bottom edge only touches o's left or top edge
  // counts as intersecting (the redraw then also repaints that neighbour).
  bool Intersects(const IRect& o) const {
    if (Empty() || o.Empty()) return false;
    return R >= o.L && L < o.R && B >= o.T && T < o.B;
  }
};

struct IColor {
  int A = 255, R = 0, G = 0, B = 0;
  // The pixel word: alpha in bits 24-31, red 16-23, green 8-15, blue 0-7.
  std::uint32_t Packed() const {
    return (static_cast<std::uint32_t>(A & 0xFF) << 24) | (static_cast<std::uint32_t>(R & 0xFF) << 16) |
           (static_cast<std::uint32_t>(G & 0xFF) << 8) | static_cast<std::uint32_t>(B & 0xFF);
  }
};

// How a bitmap is combined with what lies below.
struct IBlend {
  enum EMethod { kSourceAlpha = 0, kCopy = 1, kAdd = 2, kDodge = 3 };
  int method = kSourceAlpha;
  float weight = 1.0f;  // opacity, 1.0 opaque

  // The raster mode word: copy without alpha, add or dodge with it, else copy with alpha.
  std::uint32_t Mode() const;
};

struct IMouseMods {
  bool L = false, R = false, S = false, C = false, A = false;
};

struct IText {
  enum EStyle { kNormal = 0, kBold = 1, kItalic = 2 };
  enum EAlign { kLeft = 0, kCentre = 1, kRight = 2 };
  char face[64] = "Arial";
  int size = 12;  // pixels
  IColor color{255, 0, 0, 0};
  int style = kNormal;
  int align = kCentre;
  int orientation = 0;  // degrees
};

// A frame strip: N frames of H / N rows stacked vertically in one shared
// bitmap owned by the bitmap cache. W and H are the whole image's size.
struct IBitmap {
  duv::RasterBitmap* bitmap = nullptr;
  int W = 0, H = 0, N = 1;

  int FrameHeight() const { return N > 0 ? H / N : H; }
};
