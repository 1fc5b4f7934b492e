// The serial element with the real Windows calls, on a COM port that tools/wine-com.sh maps
// to the device simulator's pty under wine. The port comes in ZORV_COM; without it every
// test is skipped. Suites by simulator mode: Device (normal), Echo (--echo), Hangup
// (--hangup 1), Stall (--blocks 1 --stall-after-ack 1), Uart (--pace uart --split-ack 2
// --split-gap 5). With the pty shim preloaded, ZORV_EXPECT_LINES=1 says that the shim
// reports CTS and DSR on.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "serial/kvComAsync.h"
#include "tests/serial/serial_test_support.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;
using Lines = std::vector<std::string>;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

int CountThreads() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 e{};
  e.dwSize = sizeof e;
  int n = 0;
  for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e))
    if (e.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snap);
  return n;
}

int CountHandles() {
  DWORD n = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &n) ? static_cast<int>(n) : -1;
}

class ComWine : public ComIo {
 protected:
  std::string port = Env("ZORV_COM");
  int number = 0;

  void SetUp() override {
    if (port.empty()) GTEST_SKIP() << "no COM port mapped (run through tools/wine-com.sh)";
    number = std::atoi(port.c_str() + 3);
    ComIo::SetUp();
  }
  int Open() { return ComIo::Open(port); }
};

// ---- Device: the simulator in its normal mode --------------------------------------------

TEST_F(ComWine, DeviceOpensTheMappedPortAndIdentifiesTheDevice) {
  ASSERT_EQ(Open(), number);
  if (Env("ZORV_EXPECT_LINES") == "1")
    EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onCTS 1", "onDSR 1", "onOpen " + std::to_string(number)}));
  else
    EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onOpen " + std::to_string(number)}));
  Write("VERS");
  EXPECT_EQ(journal.Named("onWrite"), Lines{"onWrite 4"});
  ASSERT_TRUE(journal.AwaitReceived(20));
  Sleep(100);
  EXPECT_EQ(journal.Received(), "ZORVANTIQUE TPX2 6.0");
  EXPECT_TRUE(NoEmptyChunk(journal.Chunks()));
  journal.Clear();
  Close();
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeClose", "onCTS 0", "onDSR 0", "onRLSD 0", "onClose"}));
}

TEST_F(ComWine, DeviceTheSystemListsThePort) {
  com->CheckPorts = false;
  TData d;
  com->doEnumPorts(d, 0);
  EXPECT_EQ(journal.Named("onEnumPorts " + port).size(), 1u);
  com->CheckPorts = true;
  journal.Clear();
  com->doEnumPorts(d, 0);
  EXPECT_EQ(journal.Named("onEnumPorts " + port).size(), 1u);  // free: it can be opened
}

// ---- Uart: replies byte by byte at the line rate (--pace uart --split-ack 2) ----------------

TEST_F(ComWine, UartRepliesByteByByteArriveAsOneChunkAndAPauseStillSplitsThem) {
  ASSERT_EQ(Open(), number);
  Write("VERS");
  ASSERT_TRUE(journal.AwaitReceived(20));
  Sleep(100);
  EXPECT_EQ(journal.Chunks(), Lines{"ZORVANTIQUE TPX2 6.0"});
  // Block 1: its two-byte acknowledgement is one chunk.
  journal.Clear();
  Write(std::string(256, '\x5a'));
  ASSERT_TRUE(journal.AwaitReceived(2));
  Sleep(100);
  ASSERT_EQ(journal.Chunks().size(), 1u);
  EXPECT_EQ(journal.Chunks()[0].size(), 2u);
  // Block 2: the device pauses between the two bytes (20 ms with the shim, 50 ms on a plain
  // pty, see serial.cmake): two chunks.
  journal.Clear();
  Write(std::string(256, '\x5a'));
  ASSERT_TRUE(journal.AwaitReceived(2));
  Sleep(100);
  EXPECT_EQ(journal.Chunks().size(), 2u);
}

// ---- Echo: every chunk comes back ------------------------------------------------------

TEST_F(ComWine, EchoEveryByteComesBackOnceInOrder) {
  ASSERT_EQ(Open(), number);
  std::string sent;
  for (int i = 0; i < 40; ++i) {
    std::string chunk;
    for (int b = 0; b < 64; ++b) chunk += static_cast<char>((i * 64 + b) & 0xFF);
    Write(chunk);
    sent += chunk;
  }
  ASSERT_TRUE(journal.AwaitReceived(sent.size()));
  Sleep(100);
  EXPECT_EQ(journal.Received(), sent);
  EXPECT_TRUE(NoEmptyChunk(journal.Chunks()));
  EXPECT_EQ(journal.Named("onWrite 64").size(), 40u);
}

TEST_F(ComWine, EchoClosesWhileDataArrives) {
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(Open(), number);
    Write(std::string(2000, 'q'));
    ASSERT_TRUE(journal.AwaitReceived(1));
    Close();
    EXPECT_EQ(journal.Lines().back(), "onClose");
    EXPECT_FALSE(com->Opened());
    Sleep(50);
  }
}

TEST_F(ComWine, EchoAHandlerOfOnReadMayCloseThePort) {
  journal.Wire(com->onRead, "onRead", [this](TData&) {
    TData none;
    com->doClose(none, 0);
  });
  ASSERT_EQ(Open(), number);
  Write("first");
  ASSERT_TRUE(journal.AwaitLine("onClose"));
  EXPECT_FALSE(com->Opened());
  journal.Wire(com->onRead, "onRead");
  ASSERT_EQ(Open(), number);
  Write("second");
  ASSERT_TRUE(journal.AwaitReceived(6));
  Sleep(100);
  EXPECT_EQ(journal.Received(), "second");
}

TEST_F(ComWine, EchoOpenAndCloseLeaveNoHandleOrThreadBehind) {
  ASSERT_EQ(Open(), number);
  Close();
  Sleep(200);
  const int handles = CountHandles();
  const int threads = CountThreads();
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(Open(), number) << "cycle " << i;
    if (i % 10 == 0) {
      Write("ping");
      ASSERT_TRUE(journal.AwaitReceived(4));
    }
    Close();
  }
  EXPECT_TRUE(Eventually([&] { return CountThreads() <= threads; })) << CountThreads() << " > " << threads;
  EXPECT_TRUE(Eventually([&] { return CountHandles() <= handles; })) << CountHandles() << " > " << handles;
}

TEST_F(ComWine, EchoWritesFromSeveralThreadsBesideTheReader) {
  ASSERT_EQ(Open(), number);
  WriteFromThreeThreadsAndCheckEcho(com.get(), journal, 100);
}

TEST_F(ComWine, EchoAnIdleReaderDoesNotSpin) {
  ASSERT_EQ(Open(), number);
  FILETIME created, exited, kernel0, user0, kernel1, user1;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel0, &user0);
  Sleep(2000);
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel1, &user1);
  auto ticks = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  const double busy = static_cast<double>(ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 1e7;
  // A spinning loop would use the whole 2 s; a waiting one very little.
  EXPECT_LT(busy, 1.0) << "CPU seconds in 2 s idle";
  std::printf("CPU seconds used in 2 s of idle waiting: %.3f\n", busy);
  Write("still here");
  ASSERT_TRUE(journal.AwaitReceived(10));
}

// ---- Hangup: the device closes the line after block 1 ----------------------------------

TEST_F(ComWine, HangupTheElementClosesAndStaysUsable) {
  ASSERT_EQ(Open(), number);
  Write("VERS");
  ASSERT_TRUE(journal.AwaitReceived(20));
  Write(std::string(256, '\x5A'));
  Sleep(1500);  // the simulator hangs up
  journal.Clear();
  Close();
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeClose", "onCTS 0", "onDSR 0", "onRLSD 0", "onClose"}));
  // Opening again gives an answer either way (the device is gone), and never hangs.
  const int again = Open();
  EXPECT_TRUE(again == 0 || again == number) << again;
  Close();
}

// ---- Stall: the device stops reading after its one block ------------------------------

TEST_F(ComWine, StallALineThatStopsDrainingEndsTheWriteSideAtTheFirstStuckWrite) {
  ASSERT_EQ(Open(), number);
  ALineThatStopsDrainingEndsTheWriteSide(com.get(), journal);
  journal.Clear();
  Close();  // does not wait for anything the line holds
  EXPECT_EQ(journal.Lines().back(), "onClose");
}

}  // namespace
