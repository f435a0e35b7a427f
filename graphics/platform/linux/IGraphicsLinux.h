// The window-less part of the Linux platform layer: text through FreeType and fontconfig,
// the module's and host's folders, opening documents with the desktop's
// opener. On its own it is headless (OpenWindow answers null, the editor draws
// into its offscreen surface only); IGraphicsX11 adds the window and is what
// MakePlatformGraphics builds.
#pragma once

#include "graphics/IGraphicsRaster.h"

class IGraphicsLinux : public IGraphicsRaster {
 public:
  IGraphicsLinux(IPluginBase* plug, int width, int height, int fps);

  bool DrawScreen(const IRect* r) override;
  bool DrawText(const IText* text, const char* str, const IRect* r) override;
  void PromptParameterEntry(IControl* control, IParam* param) override;
  void GetHostDirectory(std::string* out) override;
  void GetPluginDirectory(std::string* out) override;
  void PromptForFile(std::string* out, int action, const char* directory,
                     const char* extensions) override;
  bool PromptForColor(IColor* color, const char* prompt) override;
  // Starts the desktop's opener (xdg-open) without a shell and without
  // waiting. A confirmation cannot be asked without a window: with a confirm
  // text the answer is false and nothing opens.
  bool OpenURL(const char* url, const char* windowTitle, const char* confirm,
               const char* error) override;
  void* OpenWindow(void* parentWindow) override;
  void CloseWindow() override;
  void* GetWindow() override { return nullptr; }
};
