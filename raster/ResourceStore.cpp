#include "raster/ResourceStore.h"

#include <atomic>
#include <cstring>

namespace duv {

namespace {
std::atomic<const ResourceModule*> sCurrent{nullptr};
}

const ResourceModule* embeddedResourceModule()
{
    static const ResourceModule sModule = [] {
        ResourceModule m;
        m.entries = embeddedResourceTable(&m.count);
        return m;
    }();
    return &sModule;
}

void setResourceModule(const ResourceModule* module) { sCurrent.store(module); }

const ResourceModule* currentResourceModule()
{
    const ResourceModule* m = sCurrent.load();
    return m ? m : embeddedResourceModule();
}

const EmbeddedResource* findResource(const ResourceModule* module, const char* type, int id)
{
    if (!module || !type || !module->entries)
        return nullptr;
    for (std::size_t i = 0; i < module->count; ++i) {
        const EmbeddedResource& e = module->entries[i];
        if (e.id == id && e.type && std::strcmp(e.type, type) == 0 && e.data)
            return &e;
    }
    return nullptr;
}

} // namespace duv
