// Window system: message order of creation and destruction, SetWindowPos and ShowWindow,
// subclassing, properties, focus and enabling, the posted-message order. Runs natively
// against the headless system and under wine against the real one, with the same
// expectations.
#include <gtest/gtest.h>

#include "tests/headless_win32/winsys_test_support.h"

namespace {

using namespace zorv::wintest;

class WinsysMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    ZORV_NEED_WINDOWS();
    Log().Clear();
    CurrentOverride() = nullptr;
  }
  void TearDown() override {
    CurrentOverride() = nullptr;
    PumpAll();
  }
  TestClass cls_{ZORV_W("WinsysMessagesTest")};
};

const std::vector<UINT> kLifeMessages = {
    WM_GETMINMAXINFO, WM_NCCREATE,   WM_NCCALCSIZE,     WM_CREATE,           WM_SIZE,
    WM_MOVE,          WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_DESTROY,
    WM_NCDESTROY,     WM_PARENTNOTIFY};

TEST_F(WinsysMessages, TopLevelCreationOrder) {
  Window w(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW));
  ASSERT_TRUE(w.get());
  EXPECT_EQ(Log().Messages(kLifeMessages, w),
            (std::vector<UINT>{WM_GETMINMAXINFO, WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}));
  // The first message comes before WM_NCCREATE: a window procedure must cope with it.
  EXPECT_EQ(Log().Entries().front().msg, static_cast<UINT>(WM_GETMINMAXINFO));
  // An overlapped window gets its size messages when it is first shown.
  Log().Clear();
  ShowWindow(w, SW_SHOWNA);
  EXPECT_EQ(Log().Messages(kLifeMessages, w),
            (std::vector<UINT>{WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE}));
  Log().Clear();
  ShowWindow(w, SW_HIDE);
  ShowWindow(w, SW_SHOWNA);
  EXPECT_EQ(Log().Count(WM_SIZE, w), 0) << "only the first time";
}

TEST_F(WinsysMessages, VisibleChildCreationOrderAndStyleDuringCreate) {
  Window parent(MakeWindow(cls_.name(), WS_POPUP | WS_VISIBLE));
  ASSERT_TRUE(parent.get());
  LONG styleInCreate = 0;
  CurrentOverride() = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_CREATE && h != parent.get()) styleInCreate = GetWindowLongW(h, GWL_STYLE);
    return std::nullopt;
  };
  Log().Clear();
  Window child(MakeWindow(cls_.name(), WS_CHILD | WS_VISIBLE, parent, 7));
  ASSERT_TRUE(child.get());
  EXPECT_EQ(Log().Messages(kLifeMessages, child),
            (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW,
                               WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED}));
  EXPECT_EQ(styleInCreate & WS_VISIBLE, 0) << "WS_VISIBLE is set by the showing after WM_CREATE";
  EXPECT_TRUE(GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE);
  EXPECT_EQ(GetDlgCtrlID(child), 7);
  // The parent hears of it, with the child's id.
  bool notified = false;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == parent.get() && e.msg == WM_PARENTNOTIFY && LOWORD(e.wParam) == WM_CREATE) {
      notified = HIWORD(e.wParam) == 7 && reinterpret_cast<HWND>(e.lParam) == child.get();
    }
  }
  EXPECT_TRUE(notified);
  // Under a hidden parent, showing only sets the style.
  Window hidden(MakeWindow(cls_.name(), WS_POPUP));
  Log().Clear();
  Window under(MakeWindow(cls_.name(), WS_CHILD | WS_VISIBLE, hidden, 8));
  EXPECT_EQ(Log().Messages(kLifeMessages, under),
            (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}));
  EXPECT_TRUE(GetWindowLongW(under, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(WinsysMessages, DestroyOrderParentFirstThenChildrenFirst) {
  HWND parent = MakeWindow(cls_.name(), WS_POPUP);
  HWND child = MakeWindow(cls_.name(), WS_CHILD, parent, 1);
  HWND grandchild = MakeWindow(cls_.name(), WS_CHILD, child, 2);
  ASSERT_TRUE(parent && child && grandchild);
  Log().Clear();
  ASSERT_TRUE(DestroyWindow(parent));
  const auto pairs = Log().Pairs({WM_DESTROY, WM_NCDESTROY});
  const std::vector<std::pair<HWND, UINT>> expected = {
      {parent, WM_DESTROY},       {child, WM_DESTROY},    {grandchild, WM_DESTROY},
      {grandchild, WM_NCDESTROY}, {child, WM_NCDESTROY}, {parent, WM_NCDESTROY}};
  EXPECT_EQ(pairs, expected);
  EXPECT_FALSE(IsWindow(parent));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(IsWindow(grandchild));
}

TEST_F(WinsysMessages, CreationFailsWhenNcCreateOrCreateRefuse) {
  CurrentOverride() = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_NCCREATE) return FALSE;
    return std::nullopt;
  };
  EXPECT_EQ(MakeWindow(cls_.name(), WS_POPUP), nullptr);
  EXPECT_EQ(Log().Count(WM_CREATE), 0);

  Log().Clear();
  HWND created = nullptr;
  CurrentOverride() = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_CREATE) {
      created = h;
      return -1;
    }
    return std::nullopt;
  };
  EXPECT_EQ(MakeWindow(cls_.name(), WS_POPUP), nullptr);
  ASSERT_NE(created, nullptr);
  EXPECT_FALSE(IsWindow(created));
  EXPECT_EQ(Log().Count(WM_NCDESTROY, created), 1);
}

TEST_F(WinsysMessages, ChildNeedsParentAndClassMustExist) {
  SetLastError(0);
  EXPECT_EQ(MakeWindow(cls_.name(), WS_CHILD), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TLW_WITH_WSCHILD));
  SetLastError(0);
  EXPECT_EQ(MakeWindow(ZORV_W("NoSuchClassAnywhere"), WS_POPUP), nullptr);
  // Win32 documents ERROR_CANNOT_FIND_WND_CLASS; wine answers ERROR_CLASS_DOES_NOT_EXIST.
  const DWORD error = GetLastError();
  EXPECT_EQ(error, static_cast<DWORD>(UnderWine() ? ERROR_CLASS_DOES_NOT_EXIST : ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(WinsysMessages, WindowPosChangingMayChangeThePlace) {
  Window parent(MakeWindow(cls_.name(), WS_POPUP, nullptr, 0, 0, 0, 400, 300));
  Window child(MakeWindow(cls_.name(), WS_CHILD, parent, 1, 5, 5, 50, 40));
  CurrentOverride() = [&](HWND h, UINT m, WPARAM, LPARAM lp) -> std::optional<LRESULT> {
    if (m == WM_WINDOWPOSCHANGING && h == child.get()) {
      auto* wp = reinterpret_cast<WINDOWPOS*>(lp);
      wp->cx = 77;  // the receiver insists on its width
    }
    return std::nullopt;
  };
  Log().Clear();
  ASSERT_TRUE(MoveWindow(child, 20, 30, 60, 45, TRUE));
  RECT r;
  GetWindowRect(child, &r);
  POINT origin{0, 0};
  ClientToScreen(parent, &origin);
  EXPECT_EQ(r.left - origin.x, 20);
  EXPECT_EQ(r.top - origin.y, 30);
  EXPECT_EQ(r.right - r.left, 77);
  EXPECT_EQ(r.bottom - r.top, 45);
  EXPECT_EQ(Log().Messages({WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}, child),
            (std::vector<UINT>{WM_WINDOWPOSCHANGING, WM_NCCALCSIZE, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
  // Nothing to change: no WM_WINDOWPOSCHANGED, no WM_SIZE.
  Log().Clear();
  CurrentOverride() = nullptr;
  ASSERT_TRUE(SetWindowPos(child, nullptr, 20, 30, 77, 45, SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(Log().Count(WM_WINDOWPOSCHANGED, child), 0);
  EXPECT_EQ(Log().Count(WM_SIZE, child), 0);
  // A frame change alone recalculates the client area.
  Log().Clear();
  ASSERT_TRUE(SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED));
  EXPECT_EQ(Log().Count(WM_NCCALCSIZE, child), 1);
  EXPECT_EQ(Log().Count(WM_WINDOWPOSCHANGED, child), 1);
}

TEST_F(WinsysMessages, ShowWindowAndVisibilityOfAncestors) {
  Window parent(MakeWindow(cls_.name(), WS_POPUP));
  Window child(MakeWindow(cls_.name(), WS_CHILD | WS_VISIBLE, parent, 1));
  EXPECT_FALSE(IsWindowVisible(child)) << "the parent is hidden";
  Log().Clear();
  EXPECT_FALSE(ShowWindow(parent, SW_SHOWNA));
  EXPECT_TRUE(IsWindowVisible(child));
  EXPECT_EQ(Log().Count(WM_SHOWWINDOW, parent), 1);
  Log().Clear();
  EXPECT_TRUE(ShowWindow(child, SW_HIDE));
  EXPECT_FALSE(IsWindowVisible(child));
  EXPECT_FALSE(ShowWindow(child, SW_HIDE)) << "it was hidden already";
  EXPECT_EQ(Log().Count(WM_SHOWWINDOW, child), 1);
  bool hideFlag = false;
  for (const auto& e : Log().Entries()) {
    if (e.hwnd == child.get() && e.msg == WM_SHOWWINDOW) hideFlag = e.wParam == FALSE && e.lParam == 0;
  }
  EXPECT_TRUE(hideFlag);
}

struct SubclassState {
  static inline WNDPROC original = nullptr;
  static inline int seen = 0;
};

LRESULT CALLBACK Subclass(HWND h, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 5) {
    ++SubclassState::seen;
    return 42 + CallWindowProcW(SubclassState::original, h, m, wp, lp);
  }
  return CallWindowProcW(SubclassState::original, h, m, wp, lp);
}

TEST_F(WinsysMessages, SubclassingThroughTheWindowProcedure) {
  Window w(MakeWindow(cls_.name(), WS_POPUP));
  CurrentOverride() = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_USER + 5) return 100;
    return std::nullopt;
  };
  SubclassState::seen = 0;
  SubclassState::original = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass)));
  EXPECT_EQ(SubclassState::original, &LoggingProc);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC)), &Subclass);
  EXPECT_EQ(SendMessageW(w, WM_USER + 5, 0, 0), 142);
  EXPECT_EQ(SubclassState::seen, 1);
  // Restored, the original answers alone.
  SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassState::original));
  EXPECT_EQ(SendMessageW(w, WM_USER + 5, 0, 0), 100);
  // The class procedure of a system class is callable through CallWindowProcW.
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  ASSERT_TRUE(GetClassInfoExW(nullptr, ZORV_W("BUTTON"), &wc));
  Window button(MakeWindow(ZORV_W("Button"), WS_CHILD, w, 3));
  CallWindowProcW(wc.lpfnWndProc, button, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(ZORV_W("via class")));
  EXPECT_EQ(Text(button), u"via class");
}

TEST_F(WinsysMessages, PropertiesAndLongs) {
  Window w(MakeWindow(cls_.name(), WS_POPUP));
  int a = 0, b = 0;
  EXPECT_TRUE(SetPropW(w, ZORV_W("Zorv.Object"), &a));
  EXPECT_EQ(GetPropW(w, ZORV_W("zorv.object")), &a) << "property names ignore case";
  EXPECT_TRUE(SetPropW(w, ZORV_W("Zorv.Object"), &b));
  EXPECT_EQ(GetPropW(w, ZORV_W("Zorv.Object")), &b);
  EXPECT_EQ(RemovePropW(w, ZORV_W("Zorv.Object")), &b);
  EXPECT_EQ(GetPropW(w, ZORV_W("Zorv.Object")), nullptr);
  EXPECT_EQ(RemovePropW(w, ZORV_W("Zorv.Object")), nullptr);

  EXPECT_EQ(SetWindowLongPtrW(w, GWLP_USERDATA, 1234), 0);
  EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 1234);
  EXPECT_EQ(SetWindowLongPtrW(w, 0, 99), 0) << "class extra bytes";
  EXPECT_EQ(GetWindowLongPtrW(w, 0), 99);
  SetLastError(0);
  EXPECT_EQ(GetWindowLongPtrW(w, 64), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  // The 32-bit calls reach four of the extra bytes: the last four too, and only those.
  const int last = static_cast<int>(sizeof(LONG_PTR)) - 4;
  SetLastError(0);
  SetWindowLongW(w, last, -7);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(GetWindowLongW(w, last), -7);
  if (last > 0) {
    EXPECT_EQ(GetWindowLongW(w, 0), 99) << "the bytes before stay";
    SetWindowLongW(w, 0, -1);
    EXPECT_EQ(GetWindowLongW(w, last), -7) << "the bytes after stay";
  }
  SetLastError(0);
  EXPECT_EQ(GetWindowLongW(w, last + 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  Log().Clear();
  const LONG old = GetWindowLongW(w, GWL_STYLE);
  SetWindowLongW(w, GWL_STYLE, old | WS_BORDER);
  EXPECT_EQ(Log().Messages({WM_STYLECHANGING, WM_STYLECHANGED}, w),
            (std::vector<UINT>{WM_STYLECHANGING, WM_STYLECHANGED}));
  EXPECT_TRUE(GetWindowLongW(w, GWL_STYLE) & WS_BORDER);
}

TEST_F(WinsysMessages, TextThroughMessages) {
  Window w(MakeWindow(cls_.name(), WS_POPUP, nullptr, 0, 0, 0, 10, 10, 0, ZORV_W("first")));
  EXPECT_EQ(Text(w), u"first");
  EXPECT_EQ(GetWindowTextLengthW(w), 5);
  Log().Clear();
  EXPECT_TRUE(SetWindowTextW(w, ZORV_W("second")));
  EXPECT_EQ(Log().Count(WM_SETTEXT, w), 1);
  WCHAR small[4];
  EXPECT_EQ(GetWindowTextW(w, small, 4), 3);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(small)), u"sec");
}

TEST_F(WinsysMessages, FocusMessagesAndDisabling) {
  Window top(MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
  Window a(MakeWindow(cls_.name(), WS_CHILD | WS_VISIBLE, top, 1));
  Window b(MakeWindow(cls_.name(), WS_CHILD | WS_VISIBLE, top, 2));
  SetFocus(a);
  ASSERT_EQ(GetFocus(), a.get());
  Log().Clear();
  EXPECT_EQ(SetFocus(b), a.get());
  ASSERT_EQ(GetFocus(), b.get());
  const auto focus = Log().Pairs({WM_KILLFOCUS, WM_SETFOCUS});
  ASSERT_EQ(focus.size(), 2u);
  EXPECT_EQ(focus[0], (std::pair<HWND, UINT>{a, WM_KILLFOCUS}));
  EXPECT_EQ(focus[1], (std::pair<HWND, UINT>{b, WM_SETFOCUS}));
  for (const auto& e : Log().Entries()) {
    if (e.msg == WM_KILLFOCUS) {
      EXPECT_EQ(reinterpret_cast<HWND>(e.wParam), b.get());
    }
    if (e.msg == WM_SETFOCUS) {
      EXPECT_EQ(reinterpret_cast<HWND>(e.wParam), a.get());
    }
  }
  // Disabling the focus window takes the focus away; EnableWindow answers the old state.
  Log().Clear();
  EXPECT_FALSE(EnableWindow(b, FALSE));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(Log().Count(WM_KILLFOCUS, b), 1);
  EXPECT_EQ(Log().Count(WM_ENABLE, b), 1);
  EXPECT_TRUE(EnableWindow(b, FALSE)) << "was disabled already";
  EXPECT_EQ(Log().Count(WM_ENABLE, b), 1) << "no change, no message";
  EXPECT_EQ(SetFocus(b), nullptr) << "a disabled window takes no focus";
  EXPECT_TRUE(EnableWindow(b, TRUE));
  EXPECT_FALSE(EnableWindow(b, TRUE));
  EXPECT_EQ(Log().Count(WM_ENABLE, b), 2);
}

TEST_F(WinsysMessages, PostedMessagesKeepOrderPaintAndQuitComeLast) {
  Window w(MakeWindow(cls_.name(), WS_POPUP | WS_VISIBLE, nullptr, 0, 0, 0, 50, 50));
  PumpAll();
  InvalidateRect(w, nullptr, TRUE);
  PostQuitMessage(3);
  for (int i = 0; i < 5; ++i) PostMessageW(w, WM_USER + i, i, 0);
  std::vector<UINT> seen;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    seen.push_back(msg.message);
    DispatchMessageW(&msg);
  }
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_EQ(seen, (std::vector<UINT>{WM_USER, WM_USER + 1, WM_USER + 2, WM_USER + 3, WM_USER + 4}));
  // The quit came before the paint; the paint is still due.
  EXPECT_TRUE(GetUpdateRect(w, nullptr, FALSE));
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageW(&msg);
  EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE)) << "DefWindowProcW validated";
}

TEST_F(WinsysMessages, PeekFiltersAndNoRemove) {
  Window w(MakeWindow(cls_.name(), WS_POPUP));
  PumpAll();
  PostMessageW(w, WM_USER + 1, 0, 0);
  PostMessageW(w, WM_APP + 1, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), WM_APP + 2, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_APP, WM_APP + 10, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 1));
  ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 2)) << "hwnd -1: thread messages only";
  EXPECT_EQ(msg.hwnd, nullptr);
  ASSERT_TRUE(PeekMessageW(&msg, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  ASSERT_TRUE(PeekMessageW(&msg, w, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 1));
  EXPECT_FALSE(PeekMessageW(&msg, w, 0, 0, PM_REMOVE));
}

TEST_F(WinsysMessages, TimersComeThroughTheQueue) {
  Window w(MakeWindow(cls_.name(), WS_POPUP));
  PumpAll();
  EXPECT_EQ(SetTimer(w, 5, 20, nullptr), 5u);
  MSG msg;
  int ticks = 0;
  const DWORD start = GetTickCount();
  while (ticks < 2 && GetTickCount() - start < 20000) {
    ASSERT_GT(GetMessageW(&msg, nullptr, 0, 0), 0);
    if (msg.message == WM_TIMER) {
      EXPECT_EQ(msg.hwnd, w.get());
      EXPECT_EQ(msg.wParam, 5u);
      ++ticks;
    }
    DispatchMessageW(&msg);
  }
  EXPECT_EQ(ticks, 2);
  EXPECT_TRUE(KillTimer(w, 5));
  EXPECT_FALSE(KillTimer(w, 5));
  Sleep(40);
  EXPECT_FALSE(PeekMessageW(&msg, w, WM_TIMER, WM_TIMER, PM_REMOVE)) << "no tick after KillTimer";
}

TEST_F(WinsysMessages, CloseDestroysThroughDefWindowProc) {
  HWND w = MakeWindow(cls_.name(), WS_OVERLAPPEDWINDOW);
  SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(w));
  EXPECT_EQ(Log().Messages({WM_CLOSE, WM_DESTROY, WM_NCDESTROY}, w),
            (std::vector<UINT>{WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(WinsysMessages, TreeQueries) {
  Window parent(MakeWindow(cls_.name(), WS_POPUP));
  HWND first = MakeWindow(cls_.name(), WS_CHILD, parent, 1);
  HWND second = MakeWindow(cls_.name(), WS_CHILD, parent, 2);
  EXPECT_EQ(GetWindow(parent, GW_CHILD), first) << "children are created at the bottom";
  EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
  EXPECT_EQ(GetWindow(second, GW_HWNDPREV), first);
  EXPECT_EQ(GetParent(second), parent.get());
  EXPECT_EQ(GetAncestor(second, GA_ROOT), parent.get());
  EXPECT_EQ(GetAncestor(parent, GA_PARENT), GetDesktopWindow());
  EXPECT_TRUE(IsChild(parent, second));
  EXPECT_EQ(FindWindowExW(parent, nullptr, cls_.name(), nullptr), first);
  EXPECT_EQ(FindWindowExW(parent, first, cls_.name(), nullptr), second);
  int n = 0;
  EnumChildWindows(
      parent, [](HWND, LPARAM lp) -> BOOL { ++*reinterpret_cast<int*>(lp); return TRUE; }, reinterpret_cast<LPARAM>(&n));
  EXPECT_EQ(n, 2);
  WCHAR name[64];
  EXPECT_EQ(GetClassNameW(first, name, 64), 18);
  EXPECT_EQ(GetWindowThreadProcessId(first, nullptr), GetCurrentThreadId());
}

}  // namespace
