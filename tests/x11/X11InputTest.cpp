#include <gtest/gtest.h>

#include "graphics/platform/x11/X11Input.h"

using namespace duv_x11;

TEST(X11Keys, MapsTheEditorsKeyTable) {
  EXPECT_EQ(KeyCodeForKeySym(0x20), 0);    // space
  EXPECT_EQ(KeyCodeForKeySym(0xff52), 1);  // up
  EXPECT_EQ(KeyCodeForKeySym(0xff54), 2);  // down
  EXPECT_EQ(KeyCodeForKeySym(0xff51), 3);  // left
  EXPECT_EQ(KeyCodeForKeySym(0xff53), 4);  // right
  for (int d = 0; d <= 9; ++d) EXPECT_EQ(KeyCodeForKeySym('0' + d), 5 + d) << d;
  for (int l = 0; l < 26; ++l) {
    EXPECT_EQ(KeyCodeForKeySym('A' + l), 15 + l) << l;
    EXPECT_EQ(KeyCodeForKeySym('a' + l), 15 + l) << l;
  }
}

TEST(X11Keys, OtherKeysAreNotPassedOn) {
  for (unsigned long sym : {0x1bul /* escape char */, 0xff1bul /* Escape */, 0xff0dul /* Return */,
                            0xffbeul /* F1 */, 0xffb1ul /* keypad 1 */, 0x2eul /* period */,
                            0x40ul, 0x5bul, 0x60ul, 0x7bul})
    EXPECT_EQ(KeyCodeForKeySym(sym), -1) << std::hex << sym;
}

TEST(X11Mouse, ModsSayWhatIsHeldAtTheEvent) {
  const unsigned shift = 1, ctrl = 4, alt = 8, b1 = 1u << 8, b3 = 1u << 10;
  IMouseMods m = ModsFromState(0, kButtonLeft, false);  // press adds the button
  EXPECT_TRUE(m.L);
  EXPECT_FALSE(m.R || m.S || m.C || m.A);
  m = ModsFromState(b1 | shift, kButtonLeft, true);  // release removes it
  EXPECT_FALSE(m.L);
  EXPECT_TRUE(m.S);
  m = ModsFromState(b1 | b3 | ctrl | alt, 0, false);  // motion keeps the state
  EXPECT_TRUE(m.L && m.R && m.C && m.A);
  EXPECT_FALSE(m.S);
  m = ModsFromState(b1, kButtonRight, false);
  EXPECT_TRUE(m.L && m.R);
}

TEST(X11Mouse, WheelButtonsAreNotches) {
  EXPECT_EQ(WheelNotches(4), 1);
  EXPECT_EQ(WheelNotches(5), -1);
  for (int b : {1, 2, 3, 6, 7, 8}) EXPECT_EQ(WheelNotches(b), 0) << b;
}

TEST(X11Mouse, DoubleClickNeedsTimeAndDistance) {
  DoubleClickDetector d;
  EXPECT_FALSE(d.Press(10, 10, 1000));
  EXPECT_TRUE(d.Press(12, 13, 1400));   // within 400 ms and 4 px
  EXPECT_FALSE(d.Press(12, 13, 1450));  // a third press starts over
  EXPECT_FALSE(d.Press(12, 13, 1851));  // 401 ms later: too slow
  EXPECT_FALSE(d.Press(17, 13, 1900));  // 5 px away: too far
  EXPECT_TRUE(d.Press(17, 9, 1950));    // 4 px in y: close enough
  // Server time wraps around after 2^32 ms.
  EXPECT_FALSE(d.Press(0, 0, 0xFFFFFF00u));
  EXPECT_TRUE(d.Press(0, 0, 0x00000010u));
  d.Press(0, 0, 100);
  d.Reset();
  EXPECT_FALSE(d.Press(0, 0, 110));
}

TEST(X11EntryText, TypingReplacesTheSelectedText) {
  EntryText t;
  t.SetText("2.50");
  EXPECT_TRUE(t.AllSelected());
  EXPECT_EQ(t.Caret(), 4);
  t.Insert("7");
  EXPECT_EQ(t.Text(), "7");
  EXPECT_FALSE(t.AllSelected());
  t.Insert(".25");
  EXPECT_EQ(t.Text(), "7.25");
  t.Backspace();
  EXPECT_EQ(t.Text(), "7.2");
  t.Home();
  t.Insert("-");
  EXPECT_EQ(t.Text(), "-7.2");
  t.MoveCaret(1);
  t.Delete();
  EXPECT_EQ(t.Text(), "-72");  // the caret stood after the 7
  t.End();
  t.MoveCaret(5);  // clamped
  EXPECT_EQ(t.Caret(), 3);
}

TEST(X11EntryText, ControlCharactersAndOverflowAreDropped) {
  EntryText t;
  t.SetText("");
  t.Insert(std::string("1\x1b" "2\r3\x7f", 6));
  EXPECT_EQ(t.Text(), "123");
  t.Insert(std::string(40, '9'));
  EXPECT_EQ(static_cast<int>(t.Text().size()), EntryText::kMaxChars);
  t.SetText("abc");
  t.Backspace();  // with everything selected, deletes everything
  EXPECT_EQ(t.Text(), "");
  t.SetText("abc");
  t.MoveCaret(-1);
  t.Backspace();
  EXPECT_EQ(t.Text(), "ac");
}
