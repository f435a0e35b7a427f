// The text that duv-render --list and duv-snapshot --list print: the loaded
// plug-in's identity, its presets by number (counted from 1, see
// ProgramChoice.h) with the current one marked, and its parameters with
// their current display values and ranges. One unit so both tools show the
// same list.
#pragma once

#include <string>

#include "host/VstHost.h"

// Lines ending in '\n'. Reads the parameter table through the host interface
// (ParameterTable::Read), which leaves every value as it was. Call on the
// thread that drives the plug-in, never during processing.
std::string PluginListing(VstPlugin& plugin);
