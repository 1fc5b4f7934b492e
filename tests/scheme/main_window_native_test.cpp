// The main window's scheme on the headless window system, against the device simulator on
// a pseudo-terminal, driven by the headless window system's user input: the whole program
// in one process, so that the sanitizers see the window thread, the reader thread and the
// watchdog's timer thread together.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/comm.h"
#include "elements/kvSleep.h"
#include "platform/headless.h"
#include "scheme/kvSimpleForm_24F8870.h"
#include "tests/support/zorvsim_process.h"
#include "window_elements/kvButton.h"
#include "window_elements/kvComboBox.h"
#include "window_elements/kvEdit.h"
#include "window_elements/kvLabel.h"
#include "window_elements/kvProgressBar.h"
#include "window_elements/kvSimpleForm.h"
#include "winlib/Applet.h"
#include "winlib/WinText.h"

namespace {

using zorv::test::SimProcess;
using zorv::test::SimReport;

// Runs the window thread's messages until cond holds or the time is up.
bool PumpUntil(const std::function<bool()>& cond, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < end) {
    zorv::headless::Pump();
    if (cond()) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  zorv::headless::Pump();
  return cond();
}

int ComboIndexOf(HWND combo, const std::string& text) {
  const int n = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    WCHAR buf[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
    if (FromWide(buf, std::char_traits<WCHAR>::length(buf)) == text) return i;
  }
  return -1;
}

}  // namespace

TEST(MainWindowNative, FullUploadShowsTheCompletion) {
  SimProcess sim;
  const std::string port = zorv::comm::RegisterSerialPath(sim.pty());
  AppletTerminated = false;
  auto* scheme = New<TClassSimpleForm_24F8870>();
  scheme->DonePause->Delay = 200000;  // the pause is not the point here
  scheme->MainForm->Run();
  HWND combo = scheme->PortList->Control()->Handle;
  HWND write = scheme->WriteButton->Control()->Handle;
  ASSERT_TRUE(PumpUntil([&] { return ComboIndexOf(combo, port) >= 0; }, 5000));
  ASSERT_TRUE(zorv::headless::ChooseComboItem(combo, ComboIndexOf(combo, port)));
  ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(write) != FALSE; }, 10000)) << "no device identified";
  ASSERT_TRUE(zorv::headless::ClickCenter(write));
  HWND done = scheme->DoneText->Control()->Handle;
  HWND error = scheme->ErrorLine1->Control()->Handle;
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(done) || IsWindowVisible(error); }, 300000));
  EXPECT_TRUE(IsWindowVisible(done));
  EXPECT_FALSE(IsWindowVisible(error));
  EXPECT_EQ(SendMessageW(scheme->Progress->Control()->Handle, PBM_GETPOS, 0, 0), 1015);
  // OK ends the program.
  ASSERT_TRUE(zorv::headless::ClickCenter(scheme->OkButton->Control()->Handle));
  TControl* applet = Applet;
  ::Run(applet);
  EXPECT_EQ(Applet, nullptr);
  Free(scheme);
  const SimReport r = zorv::test::ParseSimReport(sim.Finish());
  EXPECT_EQ(r.blocks_received, 1016);
  EXPECT_TRUE(r.pusk);
  EXPECT_EQ(r.extra_bytes, 0);
  zorv::comm::UnregisterSerialPath(sim.pty());
}
