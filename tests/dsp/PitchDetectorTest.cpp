#include "dsp/PitchDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "TestSignals.h"
#include "dsp/DspPath.h"
#include "dsp/FFT.h"

namespace {

struct Detector {
  Detector() {
    FFTInit();
    FillAnalysisWindow(window.data());
    FillBinWeights(weights.data());
  }
  double Run(const std::vector<StereoFrame>& frames, int minBin, int maxBin, double previous) {
    return DetectPeriod(frames.data(), window.data(), weights.data(), minBin, maxBin, previous, scratch.get());
  }
  std::vector<float> window = std::vector<float>(kDetectorSize);
  std::vector<float> weights = std::vector<float>(kDetectorWeights);
  std::unique_ptr<DetectorScratch> scratch = std::make_unique<DetectorScratch>();
};

// Sum of tones at exact frequencies (Hz) with amplitudes, in the chosen channels.
std::vector<StereoFrame> Tones(const std::vector<std::pair<double, double>>& tones, double sr, bool left, bool right) {
  std::vector<StereoFrame> f(kDetectorSize);
  for (int n = 0; n < kDetectorSize; ++n) {
    double v = 0;
    for (auto [hz, amp] : tones) v += Sine(amp, hz, sr, n);
    f[n] = {left ? static_cast<float>(v) : 0.0f, right ? static_cast<float>(v) : 0.0f};
  }
  return f;
}

double BinHz(double bin, double sr) { return bin * sr / 8192.0; }

TEST(PitchDetectorTables, WindowAndWeights) {
  std::vector<float> w(kDetectorSize), b(kDetectorWeights);
  FillAnalysisWindow(w.data());
  FillBinWeights(b.data());
  EXPECT_EQ(w[0], 0.0f);
  EXPECT_EQ(w[8191], 0.0f);
  EXPECT_EQ(w[4095], static_cast<float>(0.42 - 0.5 * std::cos(2 * M_PI * 4095 / 8191.0) + 0.08 * std::cos(4 * M_PI * 4095 / 8191.0)));
  for (int i = 1; i < 4096; ++i) ASSERT_EQ(w[i], w[8191 - i]) << i;  // symmetric about 4095.5
  EXPECT_EQ(b[0], 0.0f);
  EXPECT_EQ(b[1], 1.0f);
  EXPECT_EQ(b[3], static_cast<float>(1.0 / 9));
  EXPECT_EQ(b[4095], static_cast<float>(1.0 / (4095 * 4095)));
}

TEST(PitchDetectorRange, RatesAndHighPass) {
  struct Case { double sr, hpf; int minBin, maxBin, lookAhead; };
  for (const Case& c : {Case{44100, 100, 18, 1857, 441}, Case{44100, 150, 27, 1857, 294}, Case{44100, 50, 9, 1857, 882},
                        Case{96000, 100, 8, 853, 960}, Case{192000, 50, 4, 426, 3840}, Case{8000, 100, 102, 2048, 80}}) {
    const DetectorRange r = UpdateDetectorRange(c.sr, c.hpf);
    EXPECT_EQ(r.minBin, c.minBin) << c.sr << " " << c.hpf;
    EXPECT_EQ(r.maxBin, c.maxBin) << c.sr << " " << c.hpf;
    EXPECT_EQ(r.lookAhead, c.lookAhead) << c.sr << " " << c.hpf;
  }
  // A vanishing HPF saturates instead of overflowing.
  EXPECT_EQ(UpdateDetectorRange(44100, 1e-300).lookAhead, std::numeric_limits<int>::max());
}

TEST(PitchDetectorInterpolate, WalkEndsOnGrid) {
  // Already at or above the start value: stops at once.
  EXPECT_EQ(InterpolatePeak(1e7, 1, 1), -1.0 - 1.0 / 256);
  EXPECT_EQ(InterpolatePeak(std::numeric_limits<double>::infinity(), 1, 2), -1.0 - 1.0 / 256);
  // Constant: the second step is not lower.
  EXPECT_EQ(InterpolatePeak(5, 5, 5), 1.0 / 128 - 1.0 / 256 - 1.0);
  // Falling all the way to x = 2: no turning point.
  EXPECT_EQ(InterpolatePeak(3, 2, 1), 0.0);
  // Symmetric parabola with its minimum at x = 1: stops one step past it.
  EXPECT_EQ(InterpolatePeak(2, 1, 2), 129.0 / 128 - 1.0 / 256 - 1.0);
}

TEST(PitchDetectorPeriod, ToneAt441HzFindsBin82) {
  Detector d;
  const double sr = 44100;
  const DetectorRange r = UpdateDetectorRange(sr, 100);
  const double period = d.Run(Tones({{441.0, 0.5}}, sr, true, true), r.minBin, r.maxBin, 0.0);
  // Peak bin 82, the walk stopping at step 112.
  EXPECT_EQ(period, 8192.0 / (82 + 112.0 / 128 - 1.0 - 1.0 / 256));
  EXPECT_NEAR(period, 100.06, 0.005);
}

TEST(PitchDetectorPeriod, SilenceGivesZeroAndQuietNoiseToo) {
  Detector d;
  std::vector<StereoFrame> silence(kDetectorSize);
  EXPECT_EQ(d.Run(silence, 18, 1857, 123.0), 0.0);
  // Empty search range: the sum is 0, so the gate answers.
  EXPECT_EQ(d.Run(Tones({{441.0, 0.5}}, 44100, true, true), 1857, 18, 123.0), 0.0);
}

TEST(PitchDetectorPeriod, PeakAtSearchEdgesKeepsPrevious) {
  Detector d;
  const double sr = 44100;
  // 441 Hz (bin 82) with the range cut just above it: peak at maxBin - 1.
  EXPECT_EQ(d.Run(Tones({{441.0, 0.5}}, sr, true, true), 18, 83, 77.0), 77.0);
  // A hum just below the range leaking into it, plus a bright tone that
  // passes the silence gate: the strongest weighted bin is minBin itself.
  EXPECT_EQ(d.Run(Tones({{BinHz(16.5, sr), 0.9}, {BinHz(300, sr), 0.5}}, sr, true, true), 18, 1857, 55.5), 55.5);
}

TEST(PitchDetectorPeriod, OctaveCheckTakesStrongSubharmonic) {
  Detector d;
  const double sr = 44100;
  // Harmonic at bin 80 eight times the fundamental at bin 40: its weighted
  // magnitude (1/k^2) still wins the peak, but the fundamental has more than
  // a quarter of it, so the detector drops an octave.
  const double taken = d.Run(Tones({{BinHz(40, sr), 0.05}, {BinHz(80, sr), 0.4}}, sr, true, true), 18, 1857, 0);
  EXPECT_GT(taken, 8192.0 / 40.6);
  EXPECT_LT(taken, 8192.0 / 39.4);
  // Twenty times: the fundamental is below a quarter; the peak stays.
  const double kept = d.Run(Tones({{BinHz(40, sr), 0.02}, {BinHz(80, sr), 0.4}}, sr, true, true), 18, 1857, 0);
  EXPECT_GT(kept, 8192.0 / 80.6);
  EXPECT_LT(kept, 8192.0 / 79.4);
}

TEST(PitchDetectorPeriod, OctaveToMinBinWeighsItsLowerNeighbour) {
  Detector d;
  const double sr = 44100;
  // Peak at bin 37 = 2 * 18 + 1, sub-harmonic at 18 = minBin: the refinement
  // needs bin 17, which the search never visits. Stale scratch must not leak
  // in: fill it with NaN first.
  std::fill(std::begin(d.scratch->weighted), std::end(d.scratch->weighted), std::numeric_limits<float>::quiet_NaN());
  const double period = d.Run(Tones({{BinHz(18, sr), 0.05}, {BinHz(37, sr), 0.4}}, sr, true, true), 18, 1857, 0);
  EXPECT_GT(period, 8192.0 / 18.5);
  EXPECT_LT(period, 8192.0 / 17.5);
}

TEST(PitchDetectorPeriod, RightOnlyEqualsLeftOnly) {
  Detector d;
  const double sr = 44100;
  for (double hz : {150.0, 441.0, 1234.5}) {
    const std::vector<std::pair<double, double>> tones = {{hz, 0.3}, {2 * hz, 0.1}};
    const double left = d.Run(Tones(tones, sr, true, false), 18, 1857, 0);
    const double right = d.Run(Tones(tones, sr, false, true), 18, 1857, 0);
    EXPECT_GT(left, 0.0) << hz;
    EXPECT_EQ(left, right) << hz;
  }
}

// The vector primitives run on every path this CPU has; each test restores
// the default path when it ends.
class PitchDetectorVector : public testing::Test {
 protected:
  void TearDown() override { ResetDspPath(); }
  static std::vector<DspPath> VectorPaths() {
    std::vector<DspPath> paths{DspPath::kSSE2};
    if (DspPathAvailable(DspPath::kAVX2)) {
      paths.push_back(DspPath::kAVX2);
    } else {
      std::printf("AVX2 not supported by this CPU: its primitives are not tested\n");
    }
    if (DspPathAvailable(DspPath::kAVX512)) {
      paths.push_back(DspPath::kAVX512);
    } else {
      std::printf("AVX-512 not supported by this CPU: its dispatch is not tested\n");
    }
    return paths;
  }
};

constexpr int kTailCounts[] = {0, 1, 3, 4, 5, 7, 8, 15, 16, 17};

// Values that test the widening: squares of 3e30 overflow a float, squares
// of 3e-30 underflow it; signed zeros, subnormals and plain noise.
float SpecialOrNoise(TestRandom& rnd) {
  switch (rnd.Next() % 10) {
    case 0: return 0.0f;
    case 1: return -0.0f;
    case 2: return 3e30f;
    case 3: return -4e-30f;
    case 4: return 1e-41f;  // subnormal
    default: return static_cast<float>(rnd.Uniform() * 100.0);
  }
}

TEST_F(PitchDetectorVector, WindowMatchesReferenceOnAllTails) {
  std::vector<float> window(64);
  std::vector<StereoFrame> frames(64);
  TestRandom rnd(3);
  for (float& w : window) w = static_cast<float>(rnd.Uniform());
  for (StereoFrame& f : frames) f = {SpecialOrNoise(rnd), SpecialOrNoise(rnd)};
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    for (int start : {0, 1, 3}) {
      for (int count : kTailCounts) {
        std::vector<float> a(2 * 40, -7.0f), b(2 * 40, -7.0f);
        ApplyWindowReference(a.data(), frames.data() + start, window.data() + start, count);
        ApplyWindow(b.data(), frames.data() + start, window.data() + start, count);
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0)
            << DspPathName(path) << " start " << start << " count " << count;
        if (count > 0) {
          EXPECT_EQ(b[2 * count - 1], frames[start + count - 1].right * window[start + count - 1]);
        }
        EXPECT_EQ(b[2 * count], -7.0f);  // nothing written past the end
      }
    }
  }
}

TEST_F(PitchDetectorVector, WindowKnownLanes) {
  // Eight frames, so every lane of both vector widths holds a known product.
  const StereoFrame in[8] = {{1, 2}, {3, 4}, {-5, 6}, {7, -8}, {0.5f, 0.25f}, {-0.0f, 1}, {9, 10}, {11, 12}};
  const float window[8] = {2, 0.5f, -1, 0, 4, 3, 0.125f, 1};
  const float want[16] = {2, 4, 1.5f, 2, 5, -6, 0, -0.0f, 2, 1, -0.0f, 3, 1.125f, 1.25f, 11, 12};
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    float out[16];
    ApplyWindow(out, in, window, 8);
    for (int i = 0; i < 16; ++i) {
      EXPECT_EQ(out[i], want[i]) << DspPathName(path) << " lane " << i;
      EXPECT_EQ(std::signbit(out[i]), std::signbit(want[i])) << DspPathName(path) << " lane " << i;
    }
  }
}

TEST_F(PitchDetectorVector, MagnitudesKnownLanes) {
  // Bins at scattered positions, one case per lane of both vector widths:
  // Pythagorean pairs (exact results), signed zeros, and pairs whose float
  // squares would overflow or underflow but whose double squares do not.
  struct Bin { float re, im, want; };
  const Bin bins[8] = {{3, 4, 5},          {-5, 12, 13},     {8, -15, 17},        {-0.0f, -0.0f, 0},
                       {3e30f, 4e30f, 5e30f}, {3e-30f, 4e-30f, 5e-30f}, {0, -2, 2}, {-20, -21, 29}};
  const int positions[8] = {9, 2, 14, 0, 7, 11, 4, 15};
  std::vector<float> spectrum(2 * 16, 1000.0f);
  for (int i = 0; i < 8; ++i) {
    spectrum[2 * positions[i]] = bins[i].re;
    spectrum[2 * positions[i] + 1] = bins[i].im;
  }
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    float out[8];
    GatherMagnitudes(out, spectrum.data(), positions, 8);
    for (int i = 0; i < 8; ++i) {
      EXPECT_FLOAT_EQ(out[i], bins[i].want) << DspPathName(path) << " lane " << i;
    }
    EXPECT_EQ(out[0], 5.0f);
    EXPECT_EQ(out[1], 13.0f);
    EXPECT_FALSE(std::signbit(out[3]));  // sqrt(+0): the squares of -0 are +0
  }
}

TEST_F(PitchDetectorVector, MagnitudesMatchReferenceOnAllTails) {
  TestRandom rnd(11);
  std::vector<float> spectrum(2 * 64);
  for (float& v : spectrum) v = SpecialOrNoise(rnd);
  std::vector<int> positions(40);
  for (int& p : positions) p = static_cast<int>(rnd.Next() % 64);
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    for (int start : {0, 1, 2, 3}) {
      for (int count : kTailCounts) {
        std::vector<float> a(40, -7.0f), b(40, -7.0f);
        ForceDspPath(DspPath::kScalar);
        GatherMagnitudes(a.data() + start, spectrum.data(), positions.data() + start, count);
        ForceDspPath(path);
        GatherMagnitudes(b.data() + start, spectrum.data(), positions.data() + start, count);
        std::vector<float> c(40, -7.0f);
        GatherMagnitudesReference(c.data() + start, spectrum.data(), positions.data() + start, count);
        ASSERT_EQ(std::memcmp(a.data(), c.data(), a.size() * sizeof(float)), 0) << "scalar dispatch";
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0)
            << DspPathName(path) << " start " << start << " count " << count;
        EXPECT_EQ(b[start + count], -7.0f);  // nothing written past the end
      }
    }
  }
}

TEST_F(PitchDetectorVector, MultiplyKnownLanesAndTails) {
  const float a[8] = {2, -0.0f, 1e30f, 3, 0.5f, -4, 1e-20f, 7};
  const float b[8] = {3, 5, 1e30f, -0.0f, 0.5f, -0.25f, 1e-20f, 1};
  const float want[8] = {6, -0.0f, HUGE_VALF, -0.0f, 0.25f, 1, 1e-40f, 7};
  TestRandom rnd(5);
  std::vector<float> x(40), y(40);
  for (float& v : x) v = SpecialOrNoise(rnd);
  for (float& v : y) v = SpecialOrNoise(rnd);
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    float out[8];
    MultiplyFloats(out, a, b, 8);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(out[i], want[i]) << DspPathName(path) << " lane " << i;
      EXPECT_EQ(std::signbit(out[i]), std::signbit(want[i])) << DspPathName(path) << " lane " << i;
    }
    for (int start : {0, 1, 3}) {
      for (int count : kTailCounts) {
        std::vector<float> r(40, -7.0f), v(40, -7.0f);
        MultiplyFloatsReference(r.data() + start, x.data() + start, y.data() + start, count);
        MultiplyFloats(v.data() + start, x.data() + start, y.data() + start, count);
        ASSERT_EQ(std::memcmp(r.data(), v.data(), r.size() * sizeof(float)), 0)
            << DspPathName(path) << " start " << start << " count " << count;
        EXPECT_EQ(v[start + count], -7.0f);
      }
    }
  }
}

TEST_F(PitchDetectorVector, SumMaxAndFindKnownLanesAndTails) {
  // The four partial sums pair as (s0 + s2) + (s1 + s3): the big values in
  // lanes 0 and 2 cancel exactly before the ones are added (in bin order the
  // ones would be lost against 1e16), then the tail entry.
  const float lanes[5] = {1e16f, 1.0f, -1e16f, 1.0f, 0.5f};
  const float values[9] = {1, 5, -3, 5, 2, 7, 7, 0.5f, 9};
  TestRandom rnd(6);
  std::vector<float> x(2100);
  for (float& v : x) v = static_cast<float>(rnd.Uniform() * 3.0);
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    const char* name = DspPathName(path);
    EXPECT_EQ(SumInDouble(lanes, 5), 2.5) << name;
    EXPECT_EQ(SumInDouble(lanes, 0), 0.0) << name;
    EXPECT_EQ(MaxFloat(values, 9), 9.0f) << name;
    EXPECT_EQ(MaxFloat(values, 8), 7.0f) << name;
    EXPECT_EQ(MaxFloat(values, 0), -HUGE_VALF) << name;
    EXPECT_EQ(FindFloat(values, 9, 7.0f), 5) << name;
    EXPECT_EQ(FindFloat(values, 9, 5.0f), 1) << name;
    EXPECT_EQ(FindFloat(values, 9, 9.0f), 8) << name;
    EXPECT_EQ(FindFloat(values, 9, 42.0f), -1) << name;
    EXPECT_EQ(FindFloat(values, 0, 1.0f), -1) << name;
    for (int start : {0, 1, 3}) {
      std::vector<int> counts(std::begin(kTailCounts), std::end(kTailCounts));
      counts.push_back(2048);
      for (int count : counts) {
        const float* a = x.data() + start;
        const double wantSum = SumInDoubleReference(a, count), gotSum = SumInDouble(a, count);
        ASSERT_EQ(std::memcmp(&wantSum, &gotSum, sizeof wantSum), 0) << name << " start " << start << " count " << count;
        ASSERT_EQ(MaxFloat(a, count), MaxFloatReference(a, count)) << name << " start " << start << " count " << count;
        for (int at : {0, count / 2, count - 1}) {
          if (at < 0) continue;
          ASSERT_EQ(FindFloat(a, count, a[at]), FindFloatReference(a, count, a[at]))
              << name << " start " << start << " count " << count << " at " << at;
        }
        ASSERT_EQ(FindFloat(a, count, 5.0f), -1) << name;  // outside the noise's range
      }
    }
  }
}

// The one-pass summary against the references, on spectra whose weighted
// bins tie for the largest in several lanes of a group, across groups and
// with the tail, so the earliest must win each time.
TEST_F(PitchDetectorVector, BinSummaryMatchesReferencesWithTies) {
  TestRandom rnd(12);
  constexpr int kBins = 64;
  std::vector<float> spectrum(2 * kBins), weights(kBins);
  std::vector<int> positions(kBins);
  for (int k = 0; k < kBins; ++k) {
    spectrum[2 * k] = static_cast<float>(rnd.Uniform());  // magnitudes below 1.5
    spectrum[2 * k + 1] = static_cast<float>(rnd.Uniform());
    weights[k] = static_cast<float>(std::fabs(rnd.Uniform()));
    positions[k] = static_cast<int>((k * 37) % kBins);
  }
  // Bins 5, 6, 13 and 42 tie at the top (3-4-5 magnitudes, equal weights).
  for (int k : {5, 6, 13, 42}) {
    spectrum[2 * positions[k]] = 3.0f;
    spectrum[2 * positions[k] + 1] = -4.0f;
    weights[k] = 1.0f;
  }
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    for (int start : {0, 1, 6, 7}) {
      for (int count : {0, 1, 3, 4, 5, 8, 9, 36, 57}) {
        std::vector<float> m1(kBins, -7.0f), w1(kBins, -7.0f), m2(kBins, -7.0f), w2(kBins, -7.0f);
        const BinSummary want = SummarizeBinsReference(m1.data(), w1.data(), spectrum.data(), positions.data() + start,
                                                       weights.data() + start, count);
        const BinSummary got = SummarizeBins(m2.data(), w2.data(), spectrum.data(), positions.data() + start,
                                             weights.data() + start, count);
        const std::string where = std::string(DspPathName(path)) + " start " + std::to_string(start) + " count " +
                                  std::to_string(count);
        ASSERT_EQ(std::memcmp(&want.sum, &got.sum, sizeof want.sum), 0) << where;
        ASSERT_EQ(want.max, got.max) << where;
        ASSERT_EQ(want.first, got.first) << where;
        ASSERT_EQ(m1, m2) << where;
        ASSERT_EQ(w1, w2) << where;
      }
    }
    // Every tie resolved to the earliest bin.
    float m[kBins], w[kBins];
    EXPECT_EQ(SummarizeBins(m, w, spectrum.data(), positions.data(), weights.data(), kBins).first, 5);
    EXPECT_EQ(SummarizeBins(m, w, spectrum.data(), positions.data() + 6, weights.data() + 6, 40).first, 0);
    EXPECT_EQ(SummarizeBins(m, w, spectrum.data(), positions.data() + 7, weights.data() + 7, 40).first, 6);
    EXPECT_EQ(SummarizeBins(m, w, spectrum.data(), positions.data() + 14, weights.data() + 14, 30).first, 28);
  }
}

// The AVX2 detector's estimates against their reference on every path and
// tail, on spectra with zero, underflowing and overflowing bins; within
// their stated bound of the exact weighted magnitudes where those are
// normal; and the scan for candidates against its reference.
TEST_F(PitchDetectorVector, EstimatesMatchReferenceAndBound) {
  TestRandom rnd(14);
  constexpr int kBins = 96;
  std::vector<float> spectrum(2 * kBins), weights(kBins);
  std::vector<int> positions(kBins);
  for (int k = 0; k < kBins; ++k) {
    const double scale = k % 11 == 3 ? 1e-25 : k % 13 == 5 ? 0.0 : 1.0;  // squares below float's range, zeros
    spectrum[2 * k] = static_cast<float>(scale * rnd.Uniform());
    spectrum[2 * k + 1] = static_cast<float>(scale * rnd.Uniform());
    weights[k] = static_cast<float>(1.0 / ((k + 4) * (k + 4)));
    positions[k] = (k * 41) % kBins;
  }
  std::vector<float> overflowing = spectrum;
  overflowing[2 * positions[50]] = 3e19f;  // its square overflows float: the sum is infinite
  std::vector<int> counts(std::begin(kTailCounts), std::end(kTailCounts));
  counts.insert(counts.end(), {63, 64, 65, 90});
  for (DspPath path : VectorPaths()) {
    ASSERT_TRUE(ForceDspPath(path));
    for (const std::vector<float>* sp : {&spectrum, &overflowing}) {
      for (int start : {0, 1, 5}) {
        for (int count : counts) {
          std::vector<float> want(kBins, -7.0f), got(kBins, -7.0f), exact(kBins);
          const BinEstimate a = EstimateBinsReference(want.data(), sp->data(), positions.data() + start,
                                                      weights.data() + start, count);
          const BinEstimate b =
              EstimateBins(got.data(), sp->data(), positions.data() + start, weights.data() + start, count);
          const std::string where = std::string(DspPathName(path)) + " start " + std::to_string(start) + " count " +
                                    std::to_string(count);
          ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << where;
          ASSERT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(float)), 0) << where;
          GatherMagnitudesReference(exact.data(), sp->data(), positions.data() + start, count);
          for (int k = 0; k < count; ++k) {
            const float w = exact[k] * weights[start + k];
            if (exact[k] > 1e-18f && exact[k] < 1e18f) {  // squares in float's normal range
              ASSERT_NEAR(got[k] / w, 1.0, 4e-7) << where << " bin " << k;
            }
          }
          for (float value : {got[0], got[count / 2], b.max, 2.0f * b.max}) {
            ASSERT_EQ(FindAtLeast(got.data(), count, value), FindAtLeastReference(got.data(), count, value)) << where;
          }
        }
      }
    }
    EXPECT_FALSE(std::isfinite(EstimateBins(std::vector<float>(kBins).data(), overflowing.data(), positions.data(),
                                            weights.data(), kBins)
                                   .sum));
  }
}

// The peak rule over estimates that order bins otherwise than their exact
// values do, by less than the slack: the first of the largest exact values
// wins, the floor holds, and bins estimated beyond the slack stay out.
TEST_F(PitchDetectorVector, PeakAmongEstimatesFollowsExactValues) {
  struct Case {
    std::vector<float> estimate, exact;
    float floor;
    int peak;
  };
  const Case cases[] = {
      {{1.0f, 0.9999996f, 0.5f, 0.9999996f}, {0.9999995f, 1.0f, 0.5f, 1.0f}, 0.1f, 1},  // estimates reversed
      {{0.5f, 1.0f, 1.0f}, {0.5f, 1.0f, 1.0f}, 0.1f, 1},                                // a tie: the first
      {{2e-6f, 1e-6f}, {0.9e-6f, 1e-6f}, 1e-6f, -1},                                    // none above the floor
      {{1.0f, 0.99998f}, {0.99f, 1.0f}, 0.1f, 0},                                       // beyond the slack
      {{}, {}, 0.1f, -1}};
  for (DspPath path : {DspPath::kScalar, DspPath::kSSE2, DspPath::kAVX2, DspPath::kAVX512}) {
    if (!ForceDspPath(path)) continue;  // not on this CPU
    for (const Case& c : cases) {
      float max = -HUGE_VALF, value = -1.0f;
      for (float e : c.estimate) max = e > max ? e : max;
      const int peak = PeakAmongEstimates(c.estimate.data(), max, static_cast<int>(c.estimate.size()), c.floor,
                                          [&](int k) { return c.exact[k]; }, &value);
      EXPECT_EQ(peak, c.peak) << DspPathName(path) << " case " << (&c - cases);
      if (peak >= 0) {
        EXPECT_EQ(value, c.exact[peak]);
      }
    }
  }
}

// Two peaks whose weighted magnitudes all but tie, their balance stepped
// less than a float step at a time across the point where the winner
// changes: every path picks the bin the definition picks, at each step.
TEST_F(PitchDetectorVector, NearlyEqualPeaksSameOnEveryPath) {
  Detector d;
  const double sr = 44100;
  const double balanced = 0.3 * (57.0 * 57.0) / (40.0 * 40.0);  // equal W for equal window gains
  int lowWins = 0, highWins = 0;
  for (int step = -20; step <= 60; ++step) {
    const auto in = Tones({{BinHz(40, sr), 0.3}, {BinHz(57, sr), balanced * (1.0 + step * 1e-8)}}, sr, true, true);
    ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
    const double want = d.Run(in, 18, 1857, 61.5);
    (want > 8192.0 / 48 ? lowWins : highWins)++;
    for (DspPath path : VectorPaths()) {
      ASSERT_TRUE(ForceDspPath(path));
      const double got = d.Run(in, 18, 1857, 61.5);
      ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << DspPathName(path) << " step " << step;
    }
  }
  EXPECT_GT(lowWins, 0);  // the steps cross the change
  EXPECT_GT(highWins, 0);
}

// Right at the silence threshold the vector paths must decide as the float
// sum in bin order does: noise scaled by bisection until the plain detector
// flips between silence (0) and a result, then both sides of the flip and
// points 1 % beyond it on every path.
TEST_F(PitchDetectorVector, SilenceGateAtItsThresholdSameOnEveryPath) {
  Detector d;
  TestRandom rnd(12);
  std::vector<double> noise(2 * kDetectorSize);
  for (double& v : noise) v = rnd.Uniform();
  std::vector<StereoFrame> frames(kDetectorSize);
  const auto run = [&](double scale) {
    for (int n = 0; n < kDetectorSize; ++n) {
      frames[n] = {static_cast<float>(scale * noise[2 * n]), static_cast<float>(scale * noise[2 * n + 1])};
    }
    return d.Run(frames, 18, 1857, 61.5);
  };
  ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
  double silent = 1e-6, audible = 1.0;
  ASSERT_EQ(run(silent), 0.0);
  ASSERT_NE(run(audible), 0.0);
  while (audible - silent > 1e-12 * audible) {
    const double mid = 0.5 * (silent + audible);
    (run(mid) == 0.0 ? silent : audible) = mid;
  }
  for (double scale : {silent, audible, 0.99 * silent, 1.01 * audible}) {
    ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
    const double want = run(scale);
    for (DspPath path : VectorPaths()) {
      ASSERT_TRUE(ForceDspPath(path));
      const double got = run(scale);
      ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << DspPathName(path) << " scale " << scale;
    }
  }
}

// The whole detector on every path: tones, noise, silence, edge peaks and
// the octave case give the same period bit for bit.
TEST_F(PitchDetectorVector, DetectPeriodSameOnEveryPath) {
  Detector d;
  const double sr = 44100;
  std::vector<std::vector<StereoFrame>> inputs = {
      Tones({{441.0, 0.5}}, sr, true, true), Tones({{BinHz(40, sr), 0.05}, {BinHz(80, sr), 0.4}}, sr, true, true),
      Tones({{BinHz(18, sr), 0.05}, {BinHz(37, sr), 0.4}}, sr, true, false), std::vector<StereoFrame>(kDetectorSize)};
  TestRandom rnd(8);
  std::vector<StereoFrame> noise(kDetectorSize);
  for (StereoFrame& f : noise) f = {static_cast<float>(0.2 * rnd.Uniform()), static_cast<float>(0.2 * rnd.Uniform())};
  inputs.push_back(noise);
  const int ranges[][2] = {{18, 1857}, {9, 1857}, {18, 83}, {4, 2048}, {27, 853}};
  int compared = 0;
  for (const auto& in : inputs) {
    for (const auto& r : ranges) {
      ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
      const double want = d.Run(in, r[0], r[1], 61.5);
      for (DspPath path : VectorPaths()) {
        ASSERT_TRUE(ForceDspPath(path));
        const double got = d.Run(in, r[0], r[1], 61.5);
        ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << DspPathName(path) << " range " << r[0] << ".." << r[1];
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 0);
}

}  // namespace
