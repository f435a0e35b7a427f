// FFT (against FFTW's single-precision plan of the same size), the pitch
// detector alone, and the whole engine as a real-time factor.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <memory>
#include <vector>

#include "dsp/DoublerEngine.h"
#include "dsp/FFT.h"
#include "dsp/PitchDetector.h"

namespace {

std::vector<float> Noise(int floats) {
  std::vector<float> v(floats);
  uint32_t s = 12345;
  for (float& x : v) {
    s = s * 1664525u + 1013904223u;
    x = static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
  }
  return v;
}

void BM_Empty(benchmark::State& state) {
  for (auto _ : state) benchmark::ClobberMemory();
}
BENCHMARK(BM_Empty);

void BM_ComplexFFT8192(benchmark::State& state) {
  FFTInit();
  const DspPath path = static_cast<DspPath>(state.range(0));
  if (!ForceDspPath(path)) {
    state.SkipWithError("path not supported on this CPU");
    return;
  }
  const std::vector<float> input = Noise(2 * 8192);
  alignas(32) static float data[2 * 8192];
  for (auto _ : state) {
    std::copy(input.begin(), input.end(), data);  // keep values bounded
    ComplexFFT(data, 8192, 0);
    benchmark::ClobberMemory();
  }
  ResetDspPath();
  state.SetLabel(DspPathName(path));
  state.counters["ns_per_fft"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ComplexFFT8192)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_CopyOnly8192(benchmark::State& state) {  // the copy inside the FFT loops
  const std::vector<float> input = Noise(2 * 8192);
  alignas(32) static float data[2 * 8192];
  for (auto _ : state) {
    std::copy(input.begin(), input.end(), data);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_CopyOnly8192)->Unit(benchmark::kMicrosecond);

void BM_FFTW8192(benchmark::State& state) {
  fftwf_complex* data = fftwf_alloc_complex(8192);
  fftwf_plan plan = fftwf_plan_dft_1d(8192, data, data, FFTW_FORWARD, FFTW_MEASURE);
  const std::vector<float> input = Noise(2 * 8192);
  for (auto _ : state) {
    std::copy(input.begin(), input.end(), reinterpret_cast<float*>(data));
    fftwf_execute(plan);
    benchmark::ClobberMemory();
  }
  fftwf_destroy_plan(plan);
  fftwf_free(data);
  state.counters["ns_per_fft"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FFTW8192)->Unit(benchmark::kMicrosecond);

void BM_DetectPeriod(benchmark::State& state) {
  FFTInit();
  const DspPath path = static_cast<DspPath>(state.range(0));
  if (!ForceDspPath(path)) {
    state.SkipWithError("path not supported on this CPU");
    return;
  }
  std::vector<float> window(kDetectorSize), weights(kDetectorWeights);
  FillAnalysisWindow(window.data());
  FillBinWeights(weights.data());
  std::vector<StereoFrame> frames(kDetectorSize);
  for (int n = 0; n < kDetectorSize; ++n) {
    const float v = static_cast<float>(0.4 * std::sin(2 * M_PI * 147.0 * n / 44100) + 0.1 * std::sin(2 * M_PI * 294.0 * n / 44100));
    frames[n] = {v, 0.8f * v};
  }
  auto scratch = std::make_unique<DetectorScratch>();
  const DetectorRange r = UpdateDetectorRange(44100, 100);
  double period = 0;
  for (auto _ : state) {
    period = DetectPeriod(frames.data(), window.data(), weights.data(), r.minBin, r.maxBin, period, scratch.get());
    benchmark::DoNotOptimize(period);
  }
  ResetDspPath();
  state.SetLabel(DspPathName(path));
}
BENCHMARK(BM_DetectPeriod)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The whole engine at the effect's default parameters on voiced stereo
// material, 44.1 kHz, in host blocks of the given size, on the given path
// (0: every plain reference, 1: SSE2, 2: AVX2), so that old and new code
// are compared in the same run.
void BM_EngineRealtime(benchmark::State& state) {
  const int hostBlock = static_cast<int>(state.range(0));
  const DspPath path = static_cast<DspPath>(state.range(1));
  if (!ForceDspPath(path)) {
    state.SkipWithError("path not supported on this CPU");
    return;
  }
  const double sr = 44100;
  auto e = std::make_unique<DoublerEngine>();
  e->SetWet(0.75);
  e->SetCents(0, -10);
  e->SetDelayMs(0, 7.5);
  e->SetCents(1, 10);
  e->SetDelayMs(1, 15);
  e->SetWidthPercent(100);
  e->SetColor(0.25);
  e->SetDetectorHpf(100);
  e->Reset(sr);
  const int frames = 1 << 16;  // ~1.5 s of material, processed in a loop
  std::vector<double> inL(frames), inR(frames), outL(frames), outR(frames);
  double phase = 0;
  for (int n = 0; n < frames; ++n) {
    phase += 2 * M_PI * 147.0 * (1 + 0.01 * std::sin(2 * M_PI * 0.5 * n / sr)) / sr;
    inL[n] = 0.3 * std::sin(phase) + 0.15 * std::sin(2 * phase);
    inR[n] = 0.25 * std::sin(phase + 0.3) + 0.1 * std::sin(3 * phase);
  }
  long processed = 0;
  int pos = 0;
  for (auto _ : state) {
    const double* ins[2] = {inL.data() + pos, inR.data() + pos};
    double* outs[2] = {outL.data() + pos, outR.data() + pos};
    e->ProcessBlock(ins, outs, hostBlock);
    processed += hostBlock;
    pos += hostBlock;
    if (pos + hostBlock > frames) pos = 0;
  }
  benchmark::DoNotOptimize(outL.data());
  ResetDspPath();
  state.SetLabel(DspPathName(path));
  state.counters["realtime_x"] = benchmark::Counter(static_cast<double>(processed) / sr, benchmark::Counter::kIsRate);
  state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(processed),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EngineRealtime)->ArgsProduct({{64, 256, 1024}, {0, 1, 2}})->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
