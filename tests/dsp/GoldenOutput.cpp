// Golden output of the doubler: renders a fixed synthetic stereo input through
// DoublerEngine with several parameter sets and prints one 64-bit hash of the
// output samples per set, "<set> <hash>". The Linux test and the Windows run
// under wine both compare the lines with tests/dsp/data/golden-output.txt, so
// both builds must give the same samples bit for bit.
//
// The input uses only +, -, * and / (a polynomial sine, an integer noise
// generator): the C libraries' sin differ between systems in the last bit,
// and the input must not. Each set runs on every DSP path this CPU has; the
// paths must agree (else the line says which differed, and the lists differ).
//
// Usage: dsp_golden_output        (prints the list; exit 0)
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "dsp/DoublerEngine.h"
#include "dsp/DspPath.h"

namespace {

// sin(2 pi t) for t in [0, 1): a parabola per half turn, refined once
// (y = p + 0.225 (p |p| - p)); about 0.1 % from the true sine, with harmonics
// enough to look like an instrument to the pitch detector.
double TurnSine(double t) {
  const double x = t < 0.5 ? 4.0 * t - 1.0 : 3.0 - 4.0 * t;  // triangle in [-1, 1]
  const double p = 1.0 - x * x;                              // half-turn parabola, 0..1
  const double s = t < 0.5 ? p : -p;
  const double a = s < 0.0 ? -s : s;
  return s + 0.225 * (s * a - s);
}

// xorshift64*, uniform in [-1, 1) from the top 53 bits.
class Noise {
 public:
  explicit Noise(std::uint64_t seed) : mState(seed * 0x9E3779B97F4A7C15ull + 1) {}
  double Next() {
    mState ^= mState >> 12;
    mState ^= mState << 25;
    mState ^= mState >> 27;
    return static_cast<double>((mState * 0x2545F4914F6CDD1Dull) >> 11) * (2.0 / 9007199254740992.0) - 1.0;
  }

 private:
  std::uint64_t mState;
};

struct Stereo {
  std::vector<double> left, right;
};

// A voiced tone near hz gliding by a quarter tone over the run, three
// partials, a quiet noise floor, a silent gap every 0.3 s and a loud onset
// after it (the envelope's transient path).
Stereo Material(int frames, double sampleRate, double hz, std::uint64_t seed) {
  Stereo s{std::vector<double>(static_cast<std::size_t>(frames)), std::vector<double>(static_cast<std::size_t>(frames))};
  Noise noise(seed);
  double phase = 0.0;
  const int gapEvery = static_cast<int>(0.3 * sampleRate), gapLength = static_cast<int>(0.02 * sampleRate);
  for (int n = 0; n < frames; ++n) {
    const double glide = 1.0 + 0.03 * n / frames;
    phase += hz * glide / sampleRate;
    phase -= static_cast<int>(phase);
    const double p2 = 2.0 * phase - static_cast<int>(2.0 * phase);
    const double p3 = 3.0 * phase - static_cast<int>(3.0 * phase);
    const int inCycle = n % gapEvery;
    const double gain = inCycle < gapLength ? 0.0 : (inCycle < gapLength + 64 ? 1.4 : 0.6);
    const double v = gain * (0.5 * TurnSine(phase) + 0.25 * TurnSine(p2) + 0.12 * TurnSine(p3));
    s.left[static_cast<std::size_t>(n)] = v + 0.002 * noise.Next();
    s.right[static_cast<std::size_t>(n)] = 0.7 * v + 0.002 * noise.Next();
  }
  return s;
}

struct ParameterSet {
  const char* name;
  double sampleRate;
  int hostBlock;
  double wet, cents1, delay1Ms, cents2, delay2Ms, widthPercent, color, hpfHz, toneHz;
  bool bypass;
  // Changed once at the middle of the run (an automation step), when set.
  bool changeMidway;
};

const ParameterSet kSets[] = {
    {"default-44k", 44100, 512, 0.75, -10, 7.5, 10, 15, 100, 0.25, 100, 147, false, false},
    {"full-wet-48k", 48000, 64, 1.0, -25, 3, 25, 30, 100, 0.0, 50, 220, false, false},
    {"narrow-coloured-96k", 96000, 1024, 0.5, -50, 20, 5, 1, 0, 1.0, 200, 110, false, false},
    {"dry-only-44k", 44100, 7, 0.0, -10, 7.5, 10, 15, 100, 0.25, 100, 147, false, false},
    {"bypassed-44k", 44100, 300, 0.75, -10, 7.5, 10, 15, 100, 0.25, 100, 147, true, false},
    {"automated-44k", 44100, 256, 0.6, -15, 10, 15, 20, 60, 0.5, 100, 196, false, true},
};

void Apply(DoublerEngine& e, const ParameterSet& p) {
  e.SetWet(p.wet);
  e.SetCents(0, p.cents1);
  e.SetDelayMs(0, p.delay1Ms);
  e.SetCents(1, p.cents2);
  e.SetDelayMs(1, p.delay2Ms);
  e.SetWidthPercent(p.widthPercent);
  e.SetColor(p.color);
  e.SetBypass(p.bypass);
  e.SetDetectorHpf(p.hpfHz);
}

// FNV-1a over the little-endian bytes of every output sample, left then
// right per frame.
std::uint64_t Render(const ParameterSet& p) {
  const int frames = static_cast<int>(p.sampleRate * 1.5);
  const Stereo in = Material(frames, p.sampleRate, p.toneHz, 7);
  Stereo out{std::vector<double>(in.left.size()), std::vector<double>(in.right.size())};
  auto e = std::make_unique<DoublerEngine>();
  Apply(*e, p);
  e->Reset(p.sampleRate);
  for (int start = 0; start < frames; start += p.hostBlock) {
    if (p.changeMidway && start <= frames / 2 && frames / 2 < start + p.hostBlock) {
      e->SetCents(0, 30);
      e->SetDelayMs(1, 4);
      e->SetWet(0.9);
      e->SetBypass(true);  // the fade out, then back in below
    }
    if (p.changeMidway && start >= frames * 3 / 4 && e->Bypass()) e->SetBypass(false);
    const int n = frames - start < p.hostBlock ? frames - start : p.hostBlock;
    const double* ins[2] = {in.left.data() + start, in.right.data() + start};
    double* outs[2] = {out.left.data() + start, out.right.data() + start};
    e->ProcessBlock(ins, outs, n);
  }
  std::uint64_t h = 0xCBF29CE484222325ull;
  auto add = [&h](double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i) {
      h ^= (bits >> (8 * i)) & 0xFF;
      h *= 0x100000001B3ull;
    }
  };
  for (std::size_t i = 0; i < out.left.size(); ++i) {
    add(out.left[i]);
    add(out.right[i]);
  }
  return h;
}

}  // namespace

int main() {
  const DspPath paths[] = {DspPath::kScalar, DspPath::kSSE2, DspPath::kAVX2, DspPath::kAVX512};
  for (const ParameterSet& p : kSets) {
    std::uint64_t reference = 0;
    std::string differing;
    for (DspPath path : paths) {
      if (!ForceDspPath(path)) continue;  // not on this CPU
      const std::uint64_t h = Render(p);
      if (path == DspPath::kScalar)
        reference = h;
      else if (h != reference)
        differing += std::string(" (") + DspPathName(path) + " differs)";
    }
    ResetDspPath();
    std::printf("%s %016" PRIx64 "%s\n", p.name, reference, differing.c_str());
  }
  return 0;
}
