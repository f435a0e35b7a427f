// The renderer against the built module: latency compensation, tail, block
// partition, channel mapping, progress and failures.
#include "host/RenderJob.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/render/RenderSupport.h"

namespace {

void WetZero(VstPlugin& p) { SetPlain(p, kWet, 0.0, 0.0, 1.0); }

// Wet only, both voices unshifted at the longest delay: a click's echo.
void LongEchoes(VstPlugin& p) {
  SetPlain(p, kWet, 1.0, 0.0, 1.0);
  SetPlain(p, kCents1, 0.0, -50.0, 50.0);
  SetPlain(p, kCents2, 0.0, -50.0, 50.0);
  SetPlain(p, kDelay1, 100.0, 5.0, 100.0);
  SetPlain(p, kDelay2, 100.0, 5.0, 100.0);
}

// Wet only, unshifted, the default delays.
void PlainEchoes(VstPlugin& p) {
  SetPlain(p, kWet, 1.0, 0.0, 1.0);
  SetPlain(p, kCents1, 0.0, -50.0, 50.0);
  SetPlain(p, kCents2, 0.0, -50.0, 50.0);
}

std::int64_t PeakFrame(const AudioBuffer& b, int channel, std::int64_t from, std::int64_t to) {
  std::int64_t best = from;
  for (std::int64_t i = from; i < to; ++i)
    if (std::fabs(b.at(i, channel)) > std::fabs(b.at(best, channel))) best = i;
  return best;
}

}  // namespace

TEST(RenderTail, IsTheVoiceDelayPlusOneInternalBlock) {
  // ceil(0.1 s) + 1024 frames at each rate.
  EXPECT_EQ(TailFrames(44100), 4410 + 1024);
  EXPECT_EQ(TailFrames(48000), 4800 + 1024);
  EXPECT_EQ(TailFrames(22050), 2205 + 1024);
  EXPECT_EQ(TailFrames(11025), 1103 + 1024);
}

TEST(RenderAlignment, ClicksWithWetZeroComeOutAtTheirInputPositions) {
  const std::int64_t frames = 20000;
  // Different positions per side, one on the very first and one on the last frame.
  AudioBuffer in = Clicks(44100, frames, {{0, 777, 5000, 12345}, {1, 4096, 9999, frames - 1}}, 0.8f);
  for (int block : {1, 7, 512, 4096}) {
    SCOPED_TRACE("block " + std::to_string(block));
    RenderOptions o;
    o.blockFrames = block;
    AudioBuffer out = RenderBuffer(in, o, WetZero);
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.frames(), frames + TailFrames(44100));
    double worst = 0.0;
    for (std::int64_t i = 0; i < out.frames(); ++i)
      for (int c = 0; c < 2; ++c) {
        float expected = i < frames ? in.at(i, c) : 0.0f;
        worst = std::max(worst, static_cast<double>(std::fabs(out.at(i, c) - expected)));
      }
    // What wet 0 leaves is the wet filters' floor of 1e-10 times a zero gain.
    EXPECT_LT(worst, 1e-7);
  }
}

TEST(RenderAlignment, DefaultSettingsKeepTheDryPartInPlaceAndDelayTheVoices) {
  const std::int64_t frames = 30000;
  const std::vector<std::int64_t> at = {1000, 14000, 27000};
  AudioBuffer in = Clicks(44100, frames, {at, at}, 0.8f);
  AudioBuffer out = RenderBuffer(in, RenderOptions{});
  for (std::int64_t c : at) {
    for (int ch = 0; ch < 2; ++ch) {
      // The default wet is 0.75: a quarter of the click stays dry, in place.
      EXPECT_NEAR(out.at(c, ch), 0.25f * 0.8f, 1e-6) << "click " << c << " channel " << ch;
      EXPECT_NEAR(out.at(c - 1, ch), 0.0f, 1e-6) << "before click " << c;
    }
  }
  // The voices' copies lie their delays later: 7.5 ms left (330 frames), 15 ms
  // right (661 frames); the wet low-pass may smear a click by a frame or two.
  RenderOptions o;
  AudioBuffer wet = RenderBuffer(in, o, PlainEchoes);
  for (std::int64_t c : at) {
    EXPECT_NEAR(static_cast<double>(PeakFrame(wet, 0, c + 1, c + 2000)), c + 330.0, 2.0);
    EXPECT_NEAR(static_cast<double>(PeakFrame(wet, 1, c + 1, c + 2000)), c + 661.0, 2.0);
  }
}

// Wet only, unshifted, delays other than the defaults (20 and 30 ms).
void MovedEchoes(VstPlugin& p) {
  PlainEchoes(p);
  SetPlain(p, kDelay1, 20.0, 5.0, 100.0);
  SetPlain(p, kDelay2, 30.0, 5.0, 100.0);
}

TEST(RenderAlignment, TheFirstEchoIsAsStrongAsALaterOne) {
  // The suspend before processing makes the voices start at the delays set
  // after opening; without it the first echo would fall into the fade of the
  // delay change (and come from the old tap).
  const std::vector<std::int64_t> at = {0, 20000};
  AudioBuffer in = Clicks(44100, 30000, {at, at}, 0.5f);
  AudioBuffer out = RenderBuffer(in, RenderOptions{}, MovedEchoes);
  for (int ch = 0; ch < 2; ++ch) {
    std::int64_t first = PeakFrame(out, ch, 1, 2000);
    std::int64_t later = PeakFrame(out, ch, 20001, 22000);
    EXPECT_EQ(later - 20000, first) << "channel " << ch;
    EXPECT_NEAR(static_cast<double>(first), ch == 0 ? 882.0 : 1323.0, 2.0);
    EXPECT_NEAR(out.at(first, ch), out.at(later, ch), 1e-5) << "channel " << ch;
  }
}

TEST(RenderTail, KeepsTheWholeEchoOfTheLastFrame) {
  const std::int64_t frames = 8000;
  AudioBuffer in = Clicks(44100, frames, {{frames - 1}, {frames - 1}}, 0.5f);
  AudioBuffer out = RenderBuffer(in, RenderOptions{}, LongEchoes);
  ASSERT_EQ(out.frames(), frames + TailFrames(44100));
  // 100 ms is more than 4096 frames at 44100 Hz: the voices are held at 4096.
  for (int ch = 0; ch < 2; ++ch) {
    std::int64_t echo = PeakFrame(out, ch, frames, out.frames());
    EXPECT_NEAR(static_cast<double>(echo), frames - 1 + 4096.0, 2.0);
    EXPECT_GT(std::fabs(out.at(echo, ch)), 0.3f);
    for (std::int64_t i = out.frames() - 512; i < out.frames(); ++i)
      ASSERT_LT(std::fabs(out.at(i, ch)), 1e-6) << "frame " << i << " channel " << ch;
  }
}

TEST(RenderTail, TrimmedOutputHasTheInputLengthAndTheSameFrames) {
  AudioBuffer in = Tone(44100, 10000, 2);
  RenderOptions o;
  AudioBuffer full = RenderBuffer(in, o);
  o.trimTail = true;
  AudioBuffer trimmed = RenderBuffer(in, o);
  ASSERT_EQ(trimmed.frames(), in.frames());
  for (std::int64_t i = 0; i < trimmed.frames(); ++i)
    for (int c = 0; c < 2; ++c) ASSERT_EQ(trimmed.at(i, c), full.at(i, c)) << "frame " << i;
}

TEST(RenderBlocks, EveryHostBlockSizeGivesTheSameOutput) {
  AudioBuffer in = Tone(44100, 44100, 2);
  RenderOptions o;
  AudioBuffer reference = RenderBuffer(in, o);
  for (int block : {1, 7, 64, 1000, 1024, 4096, kMaxBlockFrames}) {
    o.blockFrames = block;
    AudioBuffer out = RenderBuffer(in, o);
    ASSERT_EQ(out.frames(), reference.frames()) << "block " << block;
    EXPECT_TRUE(out.samples == reference.samples) << "block " << block;
  }
}

TEST(RenderChannels, MonoRunsThePlugInMonoLikeStereoWithASilentRightInput) {
  AudioBuffer mono = Tone(44100, 30000, 1);
  AudioBuffer stereo = mono;
  stereo.channels = 2;
  stereo.samples.clear();
  for (float v : mono.samples) stereo.samples.insert(stereo.samples.end(), {v, 0.0f});
  AudioBuffer outMono = RenderBuffer(mono, RenderOptions{});
  AudioBuffer outStereo = RenderBuffer(stereo, RenderOptions{});
  ASSERT_EQ(outMono.channels, 1);
  ASSERT_EQ(outMono.frames(), outStereo.frames());
  for (std::int64_t i = 0; i < outMono.frames(); ++i)
    ASSERT_EQ(outMono.at(i, 0), outStereo.at(i, 0)) << "frame " << i;
}

TEST(RenderChannels, MonoWidenedToStereoDoublesOnBothSides) {
  AudioBuffer mono = Tone(44100, 30000, 1);
  RenderOptions o;
  o.channels = 2;
  AudioBuffer dry = RenderBuffer(mono, o, WetZero);
  ASSERT_EQ(dry.channels, 2);
  for (std::int64_t i = 0; i < mono.frames(); ++i) {
    ASSERT_NEAR(dry.at(i, 0), mono.at(i, 0), 1e-7) << "frame " << i;
    ASSERT_NEAR(dry.at(i, 1), mono.at(i, 0), 1e-7) << "frame " << i;
  }
  AudioBuffer doubled = RenderBuffer(mono, o);
  double sideDifference = 0.0;
  for (std::int64_t i = 0; i < mono.frames(); ++i)
    sideDifference += std::fabs(doubled.at(i, 0) - doubled.at(i, 1));
  // The two voices differ in delay and pitch, so the sides part.
  EXPECT_GT(sideDifference / static_cast<double>(mono.frames()), 0.01);
}

TEST(RenderChannels, StereoFoldedToMonoTakesTheMean) {
  AudioBuffer in = Tone(44100, 12000, 2);
  RenderOptions o;
  o.channels = 1;
  AudioBuffer out = RenderBuffer(in, o, WetZero);
  ASSERT_EQ(out.channels, 1);
  for (std::int64_t i = 0; i < in.frames(); ++i)
    ASSERT_NEAR(out.at(i, 0), 0.5f * (in.at(i, 0) + in.at(i, 1)), 1e-7) << "frame " << i;
}

TEST(RenderChannels, MoreThanTwoChannelsAreRefused) {
  RenderOptions o;
  EXPECT_EQ(OutputChannels(1, o), 1);
  EXPECT_EQ(OutputChannels(2, o), 2);
  EXPECT_EQ(OutputChannels(3, o), 0);
  EXPECT_EQ(OutputChannels(0, o), 0);
  o.channels = 2;
  EXPECT_EQ(OutputChannels(1, o), 2);
  EXPECT_EQ(OutputChannels(6, o), 0);

  AudioBuffer three;
  three.channels = 3;
  three.samples.assign(300, 0.1f);
  std::string error;
  AudioBuffer out = RenderBuffer(three, RenderOptions{}, nullptr, &error);
  EXPECT_NE(error.find("3 channels"), std::string::npos) << error;
  EXPECT_EQ(out.frames(), 0);
}

TEST(RenderChannels, RatesOutsideWhatHostsUseAreRefused) {
  for (int rate : {kMinSampleRate - 1, 4000, kMaxSampleRate + 1}) {
    AudioBuffer in = Tone(44100, 3000, 2);
    in.sampleRate = rate;
    std::string error;
    AudioBuffer out = RenderBuffer(in, RenderOptions{}, nullptr, &error);
    EXPECT_NE(error.find(std::to_string(rate) + " Hz"), std::string::npos) << error;
    EXPECT_EQ(out.frames(), 0);
  }
  for (int rate : {kMinSampleRate, kMaxSampleRate}) {
    AudioBuffer in = Tone(44100, 3000, 1);
    in.sampleRate = rate;
    AudioBuffer out = RenderBuffer(in, RenderOptions{});
    EXPECT_EQ(out.frames(), in.frames() + TailFrames(rate)) << rate;
  }
}

namespace {

// A source whose header promised more frames than it holds, as a cut-off file does.
class ShortSource : public MemorySource {
 public:
  using MemorySource::MemorySource;
  std::int64_t frames() const override { return MemorySource::frames() + 5000; }
};

class FailingSource : public MemorySource {
 public:
  using MemorySource::MemorySource;
  std::int64_t read(float* dst, std::int64_t n) override {
    // Fails once it has delivered something, and long before the end.
    return ++mCalls > 1 ? -1 : MemorySource::read(dst, n);
  }
  std::string error() const override { return "disk on fire"; }

 private:
  int mCalls = 0;
};

class FailingSink : public AudioSink {
 public:
  bool write(const float*, std::int64_t) override { return false; }
  std::string error() const override { return "disk full"; }
};

struct Started {
  std::unique_ptr<VstPlugin> plugin = NewPlugin();
  explicit Started(int channels) { StartPlugin(*plugin, 44100, 512, channels); }
};

}  // namespace

TEST(RenderStreams, ASourceShorterThanDeclaredEndsWhereItsFramesEnd) {
  AudioBuffer in = Tone(44100, 7000, 2);
  Started s(2);
  ShortSource source(in);
  AudioBuffer out;
  out.channels = 2;
  MemorySink sink(&out);
  std::string error;
  RenderStats stats;
  ASSERT_TRUE(Render(*s.plugin, source, sink, RenderOptions{}, nullptr, &error, &stats)) << error;
  EXPECT_EQ(out.frames(), in.frames() + TailFrames(44100));
  EXPECT_GT(source.frames(), in.frames());
  EXPECT_EQ(stats.inputFrames, in.frames());
  EXPECT_EQ(stats.outputFrames, out.frames());
}

TEST(RenderStreams, ReadAndWriteFailuresStopTheRenderWithTheirMessage) {
  // Longer than the renderer reads from a file at a time.
  AudioBuffer in = Tone(44100, 100000, 2);
  {
    Started s(2);
    FailingSource source(in);
    AudioBuffer out;
    out.channels = 2;
    MemorySink sink(&out);
    std::string error;
    EXPECT_FALSE(Render(*s.plugin, source, sink, RenderOptions{}, nullptr, &error));
    EXPECT_EQ(error, "disk on fire");
  }
  {
    Started s(2);
    MemorySource source(in);
    FailingSink sink;
    std::string error;
    EXPECT_FALSE(Render(*s.plugin, source, sink, RenderOptions{}, nullptr, &error));
    EXPECT_EQ(error, "disk full");
  }
}

TEST(RenderStreams, ProgressRisesToTheWholeInputAndCanStopTheRender) {
  AudioBuffer in = Tone(44100, 10000, 2);
  std::vector<std::int64_t> seen;
  {
    Started s(2);
    MemorySource source(in);
    AudioBuffer out;
    out.channels = 2;
    MemorySink sink(&out);
    std::string error;
    ASSERT_TRUE(Render(*s.plugin, source, sink, RenderOptions{},
                       [&](std::int64_t done, std::int64_t total) {
                         EXPECT_EQ(total, in.frames());
                         seen.push_back(done);
                         return true;
                       },
                       &error));
  }
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.back(), in.frames());
  {
    Started s(2);
    MemorySource source(in);
    AudioBuffer out;
    out.channels = 2;
    MemorySink sink(&out);
    std::string error;
    int calls = 0;
    EXPECT_FALSE(Render(*s.plugin, source, sink, RenderOptions{},
                        [&](std::int64_t, std::int64_t) { return ++calls < 3; }, &error));
    EXPECT_EQ(error, "stopped");
    EXPECT_EQ(calls, 3);
  }
}
