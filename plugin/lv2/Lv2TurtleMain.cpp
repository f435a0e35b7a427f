// Build-time program, linked with an effect: writes the LV2 bundle's Turtle
// files from a freshly built instance (its own parameter and preset tables).
//   usage: <program> <bundle folder> <binary file name> <description file name>
//          [<UI binary file name>]
// Exits 0 when all three files were written, 1 otherwise.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "plugin/lv2/Lv2Entry.h"
#include "plugin/lv2/Lv2Turtle.h"

namespace {
bool WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: %s <bundle folder> <binary file> <description file> [<UI binary file>]\n",
                 argv[0]);
    return 1;
  }
  std::unique_ptr<IPluginLV2> plug(MakePlugin(IPluginLV2::HostContext{}));
  if (!plug) return 1;
  plug->EnsureOnePreset();
  const Lv2BundleText text = MakeLv2BundleText(*plug, PluginURI(), argv[2], argv[3],
                                               argc == 5 ? PluginUIURI() : nullptr,
                                               argc == 5 ? argv[4] : nullptr);
  const std::string dir = std::string(argv[1]) + "/";
  const bool ok = WriteFile(dir + "manifest.ttl", text.manifest) &&
                  WriteFile(dir + argv[3], text.description) &&
                  WriteFile(dir + "presets.ttl", text.presets);
  return ok ? 0 : 1;
}
