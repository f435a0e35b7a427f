// Shared pieces of the in-process Windows layer tests under wine: a visible
// host window, a small plug-in with a number, a listed and an offset-listed
// parameter, a control that fills itself by its value, real input through
// SendInput, a bounded message pump, and a watcher thread that finds the
// modal dialogs this thread opens and answers them.
#pragma once

#include <windows.h>
#undef DrawText
#undef LoadBitmap

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/IGraphics.h"
#include "graphics/platform/win/IGraphicsWin.h"
#include "plugin/IParam.h"
#include "plugin/vst2/IPluginVST.h"

namespace wintest {

inline HINSTANCE ThisModule() { return GetModuleHandleA(nullptr); }

// Runs this thread's messages until pred holds or timeoutMs has passed;
// answers pred's last value.
inline bool PumpUntil(const std::function<bool()>& pred, int timeoutMs = 3000) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  while (GetTickCount64() < end) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (pred()) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return pred();
}

// Messages for ms milliseconds (a few timer ticks at 41 ms each).
inline void Pump(int ms) { PumpUntil([] { return false; }, ms); }

// A plain framed top-level window standing in for the host's; shown and in
// front, so that real input reaches the editor inside it.
class HostWindow {
 public:
  explicit HostWindow(int width = 800, int height = 300, bool visible = false) {
    static bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = DefWindowProcA;
      wc.hInstance = ThisModule();
      wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
      wc.lpszClassName = "IGraphicsWinTestHost";
      return RegisterClassA(&wc) != 0;
    }();
    (void)registered;
    mHwnd = CreateWindowExA(0, "IGraphicsWinTestHost", "host", WS_OVERLAPPEDWINDOW, 10, 10, width, height,
                            nullptr, nullptr, ThisModule(), nullptr);
    if (visible && mHwnd) {
      ShowWindow(mHwnd, SW_SHOWNORMAL);
      SetForegroundWindow(mHwnd);
      UpdateWindow(mHwnd);
    }
  }
  ~HostWindow() { DestroyWindow(mHwnd); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND get() const { return mHwnd; }

 private:
  HWND mHwnd;
};

// What the plug-in told its host.
struct AutomationCall {
  VstInt32 opcode;
  int index;
  float value;
};
inline std::vector<AutomationCall>& AutomationCalls() {
  static std::vector<AutomationCall> calls;
  return calls;
}
inline VstIntPtr RecordingHost(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
  if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit)
    AutomationCalls().push_back({opcode, index, opt});
  return 0;
}
inline std::vector<AutomationCall> Automated() {
  std::vector<AutomationCall> out;
  for (const AutomationCall& c : AutomationCalls())
    if (c.opcode == audioMasterAutomate) out.push_back(c);
  return out;
}

// Parameter 0 "level": double 0..10 step 0.1, 2.5. Parameter 1 "mode": enum
// of "alpha", "beta", "gamma". Parameter 2 "slot": int -1..3 whose texts sit
// at -1 ("off") and 3 ("last") only.
class WinTestPlug : public IPluginVST {
 public:
  WinTestPlug()
      : IPluginVST(&RecordingHost, 3, "2-2", 0, "wintest", "product", "maker", 0x00010000,
                   PackFourChars("Wint"), PackFourChars("Mkr_"), 0, false, false, false) {
    ParamAt(0)->SetupDouble("level", 2.5, 0.0, 10.0, 0.1);
    ParamAt(1)->SetupEnum("mode", 0, 3);
    ParamAt(1)->AddDisplayText(0, "alpha");
    ParamAt(1)->AddDisplayText(1, "beta");
    ParamAt(1)->AddDisplayText(2, "gamma");
    ParamAt(2)->SetupInt("slot", 1, -1, 3);
    ParamAt(2)->AddDisplayText(-1, "off");
    ParamAt(2)->AddDisplayText(3, "last");
  }
};

// Fills its rectangle with a colour that follows its value; the base class
// opens the entry popup on a right press.
class ValueControl : public IControl {
 public:
  ValueControl(IPluginBase* plug, const IRect& r, int paramIdx) : IControl(plug, r, paramIdx) {}
  bool Draw(IGraphics* g) override {
    const int v = static_cast<int>(GetValue() * 255.0);
    IColor c{255, v, 255 - v, 64};
    g->FillRect(&c, &mRect, nullptr);
    return true;
  }
};

// Real input, as the window system delivers it from the devices.
inline void MoveTo(POINT screen) {
  SetCursorPos(screen.x, screen.y);
}
inline void Button(bool right, bool down) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = right ? (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP)
                        : (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
  SendInput(1, &in, sizeof in);
}
inline void ClickAt(POINT screen, bool right = false) {
  MoveTo(screen);
  Pump(30);
  Button(right, true);
  Pump(30);
  Button(right, false);
  Pump(30);
}
inline POINT ScreenPoint(HWND w, int x, int y) {
  POINT p{x, y};
  ClientToScreen(w, &p);
  return p;
}
inline void Key(WORD vk) {
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof in[0]);
  Pump(30);
}

inline std::string WindowText(HWND w) {
  char text[512] = {};
  GetWindowTextA(w, text, sizeof text);
  return text;
}
inline std::string ClassOf(HWND w) {
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  return cls;
}

// A thread that waits for a visible dialog box ("#32770") of the given
// thread, records its caption and texts, and answers it with action. Bounded:
// when no dialog shows within timeoutMs it gives up, and Join answers false.
class DialogWatcher {
 public:
  struct Seen {
    std::string caption;
    std::vector<std::string> texts;    // static texts, in child order
    std::vector<int> buttonIds;        // ids of the push buttons
    HWND dialog = nullptr;
  };
  // action runs on the watcher's thread with the dialog found.
  DialogWatcher(DWORD threadId, std::function<void(HWND)> action, int timeoutMs = 10000)
      : mThreadId(threadId), mAction(std::move(action)), mTimeoutMs(timeoutMs) {
    mThread = CreateThread(nullptr, 0, &DialogWatcher::Run, this, 0, nullptr);
  }
  ~DialogWatcher() { Stop(); }
  // Ends the watch (at once when nothing was found yet); answers whether a
  // dialog was found.
  bool Stop() {
    mStop = true;
    if (mThread) {
      while (WaitForSingleObject(mThread, 5) == WAIT_TIMEOUT) Pump(5);
      CloseHandle(mThread);
      mThread = nullptr;
    }
    return mFound.load();
  }
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;
  // Waits (pumping this thread's messages) until the watcher has acted or given up.
  bool Join(int timeoutMs = 15000) {
    PumpUntil([this] { return mDone.load(); }, timeoutMs);
    return mFound.load();
  }
  const Seen& Found() const { return mSeen; }
  // Whether the dialog outlived the action and had to be cancelled.
  bool Forced() const { return mForced.load(); }

 private:
  static BOOL CALLBACK Collect(HWND child, LPARAM self) {
    auto* seen = reinterpret_cast<Seen*>(self);
    const std::string cls = ClassOf(child);
    if (cls == "Static") {
      const std::string t = WindowText(child);
      if (!t.empty()) seen->texts.push_back(t);
    } else if (cls == "Button" && (GetWindowLongA(child, GWL_STYLE) & 0x0F) <= BS_DEFPUSHBUTTON &&
               IsWindowVisible(child)) {
      seen->buttonIds.push_back(GetDlgCtrlID(child));
    }
    return TRUE;
  }
  static BOOL CALLBACK Find(HWND w, LPARAM result) {
    if (ClassOf(w) == "#32770" && IsWindowVisible(w)) {
      *reinterpret_cast<HWND*>(result) = w;
      return FALSE;
    }
    return TRUE;
  }
  static DWORD WINAPI Run(LPVOID p) {
    auto* self = static_cast<DialogWatcher*>(p);
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(self->mTimeoutMs);
    HWND dialog = nullptr;
    while (!self->mStop && GetTickCount64() < end) {
      EnumThreadWindows(self->mThreadId, Find, reinterpret_cast<LPARAM>(&dialog));
      if (dialog) break;
      Sleep(10);
    }
    if (dialog) {
      Sleep(100);  // let it finish initialising (the colour dialog's hook sets its title then)
      self->mSeen.dialog = dialog;
      self->mSeen.caption = WindowText(dialog);
      EnumChildWindows(dialog, Collect, reinterpret_cast<LPARAM>(&self->mSeen));
      self->mFound = true;
      self->mAction(dialog);
      // Should the action not end it, cancel it, so that no test hangs in
      // its modal loop.
      const ULONGLONG giveUp = GetTickCount64() + 5000;
      while (IsWindow(dialog) && GetTickCount64() < giveUp) Sleep(10);
      if (IsWindow(dialog)) {
        self->mForced = true;
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
      }
    }
    self->mDone = true;
    return 0;
  }

  DWORD mThreadId;
  std::function<void(HWND)> mAction;
  int mTimeoutMs;
  HANDLE mThread = nullptr;
  std::atomic<bool> mStop{false}, mDone{false}, mFound{false}, mForced{false};
  Seen mSeen;
};

// Presses a dialog's button as a click would (the button tells its dialog).
inline void PressButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace wintest
