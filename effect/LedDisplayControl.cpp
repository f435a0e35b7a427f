#include "effect/LedDisplayControl.h"

#include <cstdlib>

#include "graphics/IGraphics.h"
#include "plugin/Text.h"

LedGlyphs LedGlyphsFor(double v, bool showPlus) {
  LedGlyphs g{{0, 0, 0}};
  const int n = TruncToInt(v);
  const bool negative = n < 0;
  // Three digits hold up to 999; larger magnitudes show their last three.
  const long m = std::labs(static_cast<long>(n));
  const int hundreds = static_cast<int>((m / 100) % 10), tens = static_cast<int>((m % 100) / 10),
            ones = static_cast<int>(m % 10);
  const int signColumn = (hundreds || tens) ? 0 : 1;
  if (negative)
    g.column[signColumn] = LedDisplayControl::kMinusFrame;
  else if (showPlus && m != 0)
    g.column[signColumn] = LedDisplayControl::kPlusFrame;
  if (hundreds) g.column[0] = hundreds + 1;
  if (hundreds || tens) g.column[1] = tens + 1;
  g.column[2] = ones + 1;
  return g;
}

LedDisplayControl::LedDisplayControl(IPluginBase* plug, int x, int y, int width, const IBitmap& led,
                                     bool showPlus)
    : IControl(plug, IRect{x, y, x + width, y + led.FrameHeight()}, -1),
      mLed(led),
      mShowPlus(showPlus) {}

bool LedDisplayControl::Draw(IGraphics* graphics) {
  const LedGlyphs g = LedGlyphsFor(ShownValue(), mShowPlus);
  for (int c = 0; c < 3; ++c) {
    if (!g.column[c]) continue;
    const int x = mRect.L + 9 * c;
    IRect glyph{x, mRect.T, x + 7, mRect.B};
    graphics->DrawBitmapFrame(&mLed, &glyph, g.column[c], nullptr);
  }
  return true;
}
