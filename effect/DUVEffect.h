// DUV, the stereo doubler: identity, parameters and factory presets, and the
// wiring of the host's calls to the audio engine.
//
// Compiled once per plug-in format against the binding plugin/PluginBinding.h
// chooses; the identity, parameters, presets and sound are the same in every
// format. Where the binding hosts the editor in the same object (VST 2), the
// effect builds it; elsewhere (LV2) the editor lives apart from the DSP and
// the effect has none.
#pragma once

#include <memory>

#include "dsp/IndicatorLamp.h"
#include "effect/DUVEditor.h"
#include "effect/DUVParams.h"
#include "plugin/PluginBinding.h"

class DoublerEngine;
class IGraphicsRaster;

class DUVEffect : public IPluginBinding {
 public:
  static constexpr int kNumPresets = 12;
  static constexpr int kLatency = 4096;  // frames; dry, wet and bypass paths are all this late
  static constexpr int kVersion = 0x00010100;

  explicit DUVEffect(IPluginBinding::HostContext host);
  ~DUVEffect() override;

  void Reset() override;
  void ParamChanged(int paramIdx) override;
  void ProcessBlock(double** inputs, double** outputs, int nFrames) override;
  // The bypass lamp: lit while bypassed and while a delay change is faded through.
  const char* StatusLampName() const override { return "bypass lamp"; }
  bool StatusLampLit() const override { return mLamp.lit; }
  // The engine's range (DoublerEngine::kMinSampleRate..kMaxSampleRate): it
  // would run any other rate at a clamped one, out of time.
  bool SupportsSampleRate(double hz) const override;
#if defined(DUV_FORMAT_VST2)
  VstIntPtr VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) override;
#endif

  const DoublerEngine& Engine() const { return *mEngine; }
  const DUVEditorControls& EditorControls() const { return mEditor; }
  // The editor's graphics object; null in formats whose editor lives apart.
  IGraphicsRaster* Graphics() const { return mGraphicsRaster; }

 private:
  // The engine's lamp: keeps the state for the binding's outputs and passes
  // each write on to the editor's bypass button when there is one.
  struct LampRelay : IndicatorLamp {
    void SetLit(bool on) override {
      lit = on;
      if (editorLamp) editorLamp->SetLit(on);
    }
    bool lit = false;
    IndicatorLamp* editorLamp = nullptr;  // owned by the graphics object
  };

  std::unique_ptr<DoublerEngine> mEngine;  // ~350 KiB of audio state, so on the heap
  LampRelay mLamp;
  // Controls the parameter responses write into; owned by the graphics
  // object, all null when no editor could be built.
  DUVEditorControls mEditor;
  IGraphicsRaster* mGraphicsRaster = nullptr;  // owned by the base once attached
};
