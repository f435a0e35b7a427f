// Builds this effect's editor on a graphics object: attaches every control
// in the fixed order of the layout, sized from the images' headers, and
// answers the controls the effect's parameter responses write into. It
// decodes nothing: the wheel strips' preparation (masked, the inner ones
// ringed) is attached to the cached strips, and runs once per process when a
// strip is first drawn.
#pragma once

#include <string>

class BypassControl;
class IGraphics;
class IPluginBase;
class LedDisplayControl;
class RockerControl;
class WheelControl;

struct DUVEditorControls {
  WheelControl* wheels[4] = {};      // outer 1, outer 2, inner 1, inner 2
  RockerControl* rockers[3] = {};    // wet, width, color
  BypassControl* bypass = nullptr;
  LedDisplayControl* ledCents1 = nullptr;
  LedDisplayControl* ledCents2 = nullptr;
  LedDisplayControl* ledDelay1 = nullptr;
  LedDisplayControl* ledDelay2 = nullptr;
};

DUVEditorControls BuildDUVEditor(IGraphics* graphics, IPluginBase* plug);

// The editor's half of a parameter response (the effect calls it after the
// audio half, under the plug-in's lock): the LED displays show the new cents
// and delays, the wheels and rockers take the action their selector says.
// value is the parameter's plain value; controls that are null are skipped.
void ShowParamInEditor(const DUVEditorControls& editor, int paramIdx, double value);

// The manual link's fallback: where a packaged install keeps the manual, seen
// from the module's folder pluginDirectory (with its trailing separator, as
// GetPluginDirectory gives it). For a module in PREFIX/lib/vst/ that is
// PREFIX/share/doc/duv/Pelko-DUV.pdf, written with the folder's separator.
// Empty when the folder is empty or has no two levels to climb.
std::string ManualFallbackPath(const std::string& pluginDirectory);

// The masking step on a strip's pixels (exposed for tests): every pixel where
// the one-frame mask's red byte is 0 becomes 0 in all frames. Nothing
// happens when either is null or without pixels, or when the mask is not one
// frame's size. MaskStripReference is the plain per-pixel version the fast
// one is held to.
namespace duv {
class RasterBitmap;
}
void MaskStrip(duv::RasterBitmap* strip, int frames, duv::RasterBitmap* mask);
void MaskStripReference(duv::RasterBitmap* strip, int frames, duv::RasterBitmap* mask);
