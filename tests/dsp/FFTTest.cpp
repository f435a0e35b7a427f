#include "dsp/FFT.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <vector>

#include "TestSignals.h"

namespace {

using cd = std::complex<double>;

std::vector<int> AllSizes() {
  std::vector<int> sizes;
  for (int n = kFFTMinSize; n <= kFFTMaxSize; n *= 2) sizes.push_back(n);
  return sizes;
}

// Direct DFT of bin k with the forward (positive) exponent, in double.
cd DirectBin(const std::vector<float>& x, int n, int k, const std::vector<cd>& roots) {
  cd sum = 0;
  for (int m = 0; m < n; ++m) {
    const cd v(x[2 * m], x[2 * m + 1]);
    sum += v * roots[(static_cast<long>(m) * k) % n];
  }
  return sum;
}

std::vector<cd> Roots(int n, double sign) {
  std::vector<cd> r(n);
  for (int i = 0; i < n; ++i) r[i] = std::polar(1.0, sign * 2.0 * M_PI * i / n);
  return r;
}

double Norm(const std::vector<float>& x) {
  double s = 0;
  for (float v : x) s += static_cast<double>(v) * v;
  return std::sqrt(s);
}

// Error bound of a float split-radix transform: each of the log2(n) stages
// adds at most about c*eps relative error (one add or subtract, plus a
// complex multiply with a rounded twiddle: c = 4 covers both with margin),
// so ||X_float - X_exact||_2 <= c * eps * log2(n) * ||X||_2, and by Parseval
// ||X||_2 = sqrt(n) * ||x||_2. A single bin's error is bounded by the same.
double ForwardBound(int n, double inputNorm) {
  const double c = 4.0;
  return c * FLT_EPSILON * std::log2(static_cast<double>(n)) * std::sqrt(static_cast<double>(n)) * inputNorm;
}

std::vector<float> Signal(int kind, int n, uint64_t seed) {
  std::vector<float> x(2 * n);
  TestRandom rnd(seed);
  const int bin = n >= 4 ? n / 4 + 1 : 1;
  for (int m = 0; m < n; ++m) {
    switch (kind) {
      case 0: x[2 * m] = 1.0f; break;                       // DC
      case 1: x[2 * m] = (m & 1) ? -1.0f : 1.0f; break;     // Nyquist
      case 2:                                               // one bin
        x[2 * m] = static_cast<float>(std::cos(2.0 * M_PI * m * bin / n));
        x[2 * m + 1] = static_cast<float>(std::sin(2.0 * M_PI * m * bin / n));
        break;
      default:
        x[2 * m] = static_cast<float>(rnd.Uniform());
        x[2 * m + 1] = static_cast<float>(rnd.Uniform());
    }
  }
  return x;
}

class FFTTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { FFTInit(); }
  void TearDown() override { ResetDspPath(); }
};

TEST_F(FFTTest, SizeTwoIsOneButterflyBothWays) {
  for (int inverse = 0; inverse < 2; ++inverse) {
    float d[4] = {1.5f, -2.0f, 0.25f, 3.0f};
    ComplexFFT(d, 2, inverse);
    EXPECT_EQ(d[0], 1.75f);
    EXPECT_EQ(d[1], 1.0f);
    EXPECT_EQ(d[2], 1.25f);
    EXPECT_EQ(d[3], -5.0f);
  }
}

TEST_F(FFTTest, SizeFourImpulsesExact) {
  float d[8] = {1, 0, 0, 0, 0, 0, 0, 0};
  ComplexFFT(d, 4, 0);
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(d[2 * p], 1.0f) << p;
    EXPECT_EQ(d[2 * p + 1], 0.0f) << p;
  }
  // x = [0, 1, 0, 0]: positions hold frequencies 0, 2, 1, 3 of exp(+2 pi i m k / 4).
  float e[8] = {0, 0, 1, 0, 0, 0, 0, 0};
  ComplexFFT(e, 4, 0);
  const float want[8] = {1, 0, -1, 0, 0, 1, 0, -1};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(e[i], want[i]) << i;
  EXPECT_EQ(FrequencyIndex(0, 4), 0u);
  EXPECT_EQ(FrequencyIndex(1, 4), 2u);
  EXPECT_EQ(FrequencyIndex(2, 4), 1u);
  EXPECT_EQ(FrequencyIndex(3, 4), 3u);
}

TEST_F(FFTTest, UnsupportedSizesLeaveDataUntouched) {
  for (int n : {-4, 0, 1, 3, 6, 12, 65536}) {
    std::vector<float> d(2 * 65536 + 8);
    TestRandom rnd(static_cast<uint64_t>(n + 100));
    for (float& v : d) v = static_cast<float>(rnd.Uniform());
    const std::vector<float> before = d;
    ComplexFFT(d.data(), n, 0);
    ComplexFFT(d.data(), n, 1);
    EXPECT_EQ(std::memcmp(d.data(), before.data(), d.size() * sizeof(float)), 0) << "n = " << n;
  }
  ComplexFFT(nullptr, 1024, 0);  // must not crash
  EXPECT_EQ(FFTBinPosition(8, 1), -1);
  EXPECT_EQ(FFTBinPosition(65536, 1), -1);
  EXPECT_EQ(FFTBinPosition(1024, 1024), -1);
  EXPECT_EQ(FFTBinPosition(1024, -1), -1);
}

TEST_F(FFTTest, PositionTableIsPermutationPointingAtNegativeFrequency) {
  for (int n = 16; n <= kFFTMaxSize; n *= 2) {
    std::vector<char> seen(n, 0);
    for (int k = 0; k < n; ++k) {
      const int p = FFTBinPosition(n, k);
      ASSERT_GE(p, 0);
      ASSERT_LT(p, n);
      ASSERT_FALSE(seen[p]) << "n " << n << " k " << k;
      seen[p] = 1;
      ASSERT_EQ((FrequencyIndex(static_cast<unsigned>(p), static_cast<unsigned>(n)) + static_cast<unsigned>(k)) %
                    static_cast<unsigned>(n),
                0u);
    }
    EXPECT_EQ(FFTBinPosition(n, 0), 0);
  }
}

TEST_F(FFTTest, ForwardMatchesDirectDFTEverySize) {
  for (int n : AllSizes()) {
    const std::vector<cd> roots = Roots(n, +1.0);
    for (int kind = 0; kind < 4; ++kind) {
      const std::vector<float> x = Signal(kind, n, static_cast<uint64_t>(n));
      std::vector<float> y = x;
      ComplexFFT(y.data(), n, 0);
      const double bound = ForwardBound(n, Norm(x));
      if (n <= 4096) {
        double err2 = 0;
        for (int p = 0; p < n; ++p) {
          const cd want = DirectBin(x, n, static_cast<int>(FrequencyIndex(static_cast<unsigned>(p), static_cast<unsigned>(n))), roots);
          err2 += std::norm(cd(y[2 * p], y[2 * p + 1]) - want);
        }
        EXPECT_LE(std::sqrt(err2), bound) << "n " << n << " signal " << kind;
      } else {
        // Large sizes: the O(n^2) sum on a seeded choice of bins plus 0 and n/2.
        TestRandom rnd(static_cast<uint64_t>(kind) + 7);
        for (int s = 0; s < 48; ++s) {
          int p = s == 0 ? 0 : s == 1 ? FFTBinPosition(n, n / 2) : static_cast<int>(rnd.Next() % static_cast<uint64_t>(n));
          const cd want = DirectBin(x, n, static_cast<int>(FrequencyIndex(static_cast<unsigned>(p), static_cast<unsigned>(n))), roots);
          EXPECT_LE(std::abs(cd(y[2 * p], y[2 * p + 1]) - want), bound) << "n " << n << " position " << p;
        }
      }
    }
  }
}

TEST_F(FFTTest, BinPositionFindsUsualSignConvention) {
  // A one-bin signal exp(-2 pi i m b / n) concentrates in Z[b] (negative
  // exponent convention), which FFTBinPosition(n, b) locates.
  for (int n = 16; n <= kFFTMaxSize; n *= 2) {
    const int b = n / 8 + 3;
    std::vector<float> x(2 * n);
    for (int m = 0; m < n; ++m) {
      x[2 * m] = static_cast<float>(std::cos(2.0 * M_PI * m * b / n));
      x[2 * m + 1] = static_cast<float>(std::sin(2.0 * M_PI * m * b / n));
    }
    ComplexFFT(x.data(), n, 0);
    const int p = FFTBinPosition(n, b);
    EXPECT_NEAR(x[2 * p], n, ForwardBound(n, std::sqrt(static_cast<double>(n)))) << n;
  }
}

TEST_F(FFTTest, ForwardThenInverseScalesByN) {
  for (int n : AllSizes()) {
    const std::vector<float> x = Signal(3, n, static_cast<uint64_t>(n) + 1);
    std::vector<float> y = x;
    ComplexFFT(y.data(), n, 0);
    ComplexFFT(y.data(), n, 1);
    double err2 = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      const double d = y[i] - static_cast<double>(n) * x[i];
      err2 += d * d;
    }
    // Two transforms, each within the bound above, the second on data n^(1/2) times larger.
    const double bound = 2.0 * std::sqrt(static_cast<double>(n)) * ForwardBound(n, Norm(x));
    EXPECT_LE(std::sqrt(err2), bound) << n;
  }
}

TEST_F(FFTTest, InitTwiceChangesNothing) {
  std::vector<int> before;
  for (int k = 0; k < 8192; ++k) before.push_back(FFTBinPosition(8192, k));
  std::vector<float> a = Signal(3, 8192, 5), b = a;
  ComplexFFT(a.data(), 8192, 0);
  FFTInit();
  ComplexFFT(b.data(), 8192, 0);
  for (int k = 0; k < 8192; ++k) ASSERT_EQ(FFTBinPosition(8192, k), before[k]);
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
}

// Every available vector path against the scalar reference, bit for bit, on
// every size, both directions, aligned and misaligned starts, noise and
// special values (signed zeros, infinities are left out: they make NaNs).
TEST_F(FFTTest, VectorPathsBitIdenticalToScalar) {
  int compared = 0;
  for (DspPath path : {DspPath::kSSE2, DspPath::kAVX2, DspPath::kAVX512}) {
    if (!DspPathAvailable(path)) {
      std::printf("skipping path %d: not supported by this CPU\n", static_cast<int>(path));
      continue;
    }
    for (int n : AllSizes()) {
      for (int offset : {0, 1, 2, 3}) {
        for (int inverse = 0; inverse < 2; ++inverse) {
          std::vector<float> buf(2 * n + 4);
          TestRandom rnd(static_cast<uint64_t>(n * 8 + offset * 2 + inverse));
          for (float& v : buf) {
            const uint64_t r = rnd.Next() % 16;
            v = r == 0 ? 0.0f : r == 1 ? -0.0f : r == 2 ? 1e30f : static_cast<float>(rnd.Uniform());
          }
          std::vector<float> ref = buf;
          ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
          ComplexFFT(ref.data() + offset, n, inverse);
          ASSERT_TRUE(ForceDspPath(path));
          ComplexFFT(buf.data() + offset, n, inverse);
          ASSERT_EQ(std::memcmp(ref.data(), buf.data(), buf.size() * sizeof(float)), 0)
              << "path " << static_cast<int>(path) << " n " << n << " offset " << offset << " inverse " << inverse;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 0);
}

// The reference skips the multiplication by w^0 = 1, and x * (1, 0) differs
// from x where signed zeros meet: (-0) * 1 - (-0) * 0 is +0, not -0. The
// vector steps keep lane 0 unmultiplied; inputs made of zeros of random sign
// (a few with one value among them) produce those patterns in every pass.
TEST_F(FFTTest, VectorPathsKeepSignedZerosOfTheUnitTwiddle) {
  int compared = 0;
  for (DspPath path : {DspPath::kSSE2, DspPath::kAVX2, DspPath::kAVX512}) {
    if (!DspPathAvailable(path)) {
      std::printf("skipping path %d: not supported by this CPU\n", static_cast<int>(path));
      continue;
    }
    for (int n : AllSizes()) {
      const int seeds = n <= 1024 ? 48 : 6;
      for (int seed = 0; seed < seeds; ++seed) {
        for (int inverse = 0; inverse < 2; ++inverse) {
          std::vector<float> buf(2 * n);
          TestRandom rnd(static_cast<uint64_t>(n * 131 + seed * 2 + inverse));
          if (seed < 3) {
            // Sums keep -0 only when both terms are -0, so random signs die
            // out after a few stages; uniform parts survive to every pass:
            // (-0, +0), (+0, -0) and (-0, -0) everywhere.
            for (int m = 0; m < n; ++m) {
              buf[2 * m] = seed != 1 ? -0.0f : 0.0f;
              buf[2 * m + 1] = seed != 0 ? -0.0f : 0.0f;
            }
          } else {
            const uint64_t negativeIn4 = seed % 2 == 0 ? 2 : 3;
            for (float& v : buf) v = (rnd.Next() % 4 < negativeIn4) ? -0.0f : 0.0f;
            if (seed % 3 == 1) buf[rnd.Next() % buf.size()] = 1.5f;
          }
          std::vector<float> ref = buf;
          ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
          ComplexFFT(ref.data(), n, inverse);
          ASSERT_TRUE(ForceDspPath(path));
          ComplexFFT(buf.data(), n, inverse);
          ASSERT_EQ(std::memcmp(ref.data(), buf.data(), buf.size() * sizeof(float)), 0)
              << DspPathName(path) << " n " << n << " seed " << seed << " inverse " << inverse;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 0);
}

// Known values in every lane of the vector kernels: an impulse at m gives
// X[k] = exp(+2 pi i m k / n) at the position of frequency k, exactly 1, -1,
// i or -i where m k is a multiple of n / 4, and within float rounding of
// the rounded twiddle products elsewhere.
TEST_F(FFTTest, ImpulsesGiveTwiddlesOnEveryPath) {
  for (DspPath path : {DspPath::kScalar, DspPath::kSSE2, DspPath::kAVX2, DspPath::kAVX512}) {
    if (!ForceDspPath(path)) continue;
    for (int n : {8, 16, 32, 64}) {
      for (int m = 0; m < n; ++m) {
        std::vector<float> x(2 * n, 0.0f);
        x[2 * m] = 1.0f;
        ComplexFFT(x.data(), n, 0);
        for (int p = 0; p < n; ++p) {
          const unsigned k = FrequencyIndex(static_cast<unsigned>(p), static_cast<unsigned>(n));
          const long mk = (static_cast<long>(m) * k) % n;
          const double angle = 2.0 * M_PI * static_cast<double>(mk) / n;
          if (mk % (n / 4) == 0) {
            ASSERT_EQ(x[2 * p], static_cast<float>(std::round(std::cos(angle)))) << DspPathName(path) << " n " << n << " m " << m << " p " << p;
            ASSERT_EQ(x[2 * p + 1], static_cast<float>(std::round(std::sin(angle)))) << DspPathName(path) << " n " << n << " m " << m << " p " << p;
          } else {
            // A few rounded twiddle products: 4 float epsilons per stage.
            const double tol = 4.0 * FLT_EPSILON * std::log2(static_cast<double>(n));
            ASSERT_NEAR(x[2 * p], std::cos(angle), tol) << DspPathName(path) << " n " << n << " m " << m << " p " << p;
            ASSERT_NEAR(x[2 * p + 1], std::sin(angle), tol) << DspPathName(path) << " n " << n << " m " << m << " p " << p;
          }
        }
      }
    }
  }
}

TEST_F(FFTTest, PositionRunsMatchSingleLookups) {
  for (int n = 16; n <= kFFTMaxSize; n *= 2) {
    const int* run = FFTBinPositions(n);
    ASSERT_NE(run, nullptr) << n;
    for (int k = 0; k < n; ++k) ASSERT_EQ(run[k], FFTBinPosition(n, k)) << n << " " << k;
  }
  for (int n : {-16, 0, 8, 24, 65536}) EXPECT_EQ(FFTBinPositions(n), nullptr) << n;
}

TEST_F(FFTTest, BestPathIsActiveAfterInit) {
  ResetDspPath();
  const DspPath active = ActiveDspPath();
  EXPECT_TRUE(active == (DspPathAvailable(DspPath::kAVX512) ? DspPath::kAVX512
                         : DspPathAvailable(DspPath::kAVX2) ? DspPath::kAVX2
                                                            : DspPath::kSSE2));
  EXPECT_TRUE(ForceDspPath(DspPath::kScalar));
  EXPECT_EQ(ActiveDspPath(), DspPath::kScalar);
}

}  // namespace

namespace {

// The windowed transform equals the window's float products followed by the
// plain transform on every path, bit for bit: every size, in place and out
// of place, misaligned input, output and window, signed zeros in window and
// data (the first pass must keep the unit twiddle's lanes unmultiplied).
TEST_F(FFTTest, WindowedTransformEqualsProductsThenTransform) {
  int compared = 0;
  for (DspPath path : {DspPath::kScalar, DspPath::kSSE2, DspPath::kAVX2, DspPath::kAVX512}) {
    if (!DspPathAvailable(path)) {
      std::printf("skipping path %d: not supported by this CPU\n", static_cast<int>(path));
      continue;
    }
    for (int n : AllSizes()) {
      for (int offset : {0, 1, 3}) {
        for (bool inPlace : {false, true}) {
          TestRandom rnd(static_cast<uint64_t>(n * 16 + offset * 2 + (inPlace ? 1 : 0)));
          std::vector<float> in(2 * n + 4), window(n + 4);
          for (float& v : in) v = rnd.Next() % 8 == 0 ? -0.0f : static_cast<float>(rnd.Uniform());
          for (float& v : window) v = rnd.Next() % 8 == 0 ? 0.0f : static_cast<float>(rnd.Uniform());
          const float* x = in.data() + offset;
          const float* w = window.data() + (offset + 1) % 4;
          std::vector<float> want(2 * n + 4, 7.0f);
          for (int m = 0; m < n; ++m) {
            want[offset + 2 * m] = x[2 * m] * w[m];
            want[offset + 2 * m + 1] = x[2 * m + 1] * w[m];
          }
          ASSERT_TRUE(ForceDspPath(DspPath::kScalar));
          ComplexFFT(want.data() + offset, n, 0);
          ASSERT_TRUE(ForceDspPath(path));
          std::vector<float> got(2 * n + 4, 7.0f);
          if (inPlace) {
            std::copy(in.begin() + offset, in.begin() + offset + 2 * n, got.begin() + offset);
            WindowedForwardFFT(got.data() + offset, got.data() + offset, w, n);
          } else {
            WindowedForwardFFT(got.data() + offset, x, w, n);
          }
          ASSERT_EQ(std::memcmp(want.data(), got.data(), got.size() * sizeof(float)), 0)
              << DspPathName(path) << " n " << n << " offset " << offset << " in place " << inPlace;
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 0);
  // Invalid sizes and null pointers leave the output untouched.
  std::vector<float> out(64, 3.0f), in(64, 1.0f), window(32, 0.5f);
  for (int n : {0, 3, 12, 65536}) WindowedForwardFFT(out.data(), in.data(), window.data(), n);
  WindowedForwardFFT(out.data(), nullptr, window.data(), 16);
  WindowedForwardFFT(out.data(), in.data(), nullptr, 16);
  WindowedForwardFFT(nullptr, in.data(), window.data(), 16);
  EXPECT_EQ(out, std::vector<float>(64, 3.0f));
}

}  // namespace
