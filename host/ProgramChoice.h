// Choosing one of a plug-in's programs (factory presets) from what a user
// typed: a program number as the host counts them (0 first) or a name.
// Call on the thread that drives the plug-in, never during processing.
#pragma once

#include <string>

#include "host/VstHost.h"

// Finds the program: a whole number 0..numPrograms-1 is taken as an index,
// anything else as a name compared without regard to letter case or
// surrounding blanks (the first program of that name wins). Sets *index, or
// returns false with one line in *error.
bool FindProgram(VstPlugin& plugin, const std::string& text, int* index, std::string* error);
