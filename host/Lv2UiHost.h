// A small LV2 UI host for tests: loads a UI module by path (dlopen), takes
// its lv2ui_descriptor and instantiates the UI embedded in a parent X
// window, offering ui:parent, urid:map, ui:touch, ui:resize and (when asked)
// ui:idleInterface. It records
// every port write, touch and resize request the UI makes, and passes port
// events in. The UI may write from its own threads: the records are locked.
#pragma once

#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class Lv2UiModule {
 public:
  // Null *error set when the module cannot be loaded or has no descriptor.
  static Lv2UiModule* Load(const std::string& path, std::string* error);
  const LV2UI_Descriptor* Descriptor() const { return mDescriptor; }

 private:
  void* mHandle = nullptr;  // kept loaded for the process (hosts do the same)
  const LV2UI_Descriptor* mDescriptor = nullptr;
};

class Lv2UiInstance {
 public:
  struct Write {
    std::uint32_t port, size, protocol;
    float value;  // the float written when size is 4, else 0
  };
  struct Touch {
    std::uint32_t port;
    bool grabbed;
  };
  // One record of either kind, in the order the UI made them.
  struct Event {
    bool isTouch;
    Write write;
    Touch touch;
  };

  // parent: an X window id. The flags choose the optional features.
  Lv2UiInstance(const Lv2UiModule& module, const char* pluginURI, unsigned long parent,
                bool offerTouch = true, bool offerResize = true, bool offerIdle = false);
  ~Lv2UiInstance();  // cleans the UI up
  Lv2UiInstance(const Lv2UiInstance&) = delete;
  Lv2UiInstance& operator=(const Lv2UiInstance&) = delete;

  bool Ok() const { return mHandle != nullptr; }
  unsigned long Widget() const;  // the UI's X window id; 0 when none
  void PortEvent(std::uint32_t port, float value);
  void PortEventRaw(std::uint32_t port, std::uint32_t size, std::uint32_t protocol,
                    const void* buffer);
  // The idle interface's answer; -1 when the UI has none.
  int Idle();

  std::vector<Event> Events() const;
  void ClearEvents();
  // The last size the UI asked for through ui:resize; (0, 0) before any.
  void RequestedSize(int* width, int* height) const;

 private:
  static void OnWrite(LV2UI_Controller c, std::uint32_t port, std::uint32_t size,
                      std::uint32_t protocol, const void* buffer);
  static void OnTouch(LV2UI_Feature_Handle h, std::uint32_t port, bool grabbed);
  static int OnResize(LV2UI_Feature_Handle h, int width, int height);
  static std::uint32_t OnMap(void* h, const char* uri);

  const LV2UI_Descriptor* mDescriptor;
  LV2UI_Handle mHandle = nullptr;
  LV2UI_Widget mWidget = nullptr;
  mutable std::mutex mMutex;
  std::vector<Event> mEvents;
  int mWidth = 0, mHeight = 0;
  std::map<std::string, std::uint32_t> mUrids;
  // The features' data, alive as long as the instance (the UI may keep pointers).
  LV2_URID_Map mMap{};
  LV2UI_Touch mTouch{};
  LV2UI_Resize mResize{};
};
