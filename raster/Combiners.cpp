#include "raster/Combiners.h"

namespace duv {

namespace {
constexpr auto makeReciprocalTable()
{
    struct Table {
        std::uint16_t v[256];
    } t{};
    t.v[0] = 0;
    for (int i = 1; i < 256; ++i)
        t.v[i] = std::uint16_t(65536 / i - 1);
    return t;
}
constexpr auto kTable = makeReciprocalTable();
} // namespace

const std::uint16_t kReciprocalTable[256] = {
#define R(i) kTable.v[i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

// Products are formed in 64 bits: a fill passes its weight (up to kMaxWeight)
// as the source alpha value, and weight x weight x 255 exceeds 32 bits. Within
// 32-bit range the results are the same as int arithmetic.
int combineChannelReference(int combiner, int d, int s, int w)
{
    const std::int64_t D = d, S = s, W = w;
    auto clamp = [](std::int64_t x) { return int(x < 0 ? 0 : (x > 255 ? 255 : x)); };
    switch (combiner) {
    case kCombinerCopy:
        return clamp((S * W + D * (256 - W)) / 256);
    case kCombinerAdd:
        return clamp(D + S * W / 256);
    case kCombinerDodge: {
        const std::int64_t scaled = S * W / 256;
        if (scaled >= 255)
            return clamp(D * 256);
        return clamp(D * 256 / (256 - scaled));
    }
    case kCombinerMultiply:
        return clamp(((S * W + 256 * (256 - W)) * D) / 65536);
    case kCombinerOverlay: {
        const std::int64_t k = S * W + 128 * (256 - W);
        return clamp(((D * (32768 - k)) / 256 + k) * D / 32768);
    }
    default:
        return d;
    }
}

HsvColour rgbToHsv(int r, int g, int b)
{
    int v = r > g ? r : g;
    if (b > v)
        v = b;
    int mn = r < g ? r : g;
    if (b < mn)
        mn = b;
    int delta = v - mn;
    int base, diff;
    if (g > r && g > b) {
        base = 128;
        diff = b - r;
    } else if (g > r) {
        base = 256;
        diff = r - g;
    } else if (r > b && g < b) {
        base = 383;
        diff = g - b;
    } else if (r > b) {
        base = 0;
        diff = g - b;
    } else {
        base = 256;
        diff = r - g;
    }
    HsvColour out;
    out.v = v;
    out.s = (delta * kReciprocalTable[v]) / 256;
    out.h = base + (diff * (kReciprocalTable[delta] + 1)) / 1024;
    return out;
}

Pixel hsvToPixel(int h, int s, int v, int alpha)
{
    int p = (v * (256 - s)) / 256;
    auto f = [&](int d) { return (v * (16384 - d * s)) / 16384; };
    int r, g, b;
    if (h < 64) {
        r = v; g = f(64 - h); b = p;
    } else if (h < 128) {
        r = f(h - 64); g = v; b = p;
    } else if (h < 192) {
        r = p; g = v; b = f(192 - h);
    } else if (h < 256) {
        r = p; g = f(h - 192); b = v;
    } else if (h < 320) {
        r = f(320 - h); g = p; b = v;
    } else {
        r = v; g = p; b = f(h - 320);
    }
    return (Pixel(alpha & 0xFF) << 24) | (Pixel(r & 0xFF) << 16) | (Pixel(g & 0xFF) << 8) | Pixel(b & 0xFF);
}

Pixel hsvAdjust(Pixel d, int sr, int sg, int sb, int sourceAlpha, int w)
{
    HsvColour c = rgbToHsv(pixelR(d), pixelG(d), pixelB(d));
    int h = c.h + ((sr + sr / 2 - 192) * w) / 256;
    if (h < 0)
        h += 384;
    else if (h >= 384)
        h -= 384;
    int s = clamp255(c.s + ((sg - 128) * w) / 256);
    int v = clamp255(c.v + ((sb - 128) * w) / 256);
    return hsvToPixel(h, s, v, sourceAlpha);
}

Pixel combineReference(BlitMode selection, Pixel d, const SourceChannels& s, int w)
{
    int combiner = int(selection & kBlitCombinerMask);
    bool sourceAlpha = (selection & kBlitUseSourceAlpha) != 0;
    if ((selection & ~kBlitSelectionMask) != 0 || combiner >= int(kCombinerCount))
        return d;
    if (sourceAlpha) {
        if (s.a == 0 && (combiner == kCombinerCopy || combiner == kCombinerAdd || combiner == kCombinerMultiply))
            return d;
        w = (w * (s.a + 1)) / 256;
    }
    if (combiner == kCombinerHsvAdjust)
        return hsvAdjust(d, s.r, s.g, s.b, s.a, w);
    int b = combineChannelReference(combiner, pixelB(d), s.b, w);
    int g = combineChannelReference(combiner, pixelG(d), s.g, w);
    int r = combineChannelReference(combiner, pixelR(d), s.r, w);
    int a = combineChannelReference(combiner, pixelA(d), s.a, w);
    return packPixel(a, r, g, b);
}

} // namespace duv
