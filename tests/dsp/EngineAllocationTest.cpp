// Processing must not touch the heap: this binary replaces the global
// allocation functions and counts calls while the engine runs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "EngineFixture.h"

namespace {
std::atomic<long> sAllocations{0};
}  // namespace

void* operator new(std::size_t size) {
  sAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
// These replacements pair malloc with free; once inlined into a new/delete
// pair, GCC sees only the free and warns of a mismatch that is not there.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

TEST(EngineAllocation, ProcessResetAndParametersAllocateNothing) {
  auto e = DefaultEngine(44100);
  const StereoBuffer in = Material(44100, 44100, 9);
  StereoBuffer out(in.left.size());
  const long before = sAllocations.load();
  for (size_t start = 0; start < in.left.size(); start += 300) {
    const int n = static_cast<int>(std::min<size_t>(300, in.left.size() - start));
    const double* ins[2] = {in.left.data() + start, in.right.data() + start};
    double* outs[2] = {out.left.data() + start, out.right.data() + start};
    e->ProcessBlock(ins, outs, n);
    if (start == 9000) {
      e->SetDelayMs(1, 30);
      e->SetCents(0, 25);
      e->SetBypass(true);
    }
  }
  e->Reset(48000);
  const long after = sAllocations.load();
  EXPECT_EQ(after - before, 0);
  EXPECT_GT(e->SampleRate(), 0.0);
  // The counter itself works.
  auto* probe = new int(3);
  EXPECT_EQ(sAllocations.load(), after + 1);
  delete probe;
}

}  // namespace
