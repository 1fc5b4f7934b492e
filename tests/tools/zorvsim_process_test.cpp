// The simulator as a process on a pty: what a host sees on the line, and the report.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/zorvsim_process.h"
#include "tests/tools/pty_peer.h"
#include "tools/common/sha256.h"

namespace {

using namespace zorv::test;

constexpr int kWait = 5000;  // generous: the machine may be loaded
const std::string kIdent = "ZORVANTIQUE TPX2 6.0";

// Starts a simulator, opens the host's end and identifies the device.
struct Session {
  explicit Session(std::vector<std::string> args) : sim(std::move(args)), host(sim.pty()) {}
  void Identify() {
    ASSERT_TRUE(host.ok());
    ASSERT_TRUE(host.Write("VERS"));
    ASSERT_EQ(host.Read(kIdent.size(), kWait), kIdent);
  }
  // Sends one block as the host does (a write per byte).
  void SendBlock(const std::string& image, long block) {
    ASSERT_TRUE(host.WriteBytewise(image.substr(static_cast<std::size_t>(block - 1) * 256, 256)));
  }
  SimReport Report() { return ParseSimReport(sim.Finish()); }

  SimProcess sim;
  PtyPeer host;
};

std::string Ack(const std::string& image, long blocks) {
  return AckBytes(ModbusCrc(image.substr(0, static_cast<std::size_t>(blocks) * 256)));
}

TEST(ZorvsimProcess, AnswersVersEveryTimeAndReportsOnSigterm) {
  Session s({});
  s.Identify();
  ASSERT_TRUE(s.host.Write("VERS"));  // the host reopened the port
  EXPECT_EQ(s.host.Read(kIdent.size(), kWait), kIdent);
  ASSERT_TRUE(s.sim.Running());

  const SimReport r = s.Report();
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.exit, "sigterm");
  EXPECT_EQ(r.vers_queries, 2);
  EXPECT_EQ(r.image_bytes, 0);
  EXPECT_FALSE(r.pusk);
  ASSERT_EQ(r.Events("vers").size(), 2u);
  EXPECT_LE(r.Events("vers")[0].t, r.Events("vers")[1].t);
  EXPECT_TRUE(WIFEXITED(s.sim.ExitStatus()));
  EXPECT_EQ(WEXITSTATUS(s.sim.ExitStatus()), 0);
  EXPECT_EQ(s.sim.Output().rfind("PTY /dev/", 0), 0u);
}

TEST(ZorvsimProcess, FullUploadOfASmallImageThenPusk) {
  const long blocks = 5;
  const std::string image = TestImage(blocks, 77);
  Session s({"--blocks", "5", "--linger", "1000"});
  s.Identify();
  for (long k = 1; k <= blocks; ++k) {
    s.SendBlock(image, k);
    const std::string expected = Ack(image, k) + (k == blocks ? "FZ" : "");
    const auto chunks = s.host.ReadChunks(expected.size(), kWait);
    ASSERT_EQ(chunks.size(), 1u) << "block " << k;  // every acknowledgement in one piece
    EXPECT_EQ(chunks[0].bytes, expected) << "block " << k;
  }
  ASSERT_TRUE(s.host.Write("PUSK"));
  ASSERT_TRUE(s.host.Write("xyz"));  // a host must not send this: the report shows it
  ASSERT_TRUE(s.sim.WaitExit(15000));  // ends by itself after the linger time

  const SimReport r = s.Report();
  EXPECT_EQ(r.exit, "pusk");
  EXPECT_EQ(r.image_bytes, blocks * 256);
  EXPECT_EQ(r.image_sha256, zorv::Sha256Hex(image));
  EXPECT_EQ(r.blocks_acked, blocks);
  EXPECT_TRUE(r.pusk);
  EXPECT_EQ(r.extra_bytes, 3);
  EXPECT_EQ(r.vers_queries, 1);
  ASSERT_EQ(r.Events("pusk").size(), 1u);
  // Linger: the exit comes no sooner than the linger time after "PUSK".
  EXPECT_GE(r.events.back().t - r.Events("pusk")[0].t, 0.9);
  for (std::size_t i = 1; i < r.events.size(); ++i) EXPECT_LE(r.events[i - 1].t, r.events[i].t);
}

TEST(ZorvsimProcess, IdentificationOptions) {
  {
    Session s({"--ident", "Zorvantique", "--ident-lower", "--name", "X1", "--version", "7.2"});
    ASSERT_TRUE(s.host.Write("VERS"));
    EXPECT_EQ(s.host.Read(18, kWait), "zorvantique X1 7.2");
  }
  {
    Session s({"--ident-only"});
    ASSERT_TRUE(s.host.Write("VERS"));
    EXPECT_EQ(s.host.Read(11, kWait), "ZORVANTIQUE");
    EXPECT_EQ(s.host.ReadAll(200), "");
  }
  {
    Session s({"--no-vers-reply"});
    ASSERT_TRUE(s.host.Write("VERS"));
    EXPECT_EQ(s.host.ReadAll(300), "");
    EXPECT_EQ(s.Report().vers_queries, 1);
  }
}

TEST(ZorvsimProcess, SplitAckArrivesAsSeparateOneByteChunks) {
  const std::string image = TestImage(2);
  Session s({"--blocks", "2", "--split-ack", "1", "--split-gap", "500"});
  s.Identify();
  s.SendBlock(image, 1);
  const auto chunks = s.host.ReadChunks(2, kWait);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[0].bytes + chunks[1].bytes, Ack(image, 1));
  EXPECT_GE(chunks[1].t - chunks[0].t, 0.25);
}

TEST(ZorvsimProcess, BadCrcGarbageAndExtraBytesOnTheLine) {
  const std::string image = TestImage(3);
  Session s({"--blocks", "3", "--bad-crc", "1", "--garbage", "2", "--extra-after-ack", "3"});
  s.Identify();
  s.SendBlock(image, 1);
  const std::string bad = s.host.Read(2, kWait);
  EXPECT_EQ(bad.size(), 2u);
  EXPECT_NE(bad, Ack(image, 1));
  s.SendBlock(image, 2);
  EXPECT_EQ(s.host.Read(3, kWait), "\xDE\xAD\xBE");
  s.SendBlock(image, 3);
  const auto chunks = s.host.ReadChunks(6, kWait);
  ASSERT_EQ(chunks.size(), 1u);  // the extra bytes ride in the acknowledgement's write
  EXPECT_EQ(chunks[0].bytes, Ack(image, 3) + "FZ\r\n");
  const SimReport r = s.Report();
  EXPECT_EQ(r.blocks_acked, 2);
  EXPECT_EQ(r.Events("garbage").size(), 1u);
}

TEST(ZorvsimProcess, SilenceFromBlockKOn) {
  const std::string image = TestImage(3);
  Session s({"--blocks", "3", "--silence-from", "2"});
  s.Identify();
  s.SendBlock(image, 1);
  EXPECT_EQ(s.host.Read(2, kWait), Ack(image, 1));
  s.SendBlock(image, 2);
  EXPECT_EQ(s.host.ReadAll(400), "");
  const SimReport r = s.Report();
  EXPECT_EQ(r.blocks_received, 2);
  EXPECT_EQ(r.blocks_acked, 1);
}

TEST(ZorvsimProcess, EarlyFzAcceptsPusk) {
  const std::string image = TestImage(4);
  Session s({"--blocks", "4", "--early-fz", "1", "--linger", "0"});
  s.Identify();
  s.SendBlock(image, 1);
  EXPECT_EQ(s.host.Read(4, kWait), Ack(image, 1) + "FZ");
  ASSERT_TRUE(s.host.Write("PUSK"));
  ASSERT_TRUE(s.sim.WaitExit(10000));
  const SimReport r = s.Report();
  EXPECT_EQ(r.exit, "pusk");
  EXPECT_TRUE(r.pusk);
  EXPECT_EQ(r.image_bytes, 256);
}

TEST(ZorvsimProcess, NoFinalFzThenCountsWhatFollows) {
  const std::string image = TestImage(1);
  Session s({"--blocks", "1", "--no-final-fz"});
  s.Identify();
  s.SendBlock(image, 1);
  EXPECT_EQ(s.host.ReadAll(400), Ack(image, 1));
  ASSERT_TRUE(s.host.Write(std::string(10, '\xFF')));
  ASSERT_TRUE(s.host.ReadAll(200).empty());
  const SimReport r = s.Report();
  EXPECT_FALSE(r.pusk);
  EXPECT_EQ(r.extra_bytes, 10);
}

TEST(ZorvsimProcess, HangupClosesTheLineAfterBlockK) {
  const std::string image = TestImage(3);
  Session s({"--blocks", "3", "--hangup", "2"});
  s.Identify();
  s.SendBlock(image, 1);
  EXPECT_EQ(s.host.Read(2, kWait), Ack(image, 1));
  s.SendBlock(image, 2);
  EXPECT_EQ(s.host.ReadAll(kWait), "");  // returns at the hang-up
  EXPECT_TRUE(s.host.hungUp());
  ASSERT_TRUE(s.sim.WaitExit(10000));
  const SimReport r = s.Report();
  EXPECT_EQ(r.exit, "hangup");
  EXPECT_EQ(r.image_bytes, 512);
  EXPECT_EQ(r.blocks_acked, 1);
}

TEST(ZorvsimProcess, UsbPacingDeliversEachReplyWholeAfterTheLineTime) {
  // 9600 baud: about 1.04 ms per byte.
  const double byteTime = 10.0 / 9600;
  const std::string image = TestImage(2);
  Session s({"--blocks", "2", "--pace", "usb", "--baud", "9600"});
  ASSERT_TRUE(s.host.ok());
  double sent = s.host.Since();
  ASSERT_TRUE(s.host.Write("VERS"));
  auto chunks = s.host.ReadChunks(kIdent.size(), kWait);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0].bytes, kIdent);
  EXPECT_GE(chunks[0].t - sent, 0.9 * (4 + 20) * byteTime);

  sent = s.host.Since();
  s.SendBlock(image, 1);
  chunks = s.host.ReadChunks(2, kWait);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0].bytes, Ack(image, 1));
  EXPECT_GE(chunks[0].t - sent, 0.9 * (256 + 2) * byteTime);
}

TEST(ZorvsimProcess, UartPacingSpreadsTheReplyOverManyChunks) {
  // 1200 baud: about 8.3 ms per byte, each byte written on its own.
  Session s({"--pace", "uart", "--baud", "1200"});
  ASSERT_TRUE(s.host.ok());
  const double sent = s.host.Since();
  ASSERT_TRUE(s.host.Write("VERS"));
  const auto chunks = s.host.ReadChunks(kIdent.size(), kWait);
  std::string joined;
  for (const auto& c : chunks) joined += c.bytes;
  EXPECT_EQ(joined, kIdent);
  EXPECT_GE(chunks.size(), 2u);
  ASSERT_FALSE(chunks.empty());
  EXPECT_GE(chunks.back().t - sent, 0.9 * (4 + 20) * (10.0 / 1200));
}

TEST(ZorvsimProcess, EchoReturnsEveryChunkUnchangedNulBytesIncluded) {
  Session s({"--echo"});
  ASSERT_TRUE(s.host.ok());
  const std::string data("a\0b\xff\r\nVERS\0", 11);
  ASSERT_TRUE(s.host.Write(data));
  EXPECT_EQ(s.host.Read(data.size(), kWait), data);
  const SimReport r = s.Report();
  EXPECT_EQ(r.mode, "echo");
  EXPECT_EQ(r.echo_bytes, 11);
  EXPECT_EQ(r.vers_queries, 0);
}

// Writes the block a byte at a time without blocking; returns how many bytes had gone when
// the line first stayed shut for half a second (the whole block if it never did).
std::size_t WriteUntilShut(PtyPeer& host, const std::string& block) {
  const int fd = host.fd();
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  std::size_t sent = 0, whenShut = block.size();
  const double start = host.Since();
  while (sent < block.size() && host.Since() - start < 20) {
    if (::write(fd, &block[sent], 1) == 1) {
      ++sent;
      continue;
    }
    if (errno != EAGAIN) break;
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 500) == 0 && whenShut == block.size()) whenShut = sent;
  }
  ::fcntl(fd, F_SETFL, flags);
  return sent == block.size() ? whenShut : 0;
}

TEST(ZorvsimProcess, AStallAfterAnAcknowledgementShutsTheHostsWritesUntilTheResumption) {
  const std::string image = TestImage(3, 5);
  Session s({"--blocks", "3", "--stall-after-ack", "1", "--resume", "1500"});
  s.Identify();
  s.SendBlock(image, 1);
  ASSERT_EQ(s.host.Read(2, kWait), Ack(image, 1));
  const double start = s.host.Since();
  // The line was shut before the acknowledgement went out: not one byte gets through.
  EXPECT_EQ(WriteUntilShut(s.host, image.substr(256, 256)), 0u);
  EXPECT_GE(s.host.Since() - start, 1.0);
  EXPECT_EQ(s.host.Read(2, kWait), Ack(image, 2));
  const SimReport r = s.Report();
  ASSERT_EQ(r.Events("stall").size(), 1u);
  EXPECT_EQ(r.Events("stall")[0].bytes, 256);
  EXPECT_EQ(r.image_bytes, 512);
}

TEST(ZorvsimProcess, AStallInTheMiddleOfABlockTakesHalfOfItAndHoldsTheRest) {
  const std::string image = TestImage(3, 5);
  Session s({"--blocks", "3", "--stall", "2", "--resume", "1500", "--image", "/dev/null"});
  s.Identify();
  s.SendBlock(image, 1);
  ASSERT_EQ(s.host.Read(2, kWait), Ack(image, 1));
  const double start = s.host.Since();
  // The host gets ahead by what it writes while the simulator waits to read (on a fast host
  // the whole block), but the block is acknowledged only after the resumption.
  const std::size_t whenShut = WriteUntilShut(s.host, image.substr(256, 256));
  EXPECT_GE(whenShut, 128u);
  EXPECT_EQ(s.host.Read(2, kWait), Ack(image, 2));
  EXPECT_GE(s.host.Since() - start, 1.0);
  const SimReport r = s.Report();
  ASSERT_EQ(r.Events("stall").size(), 1u);
  EXPECT_EQ(r.Events("stall")[0].block, 2);
  EXPECT_EQ(r.Events("stall")[0].bytes, 256 + 128);
  ASSERT_EQ(r.Events("resume").size(), 1u);
  EXPECT_GE(r.Events("resume")[0].t - r.Events("stall")[0].t, 1.4);
  EXPECT_EQ(r.image_sha256, zorv::Sha256Hex(image.substr(0, 512)));
  EXPECT_EQ(r.image_mismatch, 0);  // compared with an empty image: the first byte differs
}

TEST(ZorvsimProcess, LinkPointsAtThePtyWhileItRuns) {
  char dir[] = "/tmp/zorvsim-link-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/com5";
  ASSERT_EQ(::symlink("/nonexistent", link.c_str()), 0);  // a stale link from an earlier run
  {
    Session s({"--link", link});
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), s.sim.pty());
    PtyPeer viaLink(link);
    ASSERT_TRUE(viaLink.Write("VERS"));
    EXPECT_EQ(viaLink.Read(kIdent.size(), kWait), kIdent);
    s.Report();
    struct stat st{};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);  // removed at exit
  }
  ::rmdir(dir);
}

TEST(ZorvsimProcess, IdleExitEndsWithAReport) {
  Session s({"--idle-exit", "0.3"});
  s.Identify();
  ASSERT_TRUE(s.sim.WaitExit(10000));
  const SimReport r = s.Report();
  EXPECT_EQ(r.exit, "idle");
  EXPECT_EQ(r.vers_queries, 1);
}

TEST(ZorvsimProcess, ServesAGivenDevice) {
  // A pty pair of the test's own: the simulator takes the slave as its serial device.
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string slave = ::ptsname(master);
  {
    SimProcess sim({"--device", slave});
    EXPECT_EQ(sim.pty(), slave);
    EXPECT_EQ(sim.Output().rfind("DEVICE " + slave, 0), 0u);
    ASSERT_EQ(::write(master, "VERS", 4), 4);
    std::string got;
    for (int i = 0; i < 50 && got.size() < kIdent.size(); ++i) {
      pollfd p{master, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buf[64];
      const ssize_t n = ::read(master, buf, sizeof buf);
      if (n > 0) got.append(buf, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, kIdent);
    EXPECT_EQ(ParseSimReport(sim.Finish()).vers_queries, 1);
  }
  ::close(master);
}

TEST(ZorvsimProcess, CommandLineErrorsAndHelp) {
  const std::string sim = ZorvsimPath();
  const int bad = std::system((sim + " --blocks 0 >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(bad));
  EXPECT_EQ(WEXITSTATUS(bad), 2);
  const int help = std::system((sim + " --help >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(help));
  EXPECT_EQ(WEXITSTATUS(help), 0);
  const int missing = std::system((sim + " --device /nonexistent/tty >/dev/null 2>&1").c_str());
  ASSERT_TRUE(WIFEXITED(missing));
  EXPECT_EQ(WEXITSTATUS(missing), 1);
}

}  // namespace
