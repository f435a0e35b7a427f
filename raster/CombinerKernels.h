// Fast combiners: one small stateless functor per (combiner, variant, weight
// range), inlined into each operation's own pixel loop. dispatchCombiner picks
// one per call (reference last, or alone under the test hook), so no per-pixel
// dispatch happens. Every functor is bit-identical to combineReference.
// Internal to the raster library.
#pragma once

#include "raster/BlitMode.h"
#include "raster/Combiners.h"
#include "raster/Pixel.h"
#include "raster/RasterDispatch.h"

#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace duv::kernels {

// Plain per-pixel reference behind the common functor signature.
struct ReferenceCombiner {
    BlitMode selection;
    Pixel operator()(Pixel d, const SourceChannels& s, int w) const { return combineReference(selection, d, s, w); }
};

// Copy with 0 <= w <= 256: both weights are non-negative, so the division is a
// shift and no clamp is needed; red|blue and alpha|green are blended in pairs
// (each lane stays below 255 * 256 < 2^16, so lanes never carry).
struct CopyInRange {
    static constexpr int kCombiner = kCombinerCopy;
    Pixel operator()(Pixel d, const SourceChannels& s, int w) const
    {
        std::uint32_t sRB = (std::uint32_t(s.r) << 16) | std::uint32_t(s.b);
        if (s.a > 255) {
            // A fill's source alpha is the weight itself (up to 256): that one
            // channel can overshoot and needs the clamp.
            Pixel out = blend(d, sRB, std::uint32_t(s.g), std::uint32_t(w)) & 0x00FFFFFFu;
            return out | (Pixel(clamp255((s.a * w + pixelA(d) * (256 - w)) / 256)) << 24);
        }
        std::uint32_t sAG = (std::uint32_t(s.a) << 16) | std::uint32_t(s.g);
        return blend(d, sRB, sAG, std::uint32_t(w));
    }
    static Pixel blend(Pixel d, std::uint32_t sRB, std::uint32_t sAG, std::uint32_t w)
    {
        std::uint32_t inv = 256 - w;
        std::uint32_t rb = ((sRB * w + (d & 0x00FF00FFu) * inv) >> 8) & 0x00FF00FFu;
        std::uint32_t ag = (sAG * w + ((d >> 8) & 0x00FF00FFu) * inv) & 0xFF00FF00u;
        return rb | ag;
    }
    static Pixel blendWords(Pixel d, Pixel s, std::uint32_t w)
    {
        return blend(d, s & 0x00FF00FFu, (s >> 8) & 0x00FF00FFu, w);
    }
};

template <int Combiner>
struct PerChannel {
    static constexpr int kCombiner = Combiner;
    // 64-bit products, as in the reference (fill alpha values reach the weight).
    static int channel(int d, int s, int w)
    {
        const std::int64_t D = d, S = s, W = w;
        auto clamp = [](std::int64_t x) { return int(x < 0 ? 0 : (x > 255 ? 255 : x)); };
        if constexpr (Combiner == kCombinerCopy) {
            return clamp((S * W + D * (256 - W)) / 256);
        } else if constexpr (Combiner == kCombinerAdd) {
            return clamp(D + S * W / 256);
        } else if constexpr (Combiner == kCombinerDodge) {
            const std::int64_t scaled = S * W / 256;
            return scaled >= 255 ? clamp(D * 256) : clamp(D * 256 / (256 - scaled));
        } else if constexpr (Combiner == kCombinerMultiply) {
            return clamp(((S * W + 256 * (256 - W)) * D) / 65536);
        } else {
            const std::int64_t k = S * W + 128 * (256 - W);
            return clamp(((D * (32768 - k)) / 256 + k) * D / 32768);
        }
    }
    Pixel operator()(Pixel d, const SourceChannels& s, int w) const
    {
        if constexpr (Combiner == kCombinerHsvAdjust) {
            return hsvAdjust(d, s.r, s.g, s.b, s.a, w);
        } else {
            return packPixel(channel(pixelA(d), s.a, w), channel(pixelR(d), s.r, w), channel(pixelG(d), s.g, w),
                             channel(pixelB(d), s.b, w));
        }
    }
};

// Add and Multiply with 0 <= w <= 256: products are non-negative, so divisions
// are shifts; Add clamps only at the top, Multiply never exceeds 254.
struct AddInRange {
    static constexpr int kCombiner = kCombinerAdd;
    static int channel(int d, int s, int w)
    {
        int x = d + ((s * w) >> 8);
        return x > 255 ? 255 : x;
    }
    Pixel operator()(Pixel d, const SourceChannels& s, int w) const
    {
        return packPixel(channel(pixelA(d), s.a, w), channel(pixelR(d), s.r, w), channel(pixelG(d), s.g, w),
                         channel(pixelB(d), s.b, w));
    }
};
struct MultiplyInRange {
    static constexpr int kCombiner = kCombinerMultiply;
    static int channel(int d, int s, int w) { return ((s * w + 256 * (256 - w)) * d) >> 16; }
    Pixel operator()(Pixel d, const SourceChannels& s, int w) const
    {
        return packPixel(channel(pixelA(d), s.a, w), channel(pixelR(d), s.r, w), channel(pixelG(d), s.g, w),
                         channel(pixelB(d), s.b, w));
    }
};

// Source-alpha variant: w' = w * (a + 1) / 256; Copy, Add and Multiply skip a
// zero source alpha. With w >= 0 the division is a shift. The source alpha
// here is always a pixel byte (0..255), so w' stays within 0..w.
template <class Base, bool SkipZeroAlpha, bool NonNegativeWeight>
struct WithSourceAlpha {
    static constexpr int kCombiner = Base::kCombiner;
    Pixel operator()(Pixel d, const SourceChannels& s, int w) const
    {
        if constexpr (SkipZeroAlpha) {
            if (s.a == 0)
                return d;
        }
        int weight = NonNegativeWeight ? (w * (s.a + 1)) >> 8 : (w * (s.a + 1)) / 256;
        return Base{}(d, s, weight);
    }
};

// Combines a source pixel word: the Copy functors blend the word directly
// (no split into channels and back); every other functor takes the channels.
template <class Combine>
inline Pixel combineWord(const Combine& combine, Pixel d, Pixel s, int w)
{
    if constexpr (std::is_same_v<Combine, CopyInRange>) {
        return CopyInRange::blendWords(d, s, std::uint32_t(w));
    } else if constexpr (std::is_same_v<Combine, WithSourceAlpha<CopyInRange, true, true>>) {
        const std::uint32_t a = s >> 24;
        return a == 0 ? d : CopyInRange::blendWords(d, s, (std::uint32_t(w) * (a + 1)) >> 8);
    } else {
        return combine(d, channelsOf(s), w);
    }
}

#if defined(__SSE2__)
// Copy of a source row over a destination row at one weight 0..256: exact
// because s * w + d * (256 - w) <= 255 * 256 fits an unsigned 16-bit lane.
inline void copyRowSse2(Pixel* dst, const Pixel* src, int count, int w)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i wv = _mm_set1_epi16(short(w));
    const __m128i iv = _mm_set1_epi16(short(256 - w));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), wv),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), iv));
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), wv),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), iv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
    }
    for (; i < count; ++i)
        dst[i] = CopyInRange::blendWords(dst[i], src[i], std::uint32_t(w));
}

// Source-alpha Copy of a row at weight 0..256: per pixel w' = w * (a + 1) >> 8,
// forced to 0 where a = 0 (the skip; w' = 0 leaves d exactly). For w < 256 the
// product is taken as mulhi((w << 8), a + 1); for w = 256, w' = a + 1.
inline void copySourceAlphaRowSse2(Pixel* dst, const Pixel* src, int count, int w)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi16(1);
    const __m128i full = _mm_set1_epi16(256);
    const __m128i wShifted = _mm_set1_epi16(short(w << 8));
    const bool fullWeight = w == 256;
    auto weights = [&](__m128i s16) {
        __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s16, 0xFF), 0xFF);
        __m128i ap1 = _mm_add_epi16(a, one);
        __m128i wp = fullWeight ? ap1 : _mm_mulhi_epu16(wShifted, ap1);
        return _mm_andnot_si128(_mm_cmpeq_epi16(a, zero), wp);
    };
    const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000u));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        // Whole groups of transparent pixels keep the destination; opaque ones
        // at full weight (w' = 256) replace it: the formula's own results.
        const int transparent = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, alphaMask), zero));
        if (transparent == 0xFFFF)
            continue;
        if (fullWeight && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, alphaMask), alphaMask)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), s);
            continue;
        }
        __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
        __m128i sLo = _mm_unpacklo_epi8(s, zero), sHi = _mm_unpackhi_epi8(s, zero);
        __m128i wLo = weights(sLo), wHi = weights(sHi);
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(sLo, wLo),
                                   _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_sub_epi16(full, wLo)));
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(sHi, wHi),
                                   _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_sub_epi16(full, wHi)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
    }
    for (; i < count; ++i) {
        Pixel s = src[i];
        std::uint32_t a = s >> 24;
        if (a != 0)
            dst[i] = CopyInRange::blendWords(dst[i], s, (std::uint32_t(w) * (a + 1)) >> 8);
    }
}
#endif

// Calls body(combiner) once with the functor for `selection` (mode & 0x100FF)
// and weight w. Answers false, without calling, for undrawable selections.
template <class Body>
bool dispatchCombiner(BlitMode selection, int w, Body&& body)
{
    if ((selection & ~kBlitSelectionMask) != 0 || !isDrawableSelection(selection))
        return false;
    if (rasterReferenceOnly()) {
        body(ReferenceCombiner{selection});
        return true;
    }
    const bool inRange = w >= 0 && w <= 256;
    const bool nonNegative = w >= 0;
    switch (selection) {
    case kCombinerCopy:
        inRange ? body(CopyInRange{}) : body(PerChannel<kCombinerCopy>{});
        break;
    case kCombinerAdd:
        inRange ? body(AddInRange{}) : body(PerChannel<kCombinerAdd>{});
        break;
    case kCombinerDodge:
        body(PerChannel<kCombinerDodge>{});
        break;
    case kCombinerMultiply:
        inRange ? body(MultiplyInRange{}) : body(PerChannel<kCombinerMultiply>{});
        break;
    case kCombinerOverlay:
        body(PerChannel<kCombinerOverlay>{});
        break;
    case kCombinerHsvAdjust:
        body(PerChannel<kCombinerHsvAdjust>{});
        break;
    case kBlitUseSourceAlpha | kCombinerCopy:
        inRange ? body(WithSourceAlpha<CopyInRange, true, true>{})
                : body(WithSourceAlpha<PerChannel<kCombinerCopy>, true, false>{});
        break;
    case kBlitUseSourceAlpha | kCombinerAdd:
        inRange ? body(WithSourceAlpha<AddInRange, true, true>{})
                : body(WithSourceAlpha<PerChannel<kCombinerAdd>, true, false>{});
        break;
    case kBlitUseSourceAlpha | kCombinerDodge:
        nonNegative ? body(WithSourceAlpha<PerChannel<kCombinerDodge>, false, true>{})
                    : body(WithSourceAlpha<PerChannel<kCombinerDodge>, false, false>{});
        break;
    case kBlitUseSourceAlpha | kCombinerMultiply:
        inRange ? body(WithSourceAlpha<MultiplyInRange, true, true>{})
                : body(WithSourceAlpha<PerChannel<kCombinerMultiply>, true, false>{});
        break;
    case kBlitUseSourceAlpha | kCombinerOverlay:
        nonNegative ? body(WithSourceAlpha<PerChannel<kCombinerOverlay>, false, true>{})
                    : body(WithSourceAlpha<PerChannel<kCombinerOverlay>, false, false>{});
        break;
    case kBlitUseSourceAlpha | kCombinerHsvAdjust:
        nonNegative ? body(WithSourceAlpha<PerChannel<kCombinerHsvAdjust>, false, true>{})
                    : body(WithSourceAlpha<PerChannel<kCombinerHsvAdjust>, false, false>{});
        break;
    default:
        return false;
    }
    return true;
}

} // namespace duv::kernels
