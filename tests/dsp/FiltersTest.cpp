// LowpassFilter and EnvelopeFollower.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/EnvelopeFollower.h"
#include "dsp/LowpassFilter.h"

namespace {

TEST(LowpassFilter, ConstructionAndCookbookCoefficients) {
  LowpassFilter f;
  EXPECT_EQ(f.SampleRate(), 44100.0);
  EXPECT_EQ(f.Cutoff(), 1.0);
  EXPECT_EQ(f.Q(), 1.0 / std::sqrt(2.0));
  f.SetSampleRate(48000.0);
  f.SetCutoff(12000.0);  // w = pi / 2: cos 0, so b1 = n and a1 ~ 0
  double c[5];
  f.GetCoefficients(c);
  const double alpha = std::sin(M_PI / 2) / (2.0 / std::sqrt(2.0));
  const double n = 1.0 / (1.0 + alpha);
  EXPECT_NEAR(c[0], 0.0, 1e-15);
  EXPECT_DOUBLE_EQ(c[1], (1.0 - alpha) * n);
  EXPECT_DOUBLE_EQ(c[3], n);
  EXPECT_EQ(c[2], c[3] / 2);
  EXPECT_EQ(c[4], c[2]);
  // Unity gain at DC: b0 + b1 + b2 = 1 + a1 + a2.
  EXPECT_NEAR(c[2] + c[3] + c[4], 1.0 + c[0] + c[1], 1e-15);
}

TEST(LowpassFilter, CutoffChangeKeepsStateSampleRateClearsIt) {
  LowpassFilter f;
  f.SetSampleRate(44100);
  f.SetCutoff(1000);
  for (int i = 0; i < 10; ++i) f.Process(0.5);
  double before[4], after[4];
  f.GetState(before);
  f.SetCutoff(2000);
  f.GetState(after);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(before[i], after[i]);
  f.SetSampleRate(96000);
  f.GetState(after);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(after[i], 0.0);
}

TEST(LowpassFilter, OutputFlooredAtPlusTinyNoSubnormals) {
  LowpassFilter f;
  f.SetSampleRate(44100);
  f.SetCutoff(5000);
  EXPECT_EQ(f.Process(0.0), 1e-10);
  f.Process(1.0);
  for (int i = 0; i < 200000; ++i) {
    const double y = f.Process(0.0);
    ASSERT_TRUE(y >= 1e-10 || y <= -1e-10) << i;
  }
  double s[4];
  f.GetState(s);
  for (double v : s) EXPECT_NE(std::fpclassify(v), FP_SUBNORMAL);
  EXPECT_EQ(s[2], 1e-10);
}

// Both lanes of the pair against two plain filters with different
// coefficients, bit for bit, on inputs that cross the +-1e-10 floor.
TEST(LowpassPair, LanesEqualTwoPlainFilters) {
  LowpassFilter a, b;
  a.SetSampleRate(44100.0);
  b.SetSampleRate(96000.0);
  a.SetCutoff(17538.0);
  b.SetCutoff(900.0);
  LowpassFilter pairA = a, pairB = b;
  LowpassPair pair(pairA, pairB);
  uint64_t s = 99;
  for (int n = 0; n < 20000; ++n) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    const double r = static_cast<double>(s >> 11) / 9007199254740992.0 - 0.5;
    // Stretches of loud signal, of values near the floor, and of zeros.
    const double x = (n / 1000) % 3 == 0 ? r : (n / 1000) % 3 == 1 ? r * 4e-10 : 0.0;
    const double xb = -0.5 * x;
    double lanes[2];
    _mm_storeu_pd(lanes, pair.Process(_mm_set_pd(xb, x)));
    const double ya = a.Process(x), yb = b.Process(xb);
    ASSERT_EQ(std::memcmp(&lanes[0], &ya, sizeof ya), 0) << n;
    ASSERT_EQ(std::memcmp(&lanes[1], &yb, sizeof yb), 0) << n;
  }
  pair.Store(&pairA, &pairB);
  double want[4], got[4];
  a.GetState(want);
  pairA.GetState(got);
  EXPECT_EQ(std::memcmp(want, got, sizeof want), 0);
  b.GetState(want);
  pairB.GetState(got);
  EXPECT_EQ(std::memcmp(want, got, sizeof want), 0);
}

TEST(LowpassPair, KnownFirstOutputsAndFloorPerLane) {
  LowpassFilter a, b;
  a.SetCutoff(1000.0);
  b.SetCutoff(5000.0);
  double ca[5], cb[5];
  a.GetCoefficients(ca);
  b.GetCoefficients(cb);
  LowpassPair pair(a, b);
  double lanes[2];
  // From rest, an input of 1 gives b0 in each lane.
  _mm_storeu_pd(lanes, pair.Process(_mm_set_pd(1.0, 1.0)));
  EXPECT_EQ(lanes[0], ca[2]);
  EXPECT_EQ(lanes[1], cb[2]);
  // A fresh pair fed 0 in lane 0 and 5e-11 in lane 1: both inside the
  // floor, both become +1e-10; lane 1 fed 1 stays b0, lane 0 floors alone.
  LowpassFilter c, d;
  LowpassPair fresh(c, d);
  _mm_storeu_pd(lanes, fresh.Process(_mm_set_pd(5e-11, 0.0)));
  EXPECT_EQ(lanes[0], 1e-10);
  EXPECT_EQ(lanes[1], 1e-10);
}

TEST(EnvelopeFollower, CoefficientsAndZeroTimes) {
  EnvelopeFollower e;
  EXPECT_EQ(e.SampleRate(), 44100.0);
  EXPECT_EQ(e.Process(-0.5), 0.5);  // both coefficients 0: follows |x|
  e.SetAttack(25);
  e.SetRelease(15);
  EXPECT_EQ(e.AttackCoefficient(), std::exp(-1000.0 / (25 * 44100.0)));
  EXPECT_EQ(e.ReleaseCoefficient(), std::exp(-1000.0 / (15 * 44100.0)));
  e.SetAttack(0);
  EXPECT_EQ(e.AttackCoefficient(), 0.0);
  EXPECT_EQ(e.AttackMs(), 25.0);  // the time is kept
  e.SetSampleRate(96000);
  EXPECT_EQ(e.Value(), 0.0);
  EXPECT_EQ(e.AttackCoefficient(), std::exp(-1000.0 / (25 * 96000.0)));  // recomputed from the kept time
  EXPECT_EQ(e.ReleaseCoefficient(), std::exp(-1000.0 / (15 * 96000.0)));
}

TEST(EnvelopeFollower, AttackAndReleaseStepsExact) {
  EnvelopeFollower e;
  e.SetAttack(25);
  e.SetRelease(15);
  const double a = e.AttackCoefficient(), r = e.ReleaseCoefficient();
  double want = 0.0;
  for (double x : {0.8, -0.8, 0.2, 0.0, 0.9}) {
    const double m = std::fabs(x);
    want = m + (want - m) * (m > want ? a : r);
    EXPECT_EQ(e.Process(x), want);
  }
}

TEST(EnvelopeFollower, LongSilenceNeverSubnormal) {
  EnvelopeFollower e;
  e.SetAttack(25);
  e.SetRelease(15);
  e.Process(1.0);
  for (int i = 0; i < 44100 * 30; ++i) {
    e.Process(0.0);
    ASSERT_NE(std::fpclassify(e.Value()), FP_SUBNORMAL) << i;
  }
  EXPECT_EQ(e.Value(), 0.0);
}

}  // namespace
