// What careless hosts really do to a module: buffers with too few processed
// channels, absurd but finite input levels. Each case is one a host has been
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

// A single frame at 1e20 once, then ordinary material: the colour stage's
// polynomial must not carry an overflow into the recursive state.
TEST(HostFault, HugeFiniteInputNeverGivesNonFiniteOutput) {
  for (float level : {1e20f, 3.0e38f, 1e6f, -1e20f}) {
    SCOPED_TRACE(level);
    auto p = NewPlugin();
    StartUp(*p);
    p->SetParameter(6, 1.0f);  // full colour: the shaper's strongest setting
    float hugeL = level, hugeR = level, o1 = 0, o2 = 0;
    float* ins1[] = {&hugeL, &hugeR};
    float* outs1[] = {&o1, &o2};
    p->ProcessReplacing(ins1, outs1, 1);
    const int n = 1024;
    std::vector<float> l(n), r(n), ol(n), orr(n);
    float* ins[] = {l.data(), r.data()};
    float* outs[] = {ol.data(), orr.data()};
    long frame = 1;
    int bad = 0;
    for (int block = 0; block < 12; ++block) {
      for (int i = 0; i < n; ++i, ++frame)
        l[i] = r[i] = static_cast<float>(0.5 * std::sin(frame * 2.0 * M_PI * 220.0 / 44100.0));
      p->ProcessReplacing(ins, outs, n);
      for (int i = 0; i < n; ++i) bad += !std::isfinite(ol[i]) + !std::isfinite(orr[i]);
    }
    EXPECT_EQ(bad, 0);
  }
}

}  // namespace
