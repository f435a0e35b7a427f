#include "dsp/EnvelopeFollower.h"

#include <cmath>

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
