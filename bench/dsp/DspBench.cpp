// FFT (against FFTW's single-precision plan of the same size), the pitch
// detector alone, and the whole engine as CPU per audio second against FFTW.
//
// For figures that hold on a shared machine, repeat and take medians:
//   dsp_bench --benchmark_filter=Engine --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <time.h>

#include <cmath>
#include <memory>
#include <vector>

#include "EngineMaterial.h"

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
BENCHMARK(BM_ComplexFFT8192)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

// The detector's transform: 8192 stereo frames times the window into a
// separate spectrum (WindowedForwardFFT), per path; the time is per
// transform. The input stays as it is, so nothing but the transform is timed.
void BM_WindowedFFT8192(benchmark::State& state) {
  FFTInit();
  const DspPath path = static_cast<DspPath>(state.range(0));
  if (!ForceDspPath(path)) {
    state.SkipWithError("path not supported on this CPU");
    return;
  }
  const std::vector<float> input = Noise(2 * 8192);
  std::vector<float> window(kDetectorSize);
  FillAnalysisWindow(window.data());
  alignas(64) static float out[2 * 8192];
  for (auto _ : state) {
    WindowedForwardFFT(out, input.data(), window.data(), 8192);
    benchmark::ClobberMemory();
  }
  ResetDspPath();
  state.SetLabel(DspPathName(path));
}
BENCHMARK(BM_WindowedFFT8192)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

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
BENCHMARK(BM_DetectPeriod)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- engine
//
// The engine's CPU time per audio second against a yardstick measured in the
// same iterations: 43 FFTW single-precision 8192-point complex transforms,
// the transforms the detector needs per audio second at 44.1 kHz (out of
// place from a fixed input, so nothing but the transform is timed). Engine
// and yardstick alternate within every iteration and both are timed on this
// thread's CPU clock, so a load that other processes put on the machine
// shifts both alike and the ratio stays readable. The yardstick is the same
// 43 transforms at every rate: the ratios of two rates compare directly.

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

constexpr int kYardstickTransforms = 43;

class FftwYardstick {
 public:
  FftwYardstick() : mIn(fftwf_alloc_complex(8192)), mOut(fftwf_alloc_complex(8192)) {
    mPlan = fftwf_plan_dft_1d(8192, mIn, mOut, FFTW_FORWARD, FFTW_MEASURE);
    const std::vector<float> input = Noise(2 * 8192);  // after planning: MEASURE overwrites the arrays
    std::copy(input.begin(), input.end(), reinterpret_cast<float*>(mIn));
  }
  ~FftwYardstick() {
    fftwf_destroy_plan(mPlan);
    fftwf_free(mIn);
    fftwf_free(mOut);
  }
  // CPU seconds of kYardstickTransforms transforms.
  double Time() {
    const double t0 = ThreadCpuSeconds();
    for (int i = 0; i < kYardstickTransforms; ++i) fftwf_execute(mPlan);
    benchmark::DoNotOptimize(mOut[0][0]);
    return ThreadCpuSeconds() - t0;
  }

 private:
  fftwf_complex* mIn;
  fftwf_complex* mOut;
  fftwf_plan mPlan;
};

double TimeOneAudioSecond(EngineRun& run, double sampleRate, int hostBlock) {
  const double t0 = ThreadCpuSeconds();
  run.Process(static_cast<long>(sampleRate), hostBlock);
  return ThreadCpuSeconds() - t0;
}

// Args: sample rate in Hz, host block in frames, path (0 plain references,
// 1 SSE2, 2 AVX2, 3 AVX-512). x_fftw43 is the headline figure: engine CPU per audio
// second divided by the yardstick's.
void BM_EngineCost(benchmark::State& state) {
  const double sampleRate = static_cast<double>(state.range(0));
  const int hostBlock = static_cast<int>(state.range(1));
  const DspPath path = static_cast<DspPath>(state.range(2));
  if (!ForceDspPath(path)) {
    state.SkipWithError("path not supported on this CPU");
    return;
  }
  FftwYardstick yardstick;
  EngineRun run(sampleRate);
  run.Process(static_cast<long>(sampleRate), hostBlock);  // past the start-up silence
  double engine = 0, fftw = 0;
  for (auto _ : state) {
    engine += TimeOneAudioSecond(run, sampleRate, hostBlock);
    fftw += yardstick.Time();
  }
  ResetDspPath();
  const double seconds = static_cast<double>(state.iterations());
  state.SetLabel(DspPathName(path));
  state.counters["x_fftw43"] = engine / fftw;
  state.counters["engine_ms_per_s"] = 1e3 * engine / seconds;
  state.counters["fftw43_ms"] = 1e3 * fftw / seconds;
  state.counters["ns_per_frame"] = 1e9 * engine / (seconds * sampleRate);
  state.counters["realtime_x"] = seconds / engine;
}
BENCHMARK(BM_EngineCost)
    ->ArgNames({"hz", "block", "path"})
    ->ArgsProduct({{44100}, {32, 64, 256, 1024}, {0, 1, 2, 3}})
    ->ArgsProduct({{96000, 192000}, {1024}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

// Two engines on one path, alternating audio seconds within every
// iteration: hz_a at block_a against hz_b at block_b. a_over_b is the ratio of
// their CPU per audio second (32 against 1024 frames; 192 against 44.1 kHz).
void BM_EngineScaling(benchmark::State& state) {
  const double rateA = static_cast<double>(state.range(0)), rateB = static_cast<double>(state.range(2));
  const int blockA = static_cast<int>(state.range(1)), blockB = static_cast<int>(state.range(3));
  const DspPath path = static_cast<DspPath>(state.range(4));
  if (!ForceDspPath(path)) {
    state.SkipWithError("path not supported on this CPU");
    return;
  }
  EngineRun a(rateA), b(rateB);
  a.Process(static_cast<long>(rateA), blockA);
  b.Process(static_cast<long>(rateB), blockB);
  double timeA = 0, timeB = 0;
  for (auto _ : state) {
    timeA += TimeOneAudioSecond(a, rateA, blockA);
    timeB += TimeOneAudioSecond(b, rateB, blockB);
  }
  ResetDspPath();
  state.SetLabel(DspPathName(path));
  state.counters["a_over_b"] = timeA / timeB;
}
BENCHMARK(BM_EngineScaling)
    ->ArgNames({"hz_a", "block_a", "hz_b", "block_b", "path"})
    ->Args({44100, 32, 44100, 1024, 2})
    ->Args({192000, 1024, 44100, 1024, 2})
    ->Args({44100, 32, 44100, 1024, 3})
    ->Args({192000, 1024, 44100, 1024, 3})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
