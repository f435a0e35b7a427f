// The plug-in of an LV2 bundle, prepared for the offline renderer the way
// duv-render prepares the VST 2 module: loaded through lilv (Lv2Host.h),
// its presets numbered, its control ports read as a parameter table, and
// driven as a RenderEffect.
//
// Only that folder is loaded, not the installed LV2 bundles, so an
// installed copy of the plug-in cannot stand in for the one asked for.
// Preset numbers: the presets in the order the bundle's manifest.ttl lists
// them (RDF itself has none; the bundle is written in program order, so
// preset N here is program N of the VST 2 module), then any other presets
// of the folder, by URI.
// Parameters: the control input ports in port order, named by lv2:name,
// with the unit's label (ms, cents, Hz, %), the port's range, and texts for
// toggled ports ("off", "on") and enumerations (their scale points).
// Values go to the ports as plain values in display units, the way the
// ports carry them.
//
// Threads: one thread for everything, as the renderer runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/Lv2Host.h"
#include "host/ParameterTable.h"
#include "host/RenderEffect.h"

class Lv2RenderEffect : public RenderEffect {
 public:
  // Loads the bundle folder (the one holding manifest.ttl) and instantiates
  // the plug-in it describes at sampleRate (Hz), announcing blockFrames as
  // the largest run, for channels 1 or 2 (mono runs leave the right ports
  // unconnected: silence in, nothing out). Null with one line in *error,
  // naming the folder, when the folder or its description cannot be read,
  // describes no plug-in, the plug-in is not stereo in and out, or its
  // binary does not instantiate. Whatever lilv says on the way is kept out
  // of stderr and folded into that line.
  static std::unique_ptr<Lv2RenderEffect> Create(const std::string& bundleDir, int sampleRate,
                                                 int blockFrames, int channels,
                                                 std::string* error);

  const std::string& Name() const { return mName; }
  const std::string& Maker() const { return mMaker; }
  const std::vector<std::string>& PresetNames() const { return mPresetNames; }
  // Applies preset index (0-based, see above) to the control inputs.
  // False when out of range or lilv cannot read it.
  bool ApplyPreset(int index);
  const ParameterTable& Parameters() const { return mTable; }
  // Sets parameter index (its table position) to a plain value.
  void SetPlain(int index, double plain);
  // The parameter's value as --list shows it: "52.5 ms", "rotate".
  std::string ValueText(int index) const;

  void BeginRun() override;
  int LatencyFrames() override;
  void Process(float* const* in, float* const* out, int frames) override;
  void EndRun() override;

 private:
  Lv2RenderEffect() = default;

  std::unique_ptr<Lv2World> mWorld;
  std::unique_ptr<Lv2Instance> mInstance;
  std::string mName, mMaker;
  std::vector<std::string> mPresetUris, mPresetNames;
  ParameterTable mTable;
  std::vector<std::string> mSymbols;  // per table entry
  std::string mLatencySymbol;         // empty when the plug-in reports none
  int mChannels = 2;
};

// The presets a bundle's manifest.ttl declares (subjects typed
// pset:Preset), as absolute URIs in the order the file states them. Empty
// when the file cannot be read or declares none.
std::vector<std::string> ManifestPresetOrder(const std::string& bundleDir);
