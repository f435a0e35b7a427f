#include "graphics/platform/win/IGraphicsWin.h"

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <wininet.h>
// <windows.h> renames these to their A/W forms; the graphics object's own
// operations of the same names must keep theirs.
#undef DrawText
#undef LoadBitmap

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/platform/PlatformGraphics.h"
#include "graphics/platform/WebAddress.h"
#include "plugin/IParam.h"
#include "raster/RasterBitmap.h"

namespace {

const char kClassName[] = "IPluginWndClass";
const char kPopupProp[] = "IGraphicsWin";

// Process-wide, touched only on the user-interface thread; atomics keep two
// hosts' threads in one process from tearing them.
std::atomic<int> sOpenWindows{0};
std::atomic<int> sTimerRate{24};

HWND Hwnd(void* p) { return static_cast<HWND>(p); }

LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    int rate = sTimerRate.load();
    SetTimer(hwnd, IGraphicsWin::kTimerId, static_cast<UINT>(1000 / (rate > 0 ? rate : 24)), nullptr);
    return 0;
  }
  auto* g = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!g || g->GetWindow() != hwnd) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return g->EditorMessage(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK PopupProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* g = static_cast<IGraphicsWin*>(GetPropA(hwnd, kPopupProp));
  if (!g) return DefWindowProcA(hwnd, msg, wParam, lParam);
  return g->PopupMessage(hwnd, msg, wParam, lParam);
}

bool RegisterEditorClass(HINSTANCE instance) {
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = EditorProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = nullptr;  // never erased: every pixel is painted from the surface
  wc.lpszClassName = kClassName;
  return RegisterClassA(&wc) != 0;
}

void ReleaseWindowCount(HINSTANCE instance) {
  if (--sOpenWindows == 0) UnregisterClassA(kClassName, instance);
}

IMouseMods ModsOf(WPARAM wParam) {
  IMouseMods m;
  m.L = (wParam & MK_LBUTTON) != 0;
  m.R = (wParam & MK_RBUTTON) != 0;
  m.S = (wParam & MK_SHIFT) != 0;
  m.C = (wParam & MK_CONTROL) != 0;
  m.A = GetKeyState(VK_MENU) < 0;
  return m;
}

// Signed 16-bit client coordinates of a mouse message.
int XOf(LPARAM lParam) { return static_cast<short>(LOWORD(lParam)); }
int YOf(LPARAM lParam) { return static_cast<short>(HIWORD(lParam)); }

// Folder of a path up to and including its last backslash; empty when it has
// none or ends with one.
void FolderOf(const char* path, DWORD length, std::string* out) {
  out->clear();
  if (length == 0) return;
  const char* last = std::strrchr(path, '\\');
  if (!last || last[1] == '\0') return;
  out->assign(path, static_cast<std::size_t>(last - path + 1));
}

UINT_PTR CALLBACK ColorHook(HWND dialog, UINT msg, WPARAM, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    auto* cc = reinterpret_cast<CHOOSECOLORA*>(lParam);
    const char* prompt = reinterpret_cast<const char*>(cc->lCustData);
    if (prompt && *prompt) SetWindowTextA(dialog, prompt);
  }
  return 0;
}

}  // namespace

IGraphicsWin::IGraphicsWin(IPluginBase* plug, int width, int height, int fps)
    : IGraphicsRaster(plug, width, height, fps) {}

IGraphicsWin::~IGraphicsWin() {
  CloseWindow();
  delete[] mCustomColors;
  if (mFont) {
    // The font is selected into the surface's device context: put the stock
    // one back before deleting it.
    HDC dc = mDrawBitmap ? static_cast<HDC>(mDrawBitmap->getDC()) : nullptr;
    if (dc) SelectObject(dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(static_cast<HGDIOBJ>(mFont));
  }
}

int IGraphicsWin::OpenWindowCount() { return sOpenWindows.load(); }

int IGraphicsWin::KeyCodeOf(int vk) {
  switch (vk) {
    case 32: return 0;
    case 38: return 1;
    case 40: return 2;
    case 37: return 3;
    case 39: return 4;
    default: break;
  }
  if (vk >= 48 && vk <= 57) return vk - 43;
  if (vk >= 65 && vk <= 90) return vk - 50;
  if (vk >= 97 && vk <= 122) return vk - 82;
  return -1;
}

void* IGraphicsWin::OpenWindow(void* parentWindow) {
  HWND parent = Hwnd(parentWindow);
  mParentWindow = parentWindow;
  int x = 0, y = 0, w = Width(), h = Height();
  if (mWindow) {
    // Measured from the parent's client corner, where child positions count
    // from (the parent's outer corner would move a framed parent's editor by
    // the frame width at every reopening).
    RECT oldRect{};
    POINT parentOrigin{0, 0};
    ClientToScreen(parent, &parentOrigin);
    GetWindowRect(Hwnd(mWindow), &oldRect);
    x = oldRect.left - parentOrigin.x;
    y = oldRect.top - parentOrigin.y;
    w = oldRect.right - oldRect.left;
    h = oldRect.bottom - oldRect.top;
    CloseWindow();
  }
  HINSTANCE instance = static_cast<HINSTANCE>(mInstance);
  if (sOpenWindows++ == 0) RegisterEditorClass(instance);
  sTimerRate = FPS();
  HWND hwnd = CreateWindowExA(0, kClassName, "IPlugin", WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                              nullptr, instance, this);
  if (!hwnd) {
    ReleaseWindowCount(instance);
    return nullptr;
  }
  mWindow = hwnd;
  SetAllControlsDirty();
  return hwnd;
}

void IGraphicsWin::CloseWindow() {
  if (!mWindow) return;
  HWND hwnd = Hwnd(mWindow);
  // The popup is the window's child and goes with it.
  if (mPopupWindow) CancelPopup();
  mWindow = nullptr;
  KillTimer(hwnd, kTimerId);
  DestroyWindow(hwnd);
  ReleaseWindowCount(static_cast<HINSTANCE>(mInstance));
}

bool IGraphicsWin::DrawScreen(const IRect* r) {
  if (!mWindow || !r || !mDrawBitmap) return true;
  HWND hwnd = Hwnd(mWindow);
  PAINTSTRUCT ps;
  HDC screen = BeginPaint(hwnd, &ps);
  if (screen) {
    HDC surface = static_cast<HDC>(mDrawBitmap->getDC());
    BitBlt(screen, r->L, r->T, r->W(), r->H(), surface, r->L, r->T, SRCCOPY);
  }
  EndPaint(hwnd, &ps);
  return true;
}

bool IGraphicsWin::DrawText(const IText* text, const char* str, const IRect* r) {
  if (!str || !text) return true;
  HDC dc = mDrawBitmap ? static_cast<HDC>(mDrawBitmap->getDC()) : nullptr;
  if (!dc || !r) return false;
  if (!mFontCreated) {
    const int escapement = text->orientation * 10;
    HFONT font = CreateFontA(text->size, 0, escapement, escapement,
                             text->style == IText::kBold ? FW_BOLD : FW_DONTCARE,
                             text->style == IText::kItalic, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, text->face);
    if (font) SelectObject(dc, font);
    mFont = font;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(text->color.R, text->color.G, text->color.B));
    mLastTextColor = text->color;
    mFontCreated = true;
  } else if (text->color.R != mLastTextColor.R || text->color.G != mLastTextColor.G ||
             text->color.B != mLastTextColor.B) {
    SetTextColor(dc, RGB(text->color.R, text->color.G, text->color.B));
    mLastTextColor = text->color;
  }
  UINT format = DT_NOCLIP;
  if (text->align == IText::kCentre)
    format |= DT_CENTER;
  else if (text->align == IText::kRight)
    format |= DT_RIGHT;
  else
    format |= DT_LEFT;
  RECT rect{r->L, r->T, r->R, r->B};
  int drawn = DrawTextA(dc, str, -1, &rect, format);
  // GDI may batch: the raster code reads these pixels directly next.
  GdiFlush();
  return drawn != 0;
}

void IGraphicsWin::Resize(int width, int height) {
  const int dW = width - Width(), dH = height - Height();
  IGraphicsRaster::Resize(width, height);
  if (mDrawBitmap) mDrawBitmap->resize(width, height);
  if (!mWindow) return;
  HWND hwnd = Hwnd(mWindow);
  auto grow = [dW, dH](HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    SetWindowPos(w, nullptr, 0, 0, r.right - r.left + dW, r.bottom - r.top + dH,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  };
  auto plainChild = [](HWND w) {
    LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
    LONG_PTR exStyle = GetWindowLongPtrA(w, GWL_EXSTYLE);
    return (style & WS_CHILD) != 0 && (exStyle & WS_EX_MDICHILD) == 0;
  };
  grow(hwnd);
  if (plainChild(hwnd)) {
    HWND parent = GetParent(hwnd);
    if (parent) {
      grow(parent);
      if (plainChild(parent)) {
        HWND grandparent = GetParent(parent);
        if (grandparent) grow(grandparent);
      }
    }
  }
  InvalidateRect(hwnd, nullptr, FALSE);
}

void IGraphicsWin::GetHostDirectory(std::string* out) {
  if (!out) return;
  char path[256] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n >= sizeof path) n = 0;  // cut short: not a usable path
  FolderOf(path, n, out);
}

void IGraphicsWin::GetPluginDirectory(std::string* out) {
  if (!out) return;
  char path[256] = {};
  DWORD n = mInstance ? GetModuleFileNameA(static_cast<HMODULE>(mInstance), path, sizeof path) : 0;
  if (n >= sizeof path) n = 0;
  FolderOf(path, n, out);
}

void IGraphicsWin::PromptParameterEntry(IControl* control, IParam* param) {
  if (!control || !param || mPopupWindow || !mWindow) return;
  const IRect& r = control->GetRect();
  const int cx = (r.L + r.R) / 2, cy = (r.T + r.B) / 2;
  char current[128] = {};
  param->FormatForHost(current);
  HINSTANCE instance = static_cast<HINSTANCE>(mInstance);
  HWND popup = nullptr;
  const int n = param->DisplayTextCount();
  if (n > 0) {
    // The display texts by value over the parameter's range: texts need not
    // sit at 0..n-1 (an integer parameter may name only -1 "off"), so walking
    // positions would list empty rows and miss texts.
    std::vector<const char*> texts;
    int longest = 0;
    for (int v = static_cast<int>(param->Min()); v <= static_cast<int>(param->Max()); ++v) {
      const char* t = param->DisplayTextFor(v);
      if (!*t) continue;
      texts.push_back(t);
      longest = std::max(longest, static_cast<int>(std::strlen(t)));
    }
    const int w = std::max(24, 8 * longest + 24);
    popup = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, cx - w / 2,
                            cy, w, 36 * n + 36, Hwnd(mWindow),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPopupId)), instance, nullptr);
    if (!popup) return;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      SendMessageA(popup, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[i]));
      if (std::strcmp(texts[i], current) == 0) SendMessageA(popup, CB_SETCURSEL, i, 0);
    }
  } else {
    popup = CreateWindowExA(0, "EDIT", current, WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE,
                            cx - 18, cy - 8, 36, 16, Hwnd(mWindow),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPopupId)), instance, nullptr);
    if (!popup) return;
  }
  SetPropA(popup, kPopupProp, this);
  mPopupPrevProc = reinterpret_cast<void*>(
      SetWindowLongPtrA(popup, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PopupProc)));
  mPopupFont = CreateFontA(14, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, "Arial");
  if (mPopupFont) SendMessageA(popup, WM_SETFONT, reinterpret_cast<WPARAM>(mPopupFont), FALSE);
  mPopupWindow = popup;
  mPopupControl = control;
  mPopupParam = param;
  mPopupState = kPopupIdle;
}

void IGraphicsWin::RefreshPopupText() {
  if (!mPopupWindow || !mPopupParam) return;
  char text[128] = {};
  mPopupParam->FormatForHost(text);
  HWND popup = Hwnd(mPopupWindow);
  if (mPopupParam->DisplayTextCount() > 0) {
    // A drop-down list has no text of its own to set (the system ignores
    // it): select the entry with this text, or none. Selecting this way
    // sends no selection-change message, so it commits nothing.
    const LRESULT i = SendMessageA(popup, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(text));
    SendMessageA(popup, CB_SETCURSEL, i == CB_ERR ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(i), 0);
  } else {
    SetWindowTextA(popup, text);
  }
}

void IGraphicsWin::CommitPopup() {
  if (!mPopupWindow || !mPopupParam || !mPopupControl) return;
  char text[32] = {};  // up to 31 characters
  GetWindowTextA(Hwnd(mPopupWindow), text, sizeof text);
  double value = 0.0;
  if (mPopupParam->DisplayTextCount() > 0) {
    int v = 0;
    if (mPopupParam->ValueForDisplayText(text, &v)) value = v;
  } else {
    value = std::strtod(text, nullptr);
  }
  mPopupControl->SetValueFromUserInput(mPopupParam->NormalizedOf(value));
}

void IGraphicsWin::CancelPopup() {
  if (!mPopupWindow) return;
  HWND popup = Hwnd(mPopupWindow);
  SetWindowLongPtrA(popup, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mPopupPrevProc));
  RemovePropA(popup, kPopupProp);
  DestroyWindow(popup);
  if (mPopupFont) DeleteObject(static_cast<HGDIOBJ>(mPopupFont));
  mPopupFont = nullptr;
  mPopupWindow = nullptr;
  mPopupControl = nullptr;
  mPopupParam = nullptr;
  mPopupPrevProc = nullptr;
  mPopupState = kPopupIdle;
}

void IGraphicsWin::TimerTick(void* hwnd) {
  if (mPopupWindow) {
    switch (mPopupState) {
      case kPopupIdle:
        break;
      case kPopupRefresh:
        RefreshPopupText();
        mPopupState = kPopupIdle;
        return;
      case kPopupCancel:
        CancelPopup();
        return;
      case kPopupCommit:
        CommitPopup();
        CancelPopup();
        return;
      default:
        mPopupState = kPopupIdle;
        return;
    }
  }
  IRect r;
  if (IsDirty(&r)) {
    RECT rect{r.L, r.T, r.R, r.B};
    InvalidateRect(Hwnd(hwnd), &rect, FALSE);
    UpdateWindow(Hwnd(hwnd));
    if (mPopupWindow) mPopupState = kPopupRefresh;
  }
}

std::intptr_t IGraphicsWin::EditorMessage(void* window, unsigned msg, std::uintptr_t wParam,
                                          std::intptr_t lParam) {
  HWND hwnd = Hwnd(window);
  // While the text box has the focus the editor stands still; a right click cancels.
  if (mPopupWindow && mPopupState == kPopupFocused) {
    if (msg == WM_RBUTTONDOWN) {
      mPopupState = kPopupCancel;
      return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  switch (msg) {
    case WM_PAINT: {
      RECT u{};
      if (GetUpdateRect(hwnd, &u, FALSE)) {
        IRect r{u.left, u.top, u.right, u.bottom};
        Draw(&r);
      }
      // Draw ends in DrawScreen's BeginPaint; an area it did not reach must
      // not keep the paint message coming.
      ValidateRect(hwnd, nullptr);
      return 0;
    }
    case WM_CLOSE:
      CloseWindow();
      return 0;
    case WM_KEYDOWN: {
      int key = KeyCodeOf(static_cast<int>(wParam));
      if (key >= 0) {
        POINT p{};
        GetCursorPos(&p);
        ScreenToClient(hwnd, &p);
        OnKeyDown(p.x, p.y, key);
      }
      return 0;
    }
    case WM_TIMER:
      if (wParam == kTimerId) {
        TimerTick(hwnd);
        return 0;
      }
      break;
    case WM_MOUSEMOVE:
      if ((wParam & (MK_LBUTTON | MK_RBUTTON)) && GetCapture() == hwnd)
        OnMouseDrag(XOf(lParam), YOf(lParam), ModsOf(wParam));
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      ReleaseCapture();
      OnMouseUp(XOf(lParam), YOf(lParam), ModsOf(wParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      if (OnMouseDblClick(XOf(lParam), YOf(lParam), ModsOf(wParam))) SetCapture(hwnd);
      return 0;
    case WM_RBUTTONDOWN:
      if (mPopupWindow) {
        mPopupState = kPopupCancel;
        return 0;
      }
      [[fallthrough]];
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      OnMouseDown(XOf(lParam), YOf(lParam), ModsOf(wParam));
      return 0;
    case WM_MOUSEWHEEL: {
      RECT w{};
      GetWindowRect(hwnd, &w);
      const int x = XOf(lParam) - w.left, y = YOf(lParam) - w.top;
      const int delta = static_cast<short>(HIWORD(wParam)) / 120;
      OnMouseWheel(x, y, ModsOf(GET_KEYSTATE_WPARAM(wParam)), delta);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

std::intptr_t IGraphicsWin::PopupMessage(void* window, unsigned msg, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
  HWND hwnd = Hwnd(window);
  switch (msg) {
    case WM_SETFOCUS:
      mPopupState = kPopupFocused;
      break;
    case WM_KILLFOCUS:
      mPopupState = kPopupIdle;
      break;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        mPopupState = kPopupCommit;
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == CBN_SELCHANGE) {
        mPopupState = kPopupCommit;
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcA(reinterpret_cast<WNDPROC>(mPopupPrevProc), hwnd, msg, wParam, lParam);
}

bool IGraphicsWin::PromptForColor(IColor* color, const char* prompt) {
  if (!mWindow || !color) return false;
  if (!mCustomColors) mCustomColors = new std::uint32_t[16]();
  CHOOSECOLORA cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = Hwnd(mWindow);
  cc.rgbResult = RGB(color->R, color->G, color->B);
  cc.lpCustColors = reinterpret_cast<COLORREF*>(mCustomColors);
  cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_SOLIDCOLOR | CC_ANYCOLOR | CC_ENABLEHOOK;
  cc.lCustData = reinterpret_cast<LPARAM>(prompt);
  cc.lpfnHook = ColorHook;
  if (!ChooseColorA(&cc)) return false;
  color->R = GetRValue(cc.rgbResult);
  color->G = GetGValue(cc.rgbResult);
  color->B = GetBValue(cc.rgbResult);
  return true;
}

void IGraphicsWin::PromptForFile(std::string* out, int action, const char* directory,
                                 const char*) {
  if (!out) return;
  out->clear();
  if (!mWindow) return;
  std::string initial;
  if (directory && *directory)
    initial = directory;
  else
    GetHostDirectory(&initial);
  char file[256] = {};  // starts empty, up to 255 characters
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Hwnd(mWindow);
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
  bool ok;
  if (action == 1) {
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    ok = GetSaveFileNameA(&ofn) != 0;
  } else {
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    ok = GetOpenFileNameA(&ofn) != 0;
  }
  if (ok) *out = file;
}

bool IGraphicsWin::NeedsConnection(const char* url) { return duv_platform::NeedsConnection(url); }

bool IGraphicsWin::OpenURL(const char* url, const char* windowTitle, const char* confirm,
                           const char* error) {
  HWND owner = Hwnd(mWindow);
  if (confirm && MessageBoxA(owner, confirm, windowTitle, MB_YESNO) != IDYES) return false;
  // Only a web address needs the network: a local document (a path, a
  // file:// address) opens offline, so asking for a connection would refuse
  // the manual on a machine without one.
  DWORD flags = 0;
  if (url && (!NeedsConnection(url) || InternetGetConnectedState(&flags, 0))) {
    HINSTANCE result = ShellExecuteA(owner, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) > 32) return true;
  }
  if (error) MessageBoxA(owner, error, windowTitle, MB_OK);
  return false;
}

IGraphicsRaster* MakePlatformGraphics(IPluginBase* plug, int width, int height, int fps) {
  auto* graphics = new IGraphicsWin(plug, width, height, fps);
  // The module this code is linked into (the plug-in DLL) owns the window
  // class and tells the plug-in's folder.
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&MakePlatformGraphics), &module);
  graphics->SetModuleInstance(module);
  return graphics;
}
