// The factory picture as it was recorded when the images were still decoded
// at construction: an FNV-1a hash of the 716 x 227 editor's pixel words,
// leaving out the version text's strip (it depends on the machine's fonts).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr std::uint64_t kRecordedFactoryPicture = 0x065a52650c9ecfdbull;

inline std::uint64_t RecordedPictureHash(const std::vector<std::uint32_t>& p) {
  std::uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < 227; ++y)
    for (int x = 0; x < 716; ++x)
      if (x < 530 || x >= 605 || y < 8 || y >= 18)
        h = (h ^ p[static_cast<std::size_t>(y) * 716 + x]) * 1099511628211ull;
  return h;
}
