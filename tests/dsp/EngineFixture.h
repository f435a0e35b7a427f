// Helpers to drive a DoublerEngine with the effect's default parameters.
#pragma once

#include <memory>
#include <vector>

#include "TestSignals.h"
#include "dsp/DoublerEngine.h"

struct StereoBuffer {
  explicit StereoBuffer(size_t frames) : left(frames), right(frames) {}
  std::vector<double> left, right;
};

// The factory default's settings (preset 1), not yet reset.
inline void SetDefaultParameters(DoublerEngine& e) {
  e.SetWet(0.75);
  e.SetCents(0, -10);
  e.SetDelayMs(0, 7.5);
  e.SetCents(1, 10);
  e.SetDelayMs(1, 15);
  e.SetWidthPercent(100);
  e.SetColor(0.25);
  e.SetBypass(false);
  e.SetDetectorHpf(100);
}

inline std::unique_ptr<DoublerEngine> DefaultEngine(double sampleRate) {
  auto e = std::make_unique<DoublerEngine>();
  SetDefaultParameters(*e);
  e->Reset(sampleRate);
  return e;
}

// Voiced test material: a 147 Hz tone with harmonics, gliding slightly,
// with a quiet noise floor and a few onsets after short gaps.
inline StereoBuffer Material(size_t frames, double sampleRate, uint64_t seed) {
  StereoBuffer b(frames);
  TestRandom rnd(seed);
  double phase = 0;
  for (size_t n = 0; n < frames; ++n) {
    const double hz = 147.0 * (1.0 + 0.01 * std::sin(2 * M_PI * 0.3 * n / sampleRate));
    phase += 2 * M_PI * hz / sampleRate;
    const bool gap = (n / 11025) % 4 == 3 && (n % 11025) < 2000;
    const double v = gap ? 0.0 : 0.3 * std::sin(phase) + 0.15 * std::sin(2 * phase) + 0.08 * std::sin(3 * phase);
    b.left[n] = v + 0.003 * rnd.Uniform();
    b.right[n] = 0.8 * v + 0.003 * rnd.Uniform();
  }
  return b;
}

// Runs the engine over the whole buffer in host blocks of the given size.
inline StereoBuffer RunEngine(DoublerEngine& e, const StereoBuffer& in, size_t hostBlock) {
  StereoBuffer out(in.left.size());
  for (size_t start = 0; start < in.left.size(); start += hostBlock) {
    const size_t n = std::min(hostBlock, in.left.size() - start);
    const double* ins[2] = {in.left.data() + start, in.right.data() + start};
    double* outs[2] = {out.left.data() + start, out.right.data() + start};
    e.ProcessBlock(ins, outs, static_cast<int>(n));
  }
  return out;
}
