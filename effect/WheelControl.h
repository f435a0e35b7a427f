// A wheel of the voice sections: outer wheels set a voice's delay, inner
// wheels its detune. The strip has 181 frames; the value grows clockwise
// from the bottom. Drag action: vertical knob drag (four wheel heights cover
// the range). Rotate action: the value follows the pointer's angle and holds
// at an end instead of jumping across the bottom.
#pragma once

#include <atomic>

#include "graphics/IControl.h"

class WheelControl : public IControl {
 public:
  enum EAction { kDrag = 0, kRotate = 1 };

  // rectangularHit: the whole square takes the mouse (outer wheels); else
  // only the circle (inner wheels, which sit on top of the outer ones).
  WheelControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& strip,
               bool rectangularHit);

  bool Draw(IGraphics* graphics) override;
  bool IsHit(int x, int y) override;
  void OnMouseDown(int x, int y, const IMouseMods& mods) override;
  void OnMouseDrag(int x, int y, int dX, int dY, const IMouseMods& mods) override;

  void SetAction(int action) { mAction.store(action, std::memory_order_relaxed); }
  int Action() const { return mAction.load(std::memory_order_relaxed); }
  int Radius() const { return mRadius; }
  int CentreX() const { return mCentreX; }
  int CentreY() const { return mCentreY; }

 private:
  bool mVertical = true;
  double mGearing;
  IBitmap mStrip;
  int mRadius, mCentreX, mCentreY;
  std::atomic<int> mAction{kRotate};  // rotate until the parameter says otherwise
  bool mRectangularHit;
};

// (angle of (x, y) around the centre + pi/2) / 2 pi, wrapped into 0..1:
// straight below 0, left 0.25, above 0.5, right 0.75.
double WheelAngle(int x, int y, int centreX, int centreY);
// The rotate action's drag rule: from below 0.25 to an angle above 0.5 holds
// at 0, from above 0.75 to an angle below 0.5 holds at 1, else the angle.
double WheelRotateValue(double current, double angle);
