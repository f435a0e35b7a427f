// DUV's editor as an LV2 UI: the same parameters (one table with the DSP),
// the same editor as in VST 2, and the bypass lamp following the DSP's lamp
// port instead of the engine.
#include "effect/BypassControl.h"
#include "effect/DUVEditor.h"
#include "effect/DUVEditorLayout.h"
#include "effect/DUVEffect.h"
#include "effect/DUVParams.h"
#include "graphics/IGraphicsRaster.h"
#include "graphics/platform/PlatformGraphics.h"
#include "plugin/lv2/Lv2UIEntry.h"

namespace {

class DUVEffectUI : public IPluginLV2UI {
 public:
  explicit DUVEffectUI(HostContext host)
      : IPluginLV2UI(host, kNumParams, "1-1 2-2", "DUV", "Pelko", DUVEffect::kVersion,
                     PackFourChars("DUV_"), PackFourChars("Pelk"), DUVEffect::kLatency) {
    // The DSP's port layout is stereo only.
    ConnectInputs(0, NInChannels(), true);
    ConnectOutputs(0, NOutChannels(), true);
    DefineDUVParams(this);
    IGraphicsRaster* graphics = MakePlatformGraphics(
        this, duv_layout::kEditorWidth, duv_layout::kEditorHeight, duv_layout::kEditorFPS);
    mEditor = BuildDUVEditor(graphics, this);
    AttachEditor(graphics);
    // Puts the wheels and rockers in the actions their parameters say, as the DSP side does.
    NotifyAllParamsChanged();
  }

  ~DUVEffectUI() override {
    if (IPluginEditor* editor = GetGUI()) editor->CloseWindow();
  }

  void ParamChanged(int paramIdx) override {
    LockGuard guard(Lock());
    const IParam* param = ParamAt(paramIdx);
    if (param) ShowParamInEditor(mEditor, paramIdx, param->Value());
  }
  const char* StatusLampName() const override { return "bypass lamp"; }
  void ShowStatusLamp(bool lit) override {
    if (mEditor.bypass) mEditor.bypass->SetLit(lit);
  }

 private:
  DUVEditorControls mEditor;  // owned by the graphics object
};

}  // namespace

IPluginLV2UI* MakeUIPlugin(IPluginLV2UI::HostContext host) { return new DUVEffectUI(host); }

const char* PluginURI() { return kDUVPluginURI; }
const char* PluginUIURI() { return kDUVUIURI; }
