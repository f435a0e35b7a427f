// The Windows layer's own rules, in-process under wine: the key table, the
// timer period, the window class's lifetime over open and close, reopening
// in place, the message routing into the graphics object, the module folders,
// and the SystemBitmap as GDI sees it.
#include <windows.h>
#undef DrawText
#undef LoadBitmap

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "graphics/IControl.h"
#include "graphics/platform/win/IGraphicsWin.h"
#include "raster/RasterBitmap.h"

namespace {

// Counts what the graphics object routes to it.
class CountingControl : public IControl {
 public:
  CountingControl() : IControl(nullptr, IRect{0, 0, 50, 50}, -1) {}
  bool Draw(IGraphics*) override { return true; }
  void OnMouseDown(int x, int y, const IMouseMods& mods) override {
    ++downs;
    lastX = x;
    lastY = y;
    lastMods = mods;
  }
  void OnMouseUp(int, int, const IMouseMods&) override { ++ups; }
  int downs = 0, ups = 0, lastX = -1, lastY = -1;
  IMouseMods lastMods;
};

HINSTANCE ThisModule() { return GetModuleHandleA(nullptr); }

// A plain top-level window standing in for the host's.
class HostWindow {
 public:
  HostWindow() {
    static bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = DefWindowProcA;
      wc.hInstance = ThisModule();
      wc.lpszClassName = "IGraphicsWinTestHost";
      return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    mHwnd = CreateWindowExA(0, "IGraphicsWinTestHost", "host", WS_OVERLAPPEDWINDOW, 10, 10, 800, 300,
                            nullptr, nullptr, ThisModule(), nullptr);
  }
  ~HostWindow() { DestroyWindow(mHwnd); }
  HWND get() const { return mHwnd; }

 private:
  HWND mHwnd;
};

std::unique_ptr<IGraphicsWin> MakeGraphics(int fps = 24) {
  auto g = std::make_unique<IGraphicsWin>(nullptr, 716, 227, fps);
  g->SetModuleInstance(ThisModule());
  g->PrepareDrawing();
  return g;
}

bool ClassRegistered() {
  WNDCLASSA wc{};
  return GetClassInfoA(ThisModule(), "IPluginWndClass", &wc) != 0;
}

TEST(IGraphicsWinKeys, TableOfVirtualKeys) {
  EXPECT_EQ(IGraphicsWin::KeyCodeOf(32), 0);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf(38), 1);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf(40), 2);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf(37), 3);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf(39), 4);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf('0'), 5);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf('9'), 14);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf('A'), 15);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf('Z'), 40);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf(97), 15);
  EXPECT_EQ(IGraphicsWin::KeyCodeOf(122), 40);
  for (int vk : {8, 13, 27, 47, 58, 64, 91, 96, 123, 255}) EXPECT_EQ(IGraphicsWin::KeyCodeOf(vk), -1) << vk;
}

TEST(IGraphicsWinTimer, PeriodIsTruncatedFrameTime) {
  EXPECT_EQ(MakeGraphics(24)->TimerPeriodMs(), 41);
  EXPECT_EQ(MakeGraphics(30)->TimerPeriodMs(), 33);
}

TEST(IGraphicsWinWindow, ClassLivesFromFirstOpenToLastClose) {
  HostWindow host;
  ASSERT_NE(host.get(), nullptr);
  auto a = MakeGraphics();
  auto b = MakeGraphics();
  EXPECT_FALSE(ClassRegistered());
  HWND wa = static_cast<HWND>(a->OpenWindow(host.get()));
  ASSERT_NE(wa, nullptr);
  EXPECT_TRUE(ClassRegistered());
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 1);
  char title[32] = {}, cls[32] = {};
  GetWindowTextA(wa, title, sizeof title);
  GetClassNameA(wa, cls, sizeof cls);
  EXPECT_STREQ(title, "IPlugin");
  EXPECT_STREQ(cls, "IPluginWndClass");
  EXPECT_EQ(GetParent(wa), host.get());
  EXPECT_TRUE(GetWindowLongPtrA(wa, GWL_STYLE) & WS_CHILD);
  RECT r{};
  GetClientRect(wa, &r);
  EXPECT_EQ(r.right, 716);
  EXPECT_EQ(r.bottom, 227);
  ASSERT_NE(b->OpenWindow(host.get()), nullptr);
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 2);
  a->CloseWindow();
  EXPECT_FALSE(a->WindowIsOpen());
  EXPECT_TRUE(ClassRegistered());  // b still has one
  b.reset();                       // destruction closes the remaining window
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 0);
  EXPECT_FALSE(ClassRegistered());
}

TEST(IGraphicsWinWindow, ReopeningKeepsPlaceAndSize) {
  HostWindow host, other;
  auto g = MakeGraphics();
  HWND first = static_cast<HWND>(g->OpenWindow(host.get()));
  ASSERT_NE(first, nullptr);
  SetWindowPos(first, nullptr, 7, 9, 300, 100, SWP_NOZORDER);
  HWND second = static_cast<HWND>(g->OpenWindow(host.get()));
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(IGraphicsWin::OpenWindowCount(), 1);
  RECT w{};
  GetWindowRect(second, &w);
  POINT origin{w.left, w.top};
  ScreenToClient(host.get(), &origin);
  EXPECT_EQ(origin.x, 7);  // the same place in the (framed) parent's client area
  EXPECT_EQ(origin.y, 9);
  EXPECT_EQ(w.right - w.left, 300);
  EXPECT_EQ(w.bottom - w.top, 100);
  g->CloseWindow();
}

TEST(IGraphicsWinMessages, ButtonsReachTheControlWithModifiers) {
  HostWindow host;
  auto g = MakeGraphics();
  auto* c = new CountingControl;
  g->AttachControl(c);
  HWND w = static_cast<HWND>(g->OpenWindow(host.get()));
  ASSERT_NE(w, nullptr);
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(12, 34));
  EXPECT_EQ(c->downs, 1);
  EXPECT_EQ(c->lastX, 12);
  EXPECT_EQ(c->lastY, 34);
  EXPECT_TRUE(c->lastMods.L);
  EXPECT_TRUE(c->lastMods.S);
  EXPECT_FALSE(c->lastMods.R);
  EXPECT_FALSE(c->lastMods.C);
  EXPECT_EQ(GetCapture(), w);
  SendMessageA(w, WM_LBUTTONUP, 0, MAKELPARAM(12, 34));
  EXPECT_EQ(c->ups, 1);
  EXPECT_NE(GetCapture(), w);
  // Only the left button's double-click is handled: a right one is no press.
  SendMessageA(w, WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(c->downs, 1);
  g->CloseWindow();
}

// Fills its rectangle with one colour.
class FillControl : public IControl {
 public:
  FillControl(const IRect& r, IColor c) : IControl(nullptr, r, -1), mColor(c) {}
  bool Draw(IGraphics* g) override {
    g->FillRect(&mColor, &mRect, nullptr);
    return true;
  }

 private:
  IColor mColor;
};

// Runs this thread's messages for about ms milliseconds.
void PumpFor(int ms) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms);
  while (GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

SIZE OuterSize(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return {r.right - r.left, r.bottom - r.top};
}

POINT OuterCorner(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return {r.left, r.top};
}

// Whether the window's client area shows the offscreen surface, pixel for pixel.
bool WindowShowsSurface(HWND w, duv::SystemBitmap* surface, int width, int height) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(w);
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC copy = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(copy, dib);
  BitBlt(copy, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  bool same = true;
  const auto* shown = static_cast<const std::uint32_t*>(bits);
  const std::uint32_t* drawn = surface->getBits();
  const int span = surface->getRowSpan();
  for (int y = 0; y < height && same; ++y)
    for (int x = 0; x < width && same; ++x)
      same = (shown[y * width + x] & 0xFFFFFF) == (drawn[y * span + x] & 0xFFFFFF);
  SelectObject(copy, old);
  DeleteDC(copy);
  DeleteObject(dib);
  ReleaseDC(w, screen);
  return same;
}

TEST(IGraphicsWinResize, GrowsTheWindowAndATopLevelHostInPlace) {
  HostWindow host;
  ShowWindow(host.get(), SW_SHOWNORMAL);
  auto g = MakeGraphics();
  HWND w = static_cast<HWND>(g->OpenWindow(host.get()));
  ASSERT_NE(w, nullptr);
  SetWindowPos(w, nullptr, 5, 6, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const SIZE hostBefore = OuterSize(host.get());
  const POINT hostCorner = OuterCorner(host.get()), corner = OuterCorner(w);
  g->Resize(716 + 40, 227 + 30);
  EXPECT_EQ(g->Width(), 756);
  EXPECT_EQ(g->Height(), 257);
  EXPECT_EQ(g->Surface()->getWidth(), 756);
  EXPECT_EQ(g->Surface()->getHeight(), 257);
  RECT client{};
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 756);
  EXPECT_EQ(client.bottom, 257);
  EXPECT_EQ(OuterCorner(w).x, corner.x);
  EXPECT_EQ(OuterCorner(w).y, corner.y);
  // The editor is a child: its parent, the host's frame, grows by as much.
  EXPECT_EQ(OuterSize(host.get()).cx, hostBefore.cx + 40);
  EXPECT_EQ(OuterSize(host.get()).cy, hostBefore.cy + 30);
  EXPECT_EQ(OuterCorner(host.get()).x, hostCorner.x);
  EXPECT_EQ(OuterCorner(host.get()).y, hostCorner.y);
  // The new area is painted from the resized surface.
  g->AttachControl(new FillControl({0, 0, 756, 257}, IColor{255, 30, 160, 90}));
  g->SetAllControlsDirty();
  PumpFor(200);
  EXPECT_EQ(g->Surface()->getBits()[256 * g->Surface()->getRowSpan() + 755] & 0xFFFFFF, 0x1EA05Au);
  EXPECT_TRUE(WindowShowsSurface(w, g->Surface(), 756, 257));
  // Shrinking takes the same amounts off.
  g->Resize(716, 227);
  EXPECT_EQ(OuterSize(host.get()).cx, hostBefore.cx);
  EXPECT_EQ(OuterSize(host.get()).cy, hostBefore.cy);
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 716);
  g->CloseWindow();
}

TEST(IGraphicsWinResize, ChildFramesGrowUpToTheGrandparentOnly) {
  HostWindow host;
  // host (top level) > outer frame > inner frame > editor.
  HWND outer = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 3, 4, 760, 260, host.get(), nullptr,
                               ThisModule(), nullptr);
  HWND inner = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 2, 2, 740, 240, outer, nullptr,
                               ThisModule(), nullptr);
  ASSERT_NE(inner, nullptr);
  auto g = MakeGraphics();
  HWND w = static_cast<HWND>(g->OpenWindow(inner));
  ASSERT_NE(w, nullptr);
  const SIZE hostBefore = OuterSize(host.get());
  g->Resize(716 + 12, 227 + 8);
  EXPECT_EQ(OuterSize(w).cx, 728);
  EXPECT_EQ(OuterSize(w).cy, 235);
  EXPECT_EQ(OuterSize(inner).cx, 752);
  EXPECT_EQ(OuterSize(inner).cy, 248);
  EXPECT_EQ(OuterSize(outer).cx, 772);
  EXPECT_EQ(OuterSize(outer).cy, 268);
  EXPECT_EQ(OuterSize(host.get()).cx, hostBefore.cx) << "three levels up is left alone";
  EXPECT_EQ(OuterSize(host.get()).cy, hostBefore.cy);
  g->CloseWindow();
  // Closed: only the size and the surface change.
  g->Resize(100, 50);
  EXPECT_EQ(g->Surface()->getWidth(), 100);
  EXPECT_EQ(OuterSize(inner).cx, 752);
}

TEST(IGraphicsWinFolders, HostAndPluginDirectoriesEndInABackslash) {
  auto g = MakeGraphics();
  std::string host, plugin;
  g->GetHostDirectory(&host);
  g->GetPluginDirectory(&plugin);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string exe(path);
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(host.back(), '\\');
  EXPECT_EQ(exe.rfind(host, 0), 0u);
  EXPECT_EQ(exe.find('\\', host.size()), std::string::npos);
  EXPECT_EQ(plugin, host);  // this test program is the module here
  g->SetModuleInstance(nullptr);
  g->GetPluginDirectory(&plugin);
  EXPECT_TRUE(plugin.empty());
}

TEST(SystemBitmapDib, GdiSeesThePixelWords) {
  duv::SystemBitmap s(716, 227);
  HDC dc = static_cast<HDC>(s.getDC());
  ASSERT_NE(dc, nullptr);
  ASSERT_NE(s.getBits(), nullptr);
  s.getBits()[5 * 716 + 7] = 0xFF123456u;  // red 0x12, green 0x34, blue 0x56
  GdiFlush();
  EXPECT_EQ(GetPixel(dc, 7, 5), RGB(0x12, 0x34, 0x56));
  // GDI drawing lands in the same words (rows top-down).
  SetPixel(dc, 3, 200, RGB(0xAB, 0xCD, 0xEF));
  GdiFlush();
  EXPECT_EQ(s.getBits()[200 * 716 + 3] & 0x00FFFFFFu, 0x00ABCDEFu);
  // Shrinking keeps the section selected; the row span stays.
  EXPECT_TRUE(s.resize(100, 100));
  EXPECT_EQ(GetPixel(dc, 7, 5), RGB(0x12, 0x34, 0x56));
}

}  // namespace
