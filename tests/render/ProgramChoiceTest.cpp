// Choosing a factory preset by number or by name through the host interface.
#include "host/ProgramChoice.h"

#include <gtest/gtest.h>

#include "tests/render/RenderSupport.h"

TEST(ProgramChoice, FindsByNumberAndByNameIgnoringCase) {
  auto p = NewPlugin();
  StartPlugin(*p, 44100, 512, 2);
  struct Case {
    const char* text;
    int index;
  };
  // Numbers count from 1, as the manual and --list do; the host's index from 0.
  for (const Case& c : {Case{"1", 0}, Case{"4", 3}, Case{"12", 11}, Case{"Silky Vocal", 1},
                        Case{"silky vocal", 1}, Case{"  HEROIC GUITAR ", 2}, Case{"Brindle", 6},
                        Case{"Wide Snare", 4}, Case{"- 8 -", 7}}) {
    int index = -1;
    std::string error;
    EXPECT_TRUE(FindProgram(*p, c.text, &index, &error)) << c.text << ": " << error;
    EXPECT_EQ(index, c.index) << c.text;
  }
}

TEST(ProgramChoice, UnknownNamesAndNumbersAreRefused) {
  auto p = NewPlugin();
  StartPlugin(*p, 44100, 512, 2);
  for (const char* text : {"0", "13", "99999999999", "-1", "Silky", "", "Default2"}) {
    int index = -7;
    std::string error;
    EXPECT_FALSE(FindProgram(*p, text, &index, &error)) << text;
    EXPECT_EQ(index, -7) << text;
    EXPECT_NE(error.find("preset"), std::string::npos) << error;
  }
  std::string error;
  int index = 0;
  EXPECT_FALSE(FindProgram(*p, "13", &index, &error));
  EXPECT_NE(error.find("presets are 1 to 12"), std::string::npos) << error;
  // A list of names (an LV2 bundle's) is numbered the same way; an empty one has nothing.
  const std::vector<std::string> names = {"Default", "Silky Vocal"};
  EXPECT_TRUE(FindPreset(names, "2", &index, &error) && index == 1) << error;
  EXPECT_FALSE(FindPreset(names, "3", &index, &error));
  EXPECT_NE(error.find("presets are 1 to 2"), std::string::npos) << error;
  EXPECT_FALSE(FindPreset({}, "1", &index, &error));
  EXPECT_NE(error.find("no presets"), std::string::npos) << error;
}

TEST(ProgramChoice, AChosenPresetSetsItsValues) {
  auto p = NewPlugin();
  StartPlugin(*p, 44100, 512, 2);
  int index = -1;
  std::string error;
  ASSERT_TRUE(FindProgram(*p, "Rich Slapback", &index, &error)) << error;
  p->SetProgram(index);
  EXPECT_EQ(p->ParamDisplay(kDelay1), "65.0");
  EXPECT_EQ(p->ParamDisplay(kDelay2), "66.0");
  EXPECT_EQ(p->ParamDisplay(kWidth), "50");
}
