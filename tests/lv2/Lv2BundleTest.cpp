// The bundle as a host sees it through lilv: identity, every port, the
// presets and the latency report. The expectations are written out here,
// not read from the code, so a table that drifts in the code shows up.
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "tests/lv2/Lv2Support.h"

namespace {

const LilvPlugin* Duv() { return World().Plugin(kDuvURI); }

const LilvNode* Node(const std::string& uri) { return World().Uri(uri); }

std::string UnitOf(const LilvPort* port) {
  LilvNodes* units = lilv_port_get_value(Duv(), port, Node(LV2_UNITS__unit));
  std::string unit = units && lilv_nodes_size(units) == 1
                         ? lilv_node_as_uri(lilv_nodes_get_first(units))
                         : "";
  lilv_nodes_free(units);
  return unit;
}

TEST(Lv2Bundle, IdentityByURI) {
  const LilvPlugin* p = Duv();
  ASSERT_NE(p, nullptr);
  LilvNode* name = lilv_plugin_get_name(p);
  EXPECT_STREQ(lilv_node_as_string(name), "DUV");
  lilv_node_free(name);
  LilvNode* author = lilv_plugin_get_author_name(p);
  ASSERT_NE(author, nullptr);
  EXPECT_STREQ(lilv_node_as_string(author), "Pelko");
  lilv_node_free(author);
  EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(p))),
               LV2_CORE__DelayPlugin);
  EXPECT_TRUE(lilv_plugin_verify(p));
  EXPECT_EQ(lilv_plugin_get_num_ports(p), 17u);
  LilvNodes* required = lilv_plugin_get_required_features(p);
  EXPECT_EQ(lilv_nodes_size(required), 0u);  // any host can load it
  lilv_nodes_free(required);
  const LilvNode* library = lilv_plugin_get_library_uri(p);
  EXPECT_NE(std::string(lilv_node_as_uri(library)).find("DUV.lv2/DUV_dsp.so"), std::string::npos);
  // The bundle built in this tree, even where a copy is installed (~/.lv2).
  char* bundle = lilv_file_uri_parse(lilv_node_as_uri(lilv_plugin_get_bundle_uri(p)), nullptr);
  EXPECT_EQ(std::string(bundle), std::string(DUV_LV2_BUNDLE) + "/");
  lilv_free(bundle);
}

// Lines of a command's output, one word of each: the word at position field.
std::set<std::string> CommandWords(const std::string& command, int field) {
  std::set<std::string> words;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return words;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char w[3][400] = {};
    if (std::sscanf(line, "%399s %399s %399s", w[0], w[1], w[2]) > field) words.insert(w[field]);
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return words;
}

TEST(Lv2Bundle, BinaryExportsOnlyTheDescriptorAndNeedsNoWindowSystem) {
  EXPECT_EQ(CommandWords(std::string("nm -D --defined-only ") + DUV_LV2_BINARY, 2),
            (std::set<std::string>{"lv2_descriptor"}));
  // The DSP binary carries no editor: hosts may load it where no display exists.
  const std::set<std::string> needed = CommandWords(
      std::string("readelf -d ") + DUV_LV2_BINARY + " | grep NEEDED | sed 's/.*\\[\\(.*\\)\\]/\\1/'", 0);
  EXPECT_FALSE(needed.empty());
  for (const std::string& lib : needed)
    for (const char* ui : {"libX11", "libXext", "libfreetype", "libfontconfig", "libpng", "libjpeg"})
      EXPECT_EQ(lib.find(ui), std::string::npos) << lib;
}

TEST(Lv2Bundle, EveryPortSymbolRangeDefaultUnitAndProperties) {
  enum Kind { kAudioIn, kAudioOut, kControlIn, kControlOut };
  struct Expected {
    const char* symbol;
    Kind kind;
    float min, max, def;  // NaN: none
    const char* unit;      // "" for none
    std::vector<const char*> properties;
  };
  const float none = NAN;
  const std::vector<Expected> expected = {
      {"in_l", kAudioIn, none, none, none, "", {}},
      {"in_r", kAudioIn, none, none, none, "", {}},
      {"out_l", kAudioOut, none, none, none, "", {}},
      {"out_r", kAudioOut, none, none, none, "", {}},
      {"wet", kControlIn, 0, 1, 0.75f, "", {}},
      {"cents_1", kControlIn, -50, 50, -10, LV2_UNITS__cent, {}},
      {"delay_1", kControlIn, 5, 100, 7.5f, LV2_UNITS__ms, {}},
      {"cents_2", kControlIn, -50, 50, 10, LV2_UNITS__cent, {}},
      {"delay_2", kControlIn, 5, 100, 15, LV2_UNITS__ms, {}},
      {"stereo_width", kControlIn, 50, 100, 100, LV2_UNITS__pc, {LV2_CORE__integer}},
      {"color", kControlIn, 0, 1, 0.25f, "", {}},
      {"bypass", kControlIn, 0, 1, 0, "", {LV2_CORE__toggled}},
      {"knob_action", kControlIn, 0, 1, 0, "", {LV2_CORE__integer, LV2_CORE__enumeration}},
      {"rocker_action", kControlIn, 0, 1, 0, "", {LV2_CORE__integer, LV2_CORE__enumeration}},
      {"detector_hpf", kControlIn, 50, 150, 100, LV2_UNITS__hz, {LV2_CORE__integer}},
      {"latency", kControlOut, 0, 4096, none, LV2_UNITS__frame,
       {LV2_CORE__reportsLatency, LV2_CORE__integer}},
      {"bypass_lamp", kControlOut, 0, 1, none, "", {LV2_CORE__toggled}},
  };
  const LilvPlugin* p = Duv();
  ASSERT_EQ(lilv_plugin_get_num_ports(p), expected.size());
  const std::vector<const char*> allProperties = {LV2_CORE__integer, LV2_CORE__toggled,
                                                  LV2_CORE__enumeration, LV2_CORE__reportsLatency};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const Expected& e = expected[i];
    SCOPED_TRACE(e.symbol);
    const LilvPort* port = lilv_plugin_get_port_by_index(p, static_cast<uint32_t>(i));
    EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(p, port)), e.symbol);
    const bool audio = e.kind == kAudioIn || e.kind == kAudioOut;
    const bool input = e.kind == kAudioIn || e.kind == kControlIn;
    EXPECT_EQ(lilv_port_is_a(p, port, Node(LV2_CORE__AudioPort)), audio);
    EXPECT_EQ(lilv_port_is_a(p, port, Node(LV2_CORE__ControlPort)), !audio);
    EXPECT_EQ(lilv_port_is_a(p, port, Node(LV2_CORE__InputPort)), input);
    EXPECT_EQ(lilv_port_is_a(p, port, Node(LV2_CORE__OutputPort)), !input);
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(p, port, &def, &min, &max);
    auto check = [](LilvNode* n, float want, const char* what) {
      if (std::isnan(want)) {
        EXPECT_EQ(n, nullptr) << what;
      } else {
        ASSERT_NE(n, nullptr) << what;
        EXPECT_EQ(lilv_node_as_float(n), want) << what;
      }
      lilv_node_free(n);
    };
    check(def, e.def, "default");
    check(min, e.min, "minimum");
    check(max, e.max, "maximum");
    EXPECT_EQ(UnitOf(port), e.unit);
    for (const char* prop : allProperties) {
      bool want = false;
      for (const char* q : e.properties) want = want || std::string(q) == prop;
      EXPECT_EQ(lilv_port_has_property(p, port, Node(prop)), want) << prop;
    }
  }
}

TEST(Lv2Bundle, EnumerationsCarryTheDisplayTexts) {
  const LilvPlugin* p = Duv();
  for (const auto& [symbol, texts] : std::map<std::string, std::vector<std::string>>{
           {"knob_action", {"drag", "rotate"}}, {"rocker_action", {"fade", "jump"}}}) {
    SCOPED_TRACE(symbol);
    LilvNode* sym = lilv_new_string(World().World(), symbol.c_str());
    const LilvPort* port = lilv_plugin_get_port_by_symbol(p, sym);
    lilv_node_free(sym);
    ASSERT_NE(port, nullptr);
    LilvScalePoints* points = lilv_port_get_scale_points(p, port);
    std::map<float, std::string> got;
    LILV_FOREACH (scale_points, i, points) {
      const LilvScalePoint* sp = lilv_scale_points_get(points, i);
      got[lilv_node_as_float(lilv_scale_point_get_value(sp))] =
          lilv_node_as_string(lilv_scale_point_get_label(sp));
    }
    lilv_scale_points_free(points);
    EXPECT_EQ(got, (std::map<float, std::string>{{0.0f, texts[0]}, {1.0f, texts[1]}}));
  }
}

TEST(Lv2Bundle, LatencyPortDesignatedAndAlways4096) {
  const LilvPlugin* p = Duv();
  EXPECT_TRUE(lilv_plugin_has_latency(p));
  EXPECT_EQ(lilv_plugin_get_latency_port_index(p), 15u);
  const LilvPort* byDesignation = lilv_plugin_get_port_by_designation(
      p, Node(LV2_CORE__OutputPort), Node(LV2_CORE__latency));
  ASSERT_NE(byDesignation, nullptr);
  EXPECT_EQ(lilv_port_get_index(p, byDesignation), 15u);

  // Written by every run, zero frames included; the host's value is overwritten.
  for (std::uint32_t frames : {0u, 1u, 3000u}) {
    auto inst = NewLv2(48000.0);
    ASSERT_TRUE(inst);
    inst->SetControl("latency", -1.0f);
    inst->Activate();
    std::vector<float> l(frames + 1), r(frames + 1), ol(frames + 1), or_(frames + 1);
    const float* in[] = {l.data(), r.data()};
    float* out[] = {ol.data(), or_.data()};
    inst->Run(in, out, frames);
    EXPECT_EQ(inst->Control("latency"), 4096.0f) << frames;
  }
}

TEST(Lv2Bundle, SevenFactoryPresetsWithTheirValues) {
  auto inst = NewLv2();
  ASSERT_TRUE(inst);
  const std::vector<Lv2PresetInfo> presets = inst->Presets();
  ASSERT_EQ(presets.size(), 7u);
  std::set<std::string> uris;
  std::multiset<std::string> labels;
  for (const auto& preset : presets) {
    uris.insert(preset.uri);
    labels.insert(preset.label);
  }
  EXPECT_EQ(uris.size(), 7u);  // "Wide Snare" twice, under two URIs
  EXPECT_EQ(labels, (std::multiset<std::string>{"Default", "Silky Vocal", "Heroic Guitar",
                                                "Rich Slapback", "Wide Snare", "Wide Snare",
                                                "Brindle"}));

  const std::vector<std::string> symbols = {"wet",          "cents_1", "delay_1", "cents_2",
                                            "delay_2",      "stereo_width", "color", "bypass",
                                            "knob_action", "rocker_action", "detector_hpf"};
  const std::map<std::string, std::vector<float>> values = {
      {"default", {0.75f, -10, 7.5f, 10, 15, 100, 0.25f, 0, 0, 0, 100}},
      {"silky-vocal", {0.3f, -17.5f, 21, 15, 14, 90, 0, 0, 0, 0, 100}},
      {"heroic-guitar", {0.25f, -16, 15, 10, 32.5f, 95, 0.25f, 0, 0, 0, 100}},
      {"rich-slapback", {0.4f, 8.5f, 65, 10.5f, 66, 50, 0.5f, 0, 0, 0, 100}},
      {"wide-snare", {0.35f, -50, 15, 50, 12, 100, 1, 0, 0, 0, 100}},
      {"wide-snare-2", {0.35f, -50, 15, 50, 12, 100, 1, 0, 0, 0, 100}},
      {"brindle", {0.5f, -17, 25, 15, 22, 100, 0, 0, 0, 0, 100}},
  };
  for (const auto& [stem, want] : values) {
    const std::string uri = std::string(kDuvURI) + "/presets/" + stem;
    SCOPED_TRACE(uri);
    ASSERT_EQ(uris.count(uri), 1u);
    for (const std::string& s : symbols) inst->SetControl(s, NAN);
    ASSERT_TRUE(inst->ApplyPreset(uri));
    for (std::size_t i = 0; i < symbols.size(); ++i)
      EXPECT_EQ(inst->Control(symbols[i]), want[i]) << symbols[i];
  }
}

}  // namespace
