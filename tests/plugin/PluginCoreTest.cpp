// The core on its own, against a fake editor: this binary links the core
// library only, so it also proves the core needs no editor framework.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/IPluginBase.h"
#include "plugin/IPluginEditor.h"

namespace {

// Logs every call the core makes, in order, as text.
class FakeEditor : public IPluginEditor {
 public:
  FakeEditor(std::vector<std::string>* log, bool* destroyed) : mLog(log), mDestroyed(destroyed) {}
  ~FakeEditor() override { *mDestroyed = true; }
  void SetParameterFromPlug(int paramIdx, double value, bool normalized) override {
    mLog->push_back("set " + std::to_string(paramIdx) + " " + std::to_string(value) +
                    (normalized ? " n" : " p"));
  }
  void PrepareDrawing() override { mLog->push_back("prepare"); }
  int Width() const override { return 300; }
  int Height() const override { return 200; }
  void* OpenWindow(void*) override { return nullptr; }
  void CloseWindow() override { mLog->push_back("close"); }
  bool WindowIsOpen() override { return false; }

 private:
  std::vector<std::string>* mLog;
  bool* mDestroyed;
};

// The smallest concrete plug-in: the host-facing operations do nothing.
class CorePlug : public IPluginBase {
 public:
  CorePlug()
      : IPluginBase(2, "2-2", 2, "core", "product", "maker", 0x00010000, 1, 2, 0, false, false,
                    false) {
    ParamAt(0)->SetupDouble("a", 25.0, 0.0, 100.0, 0.1);
    ParamAt(1)->SetupInt("b", 3, 1, 5);
    AddPreset("first", {50.0, 5});
  }
  void BeginParamEdit(int) override {}
  void AutomateParam(int idx, double v) override { automated.push_back({idx, v}); }
  void EndParamEdit(int) override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 0.0; }
  void GetTimeSignature(int*, int*) override {}
  void EditorResized(int, int) override {}
  void HostSpecificSetup() override {}
  bool SendMidiMessage(IMidiMessage*) override { return false; }
  bool SendMidiMessages(const std::vector<IMidiMessage>&) override { return false; }

  struct Automation {
    int idx;
    double value;
  };
  std::vector<Automation> automated;
};

TEST(CoreEditorLink, AttachPushPresetAndOwnership) {
  std::vector<std::string> log;
  bool destroyed = false;
  {
    CorePlug plug;
    plug.AttachEditor(nullptr);
    EXPECT_EQ(plug.GetGUI(), nullptr);

    auto* editor = new FakeEditor(&log, &destroyed);
    plug.AttachEditor(editor);
    EXPECT_EQ(plug.GetGUI(), editor);
    // Normalised values first, then the one preparation.
    EXPECT_EQ(log, (std::vector<std::string>{"set 0 0.250000 n", "set 1 0.500000 n", "prepare"}));

    log.clear();
    ASSERT_TRUE(plug.LoadPreset(0));  // a preset reaches the editor as plain values
    EXPECT_EQ(log, (std::vector<std::string>{"set 0 50.000000 p", "set 1 5.000000 p"}));

    log.clear();
    plug.SetParameterFromGUI(1, 0.0);  // the editor's own change is not echoed back
    EXPECT_TRUE(log.empty());
    ASSERT_EQ(plug.automated.size(), 1u);
    EXPECT_EQ(plug.automated[0].idx, 1);
    EXPECT_EQ(plug.ParamAt(1)->Value(), 1.0);
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed);  // the plug-in owns the editor
}

TEST(CoreEditorLink, NoStatusLampUnlessTheEffectHasOne) {
  CorePlug plug;
  EXPECT_EQ(plug.StatusLampName(), nullptr);
  EXPECT_FALSE(plug.StatusLampLit());
}

}  // namespace
