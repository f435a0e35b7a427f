// duv-info: prints what a VST 2 host sees of a module: identity, the effect
// record's fields, every parameter and program, the canDo answers and the
// chunk size.
#include <cstdio>
#include <string>

#include "host/VstHost.h"

namespace {

std::string FourChars(VstInt32 id) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((static_cast<unsigned>(id) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

int Usage() {
  std::fprintf(stderr, "usage: duv-info <module.so>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Usage();
  std::string error;
  auto module = VstModule::Load(argv[1], &error);
  if (!module) {
    std::fprintf(stderr, "duv-info: cannot load %s: %s\n", argv[1], error.c_str());
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

  std::printf("module      %s\n", argv[1]);
  std::printf("effect      %s\n", plugin->EffectName().c_str());
  std::printf("vendor      %s\n", plugin->VendorString().c_str());
  std::printf("product     %s\n", plugin->ProductString().c_str());
  std::printf("VST version %ld\n", static_cast<long>(plugin->Dispatch(effGetVstVersion)));
  std::printf("category    %ld\n", static_cast<long>(plugin->Dispatch(effGetPlugCategory)));
  std::printf("\nrecord\n");
  std::printf("  magic          0x%08X\n", static_cast<unsigned>(e->magic));
  std::printf("  uniqueID       0x%08X '%s'\n", static_cast<unsigned>(e->uniqueID),
              FourChars(e->uniqueID).c_str());
  std::printf("  version        %d\n", e->version);
  std::printf("  flags          0x%X\n", static_cast<unsigned>(e->flags));
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

  std::printf("\nparameters\n");
  for (int i = 0; i < e->numParams; ++i) {
    std::printf("  %2d  %-14s %10s %-6s (normalised %.6f)\n", i, plugin->ParamName(i).c_str(),
                plugin->ParamDisplay(i).c_str(), plugin->ParamLabel(i).c_str(),
                static_cast<double>(plugin->GetParameter(i)));
  }
  std::printf("\nprograms\n");
  for (int i = 0; i < e->numPrograms; ++i)
    std::printf("  %2d  %s\n", i, plugin->ProgramNameIndexed(i).c_str());

  std::printf("\ncanDo\n");
  for (const char* text : {"receiveVstTimeInfo", "receiveVstEvents", "receiveVstMidiEvent",
                           "sendVstEvents", "sendVstMidiEvent", "bypass", "hasVendorExtensions"})
    std::printf("  %-22s 0x%lX\n", text, static_cast<unsigned long>(plugin->CanDo(text)));

  std::printf("\nstate chunk  %zu bytes (program), %zu bytes (bank)\n",
              plugin->GetChunk(true).size(), plugin->GetChunk(false).size());
  plugin->Close();
  return 0;
}
