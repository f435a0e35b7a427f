// The entry popup's list form in-process under wine, with real input: a small
// plug-in's listed parameter bound to a control that opens the popup on a
// right press. A choice in the list commits on the next tick; the list's
// selection message reaches the popup's own window procedure; Escape closes
// only the drop-down; a right press in the editor cancels.
#include "tests/win/WinTestSupport.h"

#include <memory>

namespace {

using namespace wintest;

// Records WM_COMMAND messages sent to one window (the window procedure the
// popup carries is the graphics object's; this sees what is sent to it).
struct CommandSpy {
  static HWND& Target() {
    static HWND target = nullptr;
    return target;
  }
  static std::vector<WPARAM>& Seen() {
    static std::vector<WPARAM> seen;
    return seen;
  }
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
      const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
      if (m->hwnd == Target() && m->message == WM_COMMAND) Seen().push_back(m->wParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
};

class WinEntryPopup : public ::testing::Test {
 protected:
  // One shown host window for the suite: wine waits up to a second or two
  // for the X server each time a top-level window is unmapped.
  static void SetUpTestSuite() { host = new HostWindow(400, 300, true); }
  static void TearDownTestSuite() {
    delete host;
    host = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(host->get(), nullptr);
    plug = std::make_unique<WinTestPlug>();
    gfx = new IGraphicsWin(plug.get(), 300, 200, 24);
    gfx->SetModuleInstance(ThisModule());
    level = new ValueControl(plug.get(), {10, 10, 90, 90}, 0);
    mode = new ValueControl(plug.get(), {110, 10, 190, 90}, 1);
    slot = new ValueControl(plug.get(), {200, 10, 280, 90}, 2);
    gfx->AttachControl(level);
    gfx->AttachControl(mode);
    gfx->AttachControl(slot);
    plug->AttachEditor(gfx);
    window = static_cast<HWND>(gfx->OpenWindow(host->get()));
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(host->get());
    Pump(150);  // the first full paint
    AutomationCalls().clear();
  }
  void TearDown() override {
    plug.reset();  // deletes the editor, which closes its window
    Pump(50);
    AutomationCalls().clear();
  }
  HWND Popup() const { return static_cast<HWND>(gfx->PopupWindow()); }
  // Right press on the control's centre: the popup opens at once.
  HWND OpenPopupOn(const IControl* c) {
    const IRect& r = c->GetRect();
    ClickAt(ScreenPoint(window, (r.L + r.R) / 2, (r.T + r.B) / 2), true);
    PumpUntil([this] { return Popup() != nullptr; }, 2000);
    return Popup();
  }
  std::vector<std::string> Items(HWND combo) {
    std::vector<std::string> items;
    const int n = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      char t[64] = {};
      SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(t));
      items.push_back(t);
    }
    return items;
  }
  // Opens the drop-down with a click on the closed box.
  HWND DropDown(HWND combo) {
    RECT r{};
    GetWindowRect(combo, &r);
    ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    PumpUntil([combo] { return SendMessageA(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2000);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    GetComboBoxInfo(combo, &info);
    return info.hwndList;
  }
  POINT ItemCentre(HWND list, int index) {
    RECT item{};
    SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item));
    return ScreenPoint(list, (item.left + item.right) / 2, (item.top + item.bottom) / 2);
  }
  double Value(int i) { return plug->ParamAt(i)->Value(); }

  static HostWindow* host;
  std::unique_ptr<WinTestPlug> plug;
  IGraphicsWin* gfx = nullptr;
  ValueControl* level = nullptr;
  ValueControl* mode = nullptr;
  ValueControl* slot = nullptr;
  HWND window = nullptr;
};

HostWindow* WinEntryPopup::host = nullptr;

TEST_F(WinEntryPopup, ListedParameterGetsADropDownListOfItsTextsWithTheCurrentOneSelected) {
  HWND popup = OpenPopupOn(mode);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(ClassOf(popup), "ComboBox");
  EXPECT_EQ(GetDlgCtrlID(popup), IGraphicsWin::kPopupId);
  EXPECT_EQ(GetParent(popup), window);
  EXPECT_EQ(GetWindowLongA(popup, GWL_STYLE) & 0x3, CBS_DROPDOWNLIST);
  EXPECT_EQ(Items(popup), (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_EQ(SendMessageA(popup, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(WindowText(popup), "alpha");
  // w = max(24, 8 * 5 + 24) = 64, left edge at centre x 150 - 32, top at centre y 50.
  RECT r{};
  GetWindowRect(popup, &r);
  POINT topLeft{r.left, r.top};
  ScreenToClient(window, &topLeft);
  EXPECT_EQ(topLeft.x, 118);
  EXPECT_EQ(topLeft.y, 50);
  EXPECT_EQ(r.right - r.left, 64);
  // Opened without the focus; the opening press's redraw asks for a refresh
  // (state 2), which the tick after does.
  EXPECT_NE(gfx->PopupState(), IGraphicsWin::kPopupFocused);
  EXPECT_TRUE(PumpUntil([this] { return gfx->PopupState() == IGraphicsWin::kPopupIdle; }));
  // A second request while it is open is ignored.
  gfx->PromptParameterEntry(level, plug->ParamAt(0));
  EXPECT_EQ(Popup(), popup);
}

TEST_F(WinEntryPopup, TextsAreListedByValueOverTheRangeNotByPosition) {
  // The slot's texts belong to values -1 and 3: both listed, nothing else.
  HWND popup = OpenPopupOn(slot);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(Items(popup), (std::vector<std::string>{"off", "last"}));
  EXPECT_EQ(SendMessageA(popup, CB_GETCURSEL, 0, 0), CB_ERR) << "value 1 has no text: nothing selected";
  HWND list = DropDown(popup);
  ASSERT_NE(list, nullptr);
  ClickAt(ItemCentre(list, 0));
  ASSERT_TRUE(PumpUntil([this] { return Popup() == nullptr; }));
  EXPECT_DOUBLE_EQ(Value(2), -1.0);
}

TEST_F(WinEntryPopup, AChoiceCommitsOnTheNextTickThroughThePopupsOwnProcedure) {
  HWND popup = OpenPopupOn(mode);
  ASSERT_NE(popup, nullptr);
  CommandSpy::Target() = popup;
  CommandSpy::Seen().clear();
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, CommandSpy::Hook, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  HWND list = DropDown(popup);
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(IsWindowVisible(list));
  EXPECT_EQ(gfx->PopupState(), IGraphicsWin::kPopupFocused);
  // Passing over an item chooses nothing.
  MoveTo(ItemCentre(list, 1));
  Pump(200);
  EXPECT_EQ(Popup(), popup);
  EXPECT_TRUE(Automated().empty());
  ClickAt(ItemCentre(list, 2));  // "gamma"
  ASSERT_TRUE(PumpUntil([this] { return Popup() == nullptr; }));
  UnhookWindowsHookEx(hook);
  EXPECT_FALSE(IsWindow(popup));
  bool selectionMessage = false;
  for (WPARAM w : CommandSpy::Seen()) selectionMessage |= HIWORD(w) == 1;
  EXPECT_TRUE(selectionMessage) << "no selection-change command reached the popup";
  EXPECT_DOUBLE_EQ(Value(1), 2.0);
  auto automated = Automated();
  ASSERT_EQ(automated.size(), 1u);
  EXPECT_EQ(automated[0].index, 1);
  EXPECT_FLOAT_EQ(automated[0].value, 1.0f);
  EXPECT_EQ(gfx->PopupState(), IGraphicsWin::kPopupIdle);
}

TEST_F(WinEntryPopup, KeyboardChoiceInTheClosedListCommitsToo) {
  HWND popup = OpenPopupOn(mode);
  ASSERT_NE(popup, nullptr);
  SetFocus(popup);
  ASSERT_TRUE(PumpUntil([this] { return gfx->PopupState() == IGraphicsWin::kPopupFocused; }));
  Key(VK_DOWN);  // "alpha" -> "beta"
  ASSERT_TRUE(PumpUntil([this] { return Popup() == nullptr; }));
  EXPECT_DOUBLE_EQ(Value(1), 1.0);
}

TEST_F(WinEntryPopup, EscapeClosesOnlyTheDropDownAndARightPressCancels) {
  HWND popup = OpenPopupOn(mode);
  ASSERT_NE(popup, nullptr);
  HWND list = DropDown(popup);
  ASSERT_NE(list, nullptr);
  MoveTo(ItemCentre(list, 2));
  Pump(100);
  Key(VK_ESCAPE);
  ASSERT_TRUE(PumpUntil([popup] { return SendMessageA(popup, CB_GETDROPPEDSTATE, 0, 0) == 0; }));
  Pump(200);  // several ticks
  EXPECT_EQ(Popup(), popup) << "Escape is the list's own: the popup stays";
  EXPECT_TRUE(Automated().empty());
  // A right press in the editor, on another control: cancels, reaches no control.
  ClickAt(ScreenPoint(window, 50, 50), true);
  ASSERT_TRUE(PumpUntil([this] { return Popup() == nullptr; }));
  EXPECT_FALSE(IsWindow(popup));
  Pump(150);
  EXPECT_EQ(Popup(), nullptr) << "the cancelling press opened no new popup";
  EXPECT_DOUBLE_EQ(Value(1), 0.0);
  EXPECT_DOUBLE_EQ(Value(0), 2.5);
  EXPECT_TRUE(Automated().empty());
}

TEST_F(WinEntryPopup, ARedrawWhileTheListIsUnfocusedRefreshesItsText) {
  HWND popup = OpenPopupOn(mode);
  ASSERT_NE(popup, nullptr);
  // The opening press redraws the control; the tick after refreshes and idles.
  ASSERT_TRUE(PumpUntil([this] { return gfx->PopupState() == IGraphicsWin::kPopupIdle; }));
  AEffect* e = plug->GetAEffect();
  e->setParameter(e, 1, 1.0f);  // the host moves it to "gamma"
  ASSERT_TRUE(PumpUntil([popup] { return WindowText(popup) == "gamma"; }, 2000));
  EXPECT_EQ(Popup(), popup);
  EXPECT_TRUE(Automated().empty());
}

}  // namespace
