// No handle leaks: an application window with a form holding every kind of control is
// created, shown, run, closed and destroyed many times over. Everything the library made
// (windows, window classes, GDI objects, device contexts, the common-controls module) is
// given back each time: its own census returns to where it was, natively the headless
// system's live counts too, and handles freed are invalid afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/winlib/winlib_test_support.h"
#ifndef _WIN32
#include "headless_win32/headless.h"
#endif

namespace {

using namespace zorv::winlibtest;
namespace user = zorv::user;

// Under wine every top-level window is an X window and a cycle takes about a quarter of a
// second: fewer cycles there keep the run short (natively the full thousand).
// ZORV_LEAK_CYCLES=N runs N cycles instead, for example the full thousand under wine.
#ifdef _WIN32
constexpr int kDefaultCycles = 100;
#else
constexpr int kDefaultCycles = 1000;
#endif

int Cycles() {
  const char* v = std::getenv("ZORV_LEAK_CYCLES");
  const int n = v ? std::atoi(v) : 0;
  return n > 0 ? n : kDefaultCycles;
}
const int kCycles = Cycles();

struct TCycle {
  TControl* form = nullptr;
  TControl* panel = nullptr;
  std::vector<HWND> windows;
  std::vector<HGDIOBJ> objects;
  int paints = 0;
};
TCycle gCycle;

void PaintPanel(void*, TControl* c, HDC) {
  ++gCycle.paints;
  TCanvas* canvas = c->Canvas();
  canvas->FillRect(c->ClientRect());
  canvas->TextExtent(kWrite);
}

void CloseWhenShown(TControl*) {
  if (!gCycle.form || !gCycle.form->Handle) return;
  // Shown: every window paints now.
  RedrawWindow(gCycle.form->Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  // Everything was made and shown: note the handles, then close as the user would.
  gCycle.windows.clear();
  gCycle.windows.push_back(gCycle.form->Handle);
  gCycle.windows.push_back(Applet->Handle);
  for (int i = 0; i < gCycle.form->Children->Count; ++i) {
    gCycle.windows.push_back(static_cast<TControl*>(gCycle.form->Children->Get(i))->Handle);
  }
  gCycle.objects = {gCycle.form->Font->Handle(), gCycle.form->BackgroundBrush()};
  PostMessageW(gCycle.form->Handle, WM_CLOSE, 0, 0);
  gCycle.form = nullptr;
}

void OneCycle() {
  AppletTerminated = false;
  TControl* app = NewApplet(kWrite);
  TControl* form = NewForm(app, kForm);
  form->SetBoundsRect(RECT{60, 60, 460, 360});
  form->GetFont()->SetData(tool::kFontHeight, -13);
  form->SetColor(RGB(230, 240, 250));
  Tabulate(form);
  TControl* ok = NewButton(form, kWrite);
  SetDefaultButton(ok, true);
  SetCancelButton(NewButton(form, "Cancel"), true);
  NewLabel(form, kForm)->SetColor(RGB(250, 200, 200));
  NewEdit(form, 0)->SetCaption(kForm);
  NewEdit(form, kEditOptionMultiline)->GetFont()->SetFontStyle(kFontBold);
  TControl* combo = NewComboBox(form, 0);
  combo->Add("COM1");
  combo->Add(kWrite);
  NewComboBox(form, kComboOptionList)->Add("x");
  NewProgressBar(form, 2)->SetTextColor(RGB(0, 128, 0));
  TControl* panel = NewPaintPanel(form);
  panel->SetOnPaint(TOnPaint{PaintPanel, nullptr});
  panel->SetAlign(alBottom);
  gCycle.form = form;
  gCycle.panel = panel;
  OnIdle = CloseWhenShown;
  PostMessageW(nullptr, WM_NULL, 0, 0);
  TControl* var = app;
  ::Run(var);
  OnIdle = nullptr;
}

class Leaks : public WinlibTest {};

TEST_F(Leaks, ThousandsOfFormsGiveEverythingBack) {
  // One cycle first: what the window system keeps for the process from then on (its own
  // caches) is not the library's.
  OneCycle();
  user::Pump();
  constexpr int kKinds = static_cast<int>(TCensusKind::Count);
  std::int64_t held[kKinds], made[kKinds];
  for (int k = 0; k < kKinds; ++k) {
    held[k] = CensusHeld(static_cast<TCensusKind>(k));
    made[k] = CensusMade(static_cast<TCensusKind>(k));
  }
  EXPECT_EQ(held[static_cast<int>(TCensusKind::Window)], 0);
  EXPECT_EQ(held[static_cast<int>(TCensusKind::WindowClass)], 0);
  EXPECT_EQ(held[static_cast<int>(TCensusKind::Module)], 0);
  EXPECT_EQ(held[static_cast<int>(TCensusKind::GdiObject)], 0);
  EXPECT_EQ(held[static_cast<int>(TCensusKind::DeviceContext)], 0);
#ifndef _WIN32
  const zorv::headless::Counts before = zorv::headless::GetCounts();
#endif

  const auto start = std::chrono::steady_clock::now();
  gCycle.paints = 0;
  for (int i = 0; i < kCycles; ++i) OneCycle();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d cycles in %.2f s (%.2f ms each)\n", kCycles, seconds, 1000.0 * seconds / kCycles);
  user::Pump();

  for (int k = 0; k < kKinds; ++k) {
    EXPECT_EQ(CensusHeld(static_cast<TCensusKind>(k)), held[k]) << "kind " << k;
  }
  // The counts did move: every cycle made its windows, classes, objects and module anew.
  EXPECT_GE(CensusMade(TCensusKind::Window) - made[static_cast<int>(TCensusKind::Window)], 11 * kCycles);
  EXPECT_GE(CensusMade(TCensusKind::WindowClass) - made[static_cast<int>(TCensusKind::WindowClass)], 7 * kCycles);
  EXPECT_GE(CensusMade(TCensusKind::GdiObject) - made[static_cast<int>(TCensusKind::GdiObject)], 4 * kCycles);
  EXPECT_EQ(CensusMade(TCensusKind::Module) - made[static_cast<int>(TCensusKind::Module)], kCycles);
  EXPECT_GE(gCycle.paints, kCycles);
#ifndef _WIN32
  const zorv::headless::Counts after = zorv::headless::GetCounts();
  EXPECT_EQ(after.windows, before.windows);
  EXPECT_EQ(after.classes, before.classes);
  EXPECT_EQ(after.gdiObjects(), before.gdiObjects());
  EXPECT_EQ(after.dcs, before.dcs);
  EXPECT_EQ(after.modules, before.modules);
  EXPECT_EQ(after.props, before.props);
  EXPECT_EQ(after.icons, before.icons);
#endif
  // The last cycle's handles are gone.
  ASSERT_GE(gCycle.windows.size(), 11u);
  for (HWND h : gCycle.windows) EXPECT_FALSE(IsWindow(h));
  for (HGDIOBJ o : gCycle.objects) EXPECT_EQ(GetObjectType(o), 0u);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), ZORV_W("obj_Form"), &wc));
}

}  // namespace
