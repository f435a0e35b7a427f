// Pitch-period detector: one windowed 8192-point transform of both channels
// at once (left as the real part, right as the imaginary part), magnitudes
// weighted by 1/k^2 towards low bins, a silence gate, an octave check and a
// fractional refinement of the peak.
//
// Units: periods in frames, bins of the 8192-point transform (bin k stands
// for k * sampleRate / 8192 Hz), the high-pass frequency in Hz.
// Thread: the audio thread (or any thread owning the arguments). No
// allocation, no locking; FFTInit must have run (DetectPeriod answers 0
// otherwise, since every magnitude reads as 0).
#pragma once

#include "dsp/StereoFrame.h"

constexpr int kDetectorSize = 8192;         // frames per analysis
constexpr int kDetectorWeights = 4096;      // entries of the weight table
constexpr int kDetectorMaxBin = 2048;       // maxBin never exceeds this
constexpr double kDetectorTopHz = 10000.0;  // highest frequency searched

// window[0] = window[8191] = 0; window[i] = 0.42 - 0.5 cos(2 pi i / 8191)
// + 0.08 cos(4 pi i / 8191), computed in double, stored as float.
void FillAnalysisWindow(float* window /* 8192 entries */);
// weights[0] = 0; weights[j] = 1 / j^2 (j^2 as an integer), as float.
void FillBinWeights(float* weights /* 4096 entries */);

// The same two tables, process-wide: built on the first call (thread-safe;
// concurrent first callers wait for one build), read-only and never freed
// afterwards, so every engine shares one copy instead of computing its own.
// The window is 32-byte aligned.
const float* SharedAnalysisWindow();  // kDetectorSize entries
const float* SharedBinWeights();      // kDetectorWeights entries

struct DetectorRange {
  int minBin = 4;      // lowest bin searched, >= 4
  int maxBin = 0;      // one past the highest bin searched, <= 2048
  int lookAhead = 0;   // one period of detectorHpf, in frames
};
// With s = 8192 / sampleRate: minBin = max(4, trunc(s * hpf)), maxBin =
// min(2048, trunc(s * 10000)), lookAhead = trunc(sampleRate / hpf).
// sampleRate and detectorHpf must be > 0; out-of-range quotients saturate
// instead of overflowing (lookAhead then reaches INT_MAX, minBin 2048+).
DetectorRange UpdateDetectorRange(double sampleRate, double detectorHpf);

// Working storage of one DetectPeriod call; the caller keeps it (so the
// 64 KiB buffer never lands on the audio thread's stack).
struct DetectorScratch {
  alignas(32) float spectrum[2 * kDetectorSize];  // interleaved complex
  float magnitude[kDetectorMaxBin + 1];           // |Z[k]|, k < maxBin (AVX2: estimates of W[k])
  float weighted[kDetectorMaxBin + 1];            // W[k], k < maxBin (not on the AVX2 path)
};

// Estimates the period of the 8192 frames at newest[0..8191] (oldest
// first). Returns the period in frames, 0 for silence (magnitude sum / 8192
// below 0.0008192), or previousPeriod unchanged when the spectrum has no
// usable peak (none above 1e-6, or at the edges of [minBin, maxBin - 1]).
// weights: at most 2^40 each (the shared table's are at most 1).
// Results lie within 8192 / (maxBin - 0.004) .. 8192 / (minBin - 0.004).
double DetectPeriod(const StereoFrame* newest, const float* window, const float* weights, int minBin, int maxBin,
                    double previousPeriod, DetectorScratch* scratch);

// Walks the parabola through (0, a), (1, b), (2, c) from x = 0 in steps of
// 1/128 until it stops falling; returns the offset of that point from the
// middle sample: -1 - 1/256 + j/128 for some j in 0..255, or exactly 0 when
// it still falls at x = 2. Infinite or NaN arguments (a neighbour with
// magnitude 0) stop the walk at once: -1 - 1/256.
double InterpolatePeak(double a, double b, double c);

// Vector primitives of the detector, each beside its plain reference. The
// dispatching versions run the reference when the layer's path is kScalar
// (dsp/DspPath.h), else SSE2 or AVX2 (also on kAVX512); every lane performs the reference's
// operations in the reference's order, so all paths give the same bits.
// Any count >= 0 and any alignment of the pointers work.
//
// Window: out[2n] = left[n] * w[n], out[2n+1] = right[n] * w[n], n < count.
// (On the AVX2 and AVX-512 paths DetectPeriod has WindowedForwardFFT, dsp/FFT.h, form
// these products inside the transform.)
void ApplyWindowReference(float* out, const StereoFrame* in, const float* window, int count);
void ApplyWindow(float* out, const StereoFrame* in, const float* window, int count);
// Magnitudes of scattered bins: out[i] = float(sqrt(re^2 + im^2)), with re
// and im widened to double, of the complex value at position positions[i]
// of the interleaved spectrum, for i < count.
void GatherMagnitudesReference(float* out, const float* spectrum, const int* positions, int count);
void GatherMagnitudes(float* out, const float* spectrum, const int* positions, int count);
// out[i] = a[i] * b[i] in float, i < count.
void MultiplyFloatsReference(float* out, const float* a, const float* b, int count);
void MultiplyFloats(float* out, const float* a, const float* b, int count);
// Sum of a[0..count) in double, in a fixed order on every path: four
// partial sums, entry i going to sum i % 4 for the whole groups of four,
// combined as (s0 + s2) + (s1 + s3), then the remaining entries added one by
// one. 0 for count 0.
double SumInDoubleReference(const float* a, int count);
double SumInDouble(const float* a, int count);
// The largest of a[0..count) (a value == to it), -infinity for count 0. a
// must hold no NaN.
float MaxFloatReference(const float* a, int count);
float MaxFloat(const float* a, int count);
// The first i < count with a[i] == value, or -1.
int FindFloatReference(const float* a, int count, float value);
int FindFloat(const float* a, int count, float value);
// The detector's pass over its bins, k < count: magnitude[k] =
// GatherMagnitudes of positions[k], weighted[k] = magnitude[k] * weights[k]
// (MultiplyFloats), and of those sum = SumInDouble(magnitude, count), max =
// MaxFloat(weighted, count) and first = FindFloat(weighted, count, max).
// Meaningful only where sum is finite (max needs weighted free of NaN); the
// arrays are written in any case.
struct BinSummary {
  double sum;
  float max;
  int first;
};
BinSummary SummarizeBinsReference(float* magnitude, float* weighted, const float* spectrum, const int* positions,
                                  const float* weights, int count);
BinSummary SummarizeBins(float* magnitude, float* weighted, const float* spectrum, const int* positions,
                         const float* weights, int count);
// The AVX2 detector's pass over its bins, k < count, without a double
// square root (slow on some CPUs): e[k] = sqrt(float(re^2 + im^2)) in
// float, the squares formed as GatherMagnitudes forms them, and
// estimate[k] = e[k] * weights[k]; sum is the float sum of the e[k] in eight
// partial sums (entry k to sum k % 8), combined as ((s0 + s4) + (s2 + s6)) +
// ((s1 + s5) + (s3 + s7)), and max the largest estimate (-infinity for
// count 0; meaningful where sum is finite). Where re^2 + im^2 lies in float's
// normal range, e[k] and estimate[k] are within 4e-7 (relative) of
// GatherMagnitudes' value and of its float product with weights[k]; the sum
// is within 2e-5 of theirs.
struct BinEstimate {
  float sum;
  float max;
};
BinEstimate EstimateBinsReference(float* estimate, const float* spectrum, const int* positions, const float* weights,
                                  int count);
BinEstimate EstimateBins(float* estimate, const float* spectrum, const int* positions, const float* weights,
                         int count);
// The first i < count with a[i] >= value, or -1.
int FindAtLeastReference(const float* a, int count, float value);
int FindAtLeast(const float* a, int count, float value);
// The peak rule over estimates: the first k < count with the largest
// exact(k) above floor, found among the bins whose estimate is at least
// maxEstimate * (1 - 1e-5), which holds every bin that can reach the largest
// where the estimates lie within 4e-7 of exact (as EstimateBins' do). -1
// when no exact value is above floor; *value is the peak's exact value.
template <typename Exact>
int PeakAmongEstimates(const float* estimate, float maxEstimate, int count, float floor, Exact exact, float* value) {
  constexpr double kSlack = 1e-5;
  int peak = -1;
  if (!(maxEstimate * (1.0 + kSlack) > floor)) return peak;  // nothing can exceed it
  const float lowest = static_cast<float>(maxEstimate * (1.0 - kSlack));
  for (int k = FindAtLeast(estimate, count, lowest); k >= 0;) {
    const float w = exact(k);
    if (w > floor && (peak < 0 || w > *value)) {
      peak = k;
      *value = w;
    }
    const int next = FindAtLeast(estimate + k + 1, count - k - 1, lowest);
    k = next < 0 ? -1 : k + 1 + next;
  }
  return peak;
}
