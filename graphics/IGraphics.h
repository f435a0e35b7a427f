// The editor's graphics object as the plug-in core sees it: the few operations
// the core calls (push values, prepare drawing, open and close the window).
// The editor framework derives its full graphics classes from it.
//
// Calls made under the plug-in's instance lock (SetParameterFromPlug from the
// audio or host thread) only store values and dirty flags; drawing happens on
// the editor's own timer.
#pragma once

class IGraphics {
 public:
  virtual ~IGraphics() = default;

  virtual int Width() const = 0;   // pixels
  virtual int Height() const = 0;  // pixels

  // A parameter changed outside the editor: controls bound to paramIdx take
  // value (normalised 0..1 when normalized is true, else plain).
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
  // Creates the offscreen drawing surface; called once when attached.
  virtual void PrepareDrawing() = 0;
  // Opens the editor window inside the host's parent window; false on failure.
  virtual bool OpenWindow(void* parentWindow) = 0;
  virtual void CloseWindow() = 0;
};
