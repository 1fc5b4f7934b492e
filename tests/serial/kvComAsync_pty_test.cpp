// The serial element with real I/O on a pseudo-terminal (POSIX build): a device inside the
// test sits on the master end, the element opens the slave end through its COM name.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "serial/kvComAsync.h"
#include "tests/serial/pty_device.h"
#include "tests/serial/serial_test_support.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;
using Lines = std::vector<std::string>;

class ComPty : public ::testing::Test {
 protected:
  EventsOnScope events;
  PtyDevice device;
  Journal journal;
  TObjPtr<TKvComAsync> com{New<TKvComAsync>()};

  void SetUp() override {
    SetProgramProperties(com.get());
    journal.Attach(com.get());
    com->onRxChar = MakePoint<&TKvComAsync::doRead>(0, com.get());
  }
  int Open(TKvComAsync* e, const std::string& name) {
    journal.Clear();
    TData d = StrData(name);
    e->doOpen(d, 0);
    const Lines opens = journal.Named("onOpen");
    return opens.empty() ? -1 : std::stoi(opens.back().substr(7));
  }
  int Open() { return Open(com.get(), device.com()); }
  void Close() {
    TData d;
    com->doClose(d, 0);
  }
  void Write(const std::string& s) {
    TData d = StrData(s);
    com->doWrite(d, 0);
  }
  static bool NoEmptyChunk(const Lines& chunks) {
    return std::none_of(chunks.begin(), chunks.end(), [](const std::string& c) { return c.empty(); });
  }
};

TEST_F(ComPty, OpensThePortByItsComNameAndAsksTheDevice) {
  device.StartDevice();
  ASSERT_FALSE(device.com().empty());
  EXPECT_EQ(Open(), std::stoi(device.com().substr(3)));
  EXPECT_EQ(journal.Lines().front(), "onBeforeOpen");  // a terminal has no modem lines
  EXPECT_EQ(com->LineSettings().BaudRate, 38462u);
  Write("VERS");
  EXPECT_EQ(journal.Named("onWrite"), Lines{"onWrite 4"});
  ASSERT_TRUE(journal.AwaitReceived(20));
  EXPECT_EQ(journal.Received(), "ZORVANTIQUE TPX2 6.0");
  EXPECT_TRUE(NoEmptyChunk(journal.Chunks()));
  // Every onRxChar reported what then was read, and nothing else was read.
  Close();
  EXPECT_EQ(journal.Lines().back(), "onClose");
}

TEST_F(ComPty, DeliversEveryByteOnceAndInOrderNulIncluded) {
  ASSERT_EQ(Open(), std::stoi(device.com().substr(3)));
  std::string sent;
  for (int round = 0; round < 40; ++round) {
    std::string chunk;
    for (int b = 0; b < 256; ++b) chunk += static_cast<char>((b + round) & 0xFF);
    chunk += std::string(round % 5, '\0');
    device.Write(chunk);
    sent += chunk;
    if (round % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(journal.AwaitReceived(sent.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(journal.Received(), sent);
  EXPECT_TRUE(NoEmptyChunk(journal.Chunks()));
}

TEST_F(ComPty, TheDeviceSeesExactlyWhatWasWritten) {
  ASSERT_GT(Open(), 0);
  const std::string bytes("\0\x01\xff\r\nVERS\0", 10);
  Write(bytes);
  TData n = IntData(1234567);
  com->doWrite(n, 0);
  EXPECT_EQ(device.Read(17), bytes + "1234567");
  EXPECT_EQ(journal.Named("onWrite"), (Lines{"onWrite 10", "onWrite 7"}));
}

TEST_F(ComPty, ThePortIsHeldExclusively) {
  ASSERT_GT(Open(), 0);
  TObjPtr<TKvComAsync> other{New<TKvComAsync>()};
  SetProgramProperties(other.get());
  other->onOpen = com->onOpen;
  EXPECT_EQ(Open(other.get(), device.com()), 0);
  // The port list leaves out the port that is held, and lists it once it is free.
  auto listed = [&] {
    journal.Clear();
    TData d;
    com->doEnumPorts(d, 0);
    return journal.Named("onEnumPorts " + device.com()).size();
  };
  EXPECT_EQ(listed(), 0u);
  Close();
  EXPECT_EQ(listed(), 1u);
  com->CheckPorts = false;
  EXPECT_EQ(listed(), 1u);
}

TEST_F(ComPty, ClosesWhileDataArrives) {
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    while (flooding) {
      device.Write(std::string(64, 'z'));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  for (int i = 0; i < 5; ++i) {
    ASSERT_GT(Open(), 0);
    ASSERT_TRUE(journal.AwaitReceived(64));
    Close();
    EXPECT_EQ(journal.Lines().back(), "onClose");
    EXPECT_FALSE(com->Opened());
  }
  flooding = false;
  flood.join();
}

TEST_F(ComPty, AHandlerOfOnReadMayCloseThePort) {
  journal.Wire(com->onRead, "onRead", [this](TData&) {
    TData none;
    com->doClose(none, 0);
  });
  ASSERT_GT(Open(), 0);
  device.Write("first");
  ASSERT_TRUE(journal.AwaitLine("onClose"));
  EXPECT_FALSE(com->Opened());
  EXPECT_EQ(journal.Chunks(), Lines{"first"});
  // Usable again at once.
  journal.Wire(com->onRead, "onRead");
  ASSERT_GT(Open(), 0);
  device.Write("second");
  ASSERT_TRUE(journal.AwaitReceived(6));
  EXPECT_EQ(journal.Received(), "second");
}

TEST_F(ComPty, AHandlerOfOnReadMayFreeTheElement) {
  // The thread lets go of the element on its own, unjoined: what its handler uses must
  // outlive the test.
  static Journal* const own = new Journal;
  TKvComAsync* raw = com.release();
  own->Attach(raw);
  raw->onRxChar = MakePoint<&TKvComAsync::doRead>(0, raw);
  own->Wire(raw->onRead, "onRead", [raw](TData&) { Free(raw); });
  TData name = StrData(device.com());
  raw->doOpen(name, 0);
  ASSERT_EQ(own->Named("onOpen").size(), 1u);
  const int tasks = CountEntries("/proc/self/task") - 1;  // without the reader thread
  device.Write("bye");
  ASSERT_TRUE(own->AwaitLine("onClose"));
  // The thread ends by itself once the handler has returned.
  for (int i = 0; i < 2000 && CountEntries("/proc/self/task") > tasks; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
}

TEST_F(ComPty, OpenAndCloseLeaveNoDescriptorOrThreadBehind) {
  ASSERT_GT(Open(), 0);  // first use of everything (sanitizer threads, caches)
  Close();
  const int fds = CountEntries("/proc/self/fd");
  const int tasks = CountEntries("/proc/self/task");
  device.StartEcho();
  for (int i = 0; i < 100; ++i) {
    ASSERT_GT(Open(), 0) << "cycle " << i;
    if (i % 10 == 0) {
      Write("ping");
      ASSERT_TRUE(journal.AwaitReceived(4));
    }
    Close();
  }
  device.StopResponder();
  EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
  EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
}

TEST_F(ComPty, AVanishedDeviceEndsTheReaderAndTheElementStaysUsable) {
  ASSERT_GT(Open(), 0);
  const int tasks = CountEntries("/proc/self/task") - 1;  // without the reader thread
  device.Write("abc");
  ASSERT_TRUE(journal.AwaitReceived(3));
  const std::string com1 = device.com();
  device.Hangup();
  for (int i = 0; i < 2000 && CountEntries("/proc/self/task") > tasks; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
  EXPECT_TRUE(com->Opened());
  Write("lost");  // no crash; the failure shows as no event or onWrite 0
  Close();
  EXPECT_EQ(journal.Lines().back(), "onClose");

  PtyDevice again;
  again.StartDevice();
  ASSERT_GT(Open(com.get(), again.com()), 0);
  Write("VERS");
  ASSERT_TRUE(journal.AwaitReceived(20));
  EXPECT_EQ(journal.Received(), "ZORVANTIQUE TPX2 6.0");
}

TEST_F(ComPty, WritesFromSeveralThreadsBesideTheReader) {
  device.StartEcho();
  ASSERT_GT(Open(), 0);
  auto writer = [this](char c) {
    for (int i = 0; i < 300; ++i) {
      TData d = StrData(std::string(1, c));
      com->doWrite(d, 0);
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  writer('c');
  a.join();
  b.join();
  ASSERT_TRUE(journal.AwaitReceived(900));
  const std::string got = journal.Received();
  EXPECT_EQ(std::count(got.begin(), got.end(), 'a'), 300);
  EXPECT_EQ(std::count(got.begin(), got.end(), 'b'), 300);
  EXPECT_EQ(std::count(got.begin(), got.end(), 'c'), 300);
  EXPECT_EQ(journal.Named("onWrite 1").size(), 900u);
}

TEST_F(ComPty, ReadsOnlyWhatIsWaitingWhateverTheCount) {
  com->EvRxChar = false;  // no reader thread: the test reads
  ASSERT_GT(Open(), 0);
  TData huge = IntData(0x7FFFFFFF);
  com->doRead(huge, 0);  // nothing waiting: nothing read, no empty chunk, no waiting
  EXPECT_TRUE(journal.Chunks().empty());
  device.Write(std::string("ab\0cd", 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  TData three = IntData(3);
  com->doRead(three, 0);
  com->doRead(huge, 0);
  EXPECT_EQ(journal.Chunks(), (Lines{std::string("ab\0", 3), "cd"}));
}

TEST_F(ComPty, UnknownAndMalformedNamesOpenNothing) {
  for (const std::string& name : {std::string("COM256"), std::string("COM0"), std::string("COM") + "1\0",
                                  device.com() + "x", std::string("COM255")}) {
    if (name == device.com()) continue;
    EXPECT_EQ(Open(com.get(), name), 0) << name;
  }
  // The same number with a leading zero is not the same device name.
  EXPECT_EQ(Open(com.get(), "COM0" + device.com().substr(3)), 0);
}

}  // namespace
