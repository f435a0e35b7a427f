// The 32-bit mode word of every raster operation and the opacity-to-weight rule.
#pragma once

#include <cstdint>

namespace duv {

// Bits 0-7: combiner; bits 8-15: filter; bit 16: use source alpha.
using BlitMode = std::uint32_t;

enum BlitCombiner : std::uint32_t {
    kCombinerCopy = 0,
    kCombinerAdd = 1,
    kCombinerDodge = 2,
    kCombinerMultiply = 3,
    kCombinerOverlay = 4,
    kCombinerHsvAdjust = 5,
    kCombinerCount = 6,
    // 0xF0..0xFF: ChannelCopy (blit only): bits 0-1 source byte, bits 2-3 destination byte.
    kCombinerChannelCopy = 0xF0,
};

constexpr BlitMode kBlitCombinerMask = 0xFF;
constexpr BlitMode kBlitFilterMask = 0xFF00;
constexpr BlitMode kBlitBilinear = 0x100;
constexpr BlitMode kBlitUseSourceAlpha = 0x10000;
// Combiner plus variant: 0..5 and 0x10000..0x10005 are the drawable selections.
constexpr BlitMode kBlitSelectionMask = 0x100FF;

constexpr bool isDrawableSelection(BlitMode selection)
{
    return (selection & kBlitCombinerMask) < kCombinerCount;
}

// Weight limit: opacities beyond +-64 are treated as +-64, so that the
// float-to-int conversion is always defined and every combiner product fits
// 64-bit arithmetic (fills pass the weight itself as an alpha value).
constexpr int kMaxWeight = 16384;

// True for an opacity that draws nothing: exactly 0, or not a number.
inline bool opacityDrawsNothing(float alpha) { return !(alpha == alpha) || alpha == 0.0f; }

// w = trunc(alpha x 256): 1.0 gives 256. Clamped to +-kMaxWeight; NaN gives 0.
inline int weightFromOpacity(float alpha)
{
    if (!(alpha == alpha))
        return 0;
    float scaled = alpha * 256.0f;
    if (scaled > float(kMaxWeight))
        return kMaxWeight;
    if (scaled < -float(kMaxWeight))
        return -kMaxWeight;
    return int(scaled);
}

// Weight for circles and arcs: trunc(alpha x 255), clamped the same way.
inline int circleWeightFromOpacity(float alpha)
{
    if (!(alpha == alpha))
        return 0;
    float scaled = alpha * 255.0f;
    if (scaled > float(kMaxWeight))
        return kMaxWeight;
    if (scaled < -float(kMaxWeight))
        return -kMaxWeight;
    return int(scaled);
}

} // namespace duv
