#include "graphics/platform/x11/X11Errors.h"

#include <mutex>
#include <set>

namespace duv_x11 {

namespace {

std::mutex gErrorMutex;
std::set<Display*> gOurDisplays;
int gLastError = 0;  // guarded by gErrorMutex
XErrorHandler gPreviousHandler = nullptr;

int OnXError(Display* dpy, XErrorEvent* e) {
  {
    std::lock_guard<std::mutex> g(gErrorMutex);
    if (gOurDisplays.count(dpy)) {
      gLastError = e->error_code;
      return 0;
    }
  }
  return gPreviousHandler ? gPreviousHandler(dpy, e) : 0;
}

}  // namespace

void RegisterDisplay(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  if (gOurDisplays.empty()) gPreviousHandler = XSetErrorHandler(OnXError);
  gOurDisplays.insert(dpy);
}

void UnregisterDisplay(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  gOurDisplays.erase(dpy);
  if (gOurDisplays.empty()) {
    XErrorHandler current = XSetErrorHandler(gPreviousHandler);
    if (current != OnXError) XSetErrorHandler(current);  // someone replaced ours: keep theirs
    gPreviousHandler = nullptr;
  }
}

int SyncError(Display* dpy) {
  XSync(dpy, False);
  std::lock_guard<std::mutex> g(gErrorMutex);
  int e = gLastError;
  gLastError = 0;
  return e;
}

}  // namespace duv_x11
