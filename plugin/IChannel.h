// Channel configurations and per-channel records of the plug-in base.
#pragma once

#include <vector>

// One legal (inputs, outputs) pair, parsed from texts such as "1-1 2-2".
struct IChannelConfig {
  int nIn;
  int nOut;
};

// An input channel. Its slot is its entry in the plug-in's input pointers:
// the host's array (double precision) or the scratch (single precision, and
// whenever the channel is unconnected).
struct IInputChannel {
  bool connected = false;
  double** slot = nullptr;
  std::vector<double> scratch;  // block size long, zero-filled on every size change
};

// An output channel; hostBuffer is the host's single-precision array of the current block.
struct IOutputChannel {
  bool connected = false;
  double** slot = nullptr;
  float* hostBuffer = nullptr;
  std::vector<double> scratch;
};
