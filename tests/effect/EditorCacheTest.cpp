#include <gtest/gtest.h>

#include <vector>

#include "effect/DUVEditor.h"
#include "effect/DUVEditorLayout.h"
#include "graphics/BitmapCache.h"
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
