// The editor's window on Windows: a child window of the host's window, driven
// by window messages and a timer on the thread that owns it (the host's
// user-interface thread). Messages become the graphics object's mouse and key
// entry points; the timer collects dirty controls and the paint message
// copies the offscreen DIB section to the screen. Text is drawn with GDI into
// the offscreen surface. Small native popups: the parameter entry (an edit or
// combo-box child with its own window procedure), the colour chooser, the
// open and save dialogs, message boxes, and the shell's "open" verb.
//
// Window class "IPluginWndClass" is registered by the first open window in
// the process and unregistered when the last one closes. Everything here runs
// on the window's thread; the host's other threads only change control values,
// which the next timer tick picks up. The header stays free of <windows.h>:
// handles travel as void*.
#pragma once

#include <cstdint>

#include "graphics/IGraphicsRaster.h"

class IGraphicsWin : public IGraphicsRaster {
 public:
  // Entry popup states.
  enum EPopupState { kPopupIdle = 0, kPopupFocused = 1, kPopupRefresh = 2, kPopupCancel = 3,
                     kPopupCommit = 4 };
  static constexpr int kTimerId = 2;
  static constexpr int kPopupId = 99;

  IGraphicsWin(IPluginBase* plug, int width, int height, int fps);
  // Closes a remaining window (with the class bookkeeping), frees the colour
  // table and the text font.
  ~IGraphicsWin() override;

  // The plug-in module (HINSTANCE): its path and the window class's owner.
  void SetModuleInstance(void* instance) { mInstance = instance; }
  void* ModuleInstance() const { return mInstance; }

  // parent: the host's HWND. Reopening while a window exists takes the old
  // window's place (relative to the new parent) and size. Marks every control
  // dirty. Null when the window cannot be made.
  void* OpenWindow(void* parentWindow) override;
  void CloseWindow() override;
  void* GetWindow() override { return mWindow; }
  // Begins painting, copies r from the offscreen surface's device context to
  // the same place in the window, ends painting. True.
  bool DrawScreen(const IRect* r) override;
  // GDI text into the offscreen surface. The font is made from the first
  // record drawn and kept; the colour follows each record. Null text: true.
  bool DrawText(const IText* text, const char* str, const IRect* r) override;
  // Grows the window by the size difference, and its parent (and that one's
  // parent) when they are plain child windows, so a host's frame follows.
  void Resize(int width, int height) override;
  // Text box for numbers, drop-down list for parameters with display texts
  // (the texts by value over the parameter's range), centred on the control.
  // A choice in the list commits; a refresh while unfocused selects the
  // parameter's current text. Ignored with a null argument, without a window,
  // or while a popup exists. Return commits, a right click in the editor
  // cancels; both take effect on the next timer tick.
  void PromptParameterEntry(IControl* control, IParam* param) override;
  // Folder (with its trailing backslash) of the host's executable / of the
  // plug-in module; empty when unknown or without a backslash.
  void GetHostDirectory(std::string* out) override;
  void GetPluginDirectory(std::string* out) override;
  // Modal system dialogs owned by the editor window; nothing without a window.
  void PromptForFile(std::string* out, int action, const char* directory,
                     const char* extensions) override;
  bool PromptForColor(IColor* color, const char* prompt) override;
  // Optional Yes/No confirmation (owned by the editor window, caption
  // windowTitle; any answer but Yes: false, nothing opened). Then a web
  // address needs the system to report an internet connection, and the
  // shell's "open" verb on url must succeed (true). Otherwise the error text,
  // when given, is shown in an OK box with the same caption; false.
  bool OpenURL(const char* url, const char* windowTitle, const char* confirm,
               const char* error) override;
  // Whether url is a web address (http:// or https://, any case), the only
  // kind that needs a connection; paths and file:// addresses do not.
  static bool NeedsConnection(const char* url);

  // trunc(1000 / frame rate) ms: 41 at 24 frames per second.
  int TimerPeriodMs() const { return 1000 / FPS(); }
  // The OnKeyDown code of a virtual key, or -1 when the key is not passed on.
  static int KeyCodeOf(int virtualKey);
  // Editor windows open in the process (the class is registered while > 0).
  static int OpenWindowCount();

  // ---- observation for tests ----
  void* PopupWindow() const { return mPopupWindow; }
  int PopupState() const { return mPopupState; }

  // Bodies of the two window procedures (msg, wParam, lParam as Windows gives them).
  std::intptr_t EditorMessage(void* hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
  std::intptr_t PopupMessage(void* hwnd, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);

 private:
  void TimerTick(void* hwnd);
  void CommitPopup();
  void CancelPopup();
  void RefreshPopupText();

  bool mFontCreated = false;
  IColor mLastTextColor{255, 0, 0, 0};
  void* mInstance = nullptr;        // HINSTANCE of the plug-in module
  void* mWindow = nullptr;          // HWND of the editor, null when closed
  void* mPopupWindow = nullptr;     // HWND of the entry popup
  IControl* mPopupControl = nullptr;
  IParam* mPopupParam = nullptr;
  void* mPopupPrevProc = nullptr;   // the popup's own window procedure
  int mPopupState = kPopupIdle;
  std::uint32_t* mCustomColors = nullptr;  // 16 COLORREFs, made on first use
  void* mParentWindow = nullptr;
  void* mFont = nullptr;            // HFONT selected into the surface by DrawText
  void* mPopupFont = nullptr;       // HFONT of the popup
};
