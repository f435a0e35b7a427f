#include <gtest/gtest.h>

#include "graphics/BitmapControl.h"
#include "graphics/LinkControl.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace {

TEST(FrameSelection, StripFrames) {
  EXPECT_EQ(FrameForValue(0.5, 50), 26);
  EXPECT_EQ(FrameForValue(1.0, 50), 50);
  EXPECT_EQ(FrameForValue(0.0, 50), 1);
  EXPECT_EQ(FrameForValue(-0.5, 50), 1);
  EXPECT_EQ(FrameForValue(7.0, 50), 50);
  EXPECT_EQ(FrameForValue(0.7, 1), 1);
  EXPECT_EQ(FrameForValue(1.0 / 180, 181), 2);
  EXPECT_EQ(FrameForValue(0.5 / 180 - 1e-9, 181), 1);
}

TEST(ControlValue, SetDirtyClampsAndUserInputRedrawsTwice) {
  FillControl c({0, 0, 4, 4}, 0);
  c.SetValue(1.7);
  c.SetDirty(false);
  EXPECT_EQ(c.GetValue(), 1.0);
  c.SetValue(-0.2);
  c.SetDirty(false);
  EXPECT_EQ(c.GetValue(), 0.0);
  c.SetClean();
  c.SetValueFromUserInput(0.0);  // unchanged: nothing
  EXPECT_FALSE(c.IsDirty());
  c.SetValueFromUserInput(0.3);
  EXPECT_TRUE(c.IsDirty());
  c.SetClean();
  EXPECT_TRUE(c.IsDirty());
  c.SetClean();
  EXPECT_FALSE(c.IsDirty());
}

TEST(ControlValue, KnobDragGearing) {
  FillControl c({10, 20, 30, 120}, 0);  // 100 high, 20 wide
  c.SetValue(0.5);
  c.KnobDrag(0, -10, true, 4.0);  // up by 10 of 100, geared by 4
  EXPECT_NEAR(c.GetValue(), 0.525, 1e-12);
  c.KnobDrag(5, 0, false, 1.0);
  EXPECT_NEAR(c.GetValue(), 0.775, 1e-12);
  c.KnobDrag(0, -1000, true, 1.0);
  EXPECT_EQ(c.GetValue(), 1.0);
}

TEST(ControlValue, HitTestingAndUnboundRightClicks) {
  FillControl c({0, 0, 10, 10}, 0);
  EXPECT_TRUE(c.IsHit(0, 0));
  EXPECT_FALSE(c.IsHit(10, 0));
  c.SetTargetRect({});
  EXPECT_FALSE(c.IsHit(0, 0));
  // Unbound: a right click opens nothing and does not crash without a plug-in.
  c.OnMouseDown(1, 1, IMouseMods{false, true, false, false, false});
  EXPECT_FALSE(c.IsHit(1, 1));
}

TEST(BitmapControlDraw, PicksTheFrameOfTheValue) {
  auto g = MakeTestGraphics(nullptr, 4, 4);
  // Three frames of 2 x 2, each a flat colour.
  auto* strip = new duv::MemoryBitmap(2, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 2; ++x) strip->getBits()[y * 2 + x] = 0xFF000000u | static_cast<std::uint32_t>(y / 2 + 1);
  IBitmap b{strip, 2, 6, 3};
  auto* c = new BitmapControl(nullptr, 1, 1, -1, b, IBlend::kCopy);
  EXPECT_EQ(c->GetRect(), (IRect{1, 1, 3, 3}));
  g->AttachControl(c);
  IRect all{0, 0, 4, 4};
  for (double v : {0.0, 0.5, 1.0}) {
    c->SetValue(v);
    g->Draw(&all);
    EXPECT_EQ(PixelAt(*g, 2, 2) & 0xFF, static_cast<std::uint32_t>(FrameForValue(v, 3))) << v;
  }
  EXPECT_EQ(PixelAt(*g, 0, 0), 0u);  // outside the control: untouched
  delete strip;
}

TEST(LinkControlTargets, AreBounded) {
  std::string longTarget(400, 'a');
  LinkControl link(nullptr, {0, 0, 5, 5}, longTarget.c_str(), nullptr, nullptr);
  EXPECT_EQ(link.Primary().size(), 255u);
  link.OnMouseDown(1, 1, IMouseMods{});  // no plug-in, no graphics: nothing happens
}

}  // namespace
