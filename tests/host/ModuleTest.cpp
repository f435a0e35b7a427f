#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "tests/host/ModuleSupport.h"

namespace {

TEST(Module, ExportsOnlyTheTwoEntryPoints) {
  std::string cmd = std::string("nm -D --defined-only ") + DUV_MODULE_PATH;
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> symbols;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char address[64], type[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, type, name) == 3) symbols.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(symbols, (std::set<std::string>{"VSTPluginMain", "main"}));
}

TEST(Module, BothEntryPointsCreateIndependentInstances) {
  std::string error;
  auto a = VstPlugin::Create(Module(), HostConfig{}, &error, Module().EntryByName("main"));
  auto b = VstPlugin::Create(Module(), HostConfig{}, &error,
                             Module().EntryByName("VSTPluginMain"));
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->Effect(), b->Effect());
  a->SetParameter(0, 0.2f);
  EXPECT_FLOAT_EQ(b->GetParameter(0), 0.75f);
  a.reset();  // closing one leaves the other working
  EXPECT_EQ(b->EffectName(), "DUV");
}

TEST(Module, RecordAsAHostReadsIt) {
  auto p = NewPlugin();
  const AEffect* e = p->Effect();
  EXPECT_EQ(e->magic, kEffectMagic);
  EXPECT_EQ(e->numParams, 11);
  EXPECT_EQ(e->numPrograms, 12);
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->initialDelay, 4096);
  EXPECT_EQ(e->version, 10100);
  EXPECT_EQ(e->uniqueID, 0x4455565F);
  EXPECT_EQ(e->ioRatio, 1.0f);
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_NE(e->processDoubleReplacing, nullptr);
  EXPECT_EQ(p->GetChunk(true).size(), 96u);
}

TEST(Module, ChunkMovesStateBetweenInstances) {
  auto a = NewPlugin(), b = NewPlugin();
  a->SetProgram(4);  // "Wide Snare"
  a->SetParameter(10, 0.0f);  // detector HPF 50
  std::vector<std::uint8_t> chunk = a->GetChunk(true);
  ASSERT_TRUE(b->SetChunk(chunk, true));
  EXPECT_EQ(b->ParamDisplay(1), "-50.0");
  EXPECT_EQ(b->ParamDisplay(10), "50");
  EXPECT_EQ(b->GetChunk(true), chunk);
  chunk.resize(50);
  EXPECT_FALSE(b->SetChunk(chunk, true));
}

TEST(Module, HostIdentificationThroughTheCallback) {
  HostConfig config;
  config.productString = "REAPER";
  config.vendorVersion = 60512;
  auto p = NewPlugin(config);
  p->Open();
  p->Open();
  EXPECT_EQ(p->HostQueries(audioMasterGetProductString), 1);
  EXPECT_EQ(p->HostQueries(audioMasterGetVendorVersion), 1);
}

// Stereo processing helper: runs frames of (l, r) through the plug-in in host
// blocks of blockFrames, in single or double precision.
struct Stereo {
  std::vector<double> l, r;
};

Stereo RunThrough(VstPlugin& p, const Stereo& in, int blockFrames, bool doublePrecision) {
  const int n = static_cast<int>(in.l.size());
  Stereo out{std::vector<double>(n), std::vector<double>(n)};
  std::vector<float> fl(in.l.begin(), in.l.end()), fr(in.r.begin(), in.r.end());
  std::vector<float> ol(n), orr(n);
  for (int pos = 0; pos < n; pos += blockFrames) {
    int k = std::min(blockFrames, n - pos);
    if (doublePrecision) {
      double* ins[] = {const_cast<double*>(in.l.data()) + pos, const_cast<double*>(in.r.data()) + pos};
      double* outs[] = {out.l.data() + pos, out.r.data() + pos};
      p.ProcessDoubleReplacing(ins, outs, k);
    } else {
      float* ins[] = {fl.data() + pos, fr.data() + pos};
      float* outs[] = {ol.data() + pos, orr.data() + pos};
      p.ProcessReplacing(ins, outs, k);
    }
  }
  if (!doublePrecision) {
    out.l.assign(ol.begin(), ol.end());
    out.r.assign(orr.begin(), orr.end());
  }
  return out;
}

Stereo Tone(int n, double hz, double rate = 44100.0) {
  Stereo s{std::vector<double>(n), std::vector<double>(n)};
  for (int i = 0; i < n; ++i) {
    double t = i / rate;
    // A sawtooth-like tone with vibrato: a clear period for the detector.
    double phase = hz * t + 0.02 * std::sin(2 * M_PI * 5 * t);
    s.l[i] = 0.3 * (2 * (phase - std::floor(phase)) - 1);
    s.r[i] = 0.8 * s.l[i];
  }
  return s;
}

TEST(ModuleAudio, DryPathIsTheInputDelayedByTheLatency) {
  auto p = NewPlugin();
  StartUp(*p);
  p->SetParameter(0, 0.0f);  // wet 0
  Stereo in = Tone(20000, 220);
  Stereo out = RunThrough(*p, in, 512, false);
  // Only the residue of the wet filters' 1e-10 floor stays (wet gain 0 still adds it).
  for (int i = 0; i < 4096; ++i) ASSERT_NEAR(out.l[i], 0.0, 1e-9) << i;
  for (int i = 4096; i < 20000; ++i) {
    ASSERT_NEAR(out.l[i], static_cast<float>(in.l[i - 4096]), 1e-9) << i;
    ASSERT_NEAR(out.r[i], static_cast<float>(in.r[i - 4096]), 1e-9) << i;
  }
}

TEST(ModuleAudio, SingleAndDoublePrecisionAgreeAndAccumulateAdds) {
  auto a = NewPlugin(), b = NewPlugin(), c = NewPlugin();
  for (auto* p : {a.get(), b.get(), c.get()}) StartUp(*p);
  Stereo in = Tone(30000, 196);
  for (double& v : in.l) v = static_cast<float>(v);  // identical inputs for both paths
  for (double& v : in.r) v = static_cast<float>(v);
  Stereo single = RunThrough(*a, in, 1024, false);
  Stereo twice = RunThrough(*b, in, 1024, true);
  double energy = 0;
  for (int i = 0; i < 30000; ++i) {
    ASSERT_EQ(single.l[i], static_cast<float>(twice.l[i])) << i;
    ASSERT_EQ(single.r[i], static_cast<float>(twice.r[i])) << i;
    energy += single.l[i] * single.l[i];
  }
  EXPECT_GT(energy, 1.0);  // the effect produced sound

  // Accumulating adds the same output onto what the buffer held.
  const int n = 8192;
  std::vector<float> l(n), r(n), ol(n, 0.25f), orr(n, 0.25f);
  for (int i = 0; i < n; ++i) {
    l[i] = static_cast<float>(in.l[i]);
    r[i] = static_cast<float>(in.r[i]);
  }
  float* ins[] = {l.data(), r.data()};
  float* outs[] = {ol.data(), orr.data()};
  c->ProcessAccumulating(ins, outs, n);
  for (int i = 0; i < n; ++i) ASSERT_EQ(ol[i], 0.25f + static_cast<float>(single.l[i])) << i;
}

TEST(ModuleAudio, HostBlockSizeDoesNotChangeTheOutput) {
  Stereo in = Tone(24000, 330);
  std::vector<Stereo> results;
  for (int block : {1, 7, 64, 1024, 4096}) {
    auto p = NewPlugin();
    StartUp(*p, 44100.0f, 4096);
    results.push_back(RunThrough(*p, in, block, true));
  }
  for (std::size_t k = 1; k < results.size(); ++k) {
    EXPECT_EQ(results[k].l, results[0].l) << k;
    EXPECT_EQ(results[k].r, results[0].r) << k;
  }
}

TEST(ModuleAudio, MonoConfigurationGivesSilenceOnTheUnusedSide) {
  auto p = NewPlugin();
  StartUp(*p);
  VstSpeakerArrangement in{}, out{};
  in.numChannels = 1;
  out.numChannels = 1;
  p->Dispatch(effSetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out);
  const int n = 10000;
  // Hosts pass as many arrays as the record declares; the second is unused.
  std::vector<float> l(n, 0.5f), unusedIn(n, 0.25f), ol(n, 9.0f), unusedOut(n, 9.0f);
  float* ins[] = {l.data(), unusedIn.data()};
  float* outs[] = {ol.data(), unusedOut.data()};
  p->ProcessReplacing(ins, outs, n);
  EXPECT_EQ(ol[100], 0.0f);  // still inside the latency
  EXPECT_GT(std::fabs(ol[n - 1]), 0.05f);  // sound after the latency
  for (float v : ol) ASSERT_TRUE(std::isfinite(v));
  for (float v : unusedOut) ASSERT_EQ(v, 0.0f);
}

}  // namespace

namespace {

TEST(Module, TraceSinkWritesWhenAskedAndOnlyThen) {
  std::string path = ::testing::TempDir() + "duv-trace.log";
  std::remove(path.c_str());
  std::string cmd = std::string("DUV_TRACE=") + path + " " + DUV_INFO_PATH + " " + DUV_MODULE_PATH +
                    " > /dev/null";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  FILE* f = std::fopen(path.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  EXPECT_NE(text.find("IPluginBase::IPluginBase"), std::string::npos);
  EXPECT_NE(text.find("IPluginVST::VSTDispatcher"), std::string::npos);
  EXPECT_NE(text.find("VSTCanDo(receiveVstTimeInfo)"), std::string::npos);
  EXPECT_NE(text.find("host_unknown:DUV test host:v1.00"), std::string::npos);
  std::remove(path.c_str());
  // Without the variable nothing is written anywhere we could see; the run still works.
  ASSERT_EQ(std::system((std::string(DUV_INFO_PATH) + " " + DUV_MODULE_PATH + " > /dev/null").c_str()), 0);
}

}  // namespace
