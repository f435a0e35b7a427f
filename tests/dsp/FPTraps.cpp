// Every DSP test binary runs with the invalid-operation and divide-by-zero
// traps on: none of the audio code may produce a NaN or divide by zero, not
// even where the result would be discarded (the detector takes care to form
// 1/0 without dividing). A trap kills the test with SIGFPE.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <float.h>
#else
#include <fenv.h>
#endif

namespace {
class TrapEnvironment : public testing::Environment {
 public:
#ifdef _WIN32
  // Unmasking the two exceptions in the control word (x87 and SSE) raises a
  // structured exception instead of a signal.
  void SetUp() override { _controlfp(_controlfp(0, 0) & ~(_EM_INVALID | _EM_ZERODIVIDE), _MCW_EM); }
  void TearDown() override { _controlfp(_controlfp(0, 0) | _EM_INVALID | _EM_ZERODIVIDE, _MCW_EM); }
#else
  void SetUp() override { feenableexcept(FE_INVALID | FE_DIVBYZERO); }
  void TearDown() override { fedisableexcept(FE_INVALID | FE_DIVBYZERO); }
#endif
};
const testing::Environment* const kTraps = testing::AddGlobalTestEnvironment(new TrapEnvironment);
}  // namespace
