// Host-facing costs of the module: building and tearing down an instance,
// and one dispatcher round trip for a parameter's display text.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/VstHost.h"

namespace {

VstModule& Module() {
  static std::unique_ptr<VstModule> module = [] {
    std::string error;
    auto m = VstModule::Load(DUV_MODULE_PATH, &error);
    if (!m) {
      std::fprintf(stderr, "cannot load %s: %s\n", DUV_MODULE_PATH, error.c_str());
      std::exit(1);
    }
    return m;
  }();
  return *module;
}

// Entry point, effOpen, rate and block size, effClose.
void BM_CreateOpenClose(benchmark::State& state) {
  std::string error;
  for (auto _ : state) {
    auto p = VstPlugin::Create(Module(), HostConfig{}, &error);
    p->SetSampleRate(44100.0f);
    p->SetBlockSize(512);
    p->Open();
    p->Close();
    benchmark::DoNotOptimize(p.get());
  }
}
BENCHMARK(BM_CreateOpenClose)->Unit(benchmark::kMicrosecond);

// effGetParamDisplay on a double parameter ("delay 1") and an enum ("knob action").
void BM_GetParamDisplay(benchmark::State& state) {
  std::string error;
  auto p = VstPlugin::Create(Module(), HostConfig{}, &error);
  p->Open();
  const int index = static_cast<int>(state.range(0));
  char text[64];
  for (auto _ : state) {
    p->Dispatch(effGetParamDisplay, index, 0, text);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_GetParamDisplay)->Arg(2)->Arg(8);

}  // namespace

BENCHMARK_MAIN();
