// Debian's command-line LV2 hosts render a file through the bundle without
// errors, and their output is the project's own rendering (duv-render
// through the VST 2 module) sample for sample. Those hosts do not compensate
// latency, so their frame i + 4096 is duv-render's frame i.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr int kFrames = 30000;
constexpr int kLatency = 4096;
constexpr const char* kURI = "https://pelko.audio/plugins/duv";

struct Audio {
  int channels = 0, rate = 0;
  std::vector<float> samples;  // interleaved
  std::int64_t Frames() const { return channels ? static_cast<std::int64_t>(samples.size()) / channels : 0; }
};

bool WriteFloatWav(const std::string& path, const Audio& a) {
  SF_INFO info{};
  info.samplerate = a.rate;
  info.channels = a.channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) return false;
  const sf_count_t n = sf_writef_float(f, a.samples.data(), a.Frames());
  sf_close(f);
  return n == a.Frames();
}

Audio Read(const std::string& path) {
  Audio a;
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return a;
  a.channels = info.channels;
  a.rate = info.samplerate;
  a.samples.resize(static_cast<std::size_t>(info.frames * info.channels));
  sf_readf_float(f, a.samples.data(), info.frames);
  sf_close(f);
  EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT) << path << " is not float";
  return a;
}

int RunCommand(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Lv2Cli : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::path(testing::TempDir()) / "duv-lv2-cli";
    fs::create_directories(dir);
    Audio in{2, kRate, std::vector<float>(2 * kFrames)};
    std::uint32_t seed = 7;
    for (int i = 0; i < kFrames; ++i) {
      seed = seed * 1664525u + 1013904223u;
      const float noise = static_cast<float>((seed >> 8) / 16777216.0 - 0.5) * 0.02f;
      in.samples[2 * i] = static_cast<float>(0.6 * std::sin(i * 0.0312)) + noise;
      in.samples[2 * i + 1] = static_cast<float>(0.5 * std::sin(i * 0.0471)) - noise;
    }
    ASSERT_TRUE(WriteFloatWav((dir / "in.wav").string(), in));
    // duv-render sets in display units; the same plain values go to the LV2 ports.
    ASSERT_EQ(RunCommand(std::string("\"") + DUV_RENDER_PATH + "\" -q --trim --plugin \"" +
                  DUV_MODULE_PATH + "\" --set wet=0.5 --set \"delay 1=52.5\" --set \"cents 2=-25\" \"" +
                  (dir / "in.wav").string() + "\" \"" + (dir / "ref.wav").string() + "\""),
              0);
    reference = Read((dir / "ref.wav").string());
    ASSERT_EQ(reference.Frames(), kFrames);
  }

  // The LV2 host's output, shifted by the latency, is the reference.
  void ExpectMatchesReference(const std::string& file) {
    const Audio out = Read((dir / file).string());
    ASSERT_EQ(out.channels, 2);
    ASSERT_EQ(out.Frames(), kFrames);
    int mismatches = 0;
    std::int64_t first = -1;
    for (std::int64_t i = 0; i + kLatency < kFrames; ++i)
      for (int c = 0; c < 2; ++c)
        if (out.samples[static_cast<std::size_t>(2 * (i + kLatency) + c)] !=
            reference.samples[static_cast<std::size_t>(2 * i + c)]) {
          if (first < 0) first = i;
          ++mismatches;
        }
    EXPECT_EQ(mismatches, 0) << file << ": first at reference frame " << first;
    // Not a silent pass: the wet path is audible in the compared range.
    double energy = 0;
    for (float v : reference.samples) energy += static_cast<double>(v) * v;
    EXPECT_GT(energy, 1.0);
  }

  std::string Env() const { return "LV2_PATH=\"" + std::string(DUV_LV2_PATH) + ":/usr/lib/lv2\" "; }

  fs::path dir;
  Audio reference;
};

TEST_F(Lv2Cli, Lv2applyMatchesTheProjectsRendering) {
  const std::string out = (dir / "lv2apply.wav").string();
  ASSERT_EQ(RunCommand(Env() + "lv2apply -i \"" + (dir / "in.wav").string() + "\" -o \"" + out +
                "\" -c wet 0.5 -c delay_1 52.5 -c cents_2 -25 " + kURI),
            0);
  ExpectMatchesReference("lv2apply.wav");
}

TEST_F(Lv2Cli, Lv2fileMatchesTheProjectsRendering) {
  const std::string out = (dir / "lv2file.wav").string();
  ASSERT_EQ(RunCommand(Env() + "lv2file -b 700 -i \"" + (dir / "in.wav").string() + "\" -o \"" + out +
                "\" -p wet:0.5 -p delay_1:52.5 -p cents_2:-25 " + kURI + " > /dev/null"),
            0);
  ExpectMatchesReference("lv2file.wav");
}

}  // namespace
