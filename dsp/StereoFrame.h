// One frame of stereo audio as the effect stores it internally: two 32-bit
// floats, left then right. Arrays of frames are laid out interleaved
// (L0 R0 L1 R1 ...), which the detector and the SIMD paths rely on.
#pragma once

struct StereoFrame {
  float left = 0.0f;
  float right = 0.0f;
};

static_assert(sizeof(StereoFrame) == 2 * sizeof(float), "frames must pack as interleaved float pairs");
