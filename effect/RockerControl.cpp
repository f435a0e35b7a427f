#include "effect/RockerControl.h"

#include <algorithm>

#include "graphics/IGraphics.h"

double RockerJumpValue(const IRect& target, bool horizontal, int x, int y) {
  if (horizontal) {
    x = std::clamp(x, target.L, target.R);
    return static_cast<double>(x - target.L) / (target.R - target.L);
  }
  y = std::clamp(y, target.T, target.B);
  return static_cast<double>(target.B - y) / (target.B - target.T);
}

double RockerFadeValue(double value, const IRect& rect, bool horizontal, int dX, int dY) {
  if (horizontal)
    value += static_cast<double>(dX) / (rect.R - rect.L);
  else
    value -= static_cast<double>(dY) / (rect.B - rect.T);
  return std::clamp(value, 0.0, 1.0);
}

RockerControl::RockerControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& strip,
                             bool horizontal)
    : IControl(plug, IRect{x, y, x + strip.W, y + strip.FrameHeight()}, paramIdx),
      mStrip(strip),
      mHorizontal(horizontal) {}

bool RockerControl::Draw(IGraphics* graphics) {
  graphics->DrawBitmapFrame(&mStrip, &mRect, FrameForValue(GetValue(), mStrip.N), &mBlend);
  return true;
}

void RockerControl::OnMouseDown(int x, int y, const IMouseMods& mods) {
  if (mods.R) {
    OpenEntryPopup();
    return;
  }
  if (Action() != kJump) return;
  SetValue(RockerJumpValue(mTargetRect, mHorizontal, x, y));
  SetDirty(true);
}

void RockerControl::OnMouseDrag(int x, int y, int dX, int dY, const IMouseMods&) {
  if (Action() == kJump)
    SetValue(RockerJumpValue(mTargetRect, mHorizontal, x, y));
  else
    SetValue(RockerFadeValue(GetValue(), mRect, mHorizontal, dX, dY));
  SetDirty(true);
}
