#include "graphics/platform/x11/IGraphicsX11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/platform/PlatformGraphics.h"
#include "graphics/platform/linux/FontRenderer.h"
#include "graphics/platform/linux/DesktopProcess.h"
#include "graphics/platform/x11/X11Input.h"
#include "plugin/IParam.h"
#include "plugin/IPluginBase.h"
#include "raster/Blit.h"
#include "raster/RasterBitmap.h"

using namespace duv_x11;
using namespace duv_desktop;
using Clock = std::chrono::steady_clock;

namespace {

// ---- X errors ----
// Xlib's default handler ends the process; a host's stale window id must not.
// Errors on our own connections are recorded; others go to whatever handler
// was installed before ours. Installed while any editor window is open.
std::mutex gErrorMutex;
std::set<Display*> gOurDisplays;
int gLastError = 0;  // guarded by gErrorMutex
XErrorHandler gPreviousHandler = nullptr;

int OnXError(Display* dpy, XErrorEvent* e) {
  {
    std::lock_guard<std::mutex> g(gErrorMutex);
    if (gOurDisplays.count(dpy)) {
      gLastError = e->error_code;
      return 0;
    }
  }
  return gPreviousHandler ? gPreviousHandler(dpy, e) : 0;
}

void RegisterDisplay(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  if (gOurDisplays.empty()) gPreviousHandler = XSetErrorHandler(OnXError);
  gOurDisplays.insert(dpy);
}

void UnregisterDisplay(Display* dpy) {
  std::lock_guard<std::mutex> g(gErrorMutex);
  gOurDisplays.erase(dpy);
  if (gOurDisplays.empty()) {
    XErrorHandler current = XSetErrorHandler(gPreviousHandler);
    if (current != OnXError) XSetErrorHandler(current);  // someone replaced ours: keep theirs
    gPreviousHandler = nullptr;
  }
}

// Syncs and answers (and clears) the last error recorded for our connections.
int SyncError(Display* dpy) {
  XSync(dpy, False);
  std::lock_guard<std::mutex> g(gErrorMutex);
  int e = gLastError;
  gLastError = 0;
  return e;
}

int ShiftOf(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) mask >>= 1, ++s;
  return s;
}
int BitsOf(unsigned long mask) {
  int n = 0;
  for (; mask; mask >>= 1) n += static_cast<int>(mask & 1);
  return n;
}

// A packed editor pixel (0xAARRGGBB) as a pixel value of the image's visual.
unsigned long ServerPixel(const XImage* img, std::uint32_t p) {
  auto channel = [](unsigned v, unsigned long mask) -> unsigned long {
    int bits = BitsOf(mask);
    if (bits == 0) return 0;
    unsigned long scaled = bits >= 8 ? (static_cast<unsigned long>(v) << (bits - 8))
                                     : (static_cast<unsigned long>(v) >> (8 - bits));
    return (scaled << ShiftOf(mask)) & mask;
  };
  return channel((p >> 16) & 0xFF, img->red_mask) | channel((p >> 8) & 0xFF, img->green_mask) |
         channel(p & 0xFF, img->blue_mask);
}

// Whether the image's memory layout equals the editor's pixel words.
bool DirectFormat(const XImage* img) {
  return img->bits_per_pixel == 32 && img->byte_order == LSBFirst && img->red_mask == 0xFF0000 &&
         img->green_mask == 0xFF00 && img->blue_mask == 0xFF;
}

bool IsWebAddress(const std::string& url) {
  auto starts = [&](const char* p) {
    std::size_t n = std::strlen(p);
    if (url.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (std::tolower(static_cast<unsigned char>(url[i])) != p[i]) return false;
    return true;
  };
  return starts("http://") || starts("https://");
}

// A default route (IPv4 or IPv6) is this system's sign of a network connection.
bool HasDefaultRoute() {
  std::ifstream v4("/proc/net/route");
  std::string line;
  std::getline(v4, line);  // header
  while (std::getline(v4, line)) {
    char iface[64] = {}, dest[16] = {};
    unsigned flags = 0;
    unsigned gw = 0;
    if (std::sscanf(line.c_str(), "%63s %15s %x %x", iface, dest, &gw, &flags) == 4 &&
        std::strcmp(dest, "00000000") == 0 && (flags & 1))
      return true;
  }
  std::ifstream v6("/proc/net/ipv6_route");
  while (std::getline(v6, line)) {
    if (line.compare(0, 35, "00000000000000000000000000000000 00") == 0 &&
        line.find(" lo") == std::string::npos)
      return true;
  }
  return false;
}

constexpr int kPopupFontPx = 14;  // "Arial" of height 14
constexpr int kListRowPx = 18;
constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kGrey = 0xFF808080,
                        kPanel = 0xFFECECEC, kHighlight = 0xFF3366CC;

// Width of a line of text in pixels (0 without a face).
int TextWidth(const char* face, int sizePx, int style, const std::string& text) {
  if (text.empty()) return 0;
  const int boxW = static_cast<int>(text.size()) * sizePx + 8, boxH = sizePx * 2;
  std::vector<std::uint8_t> cov;
  if (!FontRenderer::Instance().RenderLine(face, sizePx, style, 0, text.c_str(), boxW, boxH, &cov))
    return 0;
  int last = -1;
  for (int y = 0; y < boxH; ++y)
    for (int x = boxW - 1; x > last; --x)
      if (cov[static_cast<std::size_t>(y) * boxW + x]) last = x;
  return last + 1;
}

// Draws one line of text into bm within box (clipped to the bitmap).
void PaintTextLine(duv::MemoryBitmap* bm, const IRect& box, const char* face, int sizePx, int style,
              int align, const std::string& text, std::uint32_t colour) {
  if (text.empty() || box.W() <= 0 || box.H() <= 0) return;
  std::vector<std::uint8_t> cov;
  if (!FontRenderer::Instance().RenderLine(face, sizePx, style, align, text.c_str(), box.W(),
                                           box.H(), &cov))
    return;
  duv::drawGlyph(bm, box.L, box.T, colour, cov.data(), box.W(), box.H(), 1.0f,
                 duv::kCombinerCopy);
}

void Frame(duv::MemoryBitmap* bm, int w, int h, std::uint32_t colour) {
  duv::fillRect(bm, 0, 0, w, 1, colour, 1.0f, duv::kCombinerCopy);
  duv::fillRect(bm, 0, h - 1, w, 1, colour, 1.0f, duv::kCombinerCopy);
  duv::fillRect(bm, 0, 0, 1, h, colour, 1.0f, duv::kCombinerCopy);
  duv::fillRect(bm, w - 1, 0, 1, h, colour, 1.0f, duv::kCombinerCopy);
}

}  // namespace

// ---- per-window state ----

struct IGraphicsX11::Session {
  Display* dpy = nullptr;
  Window parent = 0, window = 0, root = 0;
  GC gc = nullptr;
  int winW = 0, winH = 0;
  std::thread thread;
  std::atomic<bool> stop{false};
  int wakeRead = -1, wakeWrite = -1;

  // Staging image of the editor's size: DrawScreen fills it, the thread sends it.
  std::mutex presentMutex;
  XImage* image = nullptr;
  bool shm = false;
  XShmSegmentInfo shmInfo{};
  bool direct = false;
  IRect pendingPresent;

  // Input and painting, window's thread only.
  DoubleClickDetector dbl;
  IRect exposeAccum;
  IRect heldExpose;  // exposures while the text box has the focus
  int resizeDW = 0, resizeDH = 0;  // requested growth (instance lock)
  bool resizePending = false;

  struct Opener {
    int fd;
    std::string title, error;
  };
  std::vector<Opener> openers;  // instance lock

  std::mutex passMutex;
  std::condition_variable passCv;
  long long passes = 0;

  void Wake() {
    char c = 1;
    (void)!write(wakeWrite, &c, 1);
  }
};

struct IGraphicsX11::PopupData {
  IControl* control = nullptr;
  IParam* param = nullptr;
  bool list = false;
  std::atomic<int> state{kPopupIdle};
  IRect rect;
  EntryText entry;
  std::vector<std::string> items;
  int selected = -1;
  Window window = 0;
  bool tookFocus = false;
  Window previousFocus = 0;
  int previousRevert = RevertToParent;
};

struct IGraphicsX11::DialogData {
  bool question = false;
  std::string title, message, url, error;
  IRect rect, yes, no, ok;
  Window window = 0;
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

void* IGraphicsX11::OpenWindow(void* parentWindow) {
  LockGuard guard(InstanceLock());
  if (!parentWindow) return nullptr;
  const char* displayName = std::getenv("DISPLAY");
  if (!displayName || !*displayName) return nullptr;
  Window parent = static_cast<Window>(reinterpret_cast<std::uintptr_t>(parentWindow));

  int x = 0, y = 0, w = mWidth, h = mHeight;
  if (mSession) {
    // The new window takes the old one's place and size.
    Session* old = mSession.get();
    old->stop = true;
    old->Wake();
    if (old->thread.joinable()) old->thread.join();
    Window child;
    Window rootRet;
    int gx, gy;
    unsigned gw, gh, border, depth;
    if (XGetGeometry(old->dpy, old->window, &rootRet, &gx, &gy, &gw, &gh, &border, &depth)) {
      w = static_cast<int>(gw);
      h = static_cast<int>(gh);
      XTranslateCoordinates(old->dpy, old->window, parent, 0, 0, &x, &y, &child);
    }
    SyncError(old->dpy);
    CloseWindow();
  }

  Display* dpy = XOpenDisplay(displayName);
  if (!dpy) return nullptr;
  RegisterDisplay(dpy);
  auto s = std::make_unique<Session>();
  s->dpy = dpy;
  s->parent = parent;
  s->root = DefaultRootWindow(dpy);
  XWindowAttributes pa{};
  SyncError(dpy);
  if (!XGetWindowAttributes(dpy, parent, &pa) || SyncError(dpy)) {
    UnregisterDisplay(dpy);
    XCloseDisplay(dpy);
    return nullptr;
  }
  XSetWindowAttributes wa{};
  wa.background_pixmap = None;  // never erased by the server: every pixel comes from the surface
  wa.bit_gravity = NorthWestGravity;
  wa.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                  KeyPressMask | StructureNotifyMask;
  Window win = XCreateWindow(dpy, parent, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                             0, CopyFromParent, InputOutput, CopyFromParent,
                             CWBackPixmap | CWBitGravity | CWEventMask, &wa);
  if (SyncError(dpy) || !win) {
    UnregisterDisplay(dpy);
    XCloseDisplay(dpy);
    return nullptr;
  }
  XStoreName(dpy, win, "IPlugin");
  s->window = win;
  s->winW = w;
  s->winH = h;
  s->gc = XCreateGC(dpy, win, 0, nullptr);
  XWindowAttributes attrs{};
  XGetWindowAttributes(dpy, win, &attrs);

  // The staging image: shared memory with a local server, else plain memory.
  if (XShmQueryExtension(dpy)) {
    s->image = XShmCreateImage(dpy, attrs.visual, static_cast<unsigned>(attrs.depth), ZPixmap,
                               nullptr, &s->shmInfo, static_cast<unsigned>(mWidth),
                               static_cast<unsigned>(mHeight));
    if (s->image) {
      s->shmInfo.shmid = shmget(IPC_PRIVATE,
                                static_cast<std::size_t>(s->image->bytes_per_line) * mHeight,
                                IPC_CREAT | 0600);
      void* mem = s->shmInfo.shmid >= 0 ? shmat(s->shmInfo.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
      if (mem != reinterpret_cast<void*>(-1)) {
        s->shmInfo.shmaddr = s->image->data = static_cast<char*>(mem);
        s->shmInfo.readOnly = False;
        XShmAttach(dpy, &s->shmInfo);
        s->shm = SyncError(dpy) == 0;
        if (!s->shm) shmdt(mem);
      }
      if (s->shmInfo.shmid >= 0) shmctl(s->shmInfo.shmid, IPC_RMID, nullptr);
      if (!s->shm) {
        s->image->data = nullptr;
        XDestroyImage(s->image);
        s->image = nullptr;
      }
    }
  }
  if (!s->image) {
    s->image = XCreateImage(dpy, attrs.visual, static_cast<unsigned>(attrs.depth), ZPixmap, 0,
                            nullptr, static_cast<unsigned>(mWidth), static_cast<unsigned>(mHeight),
                            32, 0);
    if (s->image)
      s->image->data = static_cast<char*>(
          std::calloc(static_cast<std::size_t>(s->image->bytes_per_line), static_cast<std::size_t>(mHeight)));
  }
  s->direct = s->image && DirectFormat(s->image);

  int pipeFds[2];
  if (!s->image || !s->image->data || pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
    if (s->image) XDestroyImage(s->image);
    XDestroyWindow(dpy, win);
    UnregisterDisplay(dpy);
    XCloseDisplay(dpy);
    return nullptr;
  }
  s->wakeRead = pipeFds[0];
  s->wakeWrite = pipeFds[1];
  XMapWindow(dpy, win);
  XSync(dpy, False);

  mSession = std::move(s);
  mWindowId = win;
  SetAllControlsDirty();
  Session* raw = mSession.get();
  raw->thread = std::thread([this, raw] { ThreadMain(raw); });
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(win));
}

void IGraphicsX11::CloseWindow() {
  LockGuard guard(InstanceLock());
  if (!mSession) return;
  Session* s = mSession.get();
  s->stop = true;
  s->Wake();
  // The thread never waits for the instance lock once stop is set, so this
  // join ends even though the caller may hold that lock.
  if (s->thread.joinable()) s->thread.join();
  DestroySession();
}

void IGraphicsX11::DestroySession() {
  Session* s = mSession.get();
  if (mPopup) ClosePopupLocked(s);
  if (mDialog) {
    if (mDialog->window) XDestroyWindow(s->dpy, mDialog->window);
    mDialog.reset();
  }
  for (Session::Opener& o : s->openers) close(o.fd);
  if (s->shm) {
    XShmDetach(s->dpy, &s->shmInfo);
    XSync(s->dpy, False);
    shmdt(s->shmInfo.shmaddr);
    s->image->data = nullptr;
  }
  if (s->image) XDestroyImage(s->image);
  if (s->gc) XFreeGC(s->dpy, s->gc);
  XDestroyWindow(s->dpy, s->window);
  SyncError(s->dpy);
  UnregisterDisplay(s->dpy);
  XCloseDisplay(s->dpy);
  close(s->wakeRead);
  close(s->wakeWrite);
  mWindowId = 0;
  mSession.reset();
}

// ---- the window's thread ----

bool IGraphicsX11::AcquireInstanceLock(Session* s) {
  RecursiveLock& lock = InstanceLock();
  while (!lock.TryLock()) {
    if (s->stop.load()) return false;
    pollfd p{s->wakeRead, POLLIN, 0};
    poll(&p, 1, 1);
  }
  if (s->stop.load()) {
    lock.Unlock();
    return false;
  }
  return true;
}

void IGraphicsX11::ThreadMain(Session* s) {
  const auto period = std::chrono::milliseconds(TimerPeriodMs());
  auto next = Clock::now() + period;
  const int xfd = ConnectionNumber(s->dpy);
  std::vector<XEvent> events;
  while (!s->stop.load()) {
    if (!XPending(s->dpy)) {
      auto now = Clock::now();
      int timeoutMs =
          next > now
              ? static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count()) + 1
              : 0;
      pollfd fds[2] = {{xfd, POLLIN, 0}, {s->wakeRead, POLLIN, 0}};
      poll(fds, 2, timeoutMs);
    }
    char drain[64];
    while (read(s->wakeRead, drain, sizeof drain) > 0) {
    }
    if (s->stop.load()) break;
    events.clear();
    while (XPending(s->dpy)) {
      XEvent e;
      XNextEvent(s->dpy, &e);
      events.push_back(e);
    }
    auto now = Clock::now();
    bool tick = now >= next;
    if (tick) {
      next += period;
      if (next <= now) next = now + period;
    }
    if (!events.empty() || tick) {
      if (!AcquireInstanceLock(s)) break;
      for (std::size_t i = 0; i < events.size(); ++i) {
        // Motion is relative to the last position: only the latest matters.
        if (events[i].type == MotionNotify && i + 1 < events.size() &&
            events[i + 1].type == MotionNotify && events[i + 1].xany.window == events[i].xany.window)
          continue;
        HandleEventLocked(s, &events[i]);
      }
      if (tick) TickLocked(s);
      if (s->resizePending) {
        s->resizePending = false;
        s->winW += s->resizeDW;
        s->winH += s->resizeDH;
        XResizeWindow(s->dpy, s->window, static_cast<unsigned>(std::max(1, s->winW)),
                      static_cast<unsigned>(std::max(1, s->winH)));
        // The host's window follows; its parent too when that is not the
        // window manager's (the host's window then is no managed top-level).
        Atom wmState = XInternAtom(s->dpy, "WM_STATE", False);
        Window w = s->parent;
        for (int level = 0; level < 2 && w && w != s->root; ++level) {
          Window rootRet;
          int gx, gy;
          unsigned gw, gh, border, depth;
          if (!XGetGeometry(s->dpy, w, &rootRet, &gx, &gy, &gw, &gh, &border, &depth)) break;
          XResizeWindow(s->dpy, w, static_cast<unsigned>(std::max(1, static_cast<int>(gw) + s->resizeDW)),
                        static_cast<unsigned>(std::max(1, static_cast<int>(gh) + s->resizeDH)));
          Atom type;
          int format;
          unsigned long n, after;
          unsigned char* data = nullptr;
          bool managed = XGetWindowProperty(s->dpy, w, wmState, 0, 2, False, AnyPropertyType, &type,
                                            &format, &n, &after, &data) == Success &&
                         type != None;
          if (data) XFree(data);
          if (managed) break;
          Window rootW, parentW, *children = nullptr;
          unsigned nChildren = 0;
          if (!XQueryTree(s->dpy, w, &rootW, &parentW, &children, &nChildren)) break;
          if (children) XFree(children);
          w = parentW;
        }
        SyncError(s->dpy);
        s->resizeDW = s->resizeDH = 0;
        IRect all{0, 0, mWidth, mHeight};
        PaintLocked(all);
      }
      SyncPopupWindowLocked(s);
      SyncDialogWindowLocked(s);
      InstanceLock().Unlock();
    }
    Present(s);
    XFlush(s->dpy);
    {
      std::lock_guard<std::mutex> g(s->passMutex);
      ++s->passes;
    }
    s->passCv.notify_all();
  }
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
  std::unique_lock<std::mutex> lk(s->passMutex);
  long long target = s->passes + n;
  s->Wake();
  return s->passCv.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                            [&] { return s->passes >= target; });
}

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
  PopupData* popup = mPopup.get();
  DialogData* dialog = mDialog.get();

  if (popup && popup->window && e.xany.window == popup->window) {
    switch (e.type) {
      case FocusIn:
        if (!popup->list) popup->state = kPopupFocused;
        break;
      case FocusOut:
        if (!popup->list) popup->state = kPopupIdle;
        break;
      case Expose:
        if (e.xexpose.count == 0) RenderPopupLocked(s);
        break;
      case ButtonPress:
        if (popup->list) {
          if (e.xbutton.button != kButtonLeft) break;
          int row = (e.xbutton.y - 1) / kListRowPx;
          if (row >= 0 && row < static_cast<int>(popup->items.size())) {
            popup->selected = row;
            CommitPopupLocked();  // a choice in the list commits at once
            ClosePopupLocked(s);
          }
        } else {
          XSetInputFocus(s->dpy, popup->window, RevertToParent, CurrentTime);
          popup->tookFocus = true;
        }
        break;
      case KeyPress: {
        if (popup->list) break;
        char buf[16] = {};
        KeySym sym = 0;
        int n = XLookupString(&e.xkey, buf, sizeof buf - 1, &sym, nullptr);
        if (sym == XK_Return || sym == XK_KP_Enter) {
          popup->state = kPopupCommit;  // committed on the next tick
        } else if (sym == XK_BackSpace) {
          popup->entry.Backspace();
        } else if (sym == XK_Delete || sym == XK_KP_Delete) {
          popup->entry.Delete();
        } else if (sym == XK_Left || sym == XK_KP_Left) {
          popup->entry.MoveCaret(-1);
        } else if (sym == XK_Right || sym == XK_KP_Right) {
          popup->entry.MoveCaret(1);
        } else if (sym == XK_Home) {
          popup->entry.Home();
        } else if (sym == XK_End) {
          popup->entry.End();
        } else if (n > 0) {
          popup->entry.Insert(std::string(buf, static_cast<std::size_t>(n)));
        }
        RenderPopupLocked(s);
        break;
      }
      default:
        break;
    }
    return;
  }

  if (dialog && dialog->window && e.xany.window == dialog->window) {
    if (e.type == Expose && e.xexpose.count == 0) RenderDialogLocked(s);
    bool yes = false, close = false;
    if (e.type == ButtonPress && e.xbutton.button == kButtonLeft) {
      int x = e.xbutton.x, y = e.xbutton.y;
      if (dialog->question) {
        yes = dialog->yes.Contains(x, y);
        close = yes || dialog->no.Contains(x, y);
      } else {
        close = dialog->ok.Contains(x, y);
      }
    } else if (e.type == KeyPress) {
      KeySym sym = XLookupKeysym(&e.xkey, 0);
      yes = dialog->question && (sym == XK_Return || sym == XK_KP_Enter);
      close = yes || sym == XK_Escape || (!dialog->question && sym == XK_Return);
    }
    if (close) {
      DialogData done = *dialog;
      XDestroyWindow(s->dpy, dialog->window);
      mDialog.reset();
      if (yes) LaunchLocked(done.url, done.title, done.error);
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
    if (popup && popup->state == kPopupFocused)
      s->heldExpose = s->heldExpose.Union(r);
    else
      PaintLocked(r);
    return;
  }

  // While the text box has the focus only a right click reaches the editor: it cancels.
  if (popup && popup->state == kPopupFocused) {
    if (e.type == ButtonPress && e.xbutton.button == kButtonRight) popup->state = kPopupCancel;
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
          mPopup->state = kPopupCancel;
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
  if (PopupData* popup = mPopup.get()) {
    switch (popup->state.load()) {
      case kPopupIdle:
        break;
      case kPopupRefresh: {
        char text[IParam::kTextCapacity] = {};
        popup->param->FormatForHost(text);
        if (popup->list) {
          popup->selected = -1;
          for (std::size_t i = 0; i < popup->items.size(); ++i)
            if (popup->items[i] == text) popup->selected = static_cast<int>(i);
        } else {
          popup->entry.SetText(text);
        }
        popup->state = kPopupIdle;
        RenderPopupLocked(s);
        return;
      }
      case kPopupCancel:
        ClosePopupLocked(s);
        return;
      case kPopupCommit:
        CommitPopupLocked();
        ClosePopupLocked(s);
        return;
      case kPopupFocused:
        return;  // the text box has the focus: no redraw cycle
      default:
        popup->state = kPopupIdle;
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
    if (mPopup) mPopup->state = kPopupRefresh;
  }
  // Openers that reported back: a failure shows the error text.
  for (std::size_t i = 0; i < s->openers.size();) {
    int status = 0;
    if (PollExitStatus(s->openers[i].fd, &status)) {
      close(s->openers[i].fd);
      Session::Opener o = s->openers[i];
      s->openers.erase(s->openers.begin() + static_cast<std::ptrdiff_t>(i));
      if (status != 0 && !o.error.empty()) ShowDialogLocked(false, o.title, o.error, "", "");
    } else {
      ++i;
    }
  }
}

bool IGraphicsX11::DrawScreen(const IRect* r) {
  Session* s = mSession.get();
  if (!s || !r || !mDrawBitmap) return true;
  std::uint32_t* bits = mDrawBitmap->getBits();
  if (!bits) return true;
  {
    std::lock_guard<std::mutex> g(s->presentMutex);
    IRect c = r->Intersect(IRect{0, 0, std::min(mWidth, s->image->width),
                                 std::min(mHeight, s->image->height)});
    if (c.Empty()) return true;
    const int span = mDrawBitmap->getRowSpan();
    for (int y = c.T; y < c.B; ++y) {
      const std::uint32_t* src = bits + static_cast<std::size_t>(y) * span;
      if (s->direct) {
        std::memcpy(s->image->data + static_cast<std::size_t>(y) * s->image->bytes_per_line + c.L * 4,
                    src + c.L, static_cast<std::size_t>(c.W()) * 4);
      } else {
        for (int x = c.L; x < c.R; ++x) XPutPixel(s->image, x, y, ServerPixel(s->image, src[x]));
      }
    }
    s->pendingPresent = s->pendingPresent.Union(c);
  }
  if (!s->thread.joinable() || std::this_thread::get_id() != s->thread.get_id()) s->Wake();
  return true;
}

void IGraphicsX11::Present(Session* s) {
  std::lock_guard<std::mutex> g(s->presentMutex);
  IRect r = s->pendingPresent;
  if (r.Empty()) return;
  s->pendingPresent = {};
  if (s->shm) {
    XShmPutImage(s->dpy, s->window, s->gc, s->image, r.L, r.T, r.L, r.T,
                 static_cast<unsigned>(r.W()), static_cast<unsigned>(r.H()), False);
    XSync(s->dpy, False);  // the segment is written again only after the server has read it
  } else {
    XPutImage(s->dpy, s->window, s->gc, s->image, r.L, r.T, r.L, r.T, static_cast<unsigned>(r.W()),
              static_cast<unsigned>(r.H()));
  }
}

// Sends a bitmap (editor pixel words) to a window at (0, 0).
static void PutBitmap(Display* dpy, Window w, GC gc, duv::MemoryBitmap* bm) {
  XWindowAttributes a{};
  if (!XGetWindowAttributes(dpy, w, &a)) return;
  const int bw = bm->getWidth(), bh = bm->getHeight();
  XImage* img = XCreateImage(dpy, a.visual, static_cast<unsigned>(a.depth), ZPixmap, 0, nullptr,
                             static_cast<unsigned>(bw), static_cast<unsigned>(bh), 32, 0);
  if (!img) return;
  img->data = static_cast<char*>(std::malloc(static_cast<std::size_t>(img->bytes_per_line) * bh));
  if (img->data) {
    for (int y = 0; y < bh; ++y)
      for (int x = 0; x < bw; ++x)
        XPutPixel(img, x, y, ServerPixel(img, bm->getBits()[static_cast<std::size_t>(y) * bm->getRowSpan() + x]));
    XPutImage(dpy, w, gc, img, 0, 0, 0, 0, static_cast<unsigned>(bw), static_cast<unsigned>(bh));
  }
  XDestroyImage(img);
}

// ---- resize ----

void IGraphicsX11::Resize(int width, int height) {
  LockGuard guard(InstanceLock());
  int dW = width - mWidth, dH = height - mHeight;
  IGraphicsLinux::Resize(width, height);
  if (mDrawBitmap) mDrawBitmap->resize(width, height);
  if (Session* s = mSession.get()) {
    // The staging image grows with the surface.
    {
      std::lock_guard<std::mutex> g(s->presentMutex);
      if (!s->shm && s->image && (width > s->image->width || height > s->image->height)) {
        XImage* img = s->image;
        int nw = std::max(width, img->width), nh = std::max(height, img->height);
        char* data = static_cast<char*>(std::calloc(static_cast<std::size_t>(nw) * 4, static_cast<std::size_t>(nh)));
        if (data && img->bits_per_pixel == 32) {
          for (int y = 0; y < img->height; ++y)
            std::memcpy(data + static_cast<std::size_t>(y) * nw * 4,
                        img->data + static_cast<std::size_t>(y) * img->bytes_per_line,
                        static_cast<std::size_t>(img->width) * 4);
          std::free(img->data);
          img->data = data;
          img->width = nw;
          img->height = nh;
          img->bytes_per_line = nw * 4;
        } else {
          std::free(data);
        }
      }
    }
    s->resizeDW += dW;
    s->resizeDH += dH;
    s->resizePending = true;
    s->Wake();
  }
}

// ---- entry popup ----

void IGraphicsX11::PromptParameterEntry(IControl* control, IParam* param) {
  LockGuard guard(InstanceLock());
  if (!control || !param || mPopup || !mSession) return;
  auto p = std::make_unique<PopupData>();
  p->control = control;
  p->param = param;
  const IRect& cr = control->GetRect();
  const int cx = (cr.L + cr.R) / 2, cy = (cr.T + cr.B) / 2;
  char text[IParam::kTextCapacity] = {};
  param->FormatForHost(text);
  const int n = param->DisplayTextCount();
  if (n > 0) {
    p->list = true;
    std::size_t longest = 0;
    // Display texts are listed by value, in the parameter's range.
    for (int v = static_cast<int>(param->Min()); v <= static_cast<int>(param->Max()); ++v) {
      const char* t = param->DisplayTextFor(v);
      if (!*t) continue;
      p->items.emplace_back(t);
      longest = std::max(longest, p->items.back().size());
      if (p->items.back() == text) p->selected = static_cast<int>(p->items.size()) - 1;
    }
    const int w = std::max(24, 8 * static_cast<int>(longest) + 24);
    const int h = kListRowPx * static_cast<int>(p->items.size()) + 2;
    int x = std::clamp(cx - w / 2, 0, std::max(0, mWidth - w));
    int y = std::clamp(cy, 0, std::max(0, mHeight - h));
    p->rect = {x, y, x + w, y + h};
  } else {
    p->entry.SetText(text);
    p->rect = {cx - 18, cy - 8, cx + 18, cy + 8};
  }
  mPopup = std::move(p);
  mSession->Wake();
}

void IGraphicsX11::SyncPopupWindowLocked(Session* s) {
  PopupData* p = mPopup.get();
  if (!p || p->window) return;
  p->window = XCreateSimpleWindow(s->dpy, s->window, p->rect.L, p->rect.T,
                                  static_cast<unsigned>(p->rect.W()), static_cast<unsigned>(p->rect.H()),
                                  0, BlackPixel(s->dpy, DefaultScreen(s->dpy)),
                                  WhitePixel(s->dpy, DefaultScreen(s->dpy)));
  XSelectInput(s->dpy, p->window, ExposureMask | KeyPressMask | ButtonPressMask | FocusChangeMask);
  XMapRaised(s->dpy, p->window);
  if (!p->list) {
    // The window manager keeps the keyboard with the host: ask for it, and
    // give it back on close.
    XGetInputFocus(s->dpy, &p->previousFocus, &p->previousRevert);
    XSync(s->dpy, False);
    XSetInputFocus(s->dpy, p->window, RevertToParent, CurrentTime);
    p->tookFocus = SyncError(s->dpy) == 0;
  }
  RenderPopupLocked(s);
}

void IGraphicsX11::RenderPopupLocked(Session* s) {
  PopupData* p = mPopup.get();
  if (!p || !p->window) return;
  const int w = p->rect.W(), h = p->rect.H();
  duv::MemoryBitmap bm(w, h);
  duv::fillRect(&bm, 0, 0, w, h, kWhite, 1.0f, duv::kCombinerCopy);
  if (p->list) {
    for (std::size_t i = 0; i < p->items.size(); ++i) {
      IRect row{1, 1 + static_cast<int>(i) * kListRowPx, w - 1, 1 + static_cast<int>(i + 1) * kListRowPx};
      bool sel = static_cast<int>(i) == p->selected;
      if (sel) duv::fillRect(&bm, row.L, row.T, row.W(), row.H(), kHighlight, 1.0f, duv::kCombinerCopy);
      IRect textBox{row.L + 4, row.T + 1, row.R, row.B};
      PaintTextLine(&bm, textBox, "Arial", kPopupFontPx, 0, 0, p->items[i], sel ? kWhite : kBlack);
    }
  } else {
    const std::string& text = p->entry.Text();
    const int textW = TextWidth("Arial", kPopupFontPx, 0, text);
    const int left = (w - textW) / 2;
    if (p->entry.AllSelected() && !text.empty())
      duv::fillRect(&bm, std::max(1, left - 1), 1, std::min(w - 2, textW + 2), h - 2, kHighlight, 1.0f,
                    duv::kCombinerCopy);
    PaintTextLine(&bm, IRect{1, 0, w - 1, h}, "Arial", kPopupFontPx, 0, 1, text,
             p->entry.AllSelected() ? kWhite : kBlack);
    if (!p->entry.AllSelected()) {
      int caretX = left + TextWidth("Arial", kPopupFontPx, 0, text.substr(0, static_cast<std::size_t>(p->entry.Caret())));
      caretX = std::clamp(caretX, 1, w - 2);
      duv::fillRect(&bm, caretX, 2, 1, h - 4, kBlack, 1.0f, duv::kCombinerCopy);
    }
  }
  Frame(&bm, w, h, kGrey);
  PutBitmap(s->dpy, p->window, s->gc, &bm);
}

void IGraphicsX11::CommitPopupLocked() {
  PopupData* p = mPopup.get();
  if (!p) return;
  double value = 0.0;
  if (p->list) {
    int v = 0;
    if (p->selected >= 0 && p->param->ValueForDisplayText(p->items[static_cast<std::size_t>(p->selected)].c_str(), &v))
      value = v;
  } else {
    std::string text = p->entry.Text().substr(0, 31);
    value = std::strtod(text.c_str(), nullptr);
  }
  p->control->SetValueFromUserInput(p->param->NormalizedOf(value));
}

void IGraphicsX11::ClosePopupLocked(Session* s) {
  PopupData* p = mPopup.get();
  if (!p) return;
  if (p->window && s) {
    Window focus;
    int revert;
    XGetInputFocus(s->dpy, &focus, &revert);
    if (p->tookFocus && focus == p->window)
      XSetInputFocus(s->dpy, p->previousFocus ? p->previousFocus : PointerRoot, p->previousRevert,
                     CurrentTime);
    XDestroyWindow(s->dpy, p->window);
    SyncError(s->dpy);  // the previous focus window may be gone: not our concern
  }
  mPopup.reset();
}

IGraphicsX11::PopupView IGraphicsX11::Popup() {
  LockGuard guard(InstanceLock());
  PopupView v;
  if (PopupData* p = mPopup.get()) {
    v.open = true;
    v.list = p->list;
    v.state = p->state.load();
    v.window = p->window;
    v.rect = p->rect;
    v.text = p->list ? (p->selected >= 0 ? p->items[static_cast<std::size_t>(p->selected)] : std::string())
                     : p->entry.Text();
  }
  return v;
}

// ---- boxes, the opener and dialog tools ----

void IGraphicsX11::ShowDialogLocked(bool question, const std::string& title,
                                    const std::string& message, const std::string& url,
                                    const std::string& error) {
  if (!mSession || mDialog) return;
  auto d = std::make_unique<DialogData>();
  d->question = question;
  d->title = title;
  d->message = message;
  d->url = url;
  d->error = error;
  const int w = std::min(mWidth - 20, 420), h = 96;
  const int x = (mWidth - w) / 2, y = std::max(0, (mHeight - h) / 2);
  d->rect = {x, y, x + w, y + h};
  d->yes = {w / 2 - 80, h - 32, w / 2 - 10, h - 8};
  d->no = {w / 2 + 10, h - 32, w / 2 + 80, h - 8};
  d->ok = {w / 2 - 35, h - 32, w / 2 + 35, h - 8};
  mDialog = std::move(d);
  mSession->Wake();
}

void IGraphicsX11::SyncDialogWindowLocked(Session* s) {
  DialogData* d = mDialog.get();
  if (!d || d->window) return;
  d->window = XCreateSimpleWindow(s->dpy, s->window, d->rect.L, d->rect.T,
                                  static_cast<unsigned>(d->rect.W()), static_cast<unsigned>(d->rect.H()),
                                  0, BlackPixel(s->dpy, DefaultScreen(s->dpy)),
                                  WhitePixel(s->dpy, DefaultScreen(s->dpy)));
  XSelectInput(s->dpy, d->window, ExposureMask | KeyPressMask | ButtonPressMask);
  XMapRaised(s->dpy, d->window);
  RenderDialogLocked(s);
}

void IGraphicsX11::RenderDialogLocked(Session* s) {
  DialogData* d = mDialog.get();
  if (!d || !d->window) return;
  const int w = d->rect.W(), h = d->rect.H();
  duv::MemoryBitmap bm(w, h);
  duv::fillRect(&bm, 0, 0, w, h, kPanel, 1.0f, duv::kCombinerCopy);
  PaintTextLine(&bm, IRect{8, 6, w - 8, 24}, "Arial", 13, 1, 0, d->title, kBlack);
  // The message, wrapped at word boundaries into at most two lines.
  std::string first = d->message, second;
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
  if (d->question) {
    button(d->yes, "Yes");
    button(d->no, "No");
  } else {
    button(d->ok, "OK");
  }
  Frame(&bm, w, h, kGrey);
  PutBitmap(s->dpy, d->window, s->gc, &bm);
}

IGraphicsX11::DialogView IGraphicsX11::Dialog() {
  LockGuard guard(InstanceLock());
  DialogView v;
  if (DialogData* d = mDialog.get()) {
    v.window = d->window;
    v.question = d->question;
    v.message = d->message;
    v.rect = d->rect;
    v.yes = d->yes;
    v.no = d->no;
    v.ok = d->ok;
  }
  return v;
}

bool IGraphicsX11::LaunchLocked(const std::string& url, const std::string& title,
                                const std::string& error) {
  // Only a web address needs the network; a local document opens offline.
  int fd = -1;
  if (!IsWebAddress(url) || HasDefaultRoute()) fd = StartWatched({"xdg-open", url});
  if (fd < 0) {
    if (!error.empty()) ShowDialogLocked(false, title, error, "", "");
    return false;
  }
  if (mSession && !error.empty())
    mSession->openers.push_back({fd, title, error});
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
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%02x%02x%02x", color->R & 0xFF, color->G & 0xFF, color->B & 0xFF);
  std::vector<std::string> argv;
  if (ProgramOnPath("zenity")) {
    argv = {"zenity", "--color-selection", std::string("--color=") + hex};
    if (prompt && *prompt) argv.push_back(std::string("--title=") + prompt);
  } else if (ProgramOnPath("kdialog")) {
    argv = {"kdialog", "--getcolor", "--default", hex};
    if (prompt && *prompt) argv.insert(argv.end(), {"--title", prompt});
  } else {
    return false;
  }
  std::string out;
  if (!RunForOutput(argv, &out)) return false;
  int r = 0, g = 0, b = 0;
  if (std::sscanf(out.c_str(), " #%02x%02x%02x", &r, &g, &b) == 3 ||
      std::sscanf(out.c_str(), " rgb(%d,%d,%d)", &r, &g, &b) == 3 ||
      std::sscanf(out.c_str(), " rgba(%d,%d,%d", &r, &g, &b) == 3) {
    color->R = std::clamp(r, 0, 255);
    color->G = std::clamp(g, 0, 255);
    color->B = std::clamp(b, 0, 255);
    return true;
  }
  return false;
}

void IGraphicsX11::PromptForFile(std::string* out, int action, const char* directory,
                                 const char*) {
  if (!out) return;
  out->clear();
  if (!WindowIsOpen()) return;
  std::string dir = directory && *directory ? directory : "";
  if (dir.empty()) GetHostDirectory(&dir);
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::vector<std::string> argv;
  if (ProgramOnPath("zenity")) {
    argv = {"zenity", "--file-selection", "--filename=" + dir};
    if (action == 1) argv.insert(argv.end(), {"--save", "--confirm-overwrite"});
  } else if (ProgramOnPath("kdialog")) {
    argv = {"kdialog", action == 1 ? "--getsavefilename" : "--getopenfilename", dir.empty() ? "." : dir};
  } else {
    return;
  }
  std::string path;
  if (!RunForOutput(argv, &path)) return;
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  *out = path;
}

IGraphicsRaster* MakePlatformGraphics(IPluginBase* plug, int width, int height, int fps) {
  return new IGraphicsX11(plug, width, height, fps);
}
