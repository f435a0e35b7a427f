#include "dsp/PitchDetector.h"

#include <emmintrin.h>

#include <climits>
#include <cmath>

#include "dsp/FFT.h"

namespace {

// trunc toward zero, saturating instead of overflowing (and 0 for NaN).
int TruncSaturate(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

// Silence gate: mean magnitude over the 8192-point frame, as defined.
constexpr double kSilenceMean = 0.0008192;
constexpr float kPeakFloor = 1e-6f;

}  // namespace

void FillAnalysisWindow(float* window) {
  window[0] = 0.0f;
  window[kDetectorSize - 1] = 0.0f;
  for (int i = 1; i < kDetectorSize - 1; ++i) {
    const double v = 0.42 - 0.5 * std::cos(2.0 * M_PI * i / 8191.0) + 0.08 * std::cos(4.0 * M_PI * i / 8191.0);
    window[i] = static_cast<float>(v);
  }
}

void FillBinWeights(float* weights) {
  weights[0] = 0.0f;
  for (int j = 1; j < kDetectorWeights; ++j) weights[j] = static_cast<float>(1.0 / (j * j));
}

DetectorRange UpdateDetectorRange(double sampleRate, double detectorHpf) {
  DetectorRange r;
  const double s = 1.0 / (sampleRate * (1.0 / 8192.0));
  r.minBin = TruncSaturate(s * detectorHpf);
  if (r.minBin < 4) r.minBin = 4;
  r.maxBin = TruncSaturate(s * kDetectorTopHz);
  if (r.maxBin > kDetectorMaxBin) r.maxBin = kDetectorMaxBin;
  r.lookAhead = TruncSaturate(sampleRate / detectorHpf);
  return r;
}

void ApplyWindowReference(float* out, const StereoFrame* in, const float* window, int count) {
  for (int n = 0; n < count; ++n) {
    out[2 * n] = in[n].left * window[n];
    out[2 * n + 1] = in[n].right * window[n];
  }
}

void ApplyWindow(float* out, const StereoFrame* in, const float* window, int count) {
  const float* src = &in[0].left;
  int n = 0;
  for (; n + 2 <= count; n += 2) {
    const __m128 frames = _mm_loadu_ps(src + 2 * n);  // L0 R0 L1 R1
    const __m128 w = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(window + n)));  // w0 w1 0 0
    _mm_storeu_ps(out + 2 * n, _mm_mul_ps(frames, _mm_unpacklo_ps(w, w)));  // w0 w0 w1 w1
  }
  ApplyWindowReference(out + 2 * n, in + n, window + n, count - n);
}

double InterpolatePeak(double a, double b, double c) {
  // f(0) = a, so an infinite or NaN argument means the walk cannot fall:
  // stop at once (evaluating it would only produce inf * 0 = NaN).
  if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return -1.0 - 1.0 / 256.0;
  double previous = 1e7;
  double x = 0.0;
  while (x < 2.0) {
    const double f = a + ((a - 2.0 * b + c) * x - 3.0 * a + 4.0 * b - c) * (x * 0.5);
    if (f >= previous) return x - 1.0 / 256.0 - 1.0;
    previous = f;
    x += 0.0078125;
  }
  return 0.0;
}

double DetectPeriod(const StereoFrame* newest, const float* window, const float* weights, int minBin, int maxBin,
                    double previousPeriod, DetectorScratch* scratch) {
  float* spectrum = scratch->spectrum;
  float* W = scratch->weighted;
  ApplyWindow(spectrum, newest, window, kDetectorSize);
  ComplexFFT(spectrum, kDetectorSize, 0);

  const auto weightedMagnitude = [&](int k, float* magnitude) {
    const int pos = FFTBinPosition(kDetectorSize, k);
    const double re = pos < 0 ? 0.0 : spectrum[2 * pos];
    const double im = pos < 0 ? 0.0 : spectrum[2 * pos + 1];
    *magnitude = static_cast<float>(std::sqrt(re * re + im * im));
    return *magnitude * weights[k];
  };

  float sum = 0.0f;
  int peak = -1;
  float peakW = 0.0f;
  for (int k = minBin; k < maxBin; ++k) {
    float m;
    W[k] = weightedMagnitude(k, &m);
    sum += m;
    if (W[k] > kPeakFloor && (peak < 0 || W[k] > peakW)) {
      peak = k;
      peakW = W[k];
    }
  }
  if (sum * (1.0 / 8192.0) < kSilenceMean) return 0.0;
  if (peak < 0 || peak <= minBin || peak >= maxBin - 1) return previousPeriod;

  int p = peak;
  if (p > 2 * minBin && 4.0f * W[p / 2] > W[p]) {
    p = p / 2;
  } else if (p > 3 * minBin && 4.0f * W[p / 3] > W[p]) {
    p = p / 3;
  }
  if (p == minBin) {
    // The octave check can land on minBin, whose lower neighbour was never
    // searched: weigh it the same way so the refinement stays meaningful.
    float m;
    W[p - 1] = weightedMagnitude(p - 1, &m);
  }
  // A zero neighbour would make 1/W a division by zero; its reciprocal is
  // +inf by definition, which InterpolatePeak treats as "stop at once".
  const auto reciprocal = [](float w) { return w == 0.0f ? HUGE_VAL : 1.0 / static_cast<double>(w); };
  const double d = InterpolatePeak(reciprocal(W[p - 1]), reciprocal(W[p]), reciprocal(W[p + 1]));
  return 8192.0 / (p + d);
}
