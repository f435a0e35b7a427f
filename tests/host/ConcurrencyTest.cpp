// One thread processes audio while another automates parameters, switches
// programs and moves state chunks, as a host's audio and user-interface
// threads do. Run under ThreadSanitizer: no race, no deadlock, and the last
// state set is the state that remains.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

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
