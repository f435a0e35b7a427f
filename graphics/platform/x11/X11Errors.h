// Xlib errors on the editor's own connections. Xlib's default handler ends
// the process, and a host's stale window id must not; so while any editor
// connection is registered, one process-wide handler records the errors on
// those connections and passes errors on every other connection (the host's)
// to the handler that was installed before it. Any thread; guarded by its own
// lock. A lost connection is not an Xlib error and is not handled here.
#pragma once

#include <X11/Xlib.h>

namespace duv_x11 {

// Adds an open connection; the first one installs the handler.
void RegisterDisplay(Display* dpy);
// Removes a connection before it is closed; the last one gives the previous
// handler back, unless someone replaced ours meanwhile (theirs is kept).
void UnregisterDisplay(Display* dpy);
// A round trip to the server (so every error of the requests sent so far has
// arrived), then answers the last error code recorded on this connection
// since the previous call, 0 for none (and for a connection not registered),
// and clears it.
int SyncError(Display* dpy);

}  // namespace duv_x11
