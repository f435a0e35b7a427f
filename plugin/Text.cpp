#include "plugin/Text.h"

#include <climits>
#include <cmath>
#include <cstring>

void CopyText(char* dst, const char* src, std::size_t capacity) {
  if (!dst || capacity == 0) return;
  if (!src) src = "";
  std::size_t n = strnlen(src, capacity - 1);
  std::memcpy(dst, src, n);
  dst[n] = '\0';
}

int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return static_cast<int>(v);
}
