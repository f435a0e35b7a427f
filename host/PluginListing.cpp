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

std::string PluginListing(VstPlugin& plugin) {
  std::string text;
  const AEffect* e = plugin.Effect();
  Add(&text, "%s by %s: %d presets, %d parameters, latency %d frames\n",
      plugin.EffectName().c_str(), plugin.VendorString().c_str(), e->numPrograms, e->numParams,
      e->initialDelay);
  Add(&text, "\npresets (--preset NAME or NUMBER)\n");
  const int current = plugin.GetProgram();
  for (int i = 0; i < e->numPrograms; ++i)
    Add(&text, "  %2d  %s%s\n", PresetNumber(i), plugin.ProgramNameIndexed(i).c_str(),
        i == current ? "  (current)" : "");
  Add(&text, "\nparameters (--set \"NAME=VALUE\", VALUE in display units)\n");
  Add(&text, "  %2s  %-14s %-12s %s\n", "#", "name", "value", "range");
  ParameterTable table = ParameterTable::Read(plugin);
  for (const ParameterInfo& p : table.params()) {
    std::string value = plugin.ParamDisplay(p.index);
    std::string label = plugin.ParamLabel(p.index);
    if (!label.empty()) value += " " + label;
    Add(&text, "  %2d  %-14s %-12s %s\n", ParameterNumber(p.index), p.name.c_str(), value.c_str(),
        p.RangeText().c_str());
  }
  return text;
}
