// The editor driven as a user would, through the built module: mouse events
// reach the graphics object, and both the picture and the host's view
// (automation, begin and end of gestures) are checked.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <utility>
#include <memory>
#include <string>

#include "host/EditorDriver.h"
#include "host/VstHost.h"
#include "tests/effect/RecordedPicture.h"
#include "tests/host/ModuleSupport.h"

namespace {

struct Editor {
  Editor() {
    std::string error;
    plugin = VstPlugin::Create(Module(), HostConfig{}, &error);
    plugin->SetSampleRate(44100.0f);
    plugin->SetBlockSize(512);
    plugin->Open();
    driver = std::make_unique<EditorDriver>(*plugin);
    plugin->ClearCalls();
  }
  void Press(int x, int y, bool right = false) {
    MouseStep s;
    s.kind = MouseStep::kDown;
    s.x = x;
    s.y = y;
    s.left = !right;
    s.right = right;
    driver->Mouse(s);
    last = s;
  }
  void DragTo(int x, int y) {
    MouseStep s = last;
    s.kind = MouseStep::kDrag;
    s.x = x;
    s.y = y;
    driver->Mouse(s);
  }
  void Release(int x, int y) {
    MouseStep s = last;
    s.kind = MouseStep::kUp;
    s.x = x;
    s.y = y;
    driver->Mouse(s);
  }
  void Click(int x, int y, bool right = false) {
    Press(x, y, right);
    Release(x, y);
  }
  std::vector<std::uint32_t> Picture() {
    int w = 0, h = 0;
    std::vector<std::uint32_t> p;
    EXPECT_TRUE(driver->Snapshot(&w, &h, &p));
    EXPECT_EQ(w, 716);
    EXPECT_EQ(h, 227);
    return p;
  }
  float Param(int i) { return plugin->GetParameter(i); }

  std::unique_ptr<VstPlugin> plugin;
  std::unique_ptr<EditorDriver> driver;
  MouseStep last;
};

std::uint64_t Hash(const std::vector<std::uint32_t>& p, int l, int t, int r, int b) {
  std::uint64_t h = 1469598103934665603ull;
  for (int y = t; y < b; ++y)
    for (int x = l; x < r; ++x) h = (h ^ p[static_cast<std::size_t>(y) * 716 + x]) * 1099511628211ull;
  return h;
}

TEST(EditorMouse, WheelDragMovesByAQuarterOfTheHeightAndTellsTheHost) {
  Editor e;
  const float before = e.Param(2);  // delay 1
  e.Press(98, 70);                  // outer wheel 1, outside the inner circle
  e.DragTo(98, 60);                 // up by 10 pixels
  e.Release(98, 60);
  const double expected = before + 10.0 / 145 / 4;
  EXPECT_NEAR(e.Param(2), expected, 1e-6);
  std::vector<HostCall> calls = e.plugin->Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].opcode, audioMasterBeginEdit);
  EXPECT_EQ(calls[0].index, 2);
  EXPECT_EQ(calls[1].opcode, audioMasterAutomate);
  EXPECT_EQ(calls[1].index, 2);
  EXPECT_NEAR(calls[1].opt, expected, 1e-6);
  EXPECT_EQ(calls[2].opcode, audioMasterEndEdit);
}

TEST(EditorMouse, RotateActionFollowsTheAngleAndHoldsAtTheEnds) {
  Editor e;
  e.plugin->SetParameter(8, 1.0f);  // knob action: rotate
  e.Press(98 - 60, 134);            // left of the outer wheel's centre: 0.25
  EXPECT_NEAR(e.Param(2), 0.25, 1e-6);
  e.DragTo(98, 134 - 60);  // above: 0.5
  EXPECT_NEAR(e.Param(2), 0.5, 1e-6);
  e.Release(98, 74);
  e.Press(98 - 10, 134 + 60);  // just left of the bottom: a little above 0
  const float low = e.Param(2);
  EXPECT_LT(low, 0.05f);
  e.DragTo(98 + 10, 134 + 60);  // across the bottom to the right: held at 0
  EXPECT_EQ(e.Param(2), 0.0f);
  e.Release(108, 194);
  e.Press(98 + 10, 134 + 60);  // just right of the bottom: near 1
  e.DragTo(98 - 10, 134 + 60);  // across to the left: held at 1
  EXPECT_EQ(e.Param(2), 1.0f);
  e.Release(88, 194);
}

TEST(EditorMouse, InnerWheelCornerGoesToTheOuterWheel) {
  Editor e;
  e.plugin->SetParameter(8, 1.0f);
  const float cents = e.Param(1), delay = e.Param(2);
  e.Click(56, 95);  // inside inner wheel 1's square, outside its circle
  EXPECT_EQ(e.Param(1), cents);
  EXPECT_NE(e.Param(2), delay);
  e.Click(98 - 20, 137);  // inside the inner circle: the detune
  EXPECT_NE(e.Param(1), cents);
}

// Positions far beyond any screen (a host or a window system may send any
// int) move the controls as their edge would and never overflow the
// arithmetic on them (the sanitizer build checks that).
TEST(EditorMouse, PositionsFarOutsideTheWindowAreSafe) {
  const int far[] = {INT_MIN, -(1 << 30), -1, 1 << 30, INT_MAX};
  for (float action : {0.0f, 1.0f}) {  // knob action drag, rotate
    Editor e;
    e.plugin->SetParameter(8, action);
    for (const auto& [x, y] : {std::pair{98, 70}, std::pair{98, 137}, std::pair{320, 100}, std::pair{540, 110}}) {
      e.Press(x, y);
      for (int fx : far)
        for (int fy : far) e.DragTo(fx, fy);
      e.Release(INT_MAX, INT_MIN);
      e.Click(INT_MIN, INT_MAX);
    }
    for (int i = 0; i < 11; ++i) {
      EXPECT_GE(e.Param(i), 0.0f) << i;
      EXPECT_LE(e.Param(i), 1.0f) << i;
    }
  }
}

TEST(EditorMouse, RockersInFadeAndJumpAction) {
  Editor e;
  const float wet = e.Param(0);
  e.Press(650, 100);  // fade: a click changes nothing
  EXPECT_EQ(e.Param(0), wet);
  e.DragTo(650, 90);  // up by 10 of 227
  EXPECT_NEAR(e.Param(0), wet + 10.0 / 227, 1e-6);
  e.Release(650, 90);

  e.plugin->SetParameter(9, 1.0f);  // rocker action: jump
  e.Click(650, 0);
  EXPECT_EQ(e.Param(0), 1.0f);
  e.Click(650, 226);
  EXPECT_NEAR(e.Param(0), 1.0 / 227, 1e-6);
  e.Press(650, 200);
  e.DragTo(650, 300);  // below the rocker
  EXPECT_EQ(e.Param(0), 0.0f);
  e.Release(650, 300);
  e.Click(430 + 93 / 2, 150);  // width rocker: horizontal
  EXPECT_NEAR(e.Param(5), 0.5f, 0.011f);
}

TEST(EditorMouse, SelectorHalvesAndGap) {
  Editor e;
  e.Click(412 + 33, 15);  // the right half (439..455): rotate
  EXPECT_EQ(e.plugin->ParamDisplay(8), "rotate");
  e.Click(412 + 2, 15);  // the left half (412..428): drag
  EXPECT_EQ(e.plugin->ParamDisplay(8), "drag");
  e.Click(412 + 20, 15);  // the gap
  EXPECT_EQ(e.plugin->ParamDisplay(8), "drag");
  e.Click(439, 15);  // the right image's first column still counts as the gap
  EXPECT_EQ(e.plugin->ParamDisplay(8), "drag");
  e.plugin->ClearCalls();
  e.Click(412 + 2, 15);  // already 0: still sent
  int automations = 0;
  for (const HostCall& c : e.plugin->Calls()) automations += c.opcode == audioMasterAutomate;
  EXPECT_EQ(automations, 1);
  e.Click(467 + 40, 15);  // the rocker selector's right half: jump
  EXPECT_EQ(e.plugin->ParamDisplay(9), "jump");
}

TEST(EditorMouse, BypassMomentaryAndLatching) {
  Editor e;
  std::vector<std::uint32_t> off = e.Picture();
  const std::uint64_t offHash = Hash(off, 447, 58, 508, 113);
  e.Press(470, 80);
  EXPECT_EQ(e.Param(7), 1.0f);
  EXPECT_NE(Hash(e.Picture(), 447, 58, 508, 113), offHash);  // lit while held
  e.Release(470, 80);
  EXPECT_EQ(e.Param(7), 0.0f);
  EXPECT_EQ(Hash(e.Picture(), 447, 58, 508, 113), offHash);
  e.Click(470, 80, true);  // right: latches
  EXPECT_EQ(e.Param(7), 1.0f);
  e.Click(470, 80, true);
  EXPECT_EQ(e.Param(7), 0.0f);
  e.Click(470, 80, true);
  e.Press(470, 80);  // a left click on a latched bypass releases it on mouse up
  EXPECT_EQ(e.Param(7), 1.0f);
  e.Release(470, 80);
  EXPECT_EQ(e.Param(7), 0.0f);
}

TEST(EditorDrawing, HostAutomationRedrawsOnTwoCyclesAndMatchesAFreshRedraw) {
  Editor e;
  EXPECT_TRUE(e.driver->Tick());  // the first cycle paints everything
  while (e.driver->Tick()) {
  }
  e.plugin->SetParameter(6, 1.0f);  // color from the host
  int rect[4];
  ASSERT_TRUE(e.driver->Tick(rect));
  EXPECT_EQ(rect[0], 523);
  EXPECT_EQ(rect[1], 38);
  EXPECT_EQ(rect[2], 612);
  EXPECT_EQ(rect[3], 138);
  EXPECT_TRUE(e.driver->Tick());   // the second cycle of a plug-in value
  EXPECT_FALSE(e.driver->Tick());

  // Incremental drawing equals a full redraw from scratch, pixel for pixel.
  e.plugin->SetParameter(1, 0.9f);  // cents 1: wheel and LED
  e.plugin->SetParameter(4, 0.3f);  // delay 2
  std::vector<std::uint32_t> incremental;
  {
    while (e.driver->Tick()) {
    }
    EditorDriver& d = *e.driver;
    int w, h;
    // Read the surface without redrawing: a snapshot redraws everything, so
    // compare it against a second editor that only ever drew from scratch.
    ASSERT_TRUE(d.Snapshot(&w, &h, &incremental));
  }
  Editor fresh;
  fresh.plugin->SetParameter(6, 1.0f);
  fresh.plugin->SetParameter(1, 0.9f);
  fresh.plugin->SetParameter(4, 0.3f);
  EXPECT_EQ(fresh.Picture(), incremental);
}

// The factory picture, pixel for pixel as it was when the images were decoded
// at construction (recorded then), whether the images are decoded by this
// editor's first draw or were by an earlier one. The version text's strip
// is left out: it depends on the fonts of the machine.
TEST(EditorDrawing, FirstPictureIsTheRecordedOne) {
  Editor first;
  EXPECT_EQ(RecordedPictureHash(first.Picture()), kRecordedFactoryPicture);
  Editor second;
  EXPECT_EQ(RecordedPictureHash(second.Picture()), kRecordedFactoryPicture);
}

TEST(EditorDrawing, LedsShowTheParameterValues) {
  Editor a, b;
  b.plugin->SetParameter(1, 0.75f);  // cents 1 = 25
  std::vector<std::uint32_t> pa = a.Picture(), pb = b.Picture();
  EXPECT_NE(Hash(pa, 186, 72, 222, 83), Hash(pb, 186, 72, 222, 83));
  EXPECT_EQ(Hash(pa, 217, 72, 253, 83), Hash(pb, 217, 72, 253, 83));  // cents 2 untouched
  // Outside the changed controls the pictures are identical.
  EXPECT_EQ(Hash(pa, 430, 0, 716, 227), Hash(pb, 430, 0, 716, 227));
}

}  // namespace
