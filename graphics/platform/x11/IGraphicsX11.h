// The editor's window on X11: a child window of the host's window with its
// own connection and thread, the parameter entry popup and the message boxes
// drawn in the editor, and the desktop's dialog tools. This file pair is the
// window itself (open, close, resize, the screen copy, input routing and the
// redraw cycle); the pieces it is made of each have their own: the window's
// thread (X11EventThread), the staging image (X11StagingImage), the entry
// popup (X11EntryPopup), the message box (X11DialogBox), Xlib errors
// (X11Errors), input translation (X11Input); the opener and the dialog tools
// are the Linux layer's (linux/DesktopOpener, linux/DesktopDialogs).
//
// Threads and locks (the part that must never deadlock):
// - The host calls OpenWindow, CloseWindow and Resize on its user-interface
//   thread while the dispatcher holds the plug-in's instance lock.
// - Each open window has its own Display connection and thread. The thread
//   owns that connection alone (so XInitThreads is not needed): it reads X
//   events, and every 41 ms (trunc(1000 / frame rate)) runs the redraw cycle.
//   Whatever it does to the controls and the plug-in it does while holding the
//   instance lock, which it only ever TAKES WITHOUT WAITING (try-lock, retried
//   every millisecond) and gives up as soon as a close is pending. So a host
//   thread that holds the lock and closes the window can always stop and join
//   the thread. X requests that may wait on the server are sent after the lock
//   is released.
// - DrawScreen (the end of every Draw, on whichever thread draws under the
//   instance lock) only copies the area into a staging image; the window's
//   thread sends it to the server.
// - When the server goes away (killed, restarted) the editor's connection
//   fails alone: its thread ends without touching it again, the window counts
//   as closed (GetWindow answers null), and the host's effEditClose tears it
//   down without requests; a later OpenWindow opens a new connection (null
//   when no server answers). See X11Errors.
// - Unloading the module (or leaving the process) with windows still open
//   closes them first and joins their threads, before any of the module's
//   static objects go.
// - Nothing X-related happens at construction; with no display (DISPLAY unset
//   or the server unreachable) OpenWindow answers null and the editor stays
//   headless.
//
// Window ids travel as void*: the X Window id (parent in, editor window out).
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "graphics/platform/linux/IGraphicsLinux.h"

namespace duv_x11 {
class EntryPopup;
class DialogBox;
}  // namespace duv_x11

class IGraphicsX11 : public IGraphicsLinux {
 public:
  // Entry popup states.
  enum EPopupState { kPopupIdle = 0, kPopupFocused = 1, kPopupRefresh = 2, kPopupCancel = 3,
                     kPopupCommit = 4 };

  IGraphicsX11(IPluginBase* plug, int width, int height, int fps);
  ~IGraphicsX11() override;  // closes a remaining window

  // parent: the host's X window id. Reopening while a window exists takes the
  // old window's place (relative to the new parent) and size. Marks every
  // control dirty. Null when there is no display or the window cannot be
  // made, and when memory runs out: nothing of the attempt is left then.
  void* OpenWindow(void* parentWindow) override;
  // Stops and joins the window's thread, destroys the window. Safe with the
  // instance lock held by the caller.
  void CloseWindow() override;
  // Closes every open editor window in the process (module unload).
  static void CloseAllWindows();
  void* GetWindow() override;  // any thread
  bool DrawScreen(const IRect* r) override;
  // Grows the window by the size difference, and the host's window (and its
  // parent, when that is not a managed top-level) by the same amounts.
  void Resize(int width, int height) override;
  // Text box (numbers) or list (parameters with display texts), drawn in the
  // editor. Ignored without a window, with a null argument, or while a popup exists.
  void PromptParameterEntry(IControl* control, IParam* param) override;
  // Through zenity or kdialog when installed and a window is open; blocks the
  // calling thread until the dialog closes. False / empty otherwise.
  bool PromptForColor(IColor* color, const char* prompt) override;
  void PromptForFile(std::string* out, int action, const char* directory,
                     const char* extensions) override;
  // With a confirm text a Yes/No box opens in the editor and the answer is
  // false at once (nothing is open yet); Yes starts the opener. Without one the
  // opener starts at once and the answer says whether it could be started.
  // A web address also needs a network route; local files need nothing. When
  // the opener fails (or cannot start, or there is no route) and an error text
  // is given, an OK box shows it. No window: a confirm text answers false.
  bool OpenURL(const char* url, const char* windowTitle, const char* confirm,
               const char* error) override;

  // The redraw period: trunc(1000 / frame rate) ms.
  int TimerPeriodMs() const { return 1000 / FPS(); }

  // ---- observation for tests and tools (any thread) ----
  struct PopupView {
    bool open = false;
    bool list = false;
    int state = kPopupIdle;
    unsigned long window = 0;  // 0 until the window's thread has made it
    IRect rect;                // editor coordinates
    std::string text;          // the text box's text, or the selected list entry
  };
  PopupView Popup();
  struct DialogView {
    unsigned long window = 0;
    bool question = false;  // Yes/No, else OK
    std::string message;
    IRect rect;  // editor coordinates
    IRect yes, no, ok;  // button rectangles inside the dialog
  };
  DialogView Dialog();
  // Redraw cycles that found something dirty, since construction.
  long long PaintedTicks() const { return mPaintedTicks.load(); }
  // Blocks until the window's thread has run n more loop passes (at most
  // timeoutMs); false on timeout or without a window. Never call it while
  // holding the instance lock.
  bool WaitForPasses(int n, int timeoutMs);

 private:
  struct Session;

  RecursiveLock& InstanceLock();
  // The window thread's work under the instance lock, in this order per pass:
  // each event (an XEvent*), the redraw cycle on a tick, a pending resize.
  void HandleEventLocked(Session* s, void* event);
  void TickLocked(Session* s);
  void ApplyResizeLocked(Session* s);
  void PaintLocked(const IRect& r);
  void ClosePopupLocked(Session* s);
  void ShowDialogLocked(bool question, const std::string& title, const std::string& message,
                        const std::string& url, const std::string& error);
  bool LaunchLocked(const std::string& url, const std::string& title, const std::string& error);
  void DestroySession();
  // The list of objects with an open window (see CloseAllWindows).
  void LinkOpen();
  void UnlinkOpen();

  std::unique_ptr<Session> mSession;  // guarded by the instance lock
  std::atomic<unsigned long> mWindowId{0};
  std::unique_ptr<duv_x11::EntryPopup> mPopup;  // guarded by the instance lock
  std::unique_ptr<duv_x11::DialogBox> mDialog;  // guarded by the instance lock
  std::atomic<long long> mPaintedTicks{0};
  IGraphicsX11* mPrevOpen = nullptr;  // guarded by the open list's lock
  IGraphicsX11* mNextOpen = nullptr;
  bool mLinkedOpen = false;
};
