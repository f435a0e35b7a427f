// The LV2 UI module's entry point and what it needs from the effect.
//
// instantiate needs ui:parent (the host's X window to embed in) and answers
// null without it, without a display or when the effect throws. ui:touch and
// ui:resize are used when offered. The editor's window has its own thread
// for events and redraws. A host that offers ui:idleInterface gets the
// editor's gestures from idle, on its own thread, and learns whether the
// window still exists (0) or is gone (1); a host without it gets them from
// the editor's thread and loses nothing.
#pragma once

#include <lv2/ui/ui.h>

#include "plugin/lv2/IPluginLV2UI.h"

// Defined by the effect: the UI-side plug-in with its editor attached (its
// graphics object is GetGUI()). May throw; the entry point catches.
IPluginLV2UI* MakeUIPlugin(IPluginLV2UI::HostContext host);
// Defined by the effect: the plug-in URI (the DSP's) and the UI's own URI.
const char* PluginURI();
const char* PluginUIURI();

extern "C" {
// Index 0: the one UI of this module; null for every other index.
LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index);
}
