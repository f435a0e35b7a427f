// The bypass button. Left button: bypassed while held (momentary). Right
// button: toggles and stays (latching). Its lamp also lights while a delay
// change is faded through; the lamp is written by the audio code (through the
// IndicatorLamp interface) and only read here when drawing.
#pragma once

#include <atomic>

#include "dsp/IndicatorLamp.h"
#include "graphics/IControl.h"

class BypassControl : public IControl, public IndicatorLamp {
 public:
  BypassControl(IPluginBase* plug, int x, int y, int paramIdx, const IBitmap& bitmap);

  bool Draw(IGraphics* graphics) override;  // frame 2 when bypassed or lit
  void OnMouseDown(int x, int y, const IMouseMods& mods) override;
  void OnMouseUp(int x, int y, const IMouseMods& mods) override;

  // Any thread, under the plug-in's lock: a change marks the control dirty
  // without telling the plug-in.
  void SetLit(bool lit) override;
  bool IsLit() const { return mLamp.load(std::memory_order_relaxed); }

 private:
  IBitmap mBitmap;
  std::atomic<bool> mLamp{false};
  bool mRightButtonHeld = false;
};
