// Raster speed against pixman and memcpy on the same buffers. Each benchmark
// reports ns_per_px: nanoseconds per destination pixel. Fixed inputs; run with
// --benchmark_format=csv for CSV. Pairs: opaque blit 716x227 (and memcpy),
// source-alpha blit 716x227, bilinear rotatedBlit 145x145, bilinear 2:1
// scaledBlit of 716x227, fillRect at opacity 0.5 over 716x227.
#include "effect/DUVEditorLayout.h"
#include "raster/Blit.h"
#include "raster/ImageLoader.h"
#include "raster/RasterBitmap.h"
#include "raster/ScaledBlit.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using duv::MemoryBitmap;

constexpr int kW = 716, kH = 227, kWheel = 145;

// Deterministic pixels with a mix of transparent, partial and opaque alpha.
void fillPattern(MemoryBitmap& b, std::uint32_t seed)
{
    std::uint32_t s = seed * 2654435761u + 1;
    std::uint32_t* p = b.getBits();
    for (int i = 0; i < b.getWidth() * b.getHeight(); ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        std::uint32_t a = (i / 7) % 3 == 0 ? 0u : ((i / 7) % 3 == 1 ? 255u : (s >> 24));
        p[i] = (a << 24) | (s & 0x00FFFFFFu);
    }
}

// Pixman expects premultiplied colour: the same buffer with colours scaled.
void premultiply(MemoryBitmap& b)
{
    std::uint32_t* p = b.getBits();
    for (int i = 0; i < b.getWidth() * b.getHeight(); ++i) {
        std::uint32_t a = p[i] >> 24;
        auto m = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        p[i] = (a << 24) | (m((p[i] >> 16) & 0xFF) << 16) | (m((p[i] >> 8) & 0xFF) << 8) | m(p[i] & 0xFF);
    }
}

pixman_image_t* wrap(MemoryBitmap& b)
{
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, b.getWidth(), b.getHeight(), b.getBits(), b.getWidth() * 4);
}

void setPixels(benchmark::State& state, std::int64_t pixels)
{
    // Inverted rate of (pixels x 1e-9) per iteration: seconds / (iterations x
    // pixels x 1e-9) = ns per pixel.
    state.counters["ns_per_px"] = benchmark::Counter(double(pixels) * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                                                benchmark::Counter::kInvert);
}

struct Fixture {
    MemoryBitmap src{kW, kH}, dst{kW, kH};
    Fixture()
    {
        fillPattern(src, 1);
        fillPattern(dst, 2);
    }
};

void BM_Empty(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::ClobberMemory();
    setPixels(state, 1);
}

void BM_Memcpy_716x227(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        std::memcpy(f.dst.getBits(), f.src.getBits(), std::size_t(kW) * kH * 4);
        benchmark::ClobberMemory();
    }
    setPixels(state, std::int64_t(kW) * kH);
}

void BM_Blit_Opaque_716x227(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        duv::blit(&f.dst, &f.src, 0, 0, 0, 0, kW, kH, 1.0f, 0);
        benchmark::ClobberMemory();
    }
    setPixels(state, std::int64_t(kW) * kH);
}

void BM_Pixman_Src_716x227(benchmark::State& state)
{
    Fixture f;
    pixman_image_t *s = wrap(f.src), *d = wrap(f.dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    setPixels(state, std::int64_t(kW) * kH);
}

void BM_Blit_SourceAlpha_716x227(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        duv::blit(&f.dst, &f.src, 0, 0, 0, 0, kW, kH, 1.0f, 0x10000);
        benchmark::ClobberMemory();
    }
    setPixels(state, std::int64_t(kW) * kH);
}

void BM_Pixman_Over_716x227(benchmark::State& state)
{
    Fixture f;
    premultiply(f.src);
    pixman_image_t *s = wrap(f.src), *d = wrap(f.dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    setPixels(state, std::int64_t(kW) * kH);
}

constexpr float kAngle = 0.7f;

void BM_RotatedBlit_Bilinear_145(benchmark::State& state)
{
    MemoryBitmap src(kWheel, kWheel), dst(kWheel, kWheel);
    fillPattern(src, 3);
    fillPattern(dst, 4);
    for (auto _ : state) {
        duv::rotatedBlit(&dst, &src, 0, 0, kWheel, kWheel, 0, 0, kWheel, kWheel, kAngle, true, 1.0f, 0x10100, 0.0f,
                         0.0f);
        benchmark::ClobberMemory();
    }
    setPixels(state, std::int64_t(kWheel) * kWheel);
}

void BM_Pixman_RotatedOverBilinear_145(benchmark::State& state)
{
    MemoryBitmap src(kWheel, kWheel), dst(kWheel, kWheel);
    fillPattern(src, 3);
    premultiply(src);
    fillPattern(dst, 4);
    pixman_image_t *s = wrap(src), *d = wrap(dst);
    // Destination -> source: rotate about the centre.
    pixman_transform_t t;
    const double c = std::cos(double(kAngle)), sn = std::sin(double(kAngle)), h = kWheel / 2.0;
    pixman_transform_init_identity(&t);
    pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(-h), pixman_double_to_fixed(-h));
    pixman_transform_rotate(&t, nullptr, pixman_double_to_fixed(c), pixman_double_to_fixed(-sn));
    pixman_transform_translate(&t, nullptr, pixman_double_to_fixed(h), pixman_double_to_fixed(h));
    pixman_image_set_transform(s, &t);
    pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, kWheel, kWheel);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    setPixels(state, std::int64_t(kWheel) * kWheel);
}

void BM_ScaledBlit_Bilinear_Half_716x227(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        duv::scaledBlit(&f.dst, &f.src, 0, 0, kW / 2, kH / 2, 0.0f, 0.0f, float(kW), float(kH), 1.0f, 0x100);
        benchmark::ClobberMemory();
    }
    setPixels(state, std::int64_t(kW / 2) * (kH / 2));
}

void BM_Pixman_ScaledSrcBilinear_Half_716x227(benchmark::State& state)
{
    Fixture f;
    pixman_image_t *s = wrap(f.src), *d = wrap(f.dst);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(2.0), pixman_double_to_fixed(2.0));
    pixman_image_set_transform(s, &t);
    pixman_image_set_filter(s, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW / 2, kH / 2);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    setPixels(state, std::int64_t(kW / 2) * (kH / 2));
}

// The comparable pixman reduction: a separable box convolution for scale 2
// (the area filter weighs a 3 x 3 neighbourhood per destination pixel).
void BM_Pixman_ScaledSrcBoxConvolution_Half_716x227(benchmark::State& state)
{
    Fixture f;
    pixman_image_t *s = wrap(f.src), *d = wrap(f.dst);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(2.0), pixman_double_to_fixed(2.0));
    pixman_image_set_transform(s, &t);
    int count = 0;
    pixman_fixed_t* params = pixman_filter_create_separable_convolution(
        &count, pixman_double_to_fixed(2.0), pixman_double_to_fixed(2.0), PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE,
        PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, 1, 1);
    pixman_image_set_filter(s, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, count);
    free(params);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, s, nullptr, d, 0, 0, 0, 0, 0, 0, kW / 2, kH / 2);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(s);
    pixman_image_unref(d);
    setPixels(state, std::int64_t(kW / 2) * (kH / 2));
}

void BM_FillRect_Half_716x227(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        duv::fillRect(&f.dst, 0, 0, kW, kH, 0xFF3366CCu, 0.5f, 0);
        benchmark::ClobberMemory();
    }
    setPixels(state, std::int64_t(kW) * kH);
}

void BM_Pixman_FillOverHalf_716x227(benchmark::State& state)
{
    Fixture f;
    pixman_image_t* d = wrap(f.dst);
    // The same colour at half opacity, premultiplied, composited over.
    pixman_color_t colour{0x3333 / 2, 0x6666 / 2, 0xCCCC / 2, 0x8000};
    pixman_image_t* solid = pixman_image_create_solid_fill(&colour);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, solid, nullptr, d, 0, 0, 0, 0, 0, 0, kW, kH);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(solid);
    pixman_image_unref(d);
    setPixels(state, std::int64_t(kW) * kH);
}

} // namespace

// Decoding the editor's larger images (the wheel strips, 145 x 26245 and
// 88 x 15928, JPEG; the ring, 88 x 15928, PNG; the rockers; the background)
// into a bitmap kept between iterations, laid out in memory as the cache's
// bitmaps are: the decoder's own work, without first-touch page faults.
const duv_layout::Image kDecodedImages[] = {
    duv_layout::kImgWheelOuter,  duv_layout::kImgWheelInner,  duv_layout::kImgInnerRing,  duv_layout::kImgWetRocker,
    duv_layout::kImgWidthRocker, duv_layout::kImgColorRocker, duv_layout::kImgBackground};

void BM_DecodeImage(benchmark::State& state)
{
    const duv_layout::Image& image = kDecodedImages[state.range(0)];
    const bool png = std::strstr(image.file, ".png") != nullptr;
    const duv::ResourceModule* module = duv::embeddedResourceModule();
    duv::MemoryBitmap dest(1, 1);
    for (auto _ : state) {
        if (!(png ? duv::loadPngResource(module, image.id, &dest) : duv::loadJpegResource(module, image.id, &dest))) {
            state.SkipWithError("the image does not decode");
            return;
        }
        benchmark::ClobberMemory();
    }
    state.SetLabel(image.file);
    setPixels(state, std::int64_t(dest.getWidth()) * dest.getHeight());
}

BENCHMARK(BM_Empty);
BENCHMARK(BM_Memcpy_716x227);
BENCHMARK(BM_Blit_Opaque_716x227);
BENCHMARK(BM_Pixman_Src_716x227);
BENCHMARK(BM_Blit_SourceAlpha_716x227);
BENCHMARK(BM_Pixman_Over_716x227);
BENCHMARK(BM_RotatedBlit_Bilinear_145);
BENCHMARK(BM_Pixman_RotatedOverBilinear_145);
BENCHMARK(BM_ScaledBlit_Bilinear_Half_716x227);
BENCHMARK(BM_Pixman_ScaledSrcBilinear_Half_716x227);
BENCHMARK(BM_Pixman_ScaledSrcBoxConvolution_Half_716x227);
BENCHMARK(BM_FillRect_Half_716x227);
BENCHMARK(BM_Pixman_FillOverHalf_716x227);
BENCHMARK(BM_DecodeImage)->DenseRange(0, int(std::size(kDecodedImages)) - 1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
