// A control that shows one frame of a strip picked by its value; also the
// editor's background (no parameter, plain copy).
#pragma once

#include "graphics/IControl.h"

class BitmapControl : public IControl {
 public:
  // Rectangle (x, y, x + W, y + H / N).
  BitmapControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& bitmap,
                int blendMethod = IBlend::kSourceAlpha);
  bool Draw(IGraphics* graphics) override;
  const IBitmap& Bitmap() const { return mBitmap; }

 protected:
  IBitmap mBitmap;
};
