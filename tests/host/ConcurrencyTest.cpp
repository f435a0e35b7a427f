// One thread processes audio while another automates parameters, switches
// programs and moves state chunks, as a host's audio and user-interface
// threads do. Run under ThreadSanitizer: no race, no deadlock, and the last
// state set is the state that remains.
#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "host/X11TestWindow.h"
#include "plugin/vst2/EditorProbe.h"
#include "tests/host/ModuleSupport.h"

namespace {

TEST(Concurrency, AudioAgainstParametersProgramsAndChunks) {
  std::vector<std::uint8_t> last;
  {
    auto reference = NewPlugin();
    reference->SetProgram(3);
    reference->SetParameter(0, 0.125f);
    last = reference->GetChunk(true);
  }
  auto p = NewPlugin();
  StartUp(*p, 44100.0f, 512);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};

  std::thread audio([&] {
    std::vector<float> l(512), r(512), ol(512), orr(512);
    long frame = 0;
    while (!stop.load()) {
      for (int i = 0; i < 512; ++i, ++frame) l[i] = r[i] = static_cast<float>(std::sin(frame * 0.03));
      float* ins[] = {l.data(), r.data()};
      float* outs[] = {ol.data(), orr.data()};
      if (blocks % 3 == 0) {
        std::vector<double> dl(l.begin(), l.end()), dr(r.begin(), r.end()), dol(512), dor(512);
        double* dins[] = {dl.data(), dr.data()};
        double* douts[] = {dol.data(), dor.data()};
        p->ProcessDoubleReplacing(dins, douts, 512);
      } else {
        p->ProcessReplacing(ins, outs, 512);
      }
      ++blocks;
    }
  });

  std::thread ui([&] {
    unsigned seed = 1;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (std::chrono::steady_clock::now() < end) {
      switch (next() % 5) {
        case 0: p->SetParameter(static_cast<int>(next() % 11), (next() % 1000) / 999.0f); break;
        case 1: p->SetProgram(static_cast<int>(next() % 12)); break;
        case 2: p->SetChunk(p->GetChunk(next() % 2), next() % 2); break;
        case 3: (void)p->ParamDisplay(static_cast<int>(next() % 11)); break;
        case 4: p->GetParameter(static_cast<int>(next() % 11)); break;
      }
    }
    p->SetChunk(last, true);  // the final state
  });

  ui.join();
  stop = true;
  audio.join();
  EXPECT_GT(blocks.load(), 10);
  EXPECT_EQ(p->GetChunk(true), last);
  EXPECT_EQ(p->ParamDisplay(0), "0.125");
  EXPECT_EQ(p->ParamDisplay(2), "65.0");  // Rich Slapback's delay 1
}

}  // namespace

namespace {

// A session of many instances, as a large project is: two audio threads share
// them, a third automates, a fourth opens and closes editors (drawn offscreen
// through the editor probe, and in real windows when an X server is at
// hand; also under ThreadSanitizer), while instances are created and closed on other threads than the
// ones that opened them. Bounded in time; every instance's output stays
// finite and its latency fixed.
TEST(Concurrency, ManyInstancesOnTwoAudioThreadsWithAutomation) {
  constexpr int kInstances = 64, kFrames = 256;
  std::vector<std::unique_ptr<VstPlugin>> plugins;
  for (int i = 0; i < kInstances; ++i) {
    plugins.push_back(NewPlugin());
    StartUp(*plugins.back(), 44100.0f, kFrames);
  }
  std::atomic<bool> stop{false};
  std::atomic<long> nonFinite{0}, blocks{0};
  auto audio = [&](int first) {
    std::vector<float> l(kFrames), r(kFrames), ol(kFrames), orr(kFrames);
    long frame = 0;
    while (!stop.load()) {
      for (int i = 0; i < kFrames; ++i, ++frame)
        l[i] = r[i] = static_cast<float>(0.5 * std::sin(frame * 0.05));
      float* ins[] = {l.data(), r.data()};
      float* outs[] = {ol.data(), orr.data()};
      for (int k = first; k < kInstances; k += 2) {
        plugins[static_cast<std::size_t>(k)]->ProcessReplacing(ins, outs, kFrames);
        for (int i = 0; i < kFrames; ++i) nonFinite += !std::isfinite(ol[i]) + !std::isfinite(orr[i]);
      }
      ++blocks;
    }
  };
  std::thread audio0(audio, 0), audio1(audio, 1);
  std::thread automation([&] {
    unsigned seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
      VstPlugin& p = *plugins[next() % kInstances];
      p.SetParameter(static_cast<int>(next() % 11), (next() % 1000) / 999.0f);
      if (next() % 16 == 0) p.SetProgram(static_cast<int>(next() % 7));
    }
  });
  std::atomic<long> snapshots{0}, windows{0}, failedOpens{0};
  std::thread editors([&] {
    // Real windows when a server can be reached or started (X11TestServer).
    std::unique_ptr<X11TestWindow> parent;
    if (X11TestServer::Instance().Available()) parent = std::make_unique<X11TestWindow>(800, 300);
    if (parent && !parent->Dpy()) parent.reset();
    std::vector<std::uint32_t> pixels(716 * 227);
    unsigned seed = 11;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < end) {
      VstPlugin& p = *plugins[next() % kInstances];
      EditorProbeImage image{716, 227, pixels.data()};
      if (p.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeSnapshot, &image) == 1) ++snapshots;
      p.Dispatch(effVendorSpecific, kEditorProbeIndex, kProbeTick, nullptr);
      if (parent) {
        if (p.Dispatch(effEditOpen, 0, 0, parent->IdAsPointer()) == 1)
          ++windows;
        else
          ++failedOpens;
        std::this_thread::sleep_for(std::chrono::milliseconds(next() % 60));  // a few redraw cycles
        p.Dispatch(effEditClose);
      }
    }
  });
  // Instances that come and go meanwhile: opened on one thread, closed on another.
  std::thread churn([&] {
    for (int round = 0; round < 8; ++round) {
      std::unique_ptr<VstPlugin> p;
      std::thread([&] {
        p = NewPlugin();
        StartUp(*p, 48000.0f, 128);
      }).join();
      std::thread([&] { p->Close(); }).join();
    }
  });
  automation.join();
  editors.join();
  churn.join();
  stop = true;
  audio0.join();
  audio1.join();
  EXPECT_GT(blocks.load(), 2);
  EXPECT_EQ(nonFinite.load(), 0);
  EXPECT_GT(snapshots.load(), 0);
  EXPECT_EQ(failedOpens.load(), 0);
  std::printf("editor snapshots %ld, real windows %ld\n", snapshots.load(), windows.load());
  for (auto& p : plugins) ASSERT_EQ(p->Effect()->initialDelay, 4096);
}

}  // namespace
