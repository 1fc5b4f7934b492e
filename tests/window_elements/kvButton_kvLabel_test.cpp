// The button (a click carries a copy of Data; a disabled button fires nothing; caption,
// BS_MULTILINE, the default button) and the label (made at construction, caption at Init,
// AutoSize and TextAlign at once, the click, the hover colour and underline).
#include <gtest/gtest.h>

#include "tests/window_elements/elements_support.h"
#include "window_elements/kvButton.h"
#include "window_elements/kvEdit.h"
#include "window_elements/kvLabel.h"

namespace {

using namespace zorv::test;

using Button = FormFixture;
using Label = FormFixture;

TKvButton* MakeButton(FormFixture& f, TKvButton* b, const std::string& caption) {
  (void)f;
  b->Left = 20;
  b->Top = 20;
  b->Width = 120;
  b->Height = 30;
  b->Caption = caption;
  return b;
}

// A click as the user makes it: natively the headless user's, under wine synthesised
// mouse input through the X server.
void UserClick(HWND w) {
#ifdef _WIN32
  RECT r = ScreenRect(w);
  RealClickAt(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2});
  PumpFor(300);
#else
  zorv::headless::ClickCenter(w);
  Pump();
#endif
}

TEST_F(Button, AClickCarriesACopyOfData) {
  form->Init();
  auto* b = MakeButton(*this, Make<TKvButton>(), Cp(u"Записать"));
  SetInteger(b->Data, 0);
  b->Init();
  Sink clicks;
  clicks.react = [](TData& d, std::uint16_t) { SetString(d, "overwritten by the receiver"); };
  b->onClick = clicks.Point();
  Start();
  HWND w = b->Control()->Handle;
  EXPECT_EQ(TextOf(w), Cp(u"Записать"));
  EXPECT_NE(GetWindowLongW(w, GWL_STYLE) & BS_MULTILINE, 0);
  SendMessageW(w, BM_CLICK, 0, 0);
  Pump();
  ASSERT_EQ(clicks.count(), 1u);
  EXPECT_EQ(clicks.last().DataKind, kindInteger);
  EXPECT_EQ(clicks.last().IntValue, 0);
  EXPECT_EQ(b->Data.DataKind, kindInteger) << "Data itself is not handed over";
  UserClick(w);
  ASSERT_TRUE(PumpUntil([&] { return clicks.count() >= 2; }));
  EXPECT_EQ(clicks.count(), 2u);
  EXPECT_EQ(clicks.last().IntValue, 0);
}

TEST_F(Button, NullDataFiresNull) {
  form->Init();
  auto* b = MakeButton(*this, Make<TKvButton>(), "OK");
  b->Init();
  Sink clicks;
  b->onClick = clicks.Point();
  Start();
  SendMessageW(b->Control()->Handle, BM_CLICK, 0, 0);
  Pump();
  ASSERT_EQ(clicks.count(), 1u);
  EXPECT_EQ(clicks.last().DataKind, kindNull);
}

TEST_F(Button, ADisabledButtonFiresNothing) {
  form->Init();
  auto* b = MakeButton(*this, Make<TKvButton>(), Cp(u"Записать"));
  SetInteger(b->Data, 3);
  b->Init();
  auto* off = MakeButton(*this, Make<TKvButton>(), "Off");
  off->Top = 60;
  off->Enabled = false;
  off->Init();
  Sink clicks, offClicks;
  b->onClick = clicks.Point();
  off->onClick = offClicks.Point();
  Start();
  HWND w = b->Control()->Handle;
  TData zero = IntData(0), one = IntData(1);
  b->doEnabled(zero, 0);
  SendMessageW(w, BM_CLICK, 0, 0);
  UserClick(w);
  // Even a click notification that reaches the parent directly fires nothing.
  SendMessageW(FormWnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(w), BN_CLICKED), reinterpret_cast<LPARAM>(w));
  SendMessageW(off->Control()->Handle, BM_CLICK, 0, 0);
  UserClick(off->Control()->Handle);
  PumpFor(100);
  EXPECT_EQ(clicks.count(), 0u);
  EXPECT_EQ(offClicks.count(), 0u);
  b->doEnabled(one, 0);
  SendMessageW(w, BM_CLICK, 0, 0);
  Pump();
  EXPECT_EQ(clicks.integers(), std::vector<std::int32_t>{3});
}

TEST_F(Button, TheDefaultButtonTakesEnter) {
  form->Init();
  auto* b = MakeButton(*this, Make<TKvButton>(), "Go");
  b->Default = true;
  SetInteger(b->Data, 9);
  b->Init();
  auto* e = Make<TKvEdit>();  // a field without onEnter lets Enter through
  e->Top = 80;
  e->Width = 100;
  e->Height = 22;
  e->Init();
  Sink clicks;
  b->onClick = clicks.Point();
  Start();
  EXPECT_EQ(form->Control()->DefaultButton, b->Control());
  PressKey(e->Control()->Handle, VK_RETURN, '\r');
  PumpFor(50);
  EXPECT_EQ(clicks.integers(), std::vector<std::int32_t>{9});
}

TEST_F(Label, ControlAtConstructionCaptionAtInit) {
  form->Init();
  auto* l = Make<TKvLabel>();
  ASSERT_NE(l->Control(), nullptr) << "made at construction";
  EXPECT_EQ(l->Control()->GetCaption(), "");
  l->Caption = "CRC:";
  l->SetAutoSize(true);
  l->SetTextAlign(2);
  EXPECT_TRUE(l->Control()->AutoSizeOn) << "applied at once";
  EXPECT_EQ(l->Control()->TextAlignValue, 2);
  EXPECT_EQ(l->Control()->GetCaption(), "") << "the caption waits for Init";
  l->Init();
  Sink clicks;
  l->onClick = clicks.Point();
  Start();
  HWND w = l->Control()->Handle;
  EXPECT_EQ(TextOf(w), "CRC:");
  ClickOn(w, 3, 3);
  EXPECT_EQ(clicks.count(), 1u);
  EXPECT_EQ(clicks.last().DataKind, kindNull);
}

TEST_F(Label, HoverColourAndUnderline) {
  form->Init();
  auto* hover = Make<TKvLabel>();
  hover->Width = 80;
  hover->Height = 20;
  SetFontRec(hover->Font, "Arial", 10, 0, 0x00102030, 1);
  hover->HoverColor = 0x000000FF;
  hover->HoverUnderline = true;
  hover->Caption = "hover";
  hover->Init();
  auto* plain = Make<TKvLabel>();
  plain->Top = 40;
  plain->Width = 80;
  plain->Height = 20;
  SetFontRec(plain->Font, "Arial", 10, 0, 0x00102030, 1);
  plain->Caption = "plain";
  plain->Init();
  Start();
  HWND w = hover->Control()->Handle;
  TGraphicTool* f = hover->Control()->GetFont();
  MouseAt(w, WM_MOUSEMOVE, 5, 5);
  EXPECT_EQ(f->Color(), 0x000000FF);
  EXPECT_EQ(f->FontStyle() & kFontUnderlineBit, kFontUnderlineBit);
  MoveAway(FormWnd(), 300, 200);
  EXPECT_TRUE(PumpUntil([&] { return f->Color() == 0x00102030; }, 5000));
  EXPECT_EQ(f->Color(), 0x00102030);
  EXPECT_EQ(f->FontStyle() & kFontUnderlineBit, 0);
  // HoverColor 0: the colour stays.
  HWND p = plain->Control()->Handle;
  MouseAt(p, WM_MOUSEMOVE, 5, 5);
  EXPECT_EQ(plain->Control()->GetFont()->Color(), 0x00102030);
  EXPECT_EQ(plain->Control()->GetFont()->FontStyle() & kFontUnderlineBit, 0);
}

}  // namespace
