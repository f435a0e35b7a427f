#include "plugin/lv2/Lv2Turtle.h"

#include <charconv>
#include <cstring>
#include <map>
#include <vector>

namespace {

constexpr const char* kPrefixes =
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n\n";

// The LV2 unit of a parameter label; null for labels without one.
const char* UnitOf(const char* label) {
  static const struct {
    const char* label;
    const char* unit;
  } kUnits[] = {{"ms", "units:ms"}, {"cents", "units:cent"}, {"Hz", "units:hz"}, {"%", "units:pc"}};
  for (const auto& u : kUnits)
    if (!std::strcmp(label, u.label)) return u.unit;
  return nullptr;
}

std::vector<std::string> PresetURIs(const IPluginLV2& plug, const char* uri) {
  std::vector<std::string> uris(static_cast<std::size_t>(plug.NPresets()));
  std::map<std::string, int> seen;
  for (int i = 0; i < plug.NPresets(); ++i) {
    const IPresetSlot* slot = plug.PresetAt(i);
    if (!slot->initialised) continue;
    std::string stem = IPluginLV2::SymbolFromName(slot->name.c_str());
    for (char& c : stem)
      if (c == '_') c = '-';
    const int n = ++seen[stem];
    std::string& name = uris[static_cast<std::size_t>(i)];
    name = std::string(uri) + "/presets/" + stem;
    if (n > 1) {
      name += '-';
      name += std::to_string(n);
    }
  }
  return uris;
}

// One port's properties, each a "predicate object" text.
using Properties = std::vector<std::string>;

void AddControlProperties(Properties* out, const IParam& p) {
  Properties& props = *out;
  props.push_back("lv2:name " + TurtleString(p.Name()));
  props.push_back("lv2:default " + TurtleNumber(p.Value()));
  props.push_back("lv2:minimum " + TurtleNumber(p.Min()));
  props.push_back("lv2:maximum " + TurtleNumber(p.Max()));
  if (const char* unit = UnitOf(p.Label())) props.push_back(std::string("units:unit ") + unit);
  switch (p.Type()) {
    case IParam::kTypeBool: props.push_back("lv2:portProperty lv2:toggled"); break;
    case IParam::kTypeInt: props.push_back("lv2:portProperty lv2:integer"); break;
    case IParam::kTypeEnum: {
      props.push_back("lv2:portProperty lv2:integer , lv2:enumeration");
      std::string points = "lv2:scalePoint ";
      bool first = true;
      for (int v = static_cast<int>(p.Min()); v <= static_cast<int>(p.Max()); ++v) {
        const char* text = p.DisplayTextFor(v);
        if (!*text) continue;
        points += first ? "[\n" : " , [\n";
        first = false;
        points += "\t\t\trdfs:label " + TurtleString(text) + " ;\n";
        points += "\t\t\trdf:value " + std::to_string(v) + "\n\t\t]";
      }
      props.push_back(points);
      break;
    }
    default: break;
  }
}

std::string JoinProperties(const Properties& props) {
  std::string s;
  for (std::size_t i = 0; i < props.size(); ++i)
    s += "\t\t" + props[i] + (i + 1 < props.size() ? " ;\n" : "\n");
  return s;
}

}  // namespace

std::string TurtleNumber(double v) {
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, result.ptr);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string TurtleString(const char* text) {
  std::string s = "\"";
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '"' || *p == '\\') s += '\\';
    s += *p;
  }
  return s + "\"";
}

Lv2BundleText MakeLv2BundleText(const IPluginLV2& plug, const char* uri, const char* binaryFile,
                                const char* descriptionFile, const char* uiURI,
                                const char* uiBinaryFile) {
  Lv2BundleText t;
  const bool hasUI = uiURI && uiBinaryFile;
  const std::string ui = hasUI ? std::string("<") + uiURI + ">" : std::string();
  const std::string plugin = std::string("<") + uri + ">";
  const std::vector<std::string> presetURIs = PresetURIs(plug, uri);

  t.manifest = kPrefixes;
  t.manifest += plugin + "\n\ta lv2:Plugin ;\n\tlv2:binary <" + binaryFile + "> ;\n" +
                "\trdfs:seeAlso <" + descriptionFile + "> .\n";
  if (hasUI)
    t.manifest += "\n" + ui + "\n\ta ui:X11UI ;\n\tui:binary <" + uiBinaryFile + "> ;\n" +
                  "\trdfs:seeAlso <" + descriptionFile + "> .\n";
  for (int i = 0; i < plug.NPresets(); ++i) {
    const std::string& presetURI = presetURIs[static_cast<std::size_t>(i)];
    if (presetURI.empty()) continue;
    t.manifest += "\n<" + presetURI + ">\n\ta pset:Preset ;\n\tlv2:appliesTo " + plugin +
                  " ;\n\trdfs:label " + TurtleString(plug.PresetName(i)) +
                  " ;\n\trdfs:seeAlso <presets.ttl> .\n";
  }

  std::string& d = t.description;
  d = kPrefixes;
  const int version = plug.EffectVersion(false);
  d += plugin + "\n\ta lv2:Plugin , lv2:DelayPlugin , doap:Project ;\n";
  d += "\tdoap:name " + TurtleString(plug.EffectName()) + " ;\n";
  d += "\tdoap:maintainer [\n\t\tfoaf:name " + TurtleString(plug.MakerName()) + "\n\t] ;\n";
  d += "\tfoaf:maker [\n\t\tfoaf:name " + TurtleString(plug.MakerName()) + "\n\t] ;\n";
  d += "\tlv2:minorVersion " + std::to_string((version >> 8) & 0xFF) + " ;\n";
  d += "\tlv2:microVersion " + std::to_string(version & 0xFF) + " ;\n";
  d += "\tlv2:optionalFeature lv2:hardRTCapable , opts:options , urid:map ;\n";
  if (hasUI) d += "\tui:ui " + ui + " ;\n";
  d += "\tlv2:port [\n";
  for (int port = 0; port < plug.PortCount(); ++port) {
    if (port > 0) d += "\t] , [\n";
    const IPluginLV2::PortInfo info = plug.DescribePort(port);
    const std::string symbol = "lv2:symbol \"" + plug.PortSymbol(port) + "\"";
    const std::string index = "lv2:index " + std::to_string(port);
    Properties props;
    switch (info.kind) {
      case IPluginLV2::PortKind::kAudioIn:
      case IPluginLV2::PortKind::kAudioOut: {
        const bool in = info.kind == IPluginLV2::PortKind::kAudioIn;
        const char* side = plug.PortSymbol(port).back() == 'l' ? "left" : "right";
        props = {std::string("a lv2:") + (in ? "InputPort" : "OutputPort") + " , lv2:AudioPort",
                 index, symbol, std::string("lv2:name \"") + (in ? "input " : "output ") + side + "\""};
        break;
      }
      case IPluginLV2::PortKind::kParam:
        props = {"a lv2:InputPort , lv2:ControlPort", index, symbol};
        AddControlProperties(&props, *plug.ParamAt(info.index));
        break;
      case IPluginLV2::PortKind::kLatency:
        props = {"a lv2:OutputPort , lv2:ControlPort", index, symbol, "lv2:name \"latency\"",
                 "lv2:minimum 0", "lv2:maximum " + std::to_string(plug.GetLatency()),
                 "units:unit units:frame", "lv2:designation lv2:latency",
                 "lv2:portProperty lv2:reportsLatency , lv2:integer"};
        break;
      case IPluginLV2::PortKind::kStatusLamp:
        props = {"a lv2:OutputPort , lv2:ControlPort", index, symbol,
                 "lv2:name " + TurtleString(plug.StatusLampName()), "lv2:minimum 0",
                 "lv2:maximum 1", "lv2:portProperty lv2:toggled"};
        break;
      case IPluginLV2::PortKind::kNone: break;
    }
    d += JoinProperties(props);
  }
  d += "\t] .\n";
  if (hasUI) {
    d += "\n" + ui + "\n\ta ui:X11UI ;\n";
    d += "\tlv2:requiredFeature ui:parent ;\n";
    d += "\tlv2:optionalFeature ui:idleInterface , ui:resize , ui:touch ;\n";
    d += "\tlv2:extensionData ui:idleInterface ;\n";
    d += "\tui:portNotification [\n";
    bool first = true;
    for (int port = 0; port < plug.PortCount(); ++port) {
      const IPluginLV2::PortKind kind = plug.DescribePort(port).kind;
      if (kind != IPluginLV2::PortKind::kParam && kind != IPluginLV2::PortKind::kStatusLamp)
        continue;
      if (!first) d += "\t] , [\n";
      first = false;
      d += "\t\tui:plugin " + plugin + " ;\n";
      d += "\t\tlv2:symbol \"" + plug.PortSymbol(port) + "\" ;\n";
      d += "\t\tui:protocol ui:floatProtocol\n";
    }
    d += "\t] .\n";
  }

  t.presets = kPrefixes;
  for (int i = 0; i < plug.NPresets(); ++i) {
    const std::string& presetURI = presetURIs[static_cast<std::size_t>(i)];
    if (presetURI.empty()) continue;
    const IPresetSlot* slot = plug.PresetAt(i);
    t.presets += "<" + presetURI + ">\n\ta pset:Preset ;\n\tlv2:appliesTo " + plugin +
                 " ;\n\trdfs:label " + TurtleString(slot->name.c_str()) + " ;\n\tlv2:port [\n";
    int pos = 0;
    for (int p = 0; p < plug.NParams(); ++p) {
      double v = 0.0;
      pos = slot->values.GetDouble(&v, pos);
      if (pos < 0) break;
      if (p > 0) t.presets += "\t] , [\n";
      t.presets += "\t\tlv2:symbol \"" + plug.PortSymbol(plug.ParamPort(p)) + "\" ;\n";
      t.presets += "\t\tpset:value " + TurtleNumber(v) + "\n";
    }
    t.presets += "\t] .\n\n";
  }
  return t;
}
