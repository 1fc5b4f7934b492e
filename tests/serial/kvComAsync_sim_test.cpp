// The serial element against the device simulator on a pseudo-terminal (POSIX build).
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "platform/comm.h"
#include "serial/kvComAsync.h"
#include "tests/serial/pty_device.h"
#include "tests/serial/serial_test_support.h"
#include "tests/support/probes.h"
#include "tests/support/zorvsim_process.h"

namespace {

using namespace zorv::test;
using Lines = std::vector<std::string>;

class ComSim : public ::testing::Test {
 protected:
  EventsOnScope events;
  Journal journal;
  TObjPtr<TKvComAsync> com{New<TKvComAsync>()};
  std::vector<std::string> registered;

  void SetUp() override {
    SetProgramProperties(com.get());
    journal.Attach(com.get());
    com->onRxChar = MakePoint<&TKvComAsync::doRead>(0, com.get());
  }
  void TearDown() override {
    com.reset();
    for (const std::string& p : registered) zorv::comm::UnregisterSerialPath(p);
  }
  std::string Register(const std::string& path) {
    registered.push_back(path);
    return zorv::comm::RegisterSerialPath(path);
  }
  int Open(const std::string& name) {
    journal.Clear();
    TData d = StrData(name);
    com->doOpen(d, 0);
    const Lines opens = journal.Named("onOpen");
    return opens.empty() ? -1 : std::stoi(opens.back().substr(7));
  }
  void Write(const std::string& s) {
    TData d = StrData(s);
    com->doWrite(d, 0);
  }
  void Close() {
    TData d;
    com->doClose(d, 0);
  }
};

TEST_F(ComSim, TheDeviceAnswersVers) {
  SimProcess sim;
  const std::string name = Register(sim.pty());
  ASSERT_EQ(Open(name), std::stoi(name.substr(3)));
  Write("VERS");
  ASSERT_TRUE(journal.AwaitReceived(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(journal.Received(), "ZORVANTIQUE TPX2 6.0");
  Close();
  const SimReport report = ParseSimReport(sim.Finish());
  ASSERT_TRUE(report.valid);
  EXPECT_EQ(report.vers_queries, 1);
}

TEST_F(ComSim, EchoedBytesComeBackExactlyOnceInOrder) {
  SimProcess sim({"--echo"});
  ASSERT_GT(Open(Register(sim.pty())), 0);
  std::string sent;
  for (int i = 0; i < 64; ++i) {
    std::string chunk;
    for (int b = 0; b < 64; ++b) chunk += static_cast<char>((i * 64 + b) & 0xFF);  // NUL included
    Write(chunk);
    sent += chunk;
  }
  ASSERT_TRUE(journal.AwaitReceived(sent.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(journal.Received(), sent);
  const Lines chunks = journal.Chunks();
  EXPECT_TRUE(std::none_of(chunks.begin(), chunks.end(), [](const std::string& c) { return c.empty(); }));
  Close();
  const SimReport report = ParseSimReport(sim.Finish());
  EXPECT_EQ(report.echo_bytes, static_cast<long>(sent.size()));
}

TEST_F(ComSim, AStableLinkNamesThePort) {
  const std::string link = "/tmp/zorv-serial-test-" + std::to_string(getpid());
  SimProcess sim({"--link", link});
  const std::string name = Register(link);
  ASSERT_GT(Open(name), 0);
  Write("VERS");
  ASSERT_TRUE(journal.AwaitReceived(20));
  Close();
  sim.Finish();
}

TEST_F(ComSim, AHangUpEndsTheReaderAndTheElementStaysUsable) {
  {
    SimProcess sim({"--hangup", "1"});
    ASSERT_GT(Open(Register(sim.pty())), 0);
    const int tasks = CountEntries("/proc/self/task") - 1;  // without the reader thread
    Write("VERS");
    ASSERT_TRUE(journal.AwaitReceived(20));
    Write(std::string(256, '\x5A'));  // block 1: the device hangs up
    for (int i = 0; i < 2000 && CountEntries("/proc/self/task") > tasks; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
    EXPECT_TRUE(com->Opened());
    Close();
    EXPECT_EQ(journal.Lines().back(), "onClose");
    sim.Finish();
  }
  SimProcess again;
  ASSERT_GT(Open(Register(again.pty())), 0);
  Write("VERS");
  ASSERT_TRUE(journal.AwaitReceived(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(journal.Received(), "ZORVANTIQUE TPX2 6.0");
}

}  // namespace
