// The parameters of a loaded plug-in as a host sees them (names, labels,
// display texts, ranges in display units), and the conversion of a user's
// "name=value" into the normalised 0..1 value the parameter callback takes.
//
// Everything is learnt through the binary interface: the ranges come from the
// display text of normalised 0 and 1, asked with the vendor-specific
// display query where the plug-in answers it, else by setting 0 and 1 on the
// instance and reading effGetParamDisplay (the value is restored afterwards).
// Call on the thread that drives the plug-in, never during processing.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/VstHost.h"

// The number a person reads for a parameter index (--list, --set N=...).
constexpr int ParameterNumber(int index) { return index + 1; }

struct ParameterInfo {
  int index = 0;
  std::string name;   // effGetParamName
  std::string label;  // effGetParamLabel: unit such as "ms", empty for none
  // Numeric: both ends display as numbers; min and max are those numbers in
  // display units and the mapping between them is taken as linear.
  bool numeric = false;
  double min = 0.0, max = 1.0;
  // Text parameters (switches, choices): each distinct display text, in the
  // order of rising normalised value, with the lowest normalised value that
  // shows it.
  std::vector<std::pair<std::string, float>> texts;

  std::string RangeText() const;  // "-50 .. 50 cents" or "drag | rotate"
};

class ParameterTable {
 public:
  // useDisplayQuery false forces the set-and-read way (tests compare both).
  static ParameterTable Read(VstPlugin& plugin, bool useDisplayQuery = true);
  // A table learnt some other way (an LV2 plug-in's port descriptions).
  // Each entry's index is its position; text entries' min and max are the
  // plain values at normalised 0 and 1.
  ParameterTable() = default;
  explicit ParameterTable(std::vector<ParameterInfo> params) : mParams(std::move(params)) {}

  const std::vector<ParameterInfo>& params() const { return mParams; }
  // By name, ignoring letter case and surrounding blanks, or by its number
  // (ParameterNumber: counted from 1, as --list shows it).
  // Null when nothing matches.
  const ParameterInfo* Find(const std::string& name) const;

  // Parses "name=value" where value is in display units (a trailing unit
  // label is accepted in any letter case, "delay 1=20ms", and so is the
  // larger unit of a Hz or ms label: "detector HPF=0.1 kHz", "delay 1=0.02 s")
  // or one of the parameter's texts ("knob action=rotate"). Sets *index and
  // *normalised, and *plain when given: the value in display units as typed
  // (units converted), for a text the entry's min + normalised x (max - min).
  // Or returns false with one line in *error (unknown name, not a value, out
  // of range) that quotes the value as typed; the outputs are left unchanged.
  bool ParseAssignment(const std::string& text, int* index, float* normalised,
                       std::string* error, double* plain = nullptr) const;

 private:
  std::vector<ParameterInfo> mParams;
};

// Display text of parameter `index` at `normalised`, through the vendor
// query; false when the plug-in does not answer it.
bool QueryDisplayAt(VstPlugin& plugin, int index, float normalised, std::string* text);

// Parses a whole text as a finite number; false for anything else.
bool ParseNumber(const std::string& text, double* value);
