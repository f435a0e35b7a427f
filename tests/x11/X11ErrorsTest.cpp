#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

// Errors on the editor's connections: each connection hears only its own.
#include "graphics/platform/x11/X11Errors.h"

#include "host/X11TestWindow.h"
#include "tests/x11/X11PrivateServer.h"

namespace {

// A window id no client has made: the server answers BadWindow.
constexpr Window kStaleWindow = 0x7fffff0;

TEST(X11Errors, EachConnectionHearsOnlyItsOwnErrors) {
  if (!X11TestServer::Instance().Available())
    GTEST_SKIP() << "no X server: " << X11TestServer::Instance().Reason();
  Display* a = XOpenDisplay(nullptr);
  Display* b = XOpenDisplay(nullptr);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  duv_x11::RegisterDisplay(a);
  duv_x11::RegisterDisplay(b);
  XWindowAttributes attrs{};
  EXPECT_FALSE(XGetWindowAttributes(a, kStaleWindow, &attrs));  // a round trip: the error is in
  EXPECT_EQ(duv_x11::SyncError(b), 0) << "another editor's error is not this one's";
  EXPECT_EQ(duv_x11::SyncError(a), BadWindow);
  EXPECT_EQ(duv_x11::SyncError(a), 0) << "answered once";
  // Two errors on two connections: each answers its own.
  XMapWindow(b, kStaleWindow);
  EXPECT_FALSE(XGetWindowAttributes(a, kStaleWindow, &attrs));
  EXPECT_EQ(duv_x11::SyncError(b), BadWindow);
  EXPECT_EQ(duv_x11::SyncError(a), BadWindow);
  duv_x11::UnregisterDisplay(b);
  duv_x11::UnregisterDisplay(a);
  XCloseDisplay(b);
  XCloseDisplay(a);
}

// The server goes away under an editor connection and a host's connection:
// the editor's is marked lost and the process lives on; the host's goes to
// the I/O handler the host installed, as it would without the editor.
int gHostIOErrors = 0;
int HostIOError(Display*) { return ++gHostIOErrors, 0; }
void HostConnectionExit(Display*, void*) {}

TEST(X11Errors, LostConnectionIsMarkedAndTheHostsHandlerStillHearsItsOwn) {
  ExpectChildSucceeds([]() -> std::string {
    PrivateXServer server;
    if (!server.Start()) return "cannot start Xvfb";
    XSetIOErrorHandler(HostIOError);
    Display* host = XOpenDisplay(server.Name().c_str());
    Display* editor = XOpenDisplay(server.Name().c_str());
    if (!host || !editor) return "cannot connect";
    XSetIOErrorExitHandler(host, HostConnectionExit, nullptr);
    if (!duv_x11::RegisterDisplay(editor)) return "not registered";
    if (duv_x11::SyncError(editor) != 0 || duv_x11::ConnectionLost(editor)) return "lost too early";
    server.Kill();
    if (duv_x11::SyncError(editor) != duv_x11::kConnectionLost) return "the loss was not answered";
    if (!duv_x11::ConnectionLost(editor)) return "not marked lost";
    if (gHostIOErrors != 0) return "the host's handler heard the editor's loss";
    XSync(host, False);
    if (gHostIOErrors != 1) return "the host's handler did not hear its own loss";
    duv_x11::CloseDisplay(editor);
    if (duv_x11::ConnectionLost(editor)) return "still registered after closing";
    XCloseDisplay(host);
    return "";
  });
}

}  // namespace
