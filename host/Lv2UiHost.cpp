#include "host/Lv2UiHost.h"

#include <dlfcn.h>
#include <lv2/urid/urid.h>

#include <cstring>

Lv2UiModule* Lv2UiModule::Load(const std::string& path, std::string* error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    if (error) *error = dlerror();
    return nullptr;
  }
  using Entry = const LV2UI_Descriptor* (*)(uint32_t);
  auto entry = reinterpret_cast<Entry>(dlsym(handle, "lv2ui_descriptor"));
  const LV2UI_Descriptor* descriptor = entry ? entry(0) : nullptr;
  if (!descriptor) {
    if (error) *error = "no lv2ui_descriptor(0) in " + path;
    dlclose(handle);
    return nullptr;
  }
  auto* module = new Lv2UiModule;
  module->mHandle = handle;
  module->mDescriptor = descriptor;
  return module;
}

Lv2UiInstance::Lv2UiInstance(const Lv2UiModule& module, const char* pluginURI,
                             unsigned long parent, bool offerTouch, bool offerResize,
                             bool offerIdle)
    : mDescriptor(module.Descriptor()) {
  mMap = {this, OnMap};
  mTouch = {this, OnTouch};
  mResize = {this, OnResize};
  LV2_Feature parentFeature{LV2_UI__parent, reinterpret_cast<void*>(parent)};
  LV2_Feature mapFeature{LV2_URID__map, &mMap};
  LV2_Feature touchFeature{LV2_UI__touch, &mTouch};
  LV2_Feature resizeFeature{LV2_UI__resize, &mResize};
  LV2_Feature idleFeature{LV2_UI__idleInterface, nullptr};
  std::vector<const LV2_Feature*> features{&parentFeature, &mapFeature};
  if (offerTouch) features.push_back(&touchFeature);
  if (offerResize) features.push_back(&resizeFeature);
  if (offerIdle) features.push_back(&idleFeature);
  features.push_back(nullptr);
  mHandle = mDescriptor->instantiate(mDescriptor, pluginURI, "", OnWrite, this, &mWidget,
                                     features.data());
}

Lv2UiInstance::~Lv2UiInstance() {
  if (mHandle) mDescriptor->cleanup(mHandle);
}

unsigned long Lv2UiInstance::Widget() const {
  return reinterpret_cast<unsigned long>(mWidget);
}

void Lv2UiInstance::PortEvent(std::uint32_t port, float value) {
  PortEventRaw(port, sizeof value, 0, &value);
}

void Lv2UiInstance::PortEventRaw(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                                 const void* buffer) {
  if (mHandle && mDescriptor->port_event)
    mDescriptor->port_event(mHandle, port, size, protocol, buffer);
}

int Lv2UiInstance::Idle() {
  const auto* idle = mDescriptor->extension_data
                         ? static_cast<const LV2UI_Idle_Interface*>(
                               mDescriptor->extension_data(LV2_UI__idleInterface))
                         : nullptr;
  return idle && mHandle ? idle->idle(mHandle) : -1;
}

std::vector<Lv2UiInstance::Event> Lv2UiInstance::Events() const {
  std::lock_guard<std::mutex> lock(mMutex);
  return mEvents;
}

void Lv2UiInstance::ClearEvents() {
  std::lock_guard<std::mutex> lock(mMutex);
  mEvents.clear();
}

void Lv2UiInstance::RequestedSize(int* width, int* height) const {
  std::lock_guard<std::mutex> lock(mMutex);
  *width = mWidth;
  *height = mHeight;
}

void Lv2UiInstance::OnWrite(LV2UI_Controller c, std::uint32_t port, std::uint32_t size,
                            std::uint32_t protocol, const void* buffer) {
  auto* self = static_cast<Lv2UiInstance*>(c);
  Event e{};
  e.write = {port, size, protocol, 0.0f};
  if (size == sizeof(float) && buffer) std::memcpy(&e.write.value, buffer, sizeof(float));
  std::lock_guard<std::mutex> lock(self->mMutex);
  self->mEvents.push_back(e);
}

void Lv2UiInstance::OnTouch(LV2UI_Feature_Handle h, std::uint32_t port, bool grabbed) {
  auto* self = static_cast<Lv2UiInstance*>(h);
  Event e{};
  e.isTouch = true;
  e.touch = {port, grabbed};
  std::lock_guard<std::mutex> lock(self->mMutex);
  self->mEvents.push_back(e);
}

int Lv2UiInstance::OnResize(LV2UI_Feature_Handle h, int width, int height) {
  auto* self = static_cast<Lv2UiInstance*>(h);
  std::lock_guard<std::mutex> lock(self->mMutex);
  self->mWidth = width;
  self->mHeight = height;
  return 0;
}

std::uint32_t Lv2UiInstance::OnMap(void* h, const char* uri) {
  auto* self = static_cast<Lv2UiInstance*>(h);
  std::lock_guard<std::mutex> lock(self->mMutex);
  auto it = self->mUrids.find(uri ? uri : "");
  if (it != self->mUrids.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(self->mUrids.size() + 1);
  self->mUrids[uri ? uri : ""] = id;
  return id;
}
