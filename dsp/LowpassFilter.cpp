#include "dsp/LowpassFilter.h"

#include <cmath>

LowpassFilter::LowpassFilter() : q(1.0 / std::sqrt(2.0)) { CalcCoefficients(); }

void LowpassFilter::SetSampleRate(double sr) {
  sampleRate = sr;
  CalcCoefficients();
  x1 = x2 = y1 = y2 = 0.0;
}

void LowpassFilter::SetCutoff(double f) {
  if (f == cutoff) return;
  cutoff = f;
  CalcCoefficients();
}

void LowpassFilter::CalcCoefficients() {
  const double w = 2.0 * M_PI * cutoff / sampleRate;
  const double cw = std::cos(w);
  const double alpha = std::sin(w) / (2.0 * q);
  const double n = 1.0 / (1.0 + alpha);
  a1 = -2.0 * cw * n;
  a2 = (1.0 - alpha) * n;
  b1 = (1.0 - cw) * n;
  b0 = b2 = b1 / 2.0;
}

void LowpassFilter::GetCoefficients(double* out) const {
  out[0] = a1;
  out[1] = a2;
  out[2] = b0;
  out[3] = b1;
  out[4] = b2;
}

void LowpassFilter::GetState(double* out) const {
  out[0] = x1;
  out[1] = x2;
  out[2] = y1;
  out[3] = y2;
}
