// Flushes subnormal results and inputs to zero for the scope of an audio
// callback, restoring the host's floating-point mode afterwards. Every
// format binding's audio entry opens one, so the effect sees the same mode
// whichever host drives it.
#pragma once

#include <xmmintrin.h>

class ScopedDenormalsOff {
 public:
  ScopedDenormalsOff() : mSaved(_mm_getcsr()) { _mm_setcsr(mSaved | 0x8040); }  // FTZ | DAZ
  ~ScopedDenormalsOff() { _mm_setcsr(mSaved); }
  ScopedDenormalsOff(const ScopedDenormalsOff&) = delete;
  ScopedDenormalsOff& operator=(const ScopedDenormalsOff&) = delete;

 private:
  unsigned mSaved;
};
