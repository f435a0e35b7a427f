// Replays the calls a real Linux host was seen to make, scanner and host proper.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "tests/host/ModuleSupport.h"

namespace {

TEST(HostSequence, ScannerProbesAndLeaves) {
  HostConfig scanner;
  scanner.productString = "";
  scanner.vendorVersion = 0;
  auto p = NewPlugin(scanner);
  EXPECT_EQ(p->Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(p->EffectName(), "DUV");
  EXPECT_EQ(p->VendorString(), "Pelko");
  EXPECT_EQ(p->Dispatch(effGetPlugCategory), kPlugCategEffect);
  for (const char* text : {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents",
                           "sendVstMidiEvent"})
    EXPECT_EQ(p->CanDo(text), 0) << text;
  p->MainsChanged(false);
  p->Close();
}

TEST(HostSequence, HostProperRestoresAProjectAndExports) {
  HostConfig config;
  config.productString = "a Linux DAW";
  config.vendorVersion = 70100;
  auto p = NewPlugin(config);
  p->SetSampleRate(48000.0f);
  p->SetBlockSize(1024);
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(p->Dispatch(effCanBeAutomated, i), 1);
    EXPECT_EQ(p->Dispatch(effGetParameterProperties, i, 0, nullptr), 0);
    EXPECT_FALSE(p->ParamName(i).empty());
    float v = p->GetParameter(i);
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 1.0f);
  }
  EXPECT_EQ(p->CanDo("bypass"), 0);
  for (int i = 0; i < 12; ++i) EXPECT_FALSE(p->ProgramNameIndexed(i).empty());
  EXPECT_EQ(p->Dispatch(effBeginSetProgram), 0);
  p->SetProgram(1);
  EXPECT_EQ(p->Dispatch(effEndSetProgram), 0);
  p->Open();

  // Project restore: every parameter set twice.
  const float project[11] = {0.4f, 0.3f, 0.2f, 0.7f, 0.1f, 1.0f, 0.5f, 0.0f, 1.0f, 0.0f, 0.5f};
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < 11; ++i) p->SetParameter(i, project[i]);
  for (int i = 0; i < 11; ++i) EXPECT_NEAR(p->GetParameter(i), project[i], 1e-6) << i;
  EXPECT_EQ(p->ParamDisplay(8), "rotate");
  p->MainsChanged(true);

  // Export: 1024-frame blocks, split at the start into 704, 64 and 256, with
  // a suspend and resume from the audio thread between two blocks.
  std::vector<int> blocks = {704, 64, 256};
  for (int i = 0; i < 40; ++i) blocks.push_back(1024);
  std::thread audio([&] {
    std::vector<float> l(1024), r(1024), ol(1024), orr(1024);
    long frame = 0;
    double peak = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
      int n = blocks[b];
      for (int i = 0; i < n; ++i, ++frame) {
        l[i] = static_cast<float>(0.4 * std::sin(2 * M_PI * 150.0 * frame / 48000.0));
        r[i] = -l[i];
      }
      float* ins[] = {l.data(), r.data()};
      float* outs[] = {ol.data(), orr.data()};
      p->ProcessReplacing(ins, outs, n);
      for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(std::isfinite(ol[i]) && std::isfinite(orr[i]));
        peak = std::max(peak, static_cast<double>(std::fabs(ol[i])));
      }
      if (b == 3) {
        p->MainsChanged(false);
        p->MainsChanged(true);
      }
    }
    EXPECT_GT(peak, 0.05);
    EXPECT_LT(peak, 4.0);
  });
  audio.join();
  p->MainsChanged(false);
  p->Close();
}

}  // namespace
