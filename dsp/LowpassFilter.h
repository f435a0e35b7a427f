// Second-order low-pass section (cookbook biquad) used on the wet signal.
//
// Units: sample rate and cutoff in Hz, Q dimensionless. Construction gives
// 44100 Hz, cutoff 1 Hz, Q 1/sqrt(2), zero state, coefficients computed.
// Process never returns a value of magnitude below 1e-10 (it returns +1e-10
// instead), so the recursive state never holds subnormal numbers.
// Thread: the owner's (audio thread under the plug-in lock). No allocation.
#pragma once

class LowpassFilter {
 public:
  LowpassFilter();
  virtual ~LowpassFilter() = default;

  // Stores sr (> 0), recomputes the coefficients and clears the state.
  void SetSampleRate(double sampleRate);
  // Stores the cutoff and recomputes the coefficients unless it is equal to
  // the stored one; the state is kept, so a running signal continues.
  void SetCutoff(double cutoffHz);
  // One sample through the filter: y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2.
  // Inline so that render loops can keep a local copy's state in registers.
  double Process(double x) {
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

  double SampleRate() const { return sampleRate; }
  double Cutoff() const { return cutoff; }
  double Q() const { return q; }
  // Coefficients and state, for tests: {a1, a2, b0, b1, b2} and {x1, x2, y1, y2}.
  void GetCoefficients(double* out5) const;
  void GetState(double* out4) const;

 protected:
  // w = 2 pi cutoff / sr; alpha = sin(w) / 2Q; n = 1 / (1 + alpha);
  // a1 = -2 cos(w) n; a2 = (1 - alpha) n; b1 = (1 - cos w) n; b0 = b2 = b1 / 2.
  virtual void CalcCoefficients();

  double sampleRate = 44100.0;
  double cutoff = 1.0;
  double q;
  double a1 = 0.0, a2 = 0.0, b0 = 0.0, b1 = 0.0, b2 = 0.0;
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
};
