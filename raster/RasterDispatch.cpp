#include "raster/RasterDispatch.h"

#include <atomic>

namespace duv {

namespace {
std::atomic<bool> sReferenceOnly{false};
}

void setRasterReferenceOnly(bool referenceOnly) { sReferenceOnly.store(referenceOnly, std::memory_order_relaxed); }
bool rasterReferenceOnly() { return sReferenceOnly.load(std::memory_order_relaxed); }

} // namespace duv
