// Choosing one of a plug-in's programs (factory presets) from what a user
// typed: a preset number or a name.
//
// People count presets from 1: the manual's preset table, --list, --preset N
// and every message the tools print use these numbers. The host interface
// (effSetProgram, effGetProgram) counts the same programs from 0; convert
// only through the two functions below.
// Call on the thread that drives the plug-in, never during processing.
#pragma once

#include <string>
#include <vector>

#include "host/VstHost.h"

// The number a person reads for the host's program index, and back.
constexpr int PresetNumber(int programIndex) { return programIndex + 1; }
constexpr int ProgramIndex(int presetNumber) { return presetNumber - 1; }

// Finds the program: a whole number 1..numPrograms is taken as a preset
// number, anything else as a name compared without regard to letter case or
// surrounding blanks (the first program of that name wins). Sets *index to
// the host's 0-based program index, or returns false with one line in
// *error (and *index unchanged).
bool FindProgram(VstPlugin& plugin, const std::string& text, int* index, std::string* error);
// The same over a list of preset names in program order (an LV2 bundle's
// presets, which have no host-side program index): *index is 0-based.
bool FindPreset(const std::vector<std::string>& names, const std::string& text, int* index,
                std::string* error);

// "5 Wide Snare": the number and name of a program, for messages.
std::string PresetText(VstPlugin& plugin, int programIndex);
