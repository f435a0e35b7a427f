#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

// The window layer in-process: a small plug-in, its editor opened in a test
// host window under a real X server, input sent through XTEST.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <future>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "graphics/platform/x11/IGraphicsX11.h"
#include "graphics/platform/x11/X11EventThread.h"
#include "raster/RasterBitmap.h"
#include "tests/x11/X11TestSupport.h"

namespace {

Window AsWindow(void* p) { return static_cast<Window>(reinterpret_cast<std::uintptr_t>(p)); }

// A scratch folder with fake desktop programs first on PATH.
class FakeTools {
 public:
  FakeTools() {
    char tmpl[] = "/tmp/duv-x11-XXXXXX";
    mDir = mkdtemp(tmpl);
    mOldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (mDir + ":" + mOldPath).c_str(), 1);
  }
  ~FakeTools() {
    setenv("PATH", mOldPath.c_str(), 1);
    std::string cmd = "rm -rf '" + mDir + "'";
    (void)!std::system(cmd.c_str());
  }
  // A program that writes its arguments to <name>.args and runs body.
  void Add(const std::string& name, const std::string& body) {
    std::string path = mDir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << path << ".args'\n" << body << "\n";
    chmod(path.c_str(), 0755);
  }
  std::string Args(const std::string& name) {
    std::ifstream in(mDir + "/" + name + ".args");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  const std::string& Dir() const { return mDir; }

 private:
  std::string mDir, mOldPath;
};

class X11Editor : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_X_SERVER();
    host = std::make_unique<X11TestWindow>(400, 300);
    ASSERT_NE(host->Dpy(), nullptr) << "cannot connect to the X server";
    XSetInputFocus(host->Dpy(), PointerRoot, RevertToPointerRoot, CurrentTime);
    host->Sync();
    plug = std::make_unique<X11TestPlug>();
    gfx = new IGraphicsX11(plug.get(), 200, 100, 24);
    level = new RecordingControl(plug.get(), {10, 10, 90, 90}, 0);
    mode = new RecordingControl(plug.get(), {110, 10, 190, 90}, 1);
    gfx->AttachControl(level);
    gfx->AttachControl(mode);
    plug->AttachEditor(gfx);
    AutomationLog::Current().Take();
  }
  void TearDown() override {
    plug.reset();  // deletes the editor, which closes its window
    host.reset();
    AutomationLog::Current().Take();
  }
  Window Open() {
    Window w = AsWindow(gfx->OpenWindow(host->IdAsPointer()));
    EXPECT_NE(w, 0u);
    // The window is live once its first redraw cycle has painted everything.
    EXPECT_TRUE(gfx->WaitForPasses(3, 2000));
    return w;
  }
  double Value(int i) {
    LockGuard g(plug->Lock());
    return plug->ParamAt(i)->Value();
  }
  // Whether the server shows exactly the offscreen surface (colour bytes).
  bool ScreenEqualsSurface(Window w) {
    int cw = 0, ch = 0;
    std::vector<std::uint32_t> shot = host->Capture(w, &cw, &ch);
    if (cw != gfx->Width() || ch != gfx->Height()) return false;
    LockGuard g(plug->Lock());
    const std::uint32_t* bits = gfx->Surface()->getBits();
    const int span = gfx->Surface()->getRowSpan();
    for (int y = 0; y < ch; ++y)
      for (int x = 0; x < cw; ++x)
        if ((bits[y * span + x] & 0xFFFFFF) != shot[static_cast<std::size_t>(y) * cw + x]) return false;
    return true;
  }
  std::unique_ptr<X11TestWindow> host;
  std::unique_ptr<X11TestPlug> plug;
  IGraphicsX11* gfx = nullptr;
  RecordingControl* level = nullptr;
  RecordingControl* mode = nullptr;
};

}  // namespace

TEST(X11Headless, NoDisplayMeansNoWindowAndNothingFails) {
  std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  unsetenv("DISPLAY");
  {
    X11TestPlug plug;
    auto* gfx = new IGraphicsX11(&plug, 200, 100, 24);
    plug.AttachEditor(gfx);
    EXPECT_EQ(gfx->OpenWindow(reinterpret_cast<void*>(std::uintptr_t{0x400001})), nullptr);
    EXPECT_FALSE(gfx->WindowIsOpen());
    EXPECT_EQ(gfx->GetWindow(), nullptr);
    IColor c;
    EXPECT_FALSE(gfx->PromptForColor(&c, "colour"));
    std::string file = "x";
    gfx->PromptForFile(&file, 0, "", "");
    EXPECT_EQ(file, "");
    EXPECT_FALSE(gfx->OpenURL("/tmp/none.pdf", "t", "Really?", nullptr));  // no one to ask
    gfx->CloseWindow();
    EXPECT_EQ(gfx->TimerPeriodMs(), 41);
  }
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}

TEST_F(X11Editor, OpensAsAChildOfTheHostsWindowAndCloses) {
  Window w = Open();
  int x, y, width, height;
  ASSERT_TRUE(host->Geometry(w, &x, &y, &width, &height));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 100);
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  ASSERT_TRUE(XQueryTree(host->Dpy(), w, &root, &parent, &children, &n));
  if (children) XFree(children);
  EXPECT_EQ(parent, host->Id());
  EXPECT_TRUE(gfx->WindowIsOpen());
  EXPECT_EQ(AsWindow(gfx->GetWindow()), w);
  {
    LockGuard g(plug->Lock());  // as the dispatcher holds it during effEditClose
    gfx->CloseWindow();
  }
  EXPECT_FALSE(gfx->WindowIsOpen());
  EXPECT_FALSE(host->Exists(w));
  EXPECT_EQ(gfx->OpenWindow(nullptr), nullptr);
  EXPECT_EQ(gfx->OpenWindow(reinterpret_cast<void*>(std::uintptr_t{0x7fffff0})), nullptr)
      << "a stale parent id fails cleanly";
}

// System V shared-memory segments mapped into this process.
static int SharedSegmentsMapped() {
  std::ifstream maps("/proc/self/maps");
  int n = 0;
  for (std::string line; std::getline(maps, line);) n += line.find("SYSV") != std::string::npos;
  return n;
}

// One descriptor left: the editor's connection takes it and its wake pipe
// finds none. The window fails cleanly, the staging image (shared memory with
// this local server) is given back as it was made, and a later open works.
TEST_F(X11Editor, OpeningWithoutDescriptorsFailsCleanly) {
  const int segments = SharedSegmentsMapped();
  auto isFree = [](int fd) { return fcntl(fd, F_GETFD) == -1 && errno == EBADF; };
  int first = 0;
  while (!isFree(first)) ++first;
  int second = first + 1;
  while (!isFree(second)) ++second;
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = static_cast<rlim_t>(second);  // descriptors below second: only first is free
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  void* w = gfx->OpenWindow(host->IdAsPointer());
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
  EXPECT_EQ(w, nullptr);
  EXPECT_FALSE(gfx->WindowIsOpen());
  EXPECT_TRUE(isFree(first)) << "the connection is closed again";
  EXPECT_EQ(SharedSegmentsMapped(), segments) << "the staging image's segment is detached";
  Open();
  EXPECT_TRUE(gfx->WindowIsOpen());
}

TEST_F(X11Editor, ReopeningTakesTheOldWindowsPlaceAndSize) {
  Window w = Open();
  XMoveResizeWindow(host->Dpy(), w, 30, 40, 150, 80);
  host->Sync();
  X11TestWindow other(400, 300);
  XMoveWindow(other.Dpy(), other.Id(), 10, 5);
  other.Sync();
  Window w2 = AsWindow(gfx->OpenWindow(other.IdAsPointer()));
  ASSERT_NE(w2, 0u);
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  ASSERT_TRUE(XQueryTree(host->Dpy(), host->Id(), &root, &parent, &children, &n));
  if (children) XFree(children);
  EXPECT_EQ(n, 0u) << "the old window is gone";
  int x, y, width, height;
  ASSERT_TRUE(host->Geometry(w2, &x, &y, &width, &height));
  // (30, 40) in the old parent at (0, 0) is (20, 35) in the new one at (10, 5).
  EXPECT_EQ(x, 20);
  EXPECT_EQ(y, 35);
  EXPECT_EQ(width, 150);
  EXPECT_EQ(height, 80);
  gfx->CloseWindow();
}

TEST_F(X11Editor, TheWindowShowsTheOffscreenSurface) {
  Window w = Open();
  EXPECT_TRUE(Eventually([&] { return ScreenEqualsSurface(w); }));
  {
    LockGuard g(plug->Lock());
    gfx->SetParameterFromPlug(0, 0.9, true);  // a host change: drawn on the next tick
  }
  EXPECT_TRUE(Eventually([&] {
    int cw, ch;
    auto shot = host->Capture(w, &cw, &ch);
    int v = static_cast<int>(0.9 * 255.0);
    return !shot.empty() && shot[50 * cw + 50] == static_cast<std::uint32_t>((v << 16) | ((255 - v) << 8) | 64);
  }));
  EXPECT_TRUE(Eventually([&] { return ScreenEqualsSurface(w); }));
  // An exposure repaints what the server lost.
  XClearArea(host->Dpy(), w, 0, 0, 0, 0, True);
  host->Sync();
  EXPECT_TRUE(Eventually([&] { return ScreenEqualsSurface(w); }));
}

TEST_F(X11Editor, LeftDragIsOneGestureWithAutomation) {
  Window w = Open();
  host->Drag(w, 50, 60, 50, 44, 4);
  ASSERT_TRUE(Eventually([&] { return level->Events().size() >= 3 && level->Events().back().kind == "up"; }));
  auto ev = level->Events();
  EXPECT_EQ(ev.front().kind, "down");
  EXPECT_TRUE(ev.front().mods.L);
  EXPECT_FALSE(ev.front().mods.R);
  int total = 0;
  for (auto& e : ev)
    if (e.kind == "drag") {
      EXPECT_TRUE(e.mods.L);
      total += 1;
    }
  EXPECT_GE(total, 1);
  EXPECT_FALSE(ev.back().mods.L) << "the release reports the button as up";
  // Knob drag, gearing 1: 16 px up over an 80 px control adds 0.2 to 0.25.
  EXPECT_NEAR(Value(0), 4.5, 1e-9);
  auto calls = AutomationLog::Current().Take();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front().opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls.back().opcode, audioMasterEndEdit);
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(calls[calls.size() - 2].index, 0);
  EXPECT_NEAR(calls[calls.size() - 2].value, 0.45f, 1e-6);
  // Motion without a button reaches no control; capture holds outside the control.
  level->Clear();
  host->MoveTo(w, 60, 60);
  host->MoveTo(w, 70, 70);
  host->Drag(w, 50, 50, 150, 50, 2);  // ends over the other control
  ASSERT_TRUE(Eventually([&] { return !level->Events().empty() && level->Events().back().kind == "up"; }));
  for (auto& e : level->Events()) EXPECT_NE(e.kind, "") << e.kind;
  EXPECT_TRUE(mode->Events().empty()) << "the pressed control keeps the mouse";
  EXPECT_EQ(level->Events().front().kind, "down");
}

TEST_F(X11Editor, SecondQuickLeftPressIsADoubleClick) {
  Window w = Open();
  host->Click(w, 40, 40, 1);
  host->Click(w, 41, 42, 1);
  ASSERT_TRUE(Eventually([&] { return level->Events().size() >= 4; }));
  auto ev = level->Events();
  ASSERT_EQ(ev.size(), 4u);
  EXPECT_EQ(ev[0].kind, "down");
  EXPECT_EQ(ev[1].kind, "up");
  EXPECT_EQ(ev[2].kind, "dbl");
  EXPECT_EQ(ev[3].kind, "up");
  // A right double-click is two right presses; each opens (then cancels) no popup twice.
}

TEST_F(X11Editor, WheelButtonsAndModifiers) {
  Window w = Open();
  host->MoveTo(w, 40, 40);
  host->Press(4), host->Release(4);
  host->Press(5), host->Release(5);
  host->Press(6), host->Release(6);  // horizontal: ignored
  host->Press(7), host->Release(7);
  host->KeyDown(XK_Shift_L);
  host->Press(4), host->Release(4);
  host->KeyUp(XK_Shift_L);
  host->KeyDown(XK_Control_L);
  host->KeyDown(XK_Alt_L);
  host->Press(1), host->Release(1);
  host->KeyUp(XK_Alt_L);
  host->KeyUp(XK_Control_L);
  ASSERT_TRUE(Eventually([&] { return level->Events().size() >= 5; }));
  auto ev = level->Events();
  ASSERT_EQ(ev.size(), 5u);
  EXPECT_EQ(ev[0].kind, "wheel");
  EXPECT_EQ(ev[0].extra, 1);
  EXPECT_EQ(ev[1].extra, -1);
  EXPECT_EQ(ev[2].kind, "wheel");
  EXPECT_TRUE(ev[2].mods.S);
  EXPECT_FALSE(ev[0].mods.S);
  EXPECT_EQ(ev[3].kind, "down");
  EXPECT_TRUE(ev[3].mods.C && ev[3].mods.A && !ev[3].mods.S);
  // 0.25 + 0.01 - 0.01 + 0.001
  EXPECT_NEAR(Value(0), 2.51, 1e-9);
}

TEST_F(X11Editor, KeysReachTheControlUnderThePointer) {
  Window w = Open();
  host->MoveTo(w, 150, 50);
  host->Tap(XK_a);
  host->Tap(XK_7);
  host->Tap(XK_F1);  // not in the table
  host->Tap(XK_space);
  ASSERT_TRUE(Eventually([&] { return mode->Events().size() >= 3; }));
  auto ev = mode->Events();
  ASSERT_EQ(ev.size(), 3u);
  EXPECT_EQ(ev[0].extra, 15);
  EXPECT_EQ(ev[1].extra, 12);
  EXPECT_EQ(ev[2].extra, 0);
  EXPECT_EQ(ev[0].x, 150);
}

TEST_F(X11Editor, TextBoxTakesTheFocusAndReturnCommitsOnTheNextTick) {
  Window w = Open();
  host->Click(w, 50, 50, 3);  // right click: the entry popup
  ASSERT_TRUE(Eventually([&] { return gfx->Popup().state == IGraphicsX11::kPopupFocused; }));
  auto popup = gfx->Popup();
  EXPECT_FALSE(popup.list);
  EXPECT_EQ(popup.rect, (IRect{32, 42, 68, 58}));
  EXPECT_EQ(popup.text, "2.5");
  EXPECT_EQ(host->FocusWindow(), popup.window);
  AutomationLog::Current().Take();
  host->Tap(XK_Escape);  // goes to the text box, which ignores it
  host->Type("7.3");
  ASSERT_TRUE(Eventually([&] { return gfx->Popup().text == "7.3"; }));
  EXPECT_TRUE(gfx->Popup().open);
  host->Tap(XK_Return);
  ASSERT_TRUE(Eventually([&] { return !gfx->Popup().open; }));
  EXPECT_NEAR(Value(0), 7.3, 1e-9);
  auto calls = AutomationLog::Current().Take();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].opcode, audioMasterAutomate);
  EXPECT_NEAR(calls[0].value, 0.73f, 1e-6);
  EXPECT_EQ(host->FocusWindow(), static_cast<Window>(PointerRoot)) << "focus given back";
  EXPECT_FALSE(host->Exists(popup.window));
}

TEST_F(X11Editor, RightClickCancelsAndNothingRepaintsWhileTheBoxHasFocus) {
  Window w = Open();
  host->Click(w, 50, 50, 3);
  ASSERT_TRUE(Eventually([&] { return gfx->Popup().state == IGraphicsX11::kPopupFocused; }));
  ASSERT_TRUE(gfx->WaitForPasses(2, 2000));
  long long painted = gfx->PaintedTicks();
  {
    LockGuard g(plug->Lock());
    gfx->SetParameterFromPlug(1, 1.0, true);
  }
  ASSERT_TRUE(gfx->WaitForPasses(6, 2000));  // more than two timer periods
  EXPECT_EQ(gfx->PaintedTicks(), painted);
  host->Type("9");
  host->Click(w, 150, 50, 3);  // cancels, reaches no control
  ASSERT_TRUE(Eventually([&] { return !gfx->Popup().open; }));
  EXPECT_NEAR(Value(0), 2.5, 1e-9);
  EXPECT_TRUE(Eventually([&] { return gfx->PaintedTicks() > painted; }));
  for (auto& e : mode->Events()) EXPECT_NE(e.kind, "down");
  EXPECT_TRUE(Eventually([&] { return ScreenEqualsSurface(w); }));
}

TEST_F(X11Editor, AChoiceInTheListCommitsAtOnce) {
  Window w = Open();
  host->Click(w, 150, 50, 3);
  ASSERT_TRUE(Eventually([&] { return gfx->Popup().window != 0; }));
  auto popup = gfx->Popup();
  EXPECT_TRUE(popup.list);
  EXPECT_EQ(popup.text, "alpha");
  // w = max(24, 8 * 5 + 24) = 64 centred on x 150; rows of 18 px from y 50.
  EXPECT_EQ(popup.rect, (IRect{118, 44, 182, 100}));  // moved up to stay inside the editor
  AutomationLog::Current().Take();
  host->Click(popup.window, 20, 1 + 2 * 18 + 9, 1);  // "gamma"
  ASSERT_TRUE(Eventually([&] { return !gfx->Popup().open; }));
  EXPECT_DOUBLE_EQ(Value(1), 2.0);
  std::vector<AutomationLog::Call> automated;
  for (auto& c : AutomationLog::Current().Take())
    if (c.opcode == audioMasterAutomate) automated.push_back(c);
  ASSERT_EQ(automated.size(), 1u);
  EXPECT_EQ(automated[0].index, 1);
  EXPECT_FLOAT_EQ(automated[0].value, 1.0f);
}

TEST_F(X11Editor, OpenUrlAsksFirstAndShowsTheErrorWhenTheOpenerFails) {
  FakeTools tools;
  tools.Add("xdg-open", "exit 0");
  Window w = Open();
  EXPECT_FALSE(gfx->OpenURL("/tmp/doc file.pdf", "Title", "Open it now?", "Unable to open."));
  ASSERT_TRUE(Eventually([&] { return gfx->Dialog().window != 0; }));
  auto d = gfx->Dialog();
  EXPECT_TRUE(d.question);
  EXPECT_EQ(d.message, "Open it now?");
  host->Click(d.window, (d.no.L + d.no.R) / 2, (d.no.T + d.no.B) / 2, 1);
  ASSERT_TRUE(Eventually([&] { return gfx->Dialog().window == 0; }));
  ASSERT_TRUE(gfx->WaitForPasses(3, 2000));
  EXPECT_EQ(tools.Args("xdg-open"), "") << "No opens nothing";
  gfx->OpenURL("/tmp/doc file.pdf", "Title", "Open it now?", "Unable to open.");
  ASSERT_TRUE(Eventually([&] { return gfx->Dialog().window != 0; }));
  d = gfx->Dialog();
  host->Click(d.window, (d.yes.L + d.yes.R) / 2, (d.yes.T + d.yes.B) / 2, 1);
  ASSERT_TRUE(Eventually([&] { return tools.Args("xdg-open") == "/tmp/doc file.pdf\n"; }));
  ASSERT_TRUE(gfx->WaitForPasses(4, 2000));
  EXPECT_EQ(gfx->Dialog().window, 0u) << "success shows nothing";
  // Without confirmation: at once; a failing opener shows the error text.
  tools.Add("xdg-open", "exit 3");
  EXPECT_TRUE(gfx->OpenURL("/tmp/manual.pdf", "Title", nullptr, "Unable to open."));
  ASSERT_TRUE(Eventually([&] { return gfx->Dialog().window != 0; }));
  d = gfx->Dialog();
  EXPECT_FALSE(d.question);
  EXPECT_EQ(d.message, "Unable to open.");
  EXPECT_EQ(tools.Args("xdg-open"), "/tmp/manual.pdf\n");
  level->Clear();
  host->Click(w, 20, 20, 1);  // the box is modal for the editor
  host->Click(d.window, (d.ok.L + d.ok.R) / 2, (d.ok.T + d.ok.B) / 2, 1);
  ASSERT_TRUE(Eventually([&] { return gfx->Dialog().window == 0; }));
  EXPECT_TRUE(level->Events().empty());
  // A missing opener answers false.
  tools.Add("xdg-open", "exit 0");
  setenv("PATH", "/nonexistent", 1);
  EXPECT_FALSE(gfx->OpenURL("/tmp/manual.pdf", "Title", nullptr, nullptr));
}

TEST_F(X11Editor, ResizeGrowsTheWindowAndTheHostsWindow) {
  Window w = Open();
  gfx->Resize(260, 130);
  EXPECT_EQ(gfx->NControls(), 0) << "a resize deletes the controls";
  EXPECT_TRUE(Eventually([&] {
    int x, y, width, height;
    return host->Geometry(w, &x, &y, &width, &height) && width == 260 && height == 130;
  }));
  EXPECT_TRUE(Eventually([&] {
    int x, y, width, height;
    return host->Geometry(host->Id(), &x, &y, &width, &height) && width == 460 && height == 330;
  }));
}

TEST_F(X11Editor, ColourAndFileThroughTheDesktopsDialogTool) {
  FakeTools tools;
  tools.Add("zenity", "case \"$1\" in --color-selection) echo 'rgb(10,20,30)';; *) echo '/home/u/a.wav';; esac");
  IColor c{255, 1, 2, 3};
  EXPECT_FALSE(gfx->PromptForColor(&c, "Pick")) << "no window yet";
  Open();
  ASSERT_TRUE(gfx->PromptForColor(&c, "Pick"));
  EXPECT_EQ(c.R, 10);
  EXPECT_EQ(c.G, 20);
  EXPECT_EQ(c.B, 30);
  EXPECT_EQ(c.A, 255);
  EXPECT_NE(tools.Args("zenity").find("--color=#010203"), std::string::npos);
  std::string path;
  gfx->PromptForFile(&path, 1, "/data", nullptr);
  EXPECT_EQ(path, "/home/u/a.wav");
  EXPECT_NE(tools.Args("zenity").find("--save"), std::string::npos);
  EXPECT_NE(tools.Args("zenity").find("--filename=/data/"), std::string::npos);
  tools.Add("zenity", "exit 1");  // cancelled
  path = "x";
  gfx->PromptForFile(&path, 0, "", nullptr);
  EXPECT_EQ(path, "");
  EXPECT_FALSE(gfx->PromptForColor(&c, nullptr));
}

// The window thread's start step (the first showing's image decoding) runs
// before its first pass and without the instance lock: the host's threads
// may take the lock meanwhile, as its audio thread does.
TEST(X11EventThread, StartStepRunsFirstWithoutTheInstanceLock) {
  REQUIRE_X_SERVER();
  Display* dpy = XOpenDisplay(nullptr);
  ASSERT_NE(dpy, nullptr);
  RecursiveLock lock;
  std::atomic<int> passes{0}, passesAtStep{-1};
  std::promise<void> stepRunning, hostDone;
  std::future<void> go = hostDone.get_future();
  {
    duv_x11::EventThread thread;
    ASSERT_TRUE(thread.Init());
    thread.Start(
        dpy, &lock, 50, [](std::vector<XEvent>&, bool) {}, [&] { ++passes; }, [] {},
        [&] {
          passesAtStep = passes.load();
          stepRunning.set_value();
          go.wait();
        });
    const bool ran = stepRunning.get_future().wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(ran) << "the start step did not run";
    if (ran) {
      EXPECT_TRUE(lock.TryLock()) << "the start step holds the instance lock";
      lock.Unlock();
    }
    hostDone.set_value();
    EXPECT_TRUE(thread.WaitForPasses(1, 5000));
    EXPECT_EQ(passesAtStep.load(), 0);
    EXPECT_GE(passes.load(), 1);
  }
  XCloseDisplay(dpy);
}
