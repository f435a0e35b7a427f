#include "graphics/platform/x11/X11Errors.h"

#include <map>
#include <mutex>

namespace duv_x11 {

namespace {

std::mutex gErrorMutex;
// Our connections with the last error code each has not yet answered (0:
// none). Per connection: two editors' threads sync at the same time, and one
// must not take the other's error for its own.
std::map<Display*, int> gOurDisplays;  // guarded by gErrorMutex
XErrorHandler gPreviousHandler = nullptr;

int OnXError(Display* dpy, XErrorEvent* e) {
  XErrorHandler previous;
  {
    std::lock_guard<std::mutex> g(gErrorMutex);
    auto ours = gOurDisplays.find(dpy);
    if (ours != gOurDisplays.end()) {
      ours->second = e->error_code;
      return 0;
    }
    previous = gPreviousHandler;  // read under the lock: the last Unregister clears it
  }
  return previous ? previous(dpy, e) : 0;
}

}  // namespace

void RegisterDisplay(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  if (gOurDisplays.empty()) gPreviousHandler = XSetErrorHandler(OnXError);
  gOurDisplays[dpy] = 0;
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
  auto ours = gOurDisplays.find(dpy);
  if (ours == gOurDisplays.end()) return 0;
  int e = ours->second;
  ours->second = 0;
  return e;
}

}  // namespace duv_x11
