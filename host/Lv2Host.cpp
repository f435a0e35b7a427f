#include "host/Lv2Host.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/presets/presets.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

// ---- URIDs ----

Lv2UridMap::Lv2UridMap() : mMap{this, &Lv2UridMap::MapCallback}, mFeature{LV2_URID__map, &mMap} {}

std::uint32_t Lv2UridMap::Map(const char* uri) {
  if (!uri) return 0;
  auto [it, fresh] = mIds.emplace(uri, static_cast<std::uint32_t>(mIds.size() + 1));
  return it->second;
}

LV2_URID Lv2UridMap::MapCallback(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<Lv2UridMap*>(handle)->Map(uri);
}

// ---- world ----

std::unique_ptr<Lv2World> Lv2World::Create(const std::vector<std::string>& bundleDirs,
                                           std::string* error, bool loadInstalled) {
  std::unique_ptr<Lv2World> world(new Lv2World());
  world->mWorld = lilv_world_new();
  if (!world->mWorld) {
    if (error) *error = "lilv_world_new failed";
    return nullptr;
  }
  // The bundles asked for first: lilv keeps the first bundle that declares a
  // plug-in and ignores later ones, so an installed copy cannot replace them.
  for (const std::string& dir : bundleDirs) {
    std::string path = dir.empty() || dir.back() != '/' ? dir + "/" : dir;
    if (!std::ifstream(path + "manifest.ttl")) {
      if (error) *error = "no manifest.ttl in " + path;
      return nullptr;
    }
    LilvNode* uri = lilv_new_file_uri(world->mWorld, nullptr, path.c_str());
    lilv_world_load_bundle(world->mWorld, uri);
    lilv_node_free(uri);
  }
  if (loadInstalled) lilv_world_load_all(world->mWorld);
  return world;
}

Lv2World::~Lv2World() {
  for (auto& [text, node] : mNodes) lilv_node_free(node);
  if (mWorld) lilv_world_free(mWorld);
}

const LilvNode* Lv2World::Uri(const std::string& uri) {
  auto it = mNodes.find(uri);
  if (it != mNodes.end()) return it->second;
  return mNodes[uri] = lilv_new_uri(mWorld, uri.c_str());
}

const LilvPlugin* Lv2World::Plugin(const std::string& uri) const {
  LilvNode* node = lilv_new_uri(mWorld, uri.c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(mWorld), node);
  lilv_node_free(node);
  return plugin;
}

// ---- instance ----

std::unique_ptr<Lv2Instance> Lv2Instance::Create(Lv2World* world, const std::string& uri,
                                                 double rate, int maxBlockFrames,
                                                 std::string* error) {
  std::unique_ptr<Lv2Instance> inst(new Lv2Instance());
  inst->mWorld = world;
  inst->mPlugin = world->Plugin(uri);
  if (!inst->mPlugin) {
    if (error) *error = "plug-in not found: " + uri;
    return nullptr;
  }
  Lv2UridMap& urids = world->Urids();
  inst->mFeatures.push_back(urids.Feature());
  if (maxBlockFrames > 0) {
    inst->mBlockFrames = maxBlockFrames;
    const LV2_URID intType = urids.Map(LV2_ATOM__Int);
    for (const char* key : {LV2_BUF_SIZE__maxBlockLength, LV2_BUF_SIZE__nominalBlockLength})
      inst->mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, urids.Map(key), sizeof(std::int32_t),
                                intType, &inst->mBlockFrames});
    inst->mOptions.push_back({LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr});
    inst->mOptionsFeature = {LV2_OPTIONS__options, inst->mOptions.data()};
    inst->mFeatures.push_back(&inst->mOptionsFeature);
  }
  inst->mFeatures.push_back(nullptr);

  const uint32_t nPorts = lilv_plugin_get_num_ports(inst->mPlugin);
  inst->mControls.assign(nPorts, 0.0f);
  std::vector<float> defaults(nPorts, NAN);
  lilv_plugin_get_port_ranges_float(inst->mPlugin, nullptr, nullptr, defaults.data());
  const LilvNode* audio = world->Uri(LV2_CORE__AudioPort);
  const LilvNode* control = world->Uri(LV2_CORE__ControlPort);
  const LilvNode* input = world->Uri(LV2_CORE__InputPort);

  inst->mInstance = lilv_plugin_instantiate(inst->mPlugin, rate, inst->mFeatures.data());
  if (!inst->mInstance) {
    if (error) *error = "instantiation refused";
    return nullptr;
  }
  for (uint32_t i = 0; i < nPorts; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(inst->mPlugin, i);
    inst->mPortBySymbol[lilv_node_as_string(lilv_port_get_symbol(inst->mPlugin, port))] =
        static_cast<int>(i);
    const bool isInput = lilv_port_is_a(inst->mPlugin, port, input);
    if (lilv_port_is_a(inst->mPlugin, port, audio)) {
      (isInput ? inst->mAudioIn : inst->mAudioOut).push_back(static_cast<int>(i));
      lilv_instance_connect_port(inst->mInstance, i, nullptr);
    } else if (lilv_port_is_a(inst->mPlugin, port, control)) {
      inst->mControls[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
      lilv_instance_connect_port(inst->mInstance, i, &inst->mControls[i]);
    }
  }
  return inst;
}

Lv2Instance::~Lv2Instance() {
  if (!mInstance) return;
  if (mActive) lilv_instance_deactivate(mInstance);
  lilv_instance_free(mInstance);
}

int Lv2Instance::PortIndex(const std::string& symbol) const {
  auto it = mPortBySymbol.find(symbol);
  return it == mPortBySymbol.end() ? -1 : it->second;
}

bool Lv2Instance::SetControl(const std::string& symbol, float value) {
  const int port = PortIndex(symbol);
  if (port < 0) return false;
  mControls[static_cast<std::size_t>(port)] = value;
  return true;
}

float Lv2Instance::Control(const std::string& symbol) const {
  const int port = PortIndex(symbol);
  return port < 0 ? NAN : mControls[static_cast<std::size_t>(port)];
}

void Lv2Instance::ConnectRaw(int port, void* data) {
  lilv_instance_connect_port(mInstance, static_cast<uint32_t>(port), data);
}

void Lv2Instance::Activate() {
  if (mActive) return;
  lilv_instance_activate(mInstance);
  mActive = true;
}

void Lv2Instance::Deactivate() {
  if (!mActive) return;
  lilv_instance_deactivate(mInstance);
  mActive = false;
}

void Lv2Instance::Run(const float* const* in, float* const* out, std::uint32_t frames) {
  for (std::size_t i = 0; i < mAudioIn.size(); ++i)
    lilv_instance_connect_port(mInstance, static_cast<uint32_t>(mAudioIn[i]),
                               const_cast<float*>(in ? in[i] : nullptr));
  for (std::size_t i = 0; i < mAudioOut.size(); ++i)
    lilv_instance_connect_port(mInstance, static_cast<uint32_t>(mAudioOut[i]),
                               out ? out[i] : nullptr);
  lilv_instance_run(mInstance, frames);
}

std::vector<Lv2PresetInfo> Lv2Instance::Presets() const {
  std::vector<Lv2PresetInfo> presets;
  LilvWorld* w = mWorld->World();
  const LilvNode* presetClass = mWorld->Uri(LV2_PRESETS__Preset);
  const LilvNode* label = mWorld->Uri(LILV_NS_RDFS "label");
  LilvNodes* related = lilv_plugin_get_related(mPlugin, presetClass);
  LILV_FOREACH (nodes, i, related) {
    const LilvNode* preset = lilv_nodes_get(related, i);
    lilv_world_load_resource(w, preset);
    LilvNode* name = lilv_world_get(w, preset, label, nullptr);
    presets.push_back({lilv_node_as_uri(preset), name ? lilv_node_as_string(name) : ""});
    lilv_node_free(name);
  }
  lilv_nodes_free(related);
  std::sort(presets.begin(), presets.end(),
            [](const Lv2PresetInfo& a, const Lv2PresetInfo& b) { return a.uri < b.uri; });
  return presets;
}

void Lv2Instance::SetPortValue(const char* symbol, void* user, const void* value,
                               std::uint32_t size, std::uint32_t type) {
  auto* self = static_cast<Lv2Instance*>(user);
  // Preset values arrive as atom floats (lilv converts Turtle numbers so).
  if (type != self->mWorld->Urids().Map(LV2_ATOM__Float) || size != sizeof(float)) return;
  float v;
  std::memcpy(&v, value, sizeof v);
  self->SetControl(symbol, v);
}

bool Lv2Instance::ApplyPreset(const std::string& presetUri) {
  LilvNode* node = lilv_new_uri(mWorld->World(), presetUri.c_str());
  lilv_world_load_resource(mWorld->World(), node);
  LV2_URID_Map* map = static_cast<LV2_URID_Map*>(mWorld->Urids().Feature()->data);
  LilvState* state = lilv_state_new_from_world(mWorld->World(), map, node);
  lilv_node_free(node);
  if (!state) return false;
  lilv_state_emit_port_values(state, &Lv2Instance::SetPortValue, this);
  lilv_state_free(state);
  return true;
}
