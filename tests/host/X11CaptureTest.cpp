// The test window's capture: server pixel values to 0x00RRGGBB, and one
// window read back from an X server running at depth 16.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "host/X11TestWindow.h"

namespace {

constexpr X11PixelMasks k565{0xF800, 0x07E0, 0x001F};
constexpr X11PixelMasks k888{0xFF0000, 0x00FF00, 0x0000FF};

TEST(X11Capture, PixelValuesToRgb) {
  const struct {
    unsigned long pixel;
    X11PixelMasks masks;
    std::uint32_t rgb;
  } kCases[] = {
      {0x0000, k565, 0x000000},
      {0xFFFF, k565, 0xFFFFFF},
      {0xF800, k565, 0xFF0000},
      {0x07E0, k565, 0x00FF00},
      {0x001F, k565, 0x0000FF},
      // 5-bit 16 -> 131.6, 6-bit 32 -> 129.5, 5-bit 8 -> 65.8, 5-bit 1 -> 8.2, 6-bit 1 -> 4.0
      {0x8408, k565, 0x848242},
      {0x0821, k565, 0x080408},
      {0x10000 | 0xF81F, k565, 0xFF00FF},  // bits above the visual's depth are not colour
      {0x123456, k888, 0x123456},
      {0xFF123456, k888, 0x123456},        // depth 32: the top byte is not colour
      {0x000000, k888, 0x000000},
      {0x1F, X11PixelMasks{0x1F, 0x3E0, 0x7C00}, 0xFF0000},  // blue-high 555 order
      {0xABC, X11PixelMasks{0, 0, 0}, 0x000000},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(X11PixelToRgb(c.pixel, c.masks), c.rgb)
        << std::hex << "pixel 0x" << c.pixel << " masks 0x" << c.masks.red << " 0x"
        << c.masks.green << " 0x" << c.masks.blue;
  // Every 5- and 6-bit level: the ends exact, the steps never going back.
  std::uint32_t last5 = 0, last6 = 0;
  for (unsigned long v = 1; v < 64; ++v) {
    std::uint32_t g = X11PixelToRgb(v << 5, k565) >> 8 & 0xFF;
    EXPECT_GT(g, last6);
    last6 = g;
    if (v < 32) {
      std::uint32_t r = X11PixelToRgb(v << 11, k565) >> 16;
      EXPECT_GT(r, last5);
      last5 = r;
    }
  }
  EXPECT_EQ(last5, 255u);
  EXPECT_EQ(last6, 255u);
}

// A private Xvfb at depth 16, stopped by its process id.
class Depth16Server {
 public:
  Depth16Server() {
    int fds[2];
    if (pipe(fds) != 0) return;
    std::string fdArg = std::to_string(fds[1]);
    const char* argv[] = {"Xvfb",      "-displayfd", fdArg.c_str(), "-screen", "0", "64x48x16",
                          "-nolisten", "tcp",        "-noreset",    nullptr};
    mPid = fork();
    if (mPid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      close(fds[0]);
      execvp("Xvfb", const_cast<char**>(argv));
      _exit(127);
    }
    close(fds[1]);
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (mPid > 0 && poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') mNumber += c;
    close(fds[0]);
  }
  ~Depth16Server() {
    if (mPid <= 0) return;
    kill(mPid, SIGTERM);
    waitpid(mPid, nullptr, 0);
  }
  std::string Name() const { return mNumber.empty() ? "" : ":" + mNumber; }

 private:
  pid_t mPid = -1;
  std::string mNumber;
};

TEST(X11Capture, WindowOnADepth16Server) {
  Depth16Server server;
  if (server.Name().empty()) GTEST_SKIP() << "Xvfb at depth 16 could not be started";
  const char* old = std::getenv("DISPLAY");
  const std::string saved = old ? old : "";
  setenv("DISPLAY", server.Name().c_str(), 1);
  {
    X11TestWindow window(40, 30);
    ASSERT_NE(window.Dpy(), nullptr);
    ASSERT_EQ(DefaultDepth(window.Dpy(), DefaultScreen(window.Dpy())), 16);
    Display* d = window.Dpy();
    // Magenta all over, the 565 value 0x8408 in the left half.
    XSetWindowBackground(d, window.Id(), 0xF81F);
    XClearWindow(d, window.Id());
    GC gc = XCreateGC(d, window.Id(), 0, nullptr);
    XSetForeground(d, gc, 0x8408);
    XFillRectangle(d, window.Id(), gc, 0, 0, 20, 30);
    XFreeGC(d, gc);
    window.Sync();

    int w = -1, h = -1;
    std::vector<std::uint32_t> shot = window.Capture(window.Id(), &w, &h);
    ASSERT_EQ(w, 40);
    ASSERT_EQ(h, 30);
    ASSERT_EQ(shot.size(), 40u * 30u);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        ASSERT_EQ(shot[static_cast<std::size_t>(y) * w + x], x < 20 ? 0x848242u : 0xFF00FFu)
            << "at " << x << "," << y;
  }
  if (old)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
}

}  // namespace
