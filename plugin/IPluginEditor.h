// What the plug-in core needs from an editor, and nothing more: the core
// pushes parameter values into it, prepares it once when it is attached,
// asks its size, and opens and closes its window for the host. The editor
// framework's graphics object implements it; the core never sees controls,
// drawing or a window system, and core tests use a fake.
//
// Ownership: the plug-in that attached an editor owns it and deletes it
// through this interface when the plug-in goes.
// Threads: SetParameterFromPlug may run under the plug-in's lock on the
// host's or the audio thread (it may only store values and flags);
// everything else runs on the host's user-interface thread.
#pragma once

class IPluginEditor {
 public:
  virtual ~IPluginEditor() = default;

  // value is normalised 0..1 when normalized is true, else the parameter's
  // plain value. Bad indices are ignored.
  virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
  // Called once when the plug-in takes the editor, after every parameter's
  // value has been pushed: make the drawing surface ready.
  virtual void PrepareDrawing() = 0;
  virtual int Width() const = 0;   // pixels
  virtual int Height() const = 0;  // pixels
  // Opens the editor window inside the host's parent window (a window
  // system handle); the new window's handle, or null on failure.
  virtual void* OpenWindow(void* parentWindow) = 0;
  virtual void CloseWindow() = 0;  // safe when no window is open
  // Whether the window opened last is still there (it is gone after
  // CloseWindow, or when the window system went away under it).
  virtual bool WindowIsOpen() = 0;
};
