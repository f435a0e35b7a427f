#include "host/ParameterTable.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The vendor-specific request that formats a normalised value of a parameter,
// and the answer that says the plug-in understood it.
constexpr VstInt32 kDisplayQueryIndex = 7;
constexpr VstIntPtr kDisplayQueryAnswer = 0xBEEF;
// Grid on which a text parameter's choices are looked for. Any choice count
// up to this many is found; a choice between grid points is reached at the
// next point above it, which a host's rounding maps back onto the choice.
constexpr int kTextScanSteps = 128;

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string NumberText(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

// Display text at a normalised value by setting it and reading it back.
std::string DisplayBySetting(VstPlugin& plugin, int index, float normalised) {
  plugin.SetParameter(index, normalised);
  return plugin.ParamDisplay(index);
}

}  // namespace

bool ParseNumber(const std::string& text, double* value) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool QueryDisplayAt(VstPlugin& plugin, int index, float normalised, std::string* text) {
  char out[256] = {};
  if (plugin.Dispatch(effVendorSpecific, kDisplayQueryIndex, index, out, normalised) !=
      kDisplayQueryAnswer)
    return false;
  out[sizeof out - 1] = '\0';
  *text = Trim(out);
  return true;
}

std::string ParameterInfo::RangeText() const {
  if (numeric) {
    std::string r = NumberText(min) + " .. " + NumberText(max);
    return label.empty() ? r : r + " " + label;
  }
  std::string r;
  for (const auto& t : texts) r += (r.empty() ? "" : " | ") + t.first;
  return r;
}

ParameterTable ParameterTable::Read(VstPlugin& plugin, bool useDisplayQuery) {
  ParameterTable table;
  int count = plugin.Effect()->numParams;
  std::string probe;
  bool query = useDisplayQuery && count > 0 && QueryDisplayAt(plugin, 0, 0.0f, &probe);
  for (int i = 0; i < count; ++i) {
    ParameterInfo p;
    p.index = i;
    p.name = Trim(plugin.ParamName(i));
    p.label = Trim(plugin.ParamLabel(i));
    float saved = plugin.GetParameter(i);
    auto displayAt = [&](float n) {
      std::string text;
      if (query) {
        QueryDisplayAt(plugin, i, n, &text);
        return text;
      }
      return Trim(DisplayBySetting(plugin, i, n));
    };
    std::string lowText = displayAt(0.0f), highText = displayAt(1.0f);
    double low = 0.0, high = 0.0;
    if (ParseNumber(lowText, &low) && ParseNumber(highText, &high) && high != low) {
      p.numeric = true;
      p.min = low;
      p.max = high;
    } else {
      for (int k = 0; k <= kTextScanSteps; ++k) {
        float n = static_cast<float>(k) / kTextScanSteps;
        std::string text = displayAt(n);
        if (p.texts.empty() || p.texts.back().first != text) {
          bool seen = false;
          for (const auto& t : p.texts) seen = seen || t.first == text;
          if (!seen) p.texts.emplace_back(text, n);
        }
      }
    }
    if (!query) plugin.SetParameter(i, saved);
    table.mParams.push_back(std::move(p));
  }
  return table;
}

const ParameterInfo* ParameterTable::Find(const std::string& name) const {
  std::string n = Trim(name);
  for (const ParameterInfo& p : mParams)
    if (SameText(p.name, n)) return &p;
  double number = 0.0;
  if (ParseNumber(n, &number) && number == std::floor(number) && number >= ParameterNumber(0) &&
      number <= ParameterNumber(static_cast<int>(mParams.size()) - 1))
    return &mParams[static_cast<std::size_t>(number - ParameterNumber(0))];
  return nullptr;
}

bool ParameterTable::ParseAssignment(const std::string& text, int* index, float* normalised,
                                     std::string* error, double* plain) const {
  std::size_t eq = text.find('=');
  if (eq == std::string::npos) {
    *error = "'" + text + "' is not NAME=VALUE";
    return false;
  }
  // Messages quote the value as typed, not what is left after a unit came off.
  const std::string typed = text.substr(eq + 1);
  std::string name = Trim(text.substr(0, eq)), value = Trim(typed);
  const ParameterInfo* p = Find(name);
  if (!p) {
    *error = "unknown parameter '" + name + "' (see --list)";
    return false;
  }
  if (!p->numeric) {
    for (const auto& t : p->texts) {
      if (SameText(t.first, value)) {
        *index = p->index;
        *normalised = t.second;
        if (plain) *plain = p->min + static_cast<double>(t.second) * (p->max - p->min);
        return true;
      }
    }
    *error = p->name + " takes " + p->RangeText() + ", not '" + typed + "'";
    return false;
  }
  // A unit written after the number, with or without a space, in any letter
  // case: the label's own, or the larger unit of its kind (kHz for Hz, s for
  // ms). Longest first, so "kHz" is not read as "k" and "Hz".
  double scale = 1.0;
  std::vector<std::pair<std::string, double>> units;
  if (SameText(p->label, "Hz")) units.emplace_back("kHz", 1000.0);
  if (!p->label.empty()) units.emplace_back(p->label, 1.0);
  if (SameText(p->label, "ms")) units.emplace_back("s", 1000.0);
  for (const auto& [unit, factor] : units) {
    if (value.size() > unit.size() && SameText(value.substr(value.size() - unit.size()), unit)) {
      value = Trim(value.substr(0, value.size() - unit.size()));
      scale = factor;
      break;
    }
  }
  double v = 0.0;
  if (!ParseNumber(value, &v)) {
    *error = p->name + " takes a number (" + p->RangeText() + "), not '" + typed + "'";
    return false;
  }
  v *= scale;
  double lo = std::min(p->min, p->max), hi = std::max(p->min, p->max);
  // Allow for the rounding of the end texts, nothing more.
  double slack = 1e-9 * (hi - lo);
  if (v < lo - slack || v > hi + slack) {
    *error = p->name + "=" + Trim(typed) + " is out of range (" + p->RangeText() + ")";
    return false;
  }
  double n = (v - p->min) / (p->max - p->min);
  *index = p->index;
  *normalised = static_cast<float>(std::clamp(n, 0.0, 1.0));
  if (plain) *plain = std::clamp(v, lo, hi);
  return true;
}
