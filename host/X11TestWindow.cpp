#include "host/X11TestWindow.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

bool CanConnect(const char* name) {
  if (!name || !*name) return false;
  Display* d = XOpenDisplay(name);
  if (!d) return false;
  XCloseDisplay(d);
  return true;
}

// The channel under mask, from 0..max (the mask shifted down to bit 0) to
// 0..255, rounded to nearest.
std::uint32_t ChannelTo8(unsigned long pixel, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  const std::uint64_t max = mask >> shift, v = (pixel & mask) >> shift;
  return static_cast<std::uint32_t>((v * 255 + max / 2) / max);
}

}  // namespace

std::uint32_t X11PixelToRgb(unsigned long pixel, const X11PixelMasks& masks) {
  return ChannelTo8(pixel, masks.red) << 16 | ChannelTo8(pixel, masks.green) << 8 |
         ChannelTo8(pixel, masks.blue);
}

X11TestServer& X11TestServer::Instance() {
  static X11TestServer server;
  return server;
}

X11TestServer::X11TestServer() {
  if (!CanConnect(std::getenv("DISPLAY"))) {
    // Xvfb picks a free display number and writes it to the pipe when ready.
    int fds[2];
    if (pipe(fds) != 0) {
      mReason = "no pipe for Xvfb";
      return;
    }
    std::string fdArg = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb", "-displayfd", fdArg.c_str(), "-screen", "0", "1280x1024x24",
                          "-nolisten", "tcp", "-noreset", nullptr};
    pid_t pid = fork();
    if (pid == 0) {
      // The server goes with the test process, even when that one crashes.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      close(fds[0]);
      execvp("Xvfb", const_cast<char**>(argv));
      _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
      close(fds[0]);
      mReason = "no X display and Xvfb cannot be started";
      return;
    }
    mServerPid = pid;
    std::string number;  // empty when Xvfb could not be executed
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      mReason = "Xvfb did not report a display";
      return;
    }
    setenv("DISPLAY", (":" + number).c_str(), 1);
  }
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    mReason = "cannot connect to the X display";
    return;
  }
  int ev, err, major, minor;
  mAvailable = XTestQueryExtension(d, &ev, &err, &major, &minor);
  if (!mAvailable) mReason = "the X server has no XTEST extension";
  XCloseDisplay(d);
}

X11TestServer::~X11TestServer() {
  if (mServerPid > 0) {
    kill(mServerPid, SIGTERM);
    waitpid(mServerPid, nullptr, 0);
  }
}

X11TestWindow::X11TestWindow(int width, int height) {
  mDpy = XOpenDisplay(nullptr);
  if (!mDpy) return;
  XSetWindowAttributes wa{};
  wa.background_pixel = 0x202020;
  wa.event_mask = StructureNotifyMask;
  mWindow = XCreateWindow(mDpy, DefaultRootWindow(mDpy), 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                          CopyFromParent, CWBackPixel | CWEventMask, &wa);
  XStoreName(mDpy, mWindow, "DUV test host");
  XMapWindow(mDpy, mWindow);
  XEvent e;
  do XNextEvent(mDpy, &e);
  while (e.type != MapNotify);
  Sync();
}

X11TestWindow::~X11TestWindow() {
  if (!mDpy) return;
  XDestroyWindow(mDpy, mWindow);
  XCloseDisplay(mDpy);
}

void X11TestWindow::Sync() { XSync(mDpy, False); }

void X11TestWindow::MoveTo(Window w, int x, int y) {
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(mDpy, w, DefaultRootWindow(mDpy), x, y, &rx, &ry, &child);
  XTestFakeMotionEvent(mDpy, DefaultScreen(mDpy), rx, ry, CurrentTime);
  Sync();
}

void X11TestWindow::Press(int button) {
  XTestFakeButtonEvent(mDpy, static_cast<unsigned>(button), True, CurrentTime);
  Sync();
}

void X11TestWindow::Release(int button) {
  XTestFakeButtonEvent(mDpy, static_cast<unsigned>(button), False, CurrentTime);
  Sync();
}

void X11TestWindow::Click(Window w, int x, int y, int button) {
  MoveTo(w, x, y);
  Press(button);
  Release(button);
}

void X11TestWindow::Drag(Window w, int x0, int y0, int x1, int y1, int steps) {
  MoveTo(w, x0, y0);
  Press(1);
  for (int i = 1; i <= steps; ++i) MoveTo(w, x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
  Release(1);
}

void X11TestWindow::KeyDown(KeySym sym) {
  XTestFakeKeyEvent(mDpy, XKeysymToKeycode(mDpy, sym), True, CurrentTime);
  Sync();
}

void X11TestWindow::KeyUp(KeySym sym) {
  XTestFakeKeyEvent(mDpy, XKeysymToKeycode(mDpy, sym), False, CurrentTime);
  Sync();
}

void X11TestWindow::Tap(KeySym sym) {
  KeyDown(sym);
  KeyUp(sym);
}

void X11TestWindow::Type(const std::string& text) {
  for (char ch : text) {
    KeySym sym = ch == '.' ? XK_period : ch == '-' ? XK_minus : static_cast<KeySym>(ch);
    Tap(sym);
  }
}

std::vector<std::uint32_t> X11TestWindow::Capture(Window w, int* width, int* height) {
  std::vector<std::uint32_t> out;
  XWindowAttributes a{};
  XErrorHandler old = XSetErrorHandler(IgnoreErrors);
  bool ok = XGetWindowAttributes(mDpy, w, &a) && a.visual && a.visual->c_class == TrueColor;
  XImage* img = ok ? XGetImage(mDpy, w, 0, 0, static_cast<unsigned>(a.width),
                               static_cast<unsigned>(a.height), AllPlanes, ZPixmap)
                   : nullptr;
  Sync();
  XSetErrorHandler(old);
  if (!img) return out;
  *width = a.width;
  *height = a.height;
  // The pixel values are the visual's: 565 on a 16-bit display, 888 on 24 and 32.
  const X11PixelMasks masks{a.visual->red_mask, a.visual->green_mask, a.visual->blue_mask};
  out.resize(static_cast<std::size_t>(a.width) * a.height);
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      out[static_cast<std::size_t>(y) * a.width + x] = X11PixelToRgb(XGetPixel(img, x, y), masks);
  XDestroyImage(img);
  return out;
}

bool X11TestWindow::Exists(Window w) {
  XErrorHandler old = XSetErrorHandler(IgnoreErrors);
  XWindowAttributes a{};
  bool ok = XGetWindowAttributes(mDpy, w, &a);
  Sync();
  XSetErrorHandler(old);
  return ok;
}

bool X11TestWindow::Geometry(Window w, int* x, int* y, int* width, int* height) {
  XErrorHandler old = XSetErrorHandler(IgnoreErrors);
  Window root;
  unsigned gw = 0, gh = 0, border, depth;
  bool ok = XGetGeometry(mDpy, w, &root, x, y, &gw, &gh, &border, &depth);
  Sync();
  XSetErrorHandler(old);
  *width = static_cast<int>(gw);
  *height = static_cast<int>(gh);
  return ok;
}

Window X11TestWindow::FocusWindow() {
  Window focus;
  int revert;
  XGetInputFocus(mDpy, &focus, &revert);
  return focus;
}
