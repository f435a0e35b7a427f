#include "host/X11DamageRecorder.h"

#include <poll.h>

#include <chrono>

X11DamageRecorder::X11DamageRecorder() : mDpy(XOpenDisplay(nullptr)) {
  int errorBase = 0;
  if (mDpy && !XDamageQueryExtension(mDpy, &mEventBase, &errorBase)) {
    XCloseDisplay(mDpy);
    mDpy = nullptr;
  }
}

bool X11DamageRecorder::Watch(Window w) {
  if (!mDpy || mDamage) return false;
  mDamage = XDamageCreate(mDpy, w, XDamageReportRawRectangles);
  // The server reports the whole window once on creation: not a drawing.
  Take();
  return mDamage != 0;
}

X11DamageRecorder::~X11DamageRecorder() {
  // Closing the connection frees the damage object, if its window has not
  // already (destroying it by hand after the window would be an X error).
  if (mDpy) XCloseDisplay(mDpy);
}

void X11DamageRecorder::Drain(std::vector<Rect>* rects) {
  while (XPending(mDpy)) {
    XEvent e;
    XNextEvent(mDpy, &e);
    if (e.type != mEventBase + XDamageNotify) continue;
    const XRectangle& a = reinterpret_cast<const XDamageNotifyEvent*>(&e)->area;
    rects->push_back({a.x, a.y, a.x + a.width, a.y + a.height});
  }
}

std::vector<X11DamageRecorder::Rect> X11DamageRecorder::Take() {
  std::vector<Rect> rects;
  if (!mDpy) return rects;
  XSync(mDpy, False);
  Drain(&rects);
  return rects;
}

std::vector<X11DamageRecorder::Rect> X11DamageRecorder::Wait(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  std::vector<Rect> rects;
  if (!mDamage) return rects;
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    Drain(&rects);
    if (!rects.empty()) return rects;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return rects;
    pollfd fd{ConnectionNumber(mDpy), POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left) + 1) <= 0) return rects;
  }
}
