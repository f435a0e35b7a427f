#include "dsp/PitchDetector.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <climits>
#include <cmath>

#include "dsp/DspPath.h"
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

namespace {

struct SharedTables {
  SharedTables() {
    FillAnalysisWindow(window);
    FillBinWeights(weights);
  }
  alignas(32) float window[kDetectorSize];
  float weights[kDetectorWeights];
};

// A function-local static: its first build is thread-safe and it is built
// only by a process that creates an engine.
const SharedTables& Tables() {
  static const SharedTables tables;
  return tables;
}

}  // namespace

const float* SharedAnalysisWindow() { return Tables().window; }
const float* SharedBinWeights() { return Tables().weights; }

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

namespace {

#define DUV_AVX2 __attribute__((target("avx2")))

// Two frames per step: (L0 R0 L1 R1) * (w0 w0 w1 w1).
int ApplyWindowSse2(float* out, const float* src, const float* window, int count) {
  int n = 0;
  for (; n + 2 <= count; n += 2) {
    const __m128 frames = _mm_loadu_ps(src + 2 * n);
    const __m128 w = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(window + n)));  // w0 w1 0 0
    _mm_storeu_ps(out + 2 * n, _mm_mul_ps(frames, _mm_unpacklo_ps(w, w)));
  }
  return n;
}

// Four frames per step: (L0 R0 .. L3 R3) * (w0 w0 w1 w1 | w2 w2 w3 w3).
DUV_AVX2 int ApplyWindowAvx2(float* out, const float* src, const float* window, int count) {
  int n = 0;
  for (; n + 4 <= count; n += 4) {
    const __m256 frames = _mm256_loadu_ps(src + 2 * n);
    const __m128 w = _mm_loadu_ps(window + n);
    const __m256 ww = _mm256_set_m128(_mm_unpackhi_ps(w, w), _mm_unpacklo_ps(w, w));
    _mm256_storeu_ps(out + 2 * n, _mm256_mul_ps(frames, ww));
  }
  return n;
}

// (re0 im0 re1 im1) of two bins -> float(sqrt(re^2 + im^2)) of both, in double.
inline __m128 MagnitudesOfPairs(__m128 pairs) {
  const __m128 split = _mm_shuffle_ps(pairs, pairs, _MM_SHUFFLE(3, 1, 2, 0));  // re0 re1 im0 im1
  const __m128d re = _mm_cvtps_pd(split);
  const __m128d im = _mm_cvtps_pd(_mm_movehl_ps(split, split));
  return _mm_cvtpd_ps(_mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(re, re), _mm_mul_pd(im, im))));
}

inline __m128 LoadPair(const float* p) { return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))); }

int GatherMagnitudesSse2(float* out, const float* spectrum, const int* positions, int count) {
  int i = 0;
  for (; i + 2 <= count; i += 2) {
    const __m128 pairs = _mm_movelh_ps(LoadPair(spectrum + 2 * positions[i]), LoadPair(spectrum + 2 * positions[i + 1]));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_castps_si128(MagnitudesOfPairs(pairs)));
  }
  return i;
}

// Four bins per step. The pairs are fetched with plain 64-bit loads: the
// gather instruction is slower than that on CPUs with its microcode fix.
DUV_AVX2 int GatherMagnitudesAvx2(float* out, const float* spectrum, const int* positions, int count) {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128 lo = _mm_movelh_ps(LoadPair(spectrum + 2 * positions[i]), LoadPair(spectrum + 2 * positions[i + 1]));
    const __m128 hi =
        _mm_movelh_ps(LoadPair(spectrum + 2 * positions[i + 2]), LoadPair(spectrum + 2 * positions[i + 3]));
    const __m256d re = _mm256_cvtps_pd(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));  // re0 re1 re2 re3
    const __m256d im = _mm256_cvtps_pd(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));  // im0 im1 im2 im3
    const __m256d sq = _mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im));
    _mm_storeu_ps(out + i, _mm256_cvtpd_ps(_mm256_sqrt_pd(sq)));
  }
  return i;
}

int MultiplyFloatsSse2(float* out, const float* a, const float* b, int count) {
  int i = 0;
  for (; i + 4 <= count; i += 4) _mm_storeu_ps(out + i, _mm_mul_ps(_mm_loadu_ps(a + i), _mm_loadu_ps(b + i)));
  return i;
}

DUV_AVX2 int MultiplyFloatsAvx2(float* out, const float* a, const float* b, int count) {
  int i = 0;
  for (; i + 8 <= count; i += 8) _mm256_storeu_ps(out + i, _mm256_mul_ps(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i)));
  return i;
}

// Whole groups of four into the partial sums s[0..3] (lanes of two SSE2
// registers, or of one AVX2 register): entry i to s[i % 4].
int SumQuadsSse2(const float* a, int count, double* s) {
  __m128d s01 = _mm_setzero_pd(), s23 = _mm_setzero_pd();
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128 v = _mm_loadu_ps(a + i);
    s01 = _mm_add_pd(s01, _mm_cvtps_pd(v));
    s23 = _mm_add_pd(s23, _mm_cvtps_pd(_mm_movehl_ps(v, v)));
  }
  _mm_storeu_pd(s, s01);
  _mm_storeu_pd(s + 2, s23);
  return i;
}

DUV_AVX2 int SumQuadsAvx2(const float* a, int count, double* s) {
  __m256d acc = _mm256_setzero_pd();
  int i = 0;
  for (; i + 4 <= count; i += 4) acc = _mm256_add_pd(acc, _mm256_cvtps_pd(_mm_loadu_ps(a + i)));
  _mm256_storeu_pd(s, acc);
  return i;
}

int SumQuadsReference(const float* a, int count, double* s) {
  s[0] = s[1] = s[2] = s[3] = 0.0;
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    for (int j = 0; j < 4; ++j) s[j] += a[i + j];
  }
  return i;
}

double FinishSum(const float* a, int count, int done, const double* s) {
  double sum = (s[0] + s[2]) + (s[1] + s[3]);
  for (int i = done; i < count; ++i) sum += a[i];
  return sum;
}

// Maximum of the whole groups of four into *max (starting from *max).
int MaxQuadsSse2(const float* a, int count, float* max) {
  __m128 m = _mm_set1_ps(*max);
  int i = 0;
  for (; i + 4 <= count; i += 4) m = _mm_max_ps(m, _mm_loadu_ps(a + i));
  m = _mm_max_ps(m, _mm_movehl_ps(m, m));
  m = _mm_max_ss(m, _mm_shuffle_ps(m, m, _MM_SHUFFLE(1, 1, 1, 1)));
  *max = _mm_cvtss_f32(m);
  return i;
}

// The first a[i] that compare(a[i], value) accepts within the whole groups
// of four (compare: _mm_cmpeq_ps or _mm_cmpge_ps), or -1; *done is how far
// it looked.
template <__m128 (*compare)(__m128, __m128)>
int FindQuadsSse2(const float* a, int count, float value, int* done) {
  const __m128 v = _mm_set1_ps(value);
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const int hits = _mm_movemask_ps(compare(_mm_loadu_ps(a + i), v));
    if (hits != 0) return i + __builtin_ctz(static_cast<unsigned>(hits));
  }
  *done = i;
  return -1;
}
inline __m128 Equal(__m128 a, __m128 b) { return _mm_cmpeq_ps(a, b); }
inline __m128 AtLeast(__m128 a, __m128 b) { return _mm_cmpge_ps(a, b); }

// re^2 + im^2 in double of the four bins at positions[0..3].
DUV_AVX2 inline __m256d SquaresOfQuad(const float* spectrum, const int* positions) {
  const __m128 lo = _mm_movelh_ps(LoadPair(spectrum + 2 * positions[0]), LoadPair(spectrum + 2 * positions[1]));
  const __m128 hi = _mm_movelh_ps(LoadPair(spectrum + 2 * positions[2]), LoadPair(spectrum + 2 * positions[3]));
  const __m256d re = _mm256_cvtps_pd(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
  const __m256d im = _mm256_cvtps_pd(_mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
  return _mm256_add_pd(_mm256_mul_pd(re, re), _mm256_mul_pd(im, im));
}

// EstimateBins' whole groups of eight: the estimates stored, the partial
// sums into s[0..7] and the largest estimate into *max. Returns the bins done.
DUV_AVX2 int EstimateOctetsAvx2(float* estimate, const float* spectrum, const int* positions, const float* weights,
                                int count, float* s, float* max) {
  __m256 sum = _mm256_setzero_ps(), peak = _mm256_set1_ps(-HUGE_VALF);
  int i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128 low = _mm256_cvtpd_ps(SquaresOfQuad(spectrum, positions + i));
    const __m128 high = _mm256_cvtpd_ps(SquaresOfQuad(spectrum, positions + i + 4));
    const __m256 e = _mm256_sqrt_ps(_mm256_set_m128(high, low));
    const __m256 w = _mm256_mul_ps(e, _mm256_loadu_ps(weights + i));
    _mm256_storeu_ps(estimate + i, w);
    sum = _mm256_add_ps(sum, e);
    peak = _mm256_max_ps(peak, w);
  }
  _mm256_storeu_ps(s, sum);
  const __m128 top = _mm_max_ps(_mm256_castps256_ps128(peak), _mm256_extractf128_ps(peak, 1));
  const __m128 pair = _mm_max_ps(top, _mm_movehl_ps(top, top));
  *max = _mm_cvtss_f32(_mm_max_ss(pair, _mm_shuffle_ps(pair, pair, _MM_SHUFFLE(1, 1, 1, 1))));
  return i;
}

#undef DUV_AVX2

}  // namespace

double SumInDoubleReference(const float* a, int count) {
  double s[4];
  const int done = SumQuadsReference(a, count, s);
  return FinishSum(a, count, done, s);
}

double SumInDouble(const float* a, int count) {
  double s[4];
  const DspPath path = ActiveDspPath();
  const int done = UsesAvx2(path)           ? SumQuadsAvx2(a, count, s)
                   : path == DspPath::kSSE2 ? SumQuadsSse2(a, count, s)
                                            : SumQuadsReference(a, count, s);
  return FinishSum(a, count, done, s);
}

float MaxFloatReference(const float* a, int count) {
  float max = -HUGE_VALF;
  for (int i = 0; i < count; ++i) max = a[i] > max ? a[i] : max;
  return max;
}

float MaxFloat(const float* a, int count) {
  float max = -HUGE_VALF;
  int done = 0;
  if (ActiveDspPath() != DspPath::kScalar) done = MaxQuadsSse2(a, count, &max);
  const float rest = MaxFloatReference(a + done, count - done);
  return rest > max ? rest : max;
}

int FindFloatReference(const float* a, int count, float value) {
  for (int i = 0; i < count; ++i) {
    if (a[i] == value) return i;
  }
  return -1;
}

int FindFloat(const float* a, int count, float value) {
  int done = 0;
  if (ActiveDspPath() != DspPath::kScalar) {
    const int hit = FindQuadsSse2<Equal>(a, count, value, &done);
    if (hit >= 0) return hit;
  }
  const int hit = FindFloatReference(a + done, count - done, value);
  return hit < 0 ? -1 : done + hit;
}

// Each dispatching version runs its widest vector body, then hands the tail
// (count - done items) to the next narrower one, the reference last.
void ApplyWindow(float* out, const StereoFrame* in, const float* window, int count) {
  const DspPath path = ActiveDspPath();
  int done = 0;
  if (UsesAvx2(path)) done = ApplyWindowAvx2(out, &in[0].left, window, count);
  if (path != DspPath::kScalar) done += ApplyWindowSse2(out + 2 * done, &in[done].left, window + done, count - done);
  ApplyWindowReference(out + 2 * done, in + done, window + done, count - done);
}

void GatherMagnitudesReference(float* out, const float* spectrum, const int* positions, int count) {
  for (int i = 0; i < count; ++i) {
    const double re = spectrum[2 * positions[i]];
    const double im = spectrum[2 * positions[i] + 1];
    out[i] = static_cast<float>(std::sqrt(re * re + im * im));
  }
}

void GatherMagnitudes(float* out, const float* spectrum, const int* positions, int count) {
  const DspPath path = ActiveDspPath();
  int done = 0;
  if (UsesAvx2(path)) done = GatherMagnitudesAvx2(out, spectrum, positions, count);
  if (path != DspPath::kScalar) done += GatherMagnitudesSse2(out + done, spectrum, positions + done, count - done);
  GatherMagnitudesReference(out + done, spectrum, positions + done, count - done);
}

void MultiplyFloatsReference(float* out, const float* a, const float* b, int count) {
  for (int i = 0; i < count; ++i) out[i] = a[i] * b[i];
}

void MultiplyFloats(float* out, const float* a, const float* b, int count) {
  const DspPath path = ActiveDspPath();
  int done = 0;
  if (UsesAvx2(path)) done = MultiplyFloatsAvx2(out, a, b, count);
  if (path != DspPath::kScalar) done += MultiplyFloatsSse2(out + done, a + done, b + done, count - done);
  MultiplyFloatsReference(out + done, a + done, b + done, count - done);
}

BinSummary SummarizeBinsReference(float* magnitude, float* weighted, const float* spectrum, const int* positions,
                                  const float* weights, int count) {
  GatherMagnitudesReference(magnitude, spectrum, positions, count);
  MultiplyFloatsReference(weighted, magnitude, weights, count);
  const float max = MaxFloatReference(weighted, count);
  return {SumInDoubleReference(magnitude, count), max, FindFloatReference(weighted, count, max)};
}

BinSummary SummarizeBins(float* magnitude, float* weighted, const float* spectrum, const int* positions,
                         const float* weights, int count) {
  GatherMagnitudes(magnitude, spectrum, positions, count);
  MultiplyFloats(weighted, magnitude, weights, count);
  const float max = MaxFloat(weighted, count);
  return {SumInDouble(magnitude, count), max, FindFloat(weighted, count, max)};
}

namespace {

// EstimateBins' reference step for bin k: its estimate, with the partial
// sums and the maximum moved on.
inline void EstimateStep(float* estimate, const float* spectrum, const int* positions, const float* weights, int k,
                         float* s, float* max) {
  const double re = spectrum[2 * positions[k]];
  const double im = spectrum[2 * positions[k] + 1];
  const float e = std::sqrt(static_cast<float>(re * re + im * im));
  estimate[k] = e * weights[k];
  s[k % 8] += e;
  if (estimate[k] > *max) *max = estimate[k];
}

float CombineEight(const float* s) { return ((s[0] + s[4]) + (s[2] + s[6])) + ((s[1] + s[5]) + (s[3] + s[7])); }

}  // namespace

BinEstimate EstimateBinsReference(float* estimate, const float* spectrum, const int* positions, const float* weights,
                                  int count) {
  float s[8] = {};
  float max = -HUGE_VALF;
  for (int k = 0; k < count; ++k) EstimateStep(estimate, spectrum, positions, weights, k, s, &max);
  return {CombineEight(s), max};
}

BinEstimate EstimateBins(float* estimate, const float* spectrum, const int* positions, const float* weights,
                         int count) {
  if (!UsesAvx2(ActiveDspPath())) return EstimateBinsReference(estimate, spectrum, positions, weights, count);
  float s[8];
  float max;
  const int done = EstimateOctetsAvx2(estimate, spectrum, positions, weights, count, s, &max);
  for (int k = done; k < count; ++k) EstimateStep(estimate, spectrum, positions, weights, k, s, &max);
  return {CombineEight(s), max};
}

int FindAtLeastReference(const float* a, int count, float value) {
  for (int i = 0; i < count; ++i) {
    if (a[i] >= value) return i;
  }
  return -1;
}

int FindAtLeast(const float* a, int count, float value) {
  int done = 0;
  if (ActiveDspPath() != DspPath::kScalar) {
    const int hit = FindQuadsSse2<AtLeast>(a, count, value, &done);
    if (hit >= 0) return hit;
  }
  const int hit = FindAtLeastReference(a + done, count - done, value);
  return hit < 0 ? -1 : done + hit;
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
  // The window's products as ApplyWindow forms them, inside the transform's
  // first pass on the AVX2 and AVX-512 paths (one pass less over 64 KiB);
  // the others keep the vector window, then the transform.
  if (UsesAvx2(ActiveDspPath())) {
    WindowedForwardFFT(spectrum, &newest[0].left, window, kDetectorSize);
  } else {
    ApplyWindow(spectrum, newest, window, kDetectorSize);
    ComplexFFT(spectrum, kDetectorSize, 0);
  }

  const int* positions = FFTBinPositions(kDetectorSize);
  if (positions == nullptr) return 0.0;  // tables not built: every magnitude reads as 0, silence
  const auto weightedMagnitude = [&](int k) {
    const double re = spectrum[2 * positions[k]];
    const double im = spectrum[2 * positions[k] + 1];
    return static_cast<float>(std::sqrt(re * re + im * im)) * weights[k];
  };

  // Magnitudes and weighted magnitudes are independent per bin (vector
  // primitives); the float sum must keep its bin-by-bin order, and the peak
  // its first-of-equals rule, so both stay one sequential pass.
  float* M = scratch->magnitude;
  float sum = 0.0f;
  int peak = -1;
  float peakW = 0.0f;
  const int count = maxBin - minBin;
  const DspPath path = ActiveDspPath();
  // The fast gate's margin (relative): with n <= 2048 terms, all >= 0, the
  // float sum in bin order lies within n * 2^-24 < 1.3e-4 of the exact sum,
  // and the vector sums (BinSummary's double sum, BinEstimate's float
  // estimate) within 2e-5 of it (squares below float's range, estimated at
  // most 2^-63 too low each, move the estimate by less than 2^-52): outside
  // this margin around the threshold all answer alike; inside it the float
  // sum is formed as defined.
  constexpr double kGateMargin = 1e-3;
  const auto gate = [&](double wideSum, bool magnitudesFormed) {
    const double mean = wideSum * (1.0 / 8192.0);
    if (mean >= kSilenceMean * (1.0 + kGateMargin)) return false;
    if (mean < kSilenceMean * (1.0 - kGateMargin)) return true;
    if (!magnitudesFormed) GatherMagnitudes(M + minBin, spectrum, positions + minBin, count);
    for (int k = minBin; k < maxBin; ++k) sum += M[k];
    return sum * (1.0 / 8192.0) < kSilenceMean;
  };
  bool silent = false;
  bool decided = false;
  if (count > 0 && UsesAvx2(path)) {
    // No double square root per bin: the estimates find the few bins that
    // can hold the largest W, whose W are then formed exactly, in bin order.
    // A peak above the floor has magnitude above 1e-6 / 2^40, inside float's
    // normal range, where the estimates hold.
    const BinEstimate estimate = EstimateBins(M + minBin, spectrum, positions + minBin, weights + minBin, count);
    if (std::isfinite(estimate.sum)) {
      const int k = PeakAmongEstimates(M + minBin, estimate.max, count, kPeakFloor,
                                       [&](int i) { return weightedMagnitude(minBin + i); }, &peakW);
      if (k >= 0) peak = minBin + k;
      silent = gate(estimate.sum, false);
      decided = true;
    }
  } else if (count > 0 && path != DspPath::kScalar) {
    const BinSummary bins = SummarizeBins(M + minBin, W + minBin, spectrum, positions + minBin, weights + minBin, count);
    if (std::isfinite(bins.sum)) {
      // The peak is the first bin holding the largest W (max is exact in
      // any order); with a finite sum there is no NaN among the W.
      if (bins.max > kPeakFloor) {
        peak = minBin + bins.first;
        peakW = bins.max;
      }
      silent = gate(bins.sum, true);
      decided = true;
    }
  }
  if (!decided) {
    // The definition: one pass in bin order.
    GatherMagnitudes(M + minBin, spectrum, positions + minBin, count);
    MultiplyFloats(W + minBin, M + minBin, weights + minBin, count);
    for (int k = minBin; k < maxBin; ++k) {
      sum += M[k];
      if (W[k] > kPeakFloor && (peak < 0 || W[k] > peakW)) {
        peak = k;
        peakW = W[k];
      }
    }
    silent = sum * (1.0 / 8192.0) < kSilenceMean;
  }
  if (silent) return 0.0;
  if (peak < 0 || peak <= minBin || peak >= maxBin - 1) return previousPeriod;

  // peakW is the peak's W on every path; the refinement weighs its other
  // few bins as the pass does (minBin - 1, which the octave check can make a
  // neighbour, was never searched).
  int p = peak;
  if (p > 2 * minBin && 4.0f * weightedMagnitude(p / 2) > peakW) {
    p = p / 2;
  } else if (p > 3 * minBin && 4.0f * weightedMagnitude(p / 3) > peakW) {
    p = p / 3;
  }
  // A zero neighbour would make 1/W a division by zero; its reciprocal is
  // +inf by definition, which InterpolatePeak treats as "stop at once".
  const auto reciprocal = [](float w) { return w == 0.0f ? HUGE_VAL : 1.0 / static_cast<double>(w); };
  const double d = InterpolatePeak(reciprocal(weightedMagnitude(p - 1)), reciprocal(weightedMagnitude(p)),
                                   reciprocal(weightedMagnitude(p + 1)));
  return 8192.0 / (p + d);
}
