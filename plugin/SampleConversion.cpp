#include "plugin/SampleConversion.h"

#include <emmintrin.h>

void FloatToDoubleReference(const float* src, double* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = src[i];
}

void FloatToDouble(const float* src, double* dst, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128 f = _mm_loadu_ps(src + i);
    _mm_storeu_pd(dst + i, _mm_cvtps_pd(f));
    _mm_storeu_pd(dst + i + 2, _mm_cvtps_pd(_mm_movehl_ps(f, f)));
  }
  FloatToDoubleReference(src + i, dst + i, n - i);
}

void DoubleToFloatReference(const double* src, float* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}

namespace {
inline __m128 FourFloats(const double* src) {
  return _mm_movelh_ps(_mm_cvtpd_ps(_mm_loadu_pd(src)), _mm_cvtpd_ps(_mm_loadu_pd(src + 2)));
}
}  // namespace

void DoubleToFloat(const double* src, float* dst, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_ps(dst + i, FourFloats(src + i));
  DoubleToFloatReference(src + i, dst + i, n - i);
}

void AddDoubleToFloatReference(const double* src, float* dst, int n) {
  for (int i = 0; i < n; ++i) dst[i] += static_cast<float>(src[i]);
}

void AddDoubleToFloat(const double* src, float* dst, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm_storeu_ps(dst + i, _mm_add_ps(_mm_loadu_ps(dst + i), FourFloats(src + i)));
  AddDoubleToFloatReference(src + i, dst + i, n - i);
}
