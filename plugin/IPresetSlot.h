// One preset: whether it holds values, its name (up to 255 characters) and a
// snapshot of every parameter's plain value as little-endian doubles.
#pragma once

#include <string>

#include "plugin/IByteBuffer.h"

struct IPresetSlot {
  static constexpr std::size_t kMaxNameLength = 255;

  bool initialised = false;
  std::string name;
  IByteBuffer values;

  // Stores name cut to kMaxNameLength characters; null stores nothing.
  void SetName(const char* newName);
};
