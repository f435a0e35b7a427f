// Pure translation rules from X input to the editor's entry points: key
// symbols to the editor's key codes, event state to IMouseMods, wheel buttons
// to notches, double-click detection (X reports single presses only), and the
// text of the parameter entry box. No X connection is needed; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/IGraphicsTypes.h"

namespace duv_x11 {

// X pointer buttons.
enum EButton { kButtonLeft = 1, kButtonMiddle = 2, kButtonRight = 3, kWheelUp = 4, kWheelDown = 5 };

// The editor's key code for an X key symbol: space 0, arrows up 1, down 2,
// left 3, right 4, digits 0-9 5..14, letters a-z in either case 15..40;
// -1 for every other key (not passed on).
int KeyCodeForKeySym(unsigned long keySym);

// Modifiers of a pointer event. state is the event's state field (the state
// just BEFORE the event); button is the event's button for a press or a
// release (0 for motion): a press adds it, a release removes it, so the mods
// say what is held at the moment of the event, as the editor expects.
IMouseMods ModsFromState(unsigned state, int button, bool release);

// Notches of a wheel button: +1 for 4 (away from the user), -1 for 5,
// 0 for every other button (horizontal scrolling 6 and 7 is ignored).
int WheelNotches(int button);

// Recognises the second left press of a double-click: within kMaxIntervalMs
// of the previous press (server milliseconds, wrap-around safe) and within
// kMaxDistancePx in x and in y. A recognised pair is consumed, so a third
// quick press starts over as a single one.
class DoubleClickDetector {
 public:
  static constexpr std::uint32_t kMaxIntervalMs = 400;
  static constexpr int kMaxDistancePx = 4;

  // Records a left press; true when it completes a double-click.
  bool Press(int x, int y, std::uint32_t timeMs);
  void Reset() { mArmed = false; }

 private:
  bool mArmed = false;
  int mX = 0, mY = 0;
  std::uint32_t mTimeMs = 0;
};

// The single-line text of the entry box: at most kMaxChars bytes (the commit
// reads 31 characters), printable ASCII only, a caret and an all-selected
// state. Opening selects everything, so the first typed character replaces it.
class EntryText {
 public:
  static constexpr int kMaxChars = 31;

  void SetText(const std::string& text);  // selects all, caret at the end
  const std::string& Text() const { return mText; }
  bool AllSelected() const { return mAllSelected; }
  int Caret() const { return mCaret; }

  // Typed characters (non-printable ones are dropped; input beyond the
  // capacity is dropped).
  void Insert(const std::string& chars);
  void Backspace();
  void Delete();
  void MoveCaret(int delta);  // clears the selection
  void Home();
  void End();

 private:
  void DropSelection();
  std::string mText;
  int mCaret = 0;
  bool mAllSelected = false;
};

}  // namespace duv_x11
