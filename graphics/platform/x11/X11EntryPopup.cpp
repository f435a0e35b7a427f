#include "graphics/platform/x11/X11EntryPopup.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>

#include "graphics/IControl.h"
#include "graphics/platform/x11/IGraphicsX11.h"
#include "graphics/platform/x11/X11Errors.h"
#include "graphics/platform/x11/X11Image.h"
#include "graphics/platform/x11/X11PopupDrawing.h"
#include "plugin/IParam.h"
#include "raster/Blit.h"
#include "raster/RasterBitmap.h"

namespace duv_x11 {

namespace {

constexpr int kPopupFontPx = 14;  // "Arial" of height 14
constexpr int kListRowPx = 18;

}  // namespace

EntryPopup::EntryPopup(IControl* control, IParam* param, int editorW, int editorH)
    : mControl(control), mParam(param), mState(IGraphicsX11::kPopupIdle) {
  const IRect& cr = control->GetRect();
  const int cx = (cr.L + cr.R) / 2, cy = (cr.T + cr.B) / 2;
  char text[IParam::kTextCapacity] = {};
  param->FormatForHost(text);
  const int n = param->DisplayTextCount();
  if (n > 0) {
    mList = true;
    std::size_t longest = 0;
    // Display texts are listed by value, in the parameter's range.
    for (int v = static_cast<int>(param->Min()); v <= static_cast<int>(param->Max()); ++v) {
      const char* t = param->DisplayTextFor(v);
      if (!*t) continue;
      mItems.emplace_back(t);
      longest = std::max(longest, mItems.back().size());
      if (mItems.back() == text) mSelected = static_cast<int>(mItems.size()) - 1;
    }
    const int w = std::max(24, 8 * static_cast<int>(longest) + 24);
    const int h = kListRowPx * static_cast<int>(mItems.size()) + 2;
    int x = std::clamp(cx - w / 2, 0, std::max(0, editorW - w));
    int y = std::clamp(cy, 0, std::max(0, editorH - h));
    mRect = {x, y, x + w, y + h};
  } else {
    mEntry.SetText(text);
    mRect = {cx - 18, cy - 8, cx + 18, cy + 8};
  }
}

std::string EntryPopup::Text() const {
  if (!mList) return mEntry.Text();
  return mSelected >= 0 ? mItems[static_cast<std::size_t>(mSelected)] : std::string();
}

void EntryPopup::Map(Display* dpy, Window editor, GC gc) {
  if (mWindow) return;
  mWindow = XCreateSimpleWindow(dpy, editor, mRect.L, mRect.T, static_cast<unsigned>(mRect.W()),
                                static_cast<unsigned>(mRect.H()), 0, BlackPixel(dpy, DefaultScreen(dpy)),
                                WhitePixel(dpy, DefaultScreen(dpy)));
  XSelectInput(dpy, mWindow, ExposureMask | KeyPressMask | ButtonPressMask | FocusChangeMask);
  XMapRaised(dpy, mWindow);
  if (!mList) {
    // The window manager keeps the keyboard with the host: ask for it, and
    // give it back on close.
    XGetInputFocus(dpy, &mPreviousFocus, &mPreviousRevert);
    XSync(dpy, False);
    XSetInputFocus(dpy, mWindow, RevertToParent, CurrentTime);
    mTookFocus = SyncError(dpy) == 0;
  }
  Render(dpy, gc);
}

void EntryPopup::Render(Display* dpy, GC gc) {
  if (!mWindow) return;
  const int w = mRect.W(), h = mRect.H();
  duv::MemoryBitmap bm(w, h);
  duv::fillRect(&bm, 0, 0, w, h, kWhite, 1.0f, duv::kCombinerCopy);
  if (mList) {
    for (std::size_t i = 0; i < mItems.size(); ++i) {
      IRect row{1, 1 + static_cast<int>(i) * kListRowPx, w - 1, 1 + static_cast<int>(i + 1) * kListRowPx};
      bool sel = static_cast<int>(i) == mSelected;
      if (sel) duv::fillRect(&bm, row.L, row.T, row.W(), row.H(), kHighlight, 1.0f, duv::kCombinerCopy);
      IRect textBox{row.L + 4, row.T + 1, row.R, row.B};
      PaintTextLine(&bm, textBox, "Arial", kPopupFontPx, 0, 0, mItems[i], sel ? kWhite : kBlack);
    }
  } else {
    const std::string& text = mEntry.Text();
    const int textW = TextWidth("Arial", kPopupFontPx, 0, text);
    const int left = (w - textW) / 2;
    if (mEntry.AllSelected() && !text.empty())
      duv::fillRect(&bm, std::max(1, left - 1), 1, std::min(w - 2, textW + 2), h - 2, kHighlight, 1.0f,
                    duv::kCombinerCopy);
    PaintTextLine(&bm, IRect{1, 0, w - 1, h}, "Arial", kPopupFontPx, 0, 1, text,
                  mEntry.AllSelected() ? kWhite : kBlack);
    if (!mEntry.AllSelected()) {
      int caretX = left + TextWidth("Arial", kPopupFontPx, 0,
                                    text.substr(0, static_cast<std::size_t>(mEntry.Caret())));
      caretX = std::clamp(caretX, 1, w - 2);
      duv::fillRect(&bm, caretX, 2, 1, h - 4, kBlack, 1.0f, duv::kCombinerCopy);
    }
  }
  Frame(&bm, w, h, kGrey);
  PutBitmap(dpy, mWindow, gc, &bm);
}

bool EntryPopup::HandleEvent(Display* dpy, GC gc, XEvent& e) {
  switch (e.type) {
    case FocusIn:
      if (!mList) mState = IGraphicsX11::kPopupFocused;
      break;
    case FocusOut:
      if (!mList) mState = IGraphicsX11::kPopupIdle;
      break;
    case Expose:
      if (e.xexpose.count == 0) Render(dpy, gc);
      break;
    case ButtonPress:
      if (mList) {
        if (e.xbutton.button != kButtonLeft) break;
        int row = (e.xbutton.y - 1) / kListRowPx;
        if (row >= 0 && row < static_cast<int>(mItems.size())) {
          mSelected = row;
          Commit();  // a choice in the list commits at once
          return true;
        }
      } else {
        XSetInputFocus(dpy, mWindow, RevertToParent, CurrentTime);
        mTookFocus = true;
      }
      break;
    case KeyPress: {
      if (mList) break;
      char buf[16] = {};
      KeySym sym = 0;
      int n = XLookupString(&e.xkey, buf, sizeof buf - 1, &sym, nullptr);
      if (sym == XK_Return || sym == XK_KP_Enter) {
        mState = IGraphicsX11::kPopupCommit;  // committed on the next tick
      } else if (sym == XK_BackSpace) {
        mEntry.Backspace();
      } else if (sym == XK_Delete || sym == XK_KP_Delete) {
        mEntry.Delete();
      } else if (sym == XK_Left || sym == XK_KP_Left) {
        mEntry.MoveCaret(-1);
      } else if (sym == XK_Right || sym == XK_KP_Right) {
        mEntry.MoveCaret(1);
      } else if (sym == XK_Home) {
        mEntry.Home();
      } else if (sym == XK_End) {
        mEntry.End();
      } else if (n > 0) {
        mEntry.Insert(std::string(buf, static_cast<std::size_t>(n)));
      }
      Render(dpy, gc);
      break;
    }
    default:
      break;
  }
  return false;
}

EntryPopup::ETick EntryPopup::Tick(Display* dpy, GC gc) {
  switch (mState.load()) {
    case IGraphicsX11::kPopupIdle:
      return kTickRedraw;
    case IGraphicsX11::kPopupRefresh: {
      char text[IParam::kTextCapacity] = {};
      mParam->FormatForHost(text);
      if (mList) {
        mSelected = -1;
        for (std::size_t i = 0; i < mItems.size(); ++i)
          if (mItems[i] == text) mSelected = static_cast<int>(i);
      } else {
        mEntry.SetText(text);
      }
      mState = IGraphicsX11::kPopupIdle;
      Render(dpy, gc);
      return kTickSkip;
    }
    case IGraphicsX11::kPopupCancel:
      return kTickClose;
    case IGraphicsX11::kPopupCommit:
      Commit();
      return kTickClose;
    case IGraphicsX11::kPopupFocused:
      return kTickSkip;  // the text box has the focus: no redraw cycle
    default:
      mState = IGraphicsX11::kPopupIdle;
      return kTickSkip;
  }
}

void EntryPopup::Commit() {
  double value = 0.0;
  if (mList) {
    int v = 0;
    if (mSelected >= 0 &&
        mParam->ValueForDisplayText(mItems[static_cast<std::size_t>(mSelected)].c_str(), &v))
      value = v;
  } else {
    std::string text = mEntry.Text().substr(0, 31);
    value = std::strtod(text.c_str(), nullptr);
  }
  mControl->SetValueFromUserInput(mParam->NormalizedOf(value));
}

void EntryPopup::Close(Display* dpy) {
  if (!mWindow || !dpy) {
    mWindow = 0;
    return;
  }
  Window focus;
  int revert;
  XGetInputFocus(dpy, &focus, &revert);
  if (mTookFocus && focus == mWindow)
    XSetInputFocus(dpy, mPreviousFocus ? mPreviousFocus : PointerRoot, mPreviousRevert, CurrentTime);
  XDestroyWindow(dpy, mWindow);
  SyncError(dpy);  // the previous focus window may be gone: not our concern
  mWindow = 0;
}

}  // namespace duv_x11
