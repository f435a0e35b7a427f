// Test hook of the raster library's single dispatch point: when set, every
// operation runs its plain per-pixel reference combiner instead of the
// specialised loops. Tests only; set it while no drawing is in progress.
#pragma once

namespace duv {

void setRasterReferenceOnly(bool referenceOnly);
bool rasterReferenceOnly();

} // namespace duv
