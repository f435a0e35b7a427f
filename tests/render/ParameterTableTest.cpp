// Parameters as the renderer learns them through the host interface, and the
// conversion of "name=value" in display units.
#include "host/ParameterTable.h"

#include <gtest/gtest.h>

#include "tests/render/RenderSupport.h"

namespace {

struct Fixture {
  std::unique_ptr<VstPlugin> plugin = NewPlugin();
  ParameterTable table;
  Fixture() {
    StartPlugin(*plugin, 44100, 512, 2);
    table = ParameterTable::Read(*plugin);
  }
  // Applies the assignment and answers the display text the plug-in then shows.
  std::string Apply(const std::string& text) {
    int index = -1;
    float n = -1.0f;
    std::string error;
    EXPECT_TRUE(table.ParseAssignment(text, &index, &n, &error)) << text << ": " << error;
    if (index < 0) return "<rejected>";
    plugin->SetParameter(index, n);
    return plugin->ParamDisplay(index);
  }
};

}  // namespace

TEST(ParameterTable, ReadsNamesRangesAndChoicesThroughTheHost) {
  Fixture f;
  const auto& p = f.table.params();
  ASSERT_EQ(p.size(), 11u);
  struct Numeric {
    int index;
    const char* name;
    double min, max;
    const char* label;
  };
  for (const Numeric& n : {Numeric{0, "wet", 0, 1, ""}, Numeric{1, "cents 1", -50, 50, "cents"},
                           Numeric{2, "delay 1", 5, 100, "ms"}, Numeric{5, "stereo width", 50, 100, "%"},
                           Numeric{10, "detector HPF", 50, 150, "Hz"}}) {
    SCOPED_TRACE(n.name);
    const ParameterInfo& q = p[static_cast<std::size_t>(n.index)];
    EXPECT_EQ(q.name, n.name);
    EXPECT_TRUE(q.numeric);
    EXPECT_EQ(q.min, n.min);
    EXPECT_EQ(q.max, n.max);
    EXPECT_EQ(q.label, n.label);
  }
  const ParameterInfo& bypass = p[7];
  EXPECT_FALSE(bypass.numeric);
  ASSERT_EQ(bypass.texts.size(), 2u);
  EXPECT_EQ(bypass.texts[0].first, "off");
  EXPECT_EQ(bypass.texts[1].first, "on");
  EXPECT_EQ(p[8].RangeText(), "drag | rotate");
  EXPECT_EQ(p[9].RangeText(), "fade | jump");
  EXPECT_EQ(p[1].RangeText(), "-50 .. 50 cents");
  EXPECT_EQ(p[0].RangeText(), "0 .. 1");
}

TEST(ParameterTable, SettingAndReadingBackGivesTheSameTableAndRestoresValues) {
  Fixture f;
  f.plugin->SetParameter(kDelay1, 0.3f);
  std::vector<float> before;
  for (int i = 0; i < 11; ++i) before.push_back(f.plugin->GetParameter(i));
  ParameterTable byQuery = ParameterTable::Read(*f.plugin, true);
  ParameterTable bySetting = ParameterTable::Read(*f.plugin, false);
  ASSERT_EQ(byQuery.params().size(), bySetting.params().size());
  for (std::size_t i = 0; i < byQuery.params().size(); ++i) {
    const ParameterInfo &a = byQuery.params()[i], &b = bySetting.params()[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.numeric, b.numeric) << a.name;
    EXPECT_EQ(a.min, b.min) << a.name;
    EXPECT_EQ(a.max, b.max) << a.name;
    EXPECT_EQ(f.plugin->GetParameter(static_cast<int>(i)), before[i]) << a.name;
    // The display query truncates to a choice while setting rounds to one, so
    // the two ways find a choice at different values; each value selects it.
    ASSERT_EQ(a.texts.size(), b.texts.size()) << a.name;
    for (std::size_t k = 0; k < a.texts.size(); ++k) {
      EXPECT_EQ(a.texts[k].first, b.texts[k].first);
      for (float n : {a.texts[k].second, b.texts[k].second}) {
        f.plugin->SetParameter(static_cast<int>(i), n);
        EXPECT_EQ(f.plugin->ParamDisplay(static_cast<int>(i)), a.texts[k].first) << n;
      }
    }
  }
}

TEST(ParameterTable, AssignmentsInDisplayUnitsReachThePlugIn) {
  Fixture f;
  EXPECT_EQ(f.Apply("cents 1=-12.5"), "-12.5");
  EXPECT_EQ(f.Apply("wet=0.4"), "0.400");
  EXPECT_EQ(f.Apply("delay 1=20"), "20.0");
  EXPECT_EQ(f.Apply("delay 1=33.3ms"), "33.3");
  EXPECT_EQ(f.Apply(" Delay 2 = 64 ms "), "64.0");
  EXPECT_EQ(f.Apply("stereo width=90"), "90");
  EXPECT_EQ(f.Apply("stereo width=73 %"), "73");
  EXPECT_EQ(f.Apply("detector HPF=150Hz"), "150");
  EXPECT_EQ(f.Apply("detector HPF=50"), "50");
  EXPECT_EQ(f.Apply("cents 2=50"), "50.0");
  EXPECT_EQ(f.Apply("cents 2=-50"), "-50.0");
  EXPECT_EQ(f.Apply("color=1"), "1.000");
  EXPECT_EQ(f.Apply("color=0"), "0");
  EXPECT_EQ(f.Apply("knob action=rotate"), "rotate");
  EXPECT_EQ(f.Apply("knob action=drag"), "drag");
  EXPECT_EQ(f.Apply("rocker action=JUMP"), "jump");
  EXPECT_EQ(f.Apply("bypass=on"), "on");
  EXPECT_EQ(f.Apply("bypass=off"), "off");
  EXPECT_EQ(f.Apply("3=64"), "64.0");  // delay 1 by number, counted from 1 as --list shows them
  // A larger unit of the label's kind, in any letter case.
  EXPECT_EQ(f.Apply("detector HPF=0.1 kHz"), "100");
  EXPECT_EQ(f.Apply("detector HPF=0.12KHZ"), "120");
  EXPECT_EQ(f.Apply("detector HPF=60 hz"), "60");
  EXPECT_EQ(f.Apply("delay 1=0.02 s"), "20.0");
  EXPECT_EQ(f.Apply("delay 2=0.0333S"), "33.3");
  EXPECT_EQ(f.Apply("delay 2=40 MS"), "40.0");
}

TEST(ParameterTable, BadAssignmentsGiveOneLineNamingTheProblem) {
  Fixture f;
  struct Case {
    const char* text;
    const char* mention;
  };
  for (const Case& c : {Case{"nope=1", "unknown parameter 'nope'"}, Case{"wet", "NAME=VALUE"},
                        Case{"wet=1.5", "out of range"}, Case{"wet=-0.01", "out of range"},
                        Case{"cents 1=-50.5", "out of range"}, Case{"delay 1=4.9", "out of range"},
                        Case{"stereo width=101", "out of range"}, Case{"wet=abc", "takes a number"},
                        Case{"wet=", "takes a number"}, Case{"wet=nan", "takes a number"},
                        Case{"wet=inf", "takes a number"}, Case{"delay 1=20 s", "out of range"},
                        Case{"delay 1=20 kHz", "not '20 kHz'"}, Case{"cents 1=3 s", "not '3 s'"},
                        Case{"detector HPF=0.2 kHz", "detector HPF=0.2 kHz is out of range"},
                        Case{"detector HPF=0.1 k", "not '0.1 k'"},
                        Case{"detector HPF=0.1 kHz x", "not '0.1 kHz x'"},
                        Case{"knob action=spin", "drag | rotate"}, Case{"bypass=1", "off | on"},
                        Case{"12=0", "unknown parameter"}, Case{"0=0", "unknown parameter"},
                        Case{"=3", "unknown parameter"}}) {
    SCOPED_TRACE(c.text);
    int index = 77;
    float n = 7.0f;
    std::string error;
    EXPECT_FALSE(f.table.ParseAssignment(c.text, &index, &n, &error));
    EXPECT_NE(error.find(c.mention), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(index, 77);
    EXPECT_EQ(n, 7.0f);
  }
}

TEST(ParameterTable, NumbersAreWholeFiniteTexts) {
  double v = 0.0;
  EXPECT_TRUE(ParseNumber("-12.5", &v));
  EXPECT_EQ(v, -12.5);
  EXPECT_TRUE(ParseNumber(" 3 ", &v));
  EXPECT_EQ(v, 3.0);
  EXPECT_TRUE(ParseNumber("1e-3", &v));
  EXPECT_EQ(v, 0.001);
  for (const char* bad : {"", " ", "1x", "x1", "nan", "-inf", "1e999", "0x"}) {
    v = 42.0;
    EXPECT_FALSE(ParseNumber(bad, &v)) << bad;
    EXPECT_EQ(v, 42.0) << bad;
  }
}

// The plain value beside the normalised one (what an LV2 port takes): as
// typed, in the label's unit; for a text, its place on the entry's range.
TEST(ParameterTable, AnswersThePlainValueAsTyped) {
  ParameterInfo hpf;
  hpf.name = "detector HPF";
  hpf.label = "Hz";
  hpf.numeric = true;
  hpf.min = 50;
  hpf.max = 150;
  ParameterInfo action;
  action.index = 1;
  action.name = "knob action";
  action.min = 0;
  action.max = 2;
  action.texts = {{"drag", 0.0f}, {"rotate", 0.5f}};
  const ParameterTable table({hpf, action});
  const struct {
    const char* text;
    int index;
    double plain;
  } cases[] = {{"detector HPF=0.0731 kHz", 0, 73.1}, {"1=150", 0, 150},
               {"knob action=rotate", 1, 1}, {"2=drag", 1, 0}};
  for (const auto& c : cases) {
    int index = -1;
    float n = -1.0f;
    double plain = -1.0;
    std::string error;
    EXPECT_TRUE(table.ParseAssignment(c.text, &index, &n, &error, &plain)) << c.text << error;
    EXPECT_EQ(index, c.index) << c.text;
    EXPECT_DOUBLE_EQ(plain, c.plain) << c.text;
  }
  double plain = -1.0;
  int index = -1;
  float n = -1.0f;
  std::string error;
  EXPECT_FALSE(table.ParseAssignment("detector HPF=151", &index, &n, &error, &plain));
  EXPECT_EQ(plain, -1.0);
}
