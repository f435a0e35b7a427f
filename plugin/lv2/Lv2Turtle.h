// Writes an LV2 bundle's Turtle description from a live instance's own
// tables, so names, ranges, defaults and presets can never differ from what
// the code uses: manifest.ttl (the plug-in and its presets), the plug-in's
// description (ports as IPluginLV2 lays them out) and presets.ttl (every
// preset slot that holds values, in slot order).
//
// Defaults are the instance's current values, so pass a freshly built one.
// Units follow the parameter labels ("ms", "cents", "Hz", "%"); integer
// parameters are lv2:integer, bool ones lv2:toggled, enum ones
// lv2:enumeration with one scale point per display text.
// With a UI, the manifest names it (ui:X11UI in uiBinary) and the
// description links the plug-in to it and declares what it needs: ui:parent
// to embed; ui:idleInterface, ui:resize and ui:touch when offered; a float
// port notification for every control port it follows (each parameter and
// the status lamp).
// Preset URIs are the plug-in URI + "/presets/" + the name as a symbol with
// '-' for '_' ("wide-snare"); a name seen before gets "-2", "-3", ...
#pragma once

#include <string>

#include "plugin/lv2/IPluginLV2.h"

struct Lv2BundleText {
  std::string manifest;     // manifest.ttl
  std::string description;  // the plug-in's .ttl (descriptionFile)
  std::string presets;      // presets.ttl
};

// uri: the plug-in URI; binaryFile, descriptionFile, uiBinaryFile: file
// names inside the bundle. uiURI or uiBinaryFile null: no UI.
Lv2BundleText MakeLv2BundleText(const IPluginLV2& plug, const char* uri, const char* binaryFile,
                                const char* descriptionFile, const char* uiURI = nullptr,
                                const char* uiBinaryFile = nullptr);

// Shortest decimal text that reads back as exactly v, always with a decimal
// point or exponent ("0.3", "100.0", "1e-07"), as a Turtle double or decimal.
std::string TurtleNumber(double v);
// Text as a Turtle string literal, quotes and backslashes escaped.
std::string TurtleString(const char* text);
