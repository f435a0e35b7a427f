// The six pixel combiners and their source-alpha variants: the plain, literal
// per-pixel reference of the exact integer formulas, and the integer HSV
// conversions HsvAdjust uses. The fast loops (CombinerKernels.h) are held to
// these bit for bit by tests.
//
// All values are ints; "/" truncates toward zero; each result channel is
// clamped to 0..255. Weights are in 1/256 steps (256 = full), |w| <= kMaxWeight.
// Thread-safe (pure functions over a constant table).
#pragma once

#include "raster/BlitMode.h"
#include "raster/Pixel.h"

namespace duv {

// A source colour as four ints: the alpha "channel" of fillRect is the weight
// itself and may exceed 255, so it is not always a byte.
struct SourceChannels {
    int b = 0, g = 0, r = 0, a = 0;
};

constexpr SourceChannels channelsOf(Pixel p)
{
    return SourceChannels{pixelB(p), pixelG(p), pixelR(p), pixelA(p)};
}

// One destination channel d with one source channel s at weight w (combiners
// 0..4; HsvAdjust works on whole pixels).
int combineChannelReference(int combiner, int d, int s, int w);

// Combines source s into destination d. `selection` is mode & 0x100FF: 0..5, or
// 0x10000..0x10005 for the source-alpha variants (w' = w * (a + 1) / 256 with a
// = s.a; Copy, Add and Multiply leave d untouched when a = 0). Any other
// selection returns d unchanged.
Pixel combineReference(BlitMode selection, Pixel d, const SourceChannels& s, int w);
inline Pixel combineReference(BlitMode selection, Pixel d, Pixel s, int w)
{
    return combineReference(selection, d, channelsOf(s), w);
}

// 65536 / i - 1 for i = 1..255, 0 for i = 0 (T[1] = 65535, T[255] = 256).
extern const std::uint16_t kReciprocalTable[256];

struct HsvColour {
    int h = 0;  // 0..383, six sectors of 64
    int s = 0;  // 0..255
    int v = 0;  // 0..255
};

HsvColour rgbToHsv(int r, int g, int b);
// Components keep their low 8 bits; result alpha * 2^24 + r * 2^16 + g * 2^8 + b.
Pixel hsvToPixel(int h, int s, int v, int alpha);

// HsvAdjust of destination d by source channels (r, g, b centred on 128) at w;
// the destination alpha becomes sourceAlpha (& 0xFF).
Pixel hsvAdjust(Pixel d, int sr, int sg, int sb, int sourceAlpha, int w);

} // namespace duv
