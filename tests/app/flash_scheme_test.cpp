// The flasher's scheme against the recording fake line: the tries of several ports (each
// closed before the next, with the open's error kept) and the upload with one write per
// block (whole blocks in order, nothing after a failure).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "app/zorvflash/BlockCollector.h"
#include "app/zorvflash/FlashScheme.h"
#include "serial/kvComAsync.h"
#include "tests/serial/fake_comm.h"
#include "tests/support/modbus_crc.h"
#include "tests/support/probes.h"
#include "winlib/StrStreams.h"

namespace {

using namespace zorv::test;
using namespace zorv::comm;
using Outcome = TFlashFront::Outcome;
using Lines = std::vector<std::string>;

const char kIdent[] = "ZORVANTIQUE TPX2 6.0";

std::string Image() {
  TObjPtr<TStream> s(LoadResourceStream("STREAM0"));
  return std::string(reinterpret_cast<const char*>(s->Memory), static_cast<std::size_t>(s->Size));
}

// Waits (at most 10 s: the reader thread is a real thread) until the condition holds.
bool Eventually(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class FlashSchemeFake : public ::testing::Test {
 protected:
  void Make(bool blockWrites) { scheme.reset(New<TFlashScheme>(0, blockWrites)); }
  void TearDown() override {
    if (scheme) scheme->Close();
  }
  void Reply(const std::string& bytes) {
    fake.Receive(bytes);
    fake.PostEvents(kEvRxChar);
  }
  Lines Writes() { return fake.CallsNamed("WriteFile"); }
  std::size_t WriteCount() { return Writes().size(); }
  // Chooses the port and waits for its identification.
  void Identify(const std::string& port) {
    scheme->ChoosePort(port);
    Reply(kIdent);
    ASSERT_TRUE(Eventually([&] { return scheme->Front->outcome() == Outcome::Found; }));
    std::uint32_t error = 0;
    ASSERT_TRUE(scheme->SettleTry(error));
  }

  EventsOnScope events;
  FakeComm fake;
  TObjPtr<TFlashScheme> scheme;
  const std::string image = Image();
};

// ---- Trying ports ------------------------------------------------------------------------

TEST_F(FlashSchemeFake, APortThatCannotBeOpenedKeepsItsErrorAndTheNextIsTried) {
  Make(false);
  std::uint32_t error = 0;
  scheme->ChoosePort("COM9");  // no such device
  EXPECT_EQ(scheme->Front->outcome(), Outcome::NotFound);
  EXPECT_FALSE(scheme->SettleTry(error));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_EQ(scheme->Front->outcome(), Outcome::Pending);  // the front starts afresh
  scheme->ChoosePort("LPT1");
  EXPECT_FALSE(scheme->SettleTry(error));
  EXPECT_EQ(error, kErrorInvalidName);
  fake.SetFailure("SetCommState", kErrorGenFailure);
  scheme->ChoosePort("COM7");
  EXPECT_FALSE(scheme->SettleTry(error));
  EXPECT_EQ(error, kErrorGenFailure);
  fake.ClearFailures();
  Identify("COM7");
  EXPECT_NE(scheme->Front->status().find(": TPX2 "), std::string::npos);  // the device text (Windows-1251)
}

TEST_F(FlashSchemeFake, ASilentPortIsClosedBeforeTheNextTryAndItsLateReplyIsNeverRead) {
  Make(false);
  scheme->ChoosePort("COM7");
  ASSERT_EQ(Writes(), Lines{"WriteFile 4"});  // "VERS"
  std::uint32_t error = 1;
  EXPECT_FALSE(scheme->SettleTry(error));
  EXPECT_EQ(error, 0u);  // it opened: no reason to show
  EXPECT_EQ(fake.OpenHandles(), 0);
  EXPECT_EQ(fake.ThreadsRunning(), 0);
  EXPECT_FALSE(scheme->SerialPort->Opened());
  // The first port's device wakes up now: no reader is left to see it.
  Reply(kIdent);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(scheme->Front->outcome(), Outcome::Pending);
  EXPECT_FALSE(scheme->Front->identified());
  Identify("COM3");
  EXPECT_EQ(scheme->SerialPort->PortName(), "COM3");
}

TEST_F(FlashSchemeFake, APortThatAnswersButNotAsOurDeviceLeavesTheRoutingToTheQuery) {
  Make(false);
  scheme->ChoosePort("COM7");
  Reply("OTHER 1 2");
  ASSERT_TRUE(Eventually([&] { return scheme->Front->outcome() == Outcome::NotFound; }));
  std::uint32_t error = 0;
  EXPECT_FALSE(scheme->SettleTry(error));
  EXPECT_EQ(fake.OpenHandles(), 0);
  // The next port's identification reaches the query, not the upload (which would fail).
  Identify("COM3");
  scheme->Write();
  EXPECT_EQ(WriteCount(), 2u + 256u);
  EXPECT_EQ(scheme->Front->outcome(), Outcome::Found);
}

// ---- Block writes ---------------------------------------------------------------------------

TEST_F(FlashSchemeFake, WithBlockWritesEachBlockIsOneWriteAndTheBytesAreTheSame) {
  Make(true);
  Identify("COM7");
  scheme->Write();
  EXPECT_EQ(Writes(), (Lines{"WriteFile 4", "WriteFile 256"}));
  Reply(AckBytes(ModbusCrc(image.substr(0, 256))));
  ASSERT_TRUE(Eventually([&] { return WriteCount() == 3; }));
  Reply(AckBytes(ModbusCrc(image.substr(0, 512))) + "FZ");
  ASSERT_EQ(scheme->Front->WaitChange(Outcome::Found, 10000), Outcome::Done);
  EXPECT_EQ(Writes(), (Lines{"WriteFile 4", "WriteFile 256", "WriteFile 256", "WriteFile 4"}));
  EXPECT_EQ(fake.Written(), "VERS" + image.substr(0, 512) + "PUSK");
  EXPECT_EQ(scheme->Collector->imageBytes(), 512);
  EXPECT_EQ(scheme->Front->writesRequested(), 4);
  // A block's write may take the line's time, not 100 ms a byte.
  EXPECT_EQ(scheme->SerialPort->Timeouts().WriteTotalTimeoutMultiplier, 1u);
}

TEST_F(FlashSchemeFake, WithoutBlockWritesEveryImageByteIsAWriteOfItsOwn) {
  Make(false);
  Identify("COM7");
  scheme->Write();
  const Lines writes = Writes();
  ASSERT_EQ(writes.size(), 257u);
  EXPECT_EQ(writes[256], "WriteFile 1");
  EXPECT_EQ(fake.Written(), "VERS" + image.substr(0, 256));
  EXPECT_EQ(scheme->Collector->imageBytes(), 256);
  EXPECT_EQ(scheme->SerialPort->Timeouts().WriteTotalTimeoutMultiplier, 100u);
}

TEST_F(FlashSchemeFake, AShortBlockWriteIsAFailureAndNothingFollowsIt) {
  Make(true);
  fake.SetWrites(FakeComm::WriteMode::Done, 100);  // "VERS" fits; a block does not
  Identify("COM7");
  scheme->Write();
  EXPECT_EQ(scheme->Front->WaitChange(Outcome::Found, 10000), Outcome::Failed);
  // The device acknowledges what it got, and more: nothing more is written.
  Reply(AckBytes(ModbusCrc(image.substr(0, 256))));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Writes(), (Lines{"WriteFile 4", "WriteFile 256"}));
  EXPECT_EQ(fake.Written(), "VERS" + image.substr(0, 100));
  EXPECT_EQ(scheme->Front->outcome(), Outcome::Failed);
  EXPECT_EQ(scheme->Front->failureReason(), "a write to the port completed short");
}

TEST_F(FlashSchemeFake, ARefusedBlockWriteIsAFailure) {
  Make(true);
  Identify("COM7");
  fake.SetFailure("WriteFile", kErrorGenFailure);
  scheme->Write();
  EXPECT_EQ(scheme->Front->WaitChange(Outcome::Found, 10000), Outcome::Failed);
  EXPECT_EQ(Writes(), (Lines{"WriteFile 4", "WriteFile 256"}));
  EXPECT_EQ(fake.Written(), "VERS");
  const std::string reason = scheme->Front->failureReason();
  EXPECT_EQ(reason.rfind("a write to the port failed: ", 0), 0u) << reason;
  EXPECT_NE(reason.find("(error 31)"), std::string::npos) << reason;
}

TEST_F(FlashSchemeFake, AWrongAcknowledgementEndsTheUploadBetweenBlocks) {
  Make(true);
  Identify("COM7");
  scheme->Write();
  Reply(AckBytes(ModbusCrc(image.substr(0, 256))));
  ASSERT_TRUE(Eventually([&] { return WriteCount() == 3; }));
  Reply(AckBytes(static_cast<std::uint16_t>(ModbusCrc(image.substr(0, 512)) ^ 1)));
  EXPECT_EQ(scheme->Front->WaitChange(Outcome::Found, 10000), Outcome::Failed);
  Reply(AckBytes(ModbusCrc(image.substr(0, 512))) + "FZ");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(fake.Written(), "VERS" + image.substr(0, 512));
  EXPECT_EQ(scheme->Collector->held(), 0u);
  // What the record and the summary say: the reply against the checksum it should have been.
  char expected[80];
  std::snprintf(expected, sizeof expected, "reply %04X is not the acknowledgement %04X of block 2",
                ModbusCrc(image.substr(0, 512)) ^ 1, ModbusCrc(image.substr(0, 512)));
  EXPECT_EQ(scheme->Front->failureReason(), expected);
  EXPECT_EQ(scheme->Front->imageBytesWritten(), 512);
  EXPECT_FALSE(scheme->Front->puskSent());
}

TEST_F(FlashSchemeFake, AnImageGivenAtRunTimeIsWhatGoesOutAndPuskIsCounted) {
  std::string other(260096, '\xFF');
  for (std::size_t i = 0; i < 256; ++i) other[i] = static_cast<char>(255 - i);
  TStream* stream = NewMemoryStream();
  stream->Write(other.data(), static_cast<std::int32_t>(other.size()));
  stream->SetPosition(0);
  scheme.reset(New<TFlashScheme>(0, true, stream));
  Identify("COM7");
  scheme->Write();
  ASSERT_TRUE(Eventually([&] { return WriteCount() == 2; }));
  Reply(AckBytes(ModbusCrc(other.substr(0, 256))) + "FZ");
  EXPECT_EQ(scheme->Front->WaitChange(Outcome::Found, 10000), Outcome::Done);
  EXPECT_EQ(fake.Written(), "VERS" + other.substr(0, 256) + "PUSK");
  EXPECT_TRUE(scheme->Front->puskSent());
  EXPECT_EQ(scheme->Front->imageBytesWritten(), 256);
}

}  // namespace
