#include "dsp/DelayVoice.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "TestSignals.h"
#include "dsp/DelayVoiceInline.h"
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

struct VoiceRig {
  explicit VoiceRig(uint64_t seed) : history(kHistoryFrames), marks(kHistoryFrames, 0) {
    TestRandom rnd(seed);
    for (StereoFrame& f : history) f = {static_cast<float>(rnd.Uniform()), static_cast<float>(rnd.Uniform())};
    context.history = history.data();
    context.transientMarks = marks.data();
    context.lookAhead = 441;
    context.bypassFadeLength = 441;
  }
  void SetPeriod(double p) {
    context.period = p;
    context.halfPeriod = 0.5 * p;
  }
  StereoFrame Tap(const DelayVoice& v, int index) const { return history[kMaxDelayFrames - v.delay + index]; }
  std::vector<StereoFrame> history;
  std::vector<uint8_t> marks;
  VoiceContext context;
};

DelayVoice RestingVoice(double ratio, int delay) {
  DelayVoice v;
  ClearVoiceMotion(&v);
  v.ratio = ratio;
  v.delay = delay;
  return v;
}

bool Same(StereoFrame a, StereoFrame b) { return a.left == b.left && a.right == b.right; }

TEST(DelayVoiceRead, InterpolatesAndClamps) {
  VoiceRig rig(1);
  const StereoFrame a = rig.history[100 + 5000], b = rig.history[100 + 5001];
  EXPECT_TRUE(Same(ReadHistory(rig.history.data(), 100, -1.0, 5000), a));
  EXPECT_TRUE(Same(ReadHistory(rig.history.data(), 100, 5000.0, 4096), a));
  const StereoFrame m = ReadHistory(rig.history.data(), 100, 5000.25, 4096);
  EXPECT_EQ(m.left, static_cast<float>(0.75 * a.left + 0.25 * b.left));
  EXPECT_EQ(m.right, static_cast<float>(0.75 * a.right + 0.25 * b.right));
  // Far outside: the last two frames of the history, never beyond.
  EXPECT_TRUE(Same(ReadHistory(rig.history.data(), 4096, 1e9, 4096), rig.history[kHistoryFrames - 2]));
}

TEST(DelayVoiceRead, WholeNumberAndHugePositionsAndBothClamps) {
  VoiceRig rig(2);
  const StereoFrame* h = rig.history.data();
  // Position 0 (+0 and -0) reads base[0] itself; 0.5 halves the first step.
  EXPECT_TRUE(Same(ReadHistory(h, 100, 0.0, 4096), rig.history[100]));
  EXPECT_TRUE(Same(ReadHistory(h, 100, -0.0, 4096), rig.history[100]));
  const StereoFrame m = ReadHistory(h, 100, 0.5, 4096);
  EXPECT_EQ(m.left, static_cast<float>(0.5 * rig.history[100].left + 0.5 * rig.history[101].left));
  // Below the start: clamped to the first two frames; above the end, from
  // just below 2^52 to far beyond it: the last two.
  // Only the frame index is clamped; the fraction still weighs the pair.
  const auto lerp = [&](int i, double t) {
    return StereoFrame{static_cast<float>((1.0 - t) * h[i].left + t * h[i + 1].left),
                       static_cast<float>((1.0 - t) * h[i].right + t * h[i + 1].right)};
  };
  EXPECT_TRUE(Same(ReadHistory(h, -500, 20.0, 4096), rig.history[0]));
  EXPECT_TRUE(Same(ReadHistory(h, -500, 499.75, 4096), lerp(0, 0.75)));
  for (double pos : {12286.0, 4503599627370496.0, 1e300}) {
    EXPECT_TRUE(Same(ReadHistory(h, 0, pos, 4096), rig.history[kHistoryFrames - 2])) << pos;
  }
  EXPECT_TRUE(Same(ReadHistory(h, 0, 4503599627370495.5, 4096), lerp(kHistoryFrames - 2, 0.5)));
  // The last frame pair, fractionally.
  const StereoFrame last = ReadHistory(h, 0, 12286.25, 4096);
  EXPECT_EQ(last.right, static_cast<float>(0.75 * rig.history[12286].right + 0.25 * rig.history[12287].right));
}

TEST(DelayVoiceDelayChange, FramesWithCurrentTapEndsAtEachSwitch) {
  // Walk whole changes frame by frame: the count must always reach exactly
  // the frame after which the delay differs (or 0 frames are left).
  for (int fadeHalf : {1, 2, 5, 100}) {
    DelayVoice v = RestingVoice(1.0, 50);
    EXPECT_EQ(FramesWithCurrentTap(v, fadeHalf), INT_MAX);
    v.delayMs = 3.0;
    SetVoiceDelay(&v, 44100, fadeHalf, nullptr);  // 132 frames
    int switches = 0;
    while (v.delayFadeCounter != 0) {
      const int frames = FramesWithCurrentTap(v, fadeHalf);
      ASSERT_GE(frames, 1);
      const int32_t before = v.delay;
      const int32_t target = v.targetDelay;
      for (int i = 0; i < frames; ++i) {
        ASSERT_EQ(v.delay, before) << "switched early, fadeHalf " << fadeHalf;
        float sample = 1.0f;
        ApplyDelayFade(&v, &sample, fadeHalf, nullptr);
      }
      // The last call was a switch point: the tap is the target now.
      EXPECT_EQ(v.delay, target) << fadeHalf;
      ++switches;
    }
    EXPECT_EQ(switches, 2) << fadeHalf;  // midpoint and end
    EXPECT_EQ(v.delay, 132);
  }
  // A change restarted mid-fade counts from its new counter.
  DelayVoice v = RestingVoice(1.0, 50);
  v.delayFadeCounter = 7;
  EXPECT_EQ(FramesWithCurrentTap(v, 5), 2);  // r = 6, 5: switch at the second call
  v.delayFadeCounter = 5;
  EXPECT_EQ(FramesWithCurrentTap(v, 5), 5);  // past the midpoint: the end
}

TEST(DelayVoiceSplice, RaisedCosineWeights) {
  const StereoFrame a{1.0f, 0.0f}, b{0.0f, 1.0f};
  const int f = 99;
  for (int e = f; e >= 1; --e) {
    const double h = 0.5 * (1 - std::cos(2 * M_PI * (e + 1) / (2 * f + 1)));
    const double g = 0.5 * (1 - std::cos(2 * M_PI * (f - e + 1) / (2 * f + 1)));
    const StereoFrame r = SpliceCrossfade(a, b, e, f);
    EXPECT_EQ(r.left, static_cast<float>(h / (g + h))) << e;
    EXPECT_NEAR(r.left + r.right, 1.0f, 1e-6f);
  }
  EXPECT_GT(SpliceCrossfade(a, b, f, f).left, 0.9f);  // first frame: old dominates
  EXPECT_LT(SpliceCrossfade(a, b, 1, f).left, 0.1f);  // last frame: new dominates
}

TEST(DelayVoiceMotion, RatioOneEqualsPlainTap) {
  VoiceRig rig(2);
  rig.SetPeriod(100);
  DelayVoice v = RestingVoice(1.0, 330);
  v.spliceLength = 100;
  for (int index = 4096; index < 5120; ++index) {
    const StereoFrame out = NextVoiceFrame(&v, rig.context, index);
    ASSERT_TRUE(Same(out, rig.Tap(v, index))) << index;
    ASSERT_EQ(v.readPos, index + 1.0);
    ASSERT_EQ(v.fadeCounter, 0);
  }
}

TEST(DelayVoiceMotion, PlusTenCentsSplicesEveryHalfPeriod) {
  VoiceRig rig(3);
  rig.SetPeriod(100);
  const double ratio = std::pow(2.0, 10.0 / 1200);
  DelayVoice v = RestingVoice(ratio, 0);
  v.spliceLength = 100 / ratio;
  int splices = 0;
  double previousDrift = 0;  // drift Realign saw on the frame before
  // Many blocks' worth of frames at a fixed index range is not possible, so
  // shift the positions by hand like the block step does.
  for (int block = 0; block < 40; ++block) {
    for (int index = 4096; index < 5120; ++index) {
      const double driftBefore = v.readPos - index;  // where Realign looks
      const int fadeBefore = v.fadeCounter;
      NextVoiceFrame(&v, rig.context, index);
      if (fadeBefore == 0 && v.fadeCounter > 0) {
        ++splices;
        EXPECT_EQ(v.fadeLength, 99);                   // trunc(100 / 2^(10/1200))
        EXPECT_GE(driftBefore, 50.0);                  // ran half a period ahead...
        EXPECT_LT(previousDrift, 50.0);                // ...this very frame
        EXPECT_NEAR(v.nextReadPos - v.readPos, -100.0, 1e-9);  // pulled back one period
      }
      previousDrift = driftBefore;
    }
    if (v.readPos >= 0) v.readPos -= 1024;
    if (v.nextReadPos >= 0) v.nextReadPos -= 1024;
  }
  // 40960 frames drifting 0.00579 frames per frame: the first splice after
  // 50 / 0.00579 ~ 8630 frames, the next after another ~(100 - 99 * 0.00579)
  // / 0.00579 ~ 17160 frames, the third would need ~43000: 2 splices.
  EXPECT_EQ(splices, 2);
}

TEST(DelayVoiceMotion, LostPeriodFadesToTapOverTenMs) {
  VoiceRig rig(4);
  rig.SetPeriod(100);
  DelayVoice v = RestingVoice(std::pow(2.0, -20.0 / 1200), 100);
  v.spliceLength = 100 / v.ratio;
  for (int index = 4096; index < 4200; ++index) NextVoiceFrame(&v, rig.context, index);
  ASSERT_GE(v.readPos, 0.0);
  rig.SetPeriod(0);
  NextVoiceFrame(&v, rig.context, 4200);
  EXPECT_EQ(v.fadeLength, 441);
  EXPECT_EQ(v.nextReadPos, -1.0);
  for (int index = 4201; index < 4201 + 441; ++index) NextVoiceFrame(&v, rig.context, index);
  EXPECT_EQ(v.fadeCounter, 0);
  EXPECT_LT(v.readPos, 0.0);
  for (int index = 4642; index < 5120; ++index) ASSERT_TRUE(Same(NextVoiceFrame(&v, rig.context, index), rig.Tap(v, index)));
}

TEST(DelayVoiceMotion, TransientAheadFadesToTapBeforeOnset) {
  VoiceRig rig(5);
  rig.SetPeriod(100);
  DelayVoice v = RestingVoice(std::pow(2.0, 30.0 / 1200), 200);
  v.spliceLength = 100 / v.ratio;
  // The onset reaches the tap at index 4800: its mark sits lookAhead later
  // than the tap of index 4800 - 441.
  const int onsetIndex = 4800;
  rig.marks[4096 + onsetIndex - v.delay] = 1;
  bool sawFade = false;
  for (int index = 4096; index < 5120; ++index) {
    NextVoiceFrame(&v, rig.context, index);
    if (index < onsetIndex - 441 && index > 4200) {
      ASSERT_GT(v.readPos - index, 1.0) << "gliding ahead";
    }
    if (index == onsetIndex - 441) {
      sawFade = v.fadeCounter > 0 && v.nextReadPos < 0;
      EXPECT_EQ(v.fadeLength, 441 / 2);
    }
    if (index == onsetIndex - 441 + 441 / 2) {
      EXPECT_LT(v.readPos, 0.0);  // back on the plain tap
    }
    if (index == onsetIndex) {
      // Gliding restarted from the tap: still within a few frames of it.
      EXPECT_LT(std::fabs(v.readPos - (index + 1)), 5.0);
    }
  }
  EXPECT_TRUE(sawFade);
  // A mark beyond the newest frame (very high rates) counts as unmarked.
  DelayVoice w = RestingVoice(1.0, 0);
  rig.context.lookAhead = 100000;
  NextVoiceFrame(&w, rig.context, 5119);
  EXPECT_EQ(w.transientCountdown, 0);
}

TEST(DelayVoiceDelayChange, SevenAndAHalfToTwentyMs) {
  RecordingLamp lamp;
  const double sr = 44100;
  const int L = 3528;
  DelayVoice v = RestingVoice(1.0, DelayFrames(sr, 7.5));
  EXPECT_EQ(v.delay, 330);
  v.delayMs = 20;
  SetVoiceDelay(&v, sr, L, &lamp);
  EXPECT_TRUE(lamp.lit);
  EXPECT_EQ(v.targetDelay, 882);
  EXPECT_EQ(v.delayFadeCounter, 2 * L);
  for (int i = 1; i <= 2 * L; ++i) {
    float s = 1.0f;
    ApplyDelayFade(&v, &s, L, &lamp);
    if (i < 2 * L) {
      ASSERT_EQ(s, static_cast<float>(std::abs(L - i) / static_cast<double>(L))) << i;
      ASSERT_EQ(v.delay, i < L ? 330 : 882) << i;
      ASSERT_TRUE(lamp.lit) << i;
    } else {
      EXPECT_EQ(s, 1.0f);  // the last frame at full level ends the change
    }
  }
  EXPECT_FALSE(lamp.lit);
  EXPECT_EQ(v.delay, 882);
  EXPECT_EQ(v.targetDelay, 0);
  EXPECT_EQ(v.delayFadeCounter, 0);
  float s = 0.5f;
  ApplyDelayFade(&v, &s, L, &lamp);
  EXPECT_EQ(s, 0.5f);
}

TEST(DelayVoiceDelayChange, SecondChangeContinuesFromReachedLevel) {
  RecordingLamp lamp;
  const double sr = 44100;
  const int L = 3528;
  DelayVoice v = RestingVoice(1.0, 330);
  v.delayMs = 20;
  SetVoiceDelay(&v, sr, L, &lamp);
  float last = 0;
  for (int i = 1; i <= 1000; ++i) {
    last = 1.0f;
    ApplyDelayFade(&v, &last, L, &lamp);
  }
  v.delayMs = 10;
  SetVoiceDelay(&v, sr, L, &lamp);
  EXPECT_EQ(v.delayFadeGain, static_cast<float>(std::abs(6056 - L) / static_cast<double>(L)));
  EXPECT_EQ(v.targetDelay, 441);
  bool switched = false;
  for (int i = 1; i <= 2 * L; ++i) {
    float s = 1.0f;
    ApplyDelayFade(&v, &s, L, &lamp);
    if (i == 1) {
      EXPECT_NEAR(s, last, 2.0f / L);  // no jump at the restart
    }
    ASSERT_NE(v.delay, 882) << i;                // never the intermediate value
    if (v.delay == 441) switched = true;
  }
  EXPECT_TRUE(switched);
  EXPECT_EQ(v.delayFadeCounter, 0);
  EXPECT_FALSE(lamp.lit);
}

TEST(DelayVoiceDelayChange, SameValueAndLimits) {
  RecordingLamp lamp;
  DelayVoice v = RestingVoice(1.0, 330);
  v.delayMs = 7.5;
  SetVoiceDelay(&v, 44100, 3528, &lamp);
  EXPECT_EQ(v.delayFadeCounter, 0);
  EXPECT_EQ(lamp.changes, 0);
  EXPECT_EQ(DelayFrames(44100, 100), 4096);
  EXPECT_EQ(DelayFrames(96000, 100), 4096);
  EXPECT_EQ(DelayFrames(44100, 15), 661);
  EXPECT_EQ(DelayFrames(44100, -5), 0);
  // A null lamp is fine everywhere.
  v.delayMs = 50;
  SetVoiceDelay(&v, 44100, 3528, nullptr);
  for (int i = 0; i < 2 * 3528; ++i) {
    float s = 1;
    ApplyDelayFade(&v, &s, 3528, nullptr);
  }
  EXPECT_EQ(v.delay, 2205);
}

}  // namespace

namespace {

TEST(DelayVoiceSpan, LerpKnownLanes) {
  // a = frame 0, b = frame 1; each lane from its own channel, in double.
  const StereoFrame frames[3] = {{1.0f, -2.0f}, {3.0f, 6.0f}, {99.0f, 99.0f}};
  const StereoFrame quarter = LerpFramesSse2(frames, 0.25);
  EXPECT_EQ(quarter.left, 1.5f);
  EXPECT_EQ(quarter.right, 0.0f);
  const StereoFrame unaligned = LerpFramesSse2(frames + 1, 0.5);  // 8-byte aligned only
  EXPECT_EQ(unaligned.left, 51.0f);
  EXPECT_EQ(unaligned.right, 52.5f);
  // Rounded once from the double result: 0.1 is not a float.
  const StereoFrame tenth = LerpFramesSse2(frames, 0.1);
  EXPECT_EQ(tenth.left, static_cast<float>(0.9 * 1.0 + 0.1 * 3.0));
  EXPECT_EQ(tenth.right, static_cast<float>(0.9 * -2.0 + 0.1 * 6.0));
}

// A span must render exactly what the per-frame step renders, and stop on
// exactly the first frame where the step does more than read and move on
// (a splice, a transient, leaving the tap), or render nothing in the
// states it does not cover.
struct SpanCase {
  const char* name;
  double cents, period, drift;  // readPos = index + drift (drift < -1e6: the plain tap)
  bool nextFollows;             // nextReadPos = readPos, else -1
  int markAt;                   // frame (from the span's start) whose look-ahead mark is set, -1: none
  int lookAhead, fadeCounter, countdown;
  bool spans;                   // the span covers this state
};

TEST(DelayVoiceSpan, SpanEqualsStepsAndStopsWhereTheStepActs) {
  const SpanCase cases[] = {
      {"ahead, splice at frame 11", 30, 100, 49.8, true, -1, 441, 0, 0, true},
      {"behind, splice later", -30, 100, -49.0, false, -1, 441, 0, 0, true},
      {"gliding, mark at frame 9", 10, 300, 10.0, true, 9, 441, 0, 0, true},
      {"gliding, mark past the history", 10, 300, 0.0, true, 0, 100000, 0, 0, true},
      {"ratio 1", 0, 100, 0.0, true, -1, 441, 0, 0, true},
      {"tap without period, mark at frame 5", 10, 0, -1e9, false, 5, 441, 0, 0, true},
      {"tap without period", -10, 0, -1e9, false, -1, 441, 0, 0, true},
      {"tap with a period", 10, 100, -1e9, false, -1, 441, 0, 0, false},
      {"splicing", 10, 100, 3.0, true, -1, 441, 20, 0, false},
      {"transient pending", 10, 100, 3.0, true, -1, 441, 0, 30, false},
      {"half period too long", 10, 4100, 3.0, true, -1, 441, 0, 0, false},
      {"gliding, period lost", 10, 0, 3.0, true, -1, 441, 0, 0, false},
  };
  const int counts[] = {0, 1, 3, 4, 5, 7, 8, 15, 16, 17, 200};
  int stoppedEarly = 0;
  for (const SpanCase& sc : cases) {
    for (int start : {4096, 4097, 4099, 4903}) {
      VoiceRig rig(11);
      rig.SetPeriod(sc.period);
      rig.context.lookAhead = sc.lookAhead;
      DelayVoice v = RestingVoice(sc.cents == 0 ? 1.0 : std::pow(2.0, sc.cents / 1200), 250);
      v.spliceLength = sc.period / v.ratio;
      v.readPos = sc.drift < -1e6 ? -1.0 : start + sc.drift;
      v.nextReadPos = sc.nextFollows ? v.readPos : -1.0;
      v.fadeCounter = v.fadeLength = sc.fadeCounter;
      v.transientCountdown = sc.countdown;
      if (sc.markAt >= 0) {
        const long mark = 4096L + start + sc.markAt + sc.lookAhead - v.delay;
        if (mark < kHistoryFrames) rig.marks[static_cast<size_t>(mark)] = 1;
      }
      // Where the step first acts, within 200 frames.
      int acts = 200;
      {
        DelayVoice w = v;
        for (int k = 0; k < 200; ++k) {
          const double before = w.readPos;
          NextVoiceFrameInline(&w, rig.context, start + k);
          const bool moved = before >= 0 ? w.readPos != before + w.ratio : w.readPos != before;
          if (w.fadeCounter != 0 || w.transientCountdown != 0 || moved) {
            acts = k;
            break;
          }
        }
      }
      for (int count : counts) {
        DelayVoice a = v, b = v;
        std::vector<StereoFrame> spanOut(count + 2, StereoFrame{-7.0f, -7.0f});
        const int n = GlideSpanInline(&a, rig.context, start, count, spanOut.data() + 1);
        const int want = sc.spans ? std::min(count, acts) : 0;
        ASSERT_EQ(n, want) << sc.name << " start " << start << " count " << count;
        for (int k = 0; k < n; ++k) {
          const StereoFrame step = NextVoiceFrameInline(&b, rig.context, start + k);
          ASSERT_TRUE(Same(spanOut[k + 1], step)) << sc.name << " start " << start << " frame " << k;
        }
        EXPECT_TRUE(Same(spanOut[0], {-7.0f, -7.0f}));
        EXPECT_TRUE(Same(spanOut[count + 1], {-7.0f, -7.0f}));
        EXPECT_EQ(a.readPos, b.readPos) << sc.name;
        EXPECT_EQ(a.nextReadPos, b.nextReadPos) << sc.name;
        EXPECT_EQ(a.fadeCounter, b.fadeCounter) << sc.name;
        EXPECT_EQ(a.transientCountdown, b.transientCountdown) << sc.name;
        if (n < count) ++stoppedEarly;
      }
    }
  }
  EXPECT_GT(stoppedEarly, 0);
}

// The AVX2 span (two frames at a time) against the plain span, which the
// test above holds to the step: same frames, same state, for splices that
// fall on the first or the second frame of a pair and every tail length.
TEST(DelayVoiceSpan, PairedSpanEqualsSpan) {
  if (!DspPathAvailable(DspPath::kAVX2)) {
    std::printf("skipping: AVX2 not supported by this CPU\n");
    return;
  }
  struct PairCase {
    double cents, drift;
    bool nextFollows;
  };
  const PairCase cases[] = {{30, 49.8, true}, {30, 49.79, false}, {-30, -49.0, true}, {-45, -48.7, false}, {0, 0.0, true}};
  int compared = 0;
  for (const PairCase& pc : cases) {
    for (int start : {4096, 4097, 4903}) {
      for (int count : {0, 1, 2, 3, 4, 5, 7, 8, 15, 16, 17, 200}) {
        VoiceRig rig(11);
        rig.SetPeriod(100);
        DelayVoice v = RestingVoice(pc.cents == 0 ? 1.0 : std::pow(2.0, pc.cents / 1200), 250);
        v.spliceLength = 100 / v.ratio;
        v.readPos = start + pc.drift;
        v.nextReadPos = pc.nextFollows ? v.readPos - 100 : -1.0;
        DelayVoice a = v, b = v;
        std::vector<StereoFrame> want(count + 2, StereoFrame{-7.0f, -7.0f}), got = want;
        const int n = GlideSpanInline<false>(&a, rig.context, start, count, want.data() + 1);
        ASSERT_EQ(GlideSpanInline<true>(&b, rig.context, start, count, got.data() + 1), n)
            << pc.cents << " " << start << " " << count;
        for (int k = 0; k < count + 2; ++k) ASSERT_TRUE(Same(got[k], want[k])) << pc.cents << " frame " << k;
        EXPECT_EQ(a.readPos, b.readPos);
        EXPECT_EQ(a.nextReadPos, b.nextReadPos);
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 5 * 3 * 12);
}

}  // namespace
