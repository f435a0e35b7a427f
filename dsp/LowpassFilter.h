// Second-order low-pass section (cookbook biquad) used on the wet signal.
//
// Units: sample rate and cutoff in Hz, Q dimensionless. Construction gives
// 44100 Hz, cutoff 1 Hz, Q 1/sqrt(2), zero state, coefficients computed.
// Process never returns a value of magnitude below 1e-10 (it returns +1e-10
// instead), so the recursive state never holds subnormal numbers.
// Thread: the owner's (audio thread under the plug-in lock). No allocation.
#pragma once

#include <emmintrin.h>

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
  friend class LowpassPair;

  // w = 2 pi cutoff / sr; alpha = sin(w) / 2Q; n = 1 / (1 + alpha);
  // a1 = -2 cos(w) n; a2 = (1 - alpha) n; b1 = (1 - cos w) n; b0 = b2 = b1 / 2.
  virtual void CalcCoefficients();

  double sampleRate = 44100.0;
  double cutoff = 1.0;
  double q;
  double a1 = 0.0, a2 = 0.0, b0 = 0.0, b1 = 0.0, b2 = 0.0;
  double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
};

// Two filters run side by side in the two double lanes of SSE2 registers
// (lane 0 the first filter, lane 1 the second), for the engine's left and
// right wet signals. Each lane performs Process's operations in Process's
// order, so the results are bit for bit those of Process on each filter.
// The constructor copies both filters' coefficients and state; Store writes
// the state back. Coefficients are not written back: they cannot change here.
class LowpassPair {
 public:
  LowpassPair(const LowpassFilter& first, const LowpassFilter& second)
      : b0(_mm_set_pd(second.b0, first.b0)),
        b1(_mm_set_pd(second.b1, first.b1)),
        b2(_mm_set_pd(second.b2, first.b2)),
        a1(_mm_set_pd(second.a1, first.a1)),
        a2(_mm_set_pd(second.a2, first.a2)),
        x1(_mm_set_pd(second.x1, first.x1)),
        x2(_mm_set_pd(second.x2, first.x2)),
        y1(_mm_set_pd(second.y1, first.y1)),
        y2(_mm_set_pd(second.y2, first.y2)) {}

  // One sample per lane; returns both outputs.
  __m128d Process(__m128d x) {
    __m128d y = _mm_add_pd(_mm_mul_pd(b0, x), _mm_mul_pd(b1, x1));
    y = _mm_add_pd(y, _mm_mul_pd(b2, x2));
    x2 = x1;
    x1 = x;
    return Recur(y);
  }

  // Process in two parts, for loops that form the feed-forward sums
  // b0 x + b1 x1 + b2 x2 of several samples at once (in Process's order,
  // from the coefficients below): Recur takes such a sum and runs the rest
  // of Process, the recursion; it moves y1 and y2 but not x1 and x2, which
  // the loop sets with SetInputs when it is done.
  __m128d Recur(__m128d feedForward) {
    __m128d y = _mm_sub_pd(feedForward, _mm_mul_pd(a1, y1));
    y = _mm_sub_pd(y, _mm_mul_pd(a2, y2));
    const __m128d floor = _mm_set1_pd(1e-10);
    const __m128d tiny = _mm_and_pd(_mm_cmpgt_pd(y, _mm_set1_pd(-1e-10)), _mm_cmplt_pd(y, floor));
    // A branch, like Process: the usual case keeps the comparisons out of
    // the recursion's dependency chain.
    if (_mm_movemask_pd(tiny) != 0) y = _mm_or_pd(_mm_and_pd(tiny, floor), _mm_andnot_pd(tiny, y));
    y2 = y1;
    y1 = y;
    return y;
  }
  __m128d B0() const { return b0; }
  __m128d B1() const { return b1; }
  __m128d B2() const { return b2; }
  __m128d X1() const { return x1; }  // the last input
  __m128d X2() const { return x2; }  // the one before it
  void SetInputs(__m128d last, __m128d beforeLast) {
    x1 = last;
    x2 = beforeLast;
  }

  void Store(LowpassFilter* first, LowpassFilter* second) const {
    _mm_storel_pd(&first->x1, x1);
    _mm_storeh_pd(&second->x1, x1);
    _mm_storel_pd(&first->x2, x2);
    _mm_storeh_pd(&second->x2, x2);
    _mm_storel_pd(&first->y1, y1);
    _mm_storeh_pd(&second->y1, y1);
    _mm_storel_pd(&first->y2, y2);
    _mm_storeh_pd(&second->y2, y2);
  }

 private:
  __m128d b0, b1, b2, a1, a2;
  __m128d x1, x2, y1, y2;
};
