#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

// Errors on the editor's connections: each connection hears only its own.
#include "graphics/platform/x11/X11Errors.h"

#include "host/X11TestWindow.h"

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

}  // namespace
