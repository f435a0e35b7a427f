#include <gtest/gtest.h>

#include <cmath>

#include "effect/BypassControl.h"
#include "effect/DUVEditorLayout.h"
#include "effect/LedDisplayControl.h"
#include "effect/RockerControl.h"
#include "effect/VersionLabelControl.h"
#include "effect/WheelControl.h"
#include "graphics/IGraphics.h"
#include "graphics/IGraphicsRaster.h"
#include "tests/plugin/TestSupport.h"

namespace {

TEST(EditorLayout, ControlsInAttachOrder) {
  EffectFixture f;
  IGraphics* g = f.effect->Graphics();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->Width(), 716);
  EXPECT_EQ(g->Height(), 227);
  EXPECT_EQ(g->FPS(), 24);
  struct Expected {
    IRect rect;
    int param;
  } expected[] = {
      {{0, 0, 716, 227}, -1},     {{10, 10, 25, 25}, -1},     {{412, 10, 456, 28}, 8},
      {{467, 10, 511, 28}, 9},    {{26, 62, 171, 207}, 2},    {{260, 62, 405, 207}, 4},
      {{54, 93, 142, 181}, 1},    {{288, 93, 376, 181}, 3},   {{613, 0, 716, 227}, 0},
      {{430, 129, 523, 227}, 5},  {{523, 38, 612, 138}, 6},   {{447, 58, 508, 113}, 7},
      {{186, 72, 222, 83}, -1},   {{217, 72, 253, 83}, -1},   {{186, 100, 222, 111}, -1},
      {{217, 100, 253, 111}, -1}, {{530, 8, 605, 28}, -1},
  };
  ASSERT_EQ(g->NControls(), 17);
  for (int i = 0; i < 17; ++i) {
    EXPECT_EQ(g->GetControl(i)->GetRect(), expected[i].rect) << i;
    EXPECT_EQ(g->GetControl(i)->ParamIdx(), expected[i].param) << i;
  }
  const DUVEditorControls& c = f.effect->EditorControls();
  EXPECT_EQ(c.wheels[0]->CentreX(), 98);
  EXPECT_EQ(c.wheels[0]->CentreY(), 134);
  EXPECT_EQ(c.wheels[0]->Radius(), 72);
  EXPECT_EQ(c.wheels[3]->CentreX(), 332);
  EXPECT_EQ(c.wheels[3]->CentreY(), 137);
  EXPECT_EQ(c.wheels[3]->Radius(), 44);
  auto* label = dynamic_cast<VersionLabelControl*>(g->GetControl(16));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->Text(), "v1.01");
}

TEST(EditorLayout, ParameterResponsesReachTheControls) {
  EffectFixture f;
  const DUVEditorControls& c = f.effect->EditorControls();
  // The wheels start in rotate action but follow "knob action" from the first delivery.
  EXPECT_EQ(c.wheels[0]->Action(), WheelControl::kDrag);
  EXPECT_EQ(c.rockers[0]->Action(), RockerControl::kFade);
  EXPECT_EQ(c.ledCents1->ShownValue(), -10.0);
  EXPECT_EQ(c.ledDelay2->ShownValue(), 15.0);
  AEffect* e = f.Record();
  e->setParameter(e, kKnobAction, 1.0f);
  e->setParameter(e, kRockerAction, 1.0f);
  for (WheelControl* w : c.wheels) EXPECT_EQ(w->Action(), WheelControl::kRotate);
  for (RockerControl* r : c.rockers) EXPECT_EQ(r->Action(), RockerControl::kJump);
  e->setParameter(e, kCents2, 1.0f);
  EXPECT_EQ(c.ledCents2->ShownValue(), 50.0);
  e->setParameter(e, kBypass, 1.0f);
  EXPECT_TRUE(c.bypass->IsLit());
  e->setParameter(e, kBypass, 0.0f);
  EXPECT_FALSE(c.bypass->IsLit());
  // A delay change lights the lamp until its fade is through; Reset puts it out.
  e->setParameter(e, kDelay1, 0.5f);
  EXPECT_TRUE(c.bypass->IsLit());
  f.Dispatch(effMainsChanged, 0, 0);
  EXPECT_FALSE(c.bypass->IsLit());
}

TEST(LedGlyphs, DigitsAndSigns) {
  auto glyphs = [](double v, bool plus) {
    LedGlyphs g = LedGlyphsFor(v, plus);
    return std::vector<int>{g.column[0], g.column[1], g.column[2]};
  };
  const int minus = LedDisplayControl::kMinusFrame, plus = LedDisplayControl::kPlusFrame;
  EXPECT_EQ(glyphs(-10, true), (std::vector<int>{minus, 2, 1}));
  EXPECT_EQ(glyphs(7.5, false), (std::vector<int>{0, 0, 8}));
  EXPECT_EQ(glyphs(25, true), (std::vector<int>{plus, 3, 6}));
  EXPECT_EQ(glyphs(100, false), (std::vector<int>{2, 1, 1}));
  EXPECT_EQ(glyphs(-7, true), (std::vector<int>{0, minus, 8}));
  EXPECT_EQ(glyphs(0, true), (std::vector<int>{0, 0, 1}));  // no sign on zero
  EXPECT_EQ(glyphs(-0.9, true), (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(glyphs(5, false), (std::vector<int>{0, 0, 6}));
}

TEST(WheelMapping, AngleAndRotateRule) {
  EXPECT_NEAR(WheelAngle(98, 200, 98, 134), 0.0, 1e-12);   // below
  EXPECT_NEAR(WheelAngle(20, 134, 98, 134), 0.25, 1e-12);  // left
  EXPECT_NEAR(WheelAngle(98, 60, 98, 134), 0.5, 1e-12);    // above
  EXPECT_NEAR(WheelAngle(170, 134, 98, 134), 0.75, 1e-12); // right
  EXPECT_EQ(WheelRotateValue(0.1, 0.9), 0.0);  // across the bottom from the low end: held
  EXPECT_EQ(WheelRotateValue(0.9, 0.1), 1.0);
  EXPECT_EQ(WheelRotateValue(0.4, 0.6), 0.6);
}

TEST(RockerMapping, JumpAndFade) {
  IRect wet{613, 0, 716, 227};
  EXPECT_EQ(RockerJumpValue(wet, false, 650, 0), 1.0);
  EXPECT_DOUBLE_EQ(RockerJumpValue(wet, false, 650, 226), 1.0 / 227);
  EXPECT_EQ(RockerJumpValue(wet, false, 650, 400), 0.0);
  IRect width{430, 129, 523, 227};
  EXPECT_EQ(RockerJumpValue(width, true, 400, 150), 0.0);
  EXPECT_EQ(RockerJumpValue(width, true, 523, 150), 1.0);
  EXPECT_DOUBLE_EQ(RockerFadeValue(0.5, width, true, 31, 0), 0.5 + 31.0 / 93);
  EXPECT_DOUBLE_EQ(RockerFadeValue(0.5, wet, false, 0, 10), 0.5 - 10.0 / 227);
  EXPECT_EQ(RockerFadeValue(0.9, width, true, 93, 0), 1.0);
}

}  // namespace

#include <unistd.h>

#include "effect/DUVEditor.h"
#include "graphics/LinkControl.h"
#include "graphics/platform/linux/FontRenderer.h"
#include "raster/RasterBitmap.h"

namespace {

TEST(EditorPlatform, ManualLinkPointsBesideTheModule) {
  // Linked statically into this test, the "module" is the test program itself.
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  std::string path(self, static_cast<std::size_t>(n));
  std::string folder = path.substr(0, path.rfind('/') + 1);
  EffectFixture f;
  auto* link = dynamic_cast<LinkControl*>(f.effect->Graphics()->GetControl(1));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->Primary(), folder + "Pelko-DUV.pdf");
}

TEST(EditorPlatform, ManualFallbackIsThePackagedDocFolder) {
  const struct {
    const char* pluginDirectory;
    const char* fallback;
  } kCases[] = {
      {"/usr/lib/vst/", "/usr/share/doc/duv/Pelko-DUV.pdf"},
      {"/opt/x/lib/vst/", "/opt/x/share/doc/duv/Pelko-DUV.pdf"},
      {"/lib/vst/", "/share/doc/duv/Pelko-DUV.pdf"},
      {"C:\\Audio\\lib\\vst\\", "C:\\Audio\\share\\doc\\duv\\Pelko-DUV.pdf"},
      {"/vst/", ""},  // no two levels to climb
      {"", ""},       // the module's folder is unknown
  };
  for (const auto& c : kCases)
    EXPECT_EQ(ManualFallbackPath(c.pluginDirectory), c.fallback) << c.pluginDirectory;
}

TEST(EditorPlatform, VersionTextIsDrawnWhenAFaceExists) {
  std::vector<std::uint8_t> coverage;
  EXPECT_FALSE(FontRenderer::Instance().RenderLine("Arial", 12, 0, 2, "", 75, 10, &coverage));
  EXPECT_FALSE(FontRenderer::Instance().RenderLine("Arial", 12, 0, 2, "v1.01", 0, 10, &coverage));
  if (!FontRenderer::Instance().RenderLine("Arial", 12, 0, 2, "v1.01", 75, 10, &coverage))
    GTEST_SKIP() << "no font face on this machine: the label draws no text (as designed)";
  // Right-aligned: ink in the right half, none in the left third.
  int left = 0, right = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 75; ++x) (x < 25 ? left : right) += coverage[y * 75 + x] > 64;
  EXPECT_EQ(left, 0);
  EXPECT_GT(right, 20);

  // In the editor: the label's upper half differs from the bare background.
  EffectFixture f;
  auto* g = f.effect->Graphics();
  IRect all{0, 0, 716, 227};
  g->SetAllControlsDirty();
  g->Draw(&all);
  std::vector<std::uint32_t> with(g->Surface()->getBits(), g->Surface()->getBits() + 716 * 227);
  g->GetControl(16)->Hide(true);
  g->Draw(&all);
  int differing = 0;
  for (int y = 8; y < 18; ++y)
    for (int x = 530; x < 605; ++x) differing += with[y * 716 + x] != g->Surface()->getBits()[y * 716 + x];
  EXPECT_GT(differing, 20);
  for (int y = 18; y < 28; ++y)  // the lower half shows the background
    for (int x = 530; x < 605; ++x) ASSERT_EQ(with[y * 716 + x], g->Surface()->getBits()[y * 716 + x]);
}

}  // namespace
