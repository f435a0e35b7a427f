// The LV2 UI module in a real X window: instantiated in-process by the test
// UI host, embedded in a parent window, driven by real input, fed port
// events, and held to the VST 2 editor's picture for the same values.
#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

#include <X11/Xlib.h>
#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "host/Lv2UiHost.h"
#include "host/VstHost.h"
#include "host/X11DamageRecorder.h"
#include "host/X11TestWindow.h"
#include "tests/host/ModuleSupport.h"
#include "tests/lv2/Lv2Support.h"
#include "tests/Polling.h"

namespace {

constexpr int kW = 716, kH = 227;
// Port indices: four audio ports, then the parameters in index order.
constexpr std::uint32_t kPortDelay1 = 4 + 2;
constexpr std::uint32_t kPortKnobAction = 4 + 8;
constexpr int kParamKnobAction = 8;
// The knob action selector, the only control that shows that parameter:
// at (412, 10), two 17 x 18 halves (frames of 17 x 36 images) 10 pixels apart.
constexpr int kKnobSelL = 412, kKnobSelT = 10, kKnobSelR = 456, kKnobSelB = 28;
constexpr std::uint32_t kPortLamp = 4 + 11 + 1;

const Lv2UiModule& UiModule() {
  static Lv2UiModule* module = [] {
    std::string error;
    Lv2UiModule* m = Lv2UiModule::Load(DUV_LV2_UI_BINARY, &error);
    if (!m) {
      ADD_FAILURE() << error;
      std::abort();
    }
    return m;
  }();
  return *module;
}

std::vector<Window> Children(Display* dpy, Window w) {
  Window root, parent, *children = nullptr;
  unsigned n = 0;
  std::vector<Window> out;
  if (XQueryTree(dpy, w, &root, &parent, &children, &n)) out.assign(children, children + n);
  if (children) XFree(children);
  return out;
}

int CountEntries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

class Lv2Ui : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!X11TestServer::Instance().Available())
      GTEST_SKIP() << "no X server: " << X11TestServer::Instance().Reason();
    host = std::make_unique<X11TestWindow>(800, 300);
    ASSERT_NE(host->Dpy(), nullptr);
    XSetInputFocus(host->Dpy(), PointerRoot, RevertToPointerRoot, CurrentTime);
    ui = std::make_unique<Lv2UiInstance>(UiModule(), kDuvURI, host->Id());
    ASSERT_TRUE(ui->Ok());
    editor = ui->Widget();
  }
  void TearDown() override {
    ui.reset();
    host.reset();
  }
  std::vector<std::uint32_t> Shot() {
    int w = 0, h = 0;
    auto shot = host->Capture(editor, &w, &h);
    return w == kW && h == kH ? shot : std::vector<std::uint32_t>{};
  }
  std::unique_ptr<X11TestWindow> host;
  std::unique_ptr<Lv2UiInstance> ui;
  Window editor = 0;
};

// The VST 2 module, opened as a host would, to compare its editor with the UI's.
std::unique_ptr<VstPlugin> OpenVstPlugin() {
  auto plug = NewPlugin();
  if (!plug) return nullptr;
  plug->SetSampleRate(44100.0f);
  plug->SetBlockSize(512);
  plug->Open();
  return plug;
}

}  // namespace

TEST_F(Lv2Ui, EmbedsInTheParentAtTheEditorsSize) {
  ASSERT_NE(editor, 0u);
  EXPECT_EQ(Children(host->Dpy(), host->Id()), std::vector<Window>{editor});
  int x, y, w, h;
  ASSERT_TRUE(host->Geometry(editor, &x, &y, &w, &h));
  EXPECT_EQ(w, kW);
  EXPECT_EQ(h, kH);
  ui->RequestedSize(&w, &h);
  EXPECT_EQ(w, kW);
  EXPECT_EQ(h, kH);
  EXPECT_EQ(ui->Idle(), 0);
}

TEST(Lv2UiEntry, RefusesWithoutAParentOrForAnotherPlugin) {
  const LV2UI_Descriptor* d = UiModule().Descriptor();
  EXPECT_STREQ(d->URI, "https://pelko.audio/plugins/duv#ui");
  LV2UI_Widget widget = reinterpret_cast<LV2UI_Widget>(1);
  const LV2_Feature* none[] = {nullptr};
  EXPECT_EQ(d->instantiate(d, kDuvURI, "", nullptr, nullptr, &widget, none), nullptr);
  EXPECT_EQ(widget, nullptr);
  EXPECT_EQ(d->instantiate(d, kDuvURI, "", nullptr, nullptr, &widget, nullptr), nullptr);
  Lv2UiInstance other(UiModule(), "urn:another:plugin", 1);
  EXPECT_FALSE(other.Ok());
}

TEST_F(Lv2Ui, WheelDragWritesThePortBetweenTouchBeginAndEnd) {
  ui->PortEvent(kPortKnobAction, 0.0f);  // wheels follow a vertical drag
  ui->PortEvent(kPortDelay1, 7.5f);
  ui->ClearEvents();
  host->Drag(editor, 35, 180, 35, 122, 6);  // outer wheel 1, outside the inner circle
  ASSERT_TRUE(Eventually([&] {
    auto e = ui->Events();
    return !e.empty() && e.back().isTouch && !e.back().touch.grabbed;
  }));
  const auto events = ui->Events();
  ASSERT_GE(events.size(), 3u);
  EXPECT_TRUE(events.front().isTouch);
  EXPECT_EQ(events.front().touch.port, kPortDelay1);
  EXPECT_TRUE(events.front().touch.grabbed);
  EXPECT_EQ(events.back().touch.port, kPortDelay1);
  for (std::size_t i = 1; i + 1 < events.size(); ++i) {
    ASSERT_FALSE(events[i].isTouch) << i;
    EXPECT_EQ(events[i].write.port, kPortDelay1);
    EXPECT_EQ(events[i].write.size, 4u);
    EXPECT_EQ(events[i].write.protocol, 0u);
  }
  // 58 px up over four wheel heights of 145 px: a tenth of 5..100 ms, as plain milliseconds.
  EXPECT_NEAR(events[events.size() - 2].write.value, 17.0f, 1e-3f);
}

TEST_F(Lv2Ui, WithoutTouchTheDragStillWrites) {
  ui.reset();
  ui = std::make_unique<Lv2UiInstance>(UiModule(), kDuvURI, host->Id(), false, false);
  ASSERT_TRUE(ui->Ok());
  editor = ui->Widget();
  // Real input reaches only a window that is on the screen.
  ASSERT_TRUE(Eventually([&] { return !Shot().empty(); }));
  ui->PortEvent(kPortKnobAction, 0.0f);
  host->Drag(editor, 35, 180, 35, 122, 6);
  ASSERT_TRUE(Eventually([&] { return !ui->Events().empty(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  for (const auto& e : ui->Events()) EXPECT_FALSE(e.isTouch);
}

TEST_F(Lv2Ui, WithTheIdleInterfaceGesturesLeaveFromIdle) {
  ui.reset();
  ui = std::make_unique<Lv2UiInstance>(UiModule(), kDuvURI, host->Id(), true, true, true);
  ASSERT_TRUE(ui->Ok());
  editor = ui->Widget();
  // Real input reaches only a window that is on the screen.
  ASSERT_TRUE(Eventually([&] { return !Shot().empty(); }));
  ui->PortEvent(kPortKnobAction, 0.0f);
  host->Drag(editor, 35, 180, 35, 122, 6);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(ui->Events().empty()) << "nothing before the host's idle call";
  ASSERT_TRUE(Eventually([&] {
    EXPECT_EQ(ui->Idle(), 0);
    auto e = ui->Events();
    return !e.empty() && e.back().isTouch && !e.back().touch.grabbed;
  }));
  const auto events = ui->Events();
  EXPECT_TRUE(events.front().isTouch && events.front().touch.grabbed);
  EXPECT_NEAR(events[events.size() - 2].write.value, 17.0f, 1e-3f);
}

TEST_F(Lv2Ui, PortEventChangesTheLedDisplay) {
  std::vector<std::uint32_t> before;
  ASSERT_TRUE(Eventually([&] { return !(before = Shot()).empty(); }));
  auto ledDiffers = [&](const std::vector<std::uint32_t>& shot) {
    if (shot.empty()) return false;
    for (int y = 100; y < 112; ++y)  // the delay 1 display
      for (int x = 186; x < 186 + 36; ++x)
        if (shot[y * kW + x] != before[y * kW + x]) return true;
    return false;
  };
  ui->PortEvent(kPortDelay1, 50.0f);
  EXPECT_TRUE(Eventually([&] { return ledDiffers(Shot()); }));
  // Nonsense from the host changes nothing and crashes nothing.
  const double d = 1.0;
  ui->PortEventRaw(kPortDelay1, sizeof d, 0, &d);
  ui->PortEventRaw(kPortDelay1, 4, 1, &d);
  ui->PortEventRaw(kPortDelay1, 4, 0, nullptr);
  ui->PortEvent(999, 1.0f);
  EXPECT_TRUE(ui->Events().empty());
}

// The same values in both editors give the same picture, pixel for pixel.
TEST_F(Lv2Ui, PictureEqualsTheVstEditorsForTheSameValues) {
  // Plain values the UI gets, as the DSP's ports carry them; the VST side normalised
  // (normalised floats that stand for the same value exactly, away from frame boundaries).
  const struct {
    int param;
    float plain, normalized;
  } kValues[] = {{0, 0.3f, 0.3f},   {1, -25.0f, 0.25f}, {2, 52.5f, 0.5f}, {3, 25.0f, 0.75f},
                 {4, 100.0f, 1.0f}, {5, 75.0f, 0.5f},    {6, 1.0f, 1.0f},  {9, 1.0f, 1.0f}};
  host->MoveTo(host->Id(), 790, 290);  // no control under the pointer in either editor
  for (const auto& v : kValues) ui->PortEvent(static_cast<std::uint32_t>(4 + v.param), v.plain);
  ui->PortEvent(kPortLamp, 0.0f);
  // Both host windows sit at (0, 0): the UI's picture first, while nothing covers it.
  std::vector<std::uint32_t> ours, again;
  ASSERT_TRUE(Eventually([&] {
    ours = again;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    again = Shot();
    return !again.empty() && again == ours;
  }));
  {
    X11TestWindow vstHost(800, 300);
    auto plug = OpenVstPlugin();
    ASSERT_TRUE(plug);
    plug->MainsChanged(true);
    for (const auto& v : kValues) plug->SetParameter(v.param, v.normalized);
    // Audio through the delay fades, so the VST 2 lamp goes out as the port says.
    std::vector<float> inL(512), inR(512), outL(512), outR(512);
    float* in[] = {inL.data(), inR.data()};
    float* out[] = {outL.data(), outR.data()};
    for (int i = 0; i < 200; ++i) plug->ProcessReplacing(in, out, 512);
    ASSERT_EQ(plug->Dispatch(effEditOpen, 0, 0, vstHost.IdAsPointer()), 1);
    const auto vstChildren = Children(vstHost.Dpy(), vstHost.Id());
    ASSERT_EQ(vstChildren.size(), 1u);
    std::vector<std::uint32_t> theirs;
    const bool same = Eventually([&] {
      int w = 0, h = 0;
      theirs = vstHost.Capture(vstChildren[0], &w, &h);
      return theirs == ours;
    });
    if (!same && ours.size() == theirs.size()) {
      int differing = 0;
      int x0 = kW, y0 = kH, x1 = -1, y1 = -1;
      for (std::size_t i = 0; i < ours.size(); ++i) {
        if (ours[i] == theirs[i]) continue;
        ++differing;
        const int x = static_cast<int>(i) % kW, y = static_cast<int>(i) / kW;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
      }
      ADD_FAILURE() << differing << " pixels differ, within (" << x0 << ", " << y0 << ") - ("
                    << x1 << ", " << y1 << ")";
    }
    EXPECT_TRUE(same);
    plug->Dispatch(effEditClose);
  }
  // The lamp port lights the bypass button: the picture changes there.
  ui->PortEvent(kPortLamp, 1.0f);
  EXPECT_TRUE(Eventually([&] {
    auto now = Shot();
    return !now.empty() && now[85 * kW + 477] != ours[85 * kW + 477];
  }));
}

// A port event redraws its control and nothing else: the server is asked to
// draw exactly the selector's rectangle, the pixels outside it stay, and the
// pixels inside become the VST 2 editor's for the same value.
TEST_F(Lv2Ui, PortEventRedrawsOnlyItsControlsRectangle) {
  host->MoveTo(host->Id(), 790, 290);  // no control under the pointer
  auto settled = [&](std::vector<std::uint32_t>* shot) {
    std::vector<std::uint32_t> previous;
    return Eventually([&] {
      previous = *shot;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      *shot = Shot();
      return !shot->empty() && *shot == previous;
    });
  };
  ui->PortEvent(kPortKnobAction, 0.0f);  // "drag", whatever the default
  std::vector<std::uint32_t> before;
  ASSERT_TRUE(settled(&before));
  X11DamageRecorder damage(editor);
  ASSERT_TRUE(damage.Ok()) << "the X server has no DAMAGE extension";
  // Several timer ticks (41 ms) with nothing changed draw nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (const auto& r : damage.Take())
    ADD_FAILURE() << "idle drew (" << r.l << ", " << r.t << ") - (" << r.r << ", " << r.b << ")";

  ui->PortEvent(kPortKnobAction, 1.0f);  // "rotate"
  std::vector<std::uint32_t> after = before;
  ASSERT_TRUE(Eventually([&] { return (after = Shot()) != before && !after.empty(); }));
  ASSERT_TRUE(settled(&after));
  const auto rects = damage.Take();
  ASSERT_FALSE(rects.empty());
  X11DamageRecorder::Rect all = rects.front();
  for (const auto& r : rects) {
    EXPECT_TRUE(r.l >= kKnobSelL && r.t >= kKnobSelT && r.r <= kKnobSelR && r.b <= kKnobSelB)
        << "drawn (" << r.l << ", " << r.t << ") - (" << r.r << ", " << r.b << ")";
    all = {std::min(all.l, r.l), std::min(all.t, r.t), std::max(all.r, r.r), std::max(all.b, r.b)};
  }
  EXPECT_EQ(all.l, kKnobSelL);
  EXPECT_EQ(all.t, kKnobSelT);
  EXPECT_EQ(all.r, kKnobSelR);
  EXPECT_EQ(all.b, kKnobSelB);

  auto inside = [](int x, int y) {
    return x >= kKnobSelL && x < kKnobSelR && y >= kKnobSelT && y < kKnobSelB;
  };
  int changedOutside = 0, changedInside = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      if (after[y * kW + x] != before[y * kW + x]) ++(inside(x, y) ? changedInside : changedOutside);
  EXPECT_EQ(changedOutside, 0);
  EXPECT_GT(changedInside, 0);

  X11TestWindow vstHost(800, 300);
  auto plug = OpenVstPlugin();
  ASSERT_TRUE(plug);
  plug->SetParameter(kParamKnobAction, 1.0f);
  ASSERT_EQ(plug->Dispatch(effEditOpen, 0, 0, vstHost.IdAsPointer()), 1);
  const auto vstChildren = Children(vstHost.Dpy(), vstHost.Id());
  ASSERT_EQ(vstChildren.size(), 1u);
  int differing = -1;
  Eventually([&] {
    int w = 0, h = 0;
    const auto theirs = vstHost.Capture(vstChildren[0], &w, &h);
    if (w != kW || h != kH) return false;
    differing = 0;
    for (int y = kKnobSelT; y < kKnobSelB; ++y)
      for (int x = kKnobSelL; x < kKnobSelR; ++x)
        differing += theirs[y * kW + x] != after[y * kW + x];
    return differing == 0;
  });
  EXPECT_EQ(differing, 0) << "pixels of the selector unlike the VST 2 editor's";
  plug->Dispatch(effEditClose);
}

// Opening and closing the UI while the DSP runs: the DSP keeps every frame,
// and each close takes its window, thread and X connection along.
TEST_F(Lv2Ui, OpenAndClose20TimesWhileAudioRuns) {
  ui.reset();
  auto dsp = NewLv2(44100.0, 256);
  ASSERT_TRUE(dsp);
  dsp->Activate();
  std::atomic<bool> stop{false};
  std::atomic<long> frames{0};
  std::atomic<bool> finite{true};
  std::thread audio([&] {
    std::vector<float> inL(256, 0.25f), inR(256, -0.25f), outL(256), outR(256);
    const float* in[] = {inL.data(), inR.data()};
    float* out[] = {outL.data(), outR.data()};
    while (!stop.load()) {
      dsp->Run(in, out, 256);
      for (float s : outL) finite = finite && std::isfinite(s);
      frames += 256;
    }
  });
  const int threadsBefore = CountEntries("/proc/self/task");
  const int fdsBefore = CountEntries("/proc/self/fd");
  for (int i = 0; i < 20; ++i) {
    auto one = std::make_unique<Lv2UiInstance>(UiModule(), kDuvURI, host->Id());
    ASSERT_TRUE(one->Ok()) << i;
    one->PortEvent(kPortDelay1, 10.0f + static_cast<float>(i));
    one->PortEvent(kPortLamp, static_cast<float>(i % 2));
    EXPECT_EQ(one->Idle(), 0);
    one.reset();
    EXPECT_TRUE(Children(host->Dpy(), host->Id()).empty()) << i;
  }
  EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);
  EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore);
  const long before = frames.load();
  EXPECT_TRUE(Eventually([&] { return frames.load() > before + 44100; }));
  stop = true;
  audio.join();
  EXPECT_TRUE(finite.load());
}

// What a host reads about the UI from the bundle: one X11 UI in DUV_ui.so,
// following every parameter port and the lamp.
TEST(Lv2UiBundle, DeclaresTheX11UIAndItsPortNotifications) {
  const LilvPlugin* plugin = World().Plugin(kDuvURI);
  ASSERT_NE(plugin, nullptr);
  LilvUIs* uis = lilv_plugin_get_uis(plugin);
  ASSERT_EQ(lilv_uis_size(uis), 1u);
  const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
  EXPECT_STREQ(lilv_node_as_uri(lilv_ui_get_uri(ui)), "https://pelko.audio/plugins/duv#ui");
  EXPECT_TRUE(lilv_ui_is_a(ui, World().Uri(LV2_UI__X11UI)));
  const std::string binary = lilv_node_as_uri(lilv_ui_get_binary_uri(ui));
  EXPECT_EQ(binary.substr(binary.rfind('/') + 1), "DUV_ui.so");
  LilvNodes* notes = lilv_world_find_nodes(World().World(), lilv_ui_get_uri(ui),
                                           World().Uri(LV2_UI__portNotification), nullptr);
  std::vector<std::string> symbols;
  LILV_FOREACH (nodes, i, notes) {
    LilvNodes* s = lilv_world_find_nodes(World().World(), lilv_nodes_get(notes, i),
                                         World().Uri(LV2_CORE__symbol), nullptr);
    if (s && lilv_nodes_size(s) == 1) symbols.push_back(lilv_node_as_string(lilv_nodes_get_first(s)));
    lilv_nodes_free(s);
  }
  lilv_nodes_free(notes);
  std::sort(symbols.begin(), symbols.end());
  EXPECT_EQ(symbols, (std::vector<std::string>{"bypass", "bypass_lamp", "cents_1", "cents_2",
                                                "color", "delay_1", "delay_2", "detector_hpf",
                                                "knob_action", "rocker_action", "stereo_width",
                                                "wet"}));
  lilv_uis_free(uis);
}
