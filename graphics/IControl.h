// One rectangular element of the editor: it draws itself into the graphics
// object's offscreen bitmap, takes the mouse and keys routed to it, and may be
// bound to one plug-in parameter whose normalised value (0..1) it shows.
//
// Every change the user makes goes through SetDirty(true), which also tells
// the plug-in; every change from the plug-in goes through SetDirty(false).
// Either marks the control for the next redraw.
//
// Threads: SetValueFromPlug and SetDirty(false) may run on the host's or the
// audio thread under the plug-in's lock (they only store the value and flags,
// which are atomics); everything else runs on the editor's thread.
#pragma once

#include <atomic>

#include "graphics/IGraphicsTypes.h"

class IGraphics;
class IParam;
class IPluginBase;

class IControl {
 public:
  IControl(IPluginBase* plug, const IRect& rect, int paramIdx = -1,
           int blendMethod = IBlend::kSourceAlpha);
  virtual ~IControl() = default;
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // ---- virtual operations ----
  virtual void OnMouseDown(int x, int y, const IMouseMods& mods);  // right button: entry popup
  virtual void OnMouseUp(int x, int y, const IMouseMods& mods);
  virtual void OnMouseDrag(int x, int y, int dX, int dY, const IMouseMods& mods);
  virtual void OnMouseDblClick(int x, int y, const IMouseMods& mods);  // back to the default
  // delta in notches, positive away from the user; 0.01 a notch, 0.001 with Shift or Ctrl.
  virtual void OnMouseWheel(int x, int y, const IMouseMods& mods, int delta);
  virtual void OnKeyDown(int x, int y, int key);
  virtual void OnMouseOver(int x, int y, const IMouseMods& mods);  // never called by the graphics object
  virtual void OnMouseOut();                                      // never called either
  virtual bool Draw(IGraphics* graphics) = 0;
  virtual void SetValueFromPlug(double value);
  virtual void Hide(bool hide);
  virtual void GrayOut(bool gray);
  virtual bool IsHit(int x, int y);
  virtual void SetDirty(bool pushToPlug);
  virtual void SetClean();
  virtual bool IsDirty();
  virtual void IdleHook() {}

  // ---- non-virtual ----
  // A value typed or chosen in the entry popup (normalised).
  void SetValueFromUserInput(double value);
  // Asks the graphics object for the entry popup of the bound parameter.
  void OpenEntryPopup();

  double GetValue() const { return mValue.load(std::memory_order_relaxed); }
  void SetValue(double value) { mValue.store(value, std::memory_order_relaxed); }
  double DefaultValue() const { return mDefaultValue.load(std::memory_order_relaxed); }
  int ParamIdx() const { return mParamIdx; }
  const IRect& GetRect() const { return mRect; }
  const IRect& GetTargetRect() const { return mTargetRect; }
  void SetTargetRect(const IRect& r) { mTargetRect = r; }
  bool IsHidden() const { return mHidden; }
  bool IsGrayed() const { return mGrayed; }
  bool DblAsSingleClick() const { return mDblAsSingleClick; }
  const IBlend* GetBlend() const { return &mBlend; }
  IPluginBase* GetPlug() const { return mPlug; }

  // The knob drag: vertical moves value by dY / (T - B) / gearing, horizontal
  // by dX / (R - L) / gearing; then SetDirty(true), which clamps to 0..1.
  void KnobDrag(int dX, int dY, bool vertical, double gearing);

 protected:
  IPluginBase* mPlug;
  IRect mRect;
  IRect mTargetRect;
  int mParamIdx;
  std::atomic<double> mValue{0.0};
  std::atomic<double> mDefaultValue{-1.0};  // negative: not learnt yet
  double mMin = 0.0, mMax = 1.0;
  std::atomic<bool> mDirty{true};
  bool mHidden = false;
  bool mGrayed = false;
  std::atomic<bool> mRedrawPending{false};
  bool mDblAsSingleClick = false;
  IBlend mBlend;
};

// Frame of an N-frame strip for a normalised value: 1-based,
// min(trunc((N - 1) * value + 0.5) + 1, N); 1 for N < 2 or a negative product.
int FrameForValue(double value, int frames);
