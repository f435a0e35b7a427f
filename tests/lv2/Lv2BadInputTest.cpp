// Hostile or careless hosts: bad rates at instantiation, NaN, infinite and
// out-of-range control values, zero-length runs, unconnected ports. Each
// gets a clear, safe answer and the sound a good value would give.
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/lv2/Lv2Support.h"

namespace {

constexpr int kFrames = 12288;

struct Stereo {
  std::vector<float> l, r;
};

Stereo Tone() {
  Stereo s{std::vector<float>(kFrames), std::vector<float>(kFrames)};
  for (int i = 0; i < kFrames; ++i) {
    s.l[static_cast<std::size_t>(i)] = static_cast<float>(0.5 * std::sin(i * 0.05));
    s.r[static_cast<std::size_t>(i)] = static_cast<float>(0.4 * std::sin(i * 0.07));
  }
  return s;
}

struct Control {
  const char* symbol;
  float value;
};

// Renders the tone with the given controls set before activation.
Stereo Render(const std::vector<Control>& controls, bool connectInputs = true) {
  auto inst = NewLv2(44100.0, 256);
  if (!inst) return {};
  for (const Control& c : controls) EXPECT_TRUE(inst->SetControl(c.symbol, c.value)) << c.symbol;
  inst->Activate();
  const Stereo in = Tone();
  Stereo out{std::vector<float>(kFrames), std::vector<float>(kFrames)};
  const float* i[] = {in.l.data(), in.r.data()};
  float* o[] = {out.l.data(), out.r.data()};
  const float* none[] = {nullptr, nullptr};
  inst->Run(connectInputs ? i : none, o, kFrames);
  return out;
}

bool Same(const Stereo& a, const Stereo& b) {
  return a.l.size() == b.l.size() && a.r.size() == b.r.size() &&
         std::memcmp(a.l.data(), b.l.data(), a.l.size() * sizeof(float)) == 0 &&
         std::memcmp(a.r.data(), b.r.data(), a.r.size() * sizeof(float)) == 0;
}

TEST(Lv2BadInput, RatesTheEffectCannotRunAtGiveNoInstance) {
  const double inf = std::numeric_limits<double>::infinity();
  for (double rate : {0.0, -44100.0, std::nan(""), inf, -inf, 1e12, 999.0, 1536001.0}) {
    std::string error;
    EXPECT_EQ(Lv2Instance::Create(&World(), kDuvURI, rate, 0, &error), nullptr) << rate;
  }
  for (double rate : {1000.0, 22050.0, 192000.0, 1536000.0}) {
    std::string error;
    EXPECT_NE(Lv2Instance::Create(&World(), kDuvURI, rate, 0, &error), nullptr) << rate;
  }
}

TEST(Lv2BadInput, BadControlValuesActAsTheirSafeEquivalent) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    Control bad;
    std::vector<Control> equivalent;  // empty: as if the port kept its default
  };
  const std::vector<Case> cases = {
      {{"wet", nan}, {}},
      {{"delay_1", nan}, {}},
      {{"delay_1", inf}, {{"delay_1", 100}}},
      {{"delay_2", -inf}, {{"delay_2", 5}}},
      {{"cents_1", 1e9f}, {{"cents_1", 50}}},
      {{"stereo_width", 1000}, {{"stereo_width", 100}}},
      {{"stereo_width", 74.6f}, {{"stereo_width", 75}}},  // integer: rounded as VST 2 rounds
      {{"bypass", 0.7f}, {{"bypass", 1}}},
      {{"detector_hpf", -5}, {{"detector_hpf", 50}}},
      {{"color", -0.5f}, {{"color", 0}}},
  };
  const Stereo defaults = Render({});
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bad.symbol << " = " << c.bad.value);
    const Stereo bad = Render({c.bad});
    EXPECT_TRUE(Same(bad, c.equivalent.empty() ? defaults : Render(c.equivalent)));
    for (float v : bad.l) ASSERT_TRUE(std::isfinite(v));
  }
  // The safe values differ from the defaults where they should, so the
  // comparisons above can tell them apart.
  EXPECT_FALSE(Same(Render({{"delay_1", 100}}), defaults));
}

TEST(Lv2BadInput, ZeroFramesAndUnconnectedPorts) {
  auto inst = NewLv2(48000.0);
  ASSERT_TRUE(inst);
  inst->Activate();
  inst->Run(nullptr, nullptr, 0);  // nothing bound, nothing run
  EXPECT_EQ(inst->Control("latency"), 4096.0f);

  // Every audio port unconnected, a long run: no crash, outputs stay as they were.
  inst->Run(nullptr, nullptr, 5000);
  std::vector<float> left(5000, 7.0f);
  const Stereo tone = Tone();
  const float* in[] = {tone.l.data(), nullptr};
  float* out[] = {left.data(), nullptr};
  inst->Run(in, out, 5000);  // the right input and output unconnected
  for (float v : left) ASSERT_TRUE(std::isfinite(v));

  // Control ports unconnected, latency and lamp included: the values stay.
  for (const char* symbol : {"wet", "delay_1", "latency", "bypass_lamp"})
    inst->ConnectRaw(inst->PortIndex(symbol), nullptr);
  inst->Run(in, out, 64);
  // Out-of-range port indices are ignored.
  inst->ConnectRaw(17, left.data());
  inst->ConnectRaw(1000000, left.data());
  inst->Run(in, out, 64);
  inst->Deactivate();
  inst->Activate();
  inst->Run(in, out, 64);
}

TEST(Lv2BadInput, UnconnectedInputsSoundAsSilence) {
  const Stereo silent = Render({}, false);
  auto inst = NewLv2(44100.0, 256);
  ASSERT_TRUE(inst);
  inst->Activate();
  const std::vector<float> zeros(kFrames, 0.0f);
  Stereo out{std::vector<float>(kFrames), std::vector<float>(kFrames)};
  const float* i[] = {zeros.data(), zeros.data()};
  float* o[] = {out.l.data(), out.r.data()};
  inst->Run(i, o, kFrames);
  EXPECT_TRUE(Same(silent, out));
}

TEST(Lv2BadInput, BypassLampFollowsBypassAndDelayChanges) {
  auto inst = NewLv2(44100.0, 512);
  ASSERT_TRUE(inst);
  inst->Activate();
  std::vector<float> buf(512, 0.0f);
  const float* in[] = {buf.data(), buf.data()};
  std::vector<float> ol(512), orr(512);
  float* out[] = {ol.data(), orr.data()};
  inst->Run(in, out, 512);
  EXPECT_EQ(inst->Control("bypass_lamp"), 0.0f);
  inst->SetControl("bypass", 1);
  inst->Run(in, out, 512);
  EXPECT_EQ(inst->Control("bypass_lamp"), 1.0f);
  inst->SetControl("bypass", 0);
  inst->Run(in, out, 512);
  EXPECT_EQ(inst->Control("bypass_lamp"), 0.0f);
  inst->SetControl("delay_1", 50);  // a delay change lights it for its 160 ms fade
  inst->Run(in, out, 512);
  EXPECT_EQ(inst->Control("bypass_lamp"), 1.0f);
  for (int n = 0; n < 40; ++n) inst->Run(in, out, 512);  // 0.46 s later
  EXPECT_EQ(inst->Control("bypass_lamp"), 0.0f);
}

}  // namespace
