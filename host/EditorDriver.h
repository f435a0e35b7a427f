// Drives a plug-in's editor without a window, through the effect's private
// probe extension: snapshots, mouse events and redraw cycles. Tools and tests
// use it; a plug-in that does not answer the probe reports false everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/VstHost.h"

struct MouseStep {
  enum Kind { kDown, kUp, kDrag, kDoubleClick, kWheel } kind = kDown;
  int x = 0, y = 0;
  bool left = true, right = false, shift = false, ctrl = false, alt = false;
  int delta = 0;
};

class EditorDriver {
 public:
  explicit EditorDriver(VstPlugin& plugin) : mPlugin(plugin) {}

  // The whole editor, redrawn, as 0xAARRGGBB words; false when there is no editor.
  bool Snapshot(int* width, int* height, std::vector<std::uint32_t>* pixels);
  bool Mouse(const MouseStep& step);
  // One redraw cycle; *rect (L, T, R, B) receives the painted area. False when nothing was dirty.
  bool Tick(int rect[4] = nullptr);

  // Parses "down 120,130 right shift; drag 120,160; up 120,160": a step is a
  // kind (down, up, drag, dbl, wheel), a point, and words for the buttons
  // (left, right), the modifiers (shift, ctrl, alt) and, for wheel, the
  // notches (+1, -2). Drags and ups keep the buttons of the last press.
  static bool ParseGesture(const std::string& text, std::vector<MouseStep>* steps,
                           std::string* error);

 private:
  VstPlugin& mPlugin;
};
