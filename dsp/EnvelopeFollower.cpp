#include "dsp/EnvelopeFollower.h"

#include <cmath>

namespace {
// Below this the release tail is flushed to 0 so the state never turns
// subnormal in long silence (it would otherwise after about 10 s at 15 ms).
// Any nonzero input is at least ~1e-26 (inputs below 1e-10 arrive as 0), so
// a value this small cannot change a later sum, and compared with 16 times
// it any input above 0.01 wins either way: results are unchanged.
constexpr double kFlushBelow = 1e-290;
}  // namespace

double EnvelopeFollower::Coefficient(double ms, double sr) { return std::exp(-1000.0 / (ms * sr)); }

void EnvelopeFollower::SetSampleRate(double sr) {
  sampleRate = sr;
  envelope = 0.0;
  attackCoef = attackMs == 0.0 ? 0.0 : Coefficient(attackMs, sampleRate);
  releaseCoef = releaseMs == 0.0 ? 0.0 : Coefficient(releaseMs, sampleRate);
}

void EnvelopeFollower::SetAttack(double ms) {
  if (ms == 0.0) {
    attackCoef = 0.0;
    return;
  }
  attackMs = ms;
  attackCoef = Coefficient(ms, sampleRate);
}

void EnvelopeFollower::SetRelease(double ms) {
  if (ms == 0.0) {
    releaseCoef = 0.0;
    return;
  }
  releaseMs = ms;
  releaseCoef = Coefficient(ms, sampleRate);
}

double EnvelopeFollower::Process(double x) {
  const double a = std::fabs(x);
  envelope = a + (envelope - a) * (a > envelope ? attackCoef : releaseCoef);
  if (envelope < kFlushBelow) envelope = 0.0;
  return envelope;
}
