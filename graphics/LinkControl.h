// An invisible area that opens a document or web address when clicked: the
// primary target, else the fallback. Targets are cut to 255 characters and
// the window title to 1023.
#pragma once

#include <string>

#include "graphics/IControl.h"

class LinkControl : public IControl {
 public:
  LinkControl(IPluginBase* plug, const IRect& rect, const char* primary, const char* fallback,
              const char* windowTitle);
  bool Draw(IGraphics*) override { return true; }  // its picture is part of the background
  void OnMouseDown(int x, int y, const IMouseMods& mods) override;
  const std::string& Primary() const { return mPrimary; }

 private:
  std::string mPrimary, mFallback, mTitle;
};
