#include "effect/ModeSwitchControl.h"

#include "graphics/IGraphics.h"

ModeSwitchControl::ModeSwitchControl(IPluginBase* plug, int x, int y, int paramIdx,
                                     const IBitmap& left, const IBitmap& right, int gap)
    : IControl(plug, IRect{x, y, x + left.W + right.W + gap, y + left.FrameHeight()}, paramIdx),
      mLeft(left),
      mRight(right) {
  mDblAsSingleClick = true;
}

bool ModeSwitchControl::Draw(IGraphics* graphics) {
  const bool leftChosen = GetValue() < 0.5;
  IRect left{mRect.L, mRect.T, mRect.L + mLeft.W, mRect.T + mLeft.H / 2};
  IRect right{mRect.R - mRight.W, mRect.T, mRect.R, mRect.T + mRight.H / 2};
  graphics->DrawBitmapFrame(&mLeft, &left, leftChosen ? 2 : 1, &mBlend);
  graphics->DrawBitmapFrame(&mRight, &right, leftChosen ? 1 : 2, &mBlend);
  return true;
}

void ModeSwitchControl::OnMouseDown(int x, int, const IMouseMods&) {
  if (x < mRect.L + mLeft.W)
    SetValue(0.0);
  else if (x > mRect.R - mRight.W)
    SetValue(1.0);
  SetDirty(true);  // the gap keeps the value but still reports it
}
