// The built module's editor in a real window: the project's host opens it in
// a top-level window and drives it with real input through XTEST.
#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "plugin/vst2/EditorProbe.h"
#include "host/VstHost.h"
#include "tests/host/ModuleSupport.h"
#include "host/X11TestWindow.h"
#include "tests/Polling.h"

namespace {

class X11ModuleEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!X11TestServer::Instance().Available())
      GTEST_SKIP() << "no X server: " << X11TestServer::Instance().Reason();
    host = std::make_unique<X11TestWindow>(800, 300);
    ASSERT_NE(host->Dpy(), nullptr) << "cannot connect to the X server";
    XSetInputFocus(host->Dpy(), PointerRoot, RevertToPointerRoot, CurrentTime);
    std::string error;
    plug = VstPlugin::Create(Module(), HostConfig{}, &error);
    ASSERT_TRUE(plug) << error;
    plug->SetSampleRate(44100.0f);
    plug->SetBlockSize(512);
    plug->Open();
    plug->MainsChanged(true);
    plug->SetParameter(8, 0.0f);  // wheels follow a vertical drag
    ASSERT_EQ(plug->Dispatch(effEditOpen, 0, 0, host->IdAsPointer()), 1);
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(host->Dpy(), host->Id(), &root, &parent, &children, &n);
    ASSERT_EQ(n, 1u);
    editor = children[0];
    XFree(children);
    plug->ClearCalls();
  }
  void TearDown() override {
    if (plug) {
      plug->Dispatch(effEditClose);
      plug.reset();
    }
    host.reset();
  }
  std::vector<HostCall> CallsFor(VstInt32 opcode) {
    std::vector<HostCall> out;
    for (const HostCall& c : plug->Calls())
      if (c.opcode == opcode) out.push_back(c);
    return out;
  }
  bool ScreenEqualsSurface() {
    std::vector<std::uint32_t> pixels(716 * 227);
    EditorProbeImage image{716, 227, pixels.data()};
    if (plug->Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image) != 1) return false;
    return Eventually([&] {
      int w = 0, h = 0;
      auto shot = host->Capture(editor, &w, &h);
      if (w != 716 || h != 227) return false;
      for (std::size_t i = 0; i < shot.size(); ++i)
        if ((pixels[i] & 0xFFFFFF) != shot[i]) return false;
      return true;
    });
  }
  std::unique_ptr<X11TestWindow> host;
  std::unique_ptr<VstPlugin> plug;
  Window editor = 0;
};

}  // namespace

TEST_F(X11ModuleEditor, OpensAtTheEditorsSizeAndShowsItsSurface) {
  int x, y, w, h;
  ASSERT_TRUE(host->Geometry(editor, &x, &y, &w, &h));
  EXPECT_EQ(w, 716);
  EXPECT_EQ(h, 227);
  EXPECT_TRUE(ScreenEqualsSurface());
}

TEST_F(X11ModuleEditor, DraggingAnOuterWheelAutomatesItsDelay) {
  const float before = plug->GetParameter(2);
  host->Drag(editor, 35, 180, 35, 122, 6);  // outer wheel 1, outside the inner circle
  ASSERT_TRUE(Eventually([&] { return !CallsFor(audioMasterEndEdit).empty(); }));
  // 58 px up over four wheel heights of 145 px: +0.1.
  EXPECT_NEAR(plug->GetParameter(2), before + 0.1f, 1e-5);
  auto calls = plug->Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls.front().opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls.front().index, 2);
  EXPECT_EQ(calls.back().opcode, audioMasterEndEdit);
  auto automated = CallsFor(audioMasterAutomate);
  ASSERT_FALSE(automated.empty());
  EXPECT_EQ(automated.back().index, 2);
  EXPECT_NEAR(automated.back().opt, before + 0.1f, 1e-5);
  EXPECT_TRUE(ScreenEqualsSurface());
}

TEST_F(X11ModuleEditor, BypassHoldsWhileTheLeftButtonIsDown) {
  host->MoveTo(editor, 477, 85);
  host->Press(1);
  EXPECT_TRUE(Eventually([&] { return plug->GetParameter(7) == 1.0f; }));
  host->Release(1);
  EXPECT_TRUE(Eventually([&] { return plug->GetParameter(7) == 0.0f; }));
  auto automated = CallsFor(audioMasterAutomate);
  ASSERT_EQ(automated.size(), 2u);
  EXPECT_EQ(automated[0].opt, 1.0f);
  EXPECT_EQ(automated[1].opt, 0.0f);
  host->Click(editor, 477, 85, 3);  // the right button latches
  EXPECT_TRUE(Eventually([&] { return plug->GetParameter(7) == 1.0f; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(plug->GetParameter(7), 1.0f);
  EXPECT_TRUE(ScreenEqualsSurface());
}

TEST_F(X11ModuleEditor, TypedValueEntersThroughThePopup) {
  host->Click(editor, 98, 137, 3);  // inner wheel 1 ("cents 1"), drag action: entry popup
  ASSERT_TRUE(Eventually([&] { return host->FocusWindow() != static_cast<Window>(PointerRoot); }));
  host->Type("-12");
  host->Tap(XK_Return);
  EXPECT_TRUE(Eventually([&] { return std::abs(plug->GetParameter(1) - 0.38f) < 1e-6f; }));
  EXPECT_TRUE(Eventually([&] { return host->FocusWindow() == static_cast<Window>(PointerRoot); }));
  auto automated = CallsFor(audioMasterAutomate);
  ASSERT_FALSE(automated.empty());
  EXPECT_EQ(automated.back().index, 1);
  EXPECT_TRUE(ScreenEqualsSurface());
}

TEST_F(X11ModuleEditor, MouseWheelStepsAWheel) {
  const float before = plug->GetParameter(4);
  host->MoveTo(editor, 270, 70);  // outer wheel 2
  host->Press(4), host->Release(4);
  host->Press(4), host->Release(4);
  host->Press(5), host->Release(5);
  host->Press(6), host->Release(6);
  EXPECT_TRUE(Eventually([&] { return CallsFor(audioMasterAutomate).size() == 3; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(CallsFor(audioMasterAutomate).size(), 3u);
  EXPECT_NEAR(plug->GetParameter(4), before + 0.01f, 1e-5);
}

TEST_F(X11ModuleEditor, ClosingRemovesTheWindowAndReopeningWorks) {
  EXPECT_EQ(plug->Dispatch(effEditClose), 1);
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  XQueryTree(host->Dpy(), host->Id(), &root, &parent, &children, &n);
  if (children) XFree(children);
  EXPECT_EQ(n, 0u) << "the editor window is gone";
  ASSERT_EQ(plug->Dispatch(effEditOpen, 0, 0, host->IdAsPointer()), 1);
  EXPECT_TRUE(ScreenEqualsSurface());
}

TEST(X11ModuleHeadless, NoDisplayAnswersNoEditorWindow) {
  std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  unsetenv("DISPLAY");
  std::string error;
  auto plug = VstPlugin::Create(Module(), HostConfig{}, &error);
  ASSERT_TRUE(plug) << error;
  plug->Open();
  EXPECT_EQ(plug->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(std::uintptr_t{0x200001})), 0);
  ERect* rect = nullptr;
  EXPECT_EQ(plug->Dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 716);
  EXPECT_EQ(rect->bottom - rect->top, 227);
  plug->Dispatch(effEditClose);
  plug.reset();
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}

TEST_F(X11ModuleEditor, ClosingThePlugInWithItsEditorOpenStopsTheEditorFirst) {
  // Some hosts send effClose without effEditClose, while input keeps arriving:
  // the plug-in closes its editor window itself, and nothing hangs or crashes.
  std::atomic<bool> done{false};
  std::thread mouse([&] {
    // Relative to the host window, which outlives the editor (the editor sits at its origin).
    while (!done.load()) host->Drag(host->Id(), 35, 180, 35, 150, 3);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  plug->Close();
  done = true;
  mouse.join();
  plug.reset();
  XSync(host->Dpy(), False);
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  XQueryTree(host->Dpy(), host->Id(), &root, &parent, &children, &n);
  if (children) XFree(children);
  EXPECT_EQ(n, 0u);  // the editor's window is gone with it
}
