// The wet (vertical), width and color (horizontal) rockers: 50-frame strips.
// Fade action: a drag moves the value by the distance over the control's
// length (a click alone changes nothing). Jump action: the value follows the
// pointer's position, on the press and while dragging.
#pragma once

#include <atomic>

#include "graphics/IControl.h"

class RockerControl : public IControl {
 public:
  enum EAction { kFade = 0, kJump = 1 };

  RockerControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& strip,
                bool horizontal);

  bool Draw(IGraphics* graphics) override;
  void OnMouseDown(int x, int y, const IMouseMods& mods) override;
  void OnMouseDrag(int x, int y, int dX, int dY, const IMouseMods& mods) override;

  void SetAction(int action) { mAction.store(action, std::memory_order_relaxed); }
  int Action() const { return mAction.load(std::memory_order_relaxed); }

 private:
  IBitmap mStrip;
  bool mHorizontal;
  std::atomic<int> mAction{kFade};
};

// Jump action: the position's value within the target rectangle (x from the
// left, y from the bottom), the coordinate clamped to the rectangle first.
double RockerJumpValue(const IRect& target, bool horizontal, int x, int y);
// Fade action: value moved by the drag step, clamped to 0..1.
double RockerFadeValue(double value, const IRect& rect, bool horizontal, int dX, int dY);
