// What careless hosts really do to a module: buffers with too few processed
// channels. Each case is one a host has been
// seen to produce; the module must answer with sound output, never garbage.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/host/ModuleSupport.h"

namespace {

constexpr float kHostGarbage = 12345.0f;  // what a host's buffers held before the call

void Arrange(VstPlugin& p, int channels) {
  VstSpeakerArrangement in{}, out{};
  in.numChannels = out.numChannels = channels;
  p.Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
}

// Hosts pass as many output pointers as the record declares (two), whatever
// arrangement they announced; every one of them must come back written.
TEST(HostFault, EveryOutputTheHostPassesIsWrittenInEveryCallback) {
  const int n = 512;
  for (int channels : {1, 0, -1, 3}) {
    SCOPED_TRACE(channels);
    auto p = NewPlugin();
    StartUp(*p);
    Arrange(*p, channels);
    std::vector<float> l(n, 0.5f), r(n, 0.5f), ol(n, kHostGarbage), orr(n, kHostGarbage);
    float* ins[] = {l.data(), r.data()};
    float* outs[] = {ol.data(), orr.data()};
    p->ProcessReplacing(ins, outs, n);
    std::vector<double> dl(n, 0.5), dr(n, 0.5), dol(n, kHostGarbage), dor(n, kHostGarbage);
    double* dins[] = {dl.data(), dr.data()};
    double* douts[] = {dol.data(), dor.data()};
    p->ProcessDoubleReplacing(dins, douts, n);
    for (int i = 0; i < n; ++i) {
      // Still inside the 4096-frame latency: silence on every side.
      ASSERT_EQ(ol[i], 0.0f) << i;
      ASSERT_EQ(orr[i], 0.0f) << i;
      ASSERT_EQ(dol[i], 0.0) << i;
      ASSERT_EQ(dor[i], 0.0) << i;
    }
  }
}

}  // namespace
