// The simulator as a process on a pty: what a host sees on the line, and the report.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tools/common/sha256.h"
#include "tests/support/zorvsim_process.h"
#include "tests/tools/pty_peer.h"

namespace {

using namespace zorv::test;

TEST(ZorvsimProcess, AnswersVersEveryTimeAndReportsOnSigterm) {
  SimProcess sim;
  ASSERT_FALSE(sim.pty().empty());
  PtyPeer host(sim.pty());
  ASSERT_TRUE(host.ok());
  ASSERT_TRUE(host.Write("VERS"));
  EXPECT_EQ(host.Read(20, 5000), "ZORVANTIQUE TPX2 6.0");
  ASSERT_TRUE(host.Write("VERS"));
  EXPECT_EQ(host.Read(20, 5000), "ZORVANTIQUE TPX2 6.0");
  ASSERT_TRUE(sim.Running());

  const SimReport r = ParseSimReport(sim.Finish());
  ASSERT_TRUE(r.valid);
  EXPECT_EQ(r.exit, "sigterm");
  EXPECT_EQ(r.vers_queries, 2);
  EXPECT_EQ(r.image_bytes, 0);
  EXPECT_FALSE(r.pusk);
  ASSERT_EQ(r.Events("vers").size(), 2u);
  EXPECT_LE(r.Events("vers")[0].t, r.Events("vers")[1].t);
  EXPECT_TRUE(WIFEXITED(sim.ExitStatus()));
  EXPECT_EQ(WEXITSTATUS(sim.ExitStatus()), 0);
}

TEST(ZorvsimProcess, EchoReturnsEveryChunkUnchangedNulBytesIncluded) {
  SimProcess sim({"--echo"});
  PtyPeer host(sim.pty());
  ASSERT_TRUE(host.ok());
  const std::string data("a\0b\xff\r\n\0", 7);
  ASSERT_TRUE(host.Write(data));
  EXPECT_EQ(host.Read(data.size(), 5000), data);
  const SimReport r = ParseSimReport(sim.Finish());
  EXPECT_EQ(r.mode, "echo");
  EXPECT_EQ(r.echo_bytes, 7);
}

}  // namespace
