// The serial element against the recording fake: names, call sequences, event orders,
// line settings, failures of every set-up step, the reader's event handling, reads,
// writes and the port list.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "serial/kvComAsync.h"
#include "tests/serial/fake_comm.h"
#include "tests/serial/serial_test_support.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;
using namespace zorv::comm;
using Lines = std::vector<std::string>;

class ComFake : public ::testing::Test {
 protected:
  EventsOnScope events;
  FakeComm fake;
  Journal journal;
  TObjPtr<TKvComAsync> com{New<TKvComAsync>()};

  void SetUp() override {
    SetProgramProperties(com.get());
    journal.Attach(com.get());
  }
  void Open(const std::string& name) {
    TData d = StrData(name);
    com->doOpen(d, 0);
  }
  void Close() {
    TData d;
    com->doClose(d, 0);
  }
  std::vector<std::string> Creates() { return fake.CallsNamed("CreateFileA"); }
  // Opens COM7 with received bytes read at once (onRxChar wired to doRead); returns the
  // fake's clock once the reader waits.
  std::uint64_t OpenReading() {
    com->onRxChar = MakePoint<&TKvComAsync::doRead>(0, com.get());
    Open("COM7");
    EXPECT_TRUE(fake.AwaitWaits(1));
    return fake.FakeNow();
  }
  // The element's own calls, without the reader thread's.
  std::vector<std::string> SetupCalls() {
    std::vector<std::string> out;
    for (const std::string& c : fake.Calls()) {
      if (c == "CreateEventA" || c == "WaitCommEvent" || c == "WaitForSingleObject" || c == "CloseHandle event" ||
          c == "GetOverlappedResult")
        continue;
      out.push_back(c);
    }
    return out;
  }
};

// ---- Names -----------------------------------------------------------------------------

TEST_F(ComFake, OpensTheNameAsGivenBehindTheDevicePrefixAndReportsItsNumber) {
  Open("com7");
  EXPECT_EQ(Creates(), Lines{"CreateFileA \\\\.\\com7 overlapped"});
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onOpen 7"}));
  EXPECT_TRUE(com->Opened());
  EXPECT_EQ(com->PortName(), "com7");
}

TEST_F(ComFake, RefusesMalformedNamesWithoutTouchingTheSystem) {
  const std::vector<std::string> bad = {"COM0", "COM256", "LPT1", "", "COM1234", "COM", "CO", "C",
                                        "COMx1", "COM-1", "COM+5", " COM1", "COM 1", "CON1", "COM000",
                                        std::string("COM1\0", 5), std::string("CO\0M1", 5), "\\\\.\\COM1"};
  for (const std::string& name : bad) {
    journal.Clear();
    Open(name);
    EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onOpen 0"})) << "name " << name;
    EXPECT_FALSE(com->Opened());
  }
  EXPECT_TRUE(Creates().empty());
}

TEST_F(ComFake, AcceptsTheWholeRangeAndIgnoresWhatFollowsTheNumber) {
  EXPECT_EQ(TKvComAsync::PortNumber("COM1"), 1);
  EXPECT_EQ(TKvComAsync::PortNumber("cOm255"), 255);
  EXPECT_EQ(TKvComAsync::PortNumber("COM007"), 7);
  EXPECT_EQ(TKvComAsync::PortNumber("COM3x"), 3);
  EXPECT_EQ(TKvComAsync::PortNumber("COM12:"), 12);
  // COM3x passes the rule, then the system knows no such device.
  Open("COM3x");
  EXPECT_EQ(Creates(), Lines{"CreateFileA \\\\.\\COM3x overlapped"});
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onOpen 0"}));
  EXPECT_EQ(fake.CallsNamed("GetCommState").size(), 0u);
}

TEST_F(ComFake, RandomNamesNeverOpenAnythingButTheNameThemselves) {
  std::mt19937 random(1234);
  const std::string alphabet = std::string("COMcom0123456789\\.:/ x", 22) + std::string(1, '\0') + "\xff\x01";
  for (int i = 0; i < 3000; ++i) {
    std::string name;
    const int length = static_cast<int>(random() % 9);
    for (int k = 0; k < length; ++k) {
      name += random() % 3 == 0 ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
    }
    if (random() % 2) name.replace(0, std::min<std::size_t>(3, name.size()), "COM");
    fake.ClearCalls();
    journal.Clear();
    Open(name);
    const Lines creates = Creates();
    if (TKvComAsync::PortNumber(name) == 0) {
      EXPECT_TRUE(creates.empty()) << name;
    } else {
      ASSERT_EQ(creates.size(), 1u);
      EXPECT_EQ(creates[0], "CreateFileA \\\\.\\" + name + " overlapped");
      EXPECT_EQ(name.find('\0'), std::string::npos);
    }
    Close();
  }
}

TEST_F(ComFake, ReadsTheNameFromThePointThenThePropertyThenTheIncomingValue) {
  Source fromPoint = Source::String("COM1");
  com->Port = "COM3";
  com->PortPoint = fromPoint.Point();
  Open("COM7");
  EXPECT_EQ(journal.Named("onOpen"), Lines{"onOpen 1"});
  Close();

  com->PortPoint = TEventPoint();
  journal.Clear();
  Open("COM7");
  EXPECT_EQ(journal.Named("onOpen"), Lines{"onOpen 3"});
  Close();

  // From the incoming chain: the name, then DTR, RTS and the rate, each consumed in turn.
  com->Port.clear();
  com->Baud = 0;
  TData baud = IntData(57600), rts = IntData(1), dtr = IntData(2);
  TData in = StrData("COM7");
  in.Next = &dtr;
  dtr.Next = &rts;
  rts.Next = &baud;
  journal.Clear();
  com->doOpen(in, 0);
  EXPECT_EQ(journal.Named("onOpen"), Lines{"onOpen 7"});
  const TDcb dcb = fake.LastDcb();
  EXPECT_EQ(dcb.BaudRate, 57600u);
  EXPECT_EQ(DcbDtrControl(dcb), 2u);
  EXPECT_EQ(DcbRtsControl(dcb), 1u);
}

TEST_F(ComFake, DataPointsOverrideTheLineProperties) {
  Source baud = Source::Integer(115200), dtr = Source::Integer(1), rts = Source::Integer(2);
  com->BaudPoint = baud.Point();
  com->DtrControlPoint = dtr.Point();
  com->RtsControlPoint = rts.Point();
  Open("COM7");
  const TDcb dcb = fake.LastDcb();
  EXPECT_EQ(dcb.BaudRate, 115200u);
  EXPECT_EQ(DcbDtrControl(dcb), 1u);
  EXPECT_EQ(DcbRtsControl(dcb), 2u);
  EXPECT_EQ(baud.reads + dtr.reads + rts.reads, 3);
}

// ---- Open and close --------------------------------------------------------------------

TEST_F(ComFake, OpenCallsTheSystemInItsOrder) {
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  EXPECT_EQ(SetupCalls(), (Lines{"CreateFileA \\\\.\\COM7 overlapped", "GetCommState", "PurgeComm 12",
                                 "SetupComm 4096 4096", "SetCommState 38462", "SetCommTimeouts", "SetCommMask 1",
                                 "CreateThread", "SetThreadPriority highest", "GetCommModemStatus"}));
}

TEST_F(ComFake, ASecondOpenFiresNothing) {
  Open("COM7");
  journal.Clear();
  fake.ClearCalls();
  Open("COM1");
  EXPECT_TRUE(journal.Lines().empty());
  EXPECT_TRUE(Creates().empty());
}

TEST_F(ComFake, OpenReportsTheLinesThatAreOnBeforeTheNumber) {
  fake.SetModemStatus(kMsCtsOn | kMsDsrOn);
  Open("COM7");
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onCTS 1", "onDSR 1", "onOpen 7"}));
  Close();
  fake.SetModemStatus(kMsRlsdOn | kMsRingOn);
  journal.Clear();
  Open("COM7");
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onRLSD 1", "onOpen 7"}));
  Close();
  // Lines that cannot be read (a terminal without modem lines) give no line events.
  fake.SetModemStatus(kMsCtsOn);
  fake.SetFailure("GetCommModemStatus", kErrorNotSupported);
  journal.Clear();
  Open("COM7");
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeOpen", "onOpen 7"}));
}

TEST_F(ComFake, CloseFiresItsEventsInOrderWhateverTheLines) {
  fake.SetModemStatus(kMsCtsOn);
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  journal.Clear();
  fake.ClearCalls();
  Close();
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeClose", "onCTS 0", "onDSR 0", "onRLSD 0", "onClose"}));
  // The output queue is empty: nothing to clear (PURGE_TXABORT | PURGE_RXABORT | PURGE_RXCLEAR).
  EXPECT_EQ(SetupCalls(), (Lines{"SetCommMask 0", "ClearCommError", "PurgeComm 11", "CloseHandle"}));
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  EXPECT_EQ(fake.OpenHandles(), 0);
  EXPECT_FALSE(com->Opened());

  journal.Clear();
  Close();  // closed already: nothing
  EXPECT_TRUE(journal.Lines().empty());
}

TEST_F(ComFake, FlushesBeforeThePurgeOnlyWhenAsked) {
  com->FlushOnClose = true;
  Open("COM7");
  fake.ClearCalls();
  Close();
  EXPECT_EQ(SetupCalls(), (Lines{"SetCommMask 0", "FlushFileBuffers", "ClearCommError", "PurgeComm 11", "CloseHandle"}));
}

TEST_F(ComFake, TheCloseClearsTheOutputQueueOnlyWhenItHoldsBytes) {
  Open("COM7");
  fake.SetOutQueue({17});
  fake.ClearCalls();
  Close();
  EXPECT_EQ(fake.CallsNamed("PurgeComm"), Lines{"PurgeComm 15"});
  // A line that cannot tell its queue (gone): everything is cleared.
  Open("COM7");
  fake.SetOutQueue({});
  fake.SetFailure("ClearCommError", kErrorBadCommand);
  fake.ClearCalls();
  Close();
  EXPECT_EQ(fake.CallsNamed("PurgeComm"), Lines{"PurgeComm 15"});
}

TEST_F(ComFake, AnEmptyEventMaskOpensWithoutAThread) {
  com->EvRxChar = false;
  Open("COM7");
  EXPECT_EQ(journal.Named("onOpen"), Lines{"onOpen 7"});
  EXPECT_TRUE(fake.CallsNamed("CreateThread").empty());
  EXPECT_EQ(fake.CallsNamed("SetCommMask"), Lines{"SetCommMask 0"});
  fake.ClearCalls();
  Close();
  EXPECT_EQ(SetupCalls(), (Lines{"ClearCommError", "PurgeComm 11", "CloseHandle"}));
}

TEST_F(ComFake, DestroyingAnOpenElementClosesIt) {
  Open("COM7");
  journal.Clear();
  com.reset();
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeClose", "onCTS 0", "onDSR 0", "onRLSD 0", "onClose"}));
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  EXPECT_EQ(fake.OpenHandles(), 0);
}

class ComFakeFailingStep : public ComFake, public ::testing::WithParamInterface<std::string> {};

TEST_P(ComFakeFailingStep, ClosesWithItsEventsAndReportsZero) {
  const std::string step = GetParam();
  fake.SetFailure(step, 1117);  // ERROR_IO_DEVICE: no code the element makes up
  fake.SetModemStatus(kMsCtsOn);
  Open("COM7");
  EXPECT_EQ(com->LastOpenError(), 1117u) << step;
  EXPECT_EQ(journal.Lines(),
            (Lines{"onBeforeOpen", "onBeforeClose", "onCTS 0", "onDSR 0", "onRLSD 0", "onClose", "onOpen 0"}));
  EXPECT_EQ(fake.OpenHandles(), 0);
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  EXPECT_FALSE(com->Opened());
  // Each step runs only when the one before it succeeded.
  const Lines calls = SetupCalls();
  const Lines order = {"PurgeComm 12", "SetCommState 38462", "SetCommTimeouts", "SetCommMask 1", "CreateThread"};
  bool after = false;
  for (const std::string& c : order) {
    const bool called = std::find(calls.begin(), calls.end(), c) != calls.end();
    EXPECT_EQ(called, !after) << c;
    if (c.compare(0, step.size(), step) == 0) after = true;
  }
  // The element is usable again.
  fake.ClearFailures();
  journal.Clear();
  Open("COM7");
  EXPECT_EQ(journal.Named("onOpen"), Lines{"onOpen 7"});
}

INSTANTIATE_TEST_SUITE_P(EverySetupStep, ComFakeFailingStep,
                         ::testing::Values("PurgeComm", "SetCommState", "SetCommTimeouts", "SetCommMask",
                                           "CreateThread"));

TEST_F(ComFake, SetupCommFailingIsNoFailure) {
  fake.SetFailure("SetupComm", kErrorGenFailure);
  Open("COM7");
  EXPECT_EQ(journal.Named("onOpen"), Lines{"onOpen 7"});
  EXPECT_EQ(com->LastOpenError(), 0u);
}

TEST_F(ComFake, KeepsTheErrorCodeOfTheLastFailedOpenUntilAnOpenSucceeds) {
  EXPECT_EQ(com->LastOpenError(), 0u);
  Open("COM9");  // no such device
  EXPECT_EQ(com->LastOpenError(), kErrorFileNotFound);
  Open("LPT1");  // no COM name: the system is not asked
  EXPECT_EQ(com->LastOpenError(), kErrorInvalidName);
  fake.SetFailure("CreateFileA", kErrorSharingViolation);
  Open("COM7");
  EXPECT_EQ(com->LastOpenError(), kErrorSharingViolation);
  fake.SetFailure("CreateFileA", 0);  // a failure without a code still reads as one
  Open("COM7");
  EXPECT_NE(com->LastOpenError(), 0u);
  EXPECT_FALSE(com->Opened());
  fake.ClearFailures();
  Open("COM7");
  EXPECT_TRUE(com->Opened());
  EXPECT_EQ(com->LastOpenError(), 0u);
  // An open while open changes nothing; neither does the close.
  Open("COM9");
  EXPECT_EQ(com->LastOpenError(), 0u);
  Close();
  EXPECT_EQ(com->LastOpenError(), 0u);
  // Another element holding the port: access denied, as without sharing on Windows.
  TObjPtr<TKvComAsync> other(New<TKvComAsync>());
  SetProgramProperties(other.get());
  Open("COM7");
  TData name = StrData("COM7");
  other->doOpen(name, 0);
  EXPECT_EQ(other->LastOpenError(), kErrorAccessDenied);
  EXPECT_EQ(com->LastOpenError(), 0u);
}

// ---- Line settings ---------------------------------------------------------------------

TEST_F(ComFake, BuildsTheProgramsLineSettings) {
  Open("COM7");
  const TDcb dcb = fake.LastDcb();
  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(dcb.BaudRate, 38462u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, 0);
  EXPECT_EQ(dcb.StopBits, 0);
  EXPECT_EQ(dcb.XonLim, 1024);
  EXPECT_EQ(dcb.XoffLim, 1024);
  EXPECT_EQ(dcb.XonChar, 17);
  EXPECT_EQ(dcb.XoffChar, 19);
  EXPECT_EQ(dcb.EvtChar, 0);
  // The flag word is rebuilt: fBinary and fAbortOnError only, nothing kept from the driver.
  EXPECT_EQ(dcb.Flags, kDcbBinary | kDcbAbortOnError);
  // Fields the element does not set keep the driver's values.
  EXPECT_EQ(dcb.ErrorChar, '?');
  EXPECT_EQ(dcb.EofChar, 26);
  EXPECT_EQ(dcb.wReserved1, 7);

  const TCommTimeouts t = fake.LastTimeouts();
  EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST_F(ComFake, MapsEveryFlagPropertyToItsBit) {
  com->Parity = 2;
  com->StopBits = 2;
  com->DataBits = 2;
  com->EventChar = 0x7E;
  com->DiscardNull = true;
  com->AbortOnError = false;
  com->ParityCheck = true;
  com->ReplaceErrors = true;
  com->ErrorChar = 0x21;
  com->DsrSensitivity = true;
  com->CtsFlow = true;
  com->DsrFlow = true;
  com->TxContinueOnXoff = true;
  com->XonXoffIn = true;
  com->XonXoffOut = true;
  com->DtrControl = 2;
  com->RtsControl = 3;
  com->InQueue = 1003;
  Open("COM7");
  const TDcb dcb = fake.LastDcb();
  EXPECT_EQ(dcb.Flags, kDcbBinary | kDcbParity | kDcbOutxCtsFlow | kDcbOutxDsrFlow | (2u << kDcbDtrControlShift) |
                           kDcbDsrSensitivity | kDcbTxContinueOnXoff | kDcbOutX | kDcbInX | kDcbErrorChar |
                           kDcbNull | (3u << kDcbRtsControlShift));
  EXPECT_EQ(dcb.ErrorChar, 0x21);
  EXPECT_EQ(dcb.Parity, 2);
  EXPECT_EQ(dcb.StopBits, 2);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.EvtChar, 0x7E);
  EXPECT_EQ(dcb.XonLim, 250);
}

TEST_F(ComFake, ReplaceErrorsCountsOnlyWithParityCheckAndBadControlValuesCountAsZero) {
  com->ReplaceErrors = true;
  com->ErrorChar = 0x21;
  com->DtrControl = 3;
  com->RtsControl = 4;
  Open("COM7");
  const TDcb dcb = fake.LastDcb();
  EXPECT_EQ(dcb.Flags & (kDcbErrorChar | kDcbParity), 0u);
  EXPECT_EQ(dcb.ErrorChar, '?');
  EXPECT_EQ(DcbDtrControl(dcb), 0u);
  EXPECT_EQ(DcbRtsControl(dcb), 0u);
}

TEST_F(ComFake, TheEventMaskIsTheSumOfTheWatchedEvents) {
  com->EvRxChar = com->EvRxFlag = com->EvTxEmpty = com->EvCTS = com->EvDSR = true;
  com->EvRLSD = com->EvBreak = com->EvErr = com->EvRing = com->EvRx80Full = true;
  Open("COM7");
  EXPECT_EQ(com->EventMask(), 0x05FFu);
  EXPECT_EQ(fake.CallsNamed("SetCommMask").front(), "SetCommMask 1535");
}

// ---- Reader thread ---------------------------------------------------------------------

TEST_F(ComFake, ReceivedBytesReachOnReadWhenOnRxCharIsWiredToDoRead) {
  com->onRxChar = MakePoint<&TKvComAsync::doRead>(0, com.get());
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  const std::string bytes("A\0B\xff\0", 5);
  fake.Receive(bytes);
  fake.PostEvents(kEvRxChar);
  ASSERT_TRUE(journal.AwaitReceived(5));
  EXPECT_EQ(journal.Chunks(), Lines{bytes});
  EXPECT_EQ(fake.CallsNamed("ReadFile"), Lines{"ReadFile 5"});
}

TEST_F(ComFake, HandlesTheEventBitsOfOneWakeUpInTheirFixedOrder) {
  com->EvRxChar = com->EvRxFlag = com->EvTxEmpty = com->EvCTS = com->EvDSR = true;
  com->EvRLSD = com->EvBreak = com->EvErr = com->EvRing = com->EvRx80Full = true;
  fake.SetModemStatus(kMsDsrOn);
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  journal.Clear();
  fake.Receive("xyz");
  fake.PostEvents(0x05FF);
  ASSERT_TRUE(fake.AwaitWaits(2));
  EXPECT_EQ(journal.Lines(), (Lines{"onRxChar 3", "onTxEmpty", "onBreak", "onRing", "onCTS 0", "onDSR 1", "onRxFlag",
                                    "onRLSD 0", "onError", "onRx80Full"}));
}

TEST_F(ComFake, AbortOnErrorKeepsTheErrorListButStillReportsTheError) {
  com->EvErr = true;
  com->ParityCheck = true;
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  fake.SetLineErrors(kCeFrame | kCeRxParity);
  fake.PostEvents(kEvErr);
  ASSERT_TRUE(journal.AwaitLine("onError"));
  ASSERT_TRUE(fake.AwaitWaits(2));
  EXPECT_EQ(com->Errors()->Count, 0);
}

TEST_F(ComFake, TheErrorListHoldsTheTextsOfTheLastErrorEvent) {
  com->EvErr = true;
  com->AbortOnError = false;
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  fake.SetLineErrors(0xFFFFFFFFu);
  fake.PostEvents(kEvErr);
  ASSERT_TRUE(fake.AwaitWaits(2));
  // Without ParityCheck the parity error is not listed.
  EXPECT_EQ(com->Errors()->GetText(),
            "Receive Framing Error\r\nReceive Overrun Error\r\nReceive Queue overflow\r\nTX Queue is full\r\n"
            "Break Detected\r\nPort I/O Error\r\nRequested mode unsupported\r\n");
  Close();
  com->ParityCheck = true;
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(3));
  fake.SetLineErrors(kCeRxParity | kCeBreak);
  fake.PostEvents(kEvErr);
  ASSERT_TRUE(fake.AwaitWaits(4));
  EXPECT_EQ(com->Errors()->GetText(), "Receive Parity Error\r\nBreak Detected\r\n");
}

TEST_F(ComFake, WaitsAbortedAsUnderWineLoseNothingAndDoNotEndTheReader) {
  fake.wineAborts = true;
  com->onRxChar = MakePoint<&TKvComAsync::doRead>(0, com.get());
  Open("COM7");
  std::string sent;
  for (int i = 0; i < 20; ++i) {
    const std::string chunk = "chunk" + std::to_string(i) + ";";
    fake.Receive(chunk);
    fake.PostEvents(kEvRxChar);
    sent += chunk;
    ASSERT_TRUE(journal.AwaitReceived(sent.size()));
  }
  EXPECT_EQ(journal.Received(), sent);
  Close();
  EXPECT_EQ(fake.ThreadsRunning(), 0);
}

// ---- Where a received chunk ends (the fake's clock moves only with the reader's pauses) ----

TEST_F(ComFake, AReplyArrivingByteByByteAtTheLineRateIsOneChunk) {
  for (const bool wine : {false, true}) {
    SCOPED_TRACE(wine ? "waits aborted as under wine" : "waits as on a port");
    fake.wineAborts = wine;
    journal.Clear();
    // A native UART wakes the reader at the first byte; the others follow 260 us apart.
    const std::uint64_t t0 = OpenReading();
    const std::string reply = "ZORVANTIQUE TPX2 6.0";
    fake.Receive(reply.substr(0, 1));
    for (std::size_t i = 1; i < reply.size(); ++i) fake.ReceiveAt(t0 + 260 * i, reply.substr(i, 1));
    fake.PostEvents(kEvRxChar);
    ASSERT_TRUE(journal.AwaitReceived(reply.size()));
    EXPECT_EQ(journal.Chunks(), Lines{reply});
    EXPECT_EQ(fake.CallsNamed("ReadFile"), Lines{"ReadFile " + std::to_string(reply.size())});
    fake.ClearCalls();
    // Handed on three character times after the last byte, at most one look later.
    const std::uint64_t last = t0 + 260 * (reply.size() - 1);
    EXPECT_GE(fake.FakeNow(), last + 780);
    EXPECT_LE(fake.FakeNow(), last + 780 + 100);
    Close();
  }
}

TEST_F(ComFake, APauseInsideAReplyStillMakesTwoChunks) {
  const std::uint64_t t0 = OpenReading();
  fake.Receive("O");
  fake.ReceiveAt(t0 + 260, "K");
  fake.ReceiveAt(t0 + 260 + 5000, "!!");  // 5 ms later: a chunk of its own
  fake.PostEvents(kEvRxChar);
  ASSERT_TRUE(journal.AwaitReceived(2));
  ASSERT_TRUE(fake.AwaitWaits(2));
  EXPECT_EQ(journal.Chunks(), Lines{"OK"});
  EXPECT_LT(fake.FakeNow(), t0 + 5260);
  fake.PauseMicros(6000);  // the line's time goes on: the rest arrives
  fake.PostEvents(kEvRxChar);
  ASSERT_TRUE(journal.AwaitReceived(4));
  EXPECT_EQ(journal.Chunks(), (Lines{"OK", "!!"}));
}

TEST_F(ComFake, AFullInputQueueIsHandedOnWithoutWaiting) {
  com->InQueue = 8;
  const std::uint64_t t0 = OpenReading();
  fake.Receive("12345678");
  fake.ReceiveAt(t0 + 100, "9");
  fake.PostEvents(kEvRxChar);
  ASSERT_TRUE(journal.AwaitReceived(8));
  ASSERT_TRUE(fake.AwaitWaits(2));
  EXPECT_EQ(journal.Chunks(), Lines{"12345678"});
  EXPECT_EQ(fake.FakeNow(), t0);
}

TEST_F(ComFake, ACloseEndsTheWaitForALineThatNeverGoesQuiet) {
  const std::uint64_t t0 = OpenReading();
  fake.Receive("x");
  for (std::uint64_t i = 1; i <= 200000; ++i) fake.ReceiveAt(t0 + 200 * i, "x");  // 40 s of bytes
  // The line stands still 10 ms in, while bytes keep coming, long before the input queue is
  // full: however late this thread gets to the close, the reader is still waiting then.
  fake.HoldClockAt(t0 + 10000);
  fake.PostEvents(kEvRxChar);
  while (fake.FakeNow() < t0 + 10000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  Close();
  EXPECT_FALSE(com->Opened());
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  EXPECT_TRUE(journal.Chunks().empty());
}

TEST_F(ComFake, LineErrorsClearedWhileWaitingForTheQuietAreStillListed) {
  com->EvErr = true;
  com->AbortOnError = false;
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  fake.SetLineErrors(kCeFrame | kCeOverrun);
  fake.Receive("a");
  fake.PostEvents(kEvRxChar | kEvErr);
  ASSERT_TRUE(journal.AwaitLine("onError"));
  EXPECT_EQ(com->Errors()->GetText(), "Receive Framing Error\r\nReceive Overrun Error\r\n");
}

TEST_F(ComFake, AFailedWaitEndsTheReaderAndTheElementStaysUsable) {
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  fake.SetFailure("WaitCommEvent", kErrorBadCommand);  // the device went away
  fake.PostEvents(kEvRxChar);
  Eventually([&] { return fake.ThreadsRunning() == 0; });
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  fake.ClearFailures();
  journal.Clear();
  Close();
  EXPECT_EQ(journal.Lines(), (Lines{"onBeforeClose", "onCTS 0", "onDSR 0", "onRLSD 0", "onClose"}));
  Open("COM7");
  EXPECT_EQ(journal.Named("onOpen"), Lines{"onOpen 7"});
}

TEST_F(ComFake, AHandlerOnTheReaderThreadMayCloseAndReopen) {
  int rounds = 0;
  journal.Wire(com->onRxChar, "onRxChar", [&](TData&) {
    TData none;
    com->doClose(none, 0);
    if (++rounds == 1) {
      TData name = StrData("COM7");
      com->doOpen(name, 0);
    }
  });
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  fake.PostEvents(kEvRxChar);
  ASSERT_TRUE(journal.AwaitLines([](const Lines& ls) { return std::count(ls.begin(), ls.end(), "onOpen 7") == 2; }));
  ASSERT_TRUE(fake.AwaitWaits(2));
  fake.PostEvents(kEvRxChar);
  ASSERT_TRUE(journal.AwaitLines([](const Lines& ls) { return std::count(ls.begin(), ls.end(), "onClose") == 2; }));
  EXPECT_FALSE(com->Opened());
  com.reset();
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  EXPECT_EQ(fake.OpenHandles(), 0);
}

TEST_F(ComFake, AHandlerClosingWhileAnotherThreadClosesDoesNotWaitForIt) {
  std::mutex m;
  std::condition_variable cv;
  bool inHandler = false, closing = false;
  journal.Wire(com->onBeforeClose, "onBeforeClose", [&](TData&) {
    std::lock_guard<std::mutex> lock(m);
    closing = true;
    cv.notify_all();
  });
  journal.Wire(com->onRxChar, "onRxChar", [&](TData&) {
    std::unique_lock<std::mutex> lock(m);
    inHandler = true;
    cv.notify_all();
    cv.wait_for(lock, std::chrono::seconds(10), [&] { return closing; });
    lock.unlock();
    TData none;
    com->doClose(none, 0);  // the main thread is closing and waits for this thread
  });
  Open("COM7");
  ASSERT_TRUE(fake.AwaitWaits(1));
  fake.PostEvents(kEvRxChar);
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return inHandler; }));
  }
  Close();
  EXPECT_EQ(journal.Named("onClose").size(), 1u);
  EXPECT_EQ(fake.ThreadsRunning(), 0);
}

TEST_F(ComFake, AHandlerOnTheReaderThreadMayFreeTheElement) {
  TKvComAsync* raw = com.release();
  journal.Wire(raw->onRxChar, "onRxChar", [raw](TData&) { Free(raw); });
  TData name = StrData("COM7");
  raw->doOpen(name, 0);
  ASSERT_TRUE(fake.AwaitWaits(1));
  fake.PostEvents(kEvRxChar);
  ASSERT_TRUE(journal.AwaitLine("onClose"));
  Eventually([&] { return fake.ThreadsRunning() == 0; });
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  EXPECT_EQ(fake.OpenHandles(), 0);
}

// ---- Write and read --------------------------------------------------------------------

TEST_F(ComFake, WritesTheTextOfAnyValue) {
  TData d = IntData(-42);
  com->doWrite(d, 0);  // closed: nothing
  EXPECT_TRUE(journal.Lines().empty());
  Open("COM7");
  journal.Clear();
  com->doWrite(d, 0);
  TData s = StrData(std::string("V\0S", 3));
  com->doWrite(s, 0);
  EXPECT_EQ(fake.Written(), std::string("-42V\0S", 6));
  EXPECT_EQ(journal.Lines(), (Lines{"onWrite 3", "onWrite 3"}));

}

// ---- Write failures and the drain ------------------------------------------------------

TEST_F(ComFake, TheFirstFailedWriteEndsTheWriteSideUntilTheNextOpen) {
  struct Case {
    const char* name;
    std::function<void()> arrange;
    Lines events;  // of the failing write
  };
  const std::vector<Case> cases = {
      {"refused", [&] { fake.SetFailure("WriteFile", kErrorInvalidHandle); }, {"onWriteError 6"}},
      {"failed completion", [&] { fake.SetFailure("GetOverlappedResult", kErrorGenFailure); },
       {"onWrite 0", "onWriteError 31"}},
      {"timed out", [&] { fake.SetWrites(FakeComm::WriteMode::Done, 0); }, {"onWrite 0", "onWriteError 0"}},
      {"short", [&] { fake.SetWrites(FakeComm::WriteMode::Done, 2); }, {"onWrite 2", "onWriteError 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Open("COM7");
    TData first = StrData("ab");
    com->doWrite(first, 0);
    c.arrange();
    journal.Clear();
    const std::string before = fake.Written();
    TData failing = StrData("xyz");
    com->doWrite(failing, 0);
    EXPECT_EQ(journal.Lines(), c.events);
    // The line works again, but the element sends nothing more on this open port: no
    // later byte can follow a hole.
    fake.ClearFailures();
    fake.SetWrites(FakeComm::WriteMode::Done);
    const std::string afterFailure = fake.Written();
    fake.ClearCalls();
    journal.Clear();
    for (const char* text : {"1", "23"}) {
      TData d = StrData(text);
      com->doWrite(d, 0);
    }
    EXPECT_EQ(journal.Lines(), (Lines{"onWrite 0", "onWrite 0"}));
    EXPECT_TRUE(fake.CallsNamed("WriteFile").empty());
    EXPECT_EQ(fake.Written(), afterFailure);
    EXPECT_EQ(afterFailure.substr(0, before.size()), before);
    EXPECT_LE(afterFailure.size() - before.size(), 3u);  // at most the failing write's own bytes
    Close();
    // A new open starts clean.
    Open("COM7");
    journal.Clear();
    TData again = StrData("ok");
    com->doWrite(again, 0);
    EXPECT_EQ(journal.Lines(), Lines{"onWrite 2"});
    Close();
  }
}

TEST_F(ComFake, AWriteTheLineHoldsIsCancelledSoonAfterItsTimeOut) {
  com->WriteTotalConstant = 20;
  com->WriteTotalMultiplier = 0;
  Open("COM7");
  fake.SetWrites(FakeComm::WriteMode::Hang);
  journal.Clear();
  TData d = StrData("x");
  com->doWrite(d, 0);  // 20 ms of time-out that the line does not honour, then the margin
  EXPECT_EQ(journal.Lines(), (Lines{"onWrite 0", "onWriteError 995"}));
  EXPECT_EQ(fake.CallsNamed("CancelIoEx").size(), 1u);
}

TEST_F(ComFake, ACloseFromAnotherThreadEndsAHeldWriteEvenWhereThePurgeAbortsNothing) {
  for (const bool purgeAborts : {true, false}) {
    SCOPED_TRACE(purgeAborts ? "purge aborts" : "purge only flushes");
    com->WriteTotalConstant = 0;  // no time-out: only the close can end the write
    com->WriteTotalMultiplier = 0;
    Open("COM7");
    fake.SetWrites(FakeComm::WriteMode::Hang, 0xFFFFFFFFu, purgeAborts);
    journal.Clear();
    fake.ClearCalls();
    std::thread writer([&] {
      TData d = StrData("x");
      com->doWrite(d, 0);
    });
    ASSERT_TRUE(Eventually([&] { return !fake.CallsNamed("WriteFile").empty(); }));
    std::thread closer([&] { Close(); });
    const bool closed = journal.AwaitLine("onClose");
    if (!closed) fake.EndHungWrites();
    closer.join();
    writer.join();
    EXPECT_TRUE(closed);
    Lines writes;
    for (const std::string& l : journal.Lines())
      if (l.rfind("onWrite", 0) == 0) writes.push_back(l);
    EXPECT_EQ(writes, (Lines{"onWrite 0", "onWriteError 995"}));
    fake.SetWrites(FakeComm::WriteMode::Done);
  }
}

TEST_F(ComFake, DrainedWaitsForTheOutputQueueAndAnswersForTheWholeOpen) {
  auto drained = [&] {
    TData d;
    com->Drained(d, 0);
    EXPECT_TRUE(IsInteger(d));
    return AsInteger(d);
  };
  EXPECT_EQ(drained(), 0);  // not open
  com->DrainTimeout = 10000;
  Open("COM7");
  fake.SetOutQueue({300, 120, 1, 0});
  fake.ClearCalls();
  EXPECT_EQ(drained(), 1);
  EXPECT_EQ(fake.CallsNamed("ClearCommError").size(), 4u);

  // A queue that does not move answers 0 once the time is up.
  com->DrainTimeout = 30;
  fake.SetOutQueue({64});
  EXPECT_EQ(drained(), 0);
  fake.SetOutQueue({});
  EXPECT_EQ(drained(), 1);
  fake.SetFailure("ClearCommError", kErrorBadCommand);
  EXPECT_EQ(drained(), 0);
  fake.ClearFailures();

  // After a failed write the queue's state no longer matters.
  fake.SetWrites(FakeComm::WriteMode::Done, 0);
  TData d = StrData("x");
  com->doWrite(d, 0);
  EXPECT_EQ(drained(), 0);
  Close();
  EXPECT_EQ(drained(), 0);
  fake.SetWrites(FakeComm::WriteMode::Done);
  Open("COM7");
  EXPECT_EQ(drained(), 1);
}

TEST_F(ComFake, ReadsAtMostWhatIsWaiting) {
  com->EvRxChar = false;
  Open("COM7");
  journal.Clear();
  fake.Receive("hello");
  TData n = IntData(0x7FFFFFFF);
  com->doRead(n, 0);  // a huge count: a buffer for the five bytes waiting
  EXPECT_EQ(fake.CallsNamed("ReadFile"), Lines{"ReadFile 5"});
  fake.Receive("abcdef");
  TData two = IntData(2);
  com->doRead(two, 0);
  EXPECT_EQ(journal.Chunks(), (Lines{"hello", "ab"}));

  // Nothing asked for, or nothing waiting: no read and no empty chunk.
  fake.ClearCalls();
  for (std::int32_t count : {0, -1, -2147483647 - 1}) {
    TData c = IntData(count);
    com->doRead(c, 0);
  }
  TData all = IntData(100);
  com->doRead(all, 0);  // "cdef"
  com->doRead(all, 0);  // nothing left
  EXPECT_EQ(fake.CallsNamed("ReadFile"), Lines{"ReadFile 4"});
  EXPECT_EQ(journal.Chunks(), (Lines{"hello", "ab", "cdef"}));

  // A failed completion reports an empty chunk; a refused read reports nothing.
  fake.Receive("zz");
  fake.SetFailure("GetOverlappedResult", kErrorOperationAborted);
  com->doRead(all, 0);
  fake.ClearFailures();
  fake.SetFailure("ReadFile", kErrorInvalidHandle);
  com->doRead(all, 0);
  EXPECT_EQ(journal.Chunks(), (Lines{"hello", "ab", "cdef", ""}));
  Close();
  fake.ClearFailures();
  fake.Receive("late");
  com->doRead(all, 0);  // closed: nothing
  EXPECT_EQ(journal.Chunks().size(), 4u);
}

// ---- Port list -------------------------------------------------------------------------

TEST_F(ComFake, ListsThePortsInRegistryOrder) {
  com->CheckPorts = false;
  fake.registry = {{"\\Device\\Serial9", kRegSz, std::string("COM9\0", 5)},
                   {"\\Device\\Serial1", kRegSz, std::string("COM1\0", 5)},
                   {"\\Device\\VSerial", kRegSz, "COM1"},  // stored without its terminator
                   {"Long\\Device\\Name", kRegSz, std::string("COM12\0junk", 10)}};
  TData d;
  com->doEnumPorts(d, 0);
  EXPECT_EQ(journal.Lines(), (Lines{"onEnumPorts COM9", "onEnumPorts COM1", "onEnumPorts COM1", "onEnumPorts COM12"}));
  EXPECT_TRUE(Creates().empty());
  EXPECT_EQ(fake.Calls().back(), "RegCloseKey");
}

TEST_F(ComFake, WithCheckPortsListsOnlyPortsThatOpenAndNotTheOneItHolds) {
  fake.registry = {{"a", kRegSz, std::string("COM7\0", 5)},
                   {"b", kRegSz, std::string("COM2\0", 5)},
                   {"c", kRegSz, std::string("COM1\0", 5)}};
  TData d;
  com->doEnumPorts(d, 0);
  EXPECT_EQ(journal.Lines(), (Lines{"onEnumPorts COM7", "onEnumPorts COM1"}));
  EXPECT_EQ(Creates(), (Lines{"CreateFileA \\\\.\\COM7", "CreateFileA \\\\.\\COM2", "CreateFileA \\\\.\\COM1"}));
  EXPECT_EQ(fake.OpenHandles(), 0);

  Open("COM7");
  journal.Clear();
  com->doEnumPorts(d, 0);
  EXPECT_EQ(journal.Lines(), Lines{"onEnumPorts COM1"});
}

TEST_F(ComFake, TheListEndsAtAValueThatIsNoText) {
  com->CheckPorts = false;
  fake.registry = {{"a", kRegSz, std::string("COM7\0", 5)},
                   {"b", 4 /* REG_DWORD */, std::string("\1\0\0\0", 4)},
                   {"c", kRegSz, std::string("COM1\0", 5)}};
  TData d;
  com->doEnumPorts(d, 0);
  EXPECT_EQ(journal.Lines(), Lines{"onEnumPorts COM7"});
  EXPECT_EQ(fake.Calls().back(), "RegCloseKey");
}

TEST_F(ComFake, NoKeyOrNoValuesListNothing) {
  fake.registryMissing = true;
  TData d;
  com->doEnumPorts(d, 0);
  EXPECT_TRUE(journal.Lines().empty());
  EXPECT_TRUE(fake.CallsNamed("RegCloseKey").empty());
  fake.registryMissing = false;
  com->doEnumPorts(d, 0);
  EXPECT_TRUE(journal.Lines().empty());
  EXPECT_EQ(fake.Calls().back(), "RegCloseKey");
}

}  // namespace
