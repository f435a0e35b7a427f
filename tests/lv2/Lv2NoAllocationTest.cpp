// The LV2 run cycle, control changes and unconnected ports included, must not
// touch the heap. Counts every allocation of this binary, which carries the
// effect itself (its own process, as the VST 2 count does).
#include <gtest/gtest.h>

#include <vector>

#include "plugin/lv2/Lv2Entry.h"
#include "tests/AllocationCounter.h"

namespace {

TEST(Lv2AudioPath, NoHeapAllocationWhileRunning) {
  const LV2_Descriptor* d = lv2_descriptor(0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(lv2_descriptor(1), nullptr);
  LV2_Handle h = d->instantiate(d, 48000.0, "", nullptr);  // no options: 1024-frame slices
  ASSERT_NE(h, nullptr);
  std::vector<float> l(5000), r(5000), ol(5000), orr(5000);
  for (int i = 0; i < 5000; ++i) l[i] = r[i] = (i % 97) / 97.0f - 0.5f;
  std::vector<float> controls(17, 0.0f);
  for (std::uint32_t p = 4; p < 17; ++p) d->connect_port(h, p, &controls[p]);
  controls[6] = controls[8] = 20.0f;  // delays in range
  controls[9] = 100.0f;
  controls[14] = 100.0f;
  d->connect_port(h, 0, l.data());
  d->connect_port(h, 1, r.data());
  d->connect_port(h, 2, ol.data());
  d->connect_port(h, 3, orr.data());
  d->activate(h);

  allocation_counter::Start();
  for (int block = 0; block < 100; ++block) {
    d->run(h, 256);
    d->run(h, 5000);  // longer than a slice
    d->run(h, 0);
    controls[4 + block % 11] += 0.5f;  // a change each block, some out of range
    d->connect_port(h, 1, block % 3 ? r.data() : nullptr);  // an input coming and going
    d->connect_port(h, 3, block % 5 ? orr.data() : nullptr);
  }
  d->deactivate(h);
  d->activate(h);
  d->run(h, 256);
  EXPECT_EQ(allocation_counter::Stop(), 0);
  d->cleanup(h);
}

}  // namespace
