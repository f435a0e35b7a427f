// Lookup of embedded resources by (type, id): the stand-in for a module's
// resource section. A ResourceModule is a table of EmbeddedResource entries;
// the module's own one holds the images compiled in from resources/img/.
// Lookups are thread-safe; setResourceModule is meant for start-up and tests.
#pragma once

#include "resources/EmbeddedResources.h"

#include <cstddef>

namespace duv {

struct ResourceModule {
    const EmbeddedResource* entries = nullptr;
    std::size_t count = 0;
};

// The table compiled into this module.
const ResourceModule* embeddedResourceModule();

// The module loadImageResource searches: the one last set, else the embedded one.
// Passing null restores the embedded one. The module must outlive its use.
void setResourceModule(const ResourceModule* module);
const ResourceModule* currentResourceModule();

// Finds (type, id) in module (type compared exactly, e.g. "PNG"). Answers the
// entry, or null when the module is null or has no such resource.
const EmbeddedResource* findResource(const ResourceModule* module, const char* type, int id);

} // namespace duv
