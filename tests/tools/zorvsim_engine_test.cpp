// The simulator's protocol engine without a line: chunks in, replies and report out.
#include "engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/pty_peer.h"
#include "tools/common/sha256.h"

namespace {

using zorv::sim::Engine;
using zorv::sim::Options;
using zorv::sim::Output;
using zorv::sim::Reply;
using zorv::test::AckBytes;
using zorv::test::ModbusCrc;
using zorv::test::TestImage;

Options Blocks(long n) {
  Options o;
  o.blocks = n;
  return o;
}

// Every reply piece of an output, in order.
std::vector<std::string> Pieces(const Output& out) {
  std::vector<std::string> all;
  for (const Reply& r : out.replies) all.insert(all.end(), r.pieces.begin(), r.pieces.end());
  return all;
}

// Feeds the image in pieces of `step` bytes; returns the replies in order.
std::vector<Reply> FeedImage(Engine& e, const std::string& image, std::size_t step, double t = 1) {
  std::vector<Reply> replies;
  for (std::size_t at = 0; at < image.size(); at += step) {
    const Output out = e.Feed(image.substr(at, step), t);
    replies.insert(replies.end(), out.replies.begin(), out.replies.end());
  }
  return replies;
}

Engine Identified(const Options& o) {
  Engine e(o);
  e.Feed("VERS", 0.5);
  return e;
}

// ---- Identification ---------------------------------------------------------------------

TEST(ZorvsimEngine, AnswersEachVersWithTheIdentificationLine) {
  Engine e(Options{});
  EXPECT_EQ(Pieces(e.Feed("VERS", 0.1)), std::vector<std::string>{"ZORVANTIQUE TPX2 6.0"});
  EXPECT_EQ(e.state(), Engine::State::Identified);
  // The host may reopen the port and ask again before the image.
  EXPECT_EQ(Pieces(e.Feed("VERS", 0.2)), std::vector<std::string>{"ZORVANTIQUE TPX2 6.0"});
  EXPECT_EQ(Pieces(e.Feed("VERSVERS", 0.3)).size(), 2u);
  const auto r = e.Finish("sigterm", 0.4);
  EXPECT_EQ(r.vers_queries, 4);
  EXPECT_EQ(r.image_bytes, 0);
  ASSERT_GE(r.events.size(), 2u);
  EXPECT_EQ(r.events[0].name, "vers");
  EXPECT_DOUBLE_EQ(r.events[0].t, 0.1);
}

TEST(ZorvsimEngine, IdentificationVariants) {
  Options o;
  o.ident = "Zorvantique";
  o.identLower = true;
  o.name = "X1";
  o.version = "7.2";
  EXPECT_EQ(Pieces(Engine(o).Feed("VERS", 0)), std::vector<std::string>{"zorvantique X1 7.2"});
  o.noVersion = true;
  EXPECT_EQ(Pieces(Engine(o).Feed("VERS", 0)), std::vector<std::string>{"zorvantique X1"});
  o.identOnly = true;
  EXPECT_EQ(Pieces(Engine(o).Feed("VERS", 0)), std::vector<std::string>{"zorvantique"});

  Options silent;
  silent.noVersReply = true;
  Engine e(silent);
  EXPECT_TRUE(e.Feed("VERS", 0).replies.empty());
  // Still counted, and the device is still ready for the image.
  EXPECT_EQ(e.report().vers_queries, 1);
  EXPECT_EQ(e.state(), Engine::State::Identified);
}

TEST(ZorvsimEngine, VersSplitOverChunksAndNoiseBeforeIt) {
  Engine e(Options{});
  EXPECT_TRUE(e.Feed("\r\nVE", 0).replies.empty());
  EXPECT_EQ(Pieces(e.Feed("RS", 0)).size(), 1u);
  EXPECT_TRUE(e.Feed("VVERX", 0).replies.empty());  // the image starts here: no more query
  const auto r = e.Finish("sigterm", 1);
  EXPECT_EQ(r.stray_bytes, 2);
  EXPECT_EQ(r.vers_queries, 1);
  EXPECT_EQ(r.image_bytes, 5);
  EXPECT_EQ(r.image_sha256, zorv::Sha256Hex("VVERX"));
}

TEST(ZorvsimEngine, BeforeTheFirstQueryOtherBytesAreStrayAndStartNothing) {
  Engine e(Options{});
  EXPECT_TRUE(e.Feed("VEXVVERVE", 0).replies.empty());
  EXPECT_EQ(e.state(), Engine::State::WaitVers);
  const auto r = e.Finish("idle", 1);
  // "VEX", "V", "VER" dropped while resynchronising; the held "VE" settled at the end.
  EXPECT_EQ(r.stray_bytes, 9);
  EXPECT_EQ(r.image_bytes, 0);
}

TEST(ZorvsimEngine, AnImageThatBeginsLikeVersStillStartsTheImage) {
  Engine e = Identified(Blocks(1));
  std::string image = TestImage(1);
  image.replace(0, 3, "VER");
  const auto replies = FeedImage(e, image, 1);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].pieces[0], AckBytes(ModbusCrc(image)) + "FZ");
  EXPECT_EQ(e.report().vers_queries, 1);
}

TEST(ZorvsimEngine, HeldQueryBytesAtExitAreReportedNotLost) {
  Engine e = Identified(Options{});
  e.Feed("VE", 1);
  const auto r = e.Finish("hangup", 2);
  EXPECT_EQ(r.stray_bytes, 2);
  EXPECT_EQ(r.exit, "hangup");
  EXPECT_EQ(r.events.back().name, "exit");
  EXPECT_EQ(r.events.back().reason, "hangup");
}

// ---- Upload -----------------------------------------------------------------------------

TEST(ZorvsimEngine, AcknowledgesEachBlockWithTheRunningChecksumAndEndsWithFz) {
  const std::string image = TestImage(3);
  Engine e = Identified(Blocks(3));
  // Pieces that do not line up with blocks.
  const auto replies = FeedImage(e, image, 100);
  ASSERT_EQ(replies.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    ASSERT_EQ(replies[k].pieces.size(), 1u);
    std::string expected = AckBytes(ModbusCrc(image.substr(0, 256 * (k + 1))));
    if (k == 2) expected += "FZ";
    EXPECT_EQ(replies[k].pieces[0], expected) << "block " << k + 1;
  }
  EXPECT_EQ(e.state(), Engine::State::ImageDone);

  const Output pusk = e.Feed("PUSK", 2);
  EXPECT_TRUE(pusk.pusk);
  EXPECT_TRUE(pusk.replies.empty());
  const auto r = e.Finish("pusk", 2.3);
  EXPECT_EQ(r.image_bytes, 768);
  EXPECT_EQ(r.image_sha256, zorv::Sha256Hex(image));
  EXPECT_EQ(r.blocks_received, 3);
  EXPECT_EQ(r.blocks_acked, 3);
  EXPECT_TRUE(r.pusk);
  EXPECT_EQ(r.extra_bytes, 0);
  ASSERT_EQ(r.events.size(), 7u);  // vers, image, ack, ack, final, pusk, exit
  EXPECT_EQ(r.events[4].name, "final");
  EXPECT_EQ(r.events[4].block, 3);
}

TEST(ZorvsimEngine, ChecksumMatchesTheModbusCheckValueAndKeepsLeadingZeroByte) {
  // The MODBUS check value: "123456789" gives 0x4B37.
  zorv::sim::Crc16Modbus crc;
  crc.Add("123456789");
  EXPECT_EQ(crc.Value(), 0x4B37);

  // Find a one-block image whose checksum has a zero high byte: still two bytes, 0x00 first.
  for (std::uint32_t seed = 1; seed < 20000; ++seed) {
    const std::string image = TestImage(1, seed);
    const std::uint16_t value = ModbusCrc(image);
    if ((value >> 8) != 0) continue;
    Options o = Blocks(2);
    Engine e = Identified(o);
    const auto replies = FeedImage(e, image, 256);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].pieces[0], AckBytes(value));
    EXPECT_EQ(replies[0].pieces[0][0], '\0');
    return;
  }
  FAIL() << "no image with a zero high checksum byte found";
}

TEST(ZorvsimEngine, BytesAfterTheImageAndAfterPuskAreCounted) {
  Engine e = Identified(Blocks(1));
  FeedImage(e, TestImage(1), 256);
  e.Feed("PUX", 1);   // departs from "PUSK": three extra bytes
  e.Feed("PU", 1.1);  // "PUSK" over two chunks
  EXPECT_TRUE(e.Feed("SK", 1.2).pusk);
  EXPECT_EQ(e.state(), Engine::State::Started);
  EXPECT_FALSE(e.Feed("PUSK\x01", 1.3).pusk);  // after "PUSK" everything is extra
  const auto r = e.Finish("pusk", 2);
  EXPECT_TRUE(r.pusk);
  EXPECT_EQ(r.extra_bytes, 8);
  EXPECT_EQ(r.Events("extra").size(), 2u);
}

// ---- Faults -----------------------------------------------------------------------------

struct FaultRun {
  std::vector<Reply> replies;
  zorv::sim::Report report;
};

FaultRun RunFault(Options o, const std::string& image, const std::string& after = "") {
  Engine e = Identified(o);
  FaultRun run;
  run.replies = FeedImage(e, image, 256);
  if (!after.empty()) e.Feed(after, 3);
  run.report = e.Finish("sigterm", 4);
  return run;
}

TEST(ZorvsimEngine, SplitAckComesInOneBytePiecesWithTheGap) {
  const std::string image = TestImage(3);
  Options o = Blocks(3);
  o.splitAck = 2;
  o.splitGapMs = 70;
  const auto run = RunFault(o, image);
  ASSERT_EQ(run.replies.size(), 3u);
  const std::string ack = AckBytes(ModbusCrc(image.substr(0, 512)));
  EXPECT_EQ(run.replies[1].pieces, (std::vector<std::string>{ack.substr(0, 1), ack.substr(1, 1)}));
  EXPECT_EQ(run.replies[1].gapMs, 70);
  EXPECT_EQ(run.replies[0].pieces.size(), 1u);
  EXPECT_EQ(run.report.blocks_acked, 3);

  // A split final acknowledgement: four pieces, "FZ" included.
  o.splitAck = 3;
  EXPECT_EQ(RunFault(o, image).replies[2].pieces.size(), 4u);
}

TEST(ZorvsimEngine, BadCrcSendsAnotherChecksumButKeepsTheTrueOneRunning) {
  const std::string image = TestImage(3);
  Options o = Blocks(3);
  o.badCrc = 1;
  const auto run = RunFault(o, image);
  ASSERT_EQ(run.replies.size(), 3u);
  ASSERT_EQ(run.replies[0].pieces[0].size(), 2u);
  EXPECT_NE(run.replies[0].pieces[0], AckBytes(ModbusCrc(image.substr(0, 256))));
  EXPECT_EQ(run.replies[1].pieces[0], AckBytes(ModbusCrc(image.substr(0, 512))));
  EXPECT_EQ(run.report.Events("ack")[0].fault, "bad-crc");
}

TEST(ZorvsimEngine, SilenceFromBlockKOn) {
  Options o = Blocks(4);
  o.silenceFrom = 2;
  const auto run = RunFault(o, TestImage(4));
  EXPECT_EQ(run.replies.size(), 1u);
  EXPECT_EQ(run.report.blocks_received, 4);
  EXPECT_EQ(run.report.blocks_acked, 1);
  EXPECT_EQ(run.report.Events("silent").size(), 3u);
}

TEST(ZorvsimEngine, EarlyFzEndsTheImageAtBlockKAndAcceptsPusk) {
  const std::string image = TestImage(4);
  Options o = Blocks(4);
  o.earlyFz = 2;
  Engine e = Identified(o);
  const auto replies = FeedImage(e, image.substr(0, 512), 256);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].pieces[0], AckBytes(ModbusCrc(image.substr(0, 512))) + "FZ");
  EXPECT_EQ(e.state(), Engine::State::ImageDone);
  EXPECT_TRUE(e.Feed("PUSK", 2).pusk);
  const auto r = e.Finish("pusk", 3);
  EXPECT_EQ(r.image_bytes, 512);
  EXPECT_EQ(r.Events("final")[0].fault, "early-fz");
}

TEST(ZorvsimEngine, GarbageInsteadOfTheAcknowledgement) {
  Options o = Blocks(2);
  o.garbage = 1;
  const auto run = RunFault(o, TestImage(2));
  ASSERT_EQ(run.replies.size(), 2u);
  EXPECT_EQ(run.replies[0].pieces, std::vector<std::string>{"\xDE\xAD\xBE"});
  EXPECT_EQ(run.report.blocks_acked, 1);
  EXPECT_EQ(run.report.Events("garbage").size(), 1u);
}

TEST(ZorvsimEngine, ExtraBytesRideInTheSameWriteAsTheAcknowledgement) {
  const std::string image = TestImage(2);
  Options o = Blocks(2);
  o.extraAfterAck = 2;
  const auto run = RunFault(o, image);
  ASSERT_EQ(run.replies.size(), 2u);
  EXPECT_EQ(run.replies[1].pieces,
            std::vector<std::string>{AckBytes(ModbusCrc(image)) + "FZ\r\n"});
}

TEST(ZorvsimEngine, HangupAfterBlockKWithoutAcknowledgingIt) {
  Options o = Blocks(3);
  o.hangup = 2;
  Engine e = Identified(o);
  const std::string image = TestImage(3);
  e.Feed(image.substr(0, 256), 1);
  const Output out = e.Feed(image.substr(256, 300), 2);  // 44 bytes beyond block 2
  EXPECT_TRUE(out.hangup);
  EXPECT_TRUE(out.replies.empty());
  EXPECT_EQ(e.state(), Engine::State::HungUp);
  const auto r = e.Finish("hangup", 2);
  EXPECT_EQ(r.image_bytes, 512);
  EXPECT_EQ(r.extra_bytes, 44);
  EXPECT_EQ(r.blocks_acked, 1);
  EXPECT_EQ(r.Events("hangup")[0].block, 2);
}

TEST(ZorvsimEngine, NoFinalFzThenCountsWhateverArrives) {
  const std::string image = TestImage(2);
  Options o = Blocks(2);
  o.noFinalFz = true;
  const auto run = RunFault(o, image, TestImage(1, 99));
  ASSERT_EQ(run.replies.size(), 2u);
  EXPECT_EQ(run.replies[1].pieces, std::vector<std::string>{AckBytes(ModbusCrc(image))});
  EXPECT_EQ(run.report.image_bytes, 512);
  EXPECT_EQ(run.report.extra_bytes, 256);
  EXPECT_FALSE(run.report.pusk);
}

TEST(ZorvsimEngine, EchoReturnsEachChunkAsItCame) {
  Options o;
  o.echo = true;
  Engine e(o);
  const std::string chunk("VERS\0\xff", 6);
  const Output out = e.Feed(chunk, 0.5);
  EXPECT_EQ(Pieces(out), std::vector<std::string>{chunk});
  const auto r = e.Finish("sigterm", 1);
  EXPECT_EQ(r.mode, "echo");
  EXPECT_EQ(r.echo_bytes, 6);
  EXPECT_EQ(r.vers_queries, 0);
}

// ---- Devices that misbehave around the end and the line ------------------------------------

TEST(ZorvsimEngine, AfterPuskRepeatsTheFinalAcknowledgementOrTheLastChecksumOnce) {
  const std::string image = TestImage(2);
  for (const auto mode : {Options::AfterPusk::Final, Options::AfterPusk::Crc}) {
    Options o = Blocks(2);
    o.afterPusk = mode;
    Engine e = Identified(o);
    FeedImage(e, image, 256);
    const Output out = e.Feed("PUSK", 2);
    EXPECT_TRUE(out.pusk);
    const std::string crc = AckBytes(ModbusCrc(image));
    EXPECT_EQ(Pieces(out), std::vector<std::string>{mode == Options::AfterPusk::Final ? crc + "FZ" : crc});
    EXPECT_TRUE(e.Feed("PUSK", 3).replies.empty());  // once only; a second "PUSK" is extra
    const auto r = e.Finish("pusk", 4);
    EXPECT_EQ(r.Events("after-pusk").size(), 1u);
    EXPECT_EQ(r.extra_bytes, 4);
  }
}

TEST(ZorvsimEngine, WrongBytesInTheMiddleOfBlockKAndItsAcknowledgementAfterTheGap) {
  const std::string image = TestImage(2);
  Options o = Blocks(2);
  o.wrongIn = 2;
  o.splitGapMs = 80;
  Engine e = Identified(o);
  e.Feed(image.substr(0, 256 + 127), 1);
  const Output mid = e.Feed(image.substr(256 + 127, 1), 1.1);  // the 128th byte of block 2
  EXPECT_EQ(Pieces(mid), std::vector<std::string>{"\xEE\xEE"});
  const Output last = e.Feed(image.substr(256 + 128), 1.2);
  ASSERT_EQ(last.replies.size(), 1u);
  EXPECT_EQ(last.replies[0].pieces, std::vector<std::string>{AckBytes(ModbusCrc(image)) + "FZ"});
  EXPECT_EQ(last.replies[0].delayMs, 80);
  EXPECT_NE(ModbusCrc(image), 0xEEEE);
  EXPECT_EQ(e.Finish("sigterm", 2).Events("final")[0].fault, "after-wrong");
}

TEST(ZorvsimEngine, DupAckRepeatsAnAcknowledgementInTheMiddleOfTheNextBlock) {
  const std::string image = TestImage(3);
  Options o = Blocks(3);
  o.dupAck = 2;
  const auto run = RunFault(o, image);
  const std::string ack2 = AckBytes(ModbusCrc(image.substr(0, 512)));
  ASSERT_EQ(run.replies.size(), 4u);
  EXPECT_EQ(run.replies[1].pieces, std::vector<std::string>{ack2});
  EXPECT_EQ(run.replies[2].pieces, std::vector<std::string>{ack2});  // in block 3
  EXPECT_EQ(run.replies[3].pieces, std::vector<std::string>{AckBytes(ModbusCrc(image)) + "FZ"});
  EXPECT_EQ(run.replies[3].delayMs, 50);
  EXPECT_EQ(run.report.Events("dup")[0].block, 3);
}

TEST(ZorvsimEngine, EchoFromBlockKWritesEveryByteBackBeforeTheAcknowledgement) {
  const std::string image = TestImage(3);
  Options o = Blocks(3);
  o.echoFrom = 2;
  Engine e = Identified(o);
  EXPECT_EQ(Pieces(e.Feed(image.substr(0, 300), 1)),
            (std::vector<std::string>{AckBytes(ModbusCrc(image.substr(0, 256))), image.substr(256, 44)}));
  const Output second = e.Feed(image.substr(300, 212), 1);
  EXPECT_EQ(Pieces(second),
            (std::vector<std::string>{image.substr(300, 212), AckBytes(ModbusCrc(image.substr(0, 512)))}));
  EXPECT_EQ(second.replies.back().delayMs, 50);  // the acknowledgement after the echo
  EXPECT_EQ(e.Finish("sigterm", 2).echo_bytes, 256);
}

TEST(ZorvsimEngine, StallInTheMiddleOfBlockKHoldsTheHostFromTheBlockBefore) {
  const std::string image = TestImage(3);
  Options o = Blocks(3);
  o.stall = 2;
  Engine e = Identified(o);
  const Output first = e.Feed(image.substr(0, 256), 1);
  EXPECT_TRUE(first.holdHost);  // before the acknowledgement that lets the host go on
  EXPECT_FALSE(first.stall);
  const Output mid = e.Feed(image.substr(256, 200), 2);
  EXPECT_TRUE(mid.stall);
  EXPECT_EQ(mid.held, image.substr(256 + 128, 72));  // not taken: still in the line
  EXPECT_TRUE(mid.replies.empty());
  EXPECT_EQ(e.report().image_bytes, 256 + 128);
  // Read again: the held bytes and the rest complete the block.
  e.Resume(5);
  const Output rest = e.Feed(mid.held + image.substr(456, 56), 5);
  EXPECT_FALSE(rest.stall);
  EXPECT_EQ(Pieces(rest), std::vector<std::string>{AckBytes(ModbusCrc(image.substr(0, 512)))});
  const auto r = e.Finish("sigterm", 6);
  ASSERT_EQ(r.Events("stall").size(), 1u);
  EXPECT_EQ(r.Events("stall")[0].block, 2);
  EXPECT_EQ(r.Events("stall")[0].bytes, 256 + 128);
  EXPECT_EQ(r.Events("resume").size(), 1u);

  // A stall in block 1 holds the host from the identification on.
  Options one = Blocks(3);
  one.stall = 1;
  EXPECT_TRUE(Engine(one).Feed("VERS", 0).holdHost);
}

TEST(ZorvsimEngine, StallAfterTheFinalAcknowledgementLeavesPuskUnread) {
  const std::string image = TestImage(2);
  Options o = Blocks(2);
  o.stallAfterAck = 2;
  Engine e = Identified(o);
  e.Feed(image.substr(0, 256), 1);
  const Output out = e.Feed(image.substr(256) + "PUSK", 2);
  EXPECT_TRUE(out.holdHost);
  EXPECT_TRUE(out.stall);
  EXPECT_EQ(Pieces(out), std::vector<std::string>{AckBytes(ModbusCrc(image)) + "FZ"});
  EXPECT_EQ(out.held, "PUSK");
  EXPECT_FALSE(e.Finish("sigterm", 3).pusk);
}

TEST(ZorvsimEngine, IdentSizePadsTheReplyBehindABlank) {
  Options o;
  o.identSize = 4608;
  const std::vector<std::string> reply = Pieces(Engine(o).Feed("VERS", 0));
  ASSERT_EQ(reply.size(), 1u);
  ASSERT_EQ(reply[0].size(), 4608u);
  EXPECT_EQ(reply[0].substr(0, 21), "ZORVANTIQUE TPX2 6.0 ");
  EXPECT_EQ(reply[0].find_first_not_of('#', 21), std::string::npos);
}

TEST(ZorvsimEngine, ReceivedImageBytesAreComparedWithTheImageGiven) {
  const std::string image = TestImage(2);
  Options o = Blocks(2);
  o.expectedImage = image;
  {
    Engine e = Identified(o);
    FeedImage(e, image, 100);
    EXPECT_EQ(e.Finish("sigterm", 2).image_mismatch, -1);
  }
  {
    // Two bytes missing in the middle of block 1: the first byte after the hole differs.
    std::string holed = image;
    holed.erase(100, 2);
    Engine e = Identified(o);
    FeedImage(e, holed, 100);
    EXPECT_EQ(e.Finish("sigterm", 2).image_mismatch, 100);
  }
  {
    Engine e = Identified(Blocks(2));  // nothing to compare with
    FeedImage(e, image, 100);
    const auto r = e.Finish("sigterm", 2);
    EXPECT_FALSE(r.image_checked);
    EXPECT_EQ(zorv::sim::ToJson(r).find("image_mismatch"), std::string::npos);
  }
}

TEST(ZorvsimEngine, NothingIsAcceptedAfterFinish) {
  Engine e(Options{});
  e.Finish("idle", 1);
  EXPECT_TRUE(e.Feed("VERS", 2).replies.empty());
  EXPECT_EQ(e.Finish("sigterm", 3).exit, "idle");
}

}  // namespace
