// The audio callbacks, host automation from the audio thread and program
// switches by the host's audio thread must not touch the heap.
#include <gtest/gtest.h>

#include <vector>

#include "tests/AllocationCounter.h"
#include "tests/plugin/TestSupport.h"

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

  allocation_counter::Start();
  for (int block = 0; block < 200; ++block) {
    e->processReplacing(e, ins, outs, 256);
    e->processDoubleReplacing(e, dins, douts, 256);
    e->process(e, ins, outs, 1000);  // longer than announced: sliced, still no allocation
    e->setParameter(e, block % kNumParams, (block % 10) / 9.0f);  // automation, editor attached
  }
  EXPECT_EQ(allocation_counter::Stop(), 0);
}

}  // namespace
