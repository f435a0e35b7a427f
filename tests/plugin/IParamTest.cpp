#include "plugin/IParam.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace {

std::string Display(const IParam& p, double v, bool normalized = false) {
  char out[IParam::kTextCapacity];
  p.FormatForHost(v, normalized, out);
  return out;
}

TEST(IParamSetup, PrecisionFollowsTheStep) {
  IParam a, b, c, d;
  a.SetupDouble("a", 0, 0, 1, 0.001);
  b.SetupDouble("b", 0, 0, 1, 0.1);
  c.SetupDouble("c", 0, 0, 10, 1);
  d.SetupDouble("d", 0, 0, 1, 1e-9);
  EXPECT_EQ(a.DisplayPrecision(), 3);
  EXPECT_EQ(b.DisplayPrecision(), 1);
  EXPECT_EQ(c.DisplayPrecision(), 0);
  EXPECT_EQ(d.DisplayPrecision(), 6);  // never beyond six digits
}

TEST(IParamSetup, MaxIsRaisedToMinPlusStepAndDefaultIsKept) {
  IParam p;
  p.SetupDouble("p", 7, 0, 0, 1);
  EXPECT_EQ(p.Max(), 1.0);
  EXPECT_EQ(p.Value(), 7.0);  // stored unchanged until set
  p.Set(p.Value());
  EXPECT_EQ(p.Value(), 1.0);
}

TEST(IParamSetup, FirstSetupFixesTheType) {
  IParam p;
  p.SetupInt("width", 100, 50, 100, "%");
  EXPECT_EQ(p.Type(), IParam::kTypeInt);
  p.SetupDouble("width", 1, 0, 1, 0.5);
  EXPECT_EQ(p.Type(), IParam::kTypeInt);
  IParam b;
  b.SetupBool("bypass", true);
  EXPECT_EQ(b.Type(), IParam::kTypeBool);
  EXPECT_EQ(b.Value(), 1.0);
  EXPECT_EQ(b.DisplayTextCount(), 2);
}

TEST(IParamSetup, LongNamesAreCutTo31Characters) {
  IParam p;
  p.SetupDouble("0123456789012345678901234567890123456789", 0, 0, 1, 1, "label");
  EXPECT_EQ(std::string(p.Name()).size(), 31u);
  EXPECT_STREQ(p.Label(), "label");
}

TEST(IParamMapping, DoubleIsNotQuantisedIntRoundsHalfUp) {
  IParam d;
  d.SetupDouble("wet", 0.75, 0, 1, 0.001);
  d.SetFromNormalized(0.12345);
  EXPECT_DOUBLE_EQ(d.Value(), 0.12345);

  IParam i;
  i.SetupInt("stereo width", 100, 50, 100);
  i.SetFromNormalized(0.51);  // 75.5
  EXPECT_EQ(i.Value(), 76.0);
  i.SetFromNormalized(1.0);
  EXPECT_EQ(i.Value(), 100.0);
  i.SetFromNormalized(7.0);
  EXPECT_EQ(i.Value(), 100.0);
}

TEST(IParamMapping, HostileNormalisedValuesStayInRange) {
  IParam d;
  d.SetupDouble("delay 1", 7.5, 5, 100, 0.1, "ms");
  d.SetFromNormalized(-3.0);
  EXPECT_EQ(d.Value(), 5.0);
  d.SetFromNormalized(std::nan(""));
  EXPECT_EQ(d.Value(), 5.0);
  d.Set(std::nan(""));
  EXPECT_EQ(d.Value(), 5.0);
  d.Set(INFINITY);
  EXPECT_EQ(d.Value(), 100.0);
}

TEST(IParamMapping, NormalizedClampsAndRoundTripsEveryStepEdge) {
  IParam p;
  p.SetupDouble("cents 1", -10, -50, 50, 0.1, "cents");
  EXPECT_EQ(p.NormalizedOf(-80), 0.0);
  EXPECT_EQ(p.NormalizedOf(80), 1.0);
  for (int k = 0; k <= 1000; ++k) {
    double v = -50 + k * 0.1;
    p.Set(v);
    double n = p.Normalized();
    p.SetFromNormalized(n);
    EXPECT_NEAR(p.Value(), v, 1e-9) << k;
  }
  IParam e;
  e.SetupEnum("knob action", 0, 2);
  for (int v = 0; v < 2; ++v) {
    e.Set(v);
    e.SetFromNormalized(e.Normalized());
    EXPECT_EQ(e.Value(), v);
  }
}

TEST(IParamDisplay, Numbers) {
  IParam wet, cents, width;
  wet.SetupDouble("wet", 0.75, 0, 1, 0.001);
  cents.SetupDouble("cents 1", -10, -50, 50, 0.1, "cents");
  width.SetupInt("stereo width", 100, 50, 100, "%");
  EXPECT_EQ(Display(wet, 0.0), "0");
  EXPECT_EQ(Display(wet, 0.75), "0.750");
  EXPECT_EQ(Display(cents, -10), "-10.0");
  EXPECT_EQ(Display(width, 99.9), "99");  // truncated toward zero
  EXPECT_EQ(Display(width, 0.5, true), "75");
  // Far outside the int range the integer form saturates instead of wrapping.
  EXPECT_EQ(Display(width, 1e300), std::to_string(INT_MAX));
  EXPECT_EQ(Display(width, -1e300), std::to_string(INT_MIN));
}

TEST(IParamDisplay, TextsReplaceIntegerValues) {
  IParam bypass, knob;
  bypass.SetupBool("bypass", false);
  knob.SetupEnum("knob action", 0, 2);
  knob.AddDisplayText(0, "drag");
  knob.AddDisplayText(1, "rotate");
  EXPECT_EQ(Display(bypass, 0), "off");
  EXPECT_EQ(Display(bypass, 1), "on");
  EXPECT_EQ(Display(knob, 1), "rotate");
  EXPECT_EQ(Display(knob, 0.9), "drag");  // 0.9 looks up the text of 0
  EXPECT_EQ(Display(knob, 1.0, true), "rotate");
}

TEST(IParamDisplay, ReverseLookupIsCaseSensitiveAndFirstWins) {
  IParam knob;
  knob.SetupEnum("knob action", 0, 2);
  knob.AddDisplayText(0, "drag");
  knob.AddDisplayText(1, "rotate");
  knob.AddDisplayText(5, "drag");
  int v = -7;
  EXPECT_FALSE(knob.ValueForDisplayText("Drag", &v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(knob.ValueForDisplayText("drag", &v));
  EXPECT_EQ(v, 0);
  EXPECT_STREQ(knob.DisplayTextFor(3), "");
}

}  // namespace
