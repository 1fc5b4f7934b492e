// The hint manager: its defaults and interface, no tooltip for an empty hint, a tooltip
// with its tool and text for a hint (this program sets none: only here does the path run),
// the tracking operations sending nothing while Tracking is false, and destruction.
#include <gtest/gtest.h>

#include "tests/window_elements/elements_support.h"
#include "window_elements/kvButton.h"
#include "window_elements/kvHintManager.h"
#include "winlib/Census.h"

namespace {

using namespace zorv::test;

using Hint = FormFixture;

// The default manager's interface, remembering the record it made. An element keeps the
// interface it was given until it is freed: this one lives as long as the program.
struct RecordingInterface {
  static inline TTooltipRecord* made = nullptr;
  THintInterface iface;
  RecordingInterface() {
    iface = DefaultHintManager()->Interface();
    iface.Create = [](void* m, HWND control) {
      made = DefaultHintManager()->Interface().Create(m, control);
      return made;
    };
  }
};

RecordingInterface& Recording() {
  static RecordingInterface rec;
  RecordingInterface::made = nullptr;
  return rec;
}

// Counts the tracking messages a tooltip window gets.
struct TrackWatch {
  static inline WNDPROC previous = nullptr;
  static inline int activate = 0, position = 0;
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == TTM_TRACKACTIVATE) ++activate;
    if (m == TTM_TRACKPOSITION) ++position;
    return CallWindowProcW(previous, w, m, wp, lp);
  }
  explicit TrackWatch(HWND tip) {
    activate = position = 0;
    previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(tip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  }
};

TEST_F(Hint, DefaultsAndTheInterface) {
  TKvHintManager* m = DefaultHintManager();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m, DefaultHintManager()) << "one default manager";
  EXPECT_EQ(m->HintColor, SysColor(COLOR_INFOBK));
  EXPECT_TRUE(m->Standard);
  EXPECT_EQ(m->InitialDelay, 500);
  EXPECT_EQ(m->AutoPopDelay, 5000);
  EXPECT_EQ(m->Margin, 0);
  EXPECT_FALSE(m->Tracking);
  EXPECT_EQ(m->HintFont.Name, "Tahoma");
  EXPECT_EQ(m->HintFont.Size, 8);
  EXPECT_EQ(m->HintFont.Style, 0);
  EXPECT_EQ(m->HintFont.CharSet, 1);
  EXPECT_EQ(m->HintFont.Color, static_cast<std::uint32_t>(SysColor(COLOR_INFOTEXT)));
  const THintInterface& i = m->Interface();
  EXPECT_EQ(i.Manager, m);
  EXPECT_TRUE(i.Create && i.Destroy && i.SetText && i.SetTitle && i.MouseEnter && i.MouseLeave && i.MouseMove);
}

TEST_F(Hint, AnEmptyHintMakesNoTooltip) {
  form->Init();
  auto* b = Make<TKvButton>();
  b->Width = 80;
  b->Height = 24;
  b->Init();
  Start();
  const auto windows = CensusHeld(TCensusKind::Window);
  RecordingInterface& rec = Recording();
  b->HookUpHint(nullptr);
  b->HookUpHint(&rec.iface);  // even with an interface given
  EXPECT_EQ(rec.made, nullptr);
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows);
#ifndef _WIN32
  EXPECT_EQ(zorv::headless::GetCounts().windows, windows);
#endif
}

TEST_F(Hint, AHintMakesATooltipWithItsToolAndText) {
  form->Init();
  auto* b = Make<TKvButton>();
  b->Left = 10;
  b->Top = 10;
  b->Width = 80;
  b->Height = 24;
  b->Hint = Cp(u"Порт устройства");
  b->Init();
  Start();
  HWND control = b->Control()->Handle;
  const auto windows = CensusHeld(TCensusKind::Window);
  const auto gdi = CensusHeld(TCensusKind::GdiObject);
  RecordingInterface& rec = Recording();
  b->HookUpHint(&rec.iface);
  ASSERT_NE(rec.made, nullptr);
  HWND tip = rec.made->Window;
  ASSERT_TRUE(IsWindow(tip));
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows + 1);
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), gdi + 1) << "its font";
  EXPECT_EQ(rec.made->Info.cbSize, sizeof(TTTOOLINFOW));
  EXPECT_EQ(rec.made->Info.uFlags, static_cast<UINT>(TTF_IDISHWND | TTF_SUBCLASS | TTF_TRANSPARENT));
  EXPECT_EQ(rec.made->Info.hwnd, control);
  EXPECT_EQ(rec.made->Info.uId, reinterpret_cast<UINT_PTR>(control));
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(tip, GWL_STYLE)) & (WS_POPUP | 0xFFu),
            static_cast<DWORD>(WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX));
  EXPECT_NE(GetWindowLongW(tip, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  // Owned by the control's window (the system makes a top-level window of it the owner).
  const HWND owner = GetWindow(tip, GW_OWNER);
  EXPECT_TRUE(owner == control || owner == GetAncestor(control, GA_ROOT));
#ifdef _WIN32
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  WCHAR buf[80] = {};
  TTTOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = control;
  ti.uId = reinterpret_cast<UINT_PTR>(control);
  ti.lpszText = buf;
  SendMessageW(tip, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&ti));
  EXPECT_EQ(FromWide(buf, std::char_traits<WCHAR>::length(buf)), Cp(u"Порт устройства"));
  EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 500);
  EXPECT_EQ(SendMessageW(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 5000);
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(tip, TTM_GETTIPBKCOLOR, 0, 0)), GetSysColor(COLOR_INFOBK));
  EXPECT_EQ(static_cast<COLORREF>(SendMessageW(tip, TTM_GETTIPTEXTCOLOR, 0, 0)), GetSysColor(COLOR_INFOTEXT));
#else
  EXPECT_EQ(zorv::headless::TooltipToolCount(tip), 1);
  EXPECT_EQ(zorv::headless::TooltipText(tip, control, reinterpret_cast<UINT_PTR>(control)), u"Порт устройства");
#endif
  // Tracking off: the element's mouse handling sends the tooltip nothing.
  TrackWatch watch(tip);
  MouseAt(control, WM_MOUSEMOVE, 5, 5);
  MouseAt(control, WM_MOUSEMOVE, 6, 7);
  MoveAway(FormWnd(), 300, 200);
  PostMessageW(control, WM_MOUSELEAVE, 0, 0);
  Pump();
  EXPECT_EQ(TrackWatch::activate, 0);
  EXPECT_EQ(TrackWatch::position, 0);
  // Tracking on: enter, move and leave are passed on.
  DefaultHintManager()->Tracking = true;
  MouseAt(control, WM_MOUSEMOVE, 9, 4);
  PostMessageW(control, WM_MOUSELEAVE, 0, 0);
  Pump();
  DefaultHintManager()->Tracking = false;
  EXPECT_GE(TrackWatch::activate, 2);
  EXPECT_GE(TrackWatch::position, 1);
  SetWindowLongPtrW(tip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TrackWatch::previous));

}

TEST_F(Hint, FreedWithItsElement) {
  form->Init();
  Start();
  const auto windows = CensusHeld(TCensusKind::Window);
  const auto gdi = CensusHeld(TCensusKind::GdiObject);
  auto* b = New<TKvButton>(form->Control());
  b->Width = 80;
  b->Height = 24;
  b->Hint = "x";
  b->Init();
  RecordingInterface& rec = Recording();
  b->HookUpHint(&rec.iface);
  ASSERT_NE(rec.made, nullptr);
  HWND tip = rec.made->Window;
  Free(b);
  Pump();
  EXPECT_FALSE(IsWindow(tip));
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows);
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), gdi);
}

TEST_F(Hint, FreedAfterTheWindowsAreGone) {
  // The scheme frees its elements after the loop has destroyed the windows (a tooltip goes
  // with the control that owns it): nothing is left behind either way.
  const auto windows = CensusHeld(TCensusKind::Window);
  const auto gdi = CensusHeld(TCensusKind::GdiObject);
  form->Init();
  auto* b = New<TKvButton>(form->Control());
  b->Width = 80;
  b->Height = 24;
  b->Hint = "x";
  b->Init();
  Start();
  RecordingInterface& rec = Recording();
  b->HookUpHint(&rec.iface);
  ASSERT_NE(rec.made, nullptr);
  HWND tip = rec.made->Window;
  Close();
  TControl* a = Applet;
  Terminate(a);
  Free(b);
  EXPECT_FALSE(IsWindow(tip));
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows);
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), gdi);
}

TEST_F(Hint, BalloonTooltips) {
  form->Init();
  auto* b = Make<TKvButton>();
  b->Width = 80;
  b->Height = 24;
  b->Hint = "b";
  b->Init();
  Start();
  DefaultHintManager()->Standard = false;
  RecordingInterface& rec = Recording();
  b->HookUpHint(&rec.iface);
  DefaultHintManager()->Standard = true;
  ASSERT_NE(rec.made, nullptr);
  EXPECT_NE(GetWindowLongW(rec.made->Window, GWL_STYLE) & TTS_BALLOON, 0);
}

}  // namespace
