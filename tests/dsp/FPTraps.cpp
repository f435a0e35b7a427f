// Every DSP test binary runs with the invalid-operation and divide-by-zero
// traps on: none of the audio code may produce a NaN or divide by zero, not
// even where the result would be discarded (the detector takes care to form
// 1/0 without dividing). A trap kills the test with SIGFPE.
#include <fenv.h>
#include <gtest/gtest.h>

namespace {
class TrapEnvironment : public testing::Environment {
 public:
  void SetUp() override { feenableexcept(FE_INVALID | FE_DIVBYZERO); }
  void TearDown() override { fedisableexcept(FE_INVALID | FE_DIVBYZERO); }
};
const testing::Environment* const kTraps = testing::AddGlobalTestEnvironment(new TrapEnvironment);
}  // namespace
