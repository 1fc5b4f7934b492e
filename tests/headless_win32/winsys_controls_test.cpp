// Window system: the system controls as the window library uses them (button, static,
// edit, combo box, progress bar, tooltip): their messages, answers and notifications to
// the parent. Both builds.
#include <gtest/gtest.h>

#include "tests/headless_win32/winsys_test_support.h"

namespace {

using namespace zorv::wintest;

struct Command {
  int id;
  int code;
  HWND from;
};

std::vector<Command> Commands(HWND parent) {
  std::vector<Command> out;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == parent && e.msg == WM_COMMAND) {
      out.push_back(Command{LOWORD(e.wParam), static_cast<short>(HIWORD(e.wParam)), reinterpret_cast<HWND>(e.lParam)});
    }
  }
  return out;
}

std::vector<int> Codes(HWND parent, int id) {
  std::vector<int> out;
  for (const auto& c : Commands(parent)) {
    if (c.id == id) out.push_back(c.code);
  }
  return out;
}

class WinsysControls : public ::testing::Test {
 protected:
  void SetUp() override {
    ZORV_NEED_WINDOWS();
    Log().Clear();
    CurrentOverride() = nullptr;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&icc));
    parent_.Reset(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, 50, 50, 400, 300));
    ASSERT_TRUE(parent_.get());
    PumpAll();
    Log().Clear();
  }
  void TearDown() override {
    parent_.Reset();
    PumpAll();
  }
  HWND Child(LPCWSTR cls, DWORD style, int id, int w = 120, int h = 24, LPCWSTR text = nullptr) {
    return MakeWindow(cls, WS_CHILD | WS_VISIBLE | style, parent_, id, 10, 10, w, h, 0, text);
  }
  TestClass cls_{ZORV_W("WinsysControlsTest")};
  Window parent_;
};

TEST_F(WinsysControls, ButtonClickNotifiesWhenEnabled) {
  HWND b = Child(ZORV_W("BUTTON"), BS_PUSHBUTTON, 11, 80, 24, ZORV_W("Go"));
  ASSERT_TRUE(b);
  SendMessageW(b, BM_CLICK, 0, 0);
  EXPECT_EQ(Codes(parent_, 11), (std::vector<int>{BN_CLICKED}));
  EXPECT_EQ(GetFocus(), b) << "a click focuses the button";
  Log().Clear();
  EnableWindow(b, FALSE);
  SendMessageW(b, BM_CLICK, 0, 0);
  // A disabled button ignores BM_CLICK in Win32; wine's clicks it anyway.
  if (!UnderWine()) {
    EXPECT_TRUE(Codes(parent_, 11).empty());
  }
  EnableWindow(b, TRUE);
  // BM_SETSTYLE changes the button's type.
  SendMessageW(b, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  EXPECT_EQ(GetWindowLongW(b, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

TEST_F(WinsysControls, ControlsKeepTheirFont) {
  LOGFONTW lf{};
  lf.lfHeight = -16;
  HFONT font = CreateFontIndirectW(&lf);
  for (LPCWSTR cls : {ZORV_W("Button"), ZORV_W("Static"), ZORV_W("Edit"), ZORV_W("ComboBox")}) {
    HWND h = Child(cls, 0, 20, 100, 100);
    ASSERT_TRUE(h);
    EXPECT_EQ(SendMessageW(h, WM_GETFONT, 0, 0), 0);
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), font);
    DestroyWindow(h);
  }
  DeleteObject(font);
}

TEST_F(WinsysControls, EditTextSelectionAndNotifications) {
  HWND e = Child(ZORV_W("Edit"), WS_BORDER | ES_AUTOHSCROLL, 30, 150, 24, ZORV_W("start"));
  ASSERT_TRUE(e);
  EXPECT_EQ(Text(e), u"start");
  EXPECT_TRUE(Codes(parent_, 30).empty()) << "no notification for the creation text";
  SetWindowTextW(e, ZORV_W("hello"));
  EXPECT_EQ(Codes(parent_, 30), (std::vector<int>{EN_UPDATE, EN_CHANGE}));
  SendMessageW(e, EM_SETSEL, 1, 3);
  DWORD a = 0, b = 0;
  SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 3u);
  Log().Clear();
  SendMessageW(e, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(ZORV_W("EL")));
  EXPECT_EQ(Text(e), u"hELlo");
  EXPECT_EQ(Codes(parent_, 30), (std::vector<int>{EN_UPDATE, EN_CHANGE}));
  SendMessageW(e, EM_SETSEL, 0, -1);
  SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 5u);
  // Typing replaces the selection; Enter does nothing in a single-line edit.
  Log().Clear();
  SendMessageW(e, WM_CHAR, 'x', 0);
  EXPECT_EQ(Text(e), u"x");
  SendMessageW(e, WM_CHAR, '\r', 0);
  EXPECT_EQ(Text(e), u"x");
  EXPECT_EQ(Codes(parent_, 30), (std::vector<int>{EN_UPDATE, EN_CHANGE}));
  SendMessageW(e, WM_CHAR, 0x08, 0);
  EXPECT_EQ(Text(e), u"");
}

TEST_F(WinsysControls, ReadOnlyEditRefusesTypingButNotSetText) {
  HWND e = Child(ZORV_W("Edit"), ES_READONLY, 31, 150, 24, ZORV_W("fixed"));
  SendMessageW(e, EM_SETSEL, 5, 5);
  SendMessageW(e, WM_CHAR, 'z', 0);
  EXPECT_EQ(Text(e), u"fixed");
  SetWindowTextW(e, ZORV_W("changed"));
  EXPECT_EQ(Text(e), u"changed");
}

TEST_F(WinsysControls, MultiLineEditLines) {
  HWND e = Child(ZORV_W("Edit"), ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 32, 300, 100);
  SetWindowTextW(e, ZORV_W("one\r\ntwo2\r\n\r\nfour"));
  EXPECT_TRUE(Codes(parent_, 32).empty()) << "multi-line: no EN_CHANGE for WM_SETTEXT";
  EXPECT_EQ(SendMessageW(e, EM_GETLINECOUNT, 0, 0), 4);
  EXPECT_EQ(SendMessageW(e, EM_LINEINDEX, 1, 0), 5);
  EXPECT_EQ(SendMessageW(e, EM_LINEINDEX, 3, 0), 13);
  EXPECT_EQ(SendMessageW(e, EM_LINEINDEX, 4, 0), -1);
  EXPECT_EQ(SendMessageW(e, EM_LINELENGTH, 5, 0), 4);
  EXPECT_EQ(SendMessageW(e, EM_LINELENGTH, 11, 0), 0);
  WCHAR buf[16] = {};
  buf[0] = 15;
  EXPECT_EQ(SendMessageW(e, EM_GETLINE, 1, reinterpret_cast<LPARAM>(buf)), 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buf), 4), u"two2");
  buf[0] = 2;
  EXPECT_EQ(SendMessageW(e, EM_GETLINE, 3, reinterpret_cast<LPARAM>(buf)), 2);
}

TEST_F(WinsysControls, StaticNotifiesClicksOnlyWithSsNotify) {
  HWND plain = Child(ZORV_W("Static"), SS_LEFT, 40, 100, 20, ZORV_W("label"));
  HWND notify = Child(ZORV_W("Static"), SS_LEFT | SS_NOTIFY, 41, 100, 20, ZORV_W("link"));
  EXPECT_EQ(SendMessageW(plain, WM_NCHITTEST, 0, 0), HTTRANSPARENT);
  SendMessageW(notify, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(plain, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(Codes(parent_, 41), (std::vector<int>{STN_CLICKED}));
  EXPECT_TRUE(Codes(parent_, 40).empty());
  EXPECT_EQ(Text(plain), u"label");
}

TEST_F(WinsysControls, ComboBoxItems) {
  HWND c = Child(ZORV_W("ComboBox"), CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, 50, 150, 200);
  ASSERT_TRUE(c);
  EXPECT_EQ(SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ZORV_W("COM3"))), 0);
  EXPECT_EQ(SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ZORV_W("COM1"))), 0);
  EXPECT_EQ(SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ZORV_W("com2"))), 1);
  EXPECT_EQ(SendMessageW(c, CB_GETCOUNT, 0, 0), 3);
  WCHAR buf[32];
  EXPECT_EQ(SendMessageW(c, CB_GETLBTEXT, 2, reinterpret_cast<LPARAM>(buf)), 4);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buf)), u"COM3");
  EXPECT_EQ(SendMessageW(c, CB_GETLBTEXTLEN, 1, 0), 4);
  EXPECT_EQ(SendMessageW(c, CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(buf)), CB_ERR);
  EXPECT_EQ(SendMessageW(c, CB_GETLBTEXTLEN, -1, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(c, CB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(Text(c), u"com2");
  EXPECT_EQ(SendMessageW(c, CB_SETCURSEL, 7, 0), CB_ERR);
  // Win32 documents that an index out of range clears the selection; wine keeps it.
  if (!UnderWine()) {
    EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), CB_ERR);
  }
  EXPECT_TRUE(Codes(parent_, 50).empty()) << "CB_SETCURSEL notifies nobody";
  EXPECT_EQ(SendMessageW(c, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(SendMessageW(c, CB_SETITEMDATA, 0, 77), TRUE);
  EXPECT_EQ(SendMessageW(c, CB_GETITEMDATA, 0, 0), 77);
  EXPECT_EQ(SendMessageW(c, CB_GETITEMDATA, 9, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(c, CB_DELETESTRING, 0, 0), 2);
  EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), 1) << "the selection follows its item";
  EXPECT_EQ(SendMessageW(c, CB_DELETESTRING, 5, 0), CB_ERR);
  const LRESULT reset = SendMessageW(c, CB_RESETCONTENT, 0, 0);
  if (!UnderWine()) {
    EXPECT_EQ(reset, CB_OKAY) << "documented; wine answers TRUE";
  }
  EXPECT_EQ(SendMessageW(c, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_GE(SendMessageW(c, CB_INITSTORAGE, 10, 200), 10);
}

TEST_F(WinsysControls, DropDownComboBoxEditPartAndDropDown) {
  HWND c = Child(ZORV_W("ComboBox"), CBS_DROPDOWN, 51, 150, 200);
  ASSERT_TRUE(c);
  RECT r;
  GetWindowRect(c, &r);
  EXPECT_LT(r.bottom - r.top, 60) << "the field keeps its own height; the rest is the list's";
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(c, &info));
  ASSERT_TRUE(info.hwndItem && info.hwndItem != c);
  ASSERT_TRUE(info.hwndList);
  EXPECT_EQ(GetParent(info.hwndItem), c);
  SendMessageW(c, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(ZORV_W("b")));
  SendMessageW(c, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(ZORV_W("a")));
  EXPECT_EQ(SendMessageW(c, CB_INSERTSTRING, 5, reinterpret_cast<LPARAM>(ZORV_W("x"))), CB_ERR);
  SendMessageW(c, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(Text(info.hwndItem), u"b");
  EXPECT_EQ(Text(c), u"b");
  SetWindowTextW(c, ZORV_W("typed"));
  EXPECT_EQ(Text(info.hwndItem), u"typed");
  Log().Clear();
  EXPECT_FALSE(SendMessageW(c, CB_GETDROPPEDSTATE, 0, 0));
  SendMessageW(c, CB_SHOWDROPDOWN, TRUE, 0);
  EXPECT_TRUE(SendMessageW(c, CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_TRUE(IsWindowVisible(info.hwndList));
  SendMessageW(c, CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_FALSE(SendMessageW(c, CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_FALSE(IsWindowVisible(info.hwndList));
  EXPECT_EQ(Codes(parent_, 51), (std::vector<int>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));
  DestroyWindow(c);
  EXPECT_FALSE(IsWindow(info.hwndList)) << "the list goes with its combo box";
  EXPECT_FALSE(IsWindow(info.hwndItem));
}

TEST_F(WinsysControls, ProgressBar) {
  HWND p = Child(PROGRESS_CLASSW, PBS_SMOOTH, 60, 200, 20);
  ASSERT_TRUE(p);
  SendMessageW(p, PBM_SETRANGE32, 0, 1016);
  EXPECT_EQ(SendMessageW(p, PBM_GETRANGE, TRUE, 0), 0);
  PBRANGE range{};
  EXPECT_EQ(SendMessageW(p, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range)), 1016);
  EXPECT_EQ(range.iHigh, 1016);
  EXPECT_EQ(SendMessageW(p, PBM_SETPOS, 100, 0), 0);
  EXPECT_EQ(SendMessageW(p, PBM_SETPOS, 5000, 0), 100);
  EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 1016) << "clamped to the range";
  EXPECT_EQ(SendMessageW(p, PBM_SETPOS, -5, 0), 1016);
  EXPECT_EQ(SendMessageW(p, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(p, PBM_SETBARCOLOR, 0, RGB(0, 128, 0))), CLR_DEFAULT);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(p, PBM_SETBARCOLOR, 0, RGB(1, 2, 3))), RGB(0, 128, 0));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(p, CCM_SETBKCOLOR, 0, RGB(9, 9, 9))), CLR_DEFAULT);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(p, CCM_SETBKCOLOR, 0, RGB(8, 8, 8))), RGB(9, 9, 9));
}

TEST_F(WinsysControls, TooltipTools) {
  HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent_, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(tip);
  HWND b = Child(ZORV_W("Button"), 0, 70);
  TTTOOLINFOW ti{};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = parent_;
  ti.uId = reinterpret_cast<UINT_PTR>(b);
  WCHAR text[] = ZORV_W("hint");
  ti.lpszText = text;
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 0);
  EXPECT_TRUE(SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  WCHAR other[] = ZORV_W("other hint");
  ti.lpszText = other;
  SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  SendMessageW(tip, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(100, 0));
  SendMessageW(tip, TTM_SETTIPTEXTCOLOR, RGB(1, 2, 3), 0);
  SendMessageW(tip, TTM_SETTIPBKCOLOR, RGB(4, 5, 6), 0);
  EXPECT_TRUE(SendMessageW(tip, TTM_SETTITLEW, TTI_INFO, reinterpret_cast<LPARAM>(ZORV_W("Title"))));
  LOGFONTW lf{};
  lf.lfHeight = -12;
  HFONT font = CreateFontIndirectW(&lf);
  SendMessageW(tip, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  // wine's tooltip keeps a copy of the font it is given.
  if (UnderWine()) {
    EXPECT_NE(SendMessageW(tip, WM_GETFONT, 0, 0), 0);
  } else {
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(tip, WM_GETFONT, 0, 0)), font);
  }
  SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 0);
  DestroyWindow(tip);
  DeleteObject(font);
}

}  // namespace
