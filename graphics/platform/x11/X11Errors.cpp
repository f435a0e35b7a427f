#include "graphics/platform/x11/X11Errors.h"

#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <new>

namespace duv_x11 {

namespace {

struct Connection {
  int error = 0;        // the last error not yet answered, 0 for none
  bool lost = false;    // the server went away
  unsigned serial = 0;  // tells a reused address from the registration it replaced
};

std::mutex gErrorMutex;
// Our connections. Per connection: two editors' threads sync at the same
// time, and one must not take the other's error for its own.
// Never destroyed, so editors closed while the process exits still
// unregister; built in the module's own storage, not on the heap, so an
// unloaded module leaves nothing behind (the map is empty by then).
using ConnectionMap = std::map<Display*, Connection>;
alignas(ConnectionMap) unsigned char gOurDisplaysStorage[sizeof(ConnectionMap)];
ConnectionMap& gOurDisplays = *new (gOurDisplaysStorage) ConnectionMap;  // guarded by gErrorMutex
unsigned gNextSerial = 0;                     // guarded by gErrorMutex
XErrorHandler gPreviousHandler = nullptr;
XIOErrorHandler gPreviousIOHandler = nullptr;

int OnXError(Display* dpy, XErrorEvent* e) {
  XErrorHandler previous;
  {
    std::lock_guard<std::mutex> g(gErrorMutex);
    auto ours = gOurDisplays.find(dpy);
    if (ours != gOurDisplays.end()) {
      ours->second.error = e->error_code;
      return 0;
    }
    previous = gPreviousHandler;  // read under the lock: the last Unregister clears it
  }
  return previous ? previous(dpy, e) : 0;
}

// Marks dpy lost; false when it is not ours.
bool MarkLost(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  auto ours = gOurDisplays.find(dpy);
  if (ours == gOurDisplays.end()) return false;
  ours->second.lost = true;
  return true;
}

int OnXIOError(Display* dpy) {
  if (MarkLost(dpy)) return 0;  // Xlib goes on to the connection's exit step: ours returns too
  XIOErrorHandler previous;
  {
    std::lock_guard<std::mutex> g(gErrorMutex);
    previous = gPreviousIOHandler;
  }
  return previous ? previous(dpy) : 0;
}

void OnConnectionExit(Display* dpy, void*) { MarkLost(dpy); }

void RemoveLocked(Display* dpy) {
  gOurDisplays.erase(dpy);
  if (!gOurDisplays.empty()) return;
  XErrorHandler current = XSetErrorHandler(gPreviousHandler);
  if (current != OnXError) XSetErrorHandler(current);  // someone replaced ours: keep theirs
  XIOErrorHandler currentIO = XSetIOErrorHandler(gPreviousIOHandler);
  if (currentIO != OnXIOError) XSetIOErrorHandler(currentIO);
  gPreviousHandler = nullptr;
  gPreviousIOHandler = nullptr;
}

}  // namespace

bool RegisterDisplay(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  const bool first = gOurDisplays.empty();
  try {
    gOurDisplays[dpy] = Connection{0, false, ++gNextSerial};
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (first) {
    gPreviousHandler = XSetErrorHandler(OnXError);
    gPreviousIOHandler = XSetIOErrorHandler(OnXIOError);
  }
  XSetIOErrorExitHandler(dpy, OnConnectionExit, nullptr);
  return true;
}

void UnregisterDisplay(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  RemoveLocked(dpy);
}

// Lost connections, kept reachable for good (see CloseDisplay).
constexpr int kMaxAbandoned = 64;
Display* gAbandoned[kMaxAbandoned];
std::atomic<int> gAbandonedCount{0};

void CloseDisplay(Display* dpy) {
  if (ConnectionLost(dpy)) {
    // Xlib's own lock on a lost connection may still be held by the thread
    // that met the loss inside a call and has ended since: any call on it
    // (XCloseDisplay, XFreeGC) can wait forever. It is abandoned instead:
    // its socket closed, the record kept (reachable, so never reported as a
    // leak) and never touched again.
    close(ConnectionNumber(dpy));
    const int slot = gAbandonedCount.fetch_add(1);
    if (slot < kMaxAbandoned) gAbandoned[slot] = dpy;
    std::lock_guard<std::mutex> g(gErrorMutex);
    RemoveLocked(dpy);
    return;
  }
  unsigned serial;
  {
    std::lock_guard<std::mutex> g(gErrorMutex);
    auto ours = gOurDisplays.find(dpy);
    serial = ours != gOurDisplays.end() ? ours->second.serial : 0;
  }
  XCloseDisplay(dpy);
  std::lock_guard<std::mutex> g(gErrorMutex);
  auto ours = gOurDisplays.find(dpy);
  if (ours != gOurDisplays.end() && ours->second.serial == serial) RemoveLocked(dpy);
}

int SyncError(Display* dpy) {
  if (ConnectionLost(dpy)) return kConnectionLost;
  XSync(dpy, False);
  std::lock_guard<std::mutex> g(gErrorMutex);
  auto ours = gOurDisplays.find(dpy);
  if (ours == gOurDisplays.end()) return 0;
  if (ours->second.lost) return kConnectionLost;
  int e = ours->second.error;
  ours->second.error = 0;
  return e;
}

bool ConnectionLost(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  auto ours = gOurDisplays.find(dpy);
  return ours != gOurDisplays.end() && ours->second.lost;
}

}  // namespace duv_x11
