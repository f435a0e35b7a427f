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

// The LV2 plug-in's and its UI's URIs: the same forever (hosts store them in projects).
constexpr const char* kDUVPluginURI = "https://pelko.audio/plugins/duv";
constexpr const char* kDUVUIURI = "https://pelko.audio/plugins/duv#ui";

class IPluginBase;

// Names, ranges, steps, units, defaults and display texts of every parameter,
// set on plug's parameters (which must number kNumParams). One table for the
// DSP in every format and for an editor that lives apart from it (LV2 UI).
void DefineDUVParams(IPluginBase* plug);
