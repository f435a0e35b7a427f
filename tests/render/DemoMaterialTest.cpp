// The built-in demo material: deterministic, at its level, sung notes at
// their pitches, plucked notes with sharp onsets.
#include "host/DemoMaterial.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

double Rms(const AudioBuffer& b, double fromSec, double lengthSec) {
  std::int64_t a = static_cast<std::int64_t>(fromSec * b.sampleRate);
  std::int64_t n = static_cast<std::int64_t>(lengthSec * b.sampleRate);
  double sum = 0.0;
  for (std::int64_t i = a; i < a + n; ++i) sum += static_cast<double>(b.at(i, 0)) * b.at(i, 0);
  return std::sqrt(sum / static_cast<double>(n));
}

// Period in frames by normalised autocorrelation over a window: the shortest
// lag that comes within 10 % of the best one between 60 and 1000 Hz.
double PeriodFrames(const AudioBuffer& b, double fromSec, double lengthSec) {
  std::int64_t a = static_cast<std::int64_t>(fromSec * b.sampleRate);
  std::int64_t n = static_cast<std::int64_t>(lengthSec * b.sampleRate);
  int minLag = b.sampleRate / 1000, maxLag = b.sampleRate / 60;
  std::vector<double> r(static_cast<std::size_t>(maxLag + 1), 0.0);
  double best = 0.0;
  for (int lag = minLag; lag <= maxLag; ++lag) {
    double s = 0.0, e0 = 0.0, e1 = 0.0;
    for (std::int64_t i = a; i < a + n; ++i) {
      s += static_cast<double>(b.at(i, 0)) * b.at(i + lag, 0);
      e0 += static_cast<double>(b.at(i, 0)) * b.at(i, 0);
      e1 += static_cast<double>(b.at(i + lag, 0)) * b.at(i + lag, 0);
    }
    r[static_cast<std::size_t>(lag)] = s / std::sqrt(e0 * e1 + 1e-30);
    best = std::max(best, r[static_cast<std::size_t>(lag)]);
  }
  for (int lag = minLag + 1; lag < maxLag; ++lag) {
    double v = r[static_cast<std::size_t>(lag)];
    if (v >= 0.9 * best && v >= r[static_cast<std::size_t>(lag - 1)] &&
        v >= r[static_cast<std::size_t>(lag + 1)])
      return lag;
  }
  return 0.0;
}

}  // namespace

TEST(DemoMaterial, IsDeterministicMonoAndAtItsPeak) {
  AudioBuffer a = MakeDemoMaterial(44100), b = MakeDemoMaterial(44100);
  EXPECT_TRUE(a.samples == b.samples);
  EXPECT_EQ(a.channels, 1);
  EXPECT_EQ(a.sampleRate, 44100);
  EXPECT_EQ(a.frames(), static_cast<std::int64_t>(DemoScoreTable().totalSec * 44100));
  float peak = 0.0f;
  for (float v : a.samples) peak = std::max(peak, std::fabs(v));
  EXPECT_NEAR(peak, kDemoPeak, 1e-6);
  AudioBuffer c = MakeDemoMaterial(48000);
  EXPECT_EQ(c.frames(), static_cast<std::int64_t>(DemoScoreTable().totalSec * 48000));
}

TEST(DemoMaterial, SungNotesSoundAtTheirPitches) {
  AudioBuffer a = MakeDemoMaterial(44100);
  for (const DemoNote& n : DemoScoreTable().sung) {
    // A window in the middle of the note, past the glide.
    double period = PeriodFrames(a, n.startSec + 0.3, 0.1);
    double cents = 1200.0 * std::log2(44100.0 / n.hz / period);
    // Vibrato swings 35 cents either way; the window averages most of it.
    EXPECT_LT(std::fabs(cents), 40.0) << n.hz << " Hz note: period " << period;
  }
}

TEST(DemoMaterial, PluckedNotesHaveSharpOnsetsAndTheirPitches) {
  AudioBuffer a = MakeDemoMaterial(44100);
  for (const DemoNote& n : DemoScoreTable().plucked) {
    double before = Rms(a, n.startSec - 0.010, 0.010);
    double after = Rms(a, n.startSec, 0.003);
    EXPECT_GT(after, 20.0 * before + 0.01) << n.hz << " Hz onset";
    double period = PeriodFrames(a, n.startSec + 0.1, 0.08);
    double cents = 1200.0 * std::log2(44100.0 / n.hz / period);
    // Whole-frame lags: a frame in 100 to 270 is at most 17 cents.
    EXPECT_LT(std::fabs(cents), 20.0) << n.hz << " Hz note: period " << period;
  }
}
