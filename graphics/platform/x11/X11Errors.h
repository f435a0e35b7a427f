// Xlib errors and lost connections on the editor's own connections.
//
// Errors: Xlib's default handler ends the process, and a host's stale window
// id must not; so while any editor connection is registered, one
// process-wide handler records the errors on those connections and passes
// errors on every other connection (the host's) to the handler that was
// installed before it.
//
// Lost connections (the server killed or restarted): Xlib's default I/O
// error handler, and the default exit step after it, end the process. For a
// registered connection both are replaced: the process-wide I/O handler
// (installed like the error handler, passing the host's connections on to the
// one before it) and the connection's own exit step only mark the connection
// lost and return. From then on Xlib requests on it do nothing; its owner
// stops using it, skips its teardown requests and only closes it (which
// frees the client side and sends nothing).
//
// Any thread; guarded by its own lock. The handlers run on whichever thread
// made the failing call.
#pragma once

#include <X11/Xlib.h>

namespace duv_x11 {

// What SyncError answers for a lost connection (X error codes are 0 to 255).
constexpr int kConnectionLost = 256;

// Adds a connection just opened; the first one installs the handlers. False
// (nothing registered, no handler changed) when memory runs out.
bool RegisterDisplay(Display* dpy);
// Removes a connection before it is closed; the last one gives the previous
// handlers back, unless someone replaced ours meanwhile (theirs is kept).
void UnregisterDisplay(Display* dpy);
// XCloseDisplay while the connection is still registered, then
// UnregisterDisplay. A connection opened meanwhile at the same address keeps
// its registration. A lost connection is not closed but abandoned (its socket
// closed, Xlib never called on it again): Xlib's lock on it may be held by a
// thread that ended inside a call.
void CloseDisplay(Display* dpy);
// A round trip to the server (so every error of the requests sent so far has
// arrived), then answers the last error code recorded on this connection
// since the previous call, 0 for none (and for a connection not registered),
// and clears it. A lost connection answers kConnectionLost without a request.
int SyncError(Display* dpy);
// Whether a registered connection has been lost (false for any other).
bool ConnectionLost(Display* dpy);

}  // namespace duv_x11
