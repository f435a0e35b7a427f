// Two instances open their editors at the same moment on two threads, with
// no image decoded yet: each image is decoded once, the wheel strips are
// prepared once, and both pictures are the factory picture. Its own process
// (nothing decoded before), run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <latch>
#include <thread>
#include <vector>

#include "graphics/BitmapCache.h"
#include "plugin/vst2/EditorProbe.h"
#include "tests/plugin/TestSupport.h"

namespace {

// The picture's hash without the version text's strip (font dependent),
// as EditorDrawing.FirstPictureIsTheRecordedOne records it.
std::uint64_t Recorded(const std::vector<std::uint32_t>& p) {
  std::uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < 227; ++y)
    for (int x = 0; x < 716; ++x)
      if (x < 530 || x >= 605 || y < 8 || y >= 18)
        h = (h ^ p[static_cast<std::size_t>(y) * 716 + x]) * 1099511628211ull;
  return h;
}

TEST(EditorConcurrency, TwoEditorsOpeningAtOnceDecodeEachImageOnce) {
  BitmapCache& cache = BitmapCache::Instance();
  ASSERT_EQ(cache.Decodes(), 0) << "this test needs a process of its own";
  EffectFixture a, b;
  const int images = cache.Count();  // entered, undecoded
  ASSERT_EQ(cache.Decodes(), 0);
  ASSERT_EQ(images, 12);  // every image the editor draws; masks and ring never enter

  std::vector<std::uint32_t> pictures[2] = {std::vector<std::uint32_t>(716 * 227),
                                            std::vector<std::uint32_t>(716 * 227)};
  VstIntPtr answers[2] = {};
  std::latch start(2);
  auto open = [&](EffectFixture& f, int i) {
    EditorProbeImage image{716, 227, pictures[i].data()};
    start.arrive_and_wait();
    answers[i] = f.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image);
  };
  std::thread first(open, std::ref(a), 0), second(open, std::ref(b), 1);
  first.join();
  second.join();

  EXPECT_EQ(answers[0], 1);
  EXPECT_EQ(answers[1], 1);
  EXPECT_EQ(cache.Decodes(), images);
  EXPECT_EQ(cache.Count(), images);
  EXPECT_EQ(pictures[0], pictures[1]);
  EXPECT_EQ(Recorded(pictures[0]), 0x065a52650c9ecfdbull);
}

}  // namespace
