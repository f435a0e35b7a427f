// The version text at the top of the panel; a click offers to open the
// maker's web page (after a Yes to the confirmation).
#pragma once

#include <string>

#include "graphics/IControl.h"

class VersionLabelControl : public IControl {
 public:
  VersionLabelControl(IPluginBase* plug, const IRect& rect);

  bool Draw(IGraphics* graphics) override;  // right-aligned grey text in the upper half
  void OnMouseDown(int x, int y, const IMouseMods& mods) override;
  const std::string& Text() const { return mText; }

 private:
  std::string mText;
};
