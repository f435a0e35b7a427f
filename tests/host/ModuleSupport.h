// Loading the built module once per test binary.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/VstHost.h"

inline VstModule& Module() {
  static std::unique_ptr<VstModule> module = [] {
    std::string error;
    auto m = VstModule::Load(DUV_MODULE_PATH, &error);
    if (!m) {
      ADD_FAILURE() << "cannot load " << DUV_MODULE_PATH << ": " << error;
      std::abort();
    }
    return m;
  }();
  return *module;
}

inline std::unique_ptr<VstPlugin> NewPlugin(const HostConfig& config = HostConfig{}) {
  std::string error;
  auto p = VstPlugin::Create(Module(), config, &error);
  EXPECT_TRUE(p) << error;
  return p;
}

// Sample rate, block size, open and switch on, as hosts do before processing.
inline void StartUp(VstPlugin& p, float rate = 44100.0f, int block = 1024) {
  p.SetSampleRate(rate);
  p.SetBlockSize(block);
  p.Open();
  p.MainsChanged(true);
}
