#include "dsp/DspPath.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class DspPathTest : public testing::Test {
 protected:
  void TearDown() override { ResetDspPath(); }
};

TEST_F(DspPathTest, BestPathByDefaultAndForcingSwitches) {
  ResetDspPath();
  const DspPath best = DspPathAvailable(DspPath::kAVX2) ? DspPath::kAVX2 : DspPath::kSSE2;
  EXPECT_EQ(ActiveDspPath(), best);
  EXPECT_TRUE(DspPathAvailable(DspPath::kScalar));
  EXPECT_TRUE(DspPathAvailable(DspPath::kSSE2));
  ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
  EXPECT_EQ(ActiveDspPath(), DspPath::kScalar);
  ASSERT_TRUE(ForceDspPath(DspPath::kSSE2));
  EXPECT_EQ(ActiveDspPath(), DspPath::kSSE2);
  // AVX2 is taken exactly when the CPU has it; otherwise the path stays.
  EXPECT_EQ(ForceDspPath(DspPath::kAVX2), DspPathAvailable(DspPath::kAVX2));
  EXPECT_EQ(ActiveDspPath(), DspPathAvailable(DspPath::kAVX2) ? DspPath::kAVX2 : DspPath::kSSE2);
  EXPECT_FALSE(ForceDspPath(static_cast<DspPath>(7)));
  ResetDspPath();
  EXPECT_EQ(ActiveDspPath(), best);
}

TEST_F(DspPathTest, Names) {
  EXPECT_STREQ(DspPathName(DspPath::kScalar), "scalar");
  EXPECT_STREQ(DspPathName(DspPath::kSSE2), "sse2");
  EXPECT_STREQ(DspPathName(DspPath::kAVX2), "avx2");
}

}  // namespace
