// The LV2 module's entry point and what it needs from the effect.
#pragma once

#include <lv2/core/lv2.h>

#include "plugin/RecursiveLock.h"
#include "plugin/lv2/IPluginLV2.h"

// Defined by the effect: builds one instance. May throw; the entry point catches.
IPluginLV2* MakePlugin(IPluginLV2::HostContext host);
// Defined by the effect: its plug-in URI, the same forever (hosts store it in projects).
const char* PluginURI();
// Defined by the effect: its UI's URI (the Turtle names the UI module with it).
const char* PluginUIURI();

// The process-wide lock that serialises instance creation, as in the VST 2 entry.
RecursiveLock& CreationLock();

// The block length a host announces through the options feature (buf-size's
// maximum, else its nominal length) when it also offers URID mapping; 0 when
// it announces none. features may be null; bad entries are skipped.
int AnnouncedBlockFrames(const LV2_Feature* const* features);

extern "C" {
// Index 0: the one plug-in of this module; null for every other index.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index);
}
