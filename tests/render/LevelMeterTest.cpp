// The peak and the count of samples beyond full scale, measured on the way to a sink.
#include "host/LevelMeter.h"

#include <gtest/gtest.h>

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
