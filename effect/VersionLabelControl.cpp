#include "effect/VersionLabelControl.h"

#include "effect/DUVEditorLayout.h"
#include "graphics/IGraphics.h"
#include "plugin/IPluginBase.h"

VersionLabelControl::VersionLabelControl(IPluginBase* plug, const IRect& rect)
    : IControl(plug, rect, -1) {
  char text[32] = "";
  if (plug) plug->EffectVersionText(text);
  mText = text;
}

bool VersionLabelControl::Draw(IGraphics* graphics) {
  IText style;
  style.size = 12;
  style.color = IColor{255, 120, 120, 120};
  style.style = IText::kNormal;
  style.align = IText::kRight;
  IRect upper{mRect.L, mRect.T, mRect.R, (mRect.T + mRect.B) / 2};
  return graphics->DrawText(&style, mText.c_str(), &upper);
}

void VersionLabelControl::OnMouseDown(int, int, const IMouseMods&) {
  IGraphics* graphics = GraphicsOf(mPlug);
  if (!graphics) return;
  graphics->OpenURL(duv_layout::kMakerPage, "Pelko",
                    "Visit the Pelko web site now to read about DUV and other Pelko tools?",
                    "Unable to open web page.");
}
