// Prefaulting keeps what memory holds, whatever its alignment, and leaves
// fresh memory zero.
#include "dsp/Prefault.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

TEST(Prefault, KeepsContentsAndFreshZeros) {
  constexpr std::size_t kBytes = std::size_t(1) << 20;  // past malloc's mapping threshold: fresh pages
  auto* fresh = static_cast<unsigned char*>(std::calloc(kBytes, 1));
  ASSERT_NE(fresh, nullptr);
  PrefaultForWriting(fresh + 3, kBytes - 3);  // neither end on a page boundary
  for (std::size_t i = 0; i < kBytes; i += 997) ASSERT_EQ(fresh[i], 0) << i;

  // Written memory: a pattern on either side of the range and inside it.
  for (std::size_t i = 0; i < kBytes; ++i) fresh[i] = static_cast<unsigned char>(i * 31 + 7);
  const std::vector<unsigned char> before(fresh, fresh + kBytes);
  PrefaultForWriting(fresh + 5000, 300000);
  PrefaultForWriting(fresh, kBytes);
  PrefaultForWriting(nullptr, 100);
  PrefaultForWriting(fresh, 0);
  EXPECT_EQ(std::memcmp(before.data(), fresh, kBytes), 0);
  std::free(fresh);
}
