// duv-info: prints what a VST 2 host sees of a module: identity, the effect
// record's fields, every parameter and program, the canDo answers and the
// chunk size. Numbers a host reads as codes (category, flags, canDo answers)
// are printed with their names beside them.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/VstHost.h"

namespace {

const char kUsage[] =
    "usage: duv-info [--help] MODULE\n"
    "\n"
    "Loads the VST 2 module MODULE (a path; a bare name such as DUV.so means the\n"
    "file in the current folder), creates one instance at 44100 Hz with 1024-frame\n"
    "blocks, and prints what a host reads from it:\n"
    "  identity     effect, vendor and product names, VST version, category\n"
    "  record       the effect record's fields; flags as a number and by name\n"
    "  parameters   number (from 1, as duv-render --list counts; the host's index\n"
    "               is one less), name, display text, label, normalised value 0..1\n"
    "  programs     number (from 1, as the manual and --list count; the host's\n"
    "               program index is one less) and name\n"
    "  canDo        the answer to each question: yes (1), no (-1), don't know (0),\n"
    "               or another raw value as given\n"
    "  state chunk  bytes the plug-in hands the host for a program and a bank\n"
    "\n"
    "Exit status: 0 printed, 1 the module cannot be loaded or started, 2 usage error.\n";

std::string FourChars(VstInt32 id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((static_cast<unsigned>(id) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

// The VST 2 plug-in categories, by the number effGetPlugCategory answers.
const char* CategoryName(VstIntPtr category) {
  static const char* const kNames[] = {
      "unknown",    "effect",      "synth",       "analysis",        "mastering", "spatializer",
      "room fx",    "surround fx", "restoration", "offline process", "shell",     "generator"};
  if (category < 0 || category >= static_cast<VstIntPtr>(sizeof kNames / sizeof kNames[0]))
    return "not a VST 2 category";
  return kNames[category];
}

// The flag bits by name, " | " between them; bits without a name as "bit N".
std::string FlagNames(VstInt32 flags) {
  // Not declared in plugin/VstApi.h: the plug-in never sets it, hosts may read it.
  constexpr VstInt32 kNoSoundInStop = 1 << 9;
  static const struct {
    VstInt32 bit;
    const char* name;
  } kFlags[] = {{effFlagsHasEditor, "effFlagsHasEditor"},
                {effFlagsMonoCapable, "effFlagsMonoCapable"},
                {effFlagsCanReplacing, "effFlagsCanReplacing"},
                {effFlagsProgramChunks, "effFlagsProgramChunks"},
                {effFlagsIsSynth, "effFlagsIsSynth"},
                {kNoSoundInStop, "effFlagsNoSoundInStop"},
                {effFlagsCanDoubleReplacing, "effFlagsCanDoubleReplacing"}};
  std::string names;
  for (int bit = 0; bit < 32; ++bit) {
    const VstInt32 mask = static_cast<VstInt32>(1u << bit);
    if (!(flags & mask)) continue;
    std::string name = "bit " + std::to_string(bit);
    for (const auto& f : kFlags)
      if (f.bit == mask) name = f.name;
    names += (names.empty() ? "" : " | ") + name;
  }
  return names.empty() ? "none" : names;
}

// A canDo answer in words with the raw value beside: in VST 2, 1 is yes, -1
// no and 0 don't know; anything else (a vendor's marker) is shown in hex.
std::string CanDoAnswer(VstIntPtr answer) {
  char raw[32];
  if (answer >= -1 && answer <= 1) {
    std::snprintf(raw, sizeof raw, "%ld", static_cast<long>(answer));
    const char* word = answer == 1 ? "yes" : answer == -1 ? "no" : "don't know";
    return std::string(word) + " (" + raw + ")";
  }
  std::snprintf(raw, sizeof raw, "0x%lX", static_cast<unsigned long>(answer));
  return std::string("other (") + raw + ")";
}

int UsageError(const char* problem) {
  std::fprintf(stderr, "duv-info: %s\n%s", problem, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = nullptr;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsDone && (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h"))) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!optionsDone && !std::strcmp(arg, "--")) {
      optionsDone = true;
    } else if (!optionsDone && arg[0] == '-' && arg[1] != '\0') {
      return UsageError((std::string("unknown option ") + arg).c_str());
    } else if (path) {
      return UsageError("one module at a time");
    } else {
      path = arg;
    }
  }
  if (!path) return UsageError("no module given");

  std::string error;
  auto module = VstModule::Load(path, &error);
  if (!module) {
    std::fprintf(stderr, "duv-info: cannot load %s: %s\n", path, error.c_str());
    return 1;
  }
  auto plugin = VstPlugin::Create(*module, HostConfig{}, &error);
  if (!plugin) {
    std::fprintf(stderr, "duv-info: %s\n", error.c_str());
    return 1;
  }
  plugin->SetSampleRate(44100.0f);
  plugin->SetBlockSize(1024);
  plugin->Open();
  const AEffect* e = plugin->Effect();

  std::printf("module      %s\n", path);
  std::printf("effect      %s\n", plugin->EffectName().c_str());
  std::printf("vendor      %s\n", plugin->VendorString().c_str());
  std::printf("product     %s\n", plugin->ProductString().c_str());
  std::printf("VST version %ld\n", static_cast<long>(plugin->Dispatch(effGetVstVersion)));
  const VstIntPtr category = plugin->Dispatch(effGetPlugCategory);
  std::printf("category    %ld (%s)\n", static_cast<long>(category), CategoryName(category));
  std::printf("\nrecord\n");
  std::printf("  magic          0x%08X '%s'\n", static_cast<unsigned>(e->magic),
              FourChars(e->magic).c_str());
  std::printf("  uniqueID       0x%08X '%s'\n", static_cast<unsigned>(e->uniqueID),
              FourChars(e->uniqueID).c_str());
  std::printf("  version        %d\n", e->version);
  std::printf("  flags          0x%X (%s)\n", static_cast<unsigned>(e->flags),
              FlagNames(e->flags).c_str());
  std::printf("  numInputs      %d\n", e->numInputs);
  std::printf("  numOutputs     %d\n", e->numOutputs);
  std::printf("  numParams      %d\n", e->numParams);
  std::printf("  numPrograms    %d\n", e->numPrograms);
  std::printf("  initialDelay   %d samples\n", e->initialDelay);
  std::printf("  ioRatio        %g\n", static_cast<double>(e->ioRatio));
  ERect rect{};
  if (plugin->EditorRect(&rect))
    std::printf("  editor         %d x %d\n", rect.right - rect.left, rect.bottom - rect.top);
  else
    std::printf("  editor         none\n");

  // Numbered from 1 as everywhere else a person reads them; the host's own
  // indices (from 0) are one less.
  std::printf("\nparameters (number, name, display, label, normalised value)\n");
  for (int i = 0; i < e->numParams; ++i) {
    std::printf("  %2d  %-14s %10s %-6s (normalised %.6f)\n", i + 1, plugin->ParamName(i).c_str(),
                plugin->ParamDisplay(i).c_str(), plugin->ParamLabel(i).c_str(),
                static_cast<double>(plugin->GetParameter(i)));
  }
  std::printf("\nprograms (number, name)\n");
  for (int i = 0; i < e->numPrograms; ++i)
    std::printf("  %2d  %s\n", i + 1, plugin->ProgramNameIndexed(i).c_str());

  std::printf("\ncanDo\n");
  for (const char* text : {"receiveVstTimeInfo", "receiveVstEvents", "receiveVstMidiEvent",
                           "sendVstEvents", "sendVstMidiEvent", "bypass", "hasVendorExtensions"})
    std::printf("  %-22s %s\n", text, CanDoAnswer(plugin->CanDo(text)).c_str());

  std::printf("\nstate chunk  %zu bytes (program), %zu bytes (bank)\n",
              plugin->GetChunk(true).size(), plugin->GetChunk(false).size());
  plugin->Close();
  return 0;
}
