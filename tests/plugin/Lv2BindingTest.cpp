// The LV2 binding's pure pieces: port symbols and the plain value a port's
// float stands for. Links the core and the binding only.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "plugin/lv2/IPluginLV2.h"

namespace {

TEST(Lv2Binding, SymbolsFromNames) {
  const struct {
    const char* name;
    const char* symbol;
  } cases[] = {{"wet", "wet"},           {"cents 1", "cents_1"},
               {"stereo width", "stereo_width"}, {"detector HPF", "detector_hpf"},
               {"bypass lamp", "bypass_lamp"}, {"  a -- b  ", "a_b"},
               {"1st", "p_1st"},         {"", "p_"}};
  for (const auto& c : cases) EXPECT_EQ(IPluginLV2::SymbolFromName(c.name), c.symbol) << c.name;
}

TEST(Lv2Binding, PlainFromPortValues) {
  IParam wet, delay, width, toggle, coarse;
  wet.SetupDouble("wet", 0.75, 0.0, 1.0, 0.001);
  delay.SetupDouble("delay", 7.5, 5.0, 100.0, 0.1, "ms");
  width.SetupInt("width", 100, 50, 100, "%");
  toggle.SetupBool("bypass", false);
  coarse.SetupDouble("coarse", 0, 0, 10, 0.3);  // not a 1/k grid: taken as it is
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    const IParam* param;
    float port;
    double plain;
  } cases[] = {
      {&wet, 0.3f, 0.3},  // the float of a grid point stands for the point
      {&wet, 0.25f, 0.25},
      {&wet, 0.3004f, static_cast<double>(0.3004f)},  // off the grid: as it is
      {&delay, 21.0f, 21.0},
      {&delay, 32.5f, 32.5},
      {&delay, 10.5f, 10.5},
      {&delay, 28.75f, 28.75},
      {&delay, 7.1f, 7.1},
      {&width, 74.6f, 75.0},  // integers round as the normalised path does
      {&width, 74.4f, 74.0},
      {&toggle, 0.5f, 1.0},
      {&toggle, 0.49f, 0.0},
      {&coarse, 0.3f, static_cast<double>(0.3f)},
      {&wet, inf, std::numeric_limits<double>::infinity()},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IPluginLV2::PlainFromPort(*c.param, c.port), c.plain)
        << c.param->Name() << " " << c.port;
  EXPECT_TRUE(std::isnan(IPluginLV2::PlainFromPort(wet, std::nanf(""))));
}

}  // namespace
