// The second export, compiled into the module only (a program has its own main).
#include "plugin/vst2/VstEntry.h"

// Older hosts look the entry up as "main"; C++ cannot define a function of
// that name with this signature, so it is given the symbol name directly.
extern "C" __attribute__((visibility("default"))) AEffect* VSTMainEntry(
    audioMasterCallback hostCallback) __asm__("main");
extern "C" AEffect* VSTMainEntry(audioMasterCallback hostCallback) {
  return VSTPluginMain(hostCallback);
}
