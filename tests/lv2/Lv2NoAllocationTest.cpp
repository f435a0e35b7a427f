// The LV2 run cycle, control changes and unconnected ports included, must not
// touch the heap. Counts every allocation of this binary, which carries the
// effect itself (its own process, as the VST 2 count does).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "plugin/lv2/Lv2Entry.h"

namespace {
std::atomic<long> gAllocations{0};
std::atomic<bool> gCounting{false};
}  // namespace

void* operator new(std::size_t n) {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (gCounting.load(std::memory_order_relaxed)) gAllocations.fetch_add(1);
  return std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& tag) noexcept { return operator new(n, tag); }
// Each delete frees what the matching new above took from malloc (GCC warns
// of a mismatch once it inlines a pair; there is none).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

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

  gAllocations = 0;
  gCounting = true;
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
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0);
  d->cleanup(h);
}

}  // namespace
