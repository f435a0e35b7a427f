// The editor's graphics object, platform-neutral part: the ordered control
// list, dirty tracking and redraw, mouse and key routing, and the parameter
// link between the controls and the plug-in.
//
// Rules:
// - Draw order is attach order: position 0 (the background) first, the last
//   attached control on top. Mouse routing is the reverse: the captured
//   control, else the highest-index control that is visible, not grayed and
//   hit. A press captures the control for the whole gesture.
// - Rectangles are half-open. The dirty area of a cycle is the bounding box
//   (union) of the dirty controls' rectangles; a redraw of an area draws every
//   visible control that intersects it, clipped to it, then copies the area to
//   the screen.
// - Nothing is drawn outside Draw(): controls only mark themselves dirty.
//
// Threads: SetParameterFromPlug may be called under the plug-in's lock from
// the host's or audio thread (it only stores values and flags); everything
// else runs on the editor's (window) thread.
#pragma once

#include <string>
#include <vector>

#include "graphics/IGraphicsTypes.h"
#include "plugin/IPluginEditor.h"
#include "plugin/RecursiveLock.h"

namespace duv {
class RasterBitmap;
}
class IControl;
class IParam;
class IPluginBase;

class IGraphics : public IPluginEditor {
 public:
  // A frame rate <= 0 becomes 24.
  IGraphics(IPluginBase* plug, int width, int height, int fps);
  ~IGraphics() override;  // deletes the controls, last index first
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ---- virtual operations ----
  void PrepareDrawing() override = 0;
  // Copies r from the offscreen bitmap to the window.
  virtual bool DrawScreen(const IRect* r) = 0;
  virtual bool DrawBitmap(const IBitmap* bitmap, const IRect* dest, int srcX, int srcY,
                          const IBlend* blend) = 0;
  virtual bool DrawRotatedBitmap(const IBitmap* bitmap, int centreX, int centreY, double angle,
                                 int yOffsetAtZero, const IBlend* blend) = 0;
  virtual bool DrawRotatedMask(const IBitmap* base, const IBitmap* mask, const IBitmap* top, int x,
                               int y, double angleDegrees, const IBlend* blend) = 0;
  virtual bool DrawPoint(const IColor* color, float x, float y, const IBlend* blend) = 0;
  virtual bool PutPixelDirect(const IColor* color, int x, int y) = 0;
  virtual bool DrawLine(const IColor* color, float x1, float y1, float x2, float y2,
                        const IBlend* blend, bool antiAlias) = 0;
  virtual bool DrawArc(const IColor* color, float cx, float cy, float r, float minAngle,
                       float maxAngle, const IBlend* blend, bool antiAlias) = 0;
  virtual bool DrawCircle(const IColor* color, float cx, float cy, float r, const IBlend* blend,
                          bool antiAlias) = 0;
  virtual bool FillRect(const IColor* color, const IRect* r, const IBlend* blend) = 0;
  virtual bool DrawText(const IText* text, const char* str, const IRect* r) = 0;
  virtual IColor GetPoint(int x, int y) = 0;
  virtual std::uint32_t* GetBits() = 0;
  virtual void Resize(int width, int height);
  bool WindowIsOpen() override { return GetWindow() != nullptr; }
  virtual void PromptParameterEntry(IControl* control, IParam* param) = 0;
  virtual void GetHostDirectory(std::string* out) = 0;
  // The plug-in module's folder with its trailing separator; empty when unknown.
  virtual void GetPluginDirectory(std::string* out) = 0;
  virtual void PromptForFile(std::string* out, int action, const char* directory,
                             const char* extensions) = 0;
  virtual bool PromptForColor(IColor* color, const char* prompt) = 0;
  // Opens a document or web address; confirm (may be null) asks first,
  // error (may be null) is shown on failure.
  virtual bool OpenURL(const char* url, const char* windowTitle, const char* confirm,
                       const char* error) = 0;
  virtual int QueryExtension(int, void*) { return 0; }
  // Opens the editor window inside the host's parent window; null on failure.
  void* OpenWindow(void* parentWindow) override = 0;
  void CloseWindow() override = 0;
  virtual void* GetWindow() = 0;
  virtual IBitmap LoadBitmap(int id, const char* name, int frames = 1) = 0;
  virtual IBitmap ScaleBitmap(const IBitmap* bitmap, int width, int height) = 0;
  virtual IBitmap CropBitmap(const IBitmap* bitmap, const IRect* r) = 0;
  virtual void AttachBackground(int id, const char* name);
  virtual bool DrawVerticalLine(const IColor* color, int x, int y1, int y2);
  virtual bool DrawHorizontalLine(const IColor* color, int y, int x1, int x2);
  virtual void RetainBitmap(const IBitmap* bitmap) = 0;
  virtual void ReleaseBitmap(const IBitmap* bitmap) = 0;
  // Called by Draw before any control draws: the layer that owns the
  // offscreen surface makes it here on first use. Nothing by default.
  virtual void PrepareSurface() {}

  // ---- controls and the parameter link ----
  int AttachControl(IControl* control);  // takes ownership; answers the index
  IControl* GetControl(int index) const;  // null outside the list
  int NControls() const { return static_cast<int>(mControls.size()); }
  // value is normalised when normalized is true, else plain (converted with
  // the parameter's mapping). Every control bound to paramIdx follows.
  void SetParameterFromPlug(int paramIdx, double value, bool normalized) override;
  void SetAllControlsDirty();
  // Unites the dirty controls' rectangles into *out; true when any was dirty.
  bool IsDirty(IRect* out);
  // Draws the controls that intersect r into the offscreen bitmap, marks every
  // control clean, and copies r to the screen. The first draw also pays for
  // what drawing needs: the surface, and the decoding of the images drawn.
  bool Draw(const IRect* r);
  // Frame is 1-based; frame 1 or a single-frame bitmap draws from row 0.
  void DrawBitmapFrame(const IBitmap* bitmap, const IRect* dest, int frame, const IBlend* blend);

  // ---- mouse and keys, client coordinates ----
  int GetMouseControlIndex(int x, int y);
  void OnMouseDown(int x, int y, const IMouseMods& mods);
  void OnMouseUp(int x, int y, const IMouseMods& mods);
  void OnMouseDrag(int x, int y, const IMouseMods& mods);
  // True when the double-click became a press (the window then captures the mouse).
  bool OnMouseDblClick(int x, int y, const IMouseMods& mods);
  void OnMouseWheel(int x, int y, const IMouseMods& mods, int delta);
  void OnKeyDown(int x, int y, int key);

  int Width() const override { return mWidth; }
  int Height() const override { return mHeight; }
  int FPS() const { return mFPS; }
  IPluginBase* GetPlug() const { return mPlug; }
  int CapturedControl() const { return mMouseCapture; }
  const IRect& DrawRect() const { return mDrawRect; }
  RecursiveLock& Lock() { return mLock; }

 protected:
  std::vector<IControl*> mControls;
  IPluginBase* mPlug;
  IRect mDrawRect;  // clip of the redraw in progress
  RecursiveLock mLock;  // for the platform layer; the core never takes it
  int mWidth, mHeight, mFPS;
  int mMouseCapture = -1;
  int mMouseX = 0, mMouseY = 0;
};

// The plug-in's editor when it is one of this framework's graphics objects,
// else null (no editor, or another kind). For controls that reach the
// graphics object through their plug-in.
IGraphics* GraphicsOf(const IPluginBase* plug);
