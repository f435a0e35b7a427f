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

double LowpassFilter::Process(double x) {
  double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
  // A floor instead of a flush to 0: the decaying tail never reaches the
  // subnormal range, and a positive constant costs nothing downstream.
  if (y > -1e-10 && y < 1e-10) y = 1e-10;
  x2 = x1;
  x1 = x;
  y2 = y1;
  y1 = y;
  return y;
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
