#include "host/Pcm16.h"

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr float kTwoTo31 = 2147483648.0f;

// cvtss2si: round to nearest even, and 0x80000000 for NaN and anything out
// of range, as libsndfile's own rounding does on this processor.
inline std::int32_t RoundToInt32(float x) { return _mm_cvtss_si32(_mm_set_ss(x)); }

}  // namespace

void Pcm16ToFloatReference(const short* src, float* dst, std::size_t n) {
  constexpr float kScale = 1.0f / 32768.0f;
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]) * kScale;
}

void Pcm16ToFloat(const short* src, float* dst, std::size_t n) {
  const __m128 scale = _mm_set1_ps(1.0f / 32768.0f);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    // Sign extension: each short into the top half of a 32-bit lane, shifted down.
    const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
    const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16);
    _mm_storeu_ps(dst + i, _mm_mul_ps(_mm_cvtepi32_ps(lo), scale));
    _mm_storeu_ps(dst + i + 4, _mm_mul_ps(_mm_cvtepi32_ps(hi), scale));
  }
  Pcm16ToFloatReference(src + i, dst + i, n - i);
}

void FloatToPcm16Reference(const float* src, short* dst, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const float scaled = src[i] * kTwoTo31;  // exact: a power of two
    if (scaled >= kTwoTo31) {
      dst[i] = 32767;
      continue;
    }
    // NaN and -2^31 and below round to 0x80000000, whose top half is -32768.
    dst[i] = static_cast<short>(RoundToInt32(scaled) >> 16);
  }
}

void FloatToPcm16(const float* src, short* dst, std::size_t n) {
  const __m128 limit = _mm_set1_ps(kTwoTo31);
  const __m128i top = _mm_set1_epi32(32767);
  auto four = [&](const float* p) {
    const __m128 scaled = _mm_mul_ps(_mm_loadu_ps(p), limit);
    const __m128i high = _mm_castps_si128(_mm_cmpge_ps(scaled, limit));
    const __m128i v = _mm_srai_epi32(_mm_cvtps_epi32(scaled), 16);
    return _mm_or_si128(_mm_andnot_si128(high, v), _mm_and_si128(high, top));
  };
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // Every lane already lies in the 16-bit range: the pack does not saturate.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packs_epi32(four(src + i), four(src + i + 4)));
  }
  FloatToPcm16Reference(src + i, dst + i, n - i);
}
