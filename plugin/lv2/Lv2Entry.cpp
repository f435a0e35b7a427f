#include "plugin/lv2/Lv2Entry.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstring>

#include "plugin/Trace.h"

RecursiveLock& CreationLock() {
  static RecursiveLock lock;  // built on first use, thread-safely, destroyed at exit
  return lock;
}

int AnnouncedBlockFrames(const LV2_Feature* const* features) {
  if (!features) return 0;
  const LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (const LV2_Feature* const* f = features; *f; ++f) {
    if (!(*f)->URI) continue;
    if (!std::strcmp((*f)->URI, LV2_URID__map)) map = static_cast<const LV2_URID_Map*>((*f)->data);
    if (!std::strcmp((*f)->URI, LV2_OPTIONS__options))
      options = static_cast<const LV2_Options_Option*>((*f)->data);
  }
  if (!map || !map->map || !options) return 0;
  const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
  const LV2_URID maxLength = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
  const LV2_URID nominalLength = map->map(map->handle, LV2_BUF_SIZE__nominalBlockLength);
  int maxFrames = 0, nominalFrames = 0;
  for (const LV2_Options_Option* o = options; o->key || o->value; ++o) {
    // Only whole-number instance options of the right size mean what they say.
    if (o->context != LV2_OPTIONS_INSTANCE || o->type != atomInt || o->size != sizeof(int32_t) ||
        !o->value)
      continue;
    int32_t frames;
    std::memcpy(&frames, o->value, sizeof frames);
    if (frames <= 0) continue;
    if (o->key == maxLength) maxFrames = frames;
    if (o->key == nominalLength) nominalFrames = frames;
  }
  return maxFrames > 0 ? maxFrames : nominalFrames;
}

namespace {

IPluginLV2* PluginOf(LV2_Handle instance) { return static_cast<IPluginLV2*>(instance); }

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  TRACE("lv2_descriptor::Instantiate", "%f", rate);
  // A rate the effect cannot run at would divide by zero or overflow later: no instance.
  if (!std::isfinite(rate) || rate <= 0.0 || rate > IPluginBase::kMaxSampleRate) return nullptr;
  LockGuard guard(CreationLock());
  IPluginLV2* plug = nullptr;
  try {
    IPluginLV2::HostContext host;
    host.sampleRate = rate;
    host.maxBlockFrames = AnnouncedBlockFrames(features);
    plug = MakePlugin(host);
    if (plug && !plug->SupportsSampleRate(rate)) {
      delete plug;
      plug = nullptr;
    }
    if (plug) plug->EnsureOnePreset();
  } catch (...) {
    delete plug;
    return nullptr;
  }
  return plug;
}

void ConnectPort(LV2_Handle instance, uint32_t port, void* data) {
  if (IPluginLV2* plug = PluginOf(instance)) plug->ConnectPort(port, data);
}

void Activate(LV2_Handle instance) {
  if (IPluginLV2* plug = PluginOf(instance)) plug->ActivateInstance();
}

void Run(LV2_Handle instance, uint32_t frames) {
  if (IPluginLV2* plug = PluginOf(instance)) plug->RunInstance(frames);
}

void Deactivate(LV2_Handle instance) {
  if (IPluginLV2* plug = PluginOf(instance)) plug->DeactivateInstance();
}

void Cleanup(LV2_Handle instance) {
  try {
    delete PluginOf(instance);
  } catch (...) {
  }
}

const void* ExtensionData(const char*) { return nullptr; }

}  // namespace

extern "C" const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  static const LV2_Descriptor descriptor = {PluginURI(), Instantiate, ConnectPort, Activate,
                                            Run,         Deactivate,  Cleanup,     ExtensionData};
  return index == 0 ? &descriptor : nullptr;
}
