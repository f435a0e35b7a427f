#include <gtest/gtest.h>

#include "graphics/BitmapCache.h"
#include "graphics/BitmapControl.h"
#include "raster/RasterBitmap.h"
#include "tests/graphics/GraphicsTestSupport.h"

namespace {

constexpr IMouseMods kLeft{true, false, false, false, false};

TEST(IRectRules, UnionIntersectionAndTouching) {
  IRect a{0, 0, 10, 10}, b{10, 0, 20, 10}, c{30, 30, 40, 40}, empty{};
  EXPECT_EQ(a.Union(empty), a);
  EXPECT_EQ(empty.Union(c), c);
  EXPECT_EQ(a.Union(c), (IRect{0, 0, 40, 40}));
  EXPECT_TRUE(a.Intersects(b));   // a's right edge touches b's left edge
  EXPECT_FALSE(b.Intersects(a));  // but not the other way round
  EXPECT_FALSE(a.Intersects(c));
  EXPECT_FALSE(a.Intersects(empty));
  EXPECT_EQ(a.Intersect(c), empty);
  EXPECT_EQ((IRect{0, 0, 10, 10}).Intersect(IRect{5, 5, 20, 20}), (IRect{5, 5, 10, 10}));
  EXPECT_TRUE(a.Contains(9, 9));
  EXPECT_FALSE(a.Contains(10, 9));
}

TEST(GraphicsCore, LaterControlsDrawOnTopAndTakeTheMouseFirst) {
  auto g = MakeTestGraphics();
  auto* under = new FillControl({0, 0, 40, 40}, 0xFF0000FF);
  auto* over = new FillControl({20, 20, 60, 40}, 0xFFFF0000);
  EXPECT_EQ(g->AttachControl(under), 0);
  EXPECT_EQ(g->AttachControl(over), 1);
  IRect all{0, 0, 64, 48};
  g->Draw(&all);
  EXPECT_EQ(PixelAt(*g, 10, 10), 0xFF0000FFu);
  EXPECT_EQ(PixelAt(*g, 30, 30), 0xFFFF0000u);  // overlap: the later one
  EXPECT_EQ(g->GetMouseControlIndex(30, 30), 1);
  EXPECT_EQ(g->GetMouseControlIndex(10, 10), 0);
  EXPECT_EQ(g->GetMouseControlIndex(62, 46), -1);
  over->Hide(true);
  EXPECT_EQ(g->GetMouseControlIndex(30, 30), 0);
  over->Hide(false);
  over->GrayOut(true);
  EXPECT_EQ(g->GetMouseControlIndex(30, 30), 0);
}

TEST(GraphicsCore, BackgroundGoesFirstAndShiftsIndices) {
  auto g = MakeTestGraphics();
  auto* c = new FillControl({0, 0, 8, 8}, 0xFF00FF00);
  g->AttachControl(c);
  duv::MemoryBitmap* image = new duv::MemoryBitmap(64, 48);
  for (int i = 0; i < 64 * 48; ++i) image->getBits()[i] = 0xFF123456;
  BitmapCache::Instance().Add(9001, image);
  g->AttachBackground(9001, "test.png");
  ASSERT_EQ(g->NControls(), 2);
  EXPECT_EQ(g->GetControl(1), c);
  EXPECT_EQ(g->GetControl(0)->GetRect(), (IRect{0, 0, 64, 48}));
  EXPECT_EQ(g->GetControl(0)->ParamIdx(), -1);
  IRect all{0, 0, 64, 48};
  g->Draw(&all);
  EXPECT_EQ(PixelAt(*g, 4, 4), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(*g, 40, 40), 0xFF123456u);
  EXPECT_EQ(g->GetControl(5), nullptr);
  EXPECT_EQ(g->GetControl(-1), nullptr);
}

TEST(GraphicsCore, DirtyAreaIsTheBoundingBoxAndRedrawClips) {
  auto g = MakeTestGraphics();
  auto* a = new FillControl({2, 2, 6, 6}, 0xFF111111);
  auto* b = new FillControl({30, 20, 40, 30}, 0xFF222222);
  auto* far = new FillControl({50, 40, 60, 46}, 0xFF333333);
  g->AttachControl(a);
  g->AttachControl(b);
  g->AttachControl(far);
  IRect all{0, 0, 64, 48};
  g->Draw(&all);  // everything starts dirty; one cycle cleans it
  IRect dirty;
  EXPECT_FALSE(g->IsDirty(&dirty));
  a->SetDirty(false);
  b->SetDirty(false);
  ASSERT_TRUE(g->IsDirty(&dirty));
  EXPECT_EQ(dirty, (IRect{2, 2, 40, 30}));
  int farDraws = far->draws;
  g->Draw(&dirty);
  EXPECT_EQ(far->draws, farDraws);  // outside the area: not drawn
  dirty = IRect{};
  EXPECT_FALSE(g->IsDirty(&dirty));
}

TEST(GraphicsCore, ValuesFromThePlugInRedrawOnTwoCycles) {
  auto g = MakeTestGraphics();
  auto* c = new FillControl({0, 0, 10, 10}, 0xFF000000, 3);
  g->AttachControl(c);
  IRect all{0, 0, 64, 48}, dirty;
  g->Draw(&all);
  c->SetValueFromPlug(0.5);  // first value: it becomes the default
  EXPECT_EQ(c->DefaultValue(), 0.5);
  ASSERT_TRUE(g->IsDirty(&dirty));
  g->Draw(&dirty);
  ASSERT_TRUE(g->IsDirty(&(dirty = IRect{})));  // drawn again on the next cycle
  g->Draw(&dirty);
  EXPECT_FALSE(g->IsDirty(&(dirty = IRect{})));
  c->SetValueFromPlug(0.5);  // the same value: nothing at all
  EXPECT_FALSE(c->IsDirty());
  c->SetDirty(false);  // SetDirty alone: one cycle
  g->Draw(&all);
  EXPECT_FALSE(c->IsDirty());
}

TEST(GraphicsCore, BoundControlsAllFollowThePlugIn) {
  auto g = MakeTestGraphics();
  auto* a = new FillControl({0, 0, 4, 4}, 0, 2);
  auto* b = new FillControl({4, 0, 8, 4}, 0, 2);
  auto* other = new FillControl({8, 0, 12, 4}, 0, 1);
  g->AttachControl(a);
  g->AttachControl(b);
  g->AttachControl(other);
  g->SetParameterFromPlug(2, 0.25, true);
  EXPECT_EQ(a->GetValue(), 0.25);
  EXPECT_EQ(b->GetValue(), 0.25);
  EXPECT_EQ(other->GetValue(), 0.0);
  g->SetParameterFromPlug(2, 0.5, false);  // plain, but no plug-in to convert it: ignored
  EXPECT_EQ(a->GetValue(), 0.25);
}

TEST(GraphicsCore, MouseRoutingCaptureAndDrags) {
  auto g = MakeTestGraphics();
  auto* a = new FillControl({0, 0, 20, 20}, 0);
  auto* b = new FillControl({20, 0, 40, 20}, 0);
  g->AttachControl(a);
  g->AttachControl(b);
  g->OnMouseDrag(5, 5, kLeft);  // motion without a press reaches nobody
  EXPECT_EQ(a->drags, 0);
  g->OnMouseDown(5, 5, kLeft);
  EXPECT_EQ(a->downs, 1);
  EXPECT_EQ(g->CapturedControl(), 0);
  g->OnMouseDrag(30, 8, kLeft);  // captured: a keeps the gesture over b
  EXPECT_EQ(a->drags, 1);
  EXPECT_EQ(a->lastDX, 25);
  EXPECT_EQ(a->lastDY, 3);
  g->OnMouseDrag(30, 8, kLeft);  // same point: nothing
  EXPECT_EQ(a->drags, 1);
  g->OnMouseUp(30, 8, kLeft);
  EXPECT_EQ(a->ups, 1);
  EXPECT_EQ(b->ups, 0);
  EXPECT_EQ(g->CapturedControl(), -1);
  g->OnMouseDrag(31, 8, kLeft);
  EXPECT_EQ(a->drags + b->drags, 1);
}

TEST(GraphicsCore, DoubleClicksAndWheel) {
  auto g = MakeTestGraphics();
  auto* plain = new FillControl({0, 0, 20, 20}, 0);
  auto* single = new FillControl({20, 0, 40, 20}, 0);
  single->SetDoubleAsSingle(true);
  g->AttachControl(plain);
  g->AttachControl(single);
  EXPECT_FALSE(g->OnMouseDblClick(5, 5, kLeft));
  EXPECT_EQ(plain->dblClicks, 1);
  EXPECT_EQ(plain->GetValue(), 0.0);  // no default learnt yet: nothing changes
  EXPECT_TRUE(g->OnMouseDblClick(25, 5, kLeft));
  EXPECT_EQ(single->downs, 1);
  EXPECT_EQ(g->CapturedControl(), 1);
  EXPECT_FALSE(g->OnMouseDblClick(60, 40, kLeft));

  plain->SetValueFromPlug(0.5);
  g->OnMouseWheel(5, 5, IMouseMods{}, 2);
  EXPECT_NEAR(plain->GetValue(), 0.52, 1e-12);
  g->OnMouseWheel(5, 5, IMouseMods{false, false, true, false, false}, -1);
  EXPECT_NEAR(plain->GetValue(), 0.519, 1e-12);
  g->OnMouseDblClick(5, 5, kLeft);
  EXPECT_EQ(plain->GetValue(), 0.5);  // back to the default
}

TEST(GraphicsCore, FrameRowsOfAStrip) {
  auto g = MakeTestGraphics(nullptr, 8, 8);
  // A 1-pixel-wide strip of 181 frames, 145 rows each: frame k's first row holds k.
  auto* strip = new duv::MemoryBitmap(1, 26245);
  for (int y = 0; y < 26245; ++y) strip->getBits()[y] = 0xFF000000u | static_cast<std::uint32_t>(y);
  IBitmap b{strip, 1, 26245, 181};
  IRect dest{0, 0, 1, 1};
  IRect all{0, 0, 8, 8};
  g->Draw(&all);  // no controls: sets nothing, answers at once
  IBlend copy{IBlend::kCopy, 1.0f};
  auto* holder = new FillControl({0, 0, 0, 0}, 0);
  g->AttachControl(holder);
  g->Draw(&all);  // sets the draw rectangle
  g->DrawBitmapFrame(&b, &dest, 181, &copy);
  EXPECT_EQ(PixelAt(*g, 0, 0) & 0xFFFFFF, 26100u);
  g->DrawBitmapFrame(&b, &dest, 1, &copy);
  EXPECT_EQ(PixelAt(*g, 0, 0) & 0xFFFFFF, 0u);
  g->DrawBitmapFrame(&b, &dest, 2, &copy);
  EXPECT_EQ(PixelAt(*g, 0, 0) & 0xFFFFFF, 145u);
  delete strip;
}

TEST(GraphicsCore, CacheSharesAndReleases) {
  BitmapCache& cache = BitmapCache::Instance();
  auto* bitmap = new duv::MemoryBitmap(2, 2);
  int before = cache.Count();
  cache.Add(9100, bitmap);
  auto g1 = MakeTestGraphics(), g2 = MakeTestGraphics();
  IBitmap a = g1->LoadBitmap(9100, "x.png", 1), b = g2->LoadBitmap(9100, "x.png", 1);
  EXPECT_EQ(a.bitmap, bitmap);
  EXPECT_EQ(b.bitmap, bitmap);
  EXPECT_TRUE(cache.FirstPreparation(bitmap, 1));
  EXPECT_FALSE(cache.FirstPreparation(bitmap, 1));
  EXPECT_TRUE(cache.FirstPreparation(bitmap, 2));
  g1->ReleaseBitmap(&a);
  EXPECT_EQ(cache.Count(), before);
  EXPECT_EQ(cache.Find(9100), nullptr);
  // A missing image answers a bitmap without pixels, which draws nothing.
  IBitmap missing = g1->LoadBitmap(424242, "missing.png", 3);
  EXPECT_EQ(missing.bitmap, nullptr);
  EXPECT_EQ(missing.N, 3);

  // Crop and scale give new retained bitmaps that keep the frame count.
  auto* source = new duv::MemoryBitmap(4, 4);
  for (int i = 0; i < 16; ++i) source->getBits()[i] = 0xFF000000u | static_cast<std::uint32_t>(i);
  cache.Add(9101, source);
  IBitmap src = g1->LoadBitmap(9101, "y.png", 2);
  IRect part{1, 2, 3, 4};
  IBitmap cropped = g1->CropBitmap(&src, &part);
  ASSERT_NE(cropped.bitmap, nullptr);
  EXPECT_EQ(cropped.W, 2);
  EXPECT_EQ(cropped.H, 2);
  EXPECT_EQ(cropped.N, 2);
  EXPECT_EQ(cropped.bitmap->getBits()[0] & 0xFF, 9u);   // (1, 2)
  EXPECT_EQ(cropped.bitmap->getBits()[3] & 0xFF, 14u);  // (2, 3)
  IBitmap scaled = g1->ScaleBitmap(&src, 8, 8);
  EXPECT_EQ(scaled.W, 8);
  EXPECT_EQ(scaled.N, 2);
  g1->ReleaseBitmap(&cropped);
  g1->ReleaseBitmap(&scaled);
  g1->ReleaseBitmap(&src);
  EXPECT_EQ(cache.Count(), before);
}

}  // namespace
