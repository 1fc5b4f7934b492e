// The headless window system's own model and its test controls (native only): the fixed
// non-client and text metrics, input through the message loop (clicks, keys, typing,
// choosing a combo box item), the drawing log and colour reflection, memory bitmap pixels,
// GDI object rules, resources, and leak accounting.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "headless_win32/headless.h"
#include "tests/headless_win32/winsys_test_support.h"

namespace {

using namespace zorv::wintest;
namespace hl = zorv::headless;

std::vector<int> Codes(HWND parent, int id) {
  std::vector<int> out;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == parent && e.msg == WM_COMMAND && LOWORD(e.wParam) == id) out.push_back(HIWORD(e.wParam));
  }
  return out;
}

class Headless : public ::testing::Test {
 protected:
  void SetUp() override {
    Log().Clear();
    CurrentOverride() = nullptr;
    hl::ClearDrawLog();
    parent_.Reset(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, 100, 100, 400, 300));
    ASSERT_TRUE(parent_.get());
    hl::Pump();
    Log().Clear();
  }
  void TearDown() override {
    CurrentOverride() = nullptr;
    parent_.Reset();
    hl::Pump();
  }
  HWND Child(LPCWSTR cls, DWORD style, int id, int x = 10, int y = 10, int w = 120, int h = 24, LPCWSTR text = nullptr) {
    return MakeWindow(cls, WS_CHILD | WS_VISIBLE | style, parent_, id, x, y, w, h, 0, text);
  }
  TestClass cls_{u"HeadlessTest", CS_DBLCLKS};
  Window parent_;
};

TEST_F(Headless, NonClientModel) {
  RECT wr, cr;
  GetWindowRect(parent_, &wr);
  GetClientRect(parent_, &cr);
  EXPECT_EQ(wr.left, 100);
  EXPECT_EQ(wr.right - wr.left, 400);
  // WS_OVERLAPPEDWINDOW: thick frame 4 on every side, caption 18.
  EXPECT_EQ(cr.right, 400 - 8);
  EXPECT_EQ(cr.bottom, 300 - 8 - 18);
  POINT p{0, 0};
  ClientToScreen(parent_, &p);
  EXPECT_EQ(p.x, 104);
  EXPECT_EQ(p.y, 122);
  HWND edged = Child(u"Edit", WS_BORDER, 1, 5, 6, 100, 30);
  GetClientRect(edged, &cr);
  EXPECT_EQ(cr.right, 98);
  HWND sunken = MakeWindow(u"Static", WS_CHILD, parent_, 2, 0, 0, 100, 30, WS_EX_CLIENTEDGE);
  GetClientRect(sunken, &cr);
  EXPECT_EQ(cr.right, 96);
  EXPECT_EQ(cr.bottom, 26);
  EXPECT_EQ(WindowFromPoint(POINT{105 + 5 + 4, 122 + 6 + 4}), edged);
  HWND dialog = MakeWindow(cls_.name(), WS_POPUP | WS_CAPTION | WS_SYSMENU, nullptr, 0, 0, 0, 206, 124);
  GetClientRect(dialog, &cr);
  EXPECT_EQ(cr.right, 200) << "a dialog frame of 3";
  EXPECT_EQ(cr.bottom, 100) << "and a caption of 18";
  DestroyWindow(dialog);
}

TEST_F(Headless, TextMetric) {
  HDC dc = GetDC(parent_);
  SIZE s;
  GetTextExtentPoint32W(dc, u"abcd", 4, &s);
  EXPECT_EQ(s.cx, 24);  // the system font: 13 high, 6 wide
  EXPECT_EQ(s.cy, 13);
  LOGFONTW lf{};
  lf.lfHeight = -20;
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc, f);
  GetTextExtentPoint32W(dc, u"abc", 3, &s);
  EXPECT_EQ(s.cx, 30);
  EXPECT_EQ(s.cy, 20);
  RECT r{0, 0, 0, 0};
  EXPECT_EQ(DrawTextW(dc, u"&File\nab", -1, &r, DT_CALCRECT), 40);
  EXPECT_EQ(r.right, 40) << "the prefix '&' takes no room";
  RECT wrap{0, 0, 60, 0};
  DrawTextW(dc, u"aaa bbb ccc", -1, &wrap, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_EQ(wrap.bottom, 60);
  SelectObject(dc, old);
  DeleteObject(f);
  ReleaseDC(parent_, dc);
}

TEST_F(Headless, ClickThroughTheMessageLoop) {
  HWND b = Child(u"Button", BS_PUSHBUTTON, 11, 10, 10, 80, 24, u"Go");
  HWND other = Child(u"Button", BS_PUSHBUTTON, 12, 100, 10, 80, 24, u"Other");
  ASSERT_TRUE(hl::ClickCenter(b));
  EXPECT_TRUE(Codes(parent_, 11).empty()) << "nothing runs before the loop reads the input";
  hl::Pump();
  EXPECT_EQ(Codes(parent_, 11), (std::vector<int>{BN_CLICKED}));
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(GetCapture(), nullptr);
  // Press inside, release outside: no click.
  Log().Clear();
  hl::MouseDown(b, 5, 5);
  hl::MouseMove(b, 300, 5);
  hl::MouseUp(b, 300, 5);
  hl::Pump();
  EXPECT_TRUE(Codes(parent_, 11).empty());
  // Space bar down and up on the focused button.
  hl::KeyPress(VK_SPACE);
  hl::Pump();
  EXPECT_EQ(Codes(parent_, 11), (std::vector<int>{BN_CLICKED}));
  // A disabled button: the click goes nowhere.
  Log().Clear();
  EnableWindow(other, FALSE);
  hl::ClickCenter(other);
  hl::Pump();
  EXPECT_TRUE(Codes(parent_, 12).empty());
  EXPECT_EQ(Log().Count(WM_LBUTTONDOWN), 0);
}

TEST_F(Headless, MouseMessagesSetCursorAndActivation) {
  Window other(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, 500, 100, 200, 200));
  hl::Pump();
  ASSERT_EQ(GetActiveWindow(), other.get());
  Log().Clear();
  hl::Click(parent_, 20, 30);
  hl::Pump();
  EXPECT_EQ(GetActiveWindow(), parent_.get()) << "a click activates";
  const auto seq = Log().Messages({WM_NCHITTEST, WM_MOUSEACTIVATE, WM_ACTIVATE, WM_SETCURSOR, WM_LBUTTONDOWN, WM_LBUTTONUP},
                                  parent_);
  const std::vector<UINT> expected = {WM_NCHITTEST, WM_SETCURSOR, WM_NCHITTEST, WM_MOUSEACTIVATE, WM_ACTIVATE,
                                      WM_SETCURSOR, WM_LBUTTONDOWN, WM_NCHITTEST, WM_SETCURSOR, WM_LBUTTONUP};
  EXPECT_EQ(seq, expected);
  for (const auto& e : Log().Entries()) {
    if (e.msg == WM_LBUTTONDOWN) {
      EXPECT_EQ(GET_X_LPARAM(e.lParam), 20);
      EXPECT_EQ(GET_Y_LPARAM(e.lParam), 30);
      EXPECT_EQ(e.wParam & MK_LBUTTON, static_cast<WPARAM>(MK_LBUTTON));
    }
  }
  POINT p;
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 104 + 20);
  // A double click on a CS_DBLCLKS class.
  Log().Clear();
  hl::DoubleClick(parent_, 5, 5);
  hl::Pump();
  EXPECT_EQ(Log().Messages({WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK}, parent_),
            (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP}));
}

TEST_F(Headless, ParentNotifyAndMouseLeave) {
  HWND b = Child(u"Button", BS_PUSHBUTTON, 11, 10, 20, 80, 24, u"Go");
  TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, parent_, HOVER_DEFAULT};
  hl::MouseMove(parent_, 200, 200);
  hl::Pump();
  ASSERT_TRUE(TrackMouseEvent(&t));
  Log().Clear();
  hl::ClickCenter(b);
  hl::Pump();
  EXPECT_EQ(Log().Count(WM_MOUSELEAVE, parent_), 1) << "the mouse went over the button";
  bool notified = false;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == parent_.get() && e.msg == WM_PARENTNOTIFY) {
      notified = LOWORD(e.wParam) == WM_LBUTTONDOWN && GET_X_LPARAM(e.lParam) == 50 && GET_Y_LPARAM(e.lParam) == 32;
    }
  }
  EXPECT_TRUE(notified);
  // Tracking a window the mouse is not over: the leave comes at once.
  Log().Clear();
  ASSERT_TRUE(TrackMouseEvent(&t));
  hl::Pump();
  EXPECT_EQ(Log().Count(WM_MOUSELEAVE, parent_), 1);
}

TEST_F(Headless, ForegroundFromAnotherThreadActivatesOnReading) {
  Window other(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, 0, 500, 100, 200, 200));
  hl::Pump();
  ASSERT_EQ(GetActiveWindow(), other.get());
  std::thread t([&] { SetForegroundWindow(parent_); });
  t.join();
  EXPECT_EQ(GetForegroundWindow(), parent_.get());
  EXPECT_EQ(GetActiveWindow(), other.get()) << "not before this thread reads its queue";
  hl::Pump();
  EXPECT_EQ(GetActiveWindow(), parent_.get());
}

TEST_F(Headless, CaptionDragIsRequested) {
  CurrentOverride() = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (h == parent_.get() && m == WM_NCHITTEST) return HTCAPTION;  // drag by the client area
    return std::nullopt;
  };
  const int before = hl::DragMoveRequests(parent_);
  hl::MouseDown(parent_, 50, 50);
  hl::MouseUp(parent_, 50, 50);
  hl::Pump();
  EXPECT_EQ(hl::DragMoveRequests(parent_), before + 1);
  EXPECT_EQ(Log().Count(WM_NCLBUTTONDOWN, parent_), 1);
  EXPECT_EQ(Log().Count(WM_LBUTTONDOWN, parent_), 0);
  SendMessageW(parent_, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, 0);
  EXPECT_EQ(hl::DragMoveRequests(parent_), before + 2);
}

TEST_F(Headless, KeysTypingAndKeyState) {
  HWND e = Child(u"Edit", WS_BORDER, 30, 10, 10, 200, 24);
  SetFocus(e);
  hl::Pump();
  Log().Clear();
  ASSERT_TRUE(hl::TypeText(u"Ab1 Жук!"));
  hl::Pump();
  EXPECT_EQ(Text(e), u"Ab1 Жук!");
  int changes = 0;
  for (int c : Codes(parent_, 30)) changes += c == EN_CHANGE;
  EXPECT_EQ(changes, 8);
  hl::KeyDown(VK_SHIFT);
  EXPECT_GE(GetKeyState(VK_SHIFT), 0) << "the thread's key state follows the messages it read";
  hl::Pump();
  EXPECT_LT(GetKeyState(VK_SHIFT), 0);
  hl::KeyPress(VK_HOME);
  hl::KeyUp(VK_SHIFT);
  hl::Pump();
  EXPECT_GE(GetKeyState(VK_SHIFT), 0);
  DWORD a = 0, b = 0;
  SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(a, 0u);
  EXPECT_EQ(b, 8u) << "Shift+Home selected everything";
  hl::KeyPress(VK_BACK);
  hl::Pump();
  EXPECT_EQ(Text(e), u"");
  // Alt makes system keys (and TranslateMessage system characters).
  SetFocus(parent_);
  hl::Pump();
  Log().Clear();
  hl::KeyDown(VK_MENU);
  hl::KeyPress('X');
  hl::KeyUp(VK_MENU);
  hl::Pump();
  EXPECT_EQ(Log().Messages({WM_KEYDOWN, WM_SYSKEYDOWN, WM_SYSCHAR, WM_CHAR, WM_SYSKEYUP, WM_KEYUP}, parent_),
            (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCHAR, WM_SYSKEYUP, WM_KEYUP}));
}

TEST_F(Headless, ChoosingAComboBoxItemAsAUser) {
  HWND c = Child(u"ComboBox", CBS_DROPDOWN, 50, 10, 10, 150, 200);
  for (const char16_t* s : {u"COM1", u"COM2", u"COM3"}) SendMessageW(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  GetComboBoxInfo(c, &info);
  std::u16string textAtSelChange;
  int cursorAtSelChange = -2;
  CurrentOverride() = [&](HWND h, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (h == parent_.get() && m == WM_COMMAND && LOWORD(wp) == 50 && HIWORD(wp) == CBN_SELCHANGE) {
      textAtSelChange = Text(c);
      cursorAtSelChange = static_cast<int>(SendMessageW(c, CB_GETCURSEL, 0, 0));
    }
    return std::nullopt;
  };
  EXPECT_FALSE(hl::ChooseComboItem(c, 3));
  ASSERT_TRUE(hl::ChooseComboItem(c, 1));
  hl::Pump();
  EXPECT_EQ(SendMessageW(c, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(info.hwndItem), u"COM2");
  EXPECT_FALSE(SendMessageW(c, CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_FALSE(IsWindowVisible(info.hwndList));
  std::vector<int> cbn;
  for (int code : Codes(parent_, 50)) {
    if (code != CBN_EDITCHANGE && code != CBN_EDITUPDATE) cbn.push_back(code);
  }
  EXPECT_EQ(cbn, (std::vector<int>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
  EXPECT_EQ(cursorAtSelChange, 1);
  EXPECT_EQ(textAtSelChange, u"") << "the edit part shows the choice after CBN_SELCHANGE";
  EXPECT_EQ(GetFocus(), info.hwndItem);
}

TEST_F(Headless, ControlsAskTheirParentForColours) {
  HWND b = Child(u"Button", BS_PUSHBUTTON, 11, 10, 10, 80, 24, u"Go");
  HWND s = Child(u"Static", SS_LEFT, 12, 10, 40, 80, 20, u"Label");
  HWND e = Child(u"Edit", 0, 13, 10, 70, 80, 20);
  HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
  CurrentOverride() = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (h == parent_.get() && (m == WM_CTLCOLORBTN || m == WM_CTLCOLORSTATIC || m == WM_CTLCOLOREDIT)) {
      return reinterpret_cast<LRESULT>(brush);
    }
    return std::nullopt;
  };
  hl::ClearDrawLog();
  UpdateWindow(parent_);
  EXPECT_EQ(Log().Count(WM_CTLCOLORBTN, parent_), 1);
  EXPECT_EQ(Log().Count(WM_CTLCOLORSTATIC, parent_), 1);
  EXPECT_EQ(Log().Count(WM_CTLCOLOREDIT, parent_), 1);
  for (HWND h : {b, s, e}) {
    const auto calls = hl::DrawLog(h);
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().op, hl::DrawOp::FillRect);
    EXPECT_EQ(calls.front().color, RGB(10, 20, 30));
  }
  bool label = false;
  for (const auto& c : hl::DrawLog(s)) label = label || (c.op == hl::DrawOp::DrawText && c.text == u"Label");
  EXPECT_TRUE(label);
  // Painted once: nothing left to paint.
  Log().Clear();
  EXPECT_EQ(hl::Pump(), 0);
  parent_.Reset();
  DeleteObject(brush);
}

TEST_F(Headless, ProgressBarPaintsItsColours) {
  HWND p = Child(PROGRESS_CLASSW, 0, 60, 10, 10, 100, 10);
  SendMessageW(p, PBM_SETRANGE32, 0, 4);
  SendMessageW(p, PBM_SETPOS, 1, 0);
  SendMessageW(p, PBM_SETBARCOLOR, 0, RGB(0, 200, 0));
  SendMessageW(p, CCM_SETBKCOLOR, 0, RGB(50, 50, 50));
  hl::ClearDrawLog();
  UpdateWindow(p);
  const auto calls = hl::DrawLog(p);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].color, RGB(50, 50, 50));
  EXPECT_EQ(calls[1].color, RGB(0, 200, 0));
  EXPECT_EQ(calls[1].rect.right - calls[1].rect.left, 25);
}

TEST_F(Headless, PaintingAndTheUpdateRegion) {
  RECT none{5, 5, 5, 5};
  EXPECT_FALSE(GetUpdateRect(parent_, &none, FALSE));
  EXPECT_TRUE(none.left == 0 && none.top == 0 && none.right == 0 && none.bottom == 0);
  RECT r{1, 2, 3, 4};
  InvalidateRect(parent_, &r, FALSE);
  RECT more{10, 10, 20, 30};
  InvalidateRect(parent_, &more, TRUE);
  RECT u;
  EXPECT_TRUE(GetUpdateRect(parent_, &u, FALSE));
  EXPECT_EQ(u.left, 1);
  EXPECT_EQ(u.top, 2);
  EXPECT_EQ(u.right, 20);
  EXPECT_EQ(u.bottom, 30);
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetUpdateRgn(parent_, rgn, FALSE), SIMPLEREGION);
  RECT box;
  GetRgnBox(rgn, &box);
  EXPECT_EQ(box.right, 20);
  DeleteObject(rgn);
  Log().Clear();
  hl::ClearDrawLog();
  hl::Pump();
  EXPECT_EQ(Log().Messages({WM_PAINT, WM_ERASEBKGND}, parent_), (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
  const auto calls = hl::DrawLog(parent_);
  ASSERT_EQ(calls.size(), 1u) << "the class brush erased the background";
  EXPECT_EQ(calls[0].color, GetSysColor(COLOR_BTNFACE));
  EXPECT_FALSE(GetUpdateRect(parent_, &u, FALSE));
}

TEST_F(Headless, SystemColourChange) {
  const COLORREF before = GetSysColor(COLOR_BTNFACE);
  HBRUSH sys = GetSysColorBrush(COLOR_BTNFACE);
  Log().Clear();
  ASSERT_TRUE(hl::ChangeSysColor(COLOR_BTNFACE, RGB(1, 2, 3)));
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(1, 2, 3));
  LOGBRUSH lb{};
  GetObjectW(sys, sizeof lb, &lb);
  EXPECT_EQ(lb.lbColor, RGB(1, 2, 3)) << "the system brush follows its colour";
  EXPECT_EQ(Log().Count(WM_SYSCOLORCHANGE, parent_), 1);
  hl::ChangeSysColor(COLOR_BTNFACE, before);
  EXPECT_TRUE(DeleteObject(sys)) << "deleting a system brush does nothing";
  EXPECT_EQ(GetObjectType(sys), static_cast<DWORD>(OBJ_BRUSH));
}

TEST_F(Headless, MemoryBitmapPixels) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 4, 4);
  HGDIOBJ old = SelectObject(mem, bmp);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT all{0, 0, 4, 4};
  FillRect(mem, &all, red);
  EXPECT_EQ(GetPixel(mem, 3, 3), RGB(255, 0, 0));
  SetPixel(mem, 0, 0, RGB(0, 0, 255));
  // A 2x2 copy stretched to 4x4 in another bitmap.
  HDC mem2 = CreateCompatibleDC(screen);
  HBITMAP big = CreateCompatibleBitmap(screen, 8, 8);
  HGDIOBJ old2 = SelectObject(mem2, big);
  EXPECT_EQ(SetStretchBltMode(mem2, HALFTONE), BLACKONWHITE);
  hl::ClearDrawLog();
  EXPECT_TRUE(StretchBlt(mem2, 0, 0, 4, 4, mem, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(mem2, 1, 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(mem2, 2, 2), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(mem2, 5, 5), RGB(0, 0, 0));
  const auto log = hl::DrawLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].op, hl::DrawOp::StretchBlt);
  EXPECT_EQ(log[0].stretchMode, HALFTONE);
  EXPECT_EQ(log[0].rect.right, 4);
  EXPECT_EQ(log[0].source.right, 2);
  // A 24-bit DIB drawn with StretchDIBits (bottom-up rows).
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = 2;
  bi.bmiHeader.biHeight = 2;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  const BYTE bits[16] = {0, 255, 0, 0, 255, 0, 0, 0, /* top row: */ 255, 255, 255, 0, 0, 0, 0, 0};
  EXPECT_EQ(StretchDIBits(mem2, 0, 0, 2, 2, 0, 0, 2, 2, bits, &bi, DIB_RGB_COLORS, SRCCOPY), 2);
  EXPECT_EQ(GetPixel(mem2, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mem2, 1, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(mem2, 0, 1), RGB(0, 255, 0));
  // A selected object cannot be deleted; stock objects can always be "deleted".
  EXPECT_FALSE(DeleteObject(big));
  EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(SelectObject(mem2, old2), big);
  EXPECT_TRUE(DeleteObject(big));
  SelectObject(mem, old);
  DeleteDC(mem2);
  DeleteDC(mem);
  DeleteObject(bmp);
  DeleteObject(red);
  ReleaseDC(nullptr, screen);
}

TEST_F(Headless, PalettedDibSection) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } bi{};
  bi.header.biSize = sizeof bi.header;
  bi.header.biWidth = 3;
  bi.header.biHeight = -2;  // top-down
  bi.header.biPlanes = 1;
  bi.header.biBitCount = 8;
  bi.header.biClrUsed = 2;
  bi.colours[0] = RGBQUAD{0, 0, 0, 0};
  bi.colours[1] = RGBQUAD{255, 0, 0, 0};  // blue
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_TRUE(section);
  ASSERT_TRUE(bits);
  static_cast<BYTE*>(bits)[1] = 1;  // row 0, pixel 1
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, section);
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
  HBRUSH navy = CreateSolidBrush(RGB(0, 0, 200));
  RECT r{0, 1, 3, 2};
  FillRect(dc, &r, navy);
  EXPECT_EQ(static_cast<BYTE*>(bits)[4 + 2], 1) << "the nearest colour of the table";
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(navy);
  DeleteObject(section);
}

TEST_F(Headless, ProgramResourcesAndSystemImages) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  HBITMAP bmp = LoadBitmapW(self, u"BITMAP0");
  ASSERT_TRUE(bmp);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_GT(bm.bmWidth, 0);
  EXPECT_GT(bm.bmHeight, 0);
  EXPECT_TRUE(DeleteObject(bmp));
  EXPECT_EQ(LoadBitmapW(self, u"NOSUCHBITMAP"), nullptr);
  HICON icon = LoadIconW(self, u"ZOKA");
  ASSERT_TRUE(icon);
  EXPECT_EQ(LoadIconW(self, u"zoka"), icon) << "LoadIcon shares";
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_EQ(LoadIconW(self, u"ZOKA"), icon) << "a shared icon outlives DestroyIcon";
  EXPECT_TRUE(LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_TRUE(LoadIconW(nullptr, IDI_APPLICATION));
  EXPECT_EQ(LoadIconW(nullptr, u"ZOKA"), nullptr);
}

TEST_F(Headless, ModulesAndVersion) {
  const int modules = hl::GetCounts().modules;
  HMODULE cc = LoadLibraryW(u"comctl32.dll");
  ASSERT_TRUE(cc);
  EXPECT_EQ(hl::GetCounts().modules, modules + 1);
  auto init = reinterpret_cast<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(
      reinterpret_cast<void (*)()>(GetProcAddress(cc, "InitCommonControlsEx")));
  ASSERT_TRUE(init);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  EXPECT_TRUE(init(&icc));
  EXPECT_EQ(GetProcAddress(cc, "NoSuchEntry"), nullptr);
  EXPECT_TRUE(FreeLibrary(cc));
  EXPECT_FALSE(FreeLibrary(cc)) << "references are counted";
  EXPECT_EQ(hl::GetCounts().modules, modules);
  EXPECT_EQ(LoadLibraryW(u"nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  auto rtl = reinterpret_cast<NTSTATUS(WINAPI*)(PRTL_OSVERSIONINFOW)>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(u"ntdll.dll"), "RtlGetVersion")));
  ASSERT_TRUE(rtl);
  RTL_OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  EXPECT_EQ(rtl(&v), STATUS_SUCCESS);
  EXPECT_EQ(v.dwMajorVersion, 10u);
}

TEST_F(Headless, SystemMenu) {
  HMENU m = GetSystemMenu(parent_, FALSE);
  ASSERT_TRUE(m);
  EXPECT_EQ(EnableMenuItem(m, SC_CLOSE, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
  EXPECT_EQ(GetMenuState(m, SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  EXPECT_NE(GetMenuState(m, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_TRUE(DeleteMenu(m, SC_MAXIMIZE, MF_BYCOMMAND));
  EXPECT_EQ(GetMenuState(m, SC_MAXIMIZE, MF_BYCOMMAND), static_cast<UINT>(-1));
  EXPECT_FALSE(DeleteMenu(m, SC_MAXIMIZE, MF_BYCOMMAND)) << "deleted already";
}

TEST_F(Headless, LeakAccountingReturnsToWhereItWas) {
  const hl::Counts before = hl::GetCounts();
  {
    TestClass extra(u"HeadlessLeakTest");
    EXPECT_EQ(hl::GetCounts().classes, before.classes + 1);
    HWND w = MakeWindow(u"HeadlessLeakTest", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND combo = MakeWindow(u"ComboBox", WS_CHILD | WS_VISIBLE | CBS_DROPDOWN, w, 1);
    SetPropW(w, u"a", reinterpret_cast<HANDLE>(1));
    SetPropW(combo, u"b", reinterpret_cast<HANDLE>(2));
    HBRUSH brush = CreateSolidBrush(RGB(1, 1, 1));
    HDC dc = GetDC(w);
    const hl::Counts during = hl::GetCounts();
    EXPECT_EQ(during.windows, before.windows + 4) << "window, combo box, its edit and its list";
    EXPECT_EQ(during.props, before.props + 2);
    EXPECT_EQ(during.brushes, before.brushes + 1);
    EXPECT_EQ(during.dcs, before.dcs + 1);
    ReleaseDC(w, dc);
    DeleteObject(brush);
    DestroyWindow(w);
    hl::Pump();
  }
  const hl::Counts after = hl::GetCounts();
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(after.classes, before.classes);
  EXPECT_EQ(after.props, before.props);
  EXPECT_EQ(after.gdiObjects(), before.gdiObjects());
  EXPECT_EQ(after.dcs, before.dcs);
  EXPECT_EQ(after.menus, before.menus);
}

TEST_F(Headless, InputStaysQueuedWhileSentMessagesAreServed) {
  std::atomic<int> served{0};
  CurrentOverride() = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_APP + 9) ++served;
    return std::nullopt;
  };
  hl::Click(parent_, 10, 10);
  std::thread sender([&] { SendMessageW(parent_, WM_APP + 9, 0, 0); });
  while (served.load() == 0) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_SENDMESSAGE);
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE | PM_QS_SENDMESSAGE);
  }
  sender.join();
  EXPECT_EQ(Log().Count(WM_LBUTTONDOWN, parent_), 0) << "the click waits in the queue";
  hl::Pump();
  EXPECT_EQ(Log().Count(WM_LBUTTONDOWN, parent_), 1);
  EXPECT_EQ(Log().Count(WM_LBUTTONUP, parent_), 1);
}

// Win32 hides the windows an owner owns while it is minimised (wine without a window
// manager does not, so this is checked here only).
TEST_F(Headless, MinimizeHidesOwnedPopupsWithParentClosing) {
  Window owner(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
  Window popup(MakeWindow(cls_.name(), WS_POPUP | WS_VISIBLE, owner));
  ASSERT_EQ(GetWindow(popup, GW_OWNER), owner.get());
  Log().Clear();
  ShowWindow(owner, SW_MINIMIZE);
  PumpAll();
  EXPECT_TRUE(IsIconic(owner));
  bool closing = false;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == popup.get() && e.msg == WM_SHOWWINDOW && e.lParam == SW_PARENTCLOSING) closing = e.wParam == FALSE;
  }
  EXPECT_TRUE(closing);
  EXPECT_FALSE(IsWindowVisible(popup));
  Log().Clear();
  ShowWindow(owner, SW_RESTORE);
  PumpAll();
  EXPECT_FALSE(IsIconic(owner));
  bool opening = false;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == popup.get() && e.msg == WM_SHOWWINDOW && e.lParam == SW_PARENTOPENING) opening = e.wParam == TRUE;
  }
  EXPECT_TRUE(opening);
  EXPECT_TRUE(IsWindowVisible(popup));
}

TEST_F(Headless, BadInputFailsWithoutHarm) {
  HWND bogus = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1234));
  SetLastError(0);
  EXPECT_EQ(SendMessageW(bogus, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_FALSE(PostMessageW(bogus, WM_USER, 0, 0));
  EXPECT_FALSE(DestroyWindow(bogus));
  EXPECT_FALSE(GetClientRect(parent_, nullptr));
  EXPECT_EQ(DispatchMessageW(nullptr), 0);
  EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(bogus), GetStockObject(BLACK_PEN)), nullptr);
  EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(bogus)));
  HANDLE bogusEvent = reinterpret_cast<HANDLE>(bogus);
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &bogusEvent, FALSE, 0, 0), WAIT_FAILED);
  HDC dc = GetDC(parent_);
  EXPECT_EQ(CreateCompatibleBitmap(dc, 100000, 100000), nullptr);
  RECT r{0, 0, 10, 10};
  EXPECT_EQ(DrawTextW(dc, nullptr, -1, &r, 0), 0);
  EXPECT_EQ(FillRect(dc, &r, reinterpret_cast<HBRUSH>(bogus)), 0);
  ReleaseDC(parent_, dc);
  HWND c = Child(u"ComboBox", CBS_DROPDOWNLIST, 5, 0, 0, 100, 100);
  SendMessageW(c, CB_ADDSTRING, 0, 0);
  EXPECT_EQ(SendMessageW(c, CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(c, CB_GETLBTEXT, 0, 0), 0);
  HWND e = Child(u"Edit", 0, 6);
  EXPECT_EQ(SendMessageW(e, EM_GETLINE, 0, 0), 0);
  SendMessageW(e, WM_SETTEXT, 0, 0);
  EXPECT_EQ(GetWindowTextLengthW(e), 0);
  HWND tip = MakeWindow(TOOLTIPS_CLASSW, WS_POPUP, parent_);
  EXPECT_FALSE(SendMessageW(tip, TTM_ADDTOOLW, 0, 0));
  EXPECT_EQ(hl::TooltipToolCount(tip), 0);
  EXPECT_EQ(hl::TooltipToolCount(parent_), -1);
  DestroyWindow(tip);
}

TEST_F(Headless, WindowsOfAnEndingThreadAreDestroyed) {
  const int before = hl::GetCounts().windows;
  HWND left = nullptr;
  std::thread t([&] { left = MakeWindow(cls_.name(), WS_POPUP); });
  t.join();
  ASSERT_NE(left, nullptr);
  EXPECT_FALSE(IsWindow(left));
  EXPECT_EQ(hl::GetCounts().windows, before);
  EXPECT_EQ(Log().Count(WM_NCDESTROY, left), 0) << "freed without messages, as Win32 does";
  // Sending to a window of a thread that has ended fails at once.
  EXPECT_EQ(SendMessageW(left, WM_USER, 0, 0), 0);
}

}  // namespace
