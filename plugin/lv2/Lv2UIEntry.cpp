#include "plugin/lv2/Lv2UIEntry.h"

#include <cstdint>
#include <cstring>

#include "plugin/Trace.h"

namespace {

IPluginLV2UI* PluginOf(LV2UI_Handle ui) { return static_cast<IPluginLV2UI*>(ui); }

const void* FindFeature(const LV2_Feature* const* features, const char* uri) {
  if (!features) return nullptr;
  for (const LV2_Feature* const* f = features; *f; ++f)
    if ((*f)->URI && !std::strcmp((*f)->URI, uri)) return (*f)->data;
  return nullptr;
}

void CloseAndDelete(IPluginLV2UI* plug) {
  if (!plug) return;
  if (IPluginEditor* editor = plug->GetGUI()) {
    LockGuard guard(plug->Lock());
    plug->EditorClosed();
    editor->CloseWindow();
  }
  delete plug;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginURI, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  TRACE("lv2ui_descriptor::Instantiate", "%s", pluginURI ? pluginURI : "");
  if (widget) *widget = nullptr;
  if (pluginURI && std::strcmp(pluginURI, PluginURI()) != 0) return nullptr;
  void* parent = const_cast<void*>(FindFeature(features, LV2_UI__parent));
  if (!parent) return nullptr;  // nowhere to embed
  IPluginLV2UI* plug = nullptr;
  try {
    IPluginLV2UI::HostContext host;
    host.write = write;
    host.controller = controller;
    // The feature's presence says the host calls idle; its data is unused.
    for (const LV2_Feature* const* f = features; *f; ++f)
      if ((*f)->URI && !std::strcmp((*f)->URI, LV2_UI__idleInterface)) host.deferToIdle = true;
    if (const auto* touch = static_cast<const LV2UI_Touch*>(FindFeature(features, LV2_UI__touch))) {
      host.touch = touch->touch;
      host.touchHandle = touch->handle;
    }
    plug = MakeUIPlugin(host);
    IPluginEditor* editor = plug ? plug->GetGUI() : nullptr;
    if (!editor) {
      delete plug;
      return nullptr;
    }
    void* window = nullptr;
    {
      LockGuard guard(plug->Lock());
      window = editor->OpenWindow(parent);
      if (window) plug->EditorOpened();
    }
    if (!window) {
      CloseAndDelete(plug);
      return nullptr;
    }
    if (const auto* resize = static_cast<const LV2UI_Resize*>(FindFeature(features, LV2_UI__resize)))
      if (resize->ui_resize) resize->ui_resize(resize->handle, editor->Width(), editor->Height());
    if (widget) *widget = window;
  } catch (...) {
    try {
      CloseAndDelete(plug);
    } catch (...) {
    }
    return nullptr;
  }
  return plug;
}

void Cleanup(LV2UI_Handle ui) {
  try {
    CloseAndDelete(PluginOf(ui));
  } catch (...) {
  }
}

void PortEvent(LV2UI_Handle ui, uint32_t port, uint32_t size, uint32_t protocol,
               const void* buffer) {
  IPluginLV2UI* plug = PluginOf(ui);
  if (!plug) return;
  try {
    plug->PortEvent(port, size, protocol, buffer);
  } catch (...) {
  }
}

int Idle(LV2UI_Handle ui) {
  IPluginLV2UI* plug = PluginOf(ui);
  if (!plug) return 1;
  try {
    plug->FlushToHost();
  } catch (...) {
  }
  IPluginEditor* editor = plug->GetGUI();
  // The window's own thread handles events; here only whether it is still there.
  return editor && editor->WindowIsOpen() ? 0 : 1;
}

const void* ExtensionData(const char* uri) {
  static const LV2UI_Idle_Interface idle = {Idle};
  if (uri && !std::strcmp(uri, LV2_UI__idleInterface)) return &idle;
  return nullptr;
}

}  // namespace

extern "C" const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  static const LV2UI_Descriptor descriptor = {PluginUIURI(), Instantiate, Cleanup, PortEvent,
                                              ExtensionData};
  return index == 0 ? &descriptor : nullptr;
}
