// The form element: the application window kept in step, the window kinds, the taskbar
// button, Init and Run (visibility, events on, start hooks), closing with and without
// CloseLock, events before Run and after onClose, and dragging by the client area.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "tests/window_elements/elements_support.h"
#include "window_elements/kvButton.h"

namespace {

using namespace zorv::test;

using Form = FormFixture;

TEST_F(Form, ApplicationWindowKeptInStep) {
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), ToWide("ZOKA").c_str());
  ASSERT_TRUE(icon);
  form->SetIcon(icon);
  form->SetCaption(Cp(u"Заголовок"));
  EXPECT_EQ(Applet->Icon, icon);
  EXPECT_EQ(form->Control()->Icon, icon);
  Start();
  EXPECT_EQ(TextOf(FormWnd()), Cp(u"Заголовок"));
  EXPECT_EQ(TextOf(Applet->Handle), Cp(u"Заголовок"));
  RECT app0 = ScreenRect(Applet->Handle);
  // Moving and resizing the form takes the application window along: its corner, its width.
  SetWindowPos(FormWnd(), nullptr, 150, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Pump();
  RECT app = ScreenRect(Applet->Handle);
  EXPECT_EQ(app.left, 150);
  EXPECT_EQ(app.top, 130);
  SetWindowPos(FormWnd(), nullptr, 0, 0, 500, 260, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Pump();
  app = ScreenRect(Applet->Handle);
  EXPECT_EQ(app.right - app.left, 500);
  EXPECT_EQ(app.bottom - app.top, app0.bottom - app0.top) << "the height stays the application window's";
  EXPECT_EQ(app.left, 150);
}

TEST_F(Form, EachBorderStyleGivesItsKindOfWindow) {
  struct Kind {
    int value;
    bool caption, sizing, minimizeBox, maximizeBox, toolWindow;
  };
  const Kind kinds[] = {
      {0, false, false, false, false, false}, {1, true, false, true, false, false},
      {2, true, true, true, true, false},     {3, true, false, false, false, false},
      {4, true, false, false, false, true},   {5, true, true, false, false, true},
      {6, false, false, false, false, false}, {7, false, true, false, false, true},
      {8, false, false, false, false, false}, {9, false, true, false, false, false},
  };
  Start();
  HWND w = FormWnd();
  auto hit = [w](int x, int y) { return SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.value);
    form->SetBorderStyle(k.value);
    Pump();
    const RECT outer = ScreenRect(w);
    RECT client{};
    GetClientRect(w, &client);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    const int midX = origin.x + client.right / 2, midY = origin.y + client.bottom / 2;
    // Just above the client area is the caption bar when there is one; the outermost
    // column on the left is a sizing frame when the window can be resized.
    EXPECT_EQ(hit(midX, origin.y - 3) == HTCAPTION, k.caption);
    EXPECT_EQ(hit(outer.left, midY) == HTLEFT, k.sizing);
    EXPECT_EQ(hit(midX, midY), HTCLIENT);
    const LONG style = GetWindowLongW(w, GWL_STYLE), ex = GetWindowLongW(w, GWL_EXSTYLE);
    EXPECT_EQ((style & WS_MINIMIZEBOX) != 0, k.minimizeBox);
    EXPECT_EQ((style & WS_MAXIMIZEBOX) != 0, k.maximizeBox);
    EXPECT_EQ((ex & WS_EX_TOOLWINDOW) != 0, k.toolWindow);
    EXPECT_NE(style & WS_SYSMENU, 0) << "the system menu stays";
  }
  form->SetBorderStyle(1);
  Pump();
  const LONG s = GetWindowLongW(w, GWL_STYLE);
  const RECT before = ScreenRect(w);
  form->SetBorderStyle(10);
  Pump();
  EXPECT_EQ(GetWindowLongW(w, GWL_STYLE), s) << "10 leaves the window alone";
  const RECT after = ScreenRect(w);
  EXPECT_EQ(std::tie(before.left, before.top, before.right, before.bottom),
            std::tie(after.left, after.top, after.right, after.bottom));
}

TEST_F(Form, TaskbarButton) {
  const DWORD appEx = Applet->ExStyle;
  form->SetTaskbarButton(0);
  EXPECT_EQ(Applet->ExStyle, appEx);
  form->SetTaskbarButton(1);
  EXPECT_EQ(Applet->ExStyle, static_cast<DWORD>(WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME));
  Start();
  EXPECT_NE(GetWindowLongW(Applet->Handle, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
}

TEST_F(Form, InitHoldsTheFormHiddenAndRunShowsIt) {
  form->Visible = true;
  form->Init();
  EXPECT_TRUE(form->Visible) << "the property is given back";
  EXPECT_FALSE(form->Control()->Visible);
  Applet->CreateHandle();
  Pump();
  EXPECT_FALSE(IsWindowVisible(FormWnd())) << "not shown before the program runs";
  Sink created, shown;
  bool visibleAtCreate = true, eventsAtCreate = false;
  created.react = [&](TData&, std::uint16_t) {
    visibleAtCreate = IsWindowVisible(FormWnd()) != FALSE;
    eventsAtCreate = EventsAreOn();
  };
  form->onCreate = created.Point();
  form->onShow = shown.Point();
  EXPECT_FALSE(EventsAreOn());
  form->Run();
  Pump();
  EXPECT_TRUE(EventsAreOn());
  ASSERT_EQ(created.count(), 1u);
  EXPECT_FALSE(visibleAtCreate) << "onCreate comes before the form is shown";
  EXPECT_TRUE(eventsAtCreate);
  EXPECT_TRUE(IsWindowVisible(FormWnd()));
  EXPECT_TRUE(IsWindowVisible(Applet->Handle));
  EXPECT_EQ(shown.count(), 1u);
}

TEST_F(Form, AFormFreedBeforeRunStartsNothing) {
  auto* early = New<TKvSimpleForm>();
  Sink earlyCreated, created;
  early->onCreate = earlyCreated.Point();
  Free(early);
  form->onCreate = created.Point();
  Start();
  EXPECT_EQ(earlyCreated.count(), 0u);
  EXPECT_EQ(created.count(), 1u);
}

TEST_F(Form, AHiddenFormStaysHiddenAtRun) {
  form->Visible = false;
  form->Init();
  Applet->CreateHandle();
  form->Run();
  Pump();
  EXPECT_FALSE(IsWindowVisible(FormWnd()));
  EXPECT_FALSE(IsWindowVisible(Applet->Handle));
}

TEST_F(Form, CloseLockKeepsAUserCloseButNotDoClose) {
  form->Init();
  Sink closed;
  form->onClose = closed.Point();
  Source lock = Source::Integer(1);
  form->CloseLock = lock.Point();
  Start();
  // The user (or the system) closes: lParam 0.
  PostMessageW(FormWnd(), WM_CLOSE, 0, 0);
  Pump();
  EXPECT_EQ(lock.reads, 1);
  EXPECT_EQ(closed.count(), 0u);
  EXPECT_TRUE(EventsAreOn());
  EXPECT_TRUE(IsWindowVisible(FormWnd()));
  MSG m;
  EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the loop goes on";
  // doClose is not asked about the lock at all.
  TData d;
  form->doClose(d, 0);
  Pump();
  EXPECT_EQ(lock.reads, 1);
  EXPECT_EQ(closed.count(), 1u);
  EXPECT_FALSE(EventsAreOn()) << "events are off after onClose";
  EXPECT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the loop ends";
}

TEST_F(Form, AUserCloseThatTheLockDoesNotRefuseCloses) {
  // A lock answering 0, or anything but an integer, does not keep the window.
  TearDown();
  for (TData answer : {IntData(0), StrData("1")}) {
    SCOPED_TRACE(AsString(answer));
    SetUp();
    form->Init();
    Sink closed;
    form->onClose = closed.Point();
    Source lock;
    lock.value = answer;
    form->CloseLock = lock.Point();
    Start();
    PostMessageW(FormWnd(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(lock.reads, 1);
    EXPECT_EQ(closed.count(), 1u);
    EXPECT_FALSE(EventsAreOn());
    TearDown();
  }
  SetUp();
}

TEST_F(Form, EventsBeforeRunAndAfterOnCloseReachNothing) {
  form->Init();
  auto* b = Make<TKvButton>();
  b->Width = 80;
  b->Height = 24;
  SetInteger(b->Data, 5);
  b->Init();
  Sink clicks;
  b->onClick = clicks.Point();
  Applet->CreateHandle();
  Pump();
  HWND w = b->Control()->Handle;
  ASSERT_TRUE(w);
  SendMessageW(w, BM_CLICK, 0, 0);
  Pump();
  EXPECT_EQ(clicks.count(), 0u) << "before Run";
  form->Run();
  Pump();
  SendMessageW(w, BM_CLICK, 0, 0);
  Pump();
  EXPECT_EQ(clicks.count(), 1u);
  Close();
  SendMessageW(w, BM_CLICK, 0, 0);
  Pump();
  // Nor from another thread (a reader thread firing after the close).
  std::thread([&] { FireInteger(b->onClick, 1); }).join();
  EXPECT_EQ(clicks.count(), 1u) << "after onClose";
}

TEST_F(Form, DragByTheClientArea) {
  form->DragForm = true;
  Sink downs;
  form->onMouseDown = downs.Point();
  Start();
  HWND f = FormWnd();
  const RECT before = ScreenRect(f);
#ifdef _WIN32
  // A real drag: press on an empty part of the client area, move, release.
  POINT start{60, 60};
  ClientToScreen(f, &start);
  std::atomic<bool> done{false};
  std::thread hand([&] {
    SendMouse(0, start);
    Sleep(300);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    for (int i = 1; i <= 10; ++i) {
      Sleep(40);
      SendMouse(0, POINT{start.x + 4 * i, start.y + 3 * i});
    }
    Sleep(200);
    SendMouse(MOUSEEVENTF_LEFTUP);
    Sleep(200);
    done = true;
  });
  PumpUntil([&] { return done.load(); }, 30000);
  hand.join();
  PumpFor(200);
  const RECT after = ScreenRect(f);
  EXPECT_EQ(after.left - before.left, 40);
  EXPECT_EQ(after.top - before.top, 30);
#else
  zorv::headless::Click(f, 60, 60);
  Pump();
  EXPECT_EQ(zorv::headless::DragMoveRequests(f), 1);
  (void)before;
#endif
  EXPECT_EQ(downs.integers(), std::vector<std::int32_t>{0}) << "the ordinary press handling follows";
}

TEST_F(Form, DoubleClickMoveAndEnabled) {
  Sink dbl, moved;
  form->onDblClick = dbl.Point();
  form->onMove = moved.Point();
  Start();
  moved.hits.clear();
#ifdef _WIN32
  MouseAt(FormWnd(), WM_LBUTTONDOWN, 60, 60, MK_LBUTTON);
  MouseAt(FormWnd(), WM_LBUTTONUP, 60, 60);
  MouseAt(FormWnd(), WM_LBUTTONDBLCLK, 60, 60, MK_LBUTTON);
  MouseAt(FormWnd(), WM_LBUTTONUP, 60, 60);
#else
  zorv::headless::DoubleClick(FormWnd(), 60, 60);
  Pump();
#endif
  EXPECT_EQ(dbl.integers(), std::vector<std::int32_t>{0});
  SetWindowPos(FormWnd(), nullptr, 140, 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  Pump();
  EXPECT_EQ(moved.count(), 1u);
  // The form's one input point, from another thread as a scheme event may bring it.
  std::atomic<bool> done{false};
  std::thread other([&] {
    TData off = IntData(0);
    form->doEnabled(off, 0);
    done = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
  other.join();
  EXPECT_FALSE(IsWindowEnabled(FormWnd()));
  TData on = IntData(1);
  form->doEnabled(on, 0);
  EXPECT_TRUE(IsWindowEnabled(FormWnd()));
}

#ifndef _WIN32
TEST_F(Form, NoDragWithoutDragForm) {
  form->DragForm = false;
  Start();
  zorv::headless::Click(FormWnd(), 60, 60);
  Pump();
  EXPECT_EQ(zorv::headless::DragMoveRequests(FormWnd()), 0);
}
#endif

}  // namespace
