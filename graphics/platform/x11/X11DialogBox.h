// The X11 editor's message box: a Yes/No question or an OK notice, drawn in
// software into a child window centred in the editor window (at most 420 x
// 96 pixels). It is modal for the editor: while it exists the editor's own
// mouse and keys go nowhere. A question carries the address (and error text)
// that Yes opens.
//
// Threads and call order: made (without any X request) under the instance
// lock; Map, HandleEvent and Destroy run on the window's thread under the
// instance lock (Destroy also on close, from the thread that closes).
#pragma once

#include <X11/Xlib.h>

#include <string>

#include "graphics/IGraphicsTypes.h"

namespace duv_x11 {

class DialogBox {
 public:
  enum EAnswer {
    kAnswerNone,  // still open
    kAnswerNo,    // closed: No, OK, Escape
    kAnswerYes,   // closed by Yes (a click, or Return on a question)
  };

  // Lays the box and its buttons out for an editorW x editorH editor.
  DialogBox(bool question, const std::string& title, const std::string& message,
            const std::string& url, const std::string& error, int editorW, int editorH);
  DialogBox(const DialogBox&) = delete;
  DialogBox& operator=(const DialogBox&) = delete;

  // Makes and shows the box's window inside editor (once; later calls do nothing).
  void Map(Display* dpy, Window editor, GC gc);
  // An event on the box's own window: a left click on a button answers; so
  // do Escape (No), Return or keypad Enter on a question (Yes), and Return on
  // a notice (OK). An exposure redraws. After an answer the owner destroys
  // the box.
  EAnswer HandleEvent(Display* dpy, GC gc, XEvent& e);
  // Destroys the box's window, when made. dpy null: the connection is lost,
  // the window is only forgotten.
  void Destroy(Display* dpy);

  // ---- what it holds ----
  Window XWindow() const { return mWindow; }  // 0 until Map
  bool Question() const { return mQuestion; }
  const std::string& Title() const { return mTitle; }
  const std::string& Message() const { return mMessage; }
  const std::string& Url() const { return mUrl; }
  const std::string& Error() const { return mError; }
  const IRect& Rect() const { return mRect; }  // editor coordinates
  // Button rectangles inside the box.
  const IRect& YesRect() const { return mYes; }
  const IRect& NoRect() const { return mNo; }
  const IRect& OkRect() const { return mOk; }

 private:
  void Render(Display* dpy, GC gc);

  bool mQuestion;
  std::string mTitle, mMessage, mUrl, mError;
  IRect mRect, mYes, mNo, mOk;
  Window mWindow = 0;
};

}  // namespace duv_x11
