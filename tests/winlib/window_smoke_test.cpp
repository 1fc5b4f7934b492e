// First light of the window library: an application window with a form and one control of
// each kind is created by Run, closed by a posted WM_CLOSE and destroyed after the loop.
#include <gtest/gtest.h>

#include "winlib/Applet.h"
#include "winlib/Census.h"
#include "winlib/WinText.h"

TEST(WindowSmoke, RunCreatesAndTerminateDestroys) {
  AppletTerminated = false;
  const auto windows0 = CensusHeld(TCensusKind::Window);
  const auto gdi0 = CensusHeld(TCensusKind::GdiObject);
  TControl* app = NewApplet("Smoke");
  TControl* form = NewForm(app, "Форма");
  form->SetBoundsRect(RECT{100, 100, 500, 300});
  TControl* button = NewButton(form, "Записать");
  TControl* label = NewLabel(form, "Метка");
  TControl* edit = NewEdit(form, 0);
  TControl* combo = NewComboBox(form, 0);
  TControl* progress = NewProgressBar(form, 2);
  (void)button; (void)label; (void)edit; (void)progress;
  combo->Add("COM1");
  PostMessageW(nullptr, WM_NULL, 0, 0);
  struct Closer {
    static void Idle(TControl*) {
      static int n = 0;
      if (++n == 3 && Applet && Applet->Children->Count > 0) {
        auto* f = static_cast<TControl*>(Applet->Children->Get(0));
        EXPECT_EQ(WindowText(f->Handle), "Форма");
        auto* b = static_cast<TControl*>(f->Children->Get(0));
        EXPECT_EQ(WindowText(b->Handle), "Записать");
        PostMessageW(f->Handle, WM_CLOSE, 0, 0);
      } else if (n < 3) {
        PostMessageW(nullptr, WM_NULL, 0, 0);
      }
    }
  };
  OnIdle = Closer::Idle;
  TControl* var = app;
  ::Run(var);
  OnIdle = nullptr;
  EXPECT_EQ(var, nullptr);
  EXPECT_EQ(Applet, nullptr);
  EXPECT_EQ(CensusHeld(TCensusKind::Window), windows0);
  EXPECT_EQ(CensusHeld(TCensusKind::GdiObject), gdi0);
  EXPECT_EQ(CensusHeld(TCensusKind::WindowClass), 0);
}
