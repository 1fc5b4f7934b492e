// The firmware upload sub-scheme, driven through its container with a fake line.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <thread>

#include "elements/kvCounter.h"
#include "elements/kvMMTimer.h"
#include "elements/kvMemoryStream.h"
#include "tests/scheme/harness.h"
#include "winlib/Convert.h"
#include "winlib/StrStreams.h"

namespace {

using namespace zorv::test;

std::string Image() {
  TObjPtr<TStream> s(LoadResourceStream("STREAM0"));
  return std::string(reinterpret_cast<const char*>(s->Memory), static_cast<std::size_t>(s->Size));
}

std::string Hex4(std::uint16_t v) { return Int2Hex(v, 4); }

class Upload : public ::testing::Test {
 protected:
  // Identified and ready: the query sub-scheme routes chunks to the upload.
  void SetUp() override {
    h.Reply("ZORVANTIQUE TPX2 6.0");
    ASSERT_EQ(h.Route(), 1);
    h.Line->writes.clear();
  }
  void TearDown() override { h.StopWatchdog(); }

  Harness h;
  const std::string image = Image();
};

TEST_F(Upload, TheFirstBlockSendsImageBytesOneWriteEachAndLeavesTheirChecksum) {
  ASSERT_EQ(image.size(), 260096u);
  h.Start();
  ASSERT_EQ(h.Line->writes.size(), 256u);
  for (std::size_t i = 0; i < 256; ++i) ASSERT_EQ(h.Line->writes[i], image.substr(i, 1)) << i;
  EXPECT_EQ(h.Checksum(), Hex4(ModbusCrc(image.substr(0, 256))));
  EXPECT_TRUE(h.Failure.hits.empty());
}

TEST_F(Upload, AReplyBeforeTheStartReportsFailureAndTheUploadNeverStarts) {
  h.Reply("SZ");  // the placeholder masks match no hexadecimal text
  EXPECT_EQ(h.Failure.count(), 1u);
  h.Reply(std::string("\xFF\xFF", 2));
  h.Start();
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_TRUE(h.Line->writes.empty());
}

TEST_F(Upload, ABlockAcknowledgementCountsAndSendsExactly256More) {
  h.Start();
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))));
  EXPECT_EQ(h.Progress.integers(), (std::vector<std::int32_t>{1}));
  ASSERT_EQ(h.Line->writes.size(), 512u);
  EXPECT_EQ(h.Line->Bytes(), image.substr(0, 512));
  EXPECT_EQ(h.Checksum(), Hex4(ModbusCrc(image.substr(0, 512))));
  EXPECT_EQ(h.Chunks.count(), 1u);  // every chunk also goes out unchanged
  EXPECT_TRUE(h.Failure.hits.empty());
}

TEST_F(Upload, FinalAcknowledgementSendsPuskAndReportsSuccessWhateverTheBlock) {
  h.Start();
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))) + "FZ");
  EXPECT_EQ(h.Line->writes.back(), "PUSK");
  EXPECT_EQ(h.Line->writes.size(), 257u);
  EXPECT_EQ(h.Success.count(), 1u);
  EXPECT_TRUE(h.Progress.hits.empty());  // the final acknowledgement does not count
  h.Reply("junk");
  EXPECT_TRUE(h.Failure.hits.empty());
  EXPECT_TRUE(h.Undrained.hits.empty());
}

TEST_F(Upload, ASplitAcknowledgementFails) {
  h.Start();
  const std::string ack = AckBytes(ModbusCrc(image.substr(0, 256)));
  h.Reply(ack.substr(0, 1));
  EXPECT_EQ(h.Failure.count(), 1u);
  h.Reply(ack.substr(1, 1));
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_EQ(h.Line->writes.size(), 256u);
}

TEST_F(Upload, ExtraBytesAfterTheAcknowledgementFail) {
  h.Start();
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))) + "x");
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_EQ(h.Line->writes.size(), 256u);
}

TEST_F(Upload, TheChecksumTextAlwaysHasFourDigits) {
  // An image whose first block leaves a checksum below 0x1000.
  std::mt19937 rng(11);
  std::string block(256, '\0');
  do {
    for (char& c : block) c = static_cast<char>(rng());
  } while (ModbusCrc(block) >= 0x100);
  TStream* s = NewMemoryStream();
  s->Write(block.data(), 256);
  s->SetPosition(0);
  h.Upload().ImageStream->ReplaceStream(s);
  h.Start();
  const std::uint16_t crc = ModbusCrc(block);
  EXPECT_EQ(h.Checksum(), Hex4(crc));
  EXPECT_EQ(h.Checksum().substr(0, 2), "00");
  h.Reply(AckBytes(crc));  // 0x00 first
  EXPECT_EQ(h.Progress.integers(), (std::vector<std::int32_t>{1}));
}

TEST_F(Upload, TheWatchdogReportsOnTheThirdTickWithoutAReplyAndStops) {
  h.Start();
  h.Tick();
  h.Tick();
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))));  // sets the count back
  h.Tick();
  h.Tick();
  EXPECT_TRUE(h.Failure.hits.empty());
  EXPECT_NE(h.Upload().Watchdog->Timer->TimerId.load(), 0u);
  h.Tick();
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_EQ(h.Upload().Watchdog->Timer->TimerId.load(), 0u);  // stopped by its own tick
  for (int i = 0; i < 202; ++i) h.Tick();
  EXPECT_EQ(h.Failure.count(), 1u);
}

TEST_F(Upload, TheRealWatchdogRunsOnceTheUploadStarts) {
  h.Upload().Watchdog->Interval = 20;
  h.Start();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (h.Failures() == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  h.StopWatchdog();
  EXPECT_GE(h.Failures(), 1u);
}

TEST_F(Upload, CountsBlocksUpTo1015AndNeverSendsBeyondTheImage) {
  h.Start();
  std::uint16_t crc = 0xFFFF;
  for (int block = 1; block <= 1016; ++block) {
    crc = ModbusCrc(image.substr(static_cast<std::size_t>(block - 1) * 256, 256), crc);
    h.Reply(AckBytes(crc));
    if (block == 1) {
      EXPECT_EQ(h.Progress.integers().back(), 1);
    }
    if (block == 1015) {
      EXPECT_EQ(h.Progress.integers().back(), 1015);
    }
  }
  EXPECT_EQ(h.Progress.integers().back(), 0);  // wraps at the 1016th acknowledgement
  EXPECT_EQ(h.Line->writes.size(), image.size());
  EXPECT_EQ(h.Line->Bytes(), image);
  EXPECT_TRUE(h.Failure.hits.empty());
  // Past the end nothing more is sent; the watchdog's report follows.
  h.Reply(AckBytes(crc));
  EXPECT_EQ(h.Line->writes.size(), image.size());
  h.Tick();
  h.Tick();
  h.Tick();
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_TRUE(h.Success.hits.empty());
}

TEST_F(Upload, AFullUploadEndsWithPusk) {
  h.Start();
  std::uint16_t crc = 0xFFFF;
  for (int block = 1; block <= 1016; ++block) {
    crc = ModbusCrc(image.substr(static_cast<std::size_t>(block - 1) * 256, 256), crc);
    std::string ack = AckBytes(crc);
    if (block == 1016) ack += "FZ";
    h.Reply(ack);
  }
  EXPECT_EQ(h.Line->writes.back(), "PUSK");
  EXPECT_EQ(h.Line->Bytes(), image + "PUSK");
  EXPECT_EQ(h.Success.count(), 1u);
  EXPECT_TRUE(h.Failure.hits.empty());
}

// ---- The end of the exchange ---------------------------------------------------------

// Every correct reply that could still come after the end.
void ReplyEverything(Harness& h, const std::string& image, std::size_t blocksSent) {
  const std::uint16_t crc = ModbusCrc(image.substr(0, blocksSent * 256));
  h.Reply(AckBytes(crc));
  h.Reply(AckBytes(crc) + "FZ");
  h.Reply(AckBytes(ModbusCrc(image.substr(0, (blocksSent + 1) * 256))));
}

TEST_F(Upload, AFailureIsFinalNothingMoreGoesOutAndTheOutcomeStays) {
  h.Start();
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))));
  ASSERT_EQ(h.Line->writes.size(), 512u);
  h.Reply("\xDE\xAD");  // a wrong reply during block 2
  ASSERT_EQ(h.Failure.count(), 1u);
  ReplyEverything(h, image, 2);
  h.Start();
  for (int i = 0; i < 110; ++i) h.Tick();
  h.WriteFailed();
  EXPECT_EQ(h.Line->writes.size(), 512u);
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_TRUE(h.Success.hits.empty());
  EXPECT_TRUE(h.Undrained.hits.empty());
  EXPECT_EQ(h.Progress.integers(), (std::vector<std::int32_t>{1}));
  EXPECT_EQ(h.Chunks.count(), 2u);  // chunks after the end are not handed on either
}

TEST_F(Upload, WrongBytesDuringTheFinalBlockThenItsFinalAcknowledgementGetNoPusk) {
  h.Start();
  const std::string block1Ack = AckBytes(ModbusCrc(image.substr(0, 256)));
  h.Reply(block1Ack);  // block 2 is the device's last
  h.Reply(block1Ack);  // a duplicated acknowledgement: wrong now
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 512))) + "FZ");
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_TRUE(h.Success.hits.empty());
  EXPECT_EQ(h.Line->Bytes(), image.substr(0, 512));
}

TEST_F(Upload, PuskIsTheLastThingSentWhateverComesAfterIt) {
  h.Start();
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))));
  const std::string finalAck = AckBytes(ModbusCrc(image.substr(0, 512))) + "FZ";
  h.Reply(finalAck);
  ASSERT_EQ(h.Line->Bytes(), image.substr(0, 512) + "PUSK");
  ASSERT_EQ(h.Success.count(), 1u);
  h.Reply(finalAck);                                             // the final acknowledgement again
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 512))));          // the last checksum alone
  h.Reply("junk");
  h.Start();
  h.WriteFailed();
  for (int i = 0; i < 5; ++i) h.Tick();
  EXPECT_EQ(h.Line->Bytes(), image.substr(0, 512) + "PUSK");
  EXPECT_EQ(h.Success.count(), 1u);
  EXPECT_TRUE(h.Failure.hits.empty());
}

TEST_F(Upload, AWriteThatFailsEndsTheUploadAtThatByte) {
  h.Line->failAt = 300;  // a byte of block 2
  h.Start();
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))));
  EXPECT_EQ(h.Failure.count(), 1u);
  EXPECT_EQ(h.Line->Bytes(), image.substr(0, 300));  // nothing after the failed write
  EXPECT_EQ(h.Upload().Watchdog->Timer->TimerId.load(), 0u);
  ReplyEverything(h, image, 2);
  EXPECT_EQ(h.Line->writes.size(), 300u);
  EXPECT_EQ(h.Failure.count(), 1u);
}

TEST_F(Upload, AWriteFailureBeforeTheStartIsNoUploadFailure) {
  h.WriteFailed();  // the identification's own write
  EXPECT_TRUE(h.Failure.hits.empty());
  h.Start();
  EXPECT_EQ(h.Line->writes.size(), 256u);
}

TEST_F(Upload, PuskThatCannotBeWrittenIsAFailureWithoutCompletion) {
  h.Start();
  h.Line->failAt = 257;  // "PUSK"
  h.Drained = Source::Integer(0);  // what the serial element answers after a failed write
  h.Reply(AckBytes(ModbusCrc(image.substr(0, 256))) + "FZ");
  EXPECT_EQ(h.Line->writes.back(), "PUSK");
  EXPECT_TRUE(h.Success.hits.empty());
  EXPECT_EQ(h.Undrained.count(), 1u);
  EXPECT_TRUE(h.Failure.hits.empty());  // the upload had ended: its report does not come
  EXPECT_EQ(h.Drained.reads, 1);
}

}  // namespace

namespace {

// The scheme may be freed while the watchdog ticks: its elements go only once no tick is
// running its chain, and waiting ticks give up. Each round frees the scheme while its
// 1-ms watchdog is ticking (its limit moved out of reach, so that it never reports and
// stops; every tick seen on the otherwise free branch), at varying moments after a tick;
// no tick runs after the free. A tick that still touched a freed element is also what
// AddressSanitizer (native) and ThreadSanitizer (native-tsan) would report here.
TEST(UploadTeardown, FreeingTheSchemeWhileTheWatchdogTicksIsSafe) {
  for (int i = 0; i < 40; ++i) {
    zorv::test::Sink ticks;  // outlives the scheme
    auto h = std::make_unique<zorv::test::Harness>();
    h->Reply("ZORVANTIQUE TPX2 6.0");
    SetInteger(h->Upload().TickLimit->Op2, 1000);
    h->Upload().TickLimit->onFalse = ticks.Point();
    h->Upload().Watchdog->Interval = 1;
    h->Start();
    auto seen = [&] {
      TSchemeEntry entry;
      return ticks.count();
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (seen() < 2 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GE(seen(), 2u) << "round " << i << ": the watchdog did not tick";
    std::this_thread::sleep_for(std::chrono::milliseconds(i % 5));
    h.reset();
    const std::size_t atFree = ticks.count();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ticks.count(), atFree) << "round " << i << ": a tick after the free";
  }
}

}  // namespace
