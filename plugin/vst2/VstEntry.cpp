#include "plugin/vst2/VstEntry.h"

#include <exception>

RecursiveLock& CreationLock() {
  static RecursiveLock lock;  // built on first use, thread-safely, destroyed at exit
  return lock;
}

extern "C" AEffect* VSTPluginMain(audioMasterCallback hostCallback) {
  LockGuard guard(CreationLock());
  IPluginVST* plug = nullptr;
  try {
    plug = MakePlugin(hostCallback);
    if (!plug) return nullptr;
    plug->EnsureOnePreset();
  } catch (...) {
    delete plug;
    return nullptr;
  }
  AEffect* effect = plug->GetAEffect();
  if (effect->numPrograms < 1) effect->numPrograms = 1;
  return effect;
}
