// DUV, the stereo doubler: identity, parameters and factory presets, and the
// wiring of the host's calls to the audio engine.
#pragma once

#include <memory>

#include "effect/DUVEditor.h"
#include "plugin/IPluginVST.h"

class DoublerEngine;

// Parameter indices, as hosts and stored chunks see them.
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

class DUVEffect : public IPluginVST {
 public:
  static constexpr int kNumPresets = 12;
  static constexpr int kLatency = 4096;  // frames; dry, wet and bypass paths are all this late
  static constexpr int kVersion = 0x00010100;

  explicit DUVEffect(audioMasterCallback hostCallback);
  ~DUVEffect() override;

  void Reset() override;
  void ParamChanged(int paramIdx) override;
  void ProcessBlock(double** inputs, double** outputs, int nFrames) override;
  VstIntPtr VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  const DoublerEngine& Engine() const { return *mEngine; }
  const DUVEditorControls& EditorControls() const { return mEditor; }

 private:
  std::unique_ptr<DoublerEngine> mEngine;  // ~300 KiB of audio state, so on the heap
  // Controls the parameter responses write into; owned by the graphics
  // object, all null when no editor could be built.
  DUVEditorControls mEditor;
};
