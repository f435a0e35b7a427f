#include "graphics/IControl.h"

#include "graphics/IGraphics.h"
#include "plugin/IPluginBase.h"

std::uint32_t IBlend::Mode() const {
  switch (method) {
    case kCopy: return 0x00000;
    case kAdd: return 0x10001;
    case kDodge: return 0x10002;
    default: return 0x10000;
  }
}

int FrameForValue(double value, int frames) {
  if (frames < 2) return 1;
  double scaled = (frames - 1) * value + 0.5;
  if (!(scaled >= 0.0)) return 1;  // negative or NaN
  if (scaled >= frames) return frames;
  return std::min(static_cast<int>(scaled) + 1, frames);
}

IControl::IControl(IPluginBase* plug, const IRect& rect, int paramIdx, int blendMethod)
    : mPlug(plug), mRect(rect), mTargetRect(rect), mParamIdx(paramIdx) {
  mBlend.method = blendMethod;
  mBlend.weight = 1.0f;
}

void IControl::OnMouseDown(int, int, const IMouseMods& mods) {
  if (mods.R) OpenEntryPopup();
}

void IControl::OnMouseUp(int, int, const IMouseMods&) {}
void IControl::OnMouseDrag(int, int, int, int, const IMouseMods&) {}

void IControl::OnMouseDblClick(int, int, const IMouseMods&) {
  double d = DefaultValue();
  if (d >= 0.0) {
    SetValue(d);
    SetDirty(true);
  }
}

void IControl::OnMouseWheel(int, int, const IMouseMods& mods, int delta) {
  SetValue(GetValue() + delta * ((mods.C || mods.S) ? 0.001 : 0.01));
  SetDirty(true);
}

void IControl::OnKeyDown(int, int, int) {}
void IControl::OnMouseOver(int, int, const IMouseMods&) {}
void IControl::OnMouseOut() {}

void IControl::SetValueFromPlug(double value) {
  if (DefaultValue() < 0.0) {
    mDefaultValue.store(value, std::memory_order_relaxed);
    SetValue(value);
    SetDirty(false);
  } else {
    if (value == GetValue()) return;
    SetValue(value);
    SetDirty(false);
  }
  mRedrawPending.store(true, std::memory_order_relaxed);
}

void IControl::Hide(bool hide) {
  mHidden = hide;
  mRedrawPending.store(true, std::memory_order_relaxed);
  SetDirty(false);
}

void IControl::GrayOut(bool gray) {
  mGrayed = gray;
  mBlend.weight = gray ? 0.25f : 1.0f;
  SetDirty(false);
}

bool IControl::IsHit(int x, int y) {
  return !mTargetRect.Empty() && mTargetRect.Contains(x, y);
}

void IControl::SetDirty(bool pushToPlug) {
  double v = GetValue();
  if (v < mMin) v = mMin;
  if (v > mMax) v = mMax;
  SetValue(v);
  mDirty.store(true, std::memory_order_relaxed);
  if (pushToPlug && mPlug && mParamIdx >= 0) mPlug->SetParameterFromGUI(mParamIdx, v);
}

void IControl::SetClean() {
  mDirty.store(mRedrawPending.load(std::memory_order_relaxed), std::memory_order_relaxed);
  mRedrawPending.store(false, std::memory_order_relaxed);
}

bool IControl::IsDirty() { return mDirty.load(std::memory_order_relaxed); }

void IControl::SetValueFromUserInput(double value) {
  if (value == GetValue()) return;
  SetValue(value);
  SetDirty(true);
  mRedrawPending.store(true, std::memory_order_relaxed);
}

void IControl::OpenEntryPopup() {
  if (mParamIdx < 0 || !mPlug) return;
  IGraphics* graphics = GraphicsOf(mPlug);
  IParam* param = mPlug->ParamAt(mParamIdx);
  if (graphics && param) graphics->PromptParameterEntry(this, param);
  mRedrawPending.store(true, std::memory_order_relaxed);
}

void IControl::KnobDrag(int dX, int dY, bool vertical, double gearing) {
  if (vertical)
    SetValue(GetValue() + dY / static_cast<double>(mRect.T - mRect.B) / gearing);
  else
    SetValue(GetValue() + dX / static_cast<double>(mRect.R - mRect.L) / gearing);
  SetDirty(true);
}
