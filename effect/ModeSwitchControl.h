// A two-way selector (knob action, rocker action): a left and a right image,
// a 10-pixel gap between them. The lit half shows the current choice; a
// press on a half chooses it (and always tells the plug-in), a press in the
// gap changes nothing.
#pragma once

#include "graphics/IControl.h"

class ModeSwitchControl : public IControl {
 public:
  // Rectangle: (x, y) with width = left W + right W + gap, height = left frame height.
  ModeSwitchControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& left,
                    const IBitmap& right, int gap);

  bool Draw(IGraphics* graphics) override;
  void OnMouseDown(int x, int y, const IMouseMods& mods) override;

 private:
  IBitmap mLeft, mRight;
};
