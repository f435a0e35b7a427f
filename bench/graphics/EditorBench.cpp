// The editor's costs: building the first instance in a process (decoding and
// preparing every image), a later one (cache hits), a full redraw of the
// 716 x 227 surface, and the redraw cycle of one wheel drag step.
#include <benchmark/benchmark.h>

#include <memory>

#include "effect/DUVEffect.h"
#include "graphics/IGraphicsRaster.h"

namespace {

// Registered first, run once: only the first construction in a process decodes.
void BM_FirstInstance(benchmark::State& state) {
  for (auto _ : state) {
    auto effect = std::make_unique<DUVEffect>(nullptr);
    benchmark::DoNotOptimize(effect.get());
  }
}
BENCHMARK(BM_FirstInstance)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_LaterInstance(benchmark::State& state) {
  for (auto _ : state) {
    auto effect = std::make_unique<DUVEffect>(nullptr);
    benchmark::DoNotOptimize(effect.get());
  }
}
BENCHMARK(BM_LaterInstance)->Unit(benchmark::kMillisecond);

void BM_FullRedraw(benchmark::State& state) {
  DUVEffect effect(nullptr);
  IGraphics* g = effect.Graphics();
  IRect all{0, 0, g->Width(), g->Height()};
  for (auto _ : state) {
    g->SetAllControlsDirty();
    g->Draw(&all);
  }
  state.counters["ns/pixel"] = benchmark::Counter(
      static_cast<double>(all.W() * all.H()), benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

// One step of a drag on outer wheel 1: the event, then the timer's cycle.
void BM_WheelDragStep(benchmark::State& state) {
  DUVEffect effect(nullptr);
  IGraphics* g = effect.Graphics();
  IRect all{0, 0, g->Width(), g->Height()};
  g->Draw(&all);
  const IMouseMods left{true, false, false, false, false};
  g->OnMouseDown(98, 70, left);
  int y = 70, step = -1;
  for (auto _ : state) {
    y += step;
    if (y < 0 || y > 140) step = -step;
    g->OnMouseDrag(98, y, left);
    IRect dirty;
    if (g->IsDirty(&dirty)) g->Draw(&dirty);
  }
  g->OnMouseUp(98, y, left);
}
BENCHMARK(BM_WheelDragStep)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
