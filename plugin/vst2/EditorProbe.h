// A private extension of effVendorSpecific that lets tools and tests drive
// the editor without a window: redraw it and copy its picture out, feed it
// mouse events, and run one redraw cycle as the window's timer would. Hosts
// never send this index; every call runs under the plug-in's lock, on the
// thread that calls the dispatcher (the editor's thread when a window is open).
#pragma once

#include <cstdint>

#include "plugin/vst2/VstApi.h"

constexpr VstInt32 kEditorProbeIndex = 0x44555670;  // 'DUVp'

enum EEditorProbe : VstIntPtr {
  // ptr: EditorProbeImage. Redraws the whole editor and copies it out.
  // Answers 1, or 0 when the buffer is too small or no editor exists.
  kProbeSnapshot = 1,
  // ptr: EditorProbeMouse. Answers 1 (for a double-click: 1 when it became a press).
  kProbeMouse = 2,
  // One redraw cycle: the dirty controls' union is drawn. ptr: an optional
  // int[4] that receives the rectangle (L, T, R, B). Answers 1 when something was dirty.
  kProbeTick = 3,
};

struct EditorProbeImage {
  std::int32_t width, height;  // capacity of pixels, in pixels; set to the editor's size on return
  std::uint32_t* pixels;       // top-down rows of width pixels, 0xAARRGGBB
};

struct EditorProbeMouse {
  enum EKind : std::int32_t { kDown = 0, kUp = 1, kDrag = 2, kDoubleClick = 3, kWheel = 4 };
  std::int32_t kind;
  std::int32_t x, y;
  std::int32_t left, right, shift, ctrl, alt;  // 0 or 1
  std::int32_t delta;                          // wheel notches
};
