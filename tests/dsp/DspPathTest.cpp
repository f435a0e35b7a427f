#include "dsp/DspPath.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

class DspPathTest : public testing::Test {
 protected:
  void TearDown() override { ResetDspPath(); }
};

TEST_F(DspPathTest, BestPathByDefaultAndForcingSwitches) {
  ResetDspPath();
  const DspPath best = DspPathAvailable(DspPath::kAVX512) ? DspPath::kAVX512
                       : DspPathAvailable(DspPath::kAVX2) ? DspPath::kAVX2
                                                          : DspPath::kSSE2;
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
  // AVX-512 likewise, and only on a CPU that has AVX2 too (its path runs
  // the AVX2 routines).
  const DspPath before = ActiveDspPath();
  EXPECT_EQ(ForceDspPath(DspPath::kAVX512), DspPathAvailable(DspPath::kAVX512));
  EXPECT_EQ(ActiveDspPath(), DspPathAvailable(DspPath::kAVX512) ? DspPath::kAVX512 : before);
  if (DspPathAvailable(DspPath::kAVX512)) {
    EXPECT_TRUE(DspPathAvailable(DspPath::kAVX2));
  } else {
    std::printf("AVX-512 not supported by this CPU: not forced\n");
  }
  EXPECT_FALSE(ForceDspPath(static_cast<DspPath>(4)));
  EXPECT_FALSE(ForceDspPath(static_cast<DspPath>(7)));
  ResetDspPath();
  EXPECT_EQ(ActiveDspPath(), best);
}

TEST_F(DspPathTest, Names) {
  EXPECT_STREQ(DspPathName(DspPath::kScalar), "scalar");
  EXPECT_STREQ(DspPathName(DspPath::kSSE2), "sse2");
  EXPECT_STREQ(DspPathName(DspPath::kAVX2), "avx2");
  EXPECT_STREQ(DspPathName(DspPath::kAVX512), "avx512");
}

// Which paths run the AVX2 routines.
TEST_F(DspPathTest, Avx512RunsTheAvx2Routines) {
  EXPECT_FALSE(UsesAvx2(DspPath::kScalar));
  EXPECT_FALSE(UsesAvx2(DspPath::kSSE2));
  EXPECT_TRUE(UsesAvx2(DspPath::kAVX2));
  EXPECT_TRUE(UsesAvx2(DspPath::kAVX512));
}

}  // namespace
