// State chunks a host hands back that this build did not write: from a
// project saved by a version with fewer or more parameters, or from another
// plug-in altogether (another magic, so read as a bare value snapshot).
// Through effSetChunk, as program and as bank: what is valid is applied
// (clamped to each range; a NaN keeps the value), a chunk that runs short is
// refused after the values it holds, and the instance keeps working.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "tests/host/ModuleSupport.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void PutU32(std::vector<std::uint8_t>* out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutDoubles(std::vector<std::uint8_t>* out, const std::vector<double>& values) {
  for (double d : values) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i) out->push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }
}

std::vector<std::uint8_t> Chunk(std::uint32_t magic, std::uint32_t version, const std::vector<double>& values) {
  std::vector<std::uint8_t> out;
  PutU32(&out, magic);
  PutU32(&out, version);
  PutDoubles(&out, values);
  return out;
}

// The eleven plain values the instance's own chunk holds.
std::vector<double> Values(VstPlugin& p) {
  std::vector<std::uint8_t> chunk = p.GetChunk(true);
  std::vector<double> out;
  for (std::size_t pos = 8; pos + 8 <= chunk.size(); pos += 8) {
    double d;
    std::memcpy(&d, chunk.data() + pos, 8);
    out.push_back(d);
  }
  return out;
}

double FromBytes(const std::vector<std::uint8_t>& bytes) {
  double d;
  std::memcpy(&d, bytes.data(), 8);
  return d;
}

constexpr std::uint32_t kMagic = 0x70666674, kVersion = 0x00010000;
// Defaults: wet, cents 1, delay 1, cents 2, delay 2, width, color, bypass, knob, rocker, HPF.
const std::vector<double> kDefaults = {0.75, -10, 7.5, 10, 15, 100, 0.25, 0, 0, 0, 100};

TEST(ForeignChunk, AppliedAsFarAsValidAsProgramAndBank) {
  // Another plug-in's chunk: its own magic and version, then doubles of its own.
  const std::vector<std::uint8_t> otherHeader = Chunk(0x4B6E6343, 1, {});  // "CcnK", version 1
  const double headerAsValue = FromBytes(otherHeader);  // read as the first value (wet)
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    VstIntPtr answer;
    std::vector<double> expected;
  };
  const std::vector<Case> cases = {
      {"ten parameters (an older version)",
       Chunk(kMagic, kVersion, {0.5, 1, 20, 2, 30, 75, 0.5, 1, 1, 1}), 0,
       {0.5, 1, 20, 2, 30, 75, 0.5, 1, 1, 1, 50}},  // the missing HPF takes 0 clamped: 50
      {"twelve parameters (a newer version)",
       Chunk(kMagic, kVersion, {0.5, 1, 20, 2, 30, 75, 0.5, 1, 1, 1, 60, 123}), 1,
       {0.5, 1, 20, 2, 30, 75, 0.5, 1, 1, 1, 60}},
      {"a newer framework version",
       Chunk(kMagic, 0x00020000, {0.5, 1, 20, 2, 30, 75, 0.5, 1, 1, 1, 60}), 1,
       {0.5, 1, 20, 2, 30, 75, 0.5, 1, 1, 1, 60}},
      {"another plug-in's chunk",
       [&] {
         std::vector<std::uint8_t> b = otherHeader;
         PutDoubles(&b, {kNaN, 1e9, -kInf, kInf, -3, 0.5, 7, kNaN, 2, -1});
         return b;
       }(),
       1, {headerAsValue, -10, 100, -50, 100, 50, 0.5, 1, 0, 1, 50}},
      {"another plug-in's short chunk", [&] {
         std::vector<std::uint8_t> b = otherHeader;
         PutDoubles(&b, {0.5, 0.5});
         return b;
       }(),
       0, {headerAsValue, 0.5, 5, 0, 15, 100, 0.25, 0, 0, 0, 100}},  // cents 2 takes 0
      {"header only", Chunk(kMagic, kVersion, {}), 0, {0, -10, 7.5, 10, 15, 100, 0.25, 0, 0, 0, 100}},
  };
  for (const Case& c : cases) {
    for (bool program : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (program ? ", program" : ", bank"));
      auto p = NewPlugin();
      StartUp(*p, 44100.0f, 512);
      ASSERT_EQ(Values(*p), kDefaults);
      EXPECT_EQ(p->Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(c.bytes.size()),
                            const_cast<std::uint8_t*>(c.bytes.data())),
                c.answer);
      EXPECT_EQ(Values(*p), c.expected);
      // It still runs, and its own chunk goes back in whole.
      std::vector<float> l(512, 0.25f), r(512, -0.25f), ol(512), orr(512);
      float* in[] = {l.data(), r.data()};
      float* out[] = {ol.data(), orr.data()};
      for (int b = 0; b < 20; ++b) p->ProcessReplacing(in, out, 512);
      for (int i = 0; i < 512; ++i) ASSERT_TRUE(std::isfinite(ol[i]) && std::isfinite(orr[i])) << i;
      EXPECT_TRUE(p->SetChunk(p->GetChunk(program), program));
    }
  }
}

}  // namespace
