// The real system's answer to user input that the headless test controls imitate (Windows
// build only, under wine with a display): a user choosing a combo box item with the mouse,
// and a click on a button, through SendInput. The headless tests expect the same orders.
#include <gtest/gtest.h>

#include "tests/headless_win32/winsys_test_support.h"

namespace {

using namespace zorv::wintest;

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    PumpAll();
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

template <class Pred>
bool PumpUntil(Pred pred, DWORD maxMs = 10000) {
  const DWORD start = GetTickCount();
  while (!pred()) {
    if (GetTickCount() - start > maxMs) return false;
    PumpAll();
    Sleep(10);
  }
  return true;
}

void MoveTo(POINT screen) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = (screen.x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (screen.y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
}

void ClickAt(POINT screen) {
  MoveTo(screen);
  PumpFor(150);
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_MOUSE;
  in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, in, sizeof in[0]);
}

class RealInput : public ::testing::Test {
 protected:
  void SetUp() override {
    ZORV_NEED_WINDOWS();
    Log().Clear();
    CurrentOverride() = nullptr;
    parent_.Reset(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, 60, 60, 400, 300));
    ASSERT_TRUE(parent_.get());
    SetForegroundWindow(parent_);
    PumpFor(200);
    Log().Clear();
  }
  void TearDown() override {
    CurrentOverride() = nullptr;
    parent_.Reset();
    PumpAll();
  }
  TestClass cls_{ZORV_W("RealInputTest")};
  Window parent_;
};

std::vector<int> Codes(HWND parent, int id) {
  std::vector<int> out;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == parent && e.msg == WM_COMMAND && LOWORD(e.wParam) == id) out.push_back(HIWORD(e.wParam));
  }
  return out;
}

TEST_F(RealInput, ChoosingAComboBoxItemWithTheMouse) {
  HWND c = MakeWindow(ZORV_W("ComboBox"), WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, parent_, 50, 10, 10, 150, 200);
  ASSERT_TRUE(c);
  for (const WCHAR* s : {ZORV_W("COM1"), ZORV_W("COM2"), ZORV_W("COM3")}) {
    SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  }
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(c, &info));
  std::u16string textAtSelChange = u"-";
  int cursorAtSelChange = -2;
  CurrentOverride() = [&](HWND h, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (h == parent_.get() && m == WM_COMMAND && LOWORD(wp) == 50 && HIWORD(wp) == CBN_SELCHANGE) {
      textAtSelChange = Text(c);
      cursorAtSelChange = static_cast<int>(SendMessageW(c, CB_GETCURSEL, 0, 0));
    }
    return std::nullopt;
  };
  RECT r;
  GetWindowRect(c, &r);
  ClickAt(POINT{r.right - 8, (r.top + r.bottom) / 2});
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(info.hwndList) != FALSE; }));
  RECT item;
  ASSERT_NE(SendMessageW(info.hwndList, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)), LB_ERR);
  POINT p{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
  ClientToScreen(info.hwndList, &p);
  ClickAt(p);
  ASSERT_TRUE(PumpUntil([&] { return !SendMessageW(c, CB_GETDROPPEDSTATE, 0, 0); }));
  PumpFor(100);
  EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(info.hwndItem), u"COM2");
  std::vector<int> cbn;
  for (int code : Codes(parent_, 50)) {
    if (code != CBN_EDITCHANGE && code != CBN_EDITUPDATE) cbn.push_back(code);
  }
  EXPECT_EQ(cbn, (std::vector<int>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
  EXPECT_EQ(cursorAtSelChange, 1);
  EXPECT_EQ(textAtSelChange, u"") << "the edit part shows the choice after CBN_SELCHANGE";
  EXPECT_EQ(GetFocus(), info.hwndItem);
}

TEST_F(RealInput, ClickOnAButton) {
  HWND b = MakeWindow(ZORV_W("Button"), WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, parent_, 11, 10, 10, 80, 24, 0,
                      ZORV_W("Go"));
  ASSERT_TRUE(b);
  RECT r;
  GetWindowRect(b, &r);
  ClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  ASSERT_TRUE(PumpUntil([&] { return !Codes(parent_, 11).empty(); }));
  EXPECT_EQ(Codes(parent_, 11), (std::vector<int>{BN_CLICKED}));
  EXPECT_EQ(GetFocus(), b);
}

}  // namespace
