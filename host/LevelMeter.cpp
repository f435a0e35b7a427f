#include "host/LevelMeter.h"

#include <cmath>
#include <cstdio>

bool LevelMeter::write(const float* src, std::int64_t frames) {
  const std::int64_t n = frames * mChannels;
  for (std::int64_t i = 0; i < n; ++i) {
    const float a = std::fabs(src[i]);
    if (a > mPeak) mPeak = a;
    mBeyond += a > 1.0f;
  }
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
