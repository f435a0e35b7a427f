// Run cost of the same processing through both formats, as hosts load them:
// the VST 2 module through the project's host (processReplacing) and the LV2
// bundle through lilv (run). Each iteration is one audio second in host
// blocks of 512 frames with fixed input; counters give ns per frame and the
// real-time factor (audio seconds per CPU second).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "host/Lv2Host.h"
#include "host/VstHost.h"

namespace {

constexpr int kBlock = 512;

struct Input {
  explicit Input(int frames) : l(frames), r(frames), ol(frames), orr(frames) {
    for (int i = 0; i < frames; ++i) {
      l[i] = static_cast<float>(0.5 * std::sin(i * 0.031));
      r[i] = static_cast<float>(0.4 * std::sin(i * 0.047));
    }
  }
  std::vector<float> l, r, ol, orr;
};

void Report(benchmark::State& state, int rate) {
  const double frames = static_cast<double>(state.iterations()) * rate;
  state.counters["ns_per_frame"] = benchmark::Counter(
      frames * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["realtime_x"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Vst2Second(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  std::string error;
  static std::unique_ptr<VstModule> module = VstModule::Load(DUV_MODULE_PATH, &error);
  if (!module) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto p = VstPlugin::Create(*module, HostConfig{}, &error);
  p->SetSampleRate(static_cast<float>(rate));
  p->SetBlockSize(kBlock);
  p->Open();
  p->MainsChanged(true);
  Input in(rate);
  for (auto _ : state) {
    for (int pos = 0; pos + kBlock <= rate; pos += kBlock) {
      float* i[] = {in.l.data() + pos, in.r.data() + pos};
      float* o[] = {in.ol.data() + pos, in.orr.data() + pos};
      p->ProcessReplacing(i, o, kBlock);
    }
    benchmark::DoNotOptimize(in.ol.data());
  }
  Report(state, rate);
}
BENCHMARK(BM_Vst2Second)->Arg(44100)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);

void BM_Lv2Second(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  std::string error;
  static std::unique_ptr<Lv2World> world = Lv2World::Create({DUV_LV2_BUNDLE}, &error);
  if (!world) {
    state.SkipWithError(error.c_str());
    return;
  }
  auto inst = Lv2Instance::Create(world.get(), "https://pelko.audio/plugins/duv", rate, kBlock, &error);
  if (!inst) {
    state.SkipWithError(error.c_str());
    return;
  }
  inst->Activate();
  Input in(rate);
  for (auto _ : state) {
    for (int pos = 0; pos + kBlock <= rate; pos += kBlock) {
      const float* i[] = {in.l.data() + pos, in.r.data() + pos};
      float* o[] = {in.ol.data() + pos, in.orr.data() + pos};
      inst->Run(i, o, kBlock);
    }
    benchmark::DoNotOptimize(in.ol.data());
  }
  Report(state, rate);
}
BENCHMARK(BM_Lv2Second)->Arg(44100)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
