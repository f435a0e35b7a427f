#include "dsp/PitchDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "TestSignals.h"
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

TEST(PitchDetectorWindowing, VectorMatchesReferenceOnAllTails) {
  std::vector<float> window(64);
  std::vector<StereoFrame> frames(64);
  TestRandom rnd(3);
  for (float& w : window) w = static_cast<float>(rnd.Uniform());
  for (StereoFrame& f : frames) f = {static_cast<float>(rnd.Uniform()), static_cast<float>(rnd.Uniform())};
  for (int start : {0, 1, 3}) {
    for (int count : {0, 1, 3, 4, 5, 7, 8, 15, 16, 17}) {
      std::vector<float> a(2 * 40, -7.0f), b(2 * 40, -7.0f);
      ApplyWindowReference(a.data(), frames.data() + start, window.data() + start, count);
      ApplyWindow(b.data(), frames.data() + start, window.data() + start, count);
      ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << start << " " << count;
      if (count > 0) {
        EXPECT_EQ(b[2 * count - 1], frames[start + count - 1].right * window[start + count - 1]);
      }
      EXPECT_EQ(b[2 * count], -7.0f);  // nothing written past the end
    }
  }
}

}  // namespace
