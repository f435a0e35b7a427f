// The module's entry points and what they need from the effect.
#pragma once

#include "plugin/vst2/IPluginVST.h"

// Defined by the effect: builds one instance. May throw; the entry point catches.
IPluginVST* MakePlugin(audioMasterCallback hostCallback);

// The process-wide lock that serialises instance creation (it guards the
// process-wide tables and caches a first construction fills). Exists before
// the first creation; never held after the entry point returns.
RecursiveLock& CreationLock();

extern "C" {
// Returns the new instance's record, or null when it cannot be built.
__attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback hostCallback);
}
