// Test support for the editor's X11 window: an X server to talk to (the one
// in DISPLAY, else an Xvfb started here and stopped by its process id at exit),
// a top-level window standing in for a host's editor frame, real input sent
// through the XTEST extension, and the server's picture of a window read back.
// One thread at a time per object; every call flushes what it sends.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <string>
#include <vector>

// Where a TrueColor visual keeps red, green and blue in a pixel value: its
// three masks, each one run of bits (565 at depth 16: 0xF800, 0x07E0, 0x001F;
// 888 at depth 24 and 32: 0xFF0000, 0x00FF00, 0x0000FF).
struct X11PixelMasks {
  unsigned long red, green, blue;
};

// One server pixel value as 0x00RRGGBB: each channel taken out through its
// mask and scaled from its width to 8 bits, rounded to nearest (5-bit 31 is
// 255, 16 is 132). Bits outside the masks are ignored; an empty mask gives 0.
std::uint32_t X11PixelToRgb(unsigned long pixel, const X11PixelMasks& masks);

class X11TestServer {
 public:
  // Connects to DISPLAY, or starts Xvfb (1280 x 1024 x 24) when none answers
  // and sets DISPLAY to it. Available() is false with Reason() set when no
  // server can be reached or started, or the server lacks XTEST.
  static X11TestServer& Instance();
  bool Available() const { return mAvailable; }
  const std::string& Reason() const { return mReason; }
  ~X11TestServer();  // stops the Xvfb it started

 private:
  X11TestServer();
  bool mAvailable = false;
  std::string mReason;
  int mServerPid = -1;
};

class X11TestWindow {
 public:
  X11TestWindow(int width, int height);  // a mapped top-level window at (0, 0)
  ~X11TestWindow();
  X11TestWindow(const X11TestWindow&) = delete;
  X11TestWindow& operator=(const X11TestWindow&) = delete;

  Display* Dpy() const { return mDpy; }
  Window Id() const { return mWindow; }
  void* IdAsPointer() const { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(mWindow)); }

  // Pointer to (x, y) in window w's coordinates.
  void MoveTo(Window w, int x, int y);
  void Press(int button);
  void Release(int button);
  void Click(Window w, int x, int y, int button);
  // Left-button drag from (x0, y0) to (x1, y1) in steps pixels-by-pixels.
  void Drag(Window w, int x0, int y0, int x1, int y1, int steps);
  void KeyDown(KeySym sym);
  void KeyUp(KeySym sym);
  void Tap(KeySym sym);
  void Type(const std::string& text);  // ASCII: digits, letters, '.', '-'

  // The server's pixels of window w, 0x00RRGGBB, row after row, converted
  // from the window's visual whatever its depth; empty (width and height
  // unchanged) when the window cannot be read or its visual is not TrueColor.
  std::vector<std::uint32_t> Capture(Window w, int* width, int* height);
  bool Exists(Window w);
  // Geometry of w relative to its parent.
  bool Geometry(Window w, int* x, int* y, int* width, int* height);
  Window FocusWindow();
  void Sync();

 private:
  Display* mDpy = nullptr;
  Window mWindow = 0;
};
