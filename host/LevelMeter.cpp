#include "host/LevelMeter.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

void MeasureLevelsPlain(const float* src, std::int64_t n, float* peak, std::int64_t* beyond) {
  for (std::int64_t i = 0; i < n; ++i) {
    const float a = std::fabs(src[i]);
    if (a > *peak) *peak = a;
    *beyond += a > 1.0f;
  }
}

void MeasureLevels(const float* src, std::int64_t n, float* peak, std::int64_t* beyond) {
  // SSE2 is part of every x86-64 CPU. maxps answers its second operand when
  // either is NaN, and NaN compares false: NaN is skipped as the plain loop
  // skips it. The maximum does not depend on the order it is taken in.
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 one = _mm_set1_ps(1.0f);
  __m128 top = _mm_set1_ps(*peak);
  std::int64_t count = 0;
  std::int64_t i = 0;
  // Each lane counts in 32 bits (a true comparison is -1, subtracted), so
  // the counts are folded into 64 bits at least every 2^20 steps.
  constexpr std::int64_t kFoldSteps = std::int64_t{1} << 20;
  while (i + 4 <= n) {
    const std::int64_t end = std::min(n - (n - i) % 4, i + 4 * kFoldSteps);
    __m128i lanesBeyond = _mm_setzero_si128();
    for (; i < end; i += 4) {
      const __m128 a = _mm_and_ps(_mm_loadu_ps(src + i), absMask);
      top = _mm_max_ps(a, top);
      lanesBeyond = _mm_sub_epi32(lanesBeyond, _mm_castps_si128(_mm_cmpgt_ps(a, one)));
    }
    alignas(16) std::int32_t c[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(c), lanesBeyond);
    count += std::int64_t{c[0]} + c[1] + c[2] + c[3];
  }
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, top);
  for (float v : lanes)
    if (v > *peak) *peak = v;
  *beyond += count;
  MeasureLevelsPlain(src + i, n - i, peak, beyond);
}

bool LevelMeter::write(const float* src, std::int64_t frames) {
  MeasureLevels(src, frames * mChannels, &mPeak, &mBeyond);
  return mNext.write(src, frames);
}

std::string DbfsText(float level) {
  if (!(level > 0.0f)) return "-inf dBFS";
  double db = 20.0 * std::log10(static_cast<double>(level));
  char text[32];
  // "%+.1f" would print "+0.0" for a level a hair above full scale and
  // "-0.0" a hair below: both are full scale, said once.
  if (std::fabs(db) < 0.05) return "0.0 dBFS";
  std::snprintf(text, sizeof text, "%+.1f dBFS", db);
  return text;
}
