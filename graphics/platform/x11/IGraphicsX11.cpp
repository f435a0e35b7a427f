#include "graphics/platform/x11/IGraphicsX11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "graphics/BitmapCache.h"
#include "graphics/IControl.h"
#include "graphics/platform/PlatformGraphics.h"
#include "graphics/platform/linux/DesktopDialogs.h"
#include "graphics/platform/linux/DesktopOpener.h"
#include "graphics/platform/linux/FontRenderer.h"
#include "graphics/platform/x11/X11DialogBox.h"
#include "graphics/platform/x11/X11EntryPopup.h"
#include "graphics/platform/x11/X11Errors.h"
#include "graphics/platform/x11/X11EventThread.h"
#include "graphics/platform/x11/X11Input.h"
#include "graphics/platform/x11/X11StagingImage.h"
#include "plugin/IPluginBase.h"
#include "raster/RasterBitmap.h"

using namespace duv_x11;
using namespace duv_desktop;

namespace {

// Grows the host's window by (dW, dH), and its parent too when the host's
// window is no managed top-level (it has no WM_STATE): some hosts put the
// editor into a frame of their own inside their top-level window.
void GrowHostWindows(Display* dpy, Window parent, Window root, int dW, int dH) {
  Atom wmState = XInternAtom(dpy, "WM_STATE", False);
  Window w = parent;
  for (int level = 0; level < 2 && w && w != root; ++level) {
    Window rootRet;
    int gx, gy;
    unsigned gw, gh, border, depth;
    if (!XGetGeometry(dpy, w, &rootRet, &gx, &gy, &gw, &gh, &border, &depth)) break;
    XResizeWindow(dpy, w, static_cast<unsigned>(std::max(1, static_cast<int>(gw) + dW)),
                  static_cast<unsigned>(std::max(1, static_cast<int>(gh) + dH)));
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    bool managed = XGetWindowProperty(dpy, w, wmState, 0, 2, False, AnyPropertyType, &type, &format,
                                      &n, &after, &data) == Success &&
                   type != None;
    if (data) XFree(data);
    if (managed) break;
    Window rootW, parentW, *children = nullptr;
    unsigned nChildren = 0;
    if (!XQueryTree(dpy, w, &rootW, &parentW, &children, &nChildren)) break;
    if (children) XFree(children);
    w = parentW;
  }
}

}  // namespace

// ---- per-window state ----

struct IGraphicsX11::Session {
  Display* dpy = nullptr;
  Window parent = 0, window = 0, root = 0;
  GC gc = nullptr;
  int winW = 0, winH = 0;
  StagingImage image;  // DrawScreen fills it, the thread sends it
  EventThread events;

  // Input and painting, window's thread only.
  DoubleClickDetector dbl;
  IRect exposeAccum;
  IRect heldExpose;  // exposures while the text box has the focus
  int resizeDW = 0, resizeDH = 0;  // requested growth (instance lock)
  bool resizePending = false;

  OpenerWatch openers;  // instance lock
};

IGraphicsX11::IGraphicsX11(IPluginBase* plug, int width, int height, int fps)
    : IGraphicsLinux(plug, width, height, fps) {}

IGraphicsX11::~IGraphicsX11() { CloseWindow(); }

RecursiveLock& IGraphicsX11::InstanceLock() { return mPlug ? mPlug->Lock() : mLock; }

void* IGraphicsX11::GetWindow() {
  unsigned long id = mWindowId.load();
  return id ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(id)) : nullptr;
}

// ---- open and close ----

namespace {

// The graphics objects whose window is open, so that unloading the module can
// stop their threads first (a host may unload it without closing them).
// Linked through the objects themselves: registering cannot fail.
std::mutex gOpenMutex;
IGraphicsX11* gOpenHead = nullptr;  // guarded by gOpenMutex

}  // namespace

void IGraphicsX11::LinkOpen() {
  std::lock_guard<std::mutex> g(gOpenMutex);
  mPrevOpen = nullptr;
  mNextOpen = gOpenHead;
  if (gOpenHead) gOpenHead->mPrevOpen = this;
  gOpenHead = this;
  mLinkedOpen = true;
}

void IGraphicsX11::UnlinkOpen() {
  std::lock_guard<std::mutex> g(gOpenMutex);
  if (!mLinkedOpen) return;
  if (mPrevOpen) mPrevOpen->mNextOpen = mNextOpen;
  else gOpenHead = mNextOpen;
  if (mNextOpen) mNextOpen->mPrevOpen = mPrevOpen;
  mPrevOpen = mNextOpen = nullptr;
  mLinkedOpen = false;
}

void IGraphicsX11::CloseAllWindows() {
  for (;;) {
    IGraphicsX11* g;
    {
      std::lock_guard<std::mutex> guard(gOpenMutex);
      g = gOpenHead;
    }
    if (!g) return;
    g->CloseWindow();  // unlinks it
  }
}

// Runs when the module is unloaded, before the module's static objects (the
// image cache among them) are destroyed: no editor thread may run this
// module's code once it is unmapped.
__attribute__((destructor)) static void CloseEditorsAtUnload() { IGraphicsX11::CloseAllWindows(); }

// At process exit the static objects go before the function above runs; this
// one, made at the first open, goes before every static made earlier.
struct CloseEditorsAtExit {
  ~CloseEditorsAtExit() { IGraphicsX11::CloseAllWindows(); }
};

void* IGraphicsX11::OpenWindow(void* parentWindow) {
  LockGuard guard(InstanceLock());
  if (!parentWindow) return nullptr;
  const char* displayName = std::getenv("DISPLAY");
  if (!displayName || !*displayName) return nullptr;
  FontRenderer::Prepare();
  Window parent = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentWindow));

  int x = 0, y = 0, w = mWidth, h = mHeight;
  if (mSession) {
    // The new window takes the old one's place and size (unless the old
    // one's server has gone: then it is only torn down).
    Session* old = mSession.get();
    old->events.Stop();
    Window child;
    Window rootRet;
    int gx, gy;
    unsigned gw, gh, border, depth;
    if (!ConnectionLost(old->dpy) &&
        XGetGeometry(old->dpy, old->window, &rootRet, &gx, &gy, &gw, &gh, &border, &depth) &&
        !ConnectionLost(old->dpy)) {
      w = static_cast<int>(gw);
      h = static_cast<int>(gh);
      XTranslateCoordinates(old->dpy, old->window, parent, 0, 0, &x, &y, &child);
    }
    if (SyncError(old->dpy) == kConnectionLost) x = y = 0, w = mWidth, h = mHeight;
    CloseWindow();
  }

  static CloseEditorsAtExit closeAtExit;
  Display* dpy = XOpenDisplay(displayName);
  if (!dpy) return nullptr;
  if (!RegisterDisplay(dpy)) {
    XCloseDisplay(dpy);
    return nullptr;
  }
  // Everything is built into s first; only a complete window is kept. Memory
  // running out anywhere on the way (an exception from the session, the
  // thread or its steps) takes down what was made and answers null.
  std::unique_ptr<Session> s;
  Window win = 0;
  auto discard = [&] {
    if (s) {
      s->events.Stop();
      s->image.Destroy(ConnectionLost(dpy) ? nullptr : dpy);
      if (s->gc && !ConnectionLost(dpy)) XFreeGC(dpy, s->gc);
    }
    if (win && !ConnectionLost(dpy)) XDestroyWindow(dpy, win);
    CloseDisplay(dpy);
    s.reset();
    return nullptr;
  };
  try {
    s = std::make_unique<Session>();
    s->dpy = dpy;
    s->parent = parent;
    s->root = DefaultRootWindow(dpy);
    XWindowAttributes pa{};
    SyncError(dpy);
    if (!XGetWindowAttributes(dpy, parent, &pa) || SyncError(dpy)) return discard();
    XSetWindowAttributes wa{};
    wa.background_pixmap = None;  // never erased by the server: every pixel comes from the surface
    wa.bit_gravity = NorthWestGravity;
    wa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                    KeyPressMask | StructureNotifyMask;
    win = XCreateWindow(dpy, parent, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0,
                        CopyFromParent, InputOutput, CopyFromParent,
                        CWBackPixmap | CWBitGravity | CWEventMask, &wa);
    if (SyncError(dpy) || !win) return discard();
    XStoreName(dpy, win, "IPlugin");
    s->window = win;
    s->winW = w;
    s->winH = h;
    s->gc = XCreateGC(dpy, win, 0, nullptr);
    XWindowAttributes attrs{};
    if (!s->gc || !XGetWindowAttributes(dpy, win, &attrs) ||
        !s->image.Create(dpy, attrs.visual, attrs.depth, mWidth, mHeight) || !s->events.Init())
      return discard();
    XMapWindow(dpy, win);
    if (SyncError(dpy) == kConnectionLost) return discard();

    // Before the thread starts: the whole redraw takes the cache's lock
    // (failed decodes are tried again), which the thread's start step holds
    // while it decodes.
    SetAllControlsDirty();
    Session* raw = s.get();
    raw->events.Start(
        dpy, &InstanceLock(), TimerPeriodMs(),
        [this, raw](std::vector<XEvent>& events, bool tick) {
          for (std::size_t i = 0; i < events.size(); ++i) {
            // Motion is relative to the last position: only the latest matters.
            if (events[i].type == MotionNotify && i + 1 < events.size() &&
                events[i + 1].type == MotionNotify && events[i + 1].xany.window == events[i].xany.window)
              continue;
            HandleEventLocked(raw, &events[i]);
          }
          if (tick) TickLocked(raw);
          if (raw->resizePending) ApplyResizeLocked(raw);
          // A popup or box asked for since the last pass gets its window.
          if (mPopup) mPopup->Map(raw->dpy, raw->window, raw->gc);
          if (mDialog) mDialog->Map(raw->dpy, raw->window, raw->gc);
        },
        [raw] { raw->image.Present(raw->dpy, raw->window, raw->gc); },
        // The server went away: the window counts as closed from now on; the
        // host's effEditClose (or the next open) tears it down.
        [this] { mWindowId = 0; },
        // The first showing decodes the images here, before the first pass,
        // so the host's audio does not wait on the instance lock meanwhile.
        // The font configuration, the first text's cost, loads beside them.
        [] {
          std::thread fonts;
          try {
            fonts = std::thread(FontRenderer::LoadConfiguration);
          } catch (...) {
            // No thread: the first text loads it.
          }
          BitmapCache::Instance().DecodeAll();
          if (fonts.joinable()) fonts.join();
        });
  } catch (...) {
    return discard();
  }
  // The thread cannot run a pass before this returns: it needs the instance lock.
  mSession = std::move(s);
  mWindowId = win;
  LinkOpen();
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(win));
}

void IGraphicsX11::CloseWindow() {
  LockGuard guard(InstanceLock());
  if (!mSession) return;
  // The thread never waits for the instance lock once a stop is pending, so
  // this join ends even though the caller may hold that lock.
  mSession->events.Stop();
  DestroySession();
}

void IGraphicsX11::DestroySession() {
  Session* s = mSession.get();
  // After a lost connection only the client side is freed: no request is sent.
  Display* live = ConnectionLost(s->dpy) ? nullptr : s->dpy;
  if (mPopup) ClosePopupLocked(s);
  if (mDialog) {
    mDialog->Destroy(live);
    mDialog.reset();
  }
  s->openers.CloseAll();
  s->image.Destroy(live);
  if (s->gc && live) XFreeGC(live, s->gc);  // a lost connection is abandoned whole (CloseDisplay)
  if (live) {
    XDestroyWindow(live, s->window);
    SyncError(live);
  }
  CloseDisplay(s->dpy);
  mWindowId = 0;
  mSession.reset();
  UnlinkOpen();
}

bool IGraphicsX11::WaitForPasses(int n, int timeoutMs) {
  Session* s;
  {
    LockGuard guard(InstanceLock());
    s = mSession.get();
    if (!s) return false;
  }
  // The session outlives this wait as long as the caller does not close the
  // window meanwhile (it is the caller's thread that would).
  return s->events.WaitForPasses(n, timeoutMs);
}

// ---- the window thread's work (instance lock held) ----

void IGraphicsX11::PaintLocked(const IRect& asked) {
  // Controls that went dirty meanwhile are painted too: Draw marks every
  // control clean, and a partial paint must not drop their changes.
  IRect r = asked;
  IsDirty(&r);
  r = r.Intersect(IRect{0, 0, mWidth, mHeight});
  if (!r.Empty()) Draw(&r);
}

void IGraphicsX11::HandleEventLocked(Session* s, void* raw) {
  XEvent& e = *static_cast<XEvent*>(raw);
  EntryPopup* popup = mPopup.get();
  DialogBox* dialog = mDialog.get();

  if (popup && popup->XWindow() && e.xany.window == popup->XWindow()) {
    if (popup->HandleEvent(s->dpy, s->gc, e)) ClosePopupLocked(s);
    return;
  }

  if (dialog && dialog->XWindow() && e.xany.window == dialog->XWindow()) {
    DialogBox::EAnswer answer = dialog->HandleEvent(s->dpy, s->gc, e);
    if (answer != DialogBox::kAnswerNone) {
      // The box goes first: a failing opener may want to show another.
      const std::string url = dialog->Url(), title = dialog->Title(), error = dialog->Error();
      dialog->Destroy(s->dpy);
      mDialog.reset();
      if (answer == DialogBox::kAnswerYes) LaunchLocked(url, title, error);
    }
    return;
  }

  if (e.xany.window != s->window) return;

  if (e.type == Expose) {
    s->exposeAccum = s->exposeAccum.Union(
        IRect{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width, e.xexpose.y + e.xexpose.height});
    if (e.xexpose.count > 0) return;
    IRect r = s->exposeAccum;
    s->exposeAccum = {};
    // While the text box has the focus the editor does not repaint; what the
    // server asked for is painted once it lets go.
    if (popup && popup->State() == kPopupFocused)
      s->heldExpose = s->heldExpose.Union(r);
    else
      PaintLocked(r);
    return;
  }

  // While the text box has the focus only a right click reaches the editor: it cancels.
  if (popup && popup->State() == kPopupFocused) {
    if (e.type == ButtonPress && e.xbutton.button == kButtonRight) popup->SetState(kPopupCancel);
    return;
  }
  if (dialog) return;  // the box is modal for the editor

  switch (e.type) {
    case ButtonPress: {
      int b = static_cast<int>(e.xbutton.button), x = e.xbutton.x, y = e.xbutton.y;
      IMouseMods mods = ModsFromState(e.xbutton.state, b, false);
      if (int notches = WheelNotches(b)) {
        OnMouseWheel(x, y, ModsFromState(e.xbutton.state, 0, false), notches);
      } else if (b == kButtonLeft) {
        // X reports single presses: the second quick one is the double-click.
        if (s->dbl.Press(x, y, static_cast<std::uint32_t>(e.xbutton.time)))
          OnMouseDblClick(x, y, mods);  // the implicit grab holds the mouse
        else
          OnMouseDown(x, y, mods);
      } else if (b == kButtonRight) {
        s->dbl.Reset();
        if (mPopup)
          mPopup->SetState(kPopupCancel);
        else
          OnMouseDown(x, y, mods);
      }
      break;
    }
    case ButtonRelease: {
      int b = static_cast<int>(e.xbutton.button);
      if (b == kButtonLeft || b == kButtonRight)
        OnMouseUp(e.xbutton.x, e.xbutton.y, ModsFromState(e.xbutton.state, b, true));
      break;
    }
    case MotionNotify:
      if (e.xmotion.state & (Button1Mask | Button3Mask))
        OnMouseDrag(e.xmotion.x, e.xmotion.y, ModsFromState(e.xmotion.state, 0, false));
      break;
    case KeyPress: {
      int code = KeyCodeForKeySym(XLookupKeysym(&e.xkey, 0));
      if (code >= 0) OnKeyDown(e.xkey.x, e.xkey.y, code);
      break;
    }
    default:
      break;
  }
}

void IGraphicsX11::TickLocked(Session* s) {
  if (EntryPopup* popup = mPopup.get()) {
    switch (popup->Tick(s->dpy, s->gc)) {
      case EntryPopup::kTickRedraw:
        break;
      case EntryPopup::kTickClose:
        ClosePopupLocked(s);
        return;
      case EntryPopup::kTickSkip:
        return;
    }
  }
  // Exposures held back while the text box had the focus.
  IRect r = s->heldExpose;
  s->heldExpose = {};
  if (IsDirty(&r) || !r.Empty()) {
    r = r.Intersect(IRect{0, 0, mWidth, mHeight});
    if (!r.Empty()) Draw(&r);
    ++mPaintedTicks;
    if (mPopup) mPopup->SetState(kPopupRefresh);
  }
  // Openers that reported back: a failure shows the error text.
  s->openers.Poll([this](const std::string& title, const std::string& error) {
    if (!error.empty()) ShowDialogLocked(false, title, error, "", "");
  });
}

void IGraphicsX11::ApplyResizeLocked(Session* s) {
  s->resizePending = false;
  s->winW += s->resizeDW;
  s->winH += s->resizeDH;
  XResizeWindow(s->dpy, s->window, static_cast<unsigned>(std::max(1, s->winW)),
                static_cast<unsigned>(std::max(1, s->winH)));
  GrowHostWindows(s->dpy, s->parent, s->root, s->resizeDW, s->resizeDH);
  SyncError(s->dpy);
  s->resizeDW = s->resizeDH = 0;
  IRect all{0, 0, mWidth, mHeight};
  PaintLocked(all);
}

// ---- the screen copy and resizing ----

bool IGraphicsX11::DrawScreen(const IRect* r) {
  Session* s = mSession.get();
  if (!s || !r || !mDrawBitmap) return true;
  std::uint32_t* bits = mDrawBitmap->getBits();
  if (!bits) return true;
  if (!s->image.Stage(bits, mDrawBitmap->getRowSpan(), mWidth, mHeight, *r)) return true;
  if (!s->events.OnThisThread()) s->events.Wake();
  return true;
}

void IGraphicsX11::Resize(int width, int height) {
  LockGuard guard(InstanceLock());
  int dW = width - mWidth, dH = height - mHeight;
  IGraphicsLinux::Resize(width, height);
  if (mDrawBitmap) mDrawBitmap->resize(width, height);
  if (Session* s = mSession.get()) {
    s->image.Grow(width, height);  // the staging image grows with the surface
    s->resizeDW += dW;
    s->resizeDH += dH;
    s->resizePending = true;
    s->events.Wake();
  }
}

// ---- entry popup ----

void IGraphicsX11::PromptParameterEntry(IControl* control, IParam* param) {
  LockGuard guard(InstanceLock());
  if (!control || !param || mPopup || !mSession || mSession->events.Lost()) return;
  mPopup = std::make_unique<EntryPopup>(control, param, mWidth, mHeight);
  mSession->events.Wake();  // the window's thread makes its window
}

void IGraphicsX11::ClosePopupLocked(Session* s) {
  if (!mPopup) return;
  mPopup->Close(s && !ConnectionLost(s->dpy) ? s->dpy : nullptr);
  mPopup.reset();
}

IGraphicsX11::PopupView IGraphicsX11::Popup() {
  LockGuard guard(InstanceLock());
  PopupView v;
  if (EntryPopup* p = mPopup.get()) {
    v.open = true;
    v.list = p->IsList();
    v.state = p->State();
    v.window = p->XWindow();
    v.rect = p->Rect();
    v.text = p->Text();
  }
  return v;
}

// ---- boxes, the opener and dialog tools ----

void IGraphicsX11::ShowDialogLocked(bool question, const std::string& title,
                                    const std::string& message, const std::string& url,
                                    const std::string& error) {
  if (!mSession || mSession->events.Lost() || mDialog) return;
  mDialog = std::make_unique<DialogBox>(question, title, message, url, error, mWidth, mHeight);
  mSession->events.Wake();  // the window's thread makes its window
}

IGraphicsX11::DialogView IGraphicsX11::Dialog() {
  LockGuard guard(InstanceLock());
  DialogView v;
  if (DialogBox* d = mDialog.get()) {
    v.window = d->XWindow();
    v.question = d->Question();
    v.message = d->Message();
    v.rect = d->Rect();
    v.yes = d->YesRect();
    v.no = d->NoRect();
    v.ok = d->OkRect();
  }
  return v;
}

bool IGraphicsX11::LaunchLocked(const std::string& url, const std::string& title,
                                const std::string& error) {
  int fd = StartOpener(url);
  if (fd < 0) {
    if (!error.empty()) ShowDialogLocked(false, title, error, "", "");
    return false;
  }
  // Only an opener whose failure has something to show is watched.
  if (mSession && !error.empty())
    mSession->openers.Add(fd, title, error);
  else
    close(fd);
  return true;
}

bool IGraphicsX11::OpenURL(const char* url, const char* windowTitle, const char* confirm,
                           const char* error) {
  if (!url || !*url) return false;
  LockGuard guard(InstanceLock());
  std::string title = windowTitle ? windowTitle : "", err = error ? error : "";
  if (confirm && *confirm) {
    if (!mSession || mDialog) return false;  // no one to ask, or a box is already asking
    ShowDialogLocked(true, title, confirm, url, err);
    return false;
  }
  return LaunchLocked(url, title, err);
}

bool IGraphicsX11::PromptForColor(IColor* color, const char* prompt) {
  if (!color || !WindowIsOpen()) return false;
  return ChooseColor(color, prompt);
}

void IGraphicsX11::PromptForFile(std::string* out, int action, const char* directory,
                                 const char*) {
  if (!out) return;
  out->clear();
  if (!WindowIsOpen()) return;
  std::string dir = directory && *directory ? directory : "";
  if (dir.empty()) GetHostDirectory(&dir);
  *out = ChooseFile(action, dir);
}

IGraphicsRaster* MakePlatformGraphics(IPluginBase* plug, int width, int height, int fps) {
  return new IGraphicsX11(plug, width, height, fps);
}
