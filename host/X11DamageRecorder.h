// Rectangles the X server reports drawn into a window, learnt through the
// DAMAGE extension on a connection of its own: whatever way a client puts its
// pixels on the screen, every request that changes the window is reported.
// Lets tests check what an editor redraws, and the bench wait for a picture
// without polling the server (polling would take CPU from the editor).
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <vector>

class X11DamageRecorder {
 public:
  struct Rect {
    int l, t, r, b;  // half-open, window coordinates
  };
  X11DamageRecorder();  // connected, watching nothing yet
  explicit X11DamageRecorder(Window w) : X11DamageRecorder() { Watch(w); }
  ~X11DamageRecorder();
  X11DamageRecorder(const X11DamageRecorder&) = delete;
  X11DamageRecorder& operator=(const X11DamageRecorder&) = delete;

  // Starts recording what is drawn into w (once per recorder); false when
  // the server cannot be reached or has no DAMAGE extension.
  bool Watch(Window w);
  bool Ok() const { return mDamage != 0; }
  // Every rectangle reported since the last call (after a round trip, so
  // all the server has drawn so far is in).
  std::vector<Rect> Take();
  // The rectangles reported since the last call, waiting up to timeoutMs for
  // the first; empty when none came in time.
  std::vector<Rect> Wait(int timeoutMs);

 private:
  void Drain(std::vector<Rect>* rects);  // the events already received

  Display* mDpy;
  int mEventBase = 0;
  Damage mDamage = 0;
};
