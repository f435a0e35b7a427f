#include "effect/DUVEffect.h"

#include "dsp/DoublerEngine.h"
#include "plugin/Text.h"
#if DUV_BINDING_HOSTS_EDITOR
#include "effect/BypassControl.h"
#include "effect/DUVEditorLayout.h"
#include "graphics/IGraphics.h"
#include "graphics/IGraphicsRaster.h"
#include "graphics/platform/PlatformGraphics.h"
#include "plugin/vst2/EditorProbe.h"
#include "raster/RasterBitmap.h"
#endif

DUVEffect::DUVEffect(IPluginBinding::HostContext host)
    : IPluginBinding(host, kNumParams, "1-1 2-2", kNumPresets, "DUV", "", "Pelko", kVersion,
                 PackFourChars("DUV_"), PackFourChars("Pelk"), kLatency, false, false, false),
      mEngine(std::make_unique<DoublerEngine>()) {
  DefineDUVParams(this);

  AddPresetsFromCurrent(nullptr, 1);
  //                         wet  cents1 delay1 cents2 delay2 width color byp knob rock hpf
  AddPreset("Silky Vocal",   {0.3,  -17.5, 21,    15,    14,    90,   0,    0,  0,   0,   100});
  AddPreset("Heroic Guitar", {0.25, -16,   15,    10,    32.5,  95,   0.25, 0,  0,   0,   100});
  AddPreset("Rich Slapback", {0.4,  8.5,   65,    10.5,  66,    50,   0.5,  0,  0,   0,   100});
  AddPreset("Wide Snare",    {0.35, -50,   15,    50,    12,    100,  1,    0,  0,   0,   100});
  // Twice on purpose: stored projects refer to programs by index, so removing
  // the copy would move Brindle and the user slots under every saved project.
  AddPreset("Wide Snare",    {0.35, -50,   15,    50,    12,    100,  1,    0,  0,   0,   100});
  AddPreset("Brindle",       {0.5,  -17,   25,    15,    22,    100,  0,    0,  0,   0,   100});

#if DUV_BINDING_HOSTS_EDITOR
  mGraphicsRaster = MakePlatformGraphics(this, duv_layout::kEditorWidth, duv_layout::kEditorHeight,
                                         duv_layout::kEditorFPS);
  mEditor = BuildDUVEditor(mGraphicsRaster, this);
  mLamp.editorLamp = mEditor.bypass;
  AttachEditor(mGraphicsRaster);
#endif
  mEngine->SetBypassLamp(&mLamp);

  // Hosts deliver every value at open and set the rate before processing;
  // doing both now as well keeps an instance that is never opened sane, and
  // puts the wheels and rockers in the actions their parameters say.
  NotifyAllParamsChanged();
  mEngine->Reset(GetSampleRate());
}

DUVEffect::~DUVEffect() {
  // A host may close the plug-in with its editor still open: stop the
  // editor's window (and its thread) while the effect is still whole.
  if (IPluginEditor* editor = GetGUI()) editor->CloseWindow();
  mLamp.editorLamp = nullptr;  // the button goes with the graphics object
}

void DUVEffect::Reset() {
  LockGuard guard(Lock());
  mEngine->Reset(GetSampleRate());
}

void DUVEffect::ParamChanged(int paramIdx) {
  LockGuard guard(Lock());
  const IParam* param = ParamAt(paramIdx);
  if (!param) return;
  const double v = param->Value();
  switch (paramIdx) {
    case kWet: mEngine->SetWet(v); break;
    case kCents1: mEngine->SetCents(0, v); break;
    case kDelay1: mEngine->SetDelayMs(0, v); break;
    case kCents2: mEngine->SetCents(1, v); break;
    case kDelay2: mEngine->SetDelayMs(1, v); break;
    case kStereoWidth: mEngine->SetWidthPercent(v); break;
    case kColor: mEngine->SetColor(v); break;
    case kBypass: mEngine->SetBypass(v >= 0.5); break;  // also sets the lamp
    case kDetectorHpf: mEngine->SetDetectorHpf(v); break;
    default: break;  // the two action parameters concern the editor only
  }
#if DUV_BINDING_HOSTS_EDITOR
  ShowParamInEditor(mEditor, paramIdx, v);
#endif
}

bool DUVEffect::SupportsSampleRate(double hz) const {
  return hz >= DoublerEngine::kMinSampleRate && hz <= DoublerEngine::kMaxSampleRate;
}

void DUVEffect::ProcessBlock(double** inputs, double** outputs, int nFrames) {
  mEngine->ProcessBlock(inputs, outputs, nFrames);
}

IPluginBinding* MakePlugin(IPluginBinding::HostContext host) { return new DUVEffect(host); }

#if defined(DUV_FORMAT_LV2)
const char* PluginURI() { return kDUVPluginURI; }
const char* PluginUIURI() { return kDUVUIURI; }
#endif

#if defined(DUV_FORMAT_VST2)
VstIntPtr DUVEffect::VendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (index != kEditorProbeIndex) return IPluginVST::VendorSpecific(index, value, ptr, opt);
  IGraphicsRaster* graphics = mGraphicsRaster;
  if (!graphics || !graphics->Surface()) return 0;
  switch (value) {
    case kProbeSnapshot: {
      auto* image = static_cast<EditorProbeImage*>(ptr);
      const int w = graphics->Width(), h = graphics->Height();
      if (!image || !image->pixels || image->width < w || image->height < h) return 0;
      graphics->SetAllControlsDirty();
      IRect all{0, 0, w, h};
      graphics->Draw(&all);
      const std::uint32_t* bits = graphics->Surface()->getBits();
      const int span = graphics->Surface()->getRowSpan();
      if (!bits || graphics->Surface()->getWidth() < w || graphics->Surface()->getHeight() < h)
        return 0;  // no surface to read: memory ran out
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image->pixels[y * image->width + x] = bits[y * span + x];
      image->width = w;
      image->height = h;
      return 1;
    }
    case kProbeMouse: {
      const auto* m = static_cast<const EditorProbeMouse*>(ptr);
      if (!m) return 0;
      IMouseMods mods{m->left != 0, m->right != 0, m->shift != 0, m->ctrl != 0, m->alt != 0};
      switch (m->kind) {
        case EditorProbeMouse::kDown: graphics->OnMouseDown(m->x, m->y, mods); return 1;
        case EditorProbeMouse::kUp: graphics->OnMouseUp(m->x, m->y, mods); return 1;
        case EditorProbeMouse::kDrag: graphics->OnMouseDrag(m->x, m->y, mods); return 1;
        case EditorProbeMouse::kDoubleClick: return graphics->OnMouseDblClick(m->x, m->y, mods) ? 1 : 0;
        case EditorProbeMouse::kWheel: graphics->OnMouseWheel(m->x, m->y, mods, m->delta); return 1;
        default: return 0;
      }
    }
    case kProbeTick: {
      IRect dirty;
      if (!graphics->IsDirty(&dirty)) return 0;
      graphics->Draw(&dirty);
      if (int* out = static_cast<int*>(ptr)) {
        out[0] = dirty.L;
        out[1] = dirty.T;
        out[2] = dirty.R;
        out[3] = dirty.B;
      }
      return 1;
    }
    default:
      return 0;
  }
}
#endif
