// The engine as the benchmarks run it: the effect's default parameters on
// voiced stereo material (a 147 Hz tone with harmonics and a slow vibrato),
// two seconds of it looped, processed in host blocks of any size.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "dsp/DoublerEngine.h"

constexpr int kMaxHostBlock = 8192;

class EngineRun {
 public:
  explicit EngineRun(double sampleRate) : mEngine(std::make_unique<DoublerEngine>()) {
    DoublerEngine& e = *mEngine;
    e.SetWet(0.75);
    e.SetCents(0, -10);
    e.SetDelayMs(0, 7.5);
    e.SetCents(1, 10);
    e.SetDelayMs(1, 15);
    e.SetWidthPercent(100);
    e.SetColor(0.25);
    e.SetDetectorHpf(100);
    e.Reset(sampleRate);
    const int frames = static_cast<int>(2 * sampleRate) + kMaxHostBlock;
    mInL.resize(frames);
    mInR.resize(frames);
    mOutL.resize(frames);
    mOutR.resize(frames);
    double phase = 0;
    for (int n = 0; n < frames; ++n) {
      phase += 2 * M_PI * 147.0 * (1 + 0.01 * std::sin(2 * M_PI * 0.5 * n / sampleRate)) / sampleRate;
      mInL[n] = 0.3 * std::sin(phase) + 0.15 * std::sin(2 * phase);
      mInR[n] = 0.25 * std::sin(phase + 0.3) + 0.1 * std::sin(3 * phase);
    }
  }

  // frames >= 0 in calls of hostBlock (1..kMaxHostBlock) frames, the last
  // call shorter if need be.
  void Process(long frames, int hostBlock) {
    const int size = static_cast<int>(mInL.size());
    while (frames > 0) {
      const int n = frames < hostBlock ? static_cast<int>(frames) : hostBlock;
      if (mPos + n > size) mPos = 0;
      const double* ins[2] = {mInL.data() + mPos, mInR.data() + mPos};
      double* outs[2] = {mOutL.data() + mPos, mOutR.data() + mPos};
      mEngine->ProcessBlock(ins, outs, n);
      mPos += n;
      frames -= n;
    }
  }

  double OutputSum() const {
    double s = 0;
    for (size_t i = 0; i < mOutL.size(); ++i) s += mOutL[i] + mOutR[i];
    return s;
  }

 private:
  std::unique_ptr<DoublerEngine> mEngine;
  std::vector<double> mInL, mInR, mOutL, mOutR;
  int mPos = 0;
};
