// Conjugate-pair split-radix FFT. One routine per size and direction is
// instantiated from a template recursion (half, then the two last quarters),
// so a transform of a given size is a fixed sequence of calls and the output
// stays in the recursion's order: no bit-reversal pass.
//
// Three implementations of the radix pass sit side by side: the scalar
// reference (reads the compact twiddle tables exactly as they are defined),
// SSE2 (2 complex per register) and AVX2 (4 per register). The vector passes
// perform, lane by lane, the same IEEE operations in the same order as the
// reference (a - b is computed as a + (-b), which is exact), and the project
// builds with -ffp-contract=off, so all three give identical bits. The
// forward kernels of sizes 8 and 16 (half of a transform's work) have an
// SSE2 version; sizes 2 and 4 and the inverse kernels are shared
// straight-line scalar code. The AVX2 forward transforms of size 32 and up
// keep their data in blocks of 8 real and 8 imaginary parts between the
// passes (Avx2Blocked below), where the radix step needs no shuffles, and
// can form a window's products inside their first pass (WindowedForwardFFT).
// The AVX-512 path runs the AVX2 code, and keeps its sub-transforms of size
// 64 in the 32 registers of AVX-512 VL (Avx512Blocked); it never uses
// 512-bit vectors.
#include "dsp/FFT.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cmath>
#include <mutex>
#include <utility>

namespace {

// ---------------------------------------------------------------- tables

constexpr int kLog2Max = 15;           // 32768
constexpr int kPositionEntries = 65520;  // sum of n for n = 16..32768

// Compact twiddles as defined for the format: for size n the values
// (cos tk, sin tk), t = 2pi/n, k = 1..M, M = n/4-1 up to 512, n/8-1 above.
constexpr int CompactCount(int n) { return n <= 512 ? n / 4 - 1 : n / 8 - 1; }
constexpr int CompactTotal() {
  int total = 0;
  for (int n = 16; n <= kFFTMaxSize; n *= 2) total += CompactCount(n);
  return total;
}
// Expanded twiddles for the vector passes: w^j for j = 0..n/4-1 per size
// 32..32768, derived from the compact tables (same float values).
constexpr int FullTotal() {
  int total = 0;
  for (int n = 32; n <= kFFTMaxSize; n *= 2) total += n / 4;
  return total;
}

float sCompact[2 * CompactTotal()];
int sCompactOffset[kLog2Max + 1];  // in floats, per log2(n), n >= 16
alignas(32) float sFull[2 * FullTotal()];
int sFullOffset[kLog2Max + 1];  // in floats, per log2(n), n >= 32
// The same twiddles in the blocked layout of the AVX2 forward passes (see
// Avx2Blocked below): per 8 values of j, their 8 cosines, then their 8
// sines, in the block's lane order. Offsets as sFull's.
alignas(32) float sBlocked[2 * FullTotal()];
int sPositions[kPositionEntries];
// Twiddles of the vector size 8 and 16 kernels, from the same constants as
// the reference kernels: (1, 0) (c45, c45) and (1, 0) (c22, s22) (c45, c45) (s22, c22).
alignas(16) float sLeafTwiddles[12];
std::atomic<bool> sTablesBuilt{false};
std::once_flag sInitOnce;

// Blocked layout of the AVX2 forward passes: the complex values 8b..8b+7
// form block b, 16 floats: their 8 real parts, then their 8 imaginary
// parts, value 8b + i in lane kBlockLaneOf[i] of both halves. That order,
// 0 1 4 5 2 3 6 7, is what one in-lane shuffle of two interleaved registers
// gives, and one undoes; the passes work lane by lane and never see it.
constexpr int kBlockLaneOf[8] = {0, 1, 4, 5, 2, 3, 6, 7};

int Log2OfPowerOfTwo(int n) {
  if (n < kFFTMinSize || n > kFFTMaxSize || (n & (n - 1)) != 0) return -1;
  return __builtin_ctz(static_cast<unsigned>(n));
}

const float* Compact(int n) { return sCompact + sCompactOffset[Log2OfPowerOfTwo(n)]; }
const float* Full(int n) { return sFull + sFullOffset[Log2OfPowerOfTwo(n)]; }

// Constants of the size 8 and 16 kernels, taken from the size-16 table.
float Cos45() { return Compact(16)[2]; }       // k = 2: cos(pi/4)
float Cos22() { return Compact(16)[0]; }       // k = 1: cos(pi/8)
float Sin22() { return Compact(16)[1]; }       // k = 1: sin(pi/8)

// w^j = exp(+2*pi*i*j/n) for 1 <= j < n/4, read from the compact table:
// directly up to 512; above, directly below n/8, e^(i*pi/4) at n/8, and
// mirrored with cosine and sine exchanged beyond (w^j = (sin tk, cos tk),
// k = n/4 - j).
void TwiddleAt(int n, int j, float* c, float* s) {
  const float* t = Compact(n);
  const int eighth = n / 8;
  if (n <= 512 || j < eighth) {
    *c = t[2 * (j - 1)];
    *s = t[2 * (j - 1) + 1];
  } else if (j == eighth) {
    *c = Cos45();
    *s = Cos45();
  } else {
    const int k = n / 4 - j;
    *c = t[2 * (k - 1) + 1];
    *s = t[2 * (k - 1)];
  }
}

void BuildTables() {
  int offset = 0;
  for (int n = 16; n <= kFFTMaxSize; n *= 2) {
    sCompactOffset[Log2OfPowerOfTwo(n)] = offset;
    const double theta = 2.0 * M_PI / n;
    for (int k = 1; k <= CompactCount(n); ++k) {
      sCompact[offset++] = static_cast<float>(std::cos(theta * k));
      sCompact[offset++] = static_cast<float>(std::sin(theta * k));
    }
  }
  offset = 0;
  for (int n = 32; n <= kFFTMaxSize; n *= 2) {
    sFullOffset[Log2OfPowerOfTwo(n)] = offset;
    sFull[offset] = 1.0f;  // w^0, never multiplied with (the passes skip it)
    sFull[offset + 1] = 0.0f;
    for (int j = 1; j < n / 4; ++j) TwiddleAt(n, j, &sFull[offset + 2 * j], &sFull[offset + 2 * j + 1]);
    offset += 2 * (n / 4);
  }
  for (int n = 32; n <= kFFTMaxSize; n *= 2) {
    const int base = sFullOffset[Log2OfPowerOfTwo(n)];
    for (int j = 0; j < n / 4; ++j) {
      const int block = j / 8, lane = kBlockLaneOf[j % 8];
      sBlocked[base + 16 * block + lane] = sFull[base + 2 * j];
      sBlocked[base + 16 * block + 8 + lane] = sFull[base + 2 * j + 1];
    }
  }
  for (int n = 16; n <= kFFTMaxSize; n *= 2) {
    int* run = sPositions + (n - 16);
    run[0] = 0;
    for (int i = 1; i < n; ++i) run[n - static_cast<int>(FrequencyIndex(static_cast<unsigned>(i), static_cast<unsigned>(n)))] = i;
  }
  const float c45 = Cos45(), c22 = Cos22(), s22 = Sin22();
  const float leaf[12] = {1.0f, 0.0f, c45, c45, 1.0f, 0.0f, c22, s22, c45, c45, s22, c22};
  std::copy(leaf, leaf + 12, sLeafTwiddles);
  sTablesBuilt.store(true, std::memory_order_release);
}

// ---------------------------------------------------------------- scalar steps
// Indices are in complex values; a points at interleaved floats.

// Forward radix step for one j: u = a0 - a2, v = a1 - a3; a0 += a2; a1 += a3;
// a2 = (u + iv) w; a3 = (u - iv) conj(w).
inline void ForwardStep(float* a, int q, int j, float c, float s) {
  float* p0 = a + 2 * j;
  float* p1 = a + 2 * (j + q);
  float* p2 = a + 2 * (j + 2 * q);
  float* p3 = a + 2 * (j + 3 * q);
  const float ur = p0[0] - p2[0], ui = p0[1] - p2[1];
  const float vr = p1[0] - p3[0], vi = p1[1] - p3[1];
  p0[0] = p0[0] + p2[0];
  p0[1] = p0[1] + p2[1];
  p1[0] = p1[0] + p3[0];
  p1[1] = p1[1] + p3[1];
  const float xr = ur - vi, xi = ui + vr;  // u + iv
  const float yr = ur + vi, yi = ui - vr;  // u - iv
  p2[0] = xr * c - xi * s;
  p2[1] = xr * s + xi * c;
  p3[0] = yr * c + yi * s;
  p3[1] = yi * c - yr * s;
}

// The same for w = 1 (no multiplication, so zeros and infinities pass unchanged).
inline void ForwardStepUnit(float* a, int q) {
  float* p0 = a;
  float* p1 = a + 2 * q;
  float* p2 = a + 4 * q;
  float* p3 = a + 6 * q;
  const float ur = p0[0] - p2[0], ui = p0[1] - p2[1];
  const float vr = p1[0] - p3[0], vi = p1[1] - p3[1];
  p0[0] = p0[0] + p2[0];
  p0[1] = p0[1] + p2[1];
  p1[0] = p1[0] + p3[0];
  p1[1] = p1[1] + p3[1];
  p2[0] = ur - vi;
  p2[1] = ui + vr;
  p3[0] = ur + vi;
  p3[1] = ui - vr;
}

// Inverse radix step: t1 = a2 conj(w), t2 = a3 w, s = t1 + t2, d = t1 - t2;
// a0, a2 = a0 +- s; a1 = a1 - i d; a3 = a1 + i d.
inline void InverseCombine(float* p0, float* p1, float* p2, float* p3, float t1r, float t1i, float t2r,
                           float t2i) {
  const float sr = t1r + t2r, si = t1i + t2i;
  const float dr = t1r - t2r, di = t1i - t2i;
  const float ar = p0[0], ai = p0[1];
  const float br = p1[0], bi = p1[1];
  p0[0] = ar + sr;
  p0[1] = ai + si;
  p2[0] = ar - sr;
  p2[1] = ai - si;
  p1[0] = br + di;
  p1[1] = bi - dr;
  p3[0] = br - di;
  p3[1] = bi + dr;
}

inline void InverseStep(float* a, int q, int j, float c, float s) {
  float* p0 = a + 2 * j;
  float* p1 = a + 2 * (j + q);
  float* p2 = a + 2 * (j + 2 * q);
  float* p3 = a + 2 * (j + 3 * q);
  const float t1r = p2[0] * c + p2[1] * s, t1i = p2[1] * c - p2[0] * s;
  const float t2r = p3[0] * c - p3[1] * s, t2i = p3[0] * s + p3[1] * c;
  InverseCombine(p0, p1, p2, p3, t1r, t1i, t2r, t2i);
}

inline void InverseStepUnit(float* a, int q) {
  float* p2 = a + 4 * q;
  float* p3 = a + 6 * q;
  InverseCombine(a, a + 2 * q, p2, p3, p2[0], p2[1], p3[0], p3[1]);
}

// ---------------------------------------------------------------- small kernels

inline void Kernel2(float* a) {
  const float r0 = a[0], i0 = a[1], r1 = a[2], i1 = a[3];
  a[0] = r0 + r1;
  a[1] = i0 + i1;
  a[2] = r0 - r1;
  a[3] = i0 - i1;
}

void Forward4(float* a) {
  ForwardStepUnit(a, 1);
  Kernel2(a);
}
void Forward8(float* a) {
  const float c45 = Cos45();
  ForwardStepUnit(a, 2);
  ForwardStep(a, 2, 1, c45, c45);
  Forward4(a);
  Kernel2(a + 8);
  Kernel2(a + 12);
}
void Forward16(float* a) {
  const float c45 = Cos45(), c22 = Cos22(), s22 = Sin22();
  ForwardStepUnit(a, 4);
  ForwardStep(a, 4, 1, c22, s22);
  ForwardStep(a, 4, 2, c45, c45);
  ForwardStep(a, 4, 3, s22, c22);  // w^3 = (cos 3pi/8, sin 3pi/8) = (sin pi/8, cos pi/8)
  Forward8(a);
  Forward4(a + 16);
  Forward4(a + 24);
}
void Inverse4(float* a) {
  Kernel2(a);
  InverseStepUnit(a, 1);
}
void Inverse8(float* a) {
  const float c45 = Cos45();
  Inverse4(a);
  Kernel2(a + 8);
  Kernel2(a + 12);
  InverseStepUnit(a, 2);
  InverseStep(a, 2, 1, c45, c45);
}
void Inverse16(float* a) {
  const float c45 = Cos45(), c22 = Cos22(), s22 = Sin22();
  Inverse8(a);
  Inverse4(a + 16);
  Inverse4(a + 24);
  InverseStepUnit(a, 4);
  InverseStep(a, 4, 1, c22, s22);
  InverseStep(a, 4, 2, c45, c45);
  InverseStep(a, 4, 3, s22, c22);
}

// ---------------------------------------------------------------- passes (n >= 32)

struct ScalarPath {
  static void ForwardPass(float* a, int n) {
    const int q = n / 4;
    ForwardStepUnit(a, q);
    for (int j = 1; j < q; ++j) {
      float c, s;
      TwiddleAt(n, j, &c, &s);
      ForwardStep(a, q, j, c, s);
    }
  }
  static void InversePass(float* a, int n) {
    const int q = n / 4;
    InverseStepUnit(a, q);
    for (int j = 1; j < q; ++j) {
      float c, s;
      TwiddleAt(n, j, &c, &s);
      InverseStep(a, q, j, c, s);
    }
  }
  static void Leaf16(float* a) { Forward16(a); }
  static void Leaf8(float* a) { Forward8(a); }
};

// SSE2: two complex values per register, lanes (re, im, re, im).
//
// The step for j = 0 multiplies by w^0 = 1 in the reference only in name:
// it skips the multiplication, which differs from x * (1, 0) for signed
// zeros and infinities. The vector steps that cover j = 0 therefore compute
// every lane with its twiddle and then put the unmultiplied values back into
// lane 0 (KeepFirst), which is exactly what the reference stores there.
namespace sse2 {

inline __m128 SwapPairs(__m128 x) { return _mm_shuffle_ps(x, x, _MM_SHUFFLE(2, 3, 0, 1)); }
inline __m128 NegRe() { return _mm_castsi128_ps(_mm_set_epi32(0, INT32_MIN, 0, INT32_MIN)); }  // flips lanes 0, 2
inline __m128 NegIm() { return _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, INT32_MIN, 0)); }  // flips lanes 1, 3
// Complex 0 from first, complex 1 from rest.
inline __m128 KeepFirst(__m128 first, __m128 rest) { return _mm_shuffle_ps(first, rest, _MM_SHUFFLE(3, 2, 1, 0)); }

// One forward radix step on two consecutive j: p0..p3 the four quarters'
// values, tw the twiddles (c0 s0 c1 s1). kFirst: the pair holds j = 0.
template <bool kFirst>
inline void ForwardStep2(__m128& p0, __m128& p1, __m128& p2, __m128& p3, __m128 tw) {
  const __m128 negRe = NegRe(), negIm = NegIm();
  const __m128 u = _mm_sub_ps(p0, p2), v = _mm_sub_ps(p1, p3);
  p0 = _mm_add_ps(p0, p2);
  p1 = _mm_add_ps(p1, p3);
  const __m128 vs = SwapPairs(v);                        // (vi, vr)
  const __m128 x = _mm_add_ps(u, _mm_xor_ps(vs, negRe));  // (ur - vi, ui + vr)
  const __m128 y = _mm_add_ps(u, _mm_xor_ps(vs, negIm));  // (ur + vi, ui - vr)
  const __m128 cc = _mm_shuffle_ps(tw, tw, _MM_SHUFFLE(2, 2, 0, 0));
  const __m128 ss = _mm_shuffle_ps(tw, tw, _MM_SHUFFLE(3, 3, 1, 1));
  // x*w: (xr c - xi s, xi c + xr s); y*conj(w): (yr c + yi s, yi c - yr s)
  const __m128 xw = _mm_add_ps(_mm_mul_ps(x, cc), _mm_xor_ps(_mm_mul_ps(SwapPairs(x), ss), negRe));
  const __m128 yw = _mm_add_ps(_mm_mul_ps(y, cc), _mm_xor_ps(_mm_mul_ps(SwapPairs(y), ss), negIm));
  p2 = kFirst ? KeepFirst(x, xw) : xw;
  p3 = kFirst ? KeepFirst(y, yw) : yw;
}

template <bool kFirst>
inline void InverseStep2(__m128& p0, __m128& p1, __m128& p2, __m128& p3, __m128 tw) {
  const __m128 negRe = NegRe(), negIm = NegIm();
  const __m128 cc = _mm_shuffle_ps(tw, tw, _MM_SHUFFLE(2, 2, 0, 0));
  const __m128 ss = _mm_shuffle_ps(tw, tw, _MM_SHUFFLE(3, 3, 1, 1));
  // t1 = C conj(w) = (Cr c + Ci s, Ci c - Cr s); t2 = D w = (Dr c - Di s, Di c + Dr s)
  __m128 t1 = _mm_add_ps(_mm_mul_ps(p2, cc), _mm_xor_ps(_mm_mul_ps(SwapPairs(p2), ss), negIm));
  __m128 t2 = _mm_add_ps(_mm_mul_ps(p3, cc), _mm_xor_ps(_mm_mul_ps(SwapPairs(p3), ss), negRe));
  if (kFirst) {
    t1 = KeepFirst(p2, t1);
    t2 = KeepFirst(p3, t2);
  }
  const __m128 s = _mm_add_ps(t1, t2), d = _mm_sub_ps(t1, t2);
  const __m128 ds = SwapPairs(d);  // (di, dr)
  const __m128 A = p0, B = p1;
  p0 = _mm_add_ps(A, s);
  p2 = _mm_sub_ps(A, s);
  p1 = _mm_add_ps(B, _mm_xor_ps(ds, negIm));  // (br + di, bi - dr)
  p3 = _mm_add_ps(B, _mm_xor_ps(ds, negRe));  // (br - di, bi + dr)
}

// Size-2 butterfly on the two complex values of one register:
// (x0 + x1, x0 - x1), the difference as x0 + (-x1) like the reference.
inline __m128 Butterfly2(__m128 x) {
  const __m128 first = _mm_shuffle_ps(x, x, _MM_SHUFFLE(1, 0, 1, 0));   // x0 x0
  const __m128 second = _mm_shuffle_ps(x, x, _MM_SHUFFLE(3, 2, 3, 2));  // x1 x1
  return _mm_add_ps(first, _mm_xor_ps(second, _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, INT32_MIN, 0, 0))));
}

// Forward size 4 on lo = (x0, x1), hi = (x2, x3): the unit step, then the
// butterfly of the first half (Forward4 of the reference).
inline void Forward4(__m128& lo, __m128& hi) {
  const __m128 d = _mm_sub_ps(lo, hi);  // (ur ui vr vi)
  const __m128 s = _mm_add_ps(lo, hi);
  const __m128 u = _mm_shuffle_ps(d, d, _MM_SHUFFLE(1, 0, 1, 0));                // ur ui ur ui
  const __m128 v = _mm_shuffle_ps(d, d, _MM_SHUFFLE(2, 3, 2, 3));                // vi vr vi vr
  const __m128 sign = _mm_castsi128_ps(_mm_set_epi32(INT32_MIN, 0, 0, INT32_MIN));  // -vi vr vi -vr
  hi = _mm_add_ps(u, _mm_xor_ps(v, sign));  // (ur - vi, ui + vr), (ur + vi, ui - vr)
  lo = Butterfly2(s);
}

// Forward size 8 on four registers (x0 x1), (x2 x3), (x4 x5), (x6 x7).
inline void Forward8(__m128& r0, __m128& r1, __m128& r2, __m128& r3, __m128 tw8) {
  ForwardStep2<true>(r0, r1, r2, r3, tw8);
  Forward4(r0, r1);
  r2 = Butterfly2(r2);
  r3 = Butterfly2(r3);
}

void Leaf8(float* a) {
  __m128 r0 = _mm_loadu_ps(a), r1 = _mm_loadu_ps(a + 4), r2 = _mm_loadu_ps(a + 8), r3 = _mm_loadu_ps(a + 12);
  Forward8(r0, r1, r2, r3, _mm_load_ps(sLeafTwiddles));
  _mm_storeu_ps(a, r0);
  _mm_storeu_ps(a + 4, r1);
  _mm_storeu_ps(a + 8, r2);
  _mm_storeu_ps(a + 12, r3);
}

// Forward size 16 on r[i] = (x2i, x2i+1).
inline void Forward16(__m128* r) {
  ForwardStep2<true>(r[0], r[2], r[4], r[6], _mm_load_ps(sLeafTwiddles + 4));
  ForwardStep2<false>(r[1], r[3], r[5], r[7], _mm_load_ps(sLeafTwiddles + 8));
  Forward8(r[0], r[1], r[2], r[3], _mm_load_ps(sLeafTwiddles));
  Forward4(r[4], r[5]);
  Forward4(r[6], r[7]);
}

void Leaf16(float* a) {
  __m128 r[8];
  for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_ps(a + 4 * i);
  Forward16(r);
  for (int i = 0; i < 8; ++i) _mm_storeu_ps(a + 4 * i, r[i]);
}

}  // namespace sse2

struct Sse2Path {
  // One pass over the four quarters, two values of j per step; the first
  // step leaves the unit twiddle's lanes unmultiplied (signed zeros).
  template <bool kInverse>
  static void Pass(float* a, int n) {
    const int q = n / 4;
    const float* w = Full(n);
    float* p0 = a;
    float* p1 = a + 2 * q;
    float* p2 = a + 4 * q;
    float* p3 = a + 6 * q;
    for (int j = 0; j < q; j += 2) {
      __m128 A = _mm_loadu_ps(p0 + 2 * j), B = _mm_loadu_ps(p1 + 2 * j), C = _mm_loadu_ps(p2 + 2 * j),
             D = _mm_loadu_ps(p3 + 2 * j);
      const __m128 tw = _mm_load_ps(w + 2 * j);
      if (kInverse) {
        if (j == 0)
          sse2::InverseStep2<true>(A, B, C, D, tw);
        else
          sse2::InverseStep2<false>(A, B, C, D, tw);
      } else {
        if (j == 0)
          sse2::ForwardStep2<true>(A, B, C, D, tw);
        else
          sse2::ForwardStep2<false>(A, B, C, D, tw);
      }
      _mm_storeu_ps(p0 + 2 * j, A);
      _mm_storeu_ps(p1 + 2 * j, B);
      _mm_storeu_ps(p2 + 2 * j, C);
      _mm_storeu_ps(p3 + 2 * j, D);
    }
  }
  static void ForwardPass(float* a, int n) { Pass<false>(a, n); }
  static void InversePass(float* a, int n) { Pass<true>(a, n); }
  static void Leaf16(float* a) { sse2::Leaf16(a); }
  static void Leaf8(float* a) { sse2::Leaf8(a); }
};

// AVX2: four complex values per register. Same lane arithmetic as SSE2; the
// small kernels are the SSE2 ones (their data is only 2 to 4 registers wide).
#define DUV_AVX2 __attribute__((target("avx2")))
// The steps and kernels are inlined into the passes whatever the compiler's
// size limits say: called, they would pass their registers through memory.
#define DUV_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline
struct Avx2Path {
  DUV_AVX2_INLINE static __m256 SwapPairs(__m256 x) { return _mm256_permute_ps(x, _MM_SHUFFLE(2, 3, 0, 1)); }
  DUV_AVX2_INLINE static __m256 NegRe() {
    return _mm256_castsi256_ps(_mm256_set_epi32(0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN));
  }
  DUV_AVX2_INLINE static __m256 NegIm() {
    return _mm256_castsi256_ps(_mm256_set_epi32(INT32_MIN, 0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN, 0));
  }
  // Complex 0 (floats 0 and 1) from first, the rest from rest.
  DUV_AVX2_INLINE static __m256 KeepFirst(__m256 first, __m256 rest) { return _mm256_blend_ps(rest, first, 0x03); }

  // The forward step on four j per register: A..D the quarters, w the
  // twiddles (c0 s0 .. c3 s3).
  template <bool kFirst>
  DUV_AVX2_INLINE static void ForwardStep4Regs(__m256& A, __m256& B, __m256& C, __m256& D, __m256 w) {
    const __m256 negRe = NegRe(), negIm = NegIm();
    const __m256 u = _mm256_sub_ps(A, C), v = _mm256_sub_ps(B, D);
    A = _mm256_add_ps(A, C);
    B = _mm256_add_ps(B, D);
    const __m256 vs = SwapPairs(v);
    const __m256 x = _mm256_add_ps(u, _mm256_xor_ps(vs, negRe));
    const __m256 y = _mm256_add_ps(u, _mm256_xor_ps(vs, negIm));
    const __m256 cc = _mm256_moveldup_ps(w);
    const __m256 ss = _mm256_movehdup_ps(w);
    const __m256 xw = _mm256_add_ps(_mm256_mul_ps(x, cc), _mm256_xor_ps(_mm256_mul_ps(SwapPairs(x), ss), negRe));
    const __m256 yw = _mm256_add_ps(_mm256_mul_ps(y, cc), _mm256_xor_ps(_mm256_mul_ps(SwapPairs(y), ss), negIm));
    C = kFirst ? KeepFirst(x, xw) : xw;
    D = kFirst ? KeepFirst(y, yw) : yw;
  }
  template <bool kFirst>
  DUV_AVX2_INLINE static void InverseStep4(float* p0, float* p1, float* p2, float* p3, const float* tw) {
    const __m256 negRe = NegRe(), negIm = NegIm();
    const __m256 A = _mm256_loadu_ps(p0), B = _mm256_loadu_ps(p1), C = _mm256_loadu_ps(p2), D = _mm256_loadu_ps(p3);
    const __m256 w = _mm256_load_ps(tw);
    const __m256 cc = _mm256_moveldup_ps(w);
    const __m256 ss = _mm256_movehdup_ps(w);
    __m256 t1 = _mm256_add_ps(_mm256_mul_ps(C, cc), _mm256_xor_ps(_mm256_mul_ps(SwapPairs(C), ss), negIm));
    __m256 t2 = _mm256_add_ps(_mm256_mul_ps(D, cc), _mm256_xor_ps(_mm256_mul_ps(SwapPairs(D), ss), negRe));
    if (kFirst) {
      t1 = KeepFirst(C, t1);
      t2 = KeepFirst(D, t2);
    }
    const __m256 s = _mm256_add_ps(t1, t2), d = _mm256_sub_ps(t1, t2);
    const __m256 ds = SwapPairs(d);
    _mm256_storeu_ps(p0, _mm256_add_ps(A, s));
    _mm256_storeu_ps(p2, _mm256_sub_ps(A, s));
    _mm256_storeu_ps(p1, _mm256_add_ps(B, _mm256_xor_ps(ds, negIm)));
    _mm256_storeu_ps(p3, _mm256_add_ps(B, _mm256_xor_ps(ds, negRe)));
  }

  // The inverse pass; q = n/4 >= 8, a multiple of 4: whole registers from
  // j = 0 on. (The forward passes are Avx2Blocked's.)
  DUV_AVX2 static void InversePass(float* a, int n) {
    const int q = n / 4;
    const float* w = Full(n);
    float* p0 = a;
    float* p1 = a + 2 * q;
    float* p2 = a + 4 * q;
    float* p3 = a + 6 * q;
    InverseStep4<true>(p0, p1, p2, p3, w);
    for (int j = 4; j < q; j += 4) InverseStep4<false>(p0 + 2 * j, p1 + 2 * j, p2 + 2 * j, p3 + 2 * j, w + 2 * j);
  }
  static void Leaf16(float* a) { sse2::Leaf16(a); }
  static void Leaf8(float* a) { sse2::Leaf8(a); }
};

// AVX2 forward transforms of size 32 and up in the blocked layout (see
// kBlockLaneOf): a register holds the real (or imaginary) parts of 8 values,
// so the radix step is plain lane-wise arithmetic, written as the scalar
// ForwardStep writes it, with no shuffles, sign flips or duplicated
// twiddles. The first pass reads the interleaved input (multiplying by a
// window on the way if asked) and writes blocks in place; the sub-transforms
// of size 16 and 8 read their blocks back as interleaved values and run the
// interleaved kernels, so the output is exactly that of the other paths.
struct Avx2Blocked {
  // One radix step on 8 values of j: (R0, I0) .. (R3, I3) the quarters'
  // real and imaginary parts, c and s the twiddles. kFirst: lane 0 holds
  // j = 0, whose values stay unmultiplied, as in ForwardStepUnit.
  template <bool kFirst>
  DUV_AVX2_INLINE static void Step(__m256& R0, __m256& I0, __m256& R1, __m256& I1, __m256& R2, __m256& I2,
                                   __m256& R3, __m256& I3, __m256 c, __m256 s) {
    const __m256 ur = _mm256_sub_ps(R0, R2), ui = _mm256_sub_ps(I0, I2);
    const __m256 vr = _mm256_sub_ps(R1, R3), vi = _mm256_sub_ps(I1, I3);
    R0 = _mm256_add_ps(R0, R2);
    I0 = _mm256_add_ps(I0, I2);
    R1 = _mm256_add_ps(R1, R3);
    I1 = _mm256_add_ps(I1, I3);
    const __m256 xr = _mm256_sub_ps(ur, vi), xi = _mm256_add_ps(ui, vr);  // u + iv
    const __m256 yr = _mm256_add_ps(ur, vi), yi = _mm256_sub_ps(ui, vr);  // u - iv
    R2 = _mm256_sub_ps(_mm256_mul_ps(xr, c), _mm256_mul_ps(xi, s));
    I2 = _mm256_add_ps(_mm256_mul_ps(xr, s), _mm256_mul_ps(xi, c));
    R3 = _mm256_add_ps(_mm256_mul_ps(yr, c), _mm256_mul_ps(yi, s));
    I3 = _mm256_sub_ps(_mm256_mul_ps(yi, c), _mm256_mul_ps(yr, s));
    if (kFirst) {
      R2 = _mm256_blend_ps(R2, xr, 0x01);
      I2 = _mm256_blend_ps(I2, xi, 0x01);
      R3 = _mm256_blend_ps(R3, yr, 0x01);
      I3 = _mm256_blend_ps(I3, yi, 0x01);
    }
  }

  // Loads 8 interleaved values at src as a block's (re, im).
  DUV_AVX2_INLINE static void LoadInterleaved(const float* src, __m256& re, __m256& im) {
    const __m256 a = _mm256_loadu_ps(src), b = _mm256_loadu_ps(src + 8);
    re = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
    im = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
  }
  // 8 window entries from w, in the block's lane order.
  DUV_AVX2_INLINE static __m256 LoadWindow(const float* w) {
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_loadu_ps(w)), _MM_SHUFFLE(3, 1, 2, 0)));
  }

  template <bool kFirst>
  DUV_AVX2_INLINE static void StepBlocks(float* a, int q, int j, const float* tw) {
    float* p0 = a + 2 * j;
    float* p1 = p0 + 2 * q;
    float* p2 = p1 + 2 * q;
    float* p3 = p2 + 2 * q;
    __m256 R0 = _mm256_loadu_ps(p0), I0 = _mm256_loadu_ps(p0 + 8), R1 = _mm256_loadu_ps(p1),
           I1 = _mm256_loadu_ps(p1 + 8), R2 = _mm256_loadu_ps(p2), I2 = _mm256_loadu_ps(p2 + 8),
           R3 = _mm256_loadu_ps(p3), I3 = _mm256_loadu_ps(p3 + 8);
    Step<kFirst>(R0, I0, R1, I1, R2, I2, R3, I3, _mm256_load_ps(tw + 2 * j), _mm256_load_ps(tw + 2 * j + 8));
    _mm256_storeu_ps(p0, R0);
    _mm256_storeu_ps(p0 + 8, I0);
    _mm256_storeu_ps(p1, R1);
    _mm256_storeu_ps(p1 + 8, I1);
    _mm256_storeu_ps(p2, R2);
    _mm256_storeu_ps(p2 + 8, I2);
    _mm256_storeu_ps(p3, R3);
    _mm256_storeu_ps(p3 + 8, I3);
  }

  // A pass of size n >= 32 on blocks.
  DUV_AVX2 static void Pass(float* a, int n) {
    const int q = n / 4;
    const float* tw = sBlocked + sFullOffset[Log2OfPowerOfTwo(n)];
    StepBlocks<true>(a, q, 0, tw);
    for (int j = 8; j < q; j += 8) StepBlocks<false>(a, q, j, tw);
  }

  // The first pass of size n >= 32: interleaved values from in (times
  // window[m] for value m when kWindow, as float products), blocks to out.
  // out may equal in: each step reads its four blocks before it writes them.
  template <bool kWindow, bool kFirst>
  DUV_AVX2_INLINE static void FirstStep(float* out, const float* in, const float* window, int q, int j,
                                        const float* tw) {
    __m256 R[4], I[4];
    for (int k = 0; k < 4; ++k) {
      LoadInterleaved(in + 2 * (j + k * q), R[k], I[k]);
      if (kWindow) {
        const __m256 w = LoadWindow(window + j + k * q);
        R[k] = _mm256_mul_ps(R[k], w);
        I[k] = _mm256_mul_ps(I[k], w);
      }
    }
    Step<kFirst>(R[0], I[0], R[1], I[1], R[2], I[2], R[3], I[3], _mm256_load_ps(tw + 2 * j),
                 _mm256_load_ps(tw + 2 * j + 8));
    for (int k = 0; k < 4; ++k) {
      _mm256_storeu_ps(out + 2 * (j + k * q), R[k]);
      _mm256_storeu_ps(out + 2 * (j + k * q) + 8, I[k]);
    }
  }
  template <bool kWindow>
  DUV_AVX2 static void FirstPass(float* out, const float* in, const float* window, int n) {
    const int q = n / 4;
    const float* tw = sBlocked + sFullOffset[Log2OfPowerOfTwo(n)];
    FirstStep<kWindow, true>(out, in, window, q, 0, tw);
    for (int j = 8; j < q; j += 8) {
      for (int k = 0; k < 4; ++k) {
        _mm_prefetch(reinterpret_cast<const char*>(in + 2 * (j + k * q) + kAhead), _MM_HINT_T0);
        _mm_prefetch(reinterpret_cast<const char*>(out + 2 * (j + k * q) + kAhead), _MM_HINT_T0);
        if (kWindow && (j & 15) == 0) _mm_prefetch(reinterpret_cast<const char*>(window + j + k * q + kAhead / 2), _MM_HINT_T0);
      }
      FirstStep<kWindow, false>(out, in, window, q, j, tw);
    }
  }
  // The first pass reads 4 quarters of input (and of the window) and writes
  // 4 quarters of output, 12 streams from the second-level cache at once:
  // asked for 1 KiB ahead they arrive in time, which the hardware's own
  // prefetching does not manage for all of them.
  static constexpr int kAhead = 256;  // floats

  // The block at a as interleaved pairs: r[i] = (x2i, x2i+1), i < 4.
  DUV_AVX2_INLINE static void LoadBlockPairs(const float* a, __m128* r) {
    const __m256 re = _mm256_loadu_ps(a), im = _mm256_loadu_ps(a + 8);
    const __m256 lo = _mm256_unpacklo_ps(re, im), hi = _mm256_unpackhi_ps(re, im);  // x0..x3, x4..x7
    r[0] = _mm256_castps256_ps128(lo);
    r[1] = _mm256_extractf128_ps(lo, 1);
    r[2] = _mm256_castps256_ps128(hi);
    r[3] = _mm256_extractf128_ps(hi, 1);
  }
  // The kernels of size 16 and 8 on blocks, interleaved out: the SSE2
  // kernels' operations, two of their registers to one wherever both halves
  // run the same operations (the halves' lanes are theirs, unchanged).
  // Y = (r[2i] | r[2i+1]) in SSE2 register terms.
  DUV_AVX2_INLINE static __m256 Butterfly2x2(__m256 x) {  // sse2::Butterfly2 on both halves
    const __m256 first = _mm256_shuffle_ps(x, x, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 second = _mm256_shuffle_ps(x, x, _MM_SHUFFLE(3, 2, 3, 2));
    const __m256 sign = _mm256_castsi256_ps(_mm256_set_epi32(INT32_MIN, INT32_MIN, 0, 0, INT32_MIN, INT32_MIN, 0, 0));
    return _mm256_add_ps(first, _mm256_xor_ps(second, sign));
  }
  DUV_AVX2_INLINE static void Forward4x2(__m256& lo, __m256& hi) {  // sse2::Forward4 on both halves
    const __m256 d = _mm256_sub_ps(lo, hi);
    const __m256 s = _mm256_add_ps(lo, hi);
    const __m256 u = _mm256_shuffle_ps(d, d, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256 v = _mm256_shuffle_ps(d, d, _MM_SHUFFLE(2, 3, 2, 3));
    const __m256 sign = _mm256_castsi256_ps(_mm256_set_epi32(INT32_MIN, 0, 0, INT32_MIN, INT32_MIN, 0, 0, INT32_MIN));
    hi = _mm256_add_ps(u, _mm256_xor_ps(v, sign));
    lo = Butterfly2x2(s);
  }
  // sse2::Forward8 on Y0 = (r0 | r1), Y1 = (r2 | r3): its first step computes
  // u, v and both sums in one register each, and x and y (then x w and
  // y conj(w)) side by side in the two halves.
  DUV_AVX2_INLINE static void Forward8(__m256& Y0, __m256& Y1) {
    const __m256 d = _mm256_sub_ps(Y0, Y1);  // (u | v)
    const __m256 s = _mm256_add_ps(Y0, Y1);  // (p0 | p1)
    const __m256 uu = _mm256_permute2f128_ps(d, d, 0x00);
    const __m256 vs = Avx2Path::SwapPairs(_mm256_permute2f128_ps(d, d, 0x11));
    const __m256 negReIm =
        _mm256_castsi256_ps(_mm256_set_epi32(INT32_MIN, 0, INT32_MIN, 0, 0, INT32_MIN, 0, INT32_MIN));
    const __m256 xy = _mm256_add_ps(uu, _mm256_xor_ps(vs, negReIm));  // (x | y)
    const __m128 tw = _mm_load_ps(sLeafTwiddles);
    const __m128 c = _mm_shuffle_ps(tw, tw, _MM_SHUFFLE(2, 2, 0, 0)), sn = _mm_shuffle_ps(tw, tw, _MM_SHUFFLE(3, 3, 1, 1));
    const __m256 cc = _mm256_set_m128(c, c), ss = _mm256_set_m128(sn, sn);
    const __m256 xyw =
        _mm256_add_ps(_mm256_mul_ps(xy, cc), _mm256_xor_ps(_mm256_mul_ps(Avx2Path::SwapPairs(xy), ss), negReIm));
    Y1 = Butterfly2x2(_mm256_blend_ps(xyw, xy, 0x33));  // unit twiddle's lanes unmultiplied
    __m128 lo = _mm256_castps256_ps128(s), hi = _mm256_extractf128_ps(s, 1);
    sse2::Forward4(lo, hi);
    Y0 = _mm256_set_m128(hi, lo);
  }
  // Two blocks (re0, im0), (re1, im1) as a transform of size 16, written
  // interleaved to a.
  DUV_AVX2_INLINE static void Leaf16(float* a, __m256 re0, __m256 im0, __m256 re1, __m256 im1) {
    __m256 Y0 = _mm256_unpacklo_ps(re0, im0), Y1 = _mm256_unpackhi_ps(re0, im0);  // (r0 | r1), (r2 | r3)
    __m256 Y2 = _mm256_unpacklo_ps(re1, im1), Y3 = _mm256_unpackhi_ps(re1, im1);
    // sse2::Forward16's two first steps (j = 0, 1 and j = 2, 3) as one.
    Avx2Path::ForwardStep4Regs<true>(Y0, Y1, Y2, Y3, _mm256_loadu_ps(sLeafTwiddles + 4));
    Forward8(Y0, Y1);
    __m256 lo = _mm256_permute2f128_ps(Y2, Y3, 0x20), hi = _mm256_permute2f128_ps(Y2, Y3, 0x31);  // (r4|r6), (r5|r7)
    Forward4x2(lo, hi);
    _mm256_storeu_ps(a, Y0);
    _mm256_storeu_ps(a + 8, Y1);
    _mm_storeu_ps(a + 16, _mm256_castps256_ps128(lo));
    _mm_storeu_ps(a + 20, _mm256_castps256_ps128(hi));
    _mm_storeu_ps(a + 24, _mm256_extractf128_ps(lo, 1));
    _mm_storeu_ps(a + 28, _mm256_extractf128_ps(hi, 1));
  }
  DUV_AVX2_INLINE static void Leaf8(float* a, __m256 re, __m256 im) {
    __m256 Y0 = _mm256_unpacklo_ps(re, im), Y1 = _mm256_unpackhi_ps(re, im);
    Forward8(Y0, Y1);
    _mm256_storeu_ps(a, Y0);
    _mm256_storeu_ps(a + 8, Y1);
  }
  DUV_AVX2 static void Leaf16(float* a) {
    Leaf16(a, _mm256_loadu_ps(a), _mm256_loadu_ps(a + 8), _mm256_loadu_ps(a + 16), _mm256_loadu_ps(a + 24));
  }
  DUV_AVX2 static void Leaf8(float* a) { Leaf8(a, _mm256_loadu_ps(a), _mm256_loadu_ps(a + 8)); }
  // A whole sub-transform of size 32 on its four blocks in registers: the
  // pass (one step), then the kernels of its halves and quarters.
  DUV_AVX2 static void Forward32(float* a) {
    __m256 R0 = _mm256_loadu_ps(a), I0 = _mm256_loadu_ps(a + 8), R1 = _mm256_loadu_ps(a + 16),
           I1 = _mm256_loadu_ps(a + 24), R2 = _mm256_loadu_ps(a + 32), I2 = _mm256_loadu_ps(a + 40),
           R3 = _mm256_loadu_ps(a + 48), I3 = _mm256_loadu_ps(a + 56);
    const float* tw = sBlocked + sFullOffset[5];
    Step<true>(R0, I0, R1, I1, R2, I2, R3, I3, _mm256_load_ps(tw), _mm256_load_ps(tw + 8));
    Leaf16(a, R0, I0, R1, I1);
    Leaf8(a + 32, R2, I2);
    Leaf8(a + 48, R3, I3);
  }
};


// AVX-512 forward transforms of size 32 and up: the AVX2 passes and
// kernels, with each sub-transform of size 64 (and whole transforms of 32
// and 64) kept in registers from its pass to its output, which the 32
// registers of AVX-512 VL allow (16 block registers and the kernels'
// temporaries). Only 256-bit vectors: while a core executes 512-bit
// operations it drops one of its three 256-bit vector ports, and it takes it
// back only some time after the last of them, so the 256-bit code that
// follows runs slower (measured: 512-bit passes made the transform alone 7
// to 9 % faster but the engine as a whole 4 to 7 % slower).
#define DUV_AVX512 __attribute__((target("avx2,avx512f,avx512vl")))
#define DUV_AVX512_INLINE __attribute__((target("avx2,avx512f,avx512vl"), always_inline)) inline
struct Avx512Blocked {
  // A sub-transform of size 64 on its 8 AVX2 blocks in registers: the pass
  // (two steps), then the kernels of size 32 and 16, interleaved out to a.
  DUV_AVX512_INLINE static void Forward64(float* a, __m256* R, __m256* I) {
    const float* tw = sBlocked + sFullOffset[6];
    Avx2Blocked::Step<true>(R[0], I[0], R[2], I[2], R[4], I[4], R[6], I[6], _mm256_load_ps(tw),
                            _mm256_load_ps(tw + 8));
    Avx2Blocked::Step<false>(R[1], I[1], R[3], I[3], R[5], I[5], R[7], I[7], _mm256_load_ps(tw + 16),
                             _mm256_load_ps(tw + 24));
    const float* tw32 = sBlocked + sFullOffset[5];
    Avx2Blocked::Step<true>(R[0], I[0], R[1], I[1], R[2], I[2], R[3], I[3], _mm256_load_ps(tw32),
                            _mm256_load_ps(tw32 + 8));
    Avx2Blocked::Leaf16(a, R[0], I[0], R[1], I[1]);
    Avx2Blocked::Leaf8(a + 32, R[2], I[2]);
    Avx2Blocked::Leaf8(a + 48, R[3], I[3]);
    Avx2Blocked::Leaf16(a + 64, R[4], I[4], R[5], I[5]);
    Avx2Blocked::Leaf16(a + 96, R[6], I[6], R[7], I[7]);
  }
  DUV_AVX512 static void Forward64(float* a) {
    __m256 R[8], I[8];
    for (int b = 0; b < 8; ++b) {
      R[b] = _mm256_loadu_ps(a + 16 * b);
      I[b] = _mm256_loadu_ps(a + 16 * b + 8);
    }
    Forward64(a, R, I);
  }
  // Whole transforms of size 32 and 64 from interleaved values (times the
  // window when kWindow), in registers from the loads to the output.
  template <bool kWindow>
  DUV_AVX512_INLINE static void LoadBlocks(const float* in, const float* window, int blocks, __m256* R, __m256* I) {
    for (int b = 0; b < blocks; ++b) {
      Avx2Blocked::LoadInterleaved(in + 16 * b, R[b], I[b]);
      if (kWindow) {
        const __m256 w = Avx2Blocked::LoadWindow(window + 8 * b);
        R[b] = _mm256_mul_ps(R[b], w);
        I[b] = _mm256_mul_ps(I[b], w);
      }
    }
  }
  template <bool kWindow>
  DUV_AVX512 static void Transform32(float* out, const float* in, const float* window) {
    __m256 R[4], I[4];
    LoadBlocks<kWindow>(in, window, 4, R, I);
    const float* tw = sBlocked + sFullOffset[5];
    Avx2Blocked::Step<true>(R[0], I[0], R[1], I[1], R[2], I[2], R[3], I[3], _mm256_load_ps(tw),
                            _mm256_load_ps(tw + 8));
    Avx2Blocked::Leaf16(out, R[0], I[0], R[1], I[1]);
    Avx2Blocked::Leaf8(out + 32, R[2], I[2]);
    Avx2Blocked::Leaf8(out + 48, R[3], I[3]);
  }
  template <bool kWindow>
  DUV_AVX512 static void Transform64(float* out, const float* in, const float* window) {
    __m256 R[8], I[8];
    LoadBlocks<kWindow>(in, window, 8, R, I);
    Forward64(out, R, I);
  }
};

// The recursion on blocks below the first pass, for both paths: the AVX2
// passes and kernels, and with kWide (the AVX-512 path) the sub-transforms
// of size 64 in registers.
template <bool kWide, int N>
struct BlockedForward {
  [[gnu::noinline]] static void Run(float* a) {
    Avx2Blocked::Pass(a, N);
    BlockedForward<kWide, N / 2>::Run(a);
    BlockedForward<kWide, N / 4>::Run(a + N);
    BlockedForward<kWide, N / 4>::Run(a + N + N / 2);
  }
};
template <> struct BlockedForward<true, 64> { static void Run(float* a) { Avx512Blocked::Forward64(a); } };
template <bool kWide> struct BlockedForward<kWide, 32> { static void Run(float* a) { Avx2Blocked::Forward32(a); } };
template <bool kWide> struct BlockedForward<kWide, 16> { static void Run(float* a) { Avx2Blocked::Leaf16(a); } };
template <bool kWide> struct BlockedForward<kWide, 8> { static void Run(float* a) { Avx2Blocked::Leaf8(a); } };

// Forward transforms of size N >= 32 on blocks, plain and windowed; with
// kWide, whole transforms of 32 and 64 in registers.
template <bool kWide, int N>
struct BlockedTransform {
  static void Children(float* a) {
    BlockedForward<kWide, N / 2>::Run(a);
    BlockedForward<kWide, N / 4>::Run(a + N);
    BlockedForward<kWide, N / 4>::Run(a + N + N / 2);
  }
  [[gnu::noinline]] static void Run(float* a) {
    Avx2Blocked::FirstPass<false>(a, a, nullptr, N);
    Children(a);
  }
  [[gnu::noinline]] static void RunWindowed(float* out, const float* in, const float* window) {
    Avx2Blocked::FirstPass<true>(out, in, window, N);
    Children(out);
  }
};
template <>
struct BlockedTransform<true, 32> {
  [[gnu::noinline]] static void Run(float* a) { Avx512Blocked::Transform32<false>(a, a, nullptr); }
  [[gnu::noinline]] static void RunWindowed(float* out, const float* in, const float* window) {
    Avx512Blocked::Transform32<true>(out, in, window);
  }
};
template <>
struct BlockedTransform<true, 64> {
  [[gnu::noinline]] static void Run(float* a) { Avx512Blocked::Transform64<false>(a, a, nullptr); }
  [[gnu::noinline]] static void RunWindowed(float* out, const float* in, const float* window) {
    Avx512Blocked::Transform64<true>(out, in, window);
  }
};
template <int N> using Avx2Forward = BlockedTransform<false, N>;
template <int N> using Avx512Forward = BlockedTransform<true, N>;
#undef DUV_AVX512_INLINE
#undef DUV_AVX512
#undef DUV_AVX2_INLINE
#undef DUV_AVX2

// ---------------------------------------------------------------- recursion

// Forward: pass over the whole buffer, then size n/2 on the first half and
// n/4 on the third and fourth quarters (offsets in floats: n and 3n/2).
template <class Path, int N>
struct Forward {
  [[gnu::noinline]] static void Run(float* a) {
    Path::ForwardPass(a, N);
    Forward<Path, N / 2>::Run(a);
    Forward<Path, N / 4>::Run(a + N);
    Forward<Path, N / 4>::Run(a + N + N / 2);
  }
};
template <class Path> struct Forward<Path, 16> { static void Run(float* a) { Path::Leaf16(a); } };
template <class Path> struct Forward<Path, 8> { static void Run(float* a) { Path::Leaf8(a); } };
template <class Path> struct Forward<Path, 4> { static void Run(float* a) { Forward4(a); } };
template <class Path> struct Forward<Path, 2> { static void Run(float* a) { Kernel2(a); } };

// Inverse: the same structure backwards (sub-transforms first, then the pass).
template <class Path, int N>
struct Inverse {
  [[gnu::noinline]] static void Run(float* a) {
    Inverse<Path, N / 2>::Run(a);
    Inverse<Path, N / 4>::Run(a + N);
    Inverse<Path, N / 4>::Run(a + N + N / 2);
    Path::InversePass(a, N);
  }
};
template <class Path> struct Inverse<Path, 16> { static void Run(float* a) { Inverse16(a); } };
template <class Path> struct Inverse<Path, 8> { static void Run(float* a) { Inverse8(a); } };
template <class Path> struct Inverse<Path, 4> { static void Run(float* a) { Inverse4(a); } };
template <class Path> struct Inverse<Path, 2> { static void Run(float* a) { Kernel2(a); } };

using Transform = void (*)(float*);
struct KernelTable {
  Transform forward[kLog2Max + 1];
  Transform inverse[kLog2Max + 1];
};

template <class Path, int... Log2>
constexpr KernelTable MakeTable(std::integer_sequence<int, Log2...>) {
  return KernelTable{{nullptr, &Forward<Path, (1 << (Log2 + 1))>::Run...},
                     {nullptr, &Inverse<Path, (1 << (Log2 + 1))>::Run...}};
}

// AVX2 and AVX-512: forward, the interleaved kernels up to size 16 and the
// blocked transforms above; inverse, the interleaved passes at every size.
template <template <int> class Blocked, int... Log2, int... Sizes>
constexpr KernelTable MakeBlockedTable(std::integer_sequence<int, Log2...>, std::integer_sequence<int, Sizes...>) {
  KernelTable table{{nullptr, &Forward<Avx2Path, 2>::Run, &Forward<Avx2Path, 4>::Run, &Forward<Avx2Path, 8>::Run,
                     &Forward<Avx2Path, 16>::Run, &Blocked<(1 << (Sizes + 5))>::Run...},
                    {nullptr, &Inverse<Avx2Path, (1 << (Log2 + 1))>::Run...}};
  return table;
}

const KernelTable kScalarTable = MakeTable<ScalarPath>(std::make_integer_sequence<int, kLog2Max>{});
const KernelTable kSse2Table = MakeTable<Sse2Path>(std::make_integer_sequence<int, kLog2Max>{});
const KernelTable kAvx2Table = MakeBlockedTable<Avx2Forward>(std::make_integer_sequence<int, kLog2Max>{},
                                                             std::make_integer_sequence<int, kLog2Max - 4>{});
const KernelTable kAvx512Table = MakeBlockedTable<Avx512Forward>(std::make_integer_sequence<int, kLog2Max>{},
                                                                 std::make_integer_sequence<int, kLog2Max - 4>{});

using WindowedTransform = void (*)(float*, const float*, const float*);
struct WindowedTable {
  WindowedTransform entry[kLog2Max + 1];
};
template <template <int> class Transforms, int... Log2>
constexpr WindowedTable MakeWindowedTable(std::integer_sequence<int, Log2...>) {
  WindowedTable table{};
  ((table.entry[Log2 + 5] = &Transforms<(1 << (Log2 + 5))>::RunWindowed), ...);
  return table;
}
const WindowedTable kAvx2Windowed = MakeWindowedTable<Avx2Forward>(std::make_integer_sequence<int, kLog2Max - 4>{});
const WindowedTable kAvx512Windowed =
    MakeWindowedTable<Avx512Forward>(std::make_integer_sequence<int, kLog2Max - 4>{});

const KernelTable* TableFor(DspPath path) {
  switch (path) {
    case DspPath::kAVX512: return &kAvx512Table;
    case DspPath::kAVX2: return &kAvx2Table;
    case DspPath::kSSE2: return &kSse2Table;
    default: return &kScalarTable;
  }
}

}  // namespace

// ---------------------------------------------------------------- public

unsigned FrequencyIndex(unsigned i, unsigned n) {
  if (n <= 2) return i;
  const unsigned h = n / 2;
  if (i < h) return 2 * FrequencyIndex(i, h);
  i -= h;
  const unsigned q = h / 2;
  if (i < q) return 4 * FrequencyIndex(i, q) + 1;
  i -= q;
  return (4 * FrequencyIndex(i, q) - 1) & (n - 1);  // unsigned: an inner 0 gives n - 1
}

void FFTInit() {
  std::call_once(sInitOnce, BuildTables);
}

void ComplexFFT(float* data, int n, int inverse) {
  const int log2n = Log2OfPowerOfTwo(n);
  if (log2n < 1 || data == nullptr) return;
  if (n >= 8 && !sTablesBuilt.load(std::memory_order_acquire)) return;
  // The single dispatch point of the transform: the layer's active path.
  const KernelTable* table = TableFor(ActiveDspPath());
  (inverse ? table->inverse : table->forward)[log2n](data);
}

void WindowedForwardFFT(float* out, const float* in, const float* window, int n) {
  const int log2n = Log2OfPowerOfTwo(n);
  if (log2n < 1 || out == nullptr || in == nullptr || window == nullptr) return;
  if (n >= 8 && !sTablesBuilt.load(std::memory_order_acquire)) return;
  const DspPath path = ActiveDspPath();
  if (UsesAvx2(path) && n >= 32) {
    (path == DspPath::kAVX512 ? kAvx512Windowed : kAvx2Windowed).entry[log2n](out, in, window);
    return;
  }
  for (int m = 0; m < n; ++m) {
    out[2 * m] = in[2 * m] * window[m];
    out[2 * m + 1] = in[2 * m + 1] * window[m];
  }
  ComplexFFT(out, n, 0);
}

int FFTBinPosition(int n, int k) {
  if (n < 16 || Log2OfPowerOfTwo(n) < 0 || k < 0 || k >= n) return -1;
  if (!sTablesBuilt.load(std::memory_order_acquire)) return -1;
  return sPositions[n - 16 + k];
}

const int* FFTBinPositions(int n) {
  if (n < 16 || Log2OfPowerOfTwo(n) < 0 || !sTablesBuilt.load(std::memory_order_acquire)) return nullptr;
  return sPositions + (n - 16);
}
