#include <gtest/gtest.h>

#include <vector>

#include "effect/DUVEditor.h"
#include "effect/DUVEditorLayout.h"
#include "graphics/BitmapCache.h"
#include "graphics/IControl.h"
#include "graphics/IGraphicsRaster.h"
#include "raster/RasterBitmap.h"
#include "tests/plugin/TestSupport.h"

namespace {

std::vector<std::uint32_t> Pixels(duv::RasterBitmap* b) {
  return std::vector<std::uint32_t>(b->getBits(), b->getBits() + static_cast<long>(b->getRowSpan()) * b->getHeight());
}

TEST(EditorImages, SecondInstanceSharesPreparedStrips) {
  EffectFixture first;
  auto* g1 = first.effect->Graphics();
  IBitmap inner = g1->LoadBitmap(duv_layout::kImgWheelInner.id, duv_layout::kImgWheelInner.file, 181);
  ASSERT_NE(inner.bitmap, nullptr);
  std::vector<std::uint32_t> prepared = Pixels(inner.bitmap);
  const int cached = BitmapCache::Instance().Count();
  // The masks and the ring were released after use.
  EXPECT_EQ(BitmapCache::Instance().Find(duv_layout::kImgInnerRing.id), nullptr);
  EXPECT_EQ(BitmapCache::Instance().Find(duv_layout::kImgOuterMask.id), nullptr);

  EffectFixture second;
  auto* g2 = second.effect->Graphics();
  IBitmap again = g2->LoadBitmap(duv_layout::kImgWheelInner.id, duv_layout::kImgWheelInner.file, 181);
  EXPECT_EQ(again.bitmap, inner.bitmap);       // shared, not decoded again
  EXPECT_EQ(Pixels(again.bitmap), prepared);   // the ring was not laid on twice
  EXPECT_EQ(BitmapCache::Instance().Count(), cached);
}

TEST(EditorImages, MaskClearsEveryFrameOutsideTheCircle) {
  EffectFixture f;
  auto* g = f.effect->Graphics();
  IBitmap outer = g->LoadBitmap(duv_layout::kImgWheelOuter.id, duv_layout::kImgWheelOuter.file, 181);
  ASSERT_NE(outer.bitmap, nullptr);
  EXPECT_EQ(outer.W, 145);
  EXPECT_EQ(outer.H, 26245);
  const std::uint32_t* bits = outer.bitmap->getBits();
  for (int frame : {0, 90, 180}) {
    EXPECT_EQ(bits[(frame * 145 + 0) * 145 + 0], 0u) << frame;      // corner
    EXPECT_NE(bits[(frame * 145 + 72) * 145 + 72] >> 24, 0u) << frame;  // centre is opaque
  }
}

TEST(EditorImages, BuildingTheEditorDecodesNothingAndMakesNoSurface) {
  const int decodes = BitmapCache::Instance().Decodes();
  EffectFixture f;
  auto* g = f.effect->Graphics();
  EXPECT_EQ(BitmapCache::Instance().Decodes(), decodes);
  EXPECT_FALSE(g->HasSurface());
  // The layout was sized from the headers all the same.
  EXPECT_EQ(g->GetControl(4)->GetRect(), (IRect{26, 62, 171, 207}));
  EXPECT_EQ(g->GetControl(8)->GetRect(), (IRect{613, 0, 716, 227}));
  EXPECT_EQ(g->GetControl(2)->GetRect(), (IRect{412, 10, 456, 28}));
  EXPECT_EQ(g->GetControl(11)->GetRect(), (IRect{447, 58, 508, 113}));
}

TEST(EditorImages, MaskStripMatchesTheReference) {
  // Seeded strips and masks of several shapes; the red byte decides.
  struct Shape {
    int w, h, frames, extraRows;
  } shapes[] = {{1, 1, 1, 0}, {3, 2, 5, 0}, {7, 7, 3, 4}, {145, 145, 2, 0}, {88, 88, 4, 1}};
  std::uint32_t seed = 1;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (const Shape& s : shapes) {
    duv::MemoryBitmap mask(s.w, s.h), fast(s.w, s.h * s.frames + s.extraRows),
        plain(s.w, s.h * s.frames + s.extraRows);
    for (int i = 0; i < s.w * s.h; ++i) mask.getBits()[i] = (next() & 0x00FF0000u) * (next() & 1u) | 0xFF00FFFFu;
    for (int i = 0; i < fast.getWidth() * fast.getHeight(); ++i) fast.getBits()[i] = plain.getBits()[i] = next();
    MaskStrip(&fast, s.frames, &mask);
    MaskStripReference(&plain, s.frames, &mask);
    EXPECT_EQ(Pixels(&fast), Pixels(&plain)) << s.w << "x" << s.h << "x" << s.frames;
  }
}

TEST(EditorImages, MaskStripHandlesMismatchedMasks) {
  duv::MemoryBitmap strip(4, 8), mask(4, 4), wrong(3, 4);
  for (int i = 0; i < 32; ++i) strip.getBits()[i] = 0xFFFFFFFF;
  for (int i = 0; i < 16; ++i) mask.getBits()[i] = i == 5 ? 0xFFFF0000 : 0xFF000000;
  MaskStrip(&strip, 2, &wrong);  // not one frame's size: untouched
  EXPECT_EQ(strip.getBits()[0], 0xFFFFFFFFu);
  MaskStrip(&strip, 2, &mask);
  EXPECT_EQ(strip.getBits()[0], 0u);
  EXPECT_EQ(strip.getBits()[5], 0xFFFFFFFFu);
  EXPECT_EQ(strip.getBits()[16 + 5], 0xFFFFFFFFu);
  EXPECT_EQ(strip.getBits()[16 + 6], 0u);
  MaskStrip(nullptr, 2, &mask);
}

}  // namespace
