// The peak and the count of samples beyond full scale, measured on the way to a sink.
#include "host/LevelMeter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

TEST(LevelMeter, MeasuresEverySampleAndPassesThemOn) {
  AudioBuffer out;
  out.channels = 2;
  MemorySink sink(&out);
  LevelMeter meter(sink, 2);
  EXPECT_EQ(meter.peak(), 0.0f);
  const std::vector<float> a = {0.5f, -1.0f, 1.0f, 0.25f}, b = {-1.5f, 0.0f, 1.0001f, -0.999f, 2.0f, 0.0f};
  ASSERT_TRUE(meter.write(a.data(), 2));
  EXPECT_EQ(meter.peak(), 1.0f);
  EXPECT_EQ(meter.beyondFullScale(), 0);  // exactly full scale is not beyond it
  ASSERT_TRUE(meter.write(b.data(), 3));
  EXPECT_EQ(meter.peak(), 2.0f);
  EXPECT_EQ(meter.beyondFullScale(), 3);
  std::vector<float> both = a;
  both.insert(both.end(), b.begin(), b.end());
  EXPECT_EQ(out.samples, both);
}

TEST(LevelMeter, DecibelTexts) {
  struct Case {
    float level;
    const char* text;
  };
  for (const Case& c : {Case{1.0f, "0.0 dBFS"}, Case{0.5f, "-6.0 dBFS"}, Case{2.0f, "+6.0 dBFS"},
                        Case{0.966f, "-0.3 dBFS"}, Case{1.0057f, "0.0 dBFS"},
                        Case{1.0063f, "+0.1 dBFS"}, Case{1e-6f, "-120.0 dBFS"},
                        Case{0.0f, "-inf dBFS"}}) {
    EXPECT_EQ(DbfsText(c.level), c.text) << c.level;
  }
}

// The four-lane path against the plain loop: every length around the lane
// width, starting peaks below and above the data, NaN, infinities, denormals
// and exactly full scale.
TEST(LevelMeter, FastPathEqualsThePlainLoop) {
  std::vector<float> data;
  std::uint32_t seed = 12345;
  const float specials[] = {std::nanf(""), -std::numeric_limits<float>::infinity(), 1.0f, -1.0f,
                            std::nextafter(1.0f, 2.0f), 1e-40f, -0.0f};
  for (int i = 0; i < 203; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const float x = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 4.0f;
    data.push_back(i % 11 == 3 ? specials[(i / 11) % 7] : x);
  }
  for (float start : {0.0f, 0.5f, 3.0f}) {
    for (std::size_t offset : {0u, 1u, 2u, 3u}) {
      for (std::int64_t n = 0; n <= 140; ++n) {
        float fastPeak = start, plainPeak = start;
        std::int64_t fastBeyond = 7, plainBeyond = 7;
        MeasureLevels(data.data() + offset, n, &fastPeak, &fastBeyond);
        MeasureLevelsPlain(data.data() + offset, n, &plainPeak, &plainBeyond);
        ASSERT_EQ(fastPeak, plainPeak) << start << " " << offset << " " << n;
        ASSERT_EQ(fastBeyond, plainBeyond) << start << " " << offset << " " << n;
      }
    }
  }
}
