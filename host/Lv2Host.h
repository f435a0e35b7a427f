// The project's own LV2 host, through lilv, in-process as hosts load a
// plug-in: a world that knows the installed LV2 vocabularies and the
// bundles asked for, and instances with host-owned control values, audio
// bound per run, the options feature (block length) and URID mapping, and
// presets applied as lilv applies them. It knows only LV2's and lilv's
// interfaces, never the plug-in's classes.
//
// Threads: one thread per instance (or the caller serialises).
#pragma once

#include <lilv/lilv.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// URIDs for one world: a plain table, answered to plug-ins through urid:map.
class Lv2UridMap {
 public:
  Lv2UridMap();
  std::uint32_t Map(const char* uri);  // 0 for null
  const LV2_Feature* Feature() const { return &mFeature; }

 private:
  static LV2_URID MapCallback(LV2_URID_Map_Handle handle, const char* uri);
  std::map<std::string, std::uint32_t> mIds;
  LV2_URID_Map mMap;
  LV2_Feature mFeature;
};

class Lv2World {
 public:
  // Loads each bundle folder given, then the installed LV2 bundles (lilv's
  // default search path, or LV2_PATH) unless loadInstalled is false. A
  // plug-in of a folder given wins over an installed copy of the same URI
  // (which lilv reports on stderr and ignores). Without the installed
  // bundles the world knows only those folders and no plug-in classes.
  // Null with *error set when a folder holds no manifest.
  static std::unique_ptr<Lv2World> Create(const std::vector<std::string>& bundleDirs,
                                          std::string* error, bool loadInstalled = true);
  ~Lv2World();
  Lv2World(const Lv2World&) = delete;
  Lv2World& operator=(const Lv2World&) = delete;

  LilvWorld* World() const { return mWorld; }
  const LilvPlugin* Plugin(const std::string& uri) const;  // null when unknown
  Lv2UridMap& Urids() { return mUrids; }
  // A node the world owns for the lifetime of the world (for queries).
  const LilvNode* Uri(const std::string& uri);

 private:
  Lv2World() = default;
  LilvWorld* mWorld = nullptr;
  Lv2UridMap mUrids;
  std::map<std::string, LilvNode*> mNodes;
};

struct Lv2PresetInfo {
  std::string uri;
  std::string label;
};

class Lv2Instance {
 public:
  // Instantiates uri at rate. maxBlockFrames > 0 announces buf-size's
  // maximum and nominal block length through the options feature; 0 offers
  // no options. Every control input starts at its default, every control
  // output is connected to host storage; audio ports are bound by Run.
  // Null with *error set when the plug-in is unknown or instantiation fails.
  static std::unique_ptr<Lv2Instance> Create(Lv2World* world, const std::string& uri,
                                             double rate, int maxBlockFrames, std::string* error);
  ~Lv2Instance();  // deactivates when active, then frees the instance
  Lv2Instance(const Lv2Instance&) = delete;
  Lv2Instance& operator=(const Lv2Instance&) = delete;

  int PortIndex(const std::string& symbol) const;  // -1 when there is none
  int AudioInputs() const { return static_cast<int>(mAudioIn.size()); }
  int AudioOutputs() const { return static_cast<int>(mAudioOut.size()); }
  // Control values by symbol; false / NaN for unknown symbols.
  bool SetControl(const std::string& symbol, float value);
  float Control(const std::string& symbol) const;
  // Connects a port to caller storage (or null) directly, bypassing the host's own.
  void ConnectRaw(int port, void* data);

  void Activate();
  void Deactivate();
  // Binds in/out (one array per audio port, in port order; an entry may be
  // null to leave that port unconnected) and runs frames frames.
  void Run(const float* const* in, float* const* out, std::uint32_t frames);

  // The presets the world knows for this plug-in, sorted by URI.
  std::vector<Lv2PresetInfo> Presets() const;
  // Applies a preset's port values to the control inputs; false when unknown.
  bool ApplyPreset(const std::string& presetUri);

 private:
  Lv2Instance() = default;
  static void SetPortValue(const char* symbol, void* user, const void* value, std::uint32_t size,
                           std::uint32_t type);

  Lv2World* mWorld = nullptr;
  const LilvPlugin* mPlugin = nullptr;
  LilvInstance* mInstance = nullptr;
  bool mActive = false;
  std::map<std::string, int> mPortBySymbol;
  std::vector<float> mControls;  // one per port (audio entries unused)
  std::vector<int> mAudioIn, mAudioOut;
  std::int32_t mBlockFrames = 0;
  std::vector<LV2_Options_Option> mOptions;
  LV2_Feature mOptionsFeature{};
  std::vector<const LV2_Feature*> mFeatures;
};
