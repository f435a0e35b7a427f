// An editor whose module lacks an image or carries one that does not decode
// still builds, lays out and draws: those controls draw nothing, the rest is
// as usual. Its own process: the image cache is process-wide, and these
// images must enter it from the faulty module.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "effect/DUVEditorLayout.h"
#include "graphics/IControl.h"
#include "graphics/IGraphicsRaster.h"
#include "plugin/vst2/EditorProbe.h"
#include "raster/ImageLoader.h"
#include "tests/plugin/TestSupport.h"

namespace {

TEST(EditorImageFaults, MissingAndUndecodableImagesDrawNothing) {
  // The embedded table without the bypass image, and with an outer wheel
  // strip cut after its frame header (the header reads, the data does not).
  std::size_t n = 0;
  const duv::EmbeddedResource* table = duv::embeddedResourceTable(&n);
  std::vector<duv::EmbeddedResource> entries;
  std::vector<unsigned char> cut;
  for (std::size_t i = 0; i < n; ++i) {
    duv::EmbeddedResource e = table[i];
    if (e.id == duv_layout::kImgBypass.id) continue;
    if (e.id == duv_layout::kImgWheelOuter.id) {
      std::size_t pos = 2;  // after SOI: walk the segments up to the frame header
      while (pos + 4 <= e.size && e.data[pos + 1] != 0xC0 && e.data[pos + 1] != 0xC2)
        pos += 2 + ((e.data[pos + 2] << 8) | e.data[pos + 3]);
      ASSERT_LT(pos + 4, e.size);
      const std::size_t end = pos + 2 + ((e.data[pos + 2] << 8) | e.data[pos + 3]);
      cut.assign(e.data, e.data + end);
      cut.push_back(0xFF);
      cut.push_back(0xD9);  // end of image before any scan
      e.data = cut.data();
      e.size = cut.size();
    }
    entries.push_back(e);
  }
  duv::ResourceModule module{entries.data(), entries.size()};
  duv::setResourceModule(&module);

  EffectFixture f;
  IGraphicsRaster* g = f.effect->Graphics();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->GetControl(4)->GetRect(), (IRect{26, 62, 171, 207}));  // sized from the header
  std::vector<std::uint32_t> pixels(716 * 227);
  EditorProbeImage image{716, 227, pixels.data()};
  ASSERT_EQ(f.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image), 1);

  std::unique_ptr<duv::RasterBitmap> bg(duv::loadImageResource(101, "img/bg.png"));
  ASSERT_NE(bg, nullptr);
  auto background = [&](int x, int y) { return bg->getBits()[y * bg->getRowSpan() + x]; };
  auto shown = [&](int x, int y) { return pixels[static_cast<std::size_t>(y) * 716 + x]; };
  // Between the inner and the outer circle of wheel 1 and 2, and the bypass
  // button: the background shows. The inner wheels still draw.
  for (auto [x, y] : {std::pair{98, 194}, std::pair{332, 194}, std::pair{40, 134}, std::pair{477, 85}})
    EXPECT_EQ(shown(x, y), background(x, y)) << x << "," << y;
  EXPECT_NE(shown(98, 137), background(98, 137));
  duv::setResourceModule(nullptr);
}

}  // namespace
