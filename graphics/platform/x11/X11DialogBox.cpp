#include "graphics/platform/x11/X11DialogBox.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>

#include "graphics/platform/x11/X11Image.h"
#include "graphics/platform/x11/X11Input.h"
#include "graphics/platform/x11/X11PopupDrawing.h"
#include "raster/Blit.h"
#include "raster/RasterBitmap.h"

namespace duv_x11 {

DialogBox::DialogBox(bool question, const std::string& title, const std::string& message,
                     const std::string& url, const std::string& error, int editorW, int editorH)
    : mQuestion(question), mTitle(title), mMessage(message), mUrl(url), mError(error) {
  const int w = std::min(editorW - 20, 420), h = 96;
  const int x = (editorW - w) / 2, y = std::max(0, (editorH - h) / 2);
  mRect = {x, y, x + w, y + h};
  mYes = {w / 2 - 80, h - 32, w / 2 - 10, h - 8};
  mNo = {w / 2 + 10, h - 32, w / 2 + 80, h - 8};
  mOk = {w / 2 - 35, h - 32, w / 2 + 35, h - 8};
}

void DialogBox::Map(Display* dpy, Window editor, GC gc) {
  if (mWindow) return;
  mWindow = XCreateSimpleWindow(dpy, editor, mRect.L, mRect.T, static_cast<unsigned>(mRect.W()),
                                static_cast<unsigned>(mRect.H()), 0, BlackPixel(dpy, DefaultScreen(dpy)),
                                WhitePixel(dpy, DefaultScreen(dpy)));
  XSelectInput(dpy, mWindow, ExposureMask | KeyPressMask | ButtonPressMask);
  XMapRaised(dpy, mWindow);
  Render(dpy, gc);
}

void DialogBox::Render(Display* dpy, GC gc) {
  if (!mWindow) return;
  const int w = mRect.W(), h = mRect.H();
  duv::MemoryBitmap bm(w, h);
  duv::fillRect(&bm, 0, 0, w, h, kPanel, 1.0f, duv::kCombinerCopy);
  PaintTextLine(&bm, IRect{8, 6, w - 8, 24}, "Arial", 13, 1, 0, mTitle, kBlack);
  // The message, wrapped at word boundaries into at most two lines.
  std::string first = mMessage, second;
  if (TextWidth("Arial", 13, 0, first) > w - 16) {
    std::size_t cut = first.size();
    while (cut > 0) {
      cut = first.rfind(' ', cut - 1);
      if (cut == std::string::npos) break;
      if (TextWidth("Arial", 13, 0, first.substr(0, cut)) <= w - 16) break;
    }
    if (cut != std::string::npos && cut > 0) {
      second = first.substr(cut + 1);
      first.resize(cut);
    }
  }
  PaintTextLine(&bm, IRect{8, 28, w - 8, 46}, "Arial", 13, 0, 0, first, kBlack);
  PaintTextLine(&bm, IRect{8, 46, w - 8, 64}, "Arial", 13, 0, 0, second, kBlack);
  auto button = [&](const IRect& r, const char* label) {
    duv::fillRect(&bm, r.L, r.T, r.W(), r.H(), kWhite, 1.0f, duv::kCombinerCopy);
    duv::fillRect(&bm, r.L, r.T, r.W(), 1, kGrey, 1.0f, duv::kCombinerCopy);
    duv::fillRect(&bm, r.L, r.B - 1, r.W(), 1, kGrey, 1.0f, duv::kCombinerCopy);
    duv::fillRect(&bm, r.L, r.T, 1, r.H(), kGrey, 1.0f, duv::kCombinerCopy);
    duv::fillRect(&bm, r.R - 1, r.T, 1, r.H(), kGrey, 1.0f, duv::kCombinerCopy);
    PaintTextLine(&bm, IRect{r.L, r.T + 4, r.R, r.B}, "Arial", 13, 0, 1, label, kBlack);
  };
  if (mQuestion) {
    button(mYes, "Yes");
    button(mNo, "No");
  } else {
    button(mOk, "OK");
  }
  Frame(&bm, w, h, kGrey);
  PutBitmap(dpy, mWindow, gc, &bm);
}

DialogBox::EAnswer DialogBox::HandleEvent(Display* dpy, GC gc, XEvent& e) {
  if (e.type == Expose && e.xexpose.count == 0) Render(dpy, gc);
  bool yes = false, close = false;
  if (e.type == ButtonPress && e.xbutton.button == kButtonLeft) {
    int x = e.xbutton.x, y = e.xbutton.y;
    if (mQuestion) {
      yes = mYes.Contains(x, y);
      close = yes || mNo.Contains(x, y);
    } else {
      close = mOk.Contains(x, y);
    }
  } else if (e.type == KeyPress) {
    KeySym sym = XLookupKeysym(&e.xkey, 0);
    yes = mQuestion && (sym == XK_Return || sym == XK_KP_Enter);
    close = yes || sym == XK_Escape || (!mQuestion && sym == XK_Return);
  }
  if (!close) return kAnswerNone;
  return yes ? kAnswerYes : kAnswerNo;
}

void DialogBox::Destroy(Display* dpy) {
  if (mWindow && dpy) XDestroyWindow(dpy, mWindow);
  mWindow = 0;
}

}  // namespace duv_x11
