// duv-snapshot: loads the module through the project's host, sets a preset
// and parameters, optionally plays a mouse gesture on the editor, and writes
// the editor's picture as a PNG.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/EditorDriver.h"
#include "host/ParameterTable.h"
#include "host/PngWriter.h"
#include "host/ProgramChoice.h"
#include "host/VstHost.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: duv-snapshot [--plugin PATH] [--preset NAME|NUMBER] [--set NAME=VALUE]...\n"
               "                    [--gesture \"down X,Y [right] [shift|ctrl|alt]; drag X,Y; up X,Y\"]\n"
               "                    [-o OUT.png]\n");
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "duv-snapshot: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string pluginPath = DUV_DEFAULT_PLUGIN, preset, gesture, out = "editor.png";
  std::vector<std::string> assignments;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (a == "--plugin" && (v = next())) pluginPath = v;
    else if (a == "--preset" && (v = next())) preset = v;
    else if (a == "--set" && (v = next())) assignments.push_back(v);
    else if (a == "--gesture" && (v = next())) gesture = v;
    else if (a == "-o" && (v = next())) out = v;
    else return Usage();
  }

  std::string error;
  auto module = VstModule::Load(pluginPath, &error);
  if (!module) return Fail("cannot load " + pluginPath + ": " + error);
  auto plugin = VstPlugin::Create(*module, HostConfig{}, &error);
  if (!plugin) return Fail(error);
  plugin->SetSampleRate(44100.0f);
  plugin->SetBlockSize(512);
  plugin->Open();

  if (!preset.empty()) {
    int index = 0;
    if (!FindProgram(*plugin, preset, &index, &error)) return Fail(error);
    plugin->SetProgram(index);
  }
  ParameterTable table = ParameterTable::Read(*plugin);
  for (const std::string& assignment : assignments) {
    int index = 0;
    float normalised = 0;
    if (!table.ParseAssignment(assignment, &index, &normalised, &error)) return Fail(error);
    plugin->SetParameter(index, normalised);
  }

  // A quarter second of silence lets the faded delay changes that the new
  // values started run out, so the bypass lamp shows what a user would see.
  {
    std::vector<float> silence(512, 0.0f), l(512), r(512);
    float* ins[] = {silence.data(), silence.data()};
    float* outs[] = {l.data(), r.data()};
    plugin->MainsChanged(true);
    for (int done = 0; done < 11025; done += 512) plugin->ProcessReplacing(ins, outs, 512);
  }

  EditorDriver editor(*plugin);
  std::vector<MouseStep> steps;
  if (!EditorDriver::ParseGesture(gesture, &steps, &error)) return Fail(error);
  editor.Tick();
  for (const MouseStep& s : steps) {
    editor.Mouse(s);
    editor.Tick();
  }

  int w = 0, h = 0;
  std::vector<std::uint32_t> pixels;
  if (!editor.Snapshot(&w, &h, &pixels)) return Fail("the plug-in has no editor to draw");
  if (!WritePng(out, w, h, pixels.data(), true, &error)) return Fail(error);
  std::printf("%s: %d x %d\n", out.c_str(), w, h);
  plugin->Close();
  return 0;
}
