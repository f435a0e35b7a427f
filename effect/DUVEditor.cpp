#include "effect/DUVEditor.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "effect/BypassControl.h"
#include "effect/DUVEditorLayout.h"
#include "effect/DUVParams.h"
#include "effect/LedDisplayControl.h"
#include "effect/ModeSwitchControl.h"
#include "effect/RockerControl.h"
#include "effect/VersionLabelControl.h"
#include "effect/WheelControl.h"
#include "graphics/BitmapCache.h"
#include "graphics/IGraphics.h"
#include "graphics/LinkControl.h"
#include "plugin/Text.h"
#include "raster/Blit.h"
#include "raster/ImageLoader.h"
#include "raster/RasterBitmap.h"

using namespace duv_layout;

namespace {

struct HelperImageMissing {};  // thrown out of a preparation, caught by the cache

enum EPreparation { kMasked = 1, kRinged = 2 };

IBitmap Load(IGraphics* g, const Image& image) { return g->LoadBitmap(image.id, image.file, image.frames); }

// Decodes a helper image (mask, ring) for one preparation; it never enters
// the cache, so nothing needs releasing afterwards.
std::unique_ptr<duv::RasterBitmap> LoadHelper(const Image& image) {
  return std::unique_ptr<duv::RasterBitmap>(duv::loadImageResource(image.id, image.file));
}

// Attaches the strip's masking (and, for the inner strip, the ring laid over
// every frame) to the cached image: the cache runs them once per process,
// right after the strip's first decode. Later editors attach the same jobs,
// which changes nothing.
void PrepareStrip(const IBitmap& strip, const Image& maskImage, const Image* ringImage) {
  if (!strip.bitmap) return;
  BitmapCache& cache = BitmapCache::Instance();
  const int frames = strip.N;
  // A helper image that does not load (memory ran out) must not leave a strip
  // published half prepared: the preparation fails, and the cache leaves the
  // strip undecoded until the editor is next shown.
  cache.AddPreparation(strip.bitmap, kMasked, [frames, maskImage](duv::RasterBitmap* decoded) {
    auto mask = LoadHelper(maskImage);
    if (!mask) throw HelperImageMissing{};
    MaskStrip(decoded, frames, mask.get());
  });
  if (!ringImage) return;
  // The ring is laid on as it decodes, a band of rows at a time: the whole
  // ring (as large as the strip) is never held.
  cache.AddPreparation(strip.bitmap, kRinged, [ring = *ringImage](duv::RasterBitmap* decoded) {
    constexpr int kBandRows = 64;
    duv::MemoryBitmap band(1, 1);
    const bool laid = duv::streamImageResource(
        ring.id, ring.file, &band, kBandRows, [decoded](duv::RasterBitmap* rows, int firstRow, int count) {
          const duv::RasterRect part{0, 0, rows->getWidth(), count};
          duv::blit(decoded, rows, 0, firstRow, &part, 1.0f, duv::kBlitUseSourceAlpha);
        });
    if (!laid) throw HelperImageMissing{};
  });
}

}  // namespace

void MaskStripReference(duv::RasterBitmap* strip, int frames, duv::RasterBitmap* mask) {
  if (!strip || !mask || !strip->getBits() || !mask->getBits()) return;
  const int w = mask->getWidth(), h = mask->getHeight();
  if (w != strip->getWidth() || static_cast<long>(h) * frames > strip->getHeight()) return;
  std::uint32_t* s = strip->getBits();
  const std::uint32_t* m = mask->getBits();
  const int sSpan = strip->getRowSpan(), mSpan = mask->getRowSpan();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if ((m[y * mSpan + x] >> 16) & 0xFF) continue;
      for (int f = 0; f < frames; ++f) s[(static_cast<long>(f) * h + y) * sSpan + x] = 0;
    }
  }
}

std::string ManualFallbackPath(const std::string& pluginDirectory) {
  // Climb from .../lib/vst/ to the prefix: drop the trailing separator, then
  // the last two folder names, keeping the separator before them.
  std::string prefix = pluginDirectory;
  if (prefix.empty()) return "";
  const char sep = prefix.back();
  prefix.pop_back();
  for (int level = 0; level < 2; ++level) {
    const std::size_t at = prefix.find_last_of("/\\");
    if (at == std::string::npos) return "";
    prefix.resize(at);
  }
  return prefix + sep + "share" + sep + "doc" + sep + "duv" + sep + kManualFile;
}

void MaskStrip(duv::RasterBitmap* strip, int frames, duv::RasterBitmap* mask) {
  if (!strip || !mask || !strip->getBits() || !mask->getBits()) return;
  const int w = mask->getWidth(), h = mask->getHeight();
  // The mask must cover exactly one frame of the strip.
  if (w != strip->getWidth() || static_cast<long>(h) * frames > strip->getHeight()) return;
  // The reference walks the mask and writes down through every frame, a
  // cache miss per write on a 15 MB strip. Here the mask becomes runs of
  // cleared pixels per row (the corners outside the wheel's circle), and the
  // frames are visited in memory order, writing only those runs.
  struct Run {
    int y, x0, x1;  // row, first and one past the last cleared column
  };
  std::vector<Run> runs;
  const std::uint32_t* m = mask->getBits();
  const int mSpan = mask->getRowSpan(), sSpan = strip->getRowSpan();
  auto cleared = [&](int x, int y) { return ((m[y * mSpan + x] >> 16) & 0xFF) == 0; };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w;) {
      if (!cleared(x, y)) {
        ++x;
        continue;
      }
      const int x0 = x;
      while (x < w && cleared(x, y)) ++x;
      runs.push_back({y, x0, x});
    }
  }
  std::uint32_t* s = strip->getBits();
  for (int f = 0; f < frames; ++f) {
    std::uint32_t* frame = s + static_cast<long>(f) * h * sSpan;
    for (const Run& r : runs) std::fill(frame + static_cast<long>(r.y) * sSpan + r.x0, frame + static_cast<long>(r.y) * sSpan + r.x1, 0u);
  }
}

DUVEditorControls BuildDUVEditor(IGraphics* g, IPluginBase* plug) {
  DUVEditorControls c;
  g->AttachBackground(kImgBackground.id, kImgBackground.file);

  std::string folder;
  g->GetPluginDirectory(&folder);
  // A packaged install keeps the manual in its doc folder; the link falls back there.
  const std::string manual = folder + kManualFile, packaged = ManualFallbackPath(folder);
  g->AttachControl(new LinkControl(plug, kRectManualLink, manual.c_str(),
                                   packaged.empty() ? nullptr : packaged.c_str(), nullptr));

  IBitmap knobLeft = Load(g, kImgKnobRelative), knobRight = Load(g, kImgKnobAbsolute);
  g->AttachControl(new ModeSwitchControl(plug, kPosKnobSelector.x, kPosKnobSelector.y, kKnobAction,
                                         knobLeft, knobRight, kSelectorGap));
  IBitmap rockerLeft = Load(g, kImgRockerRelative), rockerRight = Load(g, kImgRockerAbsolute);
  g->AttachControl(new ModeSwitchControl(plug, kPosRockerSelector.x, kPosRockerSelector.y,
                                         kRockerAction, rockerLeft, rockerRight, kSelectorGap));

  IBitmap outer = Load(g, kImgWheelOuter);
  PrepareStrip(outer, kImgOuterMask, nullptr);
  c.wheels[0] = new WheelControl(plug, kPosOuterWheel1.x, kPosOuterWheel1.y, kDelay1, outer, true);
  c.wheels[1] = new WheelControl(plug, kPosOuterWheel2.x, kPosOuterWheel2.y, kDelay2, outer, true);
  IBitmap inner = Load(g, kImgWheelInner);
  PrepareStrip(inner, kImgInnerMask, &kImgInnerRing);
  c.wheels[2] = new WheelControl(plug, kPosInnerWheel1.x, kPosInnerWheel1.y, kCents1, inner, false);
  c.wheels[3] = new WheelControl(plug, kPosInnerWheel2.x, kPosInnerWheel2.y, kCents2, inner, false);
  for (WheelControl* w : c.wheels) g->AttachControl(w);

  c.rockers[0] = new RockerControl(plug, kPosWet.x, kPosWet.y, kWet, Load(g, kImgWetRocker), false);
  c.rockers[1] = new RockerControl(plug, kPosWidth.x, kPosWidth.y, kStereoWidth, Load(g, kImgWidthRocker), true);
  c.rockers[2] = new RockerControl(plug, kPosColor.x, kPosColor.y, kColor, Load(g, kImgColorRocker), true);
  for (RockerControl* r : c.rockers) g->AttachControl(r);

  c.bypass = new BypassControl(plug, kPosBypass.x, kPosBypass.y, kBypass, Load(g, kImgBypass));
  g->AttachControl(c.bypass);

  IBitmap led = Load(g, kImgLed);
  c.ledCents1 = new LedDisplayControl(plug, kPosLedCents1.x, kPosLedCents1.y, kLedWidth, led, true);
  c.ledCents2 = new LedDisplayControl(plug, kPosLedCents2.x, kPosLedCents2.y, kLedWidth, led, true);
  c.ledDelay1 = new LedDisplayControl(plug, kPosLedDelay1.x, kPosLedDelay1.y, kLedWidth, led, false);
  c.ledDelay2 = new LedDisplayControl(plug, kPosLedDelay2.x, kPosLedDelay2.y, kLedWidth, led, false);
  for (LedDisplayControl* l : {c.ledCents1, c.ledCents2, c.ledDelay1, c.ledDelay2}) g->AttachControl(l);

  g->AttachControl(new VersionLabelControl(plug, kRectVersionLabel));
  return c;
}

void ShowParamInEditor(const DUVEditorControls& editor, int paramIdx, double value) {
  auto show = [value](LedDisplayControl* led) {
    if (!led) return;
    led->SetShownValue(value);
    led->SetDirty(true);  // no parameter: only marks it for redraw
  };
  switch (paramIdx) {
    case kCents1: show(editor.ledCents1); break;
    case kDelay1: show(editor.ledDelay1); break;
    case kCents2: show(editor.ledCents2); break;
    case kDelay2: show(editor.ledDelay2); break;
    case kKnobAction:
      for (WheelControl* w : editor.wheels)
        if (w) w->SetAction(TruncToInt(value));
      break;
    case kRockerAction:
      for (RockerControl* r : editor.rockers)
        if (r) r->SetAction(TruncToInt(value));
      break;
    default: break;
  }
}
