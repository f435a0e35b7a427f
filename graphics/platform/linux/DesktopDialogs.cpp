#include "graphics/platform/linux/DesktopDialogs.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "graphics/platform/linux/DesktopProcess.h"

namespace duv_desktop {

bool ChooseColor(IColor* color, const char* prompt) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "#%02x%02x%02x", color->R & 0xFF, color->G & 0xFF, color->B & 0xFF);
  std::vector<std::string> argv;
  if (ProgramOnPath("zenity")) {
    argv = {"zenity", "--color-selection", std::string("--color=") + hex};
    if (prompt && *prompt) argv.push_back(std::string("--title=") + prompt);
  } else if (ProgramOnPath("kdialog")) {
    argv = {"kdialog", "--getcolor", "--default", hex};
    if (prompt && *prompt) argv.insert(argv.end(), {"--title", prompt});
  } else {
    return false;
  }
  std::string out;
  if (!RunForOutput(argv, &out)) return false;
  // zenity answers rgb() or rgba() (by version), kdialog #rrggbb.
  int r = 0, g = 0, b = 0;
  if (std::sscanf(out.c_str(), " #%02x%02x%02x", &r, &g, &b) == 3 ||
      std::sscanf(out.c_str(), " rgb(%d,%d,%d)", &r, &g, &b) == 3 ||
      std::sscanf(out.c_str(), " rgba(%d,%d,%d", &r, &g, &b) == 3) {
    color->R = std::clamp(r, 0, 255);
    color->G = std::clamp(g, 0, 255);
    color->B = std::clamp(b, 0, 255);
    return true;
  }
  return false;
}

std::string ChooseFile(int action, const std::string& directory) {
  std::string dir = directory;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  std::vector<std::string> argv;
  if (ProgramOnPath("zenity")) {
    argv = {"zenity", "--file-selection", "--filename=" + dir};
    if (action == 1) argv.insert(argv.end(), {"--save", "--confirm-overwrite"});
  } else if (ProgramOnPath("kdialog")) {
    argv = {"kdialog", action == 1 ? "--getsavefilename" : "--getopenfilename", dir.empty() ? "." : dir};
  } else {
    return std::string();
  }
  std::string path;
  if (!RunForOutput(argv, &path)) return std::string();
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return path;
}

}  // namespace duv_desktop
