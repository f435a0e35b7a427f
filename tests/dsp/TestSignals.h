// Small deterministic helpers shared by the DSP tests: a seeded PRNG (no
// clock, no global state) and tone generators.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// xorshift64*: fixed sequence per seed.
class TestRandom {
 public:
  explicit TestRandom(uint64_t seed) : mState(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next() {
    mState ^= mState >> 12;
    mState ^= mState << 25;
    mState ^= mState >> 27;
    return mState * 0x2545F4914F6CDD1Dull;
  }
  // Uniform in [-1, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * (2.0 / 9007199254740992.0) - 1.0; }

 private:
  uint64_t mState;
};

inline double Sine(double amplitude, double hz, double sampleRate, long frame, double phase = 0.0) {
  return amplitude * std::sin(2.0 * M_PI * hz * frame / sampleRate + phase);
}
