// Shared pieces of the X11 editor tests: the server check, a small plug-in
// with a number and a listed parameter, a control that records what reaches
// it, and a polling wait (the editor works on its own thread).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "graphics/IControl.h"
#include "graphics/IGraphics.h"
#include "host/X11TestWindow.h"
#include "plugin/IParam.h"
#include "plugin/vst2/IPluginVST.h"
#include "tests/Polling.h"

#define REQUIRE_X_SERVER()                                                     \
  do {                                                                         \
    if (!X11TestServer::Instance().Available())                                \
      GTEST_SKIP() << "no X server: " << X11TestServer::Instance().Reason();   \
  } while (0)


// Records the automation calls of the plug-in (begin, automate, end).
struct AutomationLog {
  struct Call {
    VstInt32 opcode;
    int index;
    float value;
  };
  std::mutex mutex;
  std::vector<Call> calls;
  static AutomationLog& Current() {
    static AutomationLog log;
    return log;
  }
  static VstIntPtr Callback(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterAutomate || opcode == audioMasterBeginEdit || opcode == audioMasterEndEdit) {
      std::lock_guard<std::mutex> g(Current().mutex);
      Current().calls.push_back({opcode, index, opt});
    }
    return 0;
  }
  std::vector<Call> Take() {
    std::lock_guard<std::mutex> g(mutex);
    std::vector<Call> out;
    out.swap(calls);
    return out;
  }
};

// Parameter 0: "level", double 0..10 step 0.1. Parameter 1: "mode", enum of
// three listed texts.
class X11TestPlug : public IPluginVST {
 public:
  X11TestPlug()
      : IPluginVST(&AutomationLog::Callback, 2, "2-2", 0, "x11test", "product", "maker", 0x00010000,
                   PackFourChars("X11t"), PackFourChars("Mkr_"), 0, false, false, false) {
    ParamAt(0)->SetupDouble("level", 2.5, 0.0, 10.0, 0.1);
    ParamAt(1)->SetupEnum("mode", 0, 3);
    ParamAt(1)->AddDisplayText(0, "alpha");
    ParamAt(1)->AddDisplayText(1, "beta");
    ParamAt(1)->AddDisplayText(2, "gamma");
  }
};

// Fills its rectangle with a colour that follows the value, records events.
class RecordingControl : public IControl {
 public:
  struct Event {
    std::string kind;
    int x, y;
    IMouseMods mods;
    int extra;  // wheel delta, key code, drag dX
  };
  RecordingControl(IPluginBase* plug, const IRect& r, int paramIdx) : IControl(plug, r, paramIdx) {}
  bool Draw(IGraphics* g) override {
    int v = static_cast<int>(GetValue() * 255.0);
    IColor c{255, v, 255 - v, 64};
    g->FillRect(&c, &mRect, nullptr);
    return true;
  }
  void OnMouseDown(int x, int y, const IMouseMods& m) override {
    Add({"down", x, y, m, 0});
    IControl::OnMouseDown(x, y, m);
  }
  void OnMouseUp(int x, int y, const IMouseMods& m) override { Add({"up", x, y, m, 0}); }
  void OnMouseDrag(int x, int y, int dX, int dY, const IMouseMods& m) override {
    Add({"drag", x, y, m, dX});
    KnobDrag(dX, dY, true, 1.0);
  }
  void OnMouseDblClick(int x, int y, const IMouseMods& m) override { Add({"dbl", x, y, m, 0}); }
  void OnMouseWheel(int x, int y, const IMouseMods& m, int d) override {
    Add({"wheel", x, y, m, d});
    IControl::OnMouseWheel(x, y, m, d);
  }
  void OnKeyDown(int x, int y, int key) override { Add({"key", x, y, {}, key}); }
  std::vector<Event> Events() {
    std::lock_guard<std::mutex> g(mMutex);
    return mEvents;
  }
  void Clear() {
    std::lock_guard<std::mutex> g(mMutex);
    mEvents.clear();
  }

 private:
  void Add(const Event& e) {
    std::lock_guard<std::mutex> g(mMutex);
    mEvents.push_back(e);
  }
  std::mutex mMutex;
  std::vector<Event> mEvents;
};
