#include "host/Lv2RenderEffect.h"

#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>
#include <serd/serd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr const char* kRdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";

// Standard error redirected into a temporary file while it lives: lilv and
// serd print their complaints there, and the tool promises one line.
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    mFile = std::tmpfile();
    mSaved = dup(STDERR_FILENO);
    if (mFile && mSaved >= 0) dup2(fileno(mFile), STDERR_FILENO);
  }
  ~StderrCapture() { Restore(); }
  // Restores stderr; returns the first line printed meanwhile ("" for none).
  std::string Restore() {
    std::string first;
    if (mSaved < 0) return first;
    std::fflush(stderr);
    dup2(mSaved, STDERR_FILENO);
    close(mSaved);
    mSaved = -1;
    if (mFile) {
      std::rewind(mFile);
      for (int c; (c = std::fgetc(mFile)) != EOF && c != '\n';) first += static_cast<char>(c);
      std::fclose(mFile);
      mFile = nullptr;
    }
    return first;
  }

 private:
  std::FILE* mFile = nullptr;
  int mSaved = -1;
};

std::string WithCause(const std::string& message, const std::string& cause) {
  return cause.empty() ? message : message + " (" + cause + ")";
}

// The label duv-render shows and accepts for an LV2 unit: the VST 2 module's.
std::string LabelOfUnit(const std::string& unitUri) {
  static const std::map<std::string, std::string> kLabels = {
      {LV2_UNITS__ms, "ms"}, {LV2_UNITS__cent, "cents"}, {LV2_UNITS__hz, "Hz"},
      {LV2_UNITS__pc, "%"},  {LV2_UNITS__s, "s"},        {LV2_UNITS__db, "dB"}};
  auto it = kLabels.find(unitUri);
  return it == kLabels.end() ? std::string() : it->second;
}

std::string NumberText(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

struct ManifestScan {
  SerdEnv* env;
  std::vector<std::string> presets;
  std::set<std::string> seen;
};

// The node as an absolute URI through the file's prefixes and base; empty
// for literals and blank nodes.
std::string Expanded(const SerdEnv* env, const SerdNode* node) {
  if (node->type != SERD_URI && node->type != SERD_CURIE) return {};
  SerdNode full = serd_env_expand_node(env, node);
  std::string text = full.buf ? reinterpret_cast<const char*>(full.buf) : "";
  serd_node_free(&full);
  return text;
}

SerdStatus OnBase(void* handle, const SerdNode* uri) {
  return serd_env_set_base_uri(static_cast<ManifestScan*>(handle)->env, uri);
}

SerdStatus OnPrefix(void* handle, const SerdNode* name, const SerdNode* uri) {
  return serd_env_set_prefix(static_cast<ManifestScan*>(handle)->env, name, uri);
}

SerdStatus OnStatement(void* handle, SerdStatementFlags, const SerdNode*, const SerdNode* subject,
                       const SerdNode* predicate, const SerdNode* object, const SerdNode*,
                       const SerdNode*) {
  auto* scan = static_cast<ManifestScan*>(handle);
  if (Expanded(scan->env, predicate) != kRdfType ||
      Expanded(scan->env, object) != LV2_PRESETS__Preset)
    return SERD_SUCCESS;
  const std::string uri = Expanded(scan->env, subject);
  if (!uri.empty() && scan->seen.insert(uri).second) scan->presets.push_back(uri);
  return SERD_SUCCESS;
}

SerdStatus IgnoreError(void*, const SerdError*) { return SERD_SUCCESS; }

}  // namespace

std::vector<std::string> ManifestPresetOrder(const std::string& bundleDir) {
  const std::string path = (fs::path(bundleDir) / "manifest.ttl").string();
  SerdNode base = serd_node_new_file_uri(reinterpret_cast<const uint8_t*>(path.c_str()), nullptr,
                                         nullptr, true);
  ManifestScan scan{serd_env_new(&base), {}, {}};
  SerdReader* reader =
      serd_reader_new(SERD_TURTLE, &scan, nullptr, OnBase, OnPrefix, OnStatement, nullptr);
  serd_reader_set_error_sink(reader, IgnoreError, nullptr);
  serd_reader_read_file(reader, base.buf);
  serd_reader_free(reader);
  serd_env_free(scan.env);
  serd_node_free(&base);
  return scan.presets;
}

std::unique_ptr<Lv2RenderEffect> Lv2RenderEffect::Create(const std::string& bundleDir,
                                                         int sampleRate, int blockFrames,
                                                         int channels, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(bundleDir, ec)) {
    *error = "cannot load the LV2 bundle " + bundleDir + ": " +
             (fs::exists(bundleDir, ec) ? "not a folder (give the DUV.lv2 folder)"
                                        : "no such folder");
    return nullptr;
  }
  fs::path dir = fs::absolute(bundleDir, ec).lexically_normal();
  std::string dirText = dir.string();
  if (dirText.empty() || dirText.back() != '/') dirText += '/';

  std::unique_ptr<Lv2RenderEffect> e(new Lv2RenderEffect());
  e->mChannels = channels == 1 ? 1 : 2;
  StderrCapture capture;
  std::string why;
  // The folder alone: the render needs nothing else, and a copy of the
  // plug-in installed elsewhere cannot come into question.
  e->mWorld = Lv2World::Create({dirText}, &why, false);
  if (!e->mWorld) {
    *error = "cannot load the LV2 bundle " + bundleDir + ": " + why;
    return nullptr;
  }
  LilvNode* bundleUri = lilv_new_file_uri(e->mWorld->World(), nullptr, dirText.c_str());
  const LilvPlugin* plugin = nullptr;
  const LilvPlugins* all = lilv_world_get_all_plugins(e->mWorld->World());
  LILV_FOREACH (plugins, i, all) {
    const LilvPlugin* p = lilv_plugins_get(all, i);
    if (lilv_node_equals(lilv_plugin_get_bundle_uri(p), bundleUri)) {
      plugin = p;
      break;
    }
  }
  lilv_node_free(bundleUri);
  if (!plugin) {
    *error = WithCause("cannot load the LV2 bundle " + bundleDir + ": it describes no plug-in",
                       capture.Restore());
    return nullptr;
  }
  const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
  e->mInstance = Lv2Instance::Create(e->mWorld.get(), uri, sampleRate, blockFrames, &why);
  if (!e->mInstance) {
    *error = WithCause("cannot load the LV2 bundle " + bundleDir + ": " + why, capture.Restore());
    return nullptr;
  }
  if (e->mInstance->AudioInputs() != 2 || e->mInstance->AudioOutputs() != 2) {
    *error = "cannot use the LV2 bundle " + bundleDir + ": its plug-in has " +
             std::to_string(e->mInstance->AudioInputs()) + " audio inputs and " +
             std::to_string(e->mInstance->AudioOutputs()) + " outputs, not 2 and 2";
    return nullptr;
  }
  if (LilvNode* name = lilv_plugin_get_name(plugin)) {
    e->mName = lilv_node_as_string(name);
    lilv_node_free(name);
  }
  if (LilvNode* maker = lilv_plugin_get_author_name(plugin)) {
    e->mMaker = lilv_node_as_string(maker);
    lilv_node_free(maker);
  }

  // Presets: the manifest's order first, then whatever else lilv knows.
  std::vector<Lv2PresetInfo> known = e->mInstance->Presets();
  for (const std::string& p : ManifestPresetOrder(dirText)) {
    auto it = std::find_if(known.begin(), known.end(),
                           [&](const Lv2PresetInfo& k) { return k.uri == p; });
    if (it == known.end()) continue;
    e->mPresetUris.push_back(it->uri);
    e->mPresetNames.push_back(it->label);
    known.erase(it);
  }
  for (const Lv2PresetInfo& k : known) {
    e->mPresetUris.push_back(k.uri);
    e->mPresetNames.push_back(k.label);
  }

  // Parameters: the control inputs, in port order.
  Lv2World& w = *e->mWorld;
  const LilvNode* control = w.Uri(LV2_CORE__ControlPort);
  const LilvNode* input = w.Uri(LV2_CORE__InputPort);
  const LilvNode* toggled = w.Uri(LV2_CORE__toggled);
  const LilvNode* unit = w.Uri(LV2_UNITS__unit);
  std::vector<ParameterInfo> params;
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    if (!lilv_port_is_a(plugin, port, control) || !lilv_port_is_a(plugin, port, input)) continue;
    ParameterInfo p;
    p.index = static_cast<int>(params.size());
    if (LilvNode* name = lilv_port_get_name(plugin, port)) {
      p.name = lilv_node_as_string(name);
      lilv_node_free(name);
    }
    if (LilvNode* u = lilv_port_get(plugin, port, unit)) {
      if (lilv_node_is_uri(u)) p.label = LabelOfUnit(lilv_node_as_uri(u));
      lilv_node_free(u);
    }
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    p.min = min ? lilv_node_as_float(min) : 0.0;
    p.max = max ? lilv_node_as_float(max) : 1.0;
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    const double span = p.max - p.min;
    auto normalisedOf = [&](double v) {
      return span != 0.0 ? static_cast<float>((v - p.min) / span) : 0.0f;
    };
    std::vector<std::pair<double, std::string>> points;
    if (LilvScalePoints* sp = lilv_port_get_scale_points(plugin, port)) {
      LILV_FOREACH (scale_points, k, sp) {
        const LilvScalePoint* point = lilv_scale_points_get(sp, k);
        points.emplace_back(lilv_node_as_float(lilv_scale_point_get_value(point)),
                            lilv_node_as_string(lilv_scale_point_get_label(point)));
      }
      lilv_scale_points_free(sp);
    }
    std::sort(points.begin(), points.end());
    if (!points.empty()) {
      for (const auto& [value, label] : points) p.texts.emplace_back(label, normalisedOf(value));
    } else if (lilv_port_has_property(plugin, port, toggled)) {
      p.texts = {{"off", normalisedOf(0.0)}, {"on", normalisedOf(1.0)}};
    } else {
      p.numeric = span != 0.0;
    }
    params.push_back(std::move(p));
    e->mSymbols.push_back(lilv_node_as_string(lilv_port_get_symbol(plugin, port)));
  }
  e->mTable = ParameterTable(std::move(params));
  const uint32_t latencyPort = lilv_plugin_get_latency_port_index(plugin);
  if (latencyPort != UINT32_MAX) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, latencyPort);
    if (port) e->mLatencySymbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
  }
  return e;
}

bool Lv2RenderEffect::ApplyPreset(int index) {
  if (index < 0 || index >= static_cast<int>(mPresetUris.size())) return false;
  return mInstance->ApplyPreset(mPresetUris[static_cast<std::size_t>(index)]);
}

void Lv2RenderEffect::SetPlain(int index, double plain) {
  if (index < 0 || index >= static_cast<int>(mSymbols.size())) return;
  mInstance->SetControl(mSymbols[static_cast<std::size_t>(index)], static_cast<float>(plain));
}

std::string Lv2RenderEffect::ValueText(int index) const {
  if (index < 0 || index >= static_cast<int>(mSymbols.size())) return {};
  const ParameterInfo& p = mTable.params()[static_cast<std::size_t>(index)];
  const double v = mInstance->Control(mSymbols[static_cast<std::size_t>(index)]);
  if (!p.texts.empty()) {
    // The text of the nearest choice, as the binding rounds the port.
    const std::string* best = &p.texts.front().first;
    double bestDistance = INFINITY;
    for (const auto& [text, n] : p.texts) {
      const double d = std::fabs(p.min + static_cast<double>(n) * (p.max - p.min) - v);
      if (d < bestDistance) best = &text, bestDistance = d;
    }
    return *best;
  }
  return p.label.empty() ? NumberText(v) : NumberText(v) + " " + p.label;
}

void Lv2RenderEffect::BeginRun() {
  mInstance->Deactivate();
  mInstance->Activate();
  // An empty run: the plug-in writes its latency port on every run, this
  // one included, and nothing of the sound moves.
  mInstance->Run(nullptr, nullptr, 0);
}

int Lv2RenderEffect::LatencyFrames() {
  if (mLatencySymbol.empty()) return 0;
  const float latency = mInstance->Control(mLatencySymbol);
  return std::isfinite(latency) && latency > 0.0f ? static_cast<int>(latency) : 0;
}

void Lv2RenderEffect::Process(float* const* in, float* const* out, int frames) {
  const float* inputs[2] = {in[0], mChannels == 2 ? in[1] : nullptr};
  float* outputs[2] = {out[0], mChannels == 2 ? out[1] : nullptr};
  mInstance->Run(inputs, outputs, static_cast<std::uint32_t>(frames));
}

void Lv2RenderEffect::EndRun() { mInstance->Deactivate(); }
