#include "graphics/platform/x11/X11Input.h"

#include <algorithm>
#include <cstdlib>

namespace duv_x11 {

namespace {
// Key symbols and state bits as the X protocol defines them; spelled out here
// so that this file needs no X header.
constexpr unsigned long kSymSpace = 0x20, kSymLeft = 0xff51, kSymUp = 0xff52, kSymRight = 0xff53,
                        kSymDown = 0xff54;
constexpr unsigned kShiftMask = 1u << 0, kControlMask = 1u << 2, kMod1Mask = 1u << 3,
                   kButton1Mask = 1u << 8, kButton3Mask = 1u << 10;
}  // namespace

int KeyCodeForKeySym(unsigned long sym) {
  switch (sym) {
    case kSymSpace: return 0;
    case kSymUp: return 1;
    case kSymDown: return 2;
    case kSymLeft: return 3;
    case kSymRight: return 4;
    default: break;
  }
  if (sym >= '0' && sym <= '9') return static_cast<int>(sym - '0') + 5;
  if (sym >= 'A' && sym <= 'Z') return static_cast<int>(sym - 'A') + 15;
  if (sym >= 'a' && sym <= 'z') return static_cast<int>(sym - 'a') + 15;
  return -1;
}

IMouseMods ModsFromState(unsigned state, int button, bool release) {
  bool left = (state & kButton1Mask) != 0, right = (state & kButton3Mask) != 0;
  if (button == kButtonLeft) left = !release;
  if (button == kButtonRight) right = !release;
  IMouseMods mods;
  mods.L = left;
  mods.R = right;
  mods.S = (state & kShiftMask) != 0;
  mods.C = (state & kControlMask) != 0;
  mods.A = (state & kMod1Mask) != 0;
  return mods;
}

int WheelNotches(int button) {
  if (button == kWheelUp) return 1;
  if (button == kWheelDown) return -1;
  return 0;
}

bool DoubleClickDetector::Press(int x, int y, std::uint32_t timeMs) {
  bool dbl = mArmed && static_cast<std::uint32_t>(timeMs - mTimeMs) <= kMaxIntervalMs &&
             std::abs(x - mX) <= kMaxDistancePx && std::abs(y - mY) <= kMaxDistancePx;
  mArmed = !dbl;
  mX = x;
  mY = y;
  mTimeMs = timeMs;
  return dbl;
}

void EntryText::SetText(const std::string& text) {
  mText.clear();
  mCaret = 0;
  mAllSelected = false;
  Insert(text);
  mAllSelected = true;
  mCaret = static_cast<int>(mText.size());
}

void EntryText::DropSelection() {
  if (!mAllSelected) return;
  mText.clear();
  mCaret = 0;
  mAllSelected = false;
}

void EntryText::Insert(const std::string& chars) {
  for (char ch : chars) {
    if (ch < 0x20 || ch > 0x7e) continue;
    DropSelection();
    if (static_cast<int>(mText.size()) >= kMaxChars) break;
    mText.insert(mText.begin() + mCaret, ch);
    ++mCaret;
  }
}

void EntryText::Backspace() {
  if (mAllSelected) return DropSelection();
  if (mCaret > 0) mText.erase(static_cast<std::size_t>(--mCaret), 1);
}

void EntryText::Delete() {
  if (mAllSelected) return DropSelection();
  if (mCaret < static_cast<int>(mText.size())) mText.erase(static_cast<std::size_t>(mCaret), 1);
}

void EntryText::MoveCaret(int delta) {
  mAllSelected = false;
  mCaret = std::clamp(mCaret + delta, 0, static_cast<int>(mText.size()));
}

void EntryText::Home() { mAllSelected = false, mCaret = 0; }
void EntryText::End() { mAllSelected = false, mCaret = static_cast<int>(mText.size()); }

}  // namespace duv_x11
