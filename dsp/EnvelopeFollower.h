// Peak envelope follower with separate attack and release times; the effect
// uses it on the input sum to recognise onsets (transients).
//
// Units: sample rate in Hz, times in ms. Construction: 44100 Hz, everything
// else 0 (a follower with both coefficients 0 simply returns |x|).
// Thread: the owner's (audio thread under the plug-in lock). No allocation.
#pragma once

#include <cmath>

class EnvelopeFollower {
 public:
  // Stores sr (> 0), clears the envelope and recomputes both coefficients
  // from the stored times.
  void SetSampleRate(double sampleRate);
  // ms == 0 sets the coefficient to 0 and keeps the stored time; otherwise
  // the time is stored and the coefficient is exp(-1000 / (ms * sr)).
  void SetAttack(double ms);
  void SetRelease(double ms);
  // a = |x|; envelope = a + (envelope - a) * (attack coef if a > envelope,
  // else release coef). Returns the new envelope. Inline for the per-frame
  // loop, which keeps a local copy in registers.
  double Process(double x) {
    const double a = std::fabs(x);
    // A branch, not a select: a select would sit on the chain from one
    // frame's envelope to the next, and the attack case is short and rare.
    if (__builtin_expect(a > envelope, 0)) {
      envelope = a + (envelope - a) * attackCoef;
    } else {
      envelope = a + (envelope - a) * releaseCoef;
    }
    if (envelope < kFlushBelow) {
      // Kept a branch (the empty statement cannot be turned into a select):
      // a select would lengthen the chain by a compare and a blend. (Vector
      // code that inlines this must clear the registers' upper halves
      // itself: the compiler's automatic clearing stops at an asm.)
      __asm__("");
      envelope = 0.0;
    }
    return envelope;
  }

  double SampleRate() const { return sampleRate; }
  double Value() const { return envelope; }
  double AttackMs() const { return attackMs; }
  double ReleaseMs() const { return releaseMs; }
  double AttackCoefficient() const { return attackCoef; }
  double ReleaseCoefficient() const { return releaseCoef; }

 private:
  // Below this the release tail is flushed to 0 so the state never turns
  // subnormal in long silence (it would otherwise after about 10 s at 15 ms).
  // Any nonzero input is at least ~1e-26 (inputs below 1e-10 arrive as 0), so
  // a value this small cannot change a later sum, and compared with 16 times
  // it any input above 0.01 wins either way: results are unchanged.
  static constexpr double kFlushBelow = 1e-290;

  static double Coefficient(double ms, double sampleRate);

  double sampleRate = 44100.0;
  double envelope = 0.0;
  double attackMs = 0.0;
  double releaseMs = 0.0;
  double attackCoef = 0.0;
  double releaseCoef = 0.0;
};
