// A three-digit LED number: the shown value truncated toward zero, with a
// minus sign, or a plus sign where the display has one, ahead of the first digit.
#pragma once

#include <atomic>

#include "graphics/IControl.h"

class LedDisplayControl : public IControl {
 public:
  static constexpr int kMinusFrame = 11;
  static constexpr int kPlusFrame = 12;

  // Rectangle (x, y, x + width, y + LED frame height); no parameter.
  LedDisplayControl(IPluginBase* plug, int x, int y, int width, const IBitmap& led,
                    bool showPlus);

  bool Draw(IGraphics* graphics) override;
  // Any thread, under the plug-in's lock.
  void SetShownValue(double v) { mShownValue.store(v, std::memory_order_relaxed); }
  double ShownValue() const { return mShownValue.load(std::memory_order_relaxed); }

 private:
  IBitmap mLed;
  std::atomic<double> mShownValue{0.0};
  bool mShowPlus;
};

// The frames (1-based; 0 = nothing) drawn in the three glyph columns for v.
struct LedGlyphs {
  int column[3];
};
LedGlyphs LedGlyphsFor(double v, bool showPlus);
