// duv-snapshot: loads the module through the project's host, sets a preset
// and parameters, optionally plays a mouse gesture on the editor, and writes
// the editor's picture as a PNG. Presets are numbered from 1, as in
// duv-render and the manual; --list prints the same list as duv-render.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/EditorDriver.h"
#include "host/ParameterTable.h"
#include "host/PluginListing.h"
#include "host/PngWriter.h"
#include "host/ProgramChoice.h"
#include "host/VstHost.h"
#include "host/X11TestWindow.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: duv-snapshot [options]\n"
               "Draws the DUV editor and saves its picture as a PNG file.\n"
               "\n"
               "  -o PATH               the picture, a name ending in .png (default: editor.png)\n"
               "  -p, --preset NAME|N   factory preset by name or number, 1 to 12 (see --list)\n"
               "  -s, --set NAME=VALUE  parameter in display units, after the preset; repeatable\n"
               "      --gesture \"down X,Y [right] [shift|ctrl|alt]; drag X,Y; up X,Y\"\n"
               "                        mouse steps played on the editor before the picture\n"
               "      --window          open the editor in a real window on the current X display\n"
               "                        and save the server's picture of it (what a user sees)\n"
               "      --plugin PATH     the module to load (default: the one built in this tree)\n"
               "  -l, --list            list presets and parameters, then exit\n"
               "  -h, --help            this text\n"
               "\n"
               "Exit status: 0 done, 1 failed, 2 wrong command line.\n");
}

int Fail(const std::string& message, int code = kExitFailed) {
  std::fprintf(stderr, "duv-snapshot: %s\n", message.c_str());
  return code;
}

// The picture is written as PNG, so its name must say so (any letter case).
bool IsPngName(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".png";
}

}  // namespace

int main(int argc, char** argv) {
  std::string pluginPath = DUV_DEFAULT_PLUGIN, preset, gesture, out = "editor.png";
  std::vector<std::string> assignments;
  bool window = false, list = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    auto valued = [&](std::string* to) {
      const char* v = next();
      if (v) *to = v;
      return v != nullptr;
    };
    std::string v;
    if (a == "-h" || a == "--help") {
      PrintUsage(stdout);
      return 0;
    } else if (a == "-l" || a == "--list") {
      list = true;
    } else if (a == "--window") {
      window = true;
    } else if (a == "--plugin" || a == "--preset" || a == "-p" || a == "--set" || a == "-s" ||
               a == "--gesture" || a == "-o") {
      if (!valued(&v)) return Fail(a + " needs a value (see --help)", kExitUsage);
      if (a == "--plugin") pluginPath = v;
      else if (a == "--preset" || a == "-p") preset = v;
      else if (a == "--set" || a == "-s") assignments.push_back(v);
      else if (a == "--gesture") gesture = v;
      else out = v;
    } else {
      std::fprintf(stderr, "duv-snapshot: unknown argument %s\n", a.c_str());
      PrintUsage(stderr);
      return kExitUsage;
    }
  }
  if (!list && !IsPngName(out))
    return Fail("cannot write " + out + ": the picture is a PNG, so give a name ending in .png",
                kExitUsage);

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
    if (!FindProgram(*plugin, preset, &index, &error)) return Fail(error, kExitUsage);
    plugin->SetProgram(index);
  }
  ParameterTable table = ParameterTable::Read(*plugin);
  for (const std::string& assignment : assignments) {
    int index = 0;
    float normalised = 0;
    if (!table.ParseAssignment(assignment, &index, &normalised, &error))
      return Fail(error, kExitUsage);
    plugin->SetParameter(index, normalised);
  }
  if (list) {
    std::fputs(PluginListing(*plugin).c_str(), stdout);
    plugin->Close();
    return 0;
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
  if (!EditorDriver::ParseGesture(gesture, &steps, &error)) return Fail(error, kExitUsage);

  if (window) {
    // A top-level window stands in for the host's editor frame; the editor
    // opens inside it, draws on its own thread, and the server's pixels are saved.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return Fail("--window needs an X display (DISPLAY is not set)");
    ERect* rect = nullptr;
    if (plugin->Dispatch(effEditGetRect, 0, 0, &rect) != 1 || !rect)
      return Fail("the plug-in reports no editor size");
    X11TestWindow frame(rect->right - rect->left, rect->bottom - rect->top);
    if (!frame.Dpy()) return Fail(std::string("cannot connect to the X display ") + display);
    if (plugin->Dispatch(effEditOpen, 0, 0, frame.IdAsPointer()) != 1)
      return Fail("the editor did not open a window");
    for (const MouseStep& s : steps) editor.Mouse(s);
    // A few timer periods (41 ms each) for the editor's thread to paint.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    XQueryTree(frame.Dpy(), frame.Id(), &root, &parent, &children, &n);
    Window editorWindow = n > 0 ? children[0] : 0;
    if (children) XFree(children);
    int w = 0, h = 0;
    std::vector<std::uint32_t> pixels = editorWindow ? frame.Capture(editorWindow, &w, &h)
                                                     : std::vector<std::uint32_t>{};
    plugin->Dispatch(effEditClose);
    if (pixels.empty()) return Fail("cannot read the editor window back");
    for (std::uint32_t& p : pixels) p |= 0xFF000000u;
    if (!WritePng(out, w, h, pixels.data(), true, &error)) return Fail(error);
    std::printf("%s: %d x %d (window)\n", out.c_str(), w, h);
    plugin->Close();
    return 0;
  }
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
