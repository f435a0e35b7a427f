#include "effect/BypassControl.h"

#include "graphics/IGraphics.h"

BypassControl::BypassControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& bitmap)
    : IControl(plug, IRect{x, y, x + bitmap.W, y + bitmap.FrameHeight()}, paramIdx),
      mBitmap(bitmap) {
  mDblAsSingleClick = true;
}

bool BypassControl::Draw(IGraphics* graphics) {
  const int frame = (GetValue() >= 0.5 || IsLit()) ? 2 : 1;
  graphics->DrawBitmapFrame(&mBitmap, &mRect, frame, &mBlend);
  return true;
}

void BypassControl::OnMouseDown(int, int, const IMouseMods& mods) {
  mRightButtonHeld = mods.R;
  SetValue(mods.R && GetValue() >= 0.5 ? 0.0 : 1.0);
  SetDirty(true);
}

void BypassControl::OnMouseUp(int, int, const IMouseMods&) {
  if (mRightButtonHeld) return;
  SetValue(0.0);
  SetDirty(true);
}

void BypassControl::SetLit(bool lit) {
  if (mLamp.exchange(lit, std::memory_order_relaxed) != lit) SetDirty(false);
}
