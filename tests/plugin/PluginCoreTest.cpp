// The core on its own, against a fake editor: this binary links the core
// library only, so it also proves the core needs no editor framework.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/IPluginBase.h"
#include "plugin/IPluginEditor.h"
#include "plugin/SampleConversion.h"

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

// The block conversions between host and plug-in samples: the SSE2 versions
// give the references' bits at every length around the vector width, from
// unaligned starts, for NaN, infinities, subnormals and values that round
// to infinity or to zero in float.
TEST(SampleConversion, FastPathsEqualTheReferences) {
  const double doubles[] = {0.0, -0.0, 1.0, -1.5, 1e-310, -1e-40, 1e-46, 3.4028235677973366e38, 1e39,
                            -1e300, INFINITY, -INFINITY, NAN, 0.1, 1.0 / 3.0, 2.9999999999, -7e-39, 65504.25,
                            1e-30, -0.3, 123456.789, 0x1.fffffffp-127, 5e-324};
  constexpr int kCount = sizeof doubles / sizeof doubles[0];
  float floats[kCount];
  for (int i = 0; i < kCount; ++i) floats[i] = static_cast<float>(doubles[i] * (i % 3 == 0 ? 1.0 : 0.7));
  floats[5] = 1e-45f;  // a float subnormal
  auto same = [](const auto& a, const auto& b) { return std::memcmp(a.data(), b.data(), sizeof a[0] * a.size()) == 0; };
  for (int start = 0; start < 4; ++start) {
    for (int n = 0; start + n <= kCount; ++n) {
      std::vector<double> d1(n + 1, 9.0), d2(n + 1, 9.0);
      FloatToDoubleReference(floats + start, d1.data(), n);
      FloatToDouble(floats + start, d2.data(), n);
      ASSERT_TRUE(same(d1, d2)) << start << " " << n;
      std::vector<float> f1(n + 1, 9.0f), f2(n + 1, 9.0f);
      DoubleToFloatReference(doubles + start, f1.data(), n);
      DoubleToFloat(doubles + start, f2.data(), n);
      ASSERT_TRUE(same(f1, f2)) << start << " " << n;
      std::vector<float> a1(n + 1, 0.25f), a2(n + 1, 0.25f);
      AddDoubleToFloatReference(doubles + start, a1.data(), n);
      AddDoubleToFloat(doubles + start, a2.data(), n);
      ASSERT_TRUE(same(a1, a2)) << start << " " << n;
    }
  }
}
