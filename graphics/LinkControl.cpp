#include "graphics/LinkControl.h"

#include "graphics/IGraphics.h"
#include "plugin/IPluginBase.h"

namespace {
std::string Bounded(const char* text, std::size_t limit) {
  std::string s = text ? text : "";
  if (s.size() > limit) s.resize(limit);
  return s;
}
}  // namespace

LinkControl::LinkControl(IPluginBase* plug, const IRect& rect, const char* primary,
                         const char* fallback, const char* windowTitle)
    : IControl(plug, rect, -1, IBlend::kSourceAlpha),
      mPrimary(Bounded(primary, 255)),
      mFallback(Bounded(fallback, 255)),
      mTitle(Bounded(windowTitle, 1023)) {}

void LinkControl::OnMouseDown(int, int, const IMouseMods&) {
  IGraphics* graphics = GraphicsOf(mPlug);
  if (!graphics) return;
  bool opened = false;
  if (!mPrimary.empty()) opened = graphics->OpenURL(mPrimary.c_str(), mTitle.c_str(), nullptr, nullptr);
  if (!opened && !mFallback.empty())
    graphics->OpenURL(mFallback.c_str(), mTitle.c_str(), nullptr, nullptr);
}
