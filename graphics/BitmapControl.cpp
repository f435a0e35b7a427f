#include "graphics/BitmapControl.h"

#include "graphics/IGraphics.h"

BitmapControl::BitmapControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& bitmap,
                             int blendMethod)
    : IControl(plug, IRect{x, y, x + bitmap.W, y + bitmap.FrameHeight()}, paramIdx, blendMethod),
      mBitmap(bitmap) {}

bool BitmapControl::Draw(IGraphics* graphics) {
  graphics->DrawBitmapFrame(&mBitmap, &mRect, FrameForValue(GetValue(), mBitmap.N), &mBlend);
  return true;
}
