#include "host/ProgramChoice.h"

#include <cctype>

namespace {

std::string Folded(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t");
  std::string t = s.substr(b, e - b + 1);
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

}  // namespace

bool FindProgram(VstPlugin& plugin, const std::string& text, int* index, std::string* error) {
  std::vector<std::string> names;
  for (int i = 0; i < plugin.Effect()->numPrograms; ++i) names.push_back(plugin.ProgramNameIndexed(i));
  return FindPreset(names, text, index, error);
}

bool FindPreset(const std::vector<std::string>& names, const std::string& text, int* index,
                std::string* error) {
  const int count = static_cast<int>(names.size());
  if (count == 0) {
    *error = "the plug-in has no presets to choose from";
    return false;
  }
  std::string wanted = Folded(text);
  bool digits = !wanted.empty() && wanted.size() <= 9;
  for (char c : wanted) digits = digits && std::isdigit(static_cast<unsigned char>(c));
  if (digits) {
    int n = std::stoi(wanted);
    if (n >= PresetNumber(0) && n <= PresetNumber(count - 1)) {
      *index = ProgramIndex(n);
      return true;
    }
    *error = "there is no preset " + wanted + " (presets are " + std::to_string(PresetNumber(0)) +
             " to " + std::to_string(PresetNumber(count - 1)) + ", see --list)";
    return false;
  }
  for (int i = 0; i < count; ++i) {
    if (Folded(names[static_cast<std::size_t>(i)]) == wanted) {
      *index = i;
      return true;
    }
  }
  *error = "unknown preset '" + text + "' (see --list)";
  return false;
}

std::string PresetText(VstPlugin& plugin, int programIndex) {
  return std::to_string(PresetNumber(programIndex)) + " " + plugin.ProgramNameIndexed(programIndex);
}
