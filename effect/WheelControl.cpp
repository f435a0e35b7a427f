#include "effect/WheelControl.h"

#include <cmath>

#include "effect/DUVEditorLayout.h"
#include "graphics/IGraphics.h"

double WheelAngle(int x, int y, int centreX, int centreY) {
  double a = (std::atan2(static_cast<double>(centreY - y), static_cast<double>(centreX - x)) +
              1.5707963267948966) *
             0.15915494309189535;
  if (a < 0.0)
    a += 1.0;
  else if (a > 1.0)
    a -= 1.0;
  return a;
}

double WheelRotateValue(double current, double angle) {
  if (current < 0.25 && angle > 0.5) return 0.0;
  if (current > 0.75 && angle < 0.5) return 1.0;
  return angle;
}

WheelControl::WheelControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& strip,
                           bool rectangularHit)
    : IControl(plug, IRect{x, y, x + strip.W, y + strip.FrameHeight()}, paramIdx),
      mGearing(duv_layout::kWheelGearing),
      mStrip(strip),
      mRadius(strip.W / 2),
      mCentreX(x + strip.W / 2),
      mCentreY(y + strip.W / 2),
      mRectangularHit(rectangularHit) {}

bool WheelControl::Draw(IGraphics* graphics) {
  graphics->DrawBitmapFrame(&mStrip, &mRect, FrameForValue(GetValue(), mStrip.N), &mBlend);
  return true;
}

bool WheelControl::IsHit(int x, int y) {
  if (mRectangularHit) return IControl::IsHit(x, y);
  const long long dx = x - mCentreX - 1, dy = y - mCentreY - 1;
  return static_cast<long long>(mRadius) * mRadius >= dx * dx + dy * dy;
}

void WheelControl::OnMouseDown(int x, int y, const IMouseMods& mods) {
  if (Action() == kRotate) {
    SetValue(WheelAngle(x, y, mCentreX, mCentreY));
    SetDirty(true);
  } else {
    IControl::OnMouseDown(x, y, mods);
  }
}

void WheelControl::OnMouseDrag(int x, int y, int dX, int dY, const IMouseMods&) {
  if (Action() == kRotate) {
    SetValue(WheelRotateValue(GetValue(), WheelAngle(x, y, mCentreX, mCentreY)));
    SetDirty(true);
  } else {
    KnobDrag(dX, dY, mVertical, mGearing);
  }
}
