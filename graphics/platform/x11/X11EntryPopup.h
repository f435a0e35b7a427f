// The X11 editor's parameter entry popup: a text box for numbers, or a list
// for a parameter with display texts (its texts by value over its range),
// drawn in software into a child window of the editor window, centred on the
// control that asked for it.
//
// Threads and call order: made (without any X request) under the instance
// lock by PromptParameterEntry; everything else runs on the window's thread
// under the instance lock: Map once, then HandleEvent for events on the
// popup's own window and Tick once per redraw cycle, then Close before it is
// destroyed. The state (IGraphicsX11::EPopupState) tells the redraw cycle what
// is going on: Focused while the text box has the keyboard (the editor does
// not repaint then), Refresh asked after a repaint (the popup shows the
// parameter's current text), Cancel and Commit asked by input and carried out
// on the next tick. Borrows the control and the parameter; both outlive it.
#pragma once

#include <X11/Xlib.h>

#include <atomic>
#include <string>
#include <vector>

#include "graphics/IGraphicsTypes.h"
#include "graphics/platform/x11/X11Input.h"

class IControl;
class IParam;

namespace duv_x11 {

class EntryPopup {
 public:
  // What the redraw cycle does after Tick.
  enum ETick {
    kTickRedraw,  // nothing pending: the cycle goes on
    kTickSkip,    // the popup used the tick (or has the focus): nothing more this cycle
    kTickClose,   // cancelled, or committed already: the owner closes the popup
  };

  // The popup's text (the parameter's display text) and its rectangle in
  // editor coordinates: the text box 36 x 16 around the control's centre; the
  // list as wide as its longest text needs, one 18-pixel row per entry, from
  // the control's centre down, moved to stay inside the editorW x editorH
  // editor where it fits.
  EntryPopup(IControl* control, IParam* param, int editorW, int editorH);
  EntryPopup(const EntryPopup&) = delete;
  EntryPopup& operator=(const EntryPopup&) = delete;

  // Makes and shows the popup's window inside editor (once; later calls do
  // nothing). The text box asks for the keyboard, which a window manager
  // otherwise keeps with the host.
  void Map(Display* dpy, Window editor, GC gc);
  // An event on the popup's own window. True when a choice in the list has
  // just been committed: the owner closes the popup.
  bool HandleEvent(Display* dpy, GC gc, XEvent& e);
  // Carries out a pending Refresh or Commit (see ETick).
  ETick Tick(Display* dpy, GC gc);
  // Gives the keyboard back when the popup still has it and destroys its
  // window. dpy null (no window was ever made, or the connection is lost):
  // the window is only forgotten.
  void Close(Display* dpy);

  // ---- observation ----
  Window XWindow() const { return mWindow; }  // 0 until Map
  bool IsList() const { return mList; }
  int State() const { return mState.load(); }
  void SetState(int state) { mState = state; }
  const IRect& Rect() const { return mRect; }
  // The text box's text, or the selected entry ("" with none selected).
  std::string Text() const;

 private:
  void Render(Display* dpy, GC gc);
  void Commit();

  IControl* mControl;
  IParam* mParam;
  bool mList = false;
  std::atomic<int> mState;
  IRect mRect;
  EntryText mEntry;
  std::vector<std::string> mItems;
  int mSelected = -1;
  Window mWindow = 0;
  bool mTookFocus = false;
  Window mPreviousFocus = 0;
  int mPreviousRevert = RevertToParent;
};

}  // namespace duv_x11
