// Support for the window library's tests in both builds: a fixture that gives every test
// the library's global state as a fresh program has it and leaves none behind, an
// application window that counts as running without a message loop of its own (the test
// pumps), and small helpers.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/headless_win32/winsys_test_support.h"
#include "tests/support/user_input.h"
#include "winlib/Applet.h"
#include "winlib/Census.h"
#include "winlib/WinText.h"

namespace zorv::winlibtest {

// Texts of the program are Windows-1251 bytes.
inline const std::string kWrite = "\xC7\xE0\xEF\xE8\xF1\xE0\xF2\xFC";  // "Записать"
inline const std::string kForm = "\xD4\xEE\xF0\xEC\xE0";               // "Форма"

class WinlibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ZORV_NEED_WINDOWS();
    ResetGlobals();
    DrainQuit();
  }
  void TearDown() override {
    OnIdle = nullptr;
    if (Applet) {
      TControl* a = Applet;
      Terminate(a);
    }
    for (TControl* c : owned_) Free(c);
    owned_.clear();
    zorv::user::Pump();
    ReleaseWindowLibrary();
    ResetGlobals();
    DrainQuit();
  }
  // Terminate closes the application window, which posts WM_QUIT for a loop that has
  // ended: the next test's loop must not find it.
  static void DrainQuit() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  static void ResetGlobals() {
    AppletTerminated = false;
    AppletRunning = 0;
    Applet = nullptr;
    AppButtonUsed = false;
    OnIdle = nullptr;
    GlobalHooks() = TGlobalHooks{};
  }
  // A top-level form without an application window, freed by TearDown.
  TControl* Form(const std::string& caption = "Form", RECT bounds = RECT{80, 80, 480, 380}) {
    TControl* f = NewForm(nullptr, caption);
    f->SetBoundsRect(bounds);
    owned_.push_back(f);
    return f;
  }
  // An application window with a main form, running as Run has it (the test pumps).
  TControl* RunningApplet(TControl** form, RECT bounds = RECT{80, 80, 480, 380}) {
    TControl* a = NewApplet("App");
    *form = NewForm(a, "Form");
    (*form)->SetBoundsRect(bounds);
    return a;
  }
  static void StartRunning(TControl* applet) {
    AppletRunning.fetch_add(1);
    Applet = applet;
    applet->CreateHandle();
  }
  // Shows the top-level window and makes it the foreground one.
  static void ShowInFront(TControl* top) {
    if (!top->Handle) top->CreateHandle();
    ShowWindow(top->Handle, SW_SHOW);
    UpdateWindow(top->Handle);
    EXPECT_TRUE(zorv::user::MakeForeground(top->Handle));
    zorv::user::Settle();
  }
  std::vector<TControl*> owned_;
};

// The bounds of a child window in its parent's client coordinates, from the window system.
inline RECT ChildRect(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  POINT p[2] = {{r.left, r.top}, {r.right, r.bottom}};
  MapWindowPoints(nullptr, GetParent(child), p, 2);
  return RECT{p[0].x, p[0].y, p[1].x, p[1].y};
}

inline bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline std::string Show(const RECT& r) {
  return "{" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + "}";
}

}  // namespace zorv::winlibtest
