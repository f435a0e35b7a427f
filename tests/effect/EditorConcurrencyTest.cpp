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
#include "tests/effect/RecordedPicture.h"
#include "tests/plugin/TestSupport.h"

namespace {

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
  EXPECT_EQ(RecordedPictureHash(pictures[0]), kRecordedFactoryPicture);
}

}  // namespace
