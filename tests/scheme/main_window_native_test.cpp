// The main window's scheme on the headless window system, against the device simulator on
// a pseudo-terminal, driven by the headless window system's user input: the whole program
// in one process, so that the sanitizers see the window thread, the reader thread and the
// watchdog's timer thread together: the whole upload, the device's faults each through the
// window (the failure screen, never the completion screen, "OK" ends the program), devices
// that are not ours, and closes from outside during the upload and during the pause.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "elements/kvSleep.h"
#include "platform/comm.h"
#include "scheme/Texts.h"
#include "serial/kvComAsync.h"
#include "headless_win32/headless.h"
#include "scheme/kvSimpleForm_24F8870.h"
#include "tests/support/zorvsim_process.h"
#include "window_elements/kvButton.h"
#include "window_elements/kvImage.h"
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

// One operator's session of the program against the simulator started with simArgs: the
// scheme made and run as the program entry does, the port chosen in the list, "Записать"
// clicked, the screens read from the windows, "OK" or a close from outside, and the
// simulator's report at the end. The completion pause is shortened to pauseUs.
class Session {
 public:
  explicit Session(std::vector<std::string> simArgs, std::uint64_t pauseUs = 200000)
      : sim_(std::move(simArgs)), port_(zorv::comm::RegisterSerialPath(sim_.pty())) {
    AppletTerminated = false;
    scheme_ = New<TClassSimpleForm_24F8870>();
    scheme_->DonePause->Delay = pauseUs;
    scheme_->MainForm->Run();
    applet_ = Applet;
  }
  ~Session() {
    if (scheme_) Free(scheme_);
    zorv::comm::UnregisterSerialPath(sim_.pty());
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  TClassSimpleForm_24F8870& scheme() { return *scheme_; }
  HWND Handle(TKvWin* e) { return e->Control()->Handle; }
  HWND Form() { return scheme_->MainForm->Control()->Handle; }

  // Chooses the simulator's port in the list.
  bool Choose() {
    HWND combo = Handle(scheme_->PortList);
    if (!PumpUntil([&] { return ComboIndexOf(combo, port_) >= 0; }, 5000)) {
      ADD_FAILURE() << port_ << " is not in the port list (" << SendMessageW(combo, CB_GETCOUNT, 0, 0) << " items)";
      return false;
    }
    return zorv::headless::ChooseComboItem(combo, ComboIndexOf(combo, port_));
  }
  // Chooses it; true once the status field holds another text.
  bool ChoosePort() {
    return Choose() && PumpUntil([&] { return Status() != zorv::texts::kPromptText; }, 10000);
  }
  std::string Status() {
    TData d;
    scheme_->StatusField->getText(d, 0);
    return AsString(d);
  }
  bool Identify() { return ChoosePort() && PumpUntil([&] { return Enabled(scheme_->WriteButton); }, 10000); }
  bool Write() { return zorv::headless::ClickCenter(Handle(scheme_->WriteButton)); }

  bool Visible(TKvWin* e) { return IsWindowVisible(Handle(e)) != FALSE; }
  bool Enabled(TKvWin* e) { return IsWindowEnabled(Handle(e)) != FALSE; }
  int Progress() { return static_cast<int>(SendMessageW(Handle(scheme_->Progress), PBM_GETPOS, 0, 0)); }

  // The controls shown, by name.
  std::set<std::string> Shown() {
    auto& s = *scheme_;
    const std::pair<const char*, TKvWin*> all[] = {
        {"ErrorLine1", s.ErrorLine1}, {"ErrorLine2", s.ErrorLine2}, {"WriteButton", s.WriteButton},
        {"StatusField", s.StatusField}, {"PortList", s.PortList}, {"Progress", s.Progress},
        {"VersionLabel", s.VersionLabel}, {"ChecksumField", s.ChecksumField},
        {"ReceivedCrcLabel", s.ReceivedCrcLabel}, {"CrcLabel", s.CrcLabel}, {"OkButton", s.OkButton},
        {"DoneText", s.DoneText}, {"ErrorPicture", s.ErrorPicture}};
    std::set<std::string> out;
    for (const auto& [name, e] : all) {
      if (Visible(e)) out.insert(name);
    }
    return out;
  }
  static std::set<std::string> DoneScreen() { return {"DoneText", "OkButton", "ReceivedCrcLabel", "CrcLabel"}; }
  static std::set<std::string> FailedScreen() {
    return {"ErrorLine1", "ErrorLine2", "ErrorPicture", "OkButton", "ReceivedCrcLabel", "CrcLabel"};
  }
  static std::set<std::string> StartScreen() {
    return {"PortList", "StatusField", "WriteButton", "VersionLabel", "Progress", "ReceivedCrcLabel", "CrcLabel"};
  }

  // Waits for the end of the upload: the window enabled again with OK shown.
  bool WaitEnd(int timeoutMs) {
    return PumpUntil([&] { return IsWindowEnabled(Form()) && Visible(scheme_->OkButton); }, timeoutMs);
  }
  // Pumps for ms and answers whether the shown set stayed as it is throughout.
  bool Stays(const std::set<std::string>& screen, int ms) {
    return !PumpUntil([&] { return Shown() != screen; }, ms);
  }

  // "OK" clicked; the message loop runs to its end. Answers whether it ended.
  bool Ok() {
    if (!zorv::headless::ClickCenter(Handle(scheme_->OkButton))) return false;
    return RunToEnd();
  }
  // WM_CLOSE posted as a task manager posts it; the message loop runs to its end.
  bool CloseFromOutside() {
    PostMessageW(Form(), WM_CLOSE, 0, 0);
    return RunToEnd();
  }
  // After the loop: the port must be closed by then.
  bool PortOpen() { return scheme_->SerialPort->Opened(); }

  SimReport Finish() {
    if (scheme_) Free(scheme_);
    scheme_ = nullptr;
    return zorv::test::ParseSimReport(sim_.Finish());
  }

 private:
  bool RunToEnd() {
    ::Run(applet_);
    return Applet == nullptr;
  }

  SimProcess sim_;
  std::string port_;
  TClassSimpleForm_24F8870* scheme_ = nullptr;
  TControl* applet_ = nullptr;
};

// What the device received: every image byte as in the image (no hole), nothing beyond it
// or after "PUSK".
void ExpectCleanLine(const SimReport& r) {
  EXPECT_EQ(r.image_mismatch, -1) << "an image byte differs or a block has a hole";
  EXPECT_EQ(r.extra_bytes, 0);
  EXPECT_EQ(r.stray_bytes, 0);
}

std::vector<std::string> WithImage(std::vector<std::string> args) {
  args.insert(args.end(), {"--image", ZORV_IMAGE_BIN});
  return args;
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

// The device's faults, each through the window: the failure screen, no completion screen
// after the pause, "OK" ends the program; the device got no "PUSK" and no hole. Early "FZ"
// ends the upload with the completion screen, and a reply to "PUSK" changes nothing.
struct Fault {
  const char* name;
  std::vector<std::string> args;
  bool success;
  long imageBytes;  // -1: any
};

class MainWindowFault : public ::testing::TestWithParam<Fault> {};

TEST_P(MainWindowFault, ShowsItsScreenAndOkEnds) {
  const Fault& f = GetParam();
  Session s(WithImage(f.args));
  ASSERT_TRUE(s.Identify());
  ASSERT_TRUE(s.Write());
  ASSERT_TRUE(s.WaitEnd(300000)) << "no end screen";
  const auto screen = f.success ? Session::DoneScreen() : Session::FailedScreen();
  ASSERT_TRUE(PumpUntil([&] { return s.Shown() == screen; }, 5000));
  if (!f.success) {
    // The error picture lies on the first error line (made before it, so first among the
    // siblings, which clip each other): shown, it must stand above the line to be seen.
    const HWND picture = s.Handle(s.scheme().ErrorPicture);
    const HWND line = s.Handle(s.scheme().ErrorLine1);
    int picturePlace = -1, linePlace = -1, place = 0;
    for (HWND h = GetWindow(s.Form(), GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT), ++place) {
      if (h == picture) picturePlace = place;
      if (h == line) linePlace = place;
    }
    ASSERT_GE(picturePlace, 0);
    ASSERT_GE(linePlace, 0);
    EXPECT_LT(picturePlace, linePlace) << "the error line hides the error picture";
  }
  // Past the (shortened) completion pause the screen stays as it is.
  EXPECT_TRUE(s.Stays(screen, 1000));
  ASSERT_TRUE(s.Ok());
  EXPECT_FALSE(s.PortOpen());
  const SimReport r = s.Finish();
  ASSERT_TRUE(r.valid);
  ExpectCleanLine(r);
  EXPECT_EQ(r.pusk, f.success);
  EXPECT_EQ(r.Events("pusk").size(), f.success ? 1u : 0u);
  if (f.imageBytes >= 0) {
    EXPECT_EQ(r.image_bytes, f.imageBytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MainWindowFault,
    ::testing::Values(Fault{"WrongChecksum", {"--bad-crc", "3"}, false, -1},
                      Fault{"SplitAcknowledgement", {"--split-ack", "3"}, false, -1},
                      Fault{"Silence", {"--silence-from", "5"}, false, 5 * 256},
                      Fault{"HangUp", {"--hangup", "20"}, false, -1},
                      Fault{"LastBlockWithoutFz", {"--no-final-fz"}, false, 260096},
                      Fault{"WrongBytesInTheFinalBlock", {"--blocks", "4", "--wrong-in", "4", "--split-gap", "0"}, false, -1},
                      Fault{"LineStuckInABlock", {"--stall", "3"}, false, -1},
                      Fault{"EarlyFz", {"--early-fz", "10", "--after-pusk", "crc", "--linger", "1500"}, true, 2560}),
    [](const ::testing::TestParamInfo<Fault>& i) { return std::string(i.param.name); });

TEST(MainWindowNative, AnotherDeviceLeavesThePortListUsable) {
  Session s(WithImage({"--ident", "ZORVANTIQUEX"}));
  ASSERT_TRUE(s.ChoosePort());
  EXPECT_EQ(s.Status(), zorv::texts::kNotFound);
  EXPECT_FALSE(PumpUntil([&] { return s.Enabled(s.scheme().WriteButton); }, 500));
  EXPECT_TRUE(s.Enabled(s.scheme().PortList));
  EXPECT_EQ(s.Shown(), Session::StartScreen());
  ASSERT_TRUE(s.CloseFromOutside());
  EXPECT_FALSE(s.PortOpen());
  EXPECT_EQ(s.Finish().image_bytes, 0);
}

TEST(MainWindowNative, SilentDeviceLeavesTheWindowUsable) {
  Session s(WithImage({"--no-vers-reply"}));
  ASSERT_TRUE(s.Choose());
  EXPECT_FALSE(PumpUntil([&] { return s.Enabled(s.scheme().WriteButton); }, 2000));
  EXPECT_TRUE(s.Enabled(s.scheme().PortList));
  EXPECT_TRUE(IsWindowEnabled(s.Form()));
  EXPECT_NE(s.Status(), zorv::texts::kDeviceFormat);
  ASSERT_TRUE(s.CloseFromOutside());
  EXPECT_FALSE(s.PortOpen());
  const SimReport r = s.Finish();
  EXPECT_EQ(r.vers_queries, 1);
  EXPECT_EQ(r.image_bytes, 0);
}

// WM_CLOSE from outside while the window is disabled for the upload: the loop ends, the
// port is closed, no "PUSK" and no hole; the reader thread and the watchdog stop cleanly.
TEST(MainWindowNative, CloseDuringTheUpload) {
  Session s(WithImage({"--pace", "usb"}));
  ASSERT_TRUE(s.Identify());
  ASSERT_TRUE(s.Write());
  ASSERT_TRUE(PumpUntil([&] { return s.Progress() >= 20; }, 60000));
  EXPECT_FALSE(IsWindowEnabled(s.Form()));
  ASSERT_TRUE(s.CloseFromOutside());
  EXPECT_FALSE(s.PortOpen());
  const SimReport r = s.Finish();
  ExpectCleanLine(r);
  EXPECT_FALSE(r.pusk);
  EXPECT_LT(r.image_bytes, 260096);
}

// WM_CLOSE during the completion pause: the close waits for the pause (the reader thread
// holds the scheme), then the program ends; "PUSK" went out once, before the pause.
TEST(MainWindowNative, CloseDuringThePause) {
  Session s(WithImage({"--blocks", "3", "--linger", "10000"}), 2000000);
  ASSERT_TRUE(s.Identify());
  ASSERT_TRUE(s.Write());
  ASSERT_TRUE(PumpUntil([&] { return s.Progress() >= 2; }, 30000));
  PumpUntil([] { return false; }, 300);
  EXPECT_FALSE(IsWindowEnabled(s.Form())) << "the pause had ended";
  const auto closed = std::chrono::steady_clock::now();
  ASSERT_TRUE(s.CloseFromOutside());
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(10));
  EXPECT_FALSE(s.PortOpen());
  const SimReport r = s.Finish();
  ExpectCleanLine(r);
  EXPECT_TRUE(r.pusk);
  EXPECT_EQ(r.Events("pusk").size(), 1u);
  EXPECT_EQ(r.image_bytes, 768);
}
