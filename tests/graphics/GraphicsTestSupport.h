// A headless graphics object with simple test controls that fill their
// rectangle with a colour and count what reaches them.
#pragma once

#include <memory>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/platform/linux/IGraphicsLinux.h"
#include "raster/RasterBitmap.h"

class FillControl : public IControl {
 public:
  FillControl(const IRect& r, std::uint32_t argb, int paramIdx = -1, IPluginBase* plug = nullptr)
      : IControl(plug, r, paramIdx), mColor{static_cast<int>(argb >> 24), static_cast<int>((argb >> 16) & 255),
                                            static_cast<int>((argb >> 8) & 255), static_cast<int>(argb & 255)} {}
  bool Draw(IGraphics* g) override {
    ++draws;
    IRect clipped = mRect.Intersect(g->DrawRect());
    IBlend copy{IBlend::kCopy, 1.0f};
    if (!clipped.Empty()) g->FillRect(&mColor, &clipped, &copy);
    return true;
  }
  void OnMouseDown(int x, int y, const IMouseMods& m) override {
    ++downs;
    IControl::OnMouseDown(x, y, m);
  }
  void OnMouseUp(int, int, const IMouseMods&) override { ++ups; }
  void OnMouseDrag(int, int, int dX, int dY, const IMouseMods&) override {
    ++drags;
    lastDX = dX;
    lastDY = dY;
  }
  void OnMouseDblClick(int x, int y, const IMouseMods& m) override {
    ++dblClicks;
    IControl::OnMouseDblClick(x, y, m);
  }
  void SetDoubleAsSingle(bool on) { mDblAsSingleClick = on; }

  IColor mColor;
  int draws = 0, downs = 0, ups = 0, drags = 0, dblClicks = 0, lastDX = 0, lastDY = 0;
};

// A graphics object of 64 x 48 with a surface, no plug-in unless given.
inline std::unique_ptr<IGraphicsLinux> MakeTestGraphics(IPluginBase* plug = nullptr, int w = 64,
                                                        int h = 48) {
  auto g = std::make_unique<IGraphicsLinux>(plug, w, h, 0);
  g->PrepareDrawing();
  return g;
}

inline std::uint32_t PixelAt(IGraphicsRaster& g, int x, int y) {
  return g.Surface()->getBits()[y * g.Surface()->getRowSpan() + x];
}
