// DUV's parameter indices, as hosts, stored chunks and the editor see them.
// Shared by the effect (every format build) and its editor.
#pragma once

enum EDUVParam {
  kWet = 0,
  kCents1,
  kDelay1,
  kCents2,
  kDelay2,
  kStereoWidth,
  kColor,
  kBypass,
  kKnobAction,
  kRockerAction,
  kDetectorHpf,
  kNumParams
};
