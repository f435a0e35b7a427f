// Shared by the LV2 tests: one lilv world per test binary that knows the
// installed LV2 vocabularies and the bundle built in this tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "host/Lv2Host.h"

constexpr const char* kDuvURI = "https://pelko.audio/plugins/duv";

inline Lv2World& World() {
  static std::unique_ptr<Lv2World> world = [] {
    std::string error;
    auto w = Lv2World::Create({DUV_LV2_BUNDLE}, &error);
    if (!w || !w->Plugin(kDuvURI)) {
      ADD_FAILURE() << "cannot load the bundle " << DUV_LV2_BUNDLE << ": " << error;
      std::abort();
    }
    return w;
  }();
  return *world;
}

inline std::unique_ptr<Lv2Instance> NewLv2(double rate = 44100.0, int maxBlockFrames = 0) {
  std::string error;
  auto inst = Lv2Instance::Create(&World(), kDuvURI, rate, maxBlockFrames, &error);
  EXPECT_TRUE(inst) << error;
  return inst;
}
