#include "host/PluginListing.h"

#include <cstdarg>
#include <cstdio>

#include "host/ParameterTable.h"
#include "host/ProgramChoice.h"

namespace {

// Appends printf-style text.
void Add(std::string* to, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  *to += line;
}

}  // namespace

std::string PluginListing(const ListingFacts& f) {
  std::string text;
  const int nPresets = static_cast<int>(f.presets.size());
  Add(&text, "%s by %s: %d presets, %d parameters, latency %d frames\n", f.name.c_str(),
      f.maker.c_str(), nPresets, static_cast<int>(f.table.params().size()), f.latencyFrames);
  Add(&text, "\npresets (--preset NAME or NUMBER)\n");
  for (int i = 0; i < nPresets; ++i)
    Add(&text, "  %2d  %s%s\n", PresetNumber(i), f.presets[static_cast<std::size_t>(i)].c_str(),
        i == f.currentPreset ? "  (current)" : "");
  Add(&text, "\nparameters (--set \"NAME=VALUE\", VALUE in display units)\n");
  Add(&text, "  %2s  %-14s %-12s %s\n", "#", "name", "value", "range");
  for (std::size_t i = 0; i < f.table.params().size(); ++i) {
    const ParameterInfo& p = f.table.params()[i];
    const std::string value = i < f.values.size() ? f.values[i] : "";
    Add(&text, "  %2d  %-14s %-12s %s\n", ParameterNumber(p.index), p.name.c_str(), value.c_str(),
        p.RangeText().c_str());
  }
  return text;
}

std::string PluginListing(VstPlugin& plugin) {
  ListingFacts f;
  const AEffect* e = plugin.Effect();
  f.name = plugin.EffectName();
  f.maker = plugin.VendorString();
  f.latencyFrames = e->initialDelay;
  for (int i = 0; i < e->numPrograms; ++i) f.presets.push_back(plugin.ProgramNameIndexed(i));
  f.currentPreset = plugin.GetProgram();
  f.table = ParameterTable::Read(plugin);
  for (const ParameterInfo& p : f.table.params()) {
    std::string value = plugin.ParamDisplay(p.index);
    std::string label = plugin.ParamLabel(p.index);
    if (!label.empty()) value += " " + label;
    f.values.push_back(value);
  }
  return PluginListing(f);
}
