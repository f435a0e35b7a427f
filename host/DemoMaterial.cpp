#include "host/DemoMaterial.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kPi = 3.14159265358979323846;

// xorshift32: tiny, seedable, and the same on every platform and library.
class NoiseSource {
 public:
  explicit NoiseSource(std::uint32_t seed) : mState(seed ? seed : 1u) {}
  // Uniform in [-1, 1).
  double Next() {
    mState ^= mState << 13;
    mState ^= mState >> 17;
    mState ^= mState << 5;
    return static_cast<double>(mState) / 2147483648.0 - 1.0;
  }

 private:
  std::uint32_t mState;
};

// Two-pole resonator with unity gain at 0 Hz, so a cascade keeps its level.
class Resonator {
 public:
  void Set(double hz, double bandwidthHz, double rate) {
    double r = std::exp(-kPi * bandwidthHz / rate);
    mA1 = 2.0 * r * std::cos(2.0 * kPi * hz / rate);
    mA2 = -r * r;
    mGain = 1.0 - mA1 - mA2;
  }
  double Process(double x) {
    double y = mGain * x + mA1 * mY1 + mA2 * mY2;
    mY2 = mY1;
    mY1 = y;
    return y;
  }

 private:
  double mA1 = 0, mA2 = 0, mGain = 1, mY1 = 0, mY2 = 0;
};

// Formant frequencies and bandwidths (Hz) of a sung vowel.
struct Vowel {
  double f[3], bw[3];
};
const Vowel kVowels[] = {
    {{730, 1090, 2440}, {80, 100, 160}},  // "ah"
    {{570, 840, 2410}, {70, 90, 160}},    // "aw"
    {{300, 2290, 3010}, {60, 110, 180}},  // "ee"
    {{440, 1020, 2240}, {70, 90, 160}},   // "oo"-ish
};

// Glottal flow over one period (phase 0..1): a rise, a quicker fall, then
// closed. Its difference is the pulse (the lips radiate the flow's derivative).
double GlottalFlow(double phase) {
  constexpr double kRise = 0.4, kFall = 0.16;
  if (phase < kRise) return 0.5 * (1.0 - std::cos(kPi * phase / kRise));
  if (phase < kRise + kFall) return std::cos(0.5 * kPi * (phase - kRise) / kFall);
  return 0.0;
}

double Lerp(double a, double b, double t) { return a + (b - a) * t; }

void AddSung(const DemoScore& score, int rate, std::vector<double>* out) {
  constexpr double kGlideSec = 0.06, kAttackSec = 0.05, kReleaseSec = 0.12;
  constexpr double kVibratoHz = 5.4, kVibratoCents = 35.0, kVibratoOnsetSec = 0.35;
  const auto& notes = score.sung;
  if (notes.empty()) return;
  const double start = notes.front().startSec;
  const double end = notes.back().startSec + notes.back().lengthSec;
  NoiseSource breath(0x5EED0001u);
  Resonator formants[3];
  double phase = 0.0, lastFlow = 0.0;
  std::size_t note = 0;
  const std::int64_t first = static_cast<std::int64_t>(start * rate);
  const std::int64_t last = static_cast<std::int64_t>((end + kReleaseSec) * rate);
  for (std::int64_t i = first; i < last && i < static_cast<std::int64_t>(out->size()); ++i) {
    double t = static_cast<double>(i) / rate;
    while (note + 1 < notes.size() && t >= notes[note + 1].startSec) ++note;
    const DemoNote& n = notes[note];
    // Pitch glides from the previous note over the first kGlideSec.
    double hz = n.hz;
    double into = t - n.startSec;
    if (note > 0 && into < kGlideSec)
      hz = notes[note - 1].hz * std::pow(n.hz / notes[note - 1].hz, into / kGlideSec);
    double depth = kVibratoCents * std::min(1.0, into / kVibratoOnsetSec);
    hz *= std::pow(2.0, depth * std::sin(2.0 * kPi * kVibratoHz * t) / 1200.0);
    // The vowel moves to the note's own over the glide too.
    const Vowel& v = kVowels[note % 4];
    const Vowel& u = note > 0 ? kVowels[(note - 1) % 4] : v;
    double mix = std::min(1.0, into / kGlideSec);
    for (int k = 0; k < 3; ++k)
      formants[k].Set(Lerp(u.f[k], v.f[k], mix), Lerp(u.bw[k], v.bw[k], mix), rate);

    phase += hz / rate;
    if (phase >= 1.0) phase -= 1.0;
    double flow = GlottalFlow(phase);
    double x = (flow - lastFlow) + 0.002 * breath.Next();
    lastFlow = flow;
    for (Resonator& r : formants) x = r.Process(x);

    double env = std::min(1.0, (t - start) / kAttackSec);
    if (t > end) env *= std::max(0.0, 1.0 - (t - end) / kReleaseSec);
    (*out)[static_cast<std::size_t>(i)] += env * x;
  }
}

void AddPlucked(const DemoScore& score, int rate, std::vector<double>* out) {
  constexpr double kDecay = 0.996;  // loss per trip round the string
  NoiseSource pick(0x5EED0002u);
  for (const DemoNote& n : score.plucked) {
    // A fractional string length read with linear interpolation keeps the
    // notes in tune; the two-point average is the string's damping.
    // The two-point average delays by half a frame more; take it off the length.
    double period = static_cast<double>(rate) / n.hz - 0.5;
    std::size_t size = static_cast<std::size_t>(period) + 2;
    std::vector<double> string(size, 0.0);
    // The pick: a burst of noise, smoothed a little so it is not too bright.
    double smooth = 0.0;
    for (double& s : string) {
      smooth = 0.6 * smooth + 0.4 * pick.Next();
      s = smooth;
    }
    const std::int64_t first = static_cast<std::int64_t>(n.startSec * rate);
    const std::int64_t release = static_cast<std::int64_t>((n.startSec + n.lengthSec) * rate);
    const std::int64_t mute = static_cast<std::int64_t>(0.03 * rate);  // finger damping
    std::size_t pos = 0;
    double previous = 0.0;
    for (std::int64_t i = first; i < static_cast<std::int64_t>(out->size()); ++i) {
      double back = static_cast<double>(pos) + static_cast<double>(size) - period;
      std::size_t i0 = static_cast<std::size_t>(back) % size;
      double frac = back - std::floor(back);
      double delayed = Lerp(string[i0], string[(i0 + 1) % size], frac);
      double y = kDecay * 0.5 * (delayed + previous);
      previous = delayed;
      double gain = 1.0;
      if (i > release) gain = std::max(0.0, 1.0 - static_cast<double>(i - release) / mute);
      if (gain <= 0.0) break;
      string[pos] = y * (i > release ? 0.999 : 1.0);
      pos = (pos + 1) % size;
      (*out)[static_cast<std::size_t>(i)] += 0.6 * gain * y;
    }
  }
}

}  // namespace

const DemoScore& DemoScoreTable() {
  static const DemoScore score = [] {
    DemoScore s;
    // A3, C4, E4, D4, sung legato.
    s.sung = {{0.10, 0.80, 220.00}, {0.90, 0.70, 261.63}, {1.60, 0.70, 329.63},
              {2.30, 0.90, 293.66}};
    // E3 G3 A3 B3 D4 B3 then a held E4: single notes, each a clear attack.
    // Each string is damped before the next onset, so every attack is clean.
    s.plucked = {{3.60, 0.30, 164.81}, {3.95, 0.30, 196.00}, {4.30, 0.30, 220.00},
                 {4.65, 0.30, 246.94}, {5.00, 0.30, 293.66}, {5.35, 0.30, 246.94},
                 {5.70, 0.80, 329.63}};
    s.totalSec = 6.80;
    return s;
  }();
  return score;
}

AudioBuffer MakeDemoMaterial(int sampleRate) {
  const DemoScore& score = DemoScoreTable();
  int rate = std::clamp(sampleRate, 8000, 192000);
  std::vector<double> mix(static_cast<std::size_t>(score.totalSec * rate), 0.0);
  AddSung(score, rate, &mix);
  AddPlucked(score, rate, &mix);
  double peak = 0.0;
  for (double v : mix) peak = std::max(peak, std::fabs(v));
  AudioBuffer buffer;
  buffer.sampleRate = rate;
  buffer.channels = 1;
  buffer.samples.resize(mix.size());
  double scale = peak > 0.0 ? kDemoPeak / peak : 0.0;
  for (std::size_t i = 0; i < mix.size(); ++i) buffer.samples[i] = static_cast<float>(mix[i] * scale);
  return buffer;
}
