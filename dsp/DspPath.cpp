#include "dsp/DspPath.h"

#include <atomic>

namespace {

bool CpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

// __builtin_cpu_supports also checks that the OS saves the registers.
bool CpuHasAvx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
}

DspPath BestPath() {
  return CpuHasAvx512() ? DspPath::kAVX512 : CpuHasAvx2() ? DspPath::kAVX2 : DspPath::kSSE2;
}

// Dynamic initialisation; anything that reads it earlier sees kScalar (0),
// which is always correct, only slower.
std::atomic<DspPath> sActivePath{BestPath()};

}  // namespace

bool DspPathAvailable(DspPath path) {
  switch (path) {
    case DspPath::kScalar:
    case DspPath::kSSE2: return true;
    case DspPath::kAVX2: return CpuHasAvx2();
    case DspPath::kAVX512: return CpuHasAvx512();
  }
  return false;
}

bool ForceDspPath(DspPath path) {
  if (!DspPathAvailable(path)) return false;
  sActivePath.store(path, std::memory_order_relaxed);
  return true;
}

void ResetDspPath() { ForceDspPath(BestPath()); }

DspPath ActiveDspPath() { return sActivePath.load(std::memory_order_relaxed); }

const char* DspPathName(DspPath path) {
  switch (path) {
    case DspPath::kSSE2: return "sse2";
    case DspPath::kAVX2: return "avx2";
    case DspPath::kAVX512: return "avx512";
    default: return "scalar";
  }
}
