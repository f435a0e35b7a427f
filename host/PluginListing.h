// The text that duv-render --list and duv-snapshot --list print: the loaded
// plug-in's identity, its presets by number (counted from 1, see
// ProgramChoice.h) with the current one marked, and its parameters with
// their current display values and ranges. One unit so both tools, and both
// plug-in formats, show the same list.
#pragma once

#include <string>
#include <vector>

#include "host/ParameterTable.h"
#include "host/VstHost.h"

// What a listing shows, however it was learnt.
struct ListingFacts {
  std::string name, maker;
  int latencyFrames = 0;
  std::vector<std::string> presets;  // names in program order
  int currentPreset = -1;            // 0-based; -1 marks none
  ParameterTable table;
  std::vector<std::string> values;  // per table entry: its current value, unit included
};

// Lines ending in '\n'.
std::string PluginListing(const ListingFacts& facts);

// The facts of a VST 2 plug-in, through the host interface. Reads the
// parameter table (ParameterTable::Read), which leaves every value as it
// was. Call on the thread that drives the plug-in, never during processing.
std::string PluginListing(VstPlugin& plugin);
