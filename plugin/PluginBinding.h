// Chooses the host binding an effect is compiled against, as the build says:
// DUV_FORMAT_VST2 or DUV_FORMAT_LV2, exactly one of them. An effect derives
// from IPluginBinding, takes an IPluginBinding::HostContext in its
// constructor and defines the binding's MakePlugin (and, for LV2, PluginURI).
//
// DUV_BINDING_HOSTS_EDITOR is 1 where the editor lives in the same object as
// the DSP (VST 2), 0 where the format keeps it apart (LV2, whose UI is a
// module of its own).
#pragma once

#if defined(DUV_FORMAT_VST2) == defined(DUV_FORMAT_LV2)
#error "define exactly one of DUV_FORMAT_VST2 and DUV_FORMAT_LV2"
#endif

#if defined(DUV_FORMAT_VST2)
#include "plugin/vst2/VstEntry.h"
using IPluginBinding = IPluginVST;
#define DUV_BINDING_HOSTS_EDITOR 1
#else
#include "plugin/lv2/Lv2Entry.h"
using IPluginBinding = IPluginLV2;
#define DUV_BINDING_HOSTS_EDITOR 0
#endif
