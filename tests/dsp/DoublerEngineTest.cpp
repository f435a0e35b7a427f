#include "dsp/DoublerEngine.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "EngineFixture.h"
#include "dsp/DspPath.h"
#include "dsp/IndicatorLamp.h"

namespace {

class RecordingLamp : public IndicatorLamp {
 public:
  void SetLit(bool v) override {
    if (v != lit) ++changes;
    lit = v;
  }
  bool lit = false;
  int changes = 0;
};

TEST(DoublerEngineReset, ValuesAt44100And96000) {
  auto e = DefaultEngine(44100);
  EXPECT_EQ(e->BypassFadeLength(), 441);
  EXPECT_EQ(e->DelayFadeHalf(), 3528);
  EXPECT_EQ(e->TransientHoldLength(), 8820);
  EXPECT_EQ(e->LookAhead(), 441);
  EXPECT_EQ(e->MinBin(), 18);
  EXPECT_EQ(e->MaxBin(), 1857);
  EXPECT_EQ(e->WetCutoff(), 17640.0 / std::pow(2.0, 10.0 / 1200));
  EXPECT_NEAR(e->WetCutoff(), 17538, 1);
  EXPECT_EQ(e->Voice(0).delay, 330);
  EXPECT_EQ(e->Voice(1).delay, 661);
  EXPECT_EQ(e->Period(), 0.0);
  e->Reset(96000);
  EXPECT_EQ(e->BypassFadeLength(), 960);
  EXPECT_EQ(e->DelayFadeHalf(), 7680);
  EXPECT_EQ(e->TransientHoldLength(), 19200);
  EXPECT_EQ(e->LookAhead(), 960);
  EXPECT_EQ(e->MinBin(), 8);
  EXPECT_EQ(e->MaxBin(), 853);
  EXPECT_EQ(e->WetCutoff(), 38400.0 / std::pow(2.0, 10.0 / 1200));
  EXPECT_EQ(e->Voice(0).delay, 720);
  EXPECT_EQ(e->Voice(0).delayFadeCounter, 0);  // Reset applies delays without a fade
  // Kept across Reset.
  EXPECT_EQ(e->Wet(), 0.75);
  EXPECT_EQ(e->Width(), 1.0);
  EXPECT_EQ(e->Color(), 0.25);
}

TEST(DoublerEngineParams, CentsWidthBypassLamp) {
  auto e = DefaultEngine(44100);
  e->SetCents(0, 0);
  EXPECT_EQ(e->Voice(0).ratio, 1.0);
  e->SetCents(0, 50);
  EXPECT_NEAR(e->Voice(0).ratio, 1.029, 0.001);
  e->SetCents(1, -50);
  EXPECT_NEAR(e->Voice(1).ratio, 0.972, 0.001);
  EXPECT_EQ(e->WetCutoff(), 17640.0 / e->Voice(0).ratio);
  e->SetWidthPercent(50.9);
  EXPECT_EQ(e->Width(), 0.5);
  RecordingLamp lamp;
  e->SetBypassLamp(&lamp);
  e->SetBypass(false);  // same value: lamp in line, no fade
  EXPECT_EQ(e->BypassFadeCounter(), 0);
  e->SetBypass(true);
  EXPECT_TRUE(lamp.lit);
  EXPECT_EQ(e->BypassFadeCounter(), 441);
  e->Reset(44100);
  EXPECT_FALSE(lamp.lit);
  EXPECT_EQ(e->BypassFadeCounter(), 0);
  e->SetDelayMs(0, 20);
  EXPECT_TRUE(lamp.lit);
  EXPECT_EQ(e->Voice(0).targetDelay, 882);
  e->SetBypassLamp(nullptr);
  e->SetBypass(false);  // no lamp attached: still safe
  e->SetDetectorHpf(150);
  EXPECT_EQ(e->MinBin(), 27);
  e->SetDetectorHpf(0);  // ignored
  EXPECT_EQ(e->MinBin(), 27);
}

// The engine leaves its big buffers unwritten at construction and zeroes
// them once, when they are first needed: whatever the memory held before,
// and however often Reset runs, the output must be that of zeroed buffers.
// The reference is an engine built in zeroed memory and reset once.
TEST(DoublerEngineConstruction, OutputIndependentOfPriorMemoryAndResetCount) {
  struct Case {
    const char* name;
    unsigned char fill;  // the memory's bytes before construction (0xFF: NaN floats)
    int resetsBefore;    // Resets before the first block (0: none at all)
    bool processedReset;  // then process, Reset again, and compare the second run
  };
  const Case cases[] = {
      {"zero memory, no Reset", 0x00, 0, false}, {"NaN memory, no Reset", 0xFF, 0, false},
      {"NaN memory, one Reset", 0xFF, 1, false}, {"0x41 memory, three Resets", 0x41, 3, false},
      {"NaN memory, Reset after processing", 0xFF, 1, true},
  };
  const StereoBuffer in = Material(3 * 8192 + 300, 44100, 11);
  const auto run = [&](unsigned char fill, int resetsBefore, bool processedReset) {
    void* memory = ::operator new(sizeof(DoublerEngine), std::align_val_t{alignof(DoublerEngine)});
    std::memset(memory, fill, sizeof(DoublerEngine));
    auto* e = new (memory) DoublerEngine;
    SetDefaultParameters(*e);
    for (int i = 0; i < resetsBefore; ++i) e->Reset(44100);
    StereoBuffer out = RunEngine(*e, in, 512);
    if (processedReset) {
      e->Reset(44100);
      out = RunEngine(*e, in, 512);
    }
    e->~DoublerEngine();
    ::operator delete(memory, std::align_val_t{alignof(DoublerEngine)});
    return out;
  };
  const StereoBuffer withoutReset = run(0x00, 0, false);
  const StereoBuffer withReset = run(0x00, 1, false);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const StereoBuffer out = run(c.fill, c.resetsBefore, c.processedReset);
    const StereoBuffer& expected = c.resetsBefore == 0 ? withoutReset : withReset;
    ASSERT_EQ(std::memcmp(out.left.data(), expected.left.data(), sizeof(double) * in.left.size()), 0);
    ASSERT_EQ(std::memcmp(out.right.data(), expected.right.data(), sizeof(double) * in.right.size()), 0);
  }
  // Sanity: the material reaches the output on the reset engine.
  double peak = 0;
  for (double v : withReset.left) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.1);
}

// Every engine reads the one process-wide window and weight table, which
// hold exactly what the fill functions compute.
TEST(DoublerEngineConstruction, SharesTheDetectorTables) {
  std::vector<float> window(kDetectorSize), weights(kDetectorWeights);
  FillAnalysisWindow(window.data());
  FillBinWeights(weights.data());
  const auto a = std::make_unique<DoublerEngine>();
  const auto b = std::make_unique<DoublerEngine>();
  EXPECT_EQ(a->AnalysisWindow(), SharedAnalysisWindow());
  EXPECT_EQ(b->AnalysisWindow(), SharedAnalysisWindow());
  EXPECT_EQ(a->BinWeights(), SharedBinWeights());
  EXPECT_EQ(b->BinWeights(), SharedBinWeights());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(SharedAnalysisWindow()) % 32, 0u);
  EXPECT_EQ(std::memcmp(SharedAnalysisWindow(), window.data(), sizeof(float) * kDetectorSize), 0);
  EXPECT_EQ(std::memcmp(SharedBinWeights(), weights.data(), sizeof(float) * kDetectorWeights), 0);
}

TEST(DoublerEngineProcess, NothingDoneForEmptyBlocks) {
  auto e = DefaultEngine(44100);
  double in[4] = {0.5, 0.5, 0.5, 0.5}, outL[4] = {7, 7, 7, 7}, outR[4] = {7, 7, 7, 7};
  const double* ins[2] = {in, in};
  double* outs[2] = {outL, outR};
  e->ProcessBlock(ins, outs, 0);
  e->ProcessBlock(ins, outs, -3);
  EXPECT_EQ(outL[0], 7.0);
  EXPECT_EQ(e->WritePos(), 0);
}

TEST(DoublerEngineProcess, DryPathDelayedExactly4096WithWetZero) {
  auto e = DefaultEngine(44100);
  e->SetWet(0);
  e->SetColor(0);
  StereoBuffer in = Material(20000, 44100, 1);
  in.left[5000] = 0.9;  // an impulse-like spike to locate
  const StereoBuffer out = RunEngine(*e, in, 512);
  size_t argmax = 0;
  for (size_t n = 0; n < out.left.size(); ++n) {
    if (std::fabs(out.left[n]) > std::fabs(out.left[argmax])) argmax = n;
  }
  EXPECT_EQ(argmax, 5000u + 4096u);
  for (size_t n = 0; n < out.left.size(); ++n) {
    const double want = n < 4096 ? 0.0 : static_cast<float>(in.left[n - 4096]);
    // The only residue is the wet filters' 1e-10 floor, added as a float.
    ASSERT_NEAR(out.left[n], want, 2e-10 + 1e-7 * std::fabs(want)) << n;
  }
}

TEST(DoublerEngineProcess, HostBlockSizesGiveIdenticalOutput) {
  const StereoBuffer in = Material(44100, 44100, 2);
  auto reference = DefaultEngine(44100);
  const StereoBuffer want = RunEngine(*reference, in, 4096);
  EXPECT_GT(reference->Period(), 0.0);  // the material is voiced: shifting was active
  for (size_t block : {size_t{1}, size_t{7}, size_t{64}, size_t{1024}}) {
    auto e = DefaultEngine(44100);
    const StereoBuffer got = RunEngine(*e, in, block);
    ASSERT_EQ(std::memcmp(got.left.data(), want.left.data(), want.left.size() * sizeof(double)), 0) << block;
    ASSERT_EQ(std::memcmp(got.right.data(), want.right.data(), want.right.size() * sizeof(double)), 0) << block;
  }
}

TEST(DoublerEngineProcess, BypassCrossFadesOver441Frames) {
  const StereoBuffer in = Material(30000, 44100, 3);
  auto plain = DefaultEngine(44100);
  auto bypassed = DefaultEngine(44100);
  const size_t switchAt = 20000;
  StereoBuffer head(switchAt), tail(in.left.size() - switchAt);
  std::copy(in.left.begin(), in.left.begin() + switchAt, head.left.begin());
  std::copy(in.right.begin(), in.right.begin() + switchAt, head.right.begin());
  std::copy(in.left.begin() + switchAt, in.left.end(), tail.left.begin());
  std::copy(in.right.begin() + switchAt, in.right.end(), tail.right.begin());
  RunEngine(*plain, head, 256);
  RunEngine(*bypassed, head, 256);
  bypassed->SetBypass(true);
  const StereoBuffer processed = RunEngine(*plain, tail, 256);
  const StereoBuffer out = RunEngine(*bypassed, tail, 256);
  for (size_t i = 0; i < 2000; ++i) {
    const double delayed = static_cast<float>(in.left[switchAt + i - 4096]);
    double want = delayed;
    if (i < 441) {
      const double a = (441.0 - i) / 441.0;
      want = a * processed.left[i] + (1.0 - a) * delayed;
    }
    ASSERT_EQ(out.left[i], want) << i;
  }
  // And back: the processed signal returns over the same length.
  bypassed->SetBypass(false);
  plain->SetBypass(false);
  EXPECT_EQ(bypassed->BypassFadeCounter(), 441);
}

TEST(DoublerEngineProcess, WidthSetsSameSideAndCrossGains) {
  // Left-only impulse, unshifted voices (0 cents), no dry, no shaping: the
  // left wet side is same-side gain x voice 1 (330 frames) plus cross gain x
  // voice 2 (661 frames), each through the same low-pass. The ratio of the
  // two responses is the ratio of the gains: (1 - w) / (w + 0.5).
  for (double widthPercent : {50.0, 75.0, 100.0}) {
    auto e = DefaultEngine(44100);
    e->SetCents(0, 0);
    e->SetCents(1, 0);
    e->SetWidthPercent(widthPercent);
    e->SetWet(1.0);
    e->SetColor(0);
    e->Reset(44100);
    StereoBuffer in(12000);
    in.left[2000] = 0.5;
    const StereoBuffer out = RunEngine(*e, in, 1024);
    const size_t first = 2000 + 4096 + 330, second = 2000 + 4096 + 661;
    const double w = widthPercent / 100;
    const double wantRatio = static_cast<float>((1 - w) / std::sqrt(2.0)) / static_cast<double>(static_cast<float>((w + 0.5) / std::sqrt(2.0)));
    double peak1 = 0, peak2 = 0;
    for (size_t j = 0; j < 40; ++j) {
      peak1 = std::max(peak1, std::fabs(out.left[first + j]));
      peak2 = std::max(peak2, std::fabs(out.left[second + j]));
    }
    EXPECT_GT(peak1, 0.1) << widthPercent;
    EXPECT_NEAR(peak2 / peak1, wantRatio, 1e-6) << widthPercent;
    if (widthPercent == 50.0) {
      // Same-side gain wet / sqrt(2): the filter's peak response times it.
      EXPECT_NEAR(peak2 / peak1, 0.5, 1e-6);
    }
  }
}

TEST(DoublerEngineProcess, NonFiniteAndTinyInputsCountAsZero) {
  StereoBuffer clean = Material(12000, 44100, 5);
  StereoBuffer dirty = clean;
  for (size_t n = 3000; n < 3010; ++n) {
    clean.left[n] = clean.right[n] = 0.0;
  }
  dirty.left[3000] = std::numeric_limits<double>::quiet_NaN();
  dirty.right[3001] = std::numeric_limits<double>::infinity();
  dirty.left[3002] = -std::numeric_limits<double>::infinity();
  dirty.right[3003] = 1e300;  // beyond the float range of the history
  dirty.left[3004] = 9e-11;
  dirty.right[3004] = -9e-11;
  for (size_t n = 3005; n < 3010; ++n) dirty.left[n] = dirty.right[n] = 0.0;
  for (size_t n = 3000; n < 3004; ++n) {
    if (std::isfinite(dirty.left[n]) && std::fabs(dirty.left[n]) < 1) dirty.left[n] = 0.0;
    if (std::isfinite(dirty.right[n]) && std::fabs(dirty.right[n]) < 1) dirty.right[n] = 0.0;
  }
  auto a = DefaultEngine(44100);
  auto b = DefaultEngine(44100);
  const StereoBuffer outA = RunEngine(*a, clean, 100);
  const StereoBuffer outB = RunEngine(*b, dirty, 100);
  EXPECT_EQ(std::memcmp(outA.left.data(), outB.left.data(), outA.left.size() * sizeof(double)), 0);
  EXPECT_EQ(std::memcmp(outA.right.data(), outB.right.data(), outA.right.size() * sizeof(double)), 0);
}

TEST(DoublerEngineProcess, OnsetMarkedOnceThenHeld200Ms) {
  auto e = DefaultEngine(44100);
  const size_t total = 13 * 1024;  // 13 whole blocks: newest frame at index 11263
  StereoBuffer in(total);
  for (size_t onset : {3000u, 8000u, 12100u}) {
    for (size_t n = onset; n < onset + 500 && n < total; ++n) in.left[n] = in.right[n] = 0.4 * std::cos(0.05 * (n - onset));
  }
  RunEngine(*e, in, 333);
  const uint8_t* marks = e->TransientMarks();
  // Frame f sits at index f - (total - 1) + 11263.
  const auto indexOf = [&](size_t f) { return static_cast<long>(f) - static_cast<long>(total - 1) + 11263; };
  int count = 0;
  for (long i = indexOf(2000); i <= 11263; ++i) count += marks[i];
  EXPECT_EQ(count, 2);
  EXPECT_EQ(marks[indexOf(3000)], 1);   // first onset
  EXPECT_EQ(marks[indexOf(8000)], 0);   // 5000 frames later: still held (8820)
  EXPECT_EQ(marks[indexOf(12100)], 1);  // 9100 frames later: marked again
}

TEST(DoublerEngineProcess, HistoryHoldsTheNewestFramesAfterEveryBlock) {
  // After each whole block step, index h < 11264 holds the frame that
  // arrived 11263 - h frames before the newest (the block just moved down):
  // checked over 20 blocks, so across every way the history advances, and
  // again after a Reset.
  auto e = DefaultEngine(44100);
  for (int round = 0; round < 2; ++round) {
    StereoBuffer in(1024);
    long total = 0;
    for (int block = 1; block <= 20; ++block) {
      for (size_t n = 0; n < 1024; ++n) {
        const long frame = total + static_cast<long>(n);
        in.left[n] = 0.001 + 1e-5 * frame;
        in.right[n] = -0.002 - 1e-5 * frame;
      }
      RunEngine(*e, in, 100);
      total += 1024;
      const StereoFrame* h = e->History();
      for (int i = 0; i < 11264; ++i) {
        const long frame = total - 1 - (11263 - i);
        const float wantL = frame < 0 ? 0.0f : static_cast<float>(0.001 + 1e-5 * frame);
        ASSERT_EQ(h[i].left, wantL) << "block " << block << " index " << i;
        const float wantR = frame < 0 ? 0.0f : static_cast<float>(-0.002 - 1e-5 * frame);
        ASSERT_EQ(h[i].right, wantR) << "block " << block << " index " << i;
      }
    }
    e->Reset(44100);
    for (int i = 0; i < kHistoryFrames; ++i) ASSERT_EQ(e->History()[i].left, 0.0f) << i;
  }
}

TEST(DoublerEngineProcess, LongSilenceLeavesNoSubnormals) {
  auto e = DefaultEngine(44100);
  RunEngine(*e, Material(20000, 44100, 6), 1024);
  StereoBuffer silence(44100 * 12);
  const StereoBuffer out = RunEngine(*e, silence, 4096);
  for (int side = 0; side < 2; ++side) {
    double s[4];
    e->WetFilter(side).GetState(s);
    for (double v : s) EXPECT_NE(std::fpclassify(v), FP_SUBNORMAL);
  }
  EXPECT_NE(std::fpclassify(e->Envelope().Value()), FP_SUBNORMAL);
  for (size_t n = 0; n < out.left.size(); ++n) {
    ASSERT_NE(std::fpclassify(out.left[n]), FP_SUBNORMAL) << n;
    ASSERT_NE(std::fpclassify(out.right[n]), FP_SUBNORMAL) << n;
  }
  EXPECT_EQ(e->Period(), 0.0);
}

TEST(DoublerEngineProcess, DelayChangeFadesWetSideAndLightsLamp) {
  auto e = DefaultEngine(44100);
  RecordingLamp lamp;
  e->SetBypassLamp(&lamp);
  RunEngine(*e, Material(8192, 44100, 7), 1024);
  e->SetDelayMs(0, 20);
  EXPECT_TRUE(lamp.lit);
  RunEngine(*e, Material(7 * 1024, 44100, 8), 1024);  // 7168 rendered frames > 7056
  EXPECT_FALSE(lamp.lit);
  EXPECT_EQ(e->Voice(0).delay, 882);
  EXPECT_EQ(lamp.changes, 2);
}

// The fast per-frame loop and wet rendering (and the vector detector and
// transform) against the plain references, bit for bit, through the parts
// that branch: splices at large detune, onsets and gaps, delay changes that
// start mid-block and restart mid-fade (the tap switches inside a rendered
// block), bypass fades, shaping on and off, a lost period, two rates.
struct PathRun {
  StereoBuffer out{0};
  std::vector<double> state;  // period, voice positions, filter state
  int lampChanges = 0;
};

PathRun RunWithChanges(DspPath path, double sampleRate, size_t hostBlock) {
  EXPECT_TRUE(ForceDspPath(path));
  auto e = DefaultEngine(sampleRate);
  RecordingLamp lamp;
  e->SetBypassLamp(&lamp);
  e->SetCents(0, -45);
  e->SetCents(1, 60);
  const StereoBuffer in = Material(static_cast<size_t>(sampleRate * 3), sampleRate, 21);
  PathRun run;
  run.out = StereoBuffer(in.left.size());
  size_t calls = 0;
  for (size_t start = 0; start < in.left.size(); start += hostBlock, ++calls) {
    const size_t n = std::min(hostBlock, in.left.size() - start);
    const double* ins[2] = {in.left.data() + start, in.right.data() + start};
    double* outs[2] = {run.out.left.data() + start, run.out.right.data() + start};
    e->ProcessBlock(ins, outs, static_cast<int>(n));
    const size_t at = start + n;  // frames done: changes land at varied block offsets
    if (at >= 20000 && at - n < 20000) e->SetDelayMs(0, 21.3);
    if (at >= 23000 && at - n < 23000) e->SetDelayMs(0, 3.1);  // restarts the running fade
    if (at >= 30000 && at - n < 30000) e->SetDelayMs(1, 40);
    if (at >= 45000 && at - n < 45000) e->SetBypass(true);
    if (at >= 52000 && at - n < 52000) e->SetBypass(false);
    if (at >= 60000 && at - n < 60000) e->SetColor(0.0);
    if (at >= 70000 && at - n < 70000) e->SetColor(1.0);
    if (at >= 80000 && at - n < 80000) e->SetWidthPercent(63);
    if (at >= 90000 && at - n < 90000) e->SetDetectorHpf(57);
  }
  // Silence at the end loses the period: the voices fade back to the tap.
  StereoBuffer silence(static_cast<size_t>(sampleRate / 2));
  const StereoBuffer tail = RunEngine(*e, silence, hostBlock);
  run.out.left.insert(run.out.left.end(), tail.left.begin(), tail.left.end());
  run.out.right.insert(run.out.right.end(), tail.right.begin(), tail.right.end());
  run.state = {e->Period(), e->Voice(0).readPos, e->Voice(0).nextReadPos, e->Voice(1).readPos,
               e->Voice(1).nextReadPos, e->Envelope().Value(), static_cast<double>(e->Voice(0).delay),
               static_cast<double>(e->Voice(1).delay)};
  for (int side = 0; side < 2; ++side) {
    double f[4];
    e->WetFilter(side).GetState(f);
    run.state.insert(run.state.end(), f, f + 4);
  }
  run.lampChanges = lamp.changes;
  e->SetBypassLamp(nullptr);
  ResetDspPath();
  return run;
}

TEST(DoublerEnginePaths, FastPathsMatchReferenceBitForBit) {
  std::vector<DspPath> paths{DspPath::kSSE2};
  if (DspPathAvailable(DspPath::kAVX2)) {
    paths.push_back(DspPath::kAVX2);
  } else {
    std::printf("AVX2 not supported by this CPU: only SSE2 compared\n");
  }
  if (DspPathAvailable(DspPath::kAVX512)) {
    paths.push_back(DspPath::kAVX512);
  } else {
    std::printf("AVX-512 not supported by this CPU: not compared\n");
  }
  for (double sampleRate : {44100.0, 96000.0}) {
    for (size_t hostBlock : {size_t{7}, size_t{64}, size_t{1000}}) {  // 7: odd runs, vector tails
      const PathRun want = RunWithChanges(DspPath::kScalar, sampleRate, hostBlock);
      EXPECT_GE(want.lampChanges, 4);  // both delay changes ran to their end
      for (DspPath path : paths) {
        const PathRun got = RunWithChanges(path, sampleRate, hostBlock);
        const char* name = DspPathName(path);
        ASSERT_EQ(got.out.left.size(), want.out.left.size());
        ASSERT_EQ(std::memcmp(got.out.left.data(), want.out.left.data(), want.out.left.size() * sizeof(double)), 0)
            << name << " " << sampleRate << " " << hostBlock;
        ASSERT_EQ(std::memcmp(got.out.right.data(), want.out.right.data(), want.out.right.size() * sizeof(double)), 0)
            << name << " " << sampleRate << " " << hostBlock;
        ASSERT_EQ(std::memcmp(got.state.data(), want.state.data(), want.state.size() * sizeof(double)), 0) << name;
        EXPECT_EQ(got.lampChanges, want.lampChanges) << name;
      }
    }
  }
}

}  // namespace
