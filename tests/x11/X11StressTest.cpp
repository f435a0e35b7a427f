// The editor window must never deadlock: effEditClose holds the instance lock
// while the window's thread may want it. The editor is opened and closed many
// times while one thread processes audio, one automates parameters and one
// sends real mouse gestures (drags, presses, right clicks that open the entry
// popup, wheel notches). Run under ThreadSanitizer in the sanitizer build.
#include <gtest/gtest.h>  // before the X headers, whose macros clash with it

#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "host/VstHost.h"
#include "host/X11TestWindow.h"

TEST(X11EditorStress, OpenCloseUnderAudioAutomationAndGestures) {
  if (!X11TestServer::Instance().Available())
    GTEST_SKIP() << "no X server: " << X11TestServer::Instance().Reason();
  std::string error;
  auto module = VstModule::Load(DUV_MODULE_PATH, &error);
  ASSERT_TRUE(module) << error;
  auto plug = VstPlugin::Create(*module, HostConfig{}, &error);
  ASSERT_TRUE(plug) << error;
  plug->SetSampleRate(44100.0f);
  plug->SetBlockSize(256);
  plug->Open();
  plug->MainsChanged(true);
  plug->SetParameter(8, 0.0f);

  X11TestWindow host(800, 300);
  ASSERT_NE(host.Dpy(), nullptr) << "cannot connect to the X server";
  std::atomic<bool> done{false};
  std::atomic<long> blocks{0}, automations{0}, gestures{0};

  std::thread audio([&] {
    std::vector<float> l(256, 0.1f), r(256, -0.1f), ol(256), orr(256);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    while (!done) {
      plug->ProcessReplacing(in, out, 256);
      ++blocks;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::thread automation([&] {
    unsigned seed = 1;
    while (!done) {
      seed = seed * 1103515245u + 12345u;
      int index = static_cast<int>((seed >> 16) % 8);  // not the two action selectors
      plug->SetParameter(index, static_cast<float>((seed >> 8) % 1000) / 1000.0f);
      ++automations;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::thread mouse([&] {
    X11TestWindow input(1, 1);  // its own connection for the fake input
    const Window target = host.Id();  // the editor sits at (0, 0) inside it
    int step = 0;
    while (!done) {
      switch (step++ % 5) {
        case 0: input.Drag(target, 35, 180, 35, 150, 3); break;          // outer wheel
        case 1: input.Click(target, 477, 85, 1); break;                   // bypass
        case 2: input.Click(target, 98, 137, 3); break;                   // entry popup
        case 3: input.MoveTo(target, 270, 70), input.Press(4), input.Release(4); break;
        case 4: input.Drag(target, 660, 100, 660, 60, 2); break;          // wet rocker
      }
      ++gestures;
    }
  });

  int opened = 0;
  for (int i = 0; i < 30; ++i) {
    if (plug->Dispatch(effEditOpen, 0, 0, host.IdAsPointer()) == 1) ++opened;
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + (i % 4) * 25));
    if (i % 3 == 0) plug->Dispatch(effEditIdle);  // hosts may or may not idle
    EXPECT_EQ(plug->Dispatch(effEditClose), 1);
  }
  done = true;
  audio.join();
  automation.join();
  mouse.join();
  EXPECT_EQ(opened, 30);
  EXPECT_GT(blocks.load(), 0);
  EXPECT_GT(automations.load(), 0);
  EXPECT_GT(gestures.load(), 0);
  std::printf("open/close cycles %d, audio blocks %ld, automations %ld, gestures %ld\n", opened,
              blocks.load(), automations.load(), gestures.load());
  plug.reset();
}
