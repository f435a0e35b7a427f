// The audio callbacks, host automation from the audio thread and program
// switches by the host's audio thread must not touch the heap.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "tests/plugin/TestSupport.h"

namespace {
std::atomic<long> gAllocations{0};
std::atomic<bool> gCounting{false};
}  // namespace

// Every plain and array form is replaced, so that no allocation escapes the
// count and no block is freed by another allocator than the one that made it.
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
// Each delete frees what the matching new above took from malloc. Once GCC
// inlines a new/delete pair it sees only the free and warns of a mismatch
// that is not there (mingw's GCC does so for this file).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

TEST(AudioPath, NoHeapAllocationWhileProcessing) {
  EffectFixture f;
  AEffect* e = f.Record();
  f.Dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f);
  f.Dispatch(effSetBlockSize, 0, 256);
  f.Dispatch(effOpen);
  f.Dispatch(effMainsChanged, 0, 1);
  std::vector<float> l(1000), r(1000), ol(1000), orr(1000);
  std::vector<double> dl(1000), dr(1000), dol(1000), dor(1000);
  for (int i = 0; i < 1000; ++i) l[i] = r[i] = static_cast<float>(dl[i] = dr[i] = (i % 97) / 97.0 - 0.5);
  float* ins[] = {l.data(), r.data()};
  float* outs[] = {ol.data(), orr.data()};
  double* dins[] = {dl.data(), dr.data()};
  double* douts[] = {dol.data(), dor.data()};

  gAllocations = 0;
  gCounting = true;
  for (int block = 0; block < 200; ++block) {
    e->processReplacing(e, ins, outs, 256);
    e->processDoubleReplacing(e, dins, douts, 256);
    e->process(e, ins, outs, 1000);  // longer than announced: sliced, still no allocation
    e->setParameter(e, block % kNumParams, (block % 10) / 9.0f);  // automation, editor attached
  }
  gCounting = false;
  EXPECT_EQ(gAllocations.load(), 0);
}

}  // namespace
